package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.concurrent.TimeUnit;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;

import ox.orvel.talvek.sim.SimControl;
import ox.orvel.talvek.wia.ScanSettings.Source;

/**
 * A cancel in a process where no scan has run yet: there is no transfer to stop, so it does
 * nothing, and the process's first scan runs whole. Needs a JVM of its own, since every other
 * test of this run has scanned already; {@link #main} is that process.
 */
class FirstCancelTest {

    @Test
    void aCancelBeforeTheProcessesFirstScanDoesNothing() throws Exception {
        String java = ProcessHandle.current().info().command().orElse("java");
        String classPath = Stream.of(WIAManager.class, SimControl.class, FirstCancelTest.class)
                .map(FirstCancelTest::jarOf).distinct().collect(Collectors.joining(File.pathSeparator));
        ProcessBuilder pb = new ProcessBuilder(java, "-Xcheck:jni",
                "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-Dtalvek.flavour=" + Flavour.fromSystemProperty(), "-cp", classPath, FirstCancelTest.class.getName());
        pb.environment().remove("TALVEK_SIM_PROFILE");
        pb.redirectErrorStream(true);
        Process p = pb.start();
        String output = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertTrue(p.waitFor(120, TimeUnit.SECONDS), output);
        assertEquals(0, p.exitValue(), output);
        assertTrue(output.contains("first scan COMPLETED, 1 file(s), accounting clean"), output);
        assertFalse(output.contains("WARNING in native method"), output);
    }

    private static String jarOf(Class<?> c) {
        try {
            return Path.of(c.getProtectionDomain().getCodeSource().getLocation().toURI()).toString();
        } catch (java.net.URISyntaxException e) {
            throw new IllegalStateException(e);
        }
    }

    /** The fresh process: cancel, then the first scan, on the default scanner. */
    public static void main(String[] args) throws Exception {
        long[] before = SimControl.counts();
        Path kept = Files.createTempDirectory("first-cancel");
        TransferResult r;
        try (WIAManager m = new WIAManager()) {
            m.open();
            try (WIAScanner s = m.openScanner(SimTestBase.SCANNER_ID)) {
                s.cancel();
                r = s.scan(new ScanSettings().source(Source.FLATBED).resolution(75).destination(kept));
            }
        }
        for (Path f : r.files()) {
            Files.delete(f);
        }
        Files.delete(kept);
        long[] after = SimControl.counts();
        System.out.println("first scan " + r.outcome() + ", " + r.files().size() + " file(s), accounting "
                + (Arrays.equals(before, after) ? "clean" : Arrays.toString(before) + " -> " + Arrays.toString(after)));
    }
}
