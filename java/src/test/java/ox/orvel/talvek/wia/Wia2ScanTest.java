package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.atomic.AtomicReference;
import java.util.stream.Collectors;
import java.util.stream.IntStream;
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

/** Scanning in the WIA 2.0 flavour through the scan API, against the default scanner and small profiles. */
class Wia2ScanTest extends TransferTestBase {
    private static final String ID = ScannerOpenTest.ID;

    @BeforeEach
    void wia2Only() {
        assumeTrue(FLAVOUR == Flavour.W2, "WIA 2.0 transfers");
    }

    /** A one-scanner profile with a flatbed and a feeder whose transfer definitions are given. */
    static String profile(String flatbedExtra, String feederTransfer) {
        String common = "{\"id\": \"WIA_IPA_FORMAT\", \"access\": \"rw\", \"value\": \"WiaImgFmt_BMP\","
                + " \"list\": {\"values\": [\"WiaImgFmt_BMP\"]}},"
                + "{\"id\": \"WIA_IPA_DATATYPE\", \"access\": \"rw\", \"value\": 3, \"list\": {\"values\": [0, 2, 3]}},"
                + "{\"id\": \"WIA_IPA_DEPTH\", \"access\": \"rw\", \"value\": 24, \"list\": {\"values\": [1, 8, 24]}},"
                + "{\"id\": \"WIA_IPS_XRES\", \"access\": \"rw\", \"value\": 100, \"list\": {\"values\": [50, 100]}},"
                + "{\"id\": \"WIA_IPS_YRES\", \"access\": \"rw\", \"value\": 100, \"list\": {\"values\": [50, 100]}},"
                + "{\"id\": \"WIA_IPS_XPOS\", \"access\": \"rw\", \"value\": 0, \"range\": {\"min\": 0, \"nom\": 0, \"max\": 849}},"
                + "{\"id\": \"WIA_IPS_YPOS\", \"access\": \"rw\", \"value\": 0, \"range\": {\"min\": 0, \"nom\": 0, \"max\": 1099}},"
                + "{\"id\": \"WIA_IPS_XEXTENT\", \"access\": \"rw\", \"value\": 850, \"range\": {\"min\": 1, \"nom\": 850, \"max\": 850}},"
                + "{\"id\": \"WIA_IPS_YEXTENT\", \"access\": \"rw\", \"value\": 1100, \"range\": {\"min\": 1, \"nom\": 1100, \"max\": 1100}}";
        String flatbed = "{\"name\": \"Flatbed\", \"category\": \"flatbed\", \"properties\": [" + common + flatbedExtra + "]}";
        String feeder = "{\"name\": \"Feeder\", \"category\": \"feeder\", \"properties\": [" + common
                + ",{\"id\": \"WIA_IPA_FILENAME_EXTENSION\", \"value\": \"bmp\"},"
                + "{\"id\": \"WIA_IPS_PAGES\", \"access\": \"rw\", \"value\": 1, \"range\": {\"min\": 0, \"nom\": 1, \"max\": 50}},"
                + "{\"id\": \"WIA_IPS_DOCUMENT_HANDLING_SELECT\", \"access\": \"rw\", \"value\": 1, \"flags\": {\"nom\": 1, \"mask\": 5}}]"
                + ", \"transfer\": " + feederTransfer + "}";
        return ScannerOpenTest.scanner(ScannerOpenTest.CAPS_7, flatbed, feeder);
    }

    @Test
    void aThreePageFeederScanKeepsEveryPageThenReportsTheEmptyFeeder() throws Exception {
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, SCANNER_ID);
            Listener l = new Listener();
            s.addTransferListener(l);
            TransferResult r = s.scan(new ScanSettings().source(Source.FEEDER).resolution(75).destination(kept));

