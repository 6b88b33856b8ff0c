package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import java.util.function.Consumer;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.sim.SimControl;

/** The devices reported when the manager opens. */
class DeviceListingTest extends SimTestBase {

    @Test
    void threeDevicesAreReportedInOrderWithIdTypeAndName() throws Exception {
        Profiles.Device[] devices = Profiles.threeDevices();
        SimControl.loadProfile(Profiles.profile(devices));
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            List<String> expected = new ArrayList<>();
            for (Profiles.Device d : devices) {
                expected.add("add(" + d.id + ", 0x" + Integer.toHexString(d.typeWord()) + ", " + nameOf(d) + ")");
            }
            List<String> got = new ArrayList<>();
            for (RecordingManager.Call c : m.adds()) {
                got.add("add(" + c.id + ", 0x" + Integer.toHexString(c.type) + ", " + c.name + ")");
                assertEquals(Thread.currentThread(), c.thread, "listing runs on the opening thread");
            }
            assertEquals(expected, got);

            List<DeviceInfo> list = m.devices();
            assertEquals(List.of(DeviceType.SCANNER, DeviceType.CAMERA, DeviceType.VIDEO),
                    list.stream().map(DeviceInfo::type).collect(java.util.stream.Collectors.toList()));
            assertEquals(3, list.get(0).subtype());
            assertNotEquals(0, m.handle());
        }
    }

    private static String nameOf(Profiles.Device d) {
        return d.nameJson.substring(1, d.nameJson.length() - 1);
    }

    static Stream<Arguments> listingCases() {
        Consumer<Profiles.Device[]> none = ds -> {};
        return Stream.of(
                Arguments.of("a name that is not a VT_BSTR skips the device",
                        (Consumer<Profiles.Device[]>) ds -> ds[1].record(7, "VT_I4", "5"), null, List.of(0, 2)),
                Arguments.of("a type that is not a VT_I4 skips the device",
                        (Consumer<Profiles.Device[]>) ds -> ds[1].record(5, "VT_BSTR", "\"scanner\""), null, List.of(0, 2)),
                Arguments.of("an ID that is not a VT_BSTR skips the device",
                        (Consumer<Profiles.Device[]>) ds -> ds[0].record(2, "VT_UI4", "7"), null, List.of(1, 2)),
                Arguments.of("ReadMultiple answering S_FALSE after its work ends the listing after that device",
                        none, new Object[] {"IWiaPropertyStorage.ReadMultiple", S_FALSE, 2, true}, List.of(0, 1)),
                Arguments.of("ReadMultiple failing ends the listing before that device",
                        none, new Object[] {"IWiaPropertyStorage.ReadMultiple", E_FAIL, 2, false}, List.of(0)),
                Arguments.of("a failing Next ends the listing",
                        none, new Object[] {"IEnumWIA_DEV_INFO.Next", E_FAIL, 3, false}, List.of(0, 1)),
                Arguments.of("Next answering S_FALSE early ends the listing",
                        none, new Object[] {"IEnumWIA_DEV_INFO.Next", S_FALSE, 1, false}, List.of()));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("listingCases")
    void listingOfThreeDevices(String description, Consumer<Profiles.Device[]> change, Object[] fault,
            List<Integer> reported) throws Exception {
        Profiles.Device[] devices = Profiles.threeDevices();
        change.accept(devices);
        SimControl.loadProfile(Profiles.profile(devices));
        if (fault != null) {
            SimControl.injectFault((String) fault[0], null, (Integer) fault[1], (Integer) fault[2], 1, (Boolean) fault[3]);
        }
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            List<String> expected = new ArrayList<>();
            for (int i : reported) {
                expected.add(devices[i].id);
            }
            assertEquals(expected, m.addedIds());
            assertTrue(m.isOpen());
        }
    }

    @Test
    void noDeviceStillOpensTheManager() throws Exception {
        SimControl.loadProfile(Profiles.profile());
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            assertEquals(List.of(), m.calls());
            assertNotEquals(0, m.handle());
            assertLogged(LogLevel.TRACE, "<- ox.orvel.talvek.wia.WIAManager._initialize() registered");
        }
    }

    static Stream<Arguments> names() {
        return Stream.of(
                Arguments.of("an embedded NUL", "\"Dual\\u0000Head\"", "Dual\u0000Head"),
                Arguments.of("a null BSTR", null, ""),
                Arguments.of("characters outside the BMP", "\"Scan \\ud83d\\udcf7 \\ud834\\udd1e\"", "Scan \uD83D\uDCF7 \uD834\uDD1E"),
                Arguments.of("non-ASCII text", "\"Num\\u00e9riseur \\u00fcber \\u6383\\u63cf\"", "Num\u00e9riseur \u00fcber \u6383\u63cf"));
    }

    @ParameterizedTest(name = "a device name with {0} reaches Java whole")
    @MethodSource("names")
    void deviceNamesReachJavaWhole(String description, String nameJson, String expected) throws Exception {
        Profiles.Device d = Profiles.device("{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0020", "x", "scanner", 0);
        if (nameJson == null) {
            d.record(7, "VT_BSTR", "null");
        } else {
            d.nameJson = nameJson;
        }
        SimControl.loadProfile(Profiles.profile(d));
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            List<RecordingManager.Call> adds = m.adds();
            assertEquals(1, adds.size(), () -> adds.toString());
            assertEquals(expected, adds.get(0).name);
            assertEquals(expected, m.devices().get(0).name());
        }
    }

    @Test
    void failingDeviceManagerCreationRaisesWithItsCodeAndReportsNothing() throws Exception {
        SimControl.injectFault("CoCreateInstance", devMgrClassFilter(), REGDB_E_CLASSNOTREG, 1, 1, false);
        RecordingManager m = new RecordingManager();
        TalvekException e = assertThrows(TalvekException.class, m::open);
        assertEquals(REGDB_E_CLASSNOTREG, e.getCode());
        assertEquals("Class not registered", e.getMessage());
        assertTrue(e.getSourceFile().endsWith("WIAManager.cpp"), e.getSourceFile());
        assertTrue(e.getLine() > 0, "line " + e.getLine());
        assertEquals(List.of(), m.calls());
        assertFalse(m.isOpen());
        assertEquals(0, m.handle());
        assertFalse(traces().stream().anyMatch(t -> t.startsWith("<- ox.orvel.talvek.wia.WIAManager._initialize()")),
                "a raising _initialize logs no exit line");
        assertEquals(0, subscriptions());
        assertTrue(journalLines("RegisterInterfaceInGlobal(" + devMgrInterface()).isEmpty(), journalDump());
    }

    @Test
    void failingEnumerationRaisesAndOpenLeavesNothingRegistered() throws Exception {
        SimControl.injectFault(devMgrInterface() + ".EnumDeviceInfo", null, E_FAIL, 1, 1, false);
        RecordingManager m = new RecordingManager();
        TalvekException e = assertThrows(TalvekException.class, m::open);
        assertEquals(E_FAIL, e.getCode());
        assertEquals("Unspecified error", e.getMessage());
        assertFalse(m.isOpen());
        assertTrue(WIAManager.openManager().isEmpty());
        assertEquals(List.of(), m.calls());
        // The manager had been registered before the listing failed; the failed open revoked it.
        assertEquals(1, journalLines("IGlobalInterfaceTable.RevokeInterfaceFromGlobal(").size(), journalDump());
        assertEquals(0, subscriptions());
    }

    @Test
    void aManagerCanBeOpenedAgainAfterItWasClosed() throws Exception {
        try (RecordingManager first = new RecordingManager()) {
            first.open();
        }
        try (RecordingManager second = new RecordingManager()) {
            second.open();
            assertEquals(List.of(SCANNER_ID, CAMERA_ID), second.addedIds());
        }
    }
}
