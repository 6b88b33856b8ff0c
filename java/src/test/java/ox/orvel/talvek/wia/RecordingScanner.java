package ox.orvel.talvek.wia;

import java.util.ArrayList;
import java.util.List;

/**
 * A scanner that records the library's calls as they arrive (addItem, addItemProperty, the
 * transfer reports with their raw arguments and threads) before handing them on.
 */
class RecordingScanner extends WIAScanner {
    final List<String> calls = new ArrayList<>();
    /** handlingCapab as it was when the first addItem arrived. */
    Integer handlingAtFirstItem;

    RecordingScanner(WIAManager manager, String deviceId) {
        super(manager, deviceId);
    }

    /** Opens a scanner of the manager and returns it. */
    static RecordingScanner open(WIAManager manager, String deviceId) throws Exception {
        RecordingScanner s = new RecordingScanner(manager, deviceId);
        s.open();
        return s;
    }

    private void record(String call) {
        synchronized (calls) {
            calls.add(call);
        }
    }

    List<String> calls() {
        synchronized (calls) {
            return new ArrayList<>(calls);
        }
    }

    List<String> calls(String prefix) {
        List<String> out = new ArrayList<>();
        for (String c : calls()) {
            if (c.startsWith(prefix)) {
                out.add(c);
            }
        }
        return out;
    }

    void clearCalls() {
        synchronized (calls) {
            calls.clear();
        }
    }

    @Override
    protected void addItem(String name, int category) {
        if (handlingAtFirstItem == null) {
            handlingAtFirstItem = handlingCapab;
        }
        record("addItem(" + name + ", " + category + ")");
        super.addItem(name, category);
    }

    @Override
    protected void addItemProperty(int itemIndex, int propertyId, String name, boolean hasIntValue, int value,
            int flags, int[] validValues) {
        record("addItemProperty(" + itemIndex + ", " + propertyId + ")");
        super.addItemProperty(itemIndex, propertyId, name, hasIntValue, value, flags, validValues);
    }

    /** Raw reports, as "done(path, ext)", "failed(code, text)", "progress(msg, pct, bytes)". */
    final List<Thread> reportThreads = new ArrayList<>();

    private void report(String call) {
        synchronized (calls) {
            calls.add(call);
            reportThreads.add(Thread.currentThread());
        }
    }

    @Override
    protected void fireTransferDone(String path, String extension) {
        report("done(" + path + ", " + extension + ")");
        super.fireTransferDone(path, extension);
    }

    @Override
    protected void fireTransferFailed(int code, String text) {
        report("failed(" + code + ", " + text + ")");
        super.fireTransferFailed(code, text);
    }

    @Override
    protected void fireTransferProgress(int message, int percent, long bytes) {
        report("progress(" + message + ", " + percent + ", " + bytes + ")");
        super.fireTransferProgress(message, percent, bytes);
    }

    /** The raw reports other than progress. */
    List<String> outcomes() {
        List<String> out = new ArrayList<>();
        for (String c : calls()) {
            if (c.startsWith("done(") || c.startsWith("failed(")) {
                out.add(c);
            }
        }
        return out;
    }
}