            String dir = output.toString();
            assertEquals(List.of("done(" + dir + "/scan_page1.bmp, null)", "done(" + dir + "/scan_page2.bmp, null)",
                    "done(" + dir + "/scan_page3.bmp, null)", "failed(0, " + FEEDER_EMPTY + ")"), s.outcomes());
            assertEquals(TransferResult.Outcome.COMPLETED, r.outcome());
            assertEquals(List.of("scan_page1.bmp", "scan_page2.bmp", "scan_page3.bmp"), names(r.files()));
            for (Path f : r.files()) {
                assertEquals(kept, f.getParent());
                assertImage(f, 8500 * 75 / 1000, 11000 * 75 / 1000);
            }
            assertEquals(3, l.events("done ").size());
            assertEquals("done " + r.files().get(0) + " bmp", l.events("done ").get(0));
            // Each page is reported at its end of stream, before the end of the whole transfer.
            List<String> progress = s.calls("progress(");
            assertTrue(progress.stream().anyMatch(p -> p.startsWith("progress(1, ")), progress.toString());
            List<String> calls = s.calls();
            int endOfTransfer = calls.indexOf(calls.stream().filter(c -> c.startsWith("progress(3, ")).findFirst()
                    .orElseThrow(() -> new AssertionError("no end of transfer in " + calls)));
            assertTrue(endOfTransfer > calls.indexOf("done(" + dir + "/scan_page3.bmp, null)"));
            assertFalse(Files.exists(output.resolve("scan_page1.bmp")), "the page was moved out of the output folder");
            s.close();
        }
    }

    /** The feeder's writes before the property write list, by duplex. */
    @ParameterizedTest(name = "duplex {0}")
    @ValueSource(booleans = {false, true})
    void feederSettingsAreWrittenBeforeTheRequestedProperties(boolean duplex) throws Exception {
        SimControl.loadProfile(profile("", "{\"pages\": 1}"));
        try (WIAManager m = openManager()) {
            WIAScanner s = m.openScanner(ID);
            SimControl.clearJournal();
            s.scan(new ScanSettings().source(Source.FEEDER).duplex(duplex).resolution(50).destination(kept));
            List<String> w = writes().stream().filter(x -> !x.startsWith("4106=")).collect(Collectors.toList());
            List<String> expected = new ArrayList<>(List.of("3096=0"));
            if (duplex) {
                expected.add("3088=4");
            }
            expected.addAll(List.of("6147=50", "6148=50"));
            assertEquals(expected, w, journalDump());
            s.close();
        }
    }

    static Stream<Arguments> bitDepths() {
        return Stream.of(
                Arguments.of(ColourMode.BLACK_AND_WHITE, 8, 1, "4103=0", "4104=1"),
                Arguments.of(ColourMode.GREY, 8, -8, "4103=2", "4104=8"),
                Arguments.of(ColourMode.GREY, 16, -16, "4103=2", "4104=16"),
                Arguments.of(ColourMode.COLOUR, 8, 8, "4103=3", "4104=24"),
                Arguments.of(ColourMode.COLOUR, 16, 16, "4103=3", "4104=48"));
    }

    @ParameterizedTest(name = "{0} {1} bits")
    @MethodSource("bitDepths")
    void theColourModeBecomesDataTypeAndDepth(ColourMode mode, int bits, int bitDepth, String dataType, String depth)
            throws Exception {
        SimControl.loadProfile(profile("", "{}"));
        try (WIAManager m = openManager()) {
            WIAScanner s = m.openScanner(ID);
            SimControl.clearJournal();
            TransferResult r = s.scan(new ScanSettings().source(Source.FLATBED).colour(mode, bits).resolution(50)
                    .areaPixels(0, 0, 40, 30).destination(kept));
            assertEquals(bitDepth, s.bitDepth());
            List<String> w = writes();
            assertTrue(w.indexOf(dataType) >= 0 && w.indexOf(dataType) < w.indexOf(depth), w.toString());
            // 48-bit colour is not in the device's list: that entry is refused, the scan goes on.
            if (bits == 16 && mode == ColourMode.COLOUR) {
                assertLogged(LogLevel.WARNING, "Failed to set property[1] 4104 to 48");
            }
            assertEquals(1, r.files().size(), r.toString());
            assertImage(r.files().get(0), 40, 30);
            s.close();
        }
    }

    @Test
    void anAreaInInchesIsScannedAtTheResolution() throws Exception {
        try (WIAManager m = openManager()) {
            WIAScanner s = m.openScanner(SCANNER_ID);
            TransferResult r = s.scan(new ScanSettings().source(Source.FLATBED).resolution(100)
                    .areaInches(1, 0.5, 2, 1.5).colour(ColourMode.GREY).brightness(100).contrast(-100).destination(kept));
            assertEquals(List.of("scan.bmp"), names(r.files()), r.toString());
            assertImage(r.files().get(0), 200, 150);
            List<String> w = writes();
            assertTrue(w.containsAll(List.of("6149=100", "6150=50", "6151=200", "6152=150", "6154=100", "6155=-100")), w.toString());
            s.close();
        }
    }

    static Stream<Arguments> extensions() {
        return Stream.of(
                // A device that keeps PNG: the BMP format write is refused, the extension reads png.
                Arguments.of("png", "{\"id\": \"WIA_IPA_FORMAT\", \"access\": \"rw\", \"value\": \"WiaImgFmt_PNG\","
                        + " \"list\": {\"values\": [\"WiaImgFmt_PNG\"]}}, {\"id\": \"WIA_IPA_FILENAME_EXTENSION\", \"value\": \"png\"}",
                        "scan.png", null),
                Arguments.of("missing", "{\"id\": \"WIA_IPA_FILENAME_EXTENSION\", \"absent\": true}", "scan.bmp",
                        "getting file extension failed [1] default set to 'bmp'"));
    }

    @ParameterizedTest(name = "extension {0}")
    @MethodSource("extensions")
    void aFlatbedScanIsOneFileNamedByTheTemplateAndTheExtension(String description, String extra, String file,
            String warning) throws Exception {
        SimControl.loadProfile(ScannerOpenTest.scanner(ScannerOpenTest.CAPS_7,
                "{\"name\": \"Flatbed\", \"category\": \"flatbed\", \"properties\": [" + extra + "]}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            TransferResult r = s.scan(new ScanSettings().source(Source.FLATBED).destination(kept));
            assertEquals(List.of("done(" + output.resolve(file) + ", null)"), s.outcomes());
            assertEquals(List.of(file), names(r.files()));
            image(r.files().get(0));
            if (warning != null) {
                assertLoggedTimes(LogLevel.WARNING, warning, 1);
            }
            // A second scan writes the same name in the output folder; the first file stays kept.
            TransferResult again = s.scan(new ScanSettings().source(Source.FLATBED).destination(kept));
            int dot = file.indexOf('.');
            assertEquals(List.of(file.substring(0, dot) + "-2" + file.substring(dot)), names(again.files()));
            assertTrue(Files.exists(r.files().get(0)));
            s.close();
        }
    }

    static Stream<Arguments> endings() {
        return Stream.of(
                Arguments.of("an empty feeder", "{\"pages\": 2, \"end\": \"paper_empty\"}", 2, "failed(0, " + FEEDER_EMPTY + ")",
                        TransferResult.Outcome.COMPLETED),
                Arguments.of("an empty feeder at once", "{\"pages\": 0, \"end\": \"paper_empty\"}", 0,
                        "failed(0, " + FEEDER_EMPTY + ")", TransferResult.Outcome.COMPLETED),
                Arguments.of("a paper jam", "{\"pages\": 3, \"jamAt\": 2}", 1, "failed(-2145320958, Image transfer failed)",
                        TransferResult.Outcome.FAILED),
                Arguments.of("a stream without data", "{\"pages\": 3, \"emptyStream\": [2]}", 2,
                        "failed(0, " + FEEDER_EMPTY + ")", TransferResult.Outcome.COMPLETED),
                Arguments.of("a null item name", "{\"pages\": 2, \"itemName\": null}", 0,
                        "failed(-2147024809, Image transfer failed)", TransferResult.Outcome.FAILED),
                Arguments.of("the end of the batch", "{\"pages\": 2, \"end\": \"ok\"}", 2, "failed(0, " + FEEDER_EMPTY + ")",
                        TransferResult.Outcome.COMPLETED));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("endings")
    void aFeederScanEndsAsTheDeviceSays(String description, String transfer, int pages, String last,
            TransferResult.Outcome outcome) throws Exception {
        SimControl.loadProfile(profile("", transfer));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            TransferResult r = s.scan(new ScanSettings().source(Source.FEEDER).destination(kept));
            List<String> o = s.outcomes();
            assertEquals(pages + 1, o.size(), o.toString());
            assertEquals(last, o.get(pages));
            assertEquals(pages, r.files().size());
            assertEquals(outcome, r.outcome());
            for (Path f : r.files()) {
                image(f);
            }
            s.close();
        }
    }

    @Test
    void aDownloadWithoutAStreamReportsNoFile() throws Exception {
        SimControl.loadProfile(ScannerOpenTest.scanner(ScannerOpenTest.CAPS_7,
                "{\"name\": \"Flatbed\", \"category\": \"flatbed\", \"transfer\": {\"noStream\": true}}"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            TransferResult r = s.scan(new ScanSettings().destination(kept));
            assertEquals(List.of("done(, null)"), s.outcomes());
            assertEquals(List.of(), r.files());
            assertLogged(LogLevel.WARNING, "the device reported a finished transfer without a file");
            s.close();
        }
    }

    @ParameterizedTest(name = "index {0}")
    @ValueSource(ints = {-1, 10, 2})
    void anInvalidFunctionalUnitIsRefused(int index) throws Exception {
        SimControl.loadProfile(profile("", "{}"));
        try (WIAManager m = openManager()) {
            WIAScanner s = m.openScanner(ID);
            for (boolean dialog : index == 2 ? new boolean[] {false} : new boolean[] {false, true}) {
                SimControl.clearJournal();
                TalvekException e = assertThrows(TalvekException.class, () -> {
                    if (dialog) {
                        s.runTransfer(kept, () -> s._transfer(s.handle(), true, index, false, null));
                    } else {
                        s.scan(new ScanSettings().functionalUnit(index).destination(kept));
                    }
                });
                assertEquals(-9999, e.getCode());
                assertEquals("Invalid functional unit index", e.getMessage());
                if (index != 2) {
                    assertEquals(List.of(), journalLines("GetInterfaceFromGlobal"), "refused before the look-up");
                }
            }
            s.close();
        }
    }

    @Test
    void fortyPropertyIdsAreCutToThirtyTwo() throws Exception {
        SimControl.loadProfile(profile("", "{}"));
        try (WIAManager m = openManager(WIAManager.APARTMENT_MULTITHREADED, true)) {
            WIAScanner s = m.openScanner(ID);
            s.setResolution(50);
            int[] ids = IntStream.range(0, 40).map(i -> i % 2 == 0 ? WIAScanner.XRES : 7000 + i).toArray();
            log.clear();
            s.scan(kept, 0, false, ids);
            assertLoggedTimes(LogLevel.WARNING, "Property count 40 exceeded limit 32 truncated!", 1);
            List<String> lines = traces().stream().filter(t -> t.matches("\\d+ prop \\d+-> -?\\d+")).collect(Collectors.toList());
            assertEquals(32, lines.size(), log.dump());
            assertEquals("0 prop 6147-> 50", lines.get(0));
            assertEquals("31 prop 7031-> 0", lines.get(31));
            s.close();
        }
    }

    @Test
    void aNullIdArrayWritesNothingAndStillScans() throws Exception {
        SimControl.loadProfile(profile("", "{}"));
        try (WIAManager m = openManager(WIAManager.APARTMENT_MULTITHREADED, true)) {
            WIAScanner s = m.openScanner(ID);
            SimControl.clearJournal();
            log.clear();
            TransferResult r = s.scan(kept, 0, false, (int[]) null);
            assertEquals(1, r.files().size());
            assertEquals(List.of(), writes().stream().filter(w -> !w.startsWith("4106=")).collect(Collectors.toList()));
            assertFalse(traces().stream().anyMatch(t -> t.contains(" prop ")), log.dump());
            s.close();
        }
    }

    @Test
    void aCancelWhileNothingRunsChangesNothing() throws Exception {
        try (WIAManager m = openManager()) {
            WIAScanner s = m.openScanner(SCANNER_ID);
            s.cancel();
            assertLogged(LogLevel.TRACE, "-> ox.orvel.talvek.wia.WIAScanner._cancelTransfer(" + (int) s.handle() + ")");
            TransferResult r = s.scan(new ScanSettings().source(Source.FLATBED).resolution(75).destination(kept));
            assertEquals(TransferResult.Outcome.COMPLETED, r.outcome(), "a later scan is not cancelled");
            s.close();
        }
    }

    @ParameterizedTest(name = "{0}")
    @ValueSource(strings = {"Flatbed", "Feeder"})
    void aCancelFromAnotherThreadEndsTheScan(String item) throws Exception {
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, SCANNER_ID);
            SimControl.holdTransfer(item, 3);
            AtomicReference<TransferResult> result = new AtomicReference<>();
            Thread scanning = new Thread(() -> {
                try {
                    result.set(s.scan(new ScanSettings().source(item.equals("Feeder") ? Source.FEEDER : Source.FLATBED)
                            .resolution(75).destination(kept)));
                } catch (TalvekException e) {
                    throw new IllegalStateException(e);
                }
            }, "scanning");
            scanning.start();
            assertTrue(SimControl.awaitTransferHeld(20_000), "the transfer reached its hold point");
            onFreshThread("cancelling", () -> s.cancel());
            SimControl.releaseTransfer();
            scanning.join(30_000);
            assertFalse(scanning.isAlive());
            TransferResult r = result.get();
            assertEquals(TransferResult.Outcome.CANCELLED, r.outcome(), r.toString());
            List<String> o = s.outcomes();
            assertEquals("failed(1, " + CANCELED + ")", o.get(o.size() - 1));
            for (Path f : r.files()) {
                image(f);
            }
            s.close();
        }
    }

    static Stream<Arguments> flagCombinations() {
        // item, progress flag, cancel during the first page; then: status reports, end-of-transfer
        // report (code 3), pages kept, outcome.
        return Stream.of(
                Arguments.of("Flatbed", true, false, true, false, 1, TransferResult.Outcome.COMPLETED),
                Arguments.of("Flatbed", false, false, false, false, 1, TransferResult.Outcome.COMPLETED),
                Arguments.of("Feeder", true, false, true, true, 6, TransferResult.Outcome.COMPLETED),
                Arguments.of("Feeder", false, false, false, false, 6, TransferResult.Outcome.COMPLETED),
                Arguments.of("Flatbed", true, true, true, false, 0, TransferResult.Outcome.CANCELLED),
                // Without progress a flatbed's callback never acts: the cancel cannot stop it.
                Arguments.of("Flatbed", false, true, false, false, 1, TransferResult.Outcome.COMPLETED),
                Arguments.of("Feeder", true, true, true, false, 0, TransferResult.Outcome.CANCELLED),
                // A feeder's end of stream answers the cancel; that page is not reported.
                Arguments.of("Feeder", false, true, false, false, 0, TransferResult.Outcome.CANCELLED));
    }

    @ParameterizedTest(name = "{0}, progress {1}, cancel {2}")
    @MethodSource("flagCombinations")
    void progressAndFeederFlagsDecideWhatReachesJava(String item, boolean progress, boolean cancel, boolean status,
            boolean endOfTransfer, int pages, TransferResult.Outcome outcome) throws Exception {
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, SCANNER_ID);
            ScanSettings settings = new ScanSettings().source(item.equals("Feeder") ? Source.FEEDER : Source.FLATBED)
                    .duplex(true).resolution(75).progress(progress).destination(kept);
            TransferResult r;
            if (cancel) {
                SimControl.holdTransferInFile(item, 1, 2);
                AtomicReference<TransferResult> result = new AtomicReference<>();
                Thread scanning = new Thread(() -> {
                    try {
                        result.set(s.scan(settings));
                    } catch (TalvekException e) {
                        throw new IllegalStateException(e);
                    }
                }, "scanning");
                scanning.start();
                assertTrue(SimControl.awaitTransferHeld(20_000), "held");
                s.cancel();
                SimControl.releaseTransfer();
                scanning.join(30_000);
                r = result.get();
            } else {
                r = s.scan(settings);
            }
            List<String> p = s.calls("progress(");
            assertEquals(status, p.stream().anyMatch(c -> c.startsWith("progress(1, ")), p.toString());
            assertEquals(endOfTransfer, p.stream().anyMatch(c -> c.startsWith("progress(3, ")), p.toString());
            assertEquals(pages, r.files().size(), r.toString());
            assertEquals(outcome, r.outcome(), r.toString());
            s.close();
        }
    }

    @Test
    void anOutputFolderWithNonAsciiNamesGivesAnIntactPath() throws Exception {
        output = Files.createDirectories(tmp.resolve("Scans \u00dcbersicht \u626b\u63cf \uD83D\uDCF7"));
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, SCANNER_ID);
            TransferResult r = s.scan(new ScanSettings().source(Source.FLATBED).resolution(75).destination(kept));
            assertEquals(List.of("done(" + output.resolve("scan.bmp") + ", null)"), s.outcomes());
            image(r.files().get(0));
            s.close();
        }
    }

    @Test
    void aPathLongerThanTheBufferIsCutTo1023Characters() throws Exception {
        // A folder of 1018 characters: "/scan.bmp" does not fit, the name is cut to "scan".
        Path p = tmp;
        while (p.toString().length() < 1018 - 201) {
            p = p.resolve("d".repeat(200));
        }
        p = p.resolve("e".repeat(1018 - p.toString().length() - 1));
        assertEquals(1018, p.toString().length());
        output = Files.createDirectories(p);
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, SCANNER_ID);
            TransferResult r = s.scan(new ScanSettings().source(Source.FLATBED).resolution(75).destination(kept));
            String cut = output + "/scan";
            assertEquals(1023, cut.length());
            assertEquals(List.of("done(" + cut + ", null)"), s.outcomes());
            assertEquals(List.of("scan"), names(r.files()));
            image(r.files().get(0));
            s.close();
        }
    }

    @Test
    void theDialogReportsItsFilesOrItsCancel() throws Exception {
        SimControl.loadProfile("{\"devices\": [{\"id\": " + Profiles.quote(ID) + ", \"type\": \"scanner\","
                + " \"dialog\": [{\"answer\": \"cancel\"}, {\"files\": 3}],"
                + " \"root\": {\"children\": [{\"name\": \"Flatbed\", \"category\": \"flatbed\"}]}}]}");
        try (WIAManager m = openManager()) {
            RecordingScanner s = RecordingScanner.open(m, ID);
            TransferResult cancelled = s.scanWithDialog(kept, false);
            assertEquals(List.of("failed(1, " + CANCELED + ")"), s.outcomes());
            assertEquals(TransferResult.Outcome.CANCELLED, cancelled.outcome());
            s.clearCalls();
            TransferResult r = s.scanWithDialog(kept, false);
            assertEquals(3, s.outcomes().size(), s.outcomes().toString());
            assertTrue(s.outcomes().stream().allMatch(c -> c.startsWith("done(" + output) && c.endsWith(", null)")),
                    s.outcomes().toString());
            assertEquals(3, r.files().size());
            for (Path f : r.files()) {
                image(f);
            }
            assertEquals(TransferResult.Outcome.COMPLETED, r.outcome());
            s.close();
        }
    }
}
