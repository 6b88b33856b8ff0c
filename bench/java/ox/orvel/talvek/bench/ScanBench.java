package ox.orvel.talvek.bench;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Locale;
import java.util.concurrent.atomic.AtomicLong;

import ox.orvel.talvek.sim.SimControl;
import ox.orvel.talvek.wia.Flavour;
import ox.orvel.talvek.wia.ScanSettings;
import ox.orvel.talvek.wia.ScanSettings.ColourMode;
import ox.orvel.talvek.wia.ScanSettings.Source;
import ox.orvel.talvek.wia.TransferListener;
import ox.orvel.talvek.wia.TransferResult;
import ox.orvel.talvek.wia.WIADevice;
import ox.orvel.talvek.wia.WIAManager;
import ox.orvel.talvek.wia.WIAScanner;

/**
 * What the library adds to a scan: a letter-size colour page at 300 dpi from the default
 * scanner's flatbed, scanned in this JVM by the simulated service alone (no library: the same
 * property writes and download, through libtalvekbench) and through the library and the Java
 * front end with progress reporting off and on, in turns, with the flatbed's ordinary bands and
 * with fine ones (many progress messages).
 *
 * <pre>ScanBench [--iterations N] [--warmup W] [--fine-band-bytes B] [--output DIR]</pre>
 *
 * <p>Prints one line per case, "jvm &lt;bands&gt; direct|off|on median_ms m min_ms m bytes n
 * messages n", then a summary. Fails (exit 1) when a library file differs from the service's
 * own or when the simulated service holds an object, string or memory block more than before.
 */
public final class ScanBench {
    private static final String DEVICE = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
    private static final String[] CASES = {"direct", "off", "on"};

    static {
        System.loadLibrary("talvekbench");
    }

    private ScanBench() {}

    static native String profileWithBands(int bandBytes);

    static native long directOpen();

    /** Returns the number of status messages of the download. */
    static native long directScan(long handle, String path);

    static native void directClose(long handle);

    /** Counts the status messages that reach Java. */
    private static final class Counter implements TransferListener {
        final AtomicLong messages = new AtomicLong();

        @Override
        public void transferProgress(WIADevice device, int message, int percent, long bytes) {
            if (message == 1) {
                messages.incrementAndGet();
            }
        }
    }

    /** The times of one case, in milliseconds, and what its scans produced. */
    private static final class Figures {
        final List<Double> ms = new ArrayList<>();
        long bytes;
        long messages;

        double median() {
            List<Double> s = new ArrayList<>(ms);
            Collections.sort(s);
            return s.get(s.size() / 2);
        }

        double min() {
            return Collections.min(ms);
        }
    }

    public static void main(String[] args) throws Exception {
        int iterations = 15;
        int warmup = 2;
        int fine = 1024;
        Path output = Path.of(System.getProperty("java.io.tmpdir"));
        for (int i = 0; i < args.length; i += 2) {
            if (i + 1 >= args.length) {
                usage("missing value of " + args[i]);
            }
            String v = args[i + 1];
            switch (args[i]) {
                case "--iterations": iterations = Math.max(1, Integer.parseInt(v)); break;
                case "--warmup": warmup = Math.max(0, Integer.parseInt(v)); break;
                case "--fine-band-bytes": fine = Math.max(1, Integer.parseInt(v)); break;
                case "--output": output = Path.of(v); break;
                default: usage("unknown option " + args[i]);
            }
        }
        Path work = Files.createTempDirectory(output.toAbsolutePath(), "scans");
        long[] before = SimControl.counts();
        List<String> summary = new ArrayList<>();
        try {
            for (int bands : new int[] {65536, fine}) {
                summary.addAll(bench(bands, work, warmup, iterations));
            }
        } finally {
            deleteTree(work);
        }
        long[] after = SimControl.counts();
        if (!Arrays.equals(before, after)) {
            System.out.println("accounting leaked " + Arrays.toString(before) + " -> " + Arrays.toString(after)
                    + " " + Arrays.toString(SimControl.liveObjects()));
            System.exit(1);
        }
        System.out.println();
        System.out.println("In one JVM (medians of " + iterations + " runs after " + warmup + " warm-up, in turns):");
        summary.forEach(System.out::println);
        System.out.println("The library's files are the same bytes as the service's own; the accounting is clean.");
    }

