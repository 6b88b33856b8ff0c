package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Arrays;
import java.util.List;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.sim.SimControl;

/** Opening and closing the manager: COM, the interface table, the event subscriptions, the log. */
class ManagerLifecycleTest extends SimTestBase {

    private static final String INIT_EXIT = "<- ox.orvel.talvek.wia.WIAManager._initialize() ";
    private static final String RELEASE_ENTRY = "-> ox.orvel.talvek.wia.WIAManager._release()";
    private static final String RELEASE_EXIT = "<- ox.orvel.talvek.wia.WIAManager._release()";
    private static final String REGISTRATION_RELEASE = "IUnknown.Release() = 0x00000000 @WiaEventRegistration#";

    @Test
    void openAndCloseInTheMultithreadedApartment() throws Exception {
        int tid = SimControl.currentThreadId();
        String devMgr = devMgrInterface();
        // The WIA 2.0 flavour only logs the apartment mode, in hexadecimal.
        int mode = FLAVOUR == Flavour.W2 ? 26 : 0;
        RecordingManager m = new RecordingManager();
        try {
            m.open(mode, false);
            assertEquals(2, subscriptions());
            assertEquals("mta", SimControl.currentApartment());
            String handle = "0x" + Long.toHexString(m.handle()).toUpperCase();
            assertTrue(m.handle() > 0 && m.handle() <= 0xFFFFFFFFL);

            String clsid = FLAVOUR == Flavour.W2 ? "CLSID_WiaDevMgr2" : "CLSID_WiaDevMgr";
            String[] order = {
                "^" + tid + " CoInitializeEx\\(COINIT_MULTITHREADED\\)",
                "^" + tid + " CoCreateInstance\\(" + clsid + ", CLSCTX_LOCAL_SERVER, IID_" + devMgr + "\\) = 0x00000000",
                "^" + tid + " IGlobalInterfaceTable.RegisterInterfaceInGlobal\\(IID_" + devMgr + "\\) = 0x00000000",
                "^" + tid + " " + devMgr + ".EnumDeviceInfo\\(WIA_DEVINFO_ENUM_LOCAL\\)",
                "^" + tid + " " + devMgr + ".RegisterEventCallbackInterface\\(0, null, WIA_EVENT_DEVICE_CONNECTED\\) = 0x00000000",
                "^" + tid + " " + devMgr + ".RegisterEventCallbackInterface\\(0, null, WIA_EVENT_DEVICE_DISCONNECTED\\) = 0x00000000",
            };
            assertInOrder(order);
            SimControl.clearJournal();
            log.clear();
            m.close();

            assertEquals(0, subscriptions());
            assertInOrder(
                    "^" + tid + " IUnknown.Release\\(\\) = 0x00000000 @WiaEventRegistration#",
                    "^" + tid + " IUnknown.Release\\(\\) = 0x00000000 @WiaEventRegistration#",
                    "^" + tid + " IGlobalInterfaceTable.GetInterfaceFromGlobal\\(" + handle + ", IID_" + devMgr + "\\) = 0x00000000",
                    "^" + tid + " IGlobalInterfaceTable.RevokeInterfaceFromGlobal\\(" + handle + "\\) = 0x00000000",
                    "^" + tid + " CoUninitialize\\(\\)");
            List<String> lines = journal();
            assertTrue(lines.get(lines.size() - 1).matches(tid + " CoUninitialize\\(\\).*"), journalDump());
            assertEquals(List.of(RELEASE_ENTRY, RELEASE_EXIT), traces());
        } finally {
            m.close();
        }
    }

    private static void assertInOrder(String... regexes) {
        int last = -1;
        List<String> lines = journal();
        for (String r : regexes) {
            java.util.regex.Pattern p = java.util.regex.Pattern.compile(r);
            int found = -1;
            for (int i = last + 1; i < lines.size(); i++) {
                if (p.matcher(lines.get(i)).find()) {
                    found = i;
                    break;
                }
            }
            if (found < 0) {
                throw new AssertionError("no journal line /" + r + "/ after line " + last + " in\n" + journalDump());
            }
            last = found;
        }
    }

