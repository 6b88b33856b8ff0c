package ox.orvel.talvek.tool;

import java.io.PrintStream;

import ox.orvel.talvek.wia.TransferListener;
import ox.orvel.talvek.wia.WIADevice;

/** A progress display on one line that each report overwrites; each kept file gets its own line. */
final class Progress implements TransferListener {
    private final PrintStream out;
    private final String what;
    private int lastPercent = -1;
    private boolean onLine;

    Progress(PrintStream out, String what) {
        this.out = out;
        this.what = what;
    }

    @Override
    public synchronized void transferProgress(WIADevice device, int message, int percent, long bytes) {
        // Steps of 10 %: the display stays short also where the output is not a terminal.
        if (percent < 0 || percent > 100 || percent / 10 <= lastPercent / 10 && lastPercent >= 0) {
            return;
        }
        lastPercent = percent;
        int filled = percent / 5;
        out.print("\r  " + what + " [" + "#".repeat(filled) + " ".repeat(20 - filled) + "] " + percent + "%");
        out.flush();
        onLine = true;
    }

    @Override
    public synchronized void transferDone(WIADevice device, String path, String extension) {
        endLine();
        out.println("  kept " + path);
        lastPercent = -1;
    }

    @Override
    public synchronized void transferFailed(WIADevice device, int code, String text) {
        endLine();
        if (code != 0) {
            out.println("  " + text + (code == 1 ? "" : String.format(" (0x%08X)", code)));
        }
    }

    synchronized void endLine() {
        if (onLine) {
            out.println();
            onLine = false;
        }
    }
}