    private static List<String> bench(int bands, Path work, int warmup, int iterations) throws Exception {
        SimControl.loadProfile(profileWithBands(bands));
        Figures[] f = {new Figures(), new Figures(), new Figures()};
        Counter counter = new Counter();
        try (WIAManager manager = new WIAManager(Flavour.W2)) {
            manager.open();
            try (WIAScanner scanner = manager.openScanner(DEVICE)) {
                scanner.addTransferListener(counter);
                long direct = directOpen();
                try {
                    for (int i = 0; i < warmup + iterations; i++) {
                        Path[] files = new Path[3];
                        for (int k = 0; k < 3; k++) {
                            int c = (i + k) % 3; // each case in each position in turn
                            Path dir = work.resolve("scan" + i + "-" + CASES[c]);
                            Files.createDirectories(dir);
                            long start = System.nanoTime();
                            long messages;
                            if (c == 0) {
                                files[c] = dir.resolve("direct.bmp");
                                messages = directScan(direct, files[c].toString());
                            } else {
                                long m0 = counter.messages.get();
                                files[c] = scanOnce(scanner, c == 2, dir);
                                messages = counter.messages.get() - m0;
                            }
                            double took = (System.nanoTime() - start) / 1e6;
                            if (i >= warmup) {
                                f[c].ms.add(took);
                            }
                            f[c].messages = messages;
                            f[c].bytes = Files.size(files[c]);
                        }
                        for (int c = 1; c < 3; c++) {
                            if (Files.mismatch(files[0], files[c]) != -1) {
                                throw new IllegalStateException("bands " + bands + ", progress " + CASES[c]
                                        + ": the library's file differs from the service's own");
                            }
                        }
                        for (Path p : files) {
                            deleteTree(p.getParent());
                        }
                    }
                } finally {
                    directClose(direct);
                    scanner.removeTransferListener(counter);
                }
            }
        }
        for (int c = 0; c < 3; c++) {
            System.out.println(String.format(Locale.ROOT, "jvm %d %s median_ms %.2f min_ms %.2f bytes %d messages %d",
                    bands, CASES[c], f[c].median(), f[c].min(), f[c].bytes, f[c].messages));
        }
        double d = f[0].median();
        double off = f[1].median();
        double on = f[2].median();
        List<String> out = new ArrayList<>();
        out.add(String.format(Locale.ROOT, "  %d-byte bands, %d bytes, %d status messages per page:", bands,
                f[0].bytes, f[0].messages));
        out.add(String.format(Locale.ROOT, "    service alone          %8.2f ms", d));
        out.add(String.format(Locale.ROOT, "    library, progress off  %8.2f ms  (%+.2f ms, %+.1f%%)", off, off - d,
                100 * (off - d) / d));
        out.add(String.format(Locale.ROOT, "    library, progress on   %8.2f ms  (%+.2f ms, %+.1f%%)", on, on - d,
                100 * (on - d) / d));
        if (f[2].messages > 0) {
            out.add(String.format(Locale.ROOT, "    cost per progress message to Java: %.2f us (%d messages)",
                    1000 * (on - off) / f[2].messages, f[2].messages));
        }
        return out;
    }

    private static Path scanOnce(WIAScanner scanner, boolean progress, Path dir) throws Exception {
        ScanSettings settings = new ScanSettings().source(Source.FLATBED).resolution(300)
                .colour(ColourMode.COLOUR).areaInches(0, 0, 8.5, 11).progress(progress).destination(dir);
        TransferResult r = scanner.scan(settings);
        if (r.outcome() != TransferResult.Outcome.COMPLETED || r.files().size() != 1) {
            throw new IllegalStateException("the scan did not complete: " + r);
        }
        return r.files().get(0);
    }

    private static void deleteTree(Path p) throws Exception {
        if (!Files.exists(p)) {
            return;
        }
        try (var walk = Files.walk(p)) {
            List<Path> all = new ArrayList<>();
            walk.forEach(all::add);
            Collections.reverse(all);
            for (Path q : all) {
                Files.delete(q);
            }
        }
    }

    private static void usage(String why) {
        System.err.println("ScanBench: " + why);
        System.err.println("usage: ScanBench [--iterations N] [--warmup W] [--fine-band-bytes B] [--output DIR]");
        System.exit(2);
    }
}