    @Test
    void traceLinesOfOpenAndClose() throws Exception {
        int mode = FLAVOUR == Flavour.W2 ? 26 : 0;
        try (RecordingManager m = new RecordingManager()) {
            m.open(mode, false);
        }
        List<String> t = traces();
        String entry = "-> " + flavourTag() + " ox.orvel.talvek.wia.WIAManager._initialize() " + Integer.toHexString(mode);
        assertEquals(entry, t.get(0), log.dump());
        assertTrue(t.indexOf(INIT_EXIT + "registered") > 0, log.dump());
        assertEquals(List.of(RELEASE_ENTRY, RELEASE_EXIT), t.subList(t.size() - 2, t.size()));
        assertEquals(List.of(), warnings());
    }

    static Stream<Arguments> subscriptionFailures() {
        return Stream.of(
                // connected fails, disconnected fails, warnings, exit word, live registrations while open, after close
                Arguments.of(true, false, List.of("registering connected event failed 80004005"), "unregistered", 1, 0),
                Arguments.of(false, true, List.of("registering disconnected event failed 80004005"), "registered", 1, 0),
                Arguments.of(true, true, List.of("registering connected event failed 80004005",
                        "registering disconnected event failed 80004005"), "unregistered", 0, 0),
                Arguments.of(false, false, List.of(), "registered", 2, 0));
    }

    @ParameterizedTest(name = "connected fails {0}, disconnected fails {1}")
    @MethodSource("subscriptionFailures")
    void eventSubscriptionFailures(boolean connectedFails, boolean disconnectedFails, List<String> expectedWarnings,
            String exitWord, int liveWhileOpen, int liveAfterClose) throws Exception {
        String method = devMgrInterface() + ".RegisterEventCallbackInterface";
        if (connectedFails) {
            SimControl.injectFault(method, "WIA_EVENT_DEVICE_CONNECTED", E_FAIL, 1, 1, false);
        }
        if (disconnectedFails) {
            SimControl.injectFault(method, "WIA_EVENT_DEVICE_DISCONNECTED", E_FAIL, 1, 1, false);
        }
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            assertEquals(expectedWarnings, warnings());
            assertLogged(LogLevel.TRACE, INIT_EXIT + exitWord);
            assertEquals(liveWhileOpen, subscriptions());
            SimControl.clearJournal();
        }
        // Whichever subscription failed, every registration that was made ends with the manager.
        assertEquals(liveAfterClose, subscriptions());
        assertEquals(liveWhileOpen - liveAfterClose, journalLines(REGISTRATION_RELEASE).size(), journalDump());
        assertLogged(LogLevel.TRACE, RELEASE_EXIT);
    }

    @Test
    void failingReleaseRaisesAndLeavesTheManagerClosed() throws Exception {
        // On a thread of its own: the failed release leaves COM started on its thread.
        onFreshThread("failing-release", () -> {
            RecordingManager m = new RecordingManager();
            m.open();
            SimControl.clearJournal();
            SimControl.injectFault("IGlobalInterfaceTable.RevokeInterfaceFromGlobal", null, E_INVALIDARG, 1, 1, false);
            TalvekException e = assertThrows(TalvekException.class, m::close);
            assertEquals(E_INVALIDARG, e.getCode());
            assertEquals("The parameter is incorrect.", e.getMessage());
            assertTrue(e.getSourceFile().endsWith("WIAManager.cpp"), e.getSourceFile());
            assertFalse(m.isOpen());
            assertTrue(WIAManager.openManager().isEmpty());
            assertFalse(traces().contains(RELEASE_EXIT), "a raising _release logs no exit line");
            assertEquals(0, subscriptions(), "the subscriptions end before the failure");
            assertEquals(List.of(), journalLines("CoUninitialize"), "nothing runs after the failure");
        });
        // The table keeps the device manager it could not revoke, and nothing else is left.
        String kind = (FLAVOUR == Flavour.W2 ? "WiaDevMgr2" : "WiaDevMgr") + "#";
        long managers = Arrays.stream(SimControl.liveObjects()).filter(l -> l.startsWith(kind)).count();
        assertEquals(1, managers, String.join("\n", SimControl.liveObjects()));
        expectLeftOverObjects(1, "device manager left in the table by the failed revoke");
    }

    @Test
    void onlyOneManagerIsOpenAtATime() throws Exception {
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            assertThrows(IllegalStateException.class, m::open);
            assertThrows(IllegalStateException.class, () -> new RecordingManager().open());
            assertEquals(m, WIAManager.openManager().orElseThrow());
        }
        // The refused opens never reached the library.
        assertEquals(1, journalLines("CoCreateInstance(CLSID_WiaDevMgr").size(), journalDump());
    }
}
