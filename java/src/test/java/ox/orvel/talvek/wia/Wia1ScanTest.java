package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.concurrent.atomic.AtomicReference;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.sim.SimControl;
import ox.orvel.talvek.wia.ScanSettings.ColourMode;
import ox.orvel.talvek.wia.ScanSettings.Source;

/** Scanning in the WIA 1.0 flavour: the file WIA names, kept by the front end; progress; cancel. */
class Wia1ScanTest extends TransferTestBase {
    private static final String ID = ScannerOpenTest.ID;

    @BeforeEach
    void wia1Only() {
        assumeTrue(FLAVOUR == Flavour.W1, "WIA 1.0 transfers");
    }

    /** One scanner: a root with the given handling select property, one flatbed with these formats. */
    static String profile(String rootSelect, String formats, String transfer) {
        String root = ScannerOpenTest.CAPS_7 + (rootSelect.isEmpty() ? "" : ", " + rootSelect);
        String flatbed = "{\"name\": \"Flatbed\", \"category\": \"flatbed\", \"properties\": ["
                + "{\"id\": \"WIA_IPA_FORMAT\", \"access\": \"rw\", \"value\": \"WiaImgFmt_BMP\", \"list\": {\"values\": [" + formats + "]}},"
                + "{\"id\": \"WIA_IPA_TYMED\", \"access\": \"rw\", \"value\": 2, \"list\": {\"values\": [2, 128]}},"
                + "{\"id\": \"WIA_IPS_XRES\", \"access\": \"rw\", \"value\": 50, \"list\": {\"values\": [50, 100]}},"
                + "{\"id\": \"WIA_IPS_YRES\", \"access\": \"rw\", \"value\": 50, \"list\": {\"values\": [50, 100]}}"
                + "], \"transfer\": " + transfer + "}";
        return ScannerOpenTest.scanner(root, flatbed);
    }

    static final String FORMAT_TYMED = "{\"id\": \"WIA_IPA_FORMAT\", \"access\": \"rw\", \"value\": \"WiaImgFmt_BMP\","
            + " \"list\": {\"values\": [\"WiaImgFmt_BMP\"]}}, {\"id\": \"WIA_IPA_TYMED\", \"access\": \"rw\", \"value\": 2,"
            + " \"list\": {\"values\": [2]}}";

    static String select(int value) {
        return "{\"id\": \"WIA_DPS_DOCUMENT_HANDLING_SELECT\", \"access\": \"rw\", \"value\": " + value
                + ", \"flags\": {\"nom\": 2, \"mask\": 127}}";
    }

