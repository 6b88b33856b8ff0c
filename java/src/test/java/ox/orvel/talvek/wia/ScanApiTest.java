package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Path;

import org.junit.jupiter.api.Test;

import ox.orvel.talvek.wia.ScanSettings.ColourMode;
import ox.orvel.talvek.wia.ScanSettings.Source;

/** The scan API on either flavour: what a front-end program relies on whatever library it loads. */
class ScanApiTest extends TransferTestBase {

    @Test
    void listenersThatThrowLoseNoFile() throws Exception {
        try (WIAManager m = openManager()) {
            WIAScanner s = m.openScanner(SCANNER_ID);
            s.addTransferListener(new TransferListener() {
                @Override
                public void transferDone(WIADevice device, String path, String extension) {
                    throw new IllegalStateException("listener fault");
                }

                @Override
                public void transferProgress(WIADevice device, int message, int percent, long bytes) {
                    throw new IllegalStateException("listener fault");
                }
            });
            TransferResult r = s.scan(new ScanSettings().source(Source.FEEDER).resolution(75)
                    .colour(ColourMode.BLACK_AND_WHITE).destination(kept));
            assertEquals(TransferResult.Outcome.COMPLETED, r.outcome(), r.toString());
            assertTrue(r.files().size() >= 1);
            for (Path f : r.files()) {
                image(f);
            }
            assertTrue(warnings().stream().anyMatch(w -> w.startsWith("transfer listener failed on " + r.files().get(0))),
                    log.dump());
            s.close();
        }
    }

    @Test
    void aScanNeedsAnOpenScannerAndASource() throws Exception {
        try (WIAManager m = openManager()) {
            WIAScanner s = m.openScanner(SCANNER_ID);
            s.cancel();
            s.close();
            assertThrows(IllegalStateException.class, () -> s.scan(new ScanSettings()));
            assertThrows(IllegalStateException.class, s::cancel);
        }
        assertThrows(IllegalArgumentException.class, () -> new ScanSettings().colour(ColourMode.GREY, 12));
        assertThrows(IllegalArgumentException.class, () -> new ScanSettings().areaInches(0, 0, 0, 1));
        assertEquals(-16, new ScanSettings().colour(ColourMode.GREY, 16).bitDepth());
        assertEquals(1, new ScanSettings().colour(ColourMode.BLACK_AND_WHITE, 16).bitDepth());
        assertEquals(java.util.List.of(150, 75, 300, 450),
                java.util.Arrays.stream(new ScanSettings().areaInches(1, 0.5, 2, 3).areaPixelsAt(150)).boxed()
                        .collect(java.util.stream.Collectors.toList()));
    }
}
