package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import java.util.function.LongUnaryOperator;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.sim.SimControl;

/** WIADevice._release: a device handle is given back once; only its low 32 bits count. */
class DeviceReleaseTest extends SimTestBase {
    private static final String ENTRY = "-> ox.orvel.talvek.wia.WIADevice._release(";
    private static final String EXIT = "<- ox.orvel.talvek.wia.WIADevice._release()";
    private static final int E_NOINTERFACE = 0x80004002;

    private static String item() {
        return FLAVOUR == Flavour.W2 ? "IID_IWiaItem2" : "IID_IWiaItem";
    }

    private static String hex(long cookie) {
        return "0x" + Long.toHexString(cookie & 0xFFFFFFFFL).toUpperCase();
    }

    static Stream<Arguments> handles() {
        return Stream.of(
                Arguments.of("a scanner handle", SCANNER_ID, (LongUnaryOperator) h -> h),
                Arguments.of("a camera handle", CAMERA_ID, (LongUnaryOperator) h -> h),
                Arguments.of("a handle with upper bits set", SCANNER_ID, (LongUnaryOperator) h -> h | 0x7ABC_0001_0000_0000L),
                Arguments.of("a negative handle", CAMERA_ID, (LongUnaryOperator) h -> h | 0xFFFF_FFFF_0000_0000L));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("handles")
    void aHandleIsReleasedOnceByItsLow32Bits(String description, String deviceId, LongUnaryOperator asGiven)
            throws Exception {
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            long cookie = SimControl.openDevice(deviceId, FLAVOUR == Flavour.W2);
            SimControl.clearJournal();
            log.clear();

            WIADevice._release(asGiven.applyAsLong(cookie));

            assertEquals(List.of(ENTRY + (int) cookie + ")", EXIT), traces());
            assertEquals(1, journalLines("GetInterfaceFromGlobal(" + hex(cookie) + ", " + item() + ") = 0x00000000").size(),
                    journalDump());
            assertEquals(1, journalLines("RevokeInterfaceFromGlobal(" + hex(cookie) + ") = 0x00000000").size(), journalDump());

            // A second release finds nothing in the table.
            log.clear();
            TalvekException e = assertThrows(TalvekException.class, () -> WIADevice._release(cookie));
            assertEquals(E_INVALIDARG, e.getCode());
            assertEquals("The parameter is incorrect.", e.getMessage());
            assertTrue(e.getSourceFile().endsWith("WIADevice.cpp"), e.getSourceFile());
            assertEquals(List.of(ENTRY + (int) cookie + ")"), traces(), "no exit line after a raise");
        }
    }

    @Test
    void handlesThatNeverWereOneAreRefused() throws Exception {
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            long[][] cases = {
                {0L, E_INVALIDARG},
                {0xFFFF_FF00L, E_INVALIDARG},
                {0x1234_5678_0000_0000L, E_INVALIDARG},
                // The manager handle names no root item: the look-up fails and the manager stays registered.
                {m.handle(), E_NOINTERFACE},
            };
            for (long[] c : cases) {
                log.clear();
                TalvekException e = assertThrows(TalvekException.class, () -> WIADevice._release(c[0]));
                assertEquals((int) c[1], e.getCode(), "handle 0x" + Long.toHexString(c[0]));
                assertEquals(List.of(ENTRY + (int) c[0] + ")"), traces());
            }
            assertEquals(List.of(), journalLines("RevokeInterfaceFromGlobal"), journalDump());
        }
        assertLogged(LogLevel.TRACE, "<- ox.orvel.talvek.wia.WIAManager._release()");
    }

    @Test
    void anotherThreadReleasesWithoutStartingCom() throws Exception {
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            long cookie = SimControl.openDevice(SCANNER_ID, FLAVOUR == Flavour.W2);
            onFreshThread("device-release", () -> {
                int tid = SimControl.currentThreadId();
                WIADevice._release(cookie);
                assertEquals(List.of(), journalLines(tid, "CoInitialize"), journalDump());
                assertEquals(1, journalLines(tid, "RevokeInterfaceFromGlobal(" + hex(cookie) + ") = 0x00000000").size());
            });
        }
    }
}
