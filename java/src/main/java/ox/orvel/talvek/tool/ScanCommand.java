package ox.orvel.talvek.tool;

import java.nio.file.Path;
import java.util.List;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.wia.DeviceType;
import ox.orvel.talvek.wia.ScanSettings;
import ox.orvel.talvek.wia.ScanSettings.Source;
import ox.orvel.talvek.wia.TransferResult;
import ox.orvel.talvek.wia.WIAManager;
import ox.orvel.talvek.wia.WIAScanner;

/**
 * {@code scan}: one page from the flatbed, then the sheets in the feeder, both sides, into a
 * folder, with a progress display.
 */
final class ScanCommand implements Command {
    @Override
    public String name() {
        return "scan";
    }

    @Override
    public String arguments() {
        return "[--output DIR] [DEVICE_ID]";
    }

    @Override
    public String summary() {
        return "scan a flatbed page and the feeder's sheets (duplex) into DIR (default ./scans)";
    }

    @Override
    public int run(Context context, List<String> args) throws TalvekException {
        Object[] parsed = Devices.outputAndDevice(args, "scan", Path.of("scans"));
        Path output = ((Path) parsed[0]).toAbsolutePath();
        int failures = 0;
        try (WIAManager manager = context.openManager()) {
            String id = Devices.pick(manager, DeviceType.SCANNER, (String) parsed[1]);
            try (WIAScanner scanner = manager.openScanner(id)) {
                if (scanner.hasFlatbed() || scanner.items().stream().anyMatch(i -> i.isFlatbed())) {
                    failures += scan(context, scanner, "flatbed",
                            new ScanSettings().source(Source.FLATBED).resolution(150).destination(output));
                }
                if (scanner.hasFeeder()) {
                    failures += scan(context, scanner, "feeder",
                            new ScanSettings().source(Source.FEEDER).duplex(scanner.hasDuplex()).resolution(150)
                                    .destination(output));
                }
            }
        }
        context.out.println("The scans are in " + output);
        return failures == 0 ? 0 : Talvek.EXIT_FAILED;
    }

    private static int scan(Context context, WIAScanner scanner, String what, ScanSettings settings)
            throws TalvekException {
        context.out.println("Scanning from the " + what + ":");
        Progress progress = new Progress(context.out, what);
        scanner.addTransferListener(progress);
        TransferResult r;
        try {
            r = scanner.scan(settings);
        } finally {
            scanner.removeTransferListener(progress);
            progress.endLine();
        }
        context.out.println("  " + r.files().size() + " file(s), " + r.outcome().name().toLowerCase(java.util.Locale.ROOT));
        return r.outcome() == TransferResult.Outcome.FAILED ? 1 : 0;
    }
}