    static Stream<Arguments> formats() {
        return Stream.of(
                Arguments.of("JPEG", "\"WiaImgFmt_BMP\", \"WiaImgFmt_JPEG\"", "jpg"),
                Arguments.of("BMP only", "\"WiaImgFmt_BMP\"", "bmp"));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("formats")
    void theFileWiaWroteIsKeptWithTheFormatsExtension(String description, String formats, String ext) throws Exception {
        SimControl.loadProfile(profile("", formats, "{}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            TransferResult r = s.scan(new ScanSettings().destination(kept).progress(false));
            List<String> o = s.outcomes();
            assertEquals(1, o.size(), o.toString());
            assertTrue(o.get(0).startsWith("done(" + SimControl.transferFolder()) && o.get(0).endsWith(", " + ext + ")"), o.get(0));
            assertEquals(List.of("scan." + ext), names(r.files()));
            image(r.files().get(0));
            try (Stream<Path> left = Files.list(Path.of(SimControl.transferFolder()))) {
                assertEquals(List.of(), left.collect(Collectors.toList()), "the service's file is gone after the report");
            }
            // Only the format and medium are written when no property is asked for.
            assertEquals(List.of("4106=WiaImgFmt_" + (ext.equals("jpg") ? "JPEG" : "BMP"), "4108=2"),
                    writes().subList(writes().size() - 2, writes().size()), journalDump());
            s.close();
        }
    }

    @Test
    void aDeviceRefusingBothFormatsRaisesWithoutAReport() throws Exception {
        SimControl.loadProfile(profile("", "\"WiaImgFmt_PNG\"", "{}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            TalvekException e = assertThrows(TalvekException.class, () -> s.scan(new ScanSettings().destination(kept)));
            assertEquals(E_INVALIDARG, e.getCode());
            assertEquals(List.of(), s.outcomes());
            s.close();
        }
    }

    @Test
    void failingSettingsAreWarnedOneByOneAndTheScanStillRuns() throws Exception {
        SimControl.loadProfile(profile("", "\"WiaImgFmt_BMP\"", "{}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            TransferResult r = s.scan(new ScanSettings().resolution(77).brightness(5).destination(kept));
            assertEquals(List.of("Failed to set property[0] 6147 to 77", "Failed to set property[1] 6148 to 77",
                    "Failed to set property[2] 6154 to 5"), warnings().stream().filter(w -> w.startsWith("Failed to set"))
                            .collect(Collectors.toList()));
            assertEquals(1, r.files().size());
            assertImage(r.files().get(0), 425, 550);
            s.close();
        }
    }

    @ParameterizedTest(name = "progress {0}")
    @ValueSource(booleans = {false, true})
    void progressIsReportedOnlyWithTheFlag(boolean progress) throws Exception {
        SimControl.loadProfile(profile("", "\"WiaImgFmt_BMP\"", "{\"bands\": 4}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            Listener l = new Listener();
            s.addTransferListener(l);
            s.scan(new ScanSettings().progress(progress).destination(kept));
            assertEquals(progress, !l.events("progress ").isEmpty(), l.events.toString());
            if (progress) {
                // The multithreaded apartment gets its callbacks on a thread of the service.
                Thread me = Thread.currentThread();
                synchronized (l) {
                    assertTrue(l.threads.stream().anyMatch(t -> t != me), "progress on a service thread");
                }
            }
            s.close();
        }
    }

    @ParameterizedTest(name = "lOffset {0}")
    @ValueSource(longs = {-1L, Integer.MIN_VALUE, Integer.MAX_VALUE})
    void theDataOffsetReachesJavaAsTheSameSignedValue(long offset) throws Exception {
        SimControl.loadProfile(profile("", "\"WiaImgFmt_BMP\"", "{\"bands\": 2, \"dataOffset\": " + offset + "}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            s.scan(new ScanSettings().destination(kept));
            List<String> data = s.calls("progress(2, ");
            assertEquals(List.of("progress(2, 50, " + offset + ")", "progress(2, 100, " + offset + ")"), data);
            s.close();
        }
    }

    @Test
    void aFailedTransferIsReportedLikeACancel() throws Exception {
        SimControl.loadProfile(profile("", "\"WiaImgFmt_BMP\"", "{\"failAt\": {\"band\": 2, \"result\": \"0x80210002\"}}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            TransferResult r = s.scan(new ScanSettings().destination(kept));
            assertEquals(List.of("failed(1, " + CANCELED + ")"), s.outcomes());
            assertEquals(TransferResult.Outcome.CANCELLED, r.outcome());
            assertEquals(List.of(), r.files());
            s.close();
        }
    }

    /** Cancels the held transfer from another Java thread; returns the result and the calls after the cancel. */
    private TransferResult cancelHeld(RecordingScanner s, int band, List<String> afterCancel) throws Exception {
        SimControl.holdTransfer("Flatbed", band);
        AtomicReference<TransferResult> result = new AtomicReference<>();
        AtomicReference<Throwable> failure = new AtomicReference<>();
        Thread scanning = new Thread(() -> {
            try {
                result.set(s.scan(new ScanSettings().destination(kept)));
            } catch (Throwable t) {
                failure.set(t);
            }
        }, "scanning");
        scanning.start();
        assertTrue(SimControl.awaitTransferHeld(20_000), "the transfer reached its hold point");
        int before = s.calls().size();
        onFreshThread("cancelling", () -> s.cancel());
        SimControl.releaseTransfer();
        scanning.join(30_000);
        assertFalse(scanning.isAlive());
        assertEquals(null, failure.get());
        afterCancel.addAll(s.calls().subList(before, s.calls().size()));
        return result.get();
    }

    @ParameterizedTest(name = "held before band {0}")
    @ValueSource(ints = {0, 1, 4})
    void aCancelFromAnotherThreadStopsAtTheNextCallback(int band) throws Exception {
        SimControl.loadProfile(profile("", "\"WiaImgFmt_BMP\"", "{\"bands\": 6}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            List<String> after = new java.util.ArrayList<>();
            TransferResult r = cancelHeld(s, band, after);
            assertEquals(TransferResult.Outcome.CANCELLED, r.outcome(), r.toString());
            // The callback that answers S_FALSE still reports its progress, and it is the last.
            assertEquals(2, after.size(), after.toString());
            // Held before the header, the cancel makes the very first callback the one that stops.
            assertTrue(after.get(0).startsWith(band == 0 ? "progress(1, 0, 0)" : "progress(2, "), after.toString());
            if (band == 0) assertEquals(List.of("progress(1, 0, 0)"), s.calls("progress("));
            assertEquals("failed(1, " + CANCELED + ")", after.get(1));
            // The cancel reached the finished transfer's callback only: the next scan runs whole.
            s.cancel();
            assertEquals(TransferResult.Outcome.COMPLETED, s.scan(new ScanSettings().destination(kept)).outcome());
            s.close();
        }
    }

    static Stream<Arguments> documentSources() {
        return Stream.of(
                Arguments.of(1, false, select(2), List.of("3088=1")),
                Arguments.of(1, true, select(2), List.of("3088=5")),
                Arguments.of(1, true, select(1), List.of()),
                Arguments.of(2, false, select(1), List.of("3088=2")),
                Arguments.of(2, false, select(2), List.of()),
                Arguments.of(3, false, select(2), List.of("3088=0")),
                Arguments.of(0, true, select(1), List.of()),
                Arguments.of(1, false, "", List.of()));
    }

    @ParameterizedTest(name = "choice {0}, duplex {1}, root {2}")
    @MethodSource("documentSources")
    void theDocumentSourceChoiceSetsTheRootsHandling(int choice, boolean duplex, String rootSelect, List<String> expected)
            throws Exception {
        SimControl.loadProfile(profile(rootSelect, "\"WiaImgFmt_BMP\"", "{}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            SimControl.clearJournal();
            log.clear();
            TransferResult r = s.scan(new ScanSettings().functionalUnit(choice).duplex(duplex).destination(kept));
            assertEquals(expected, writes().stream().filter(w -> w.startsWith("3088=")).collect(Collectors.toList()), journalDump());
            boolean compared = traces().stream().anyMatch(t -> t.startsWith("compare handling select "));
            assertEquals(choice != 0 && !rootSelect.isEmpty(), compared, log.dump());
            assertEquals(1, journalLines("IWiaDataTransfer.idtGetData(").size(), "the transfer runs: " + r);
            s.close();
        }
    }

    @Test
    void theScanApisSourcesAreDocumentSourceChoices() throws Exception {
        try (WIAManager m = openManager()) {
            WIAScanner s = m.openScanner(SCANNER_ID);
            assertEquals(1, s.functionalUnitFor(new ScanSettings().source(Source.FEEDER)));
            assertEquals(2, s.functionalUnitFor(new ScanSettings().source(Source.FLATBED)));
            TransferResult r = s.scan(new ScanSettings().source(Source.FEEDER).duplex(true).resolution(75)
                    .colour(ColourMode.GREY).destination(kept));
            assertEquals(1, r.files().size(), r.toString());
            assertTrue(writes().contains("3088=5"), writes().toString());
            s.close();
        }
    }

    @Test
    void theSingleThreadedApartmentModeMakesEachScanningThreadAnApartment() throws Exception {
        SimControl.loadProfile(profile("", "\"WiaImgFmt_BMP\"", "{\"bands\": 3}"));
        // The mode leaves every thread it touched a single-threaded apartment: keep this test's
        // threads to itself.
        onFreshThread("sta-manager", () -> {
            try (WIAManager m = openManager(WIAManager.APARTMENT_SINGLE_THREADED, false)) {
                RecordingScanner s = RecordingScanner.open(m, ID);
                onFreshThread("sta-scan", () -> {
                    assertEquals("none", SimControl.currentApartment());
                    TransferResult r = s.scan(new ScanSettings().destination(kept));
                    assertEquals(1, r.files().size());
                    assertEquals("sta", SimControl.currentApartment());
                    Thread me = Thread.currentThread();
                    synchronized (s.calls) {
                        assertTrue(s.reportThreads.size() > 1);
                        assertTrue(s.reportThreads.stream().allMatch(t -> t == me), "callbacks on the caller's own thread");
                    }
                });
                s.close();
            }
        });
    }

    @Test
    void theDialogScansTheFirstSelectedItemOrReportsTheCancel() throws Exception {
        SimControl.loadProfile("{\"devices\": [{\"id\": " + Profiles.quote(ID) + ", \"type\": \"scanner\","
                + " \"dialog\": [{\"answer\": \"cancel\"}, {\"select\": [\"Feeder\", \"Flatbed\"]}],"
                + " \"root\": {\"children\": [{\"name\": \"Flatbed\", \"category\": \"flatbed\", \"properties\": [" + FORMAT_TYMED + "]},"
                + " {\"name\": \"Feeder\", \"category\": \"feeder\", \"properties\": [" + FORMAT_TYMED + "]}]}}]}");
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            assertEquals(TransferResult.Outcome.CANCELLED, s.scanWithDialog(kept, true).outcome());
            assertEquals(List.of("failed(1, " + CANCELED + ")"), s.outcomes());
            s.clearCalls();
            TransferResult r = s.scanWithDialog(kept, true);
            assertEquals(1, r.files().size(), s.outcomes().toString());
            image(r.files().get(0));
            s.close();
        }
    }
}
