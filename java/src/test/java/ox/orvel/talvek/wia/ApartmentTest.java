package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.util.List;
import java.util.stream.Stream;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

import ox.orvel.talvek.sim.SimControl;

/**
 * The apartment modes of the WIA 1.0 flavour. Every lifecycle runs on fresh threads: a thread
 * that once joined a single-threaded apartment stays in it.
 */
class ApartmentTest extends SimTestBase {

    @BeforeEach
    void wia1Only() {
        assumeTrue(FLAVOUR == Flavour.W1, "apartment modes belong to the WIA 1.0 flavour");
    }

    static Stream<Arguments> modes() {
        return Stream.of(
                // mode, COM start-up, apartment, live subscriptions, exit word
                Arguments.of(0, "CoInitializeEx(COINIT_MULTITHREADED)", "mta", 2, "registered"),
                Arguments.of(1, "CoInitialize()", "sta", 0, "unregistered"),
                Arguments.of(2, "CoInitializeEx(COINIT_MULTITHREADED)", "mta", 0, "unregistered"),
                Arguments.of(3, "CoInitialize()", "sta", 0, "unregistered"),
                Arguments.of(4, "CoInitializeEx(COINIT_MULTITHREADED)", "mta", 0, "unregistered"));
    }

    @ParameterizedTest(name = "mode {0}")
    @MethodSource("modes")
    void startUpOfTheMode(int mode, String startUp, String apartment, int live, String exitWord) throws Exception {
        onFreshThread("apartment-" + mode, () -> {
            int tid = SimControl.currentThreadId();
            try (RecordingManager m = new RecordingManager()) {
                m.open(mode, false);
                assertEquals(apartment, SimControl.currentApartment());
                assertEquals(tid + " " + startUp, journal().get(0).replaceAll(" = .*", ""), journalDump());
                assertEquals(live, subscriptions());
                assertEquals(live == 0 ? 0 : 2, journalLines("RegisterEventCallbackInterface").size(), journalDump());
                assertLogged(LogLevel.TRACE, "-> (WIA1) ox.orvel.talvek.wia.WIAManager._initialize() " + Integer.toHexString(mode));
                assertLogged(LogLevel.TRACE, "<- ox.orvel.talvek.wia.WIAManager._initialize() " + exitWord);
                assertEquals(mode == 0, m.hasDeviceEvents());
                assertEquals(List.of(SCANNER_ID, CAMERA_ID), m.addedIds());
            }
            assertEquals(0, subscriptions());
        });
    }

    @ParameterizedTest(name = "mode {0}")
    @ValueSource(ints = {1, 2})
    void releasingThreadsStartAnApartmentOnlyInSingleThreadedMode(int mode) throws Exception {
        boolean sta = (mode & 1) != 0;
        RecordingManager m = new RecordingManager();
        long[] device = new long[1];
        onFreshThread("open-" + mode, () -> {
            m.open(mode, false);
            device[0] = SimControl.openDevice(SCANNER_ID, false);
        });
        String deviceCookie = "0x" + Long.toHexString(device[0]).toUpperCase();
        String managerCookie = "0x" + Long.toHexString(m.handle()).toUpperCase();

        onFreshThread("device-release-" + mode, () -> {
            int tid = SimControl.currentThreadId();
            SimControl.clearJournal();
            WIADevice._release(device[0]);
            List<String> own = journalLines(tid, "");
            assertEquals(sta, own.get(0).startsWith(tid + " CoInitialize() = 0x00000000"), journalDump());
            assertEquals(1, journalLines(tid, "GetInterfaceFromGlobal(" + deviceCookie + ", IID_IWiaItem) = 0x00000000").size(),
                    journalDump());
            assertEquals(1, journalLines(tid, "RevokeInterfaceFromGlobal(" + deviceCookie + ") = 0x00000000").size(),
                    journalDump());
        });

        onFreshThread("manager-release-" + mode, () -> {
            int tid = SimControl.currentThreadId();
            SimControl.clearJournal();
            m.close();
            List<String> own = journalLines(tid, "");
            assertEquals(sta, own.get(0).startsWith(tid + " CoInitialize() = 0x00000000"), journalDump());
            assertEquals(1, journalLines(tid, "GetInterfaceFromGlobal(" + managerCookie + ", IID_IWiaDevMgr) = 0x00000000").size(),
                    journalDump());
            assertTrue(own.get(own.size() - 1).startsWith(tid + " CoUninitialize()"), journalDump());
        });
        assertLogged(LogLevel.TRACE, "<- ox.orvel.talvek.wia.WIAManager._release()");
    }
}
