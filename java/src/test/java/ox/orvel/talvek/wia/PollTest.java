package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

import ox.orvel.talvek.sim.SimControl;

/** WIAManager.poll: a log line in the WIA 2.0 flavour, a new listing in the WIA 1.0 flavour. */
class PollTest extends SimTestBase {

    private static final String POLL_LINE = "-> ox.orvel.talvek.wia.WIAManager._poll()";

    @ParameterizedTest(name = "verbose {0}")
    @ValueSource(booleans = {false, true})
    void pollOfTheFlavour(boolean verbose) throws Exception {
        int tid = SimControl.currentThreadId();
        try (RecordingManager m = new RecordingManager()) {
            m.open(WIAManager.APARTMENT_MULTITHREADED, verbose);
            m.clearCalls();
            log.clear();
            SimControl.clearJournal();

            m.poll();

            assertEquals(verbose ? List.of(POLL_LINE) : List.of(), log.texts(), log.dump());
            if (FLAVOUR == Flavour.W2) {
                assertEquals(List.of(), m.calls());
                assertEquals(List.of(), journal(), "the WIA 2.0 poll calls nothing");
            } else {
                assertEquals(List.of(SCANNER_ID, CAMERA_ID), m.addedIds(), "every device is reported again");
                String handle = "0x" + Long.toHexString(m.handle()).toUpperCase();
                assertEquals(tid + " CoInitialize()", journal().get(0).replaceAll(" = .*", ""), journalDump());
                assertEquals(1, journalLines(tid, "GetInterfaceFromGlobal(" + handle + ", IID_IWiaDevMgr) = 0x00000000").size(),
                        journalDump());
                assertEquals(1, journalLines(tid, "IWiaDevMgr.EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL)").size(), journalDump());
            }
            assertEquals(List.of(SCANNER_ID, CAMERA_ID), ids(m.devices()));
        }
    }

    @Test
    void pollBringsTheDeviceListUpToDateWithoutEvents() throws Exception {
        assumeTrue(FLAVOUR == Flavour.W1, "the WIA 1.0 flavour lists devices again on poll");
        String newId = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0030";
        List<String> seen = new ArrayList<>();
        onFreshThread("poll-mta-no-events", () -> {
            try (RecordingManager m = new RecordingManager()) {
                m.addDeviceListener(new DeviceListener() {
                    @Override
                    public void deviceAdded(WIAManager manager, DeviceInfo device) {
                        seen.add("+" + device.id());
                    }

                    @Override
                    public void deviceRemoved(WIAManager manager, DeviceInfo device) {
                        seen.add("-" + device.id());
                    }
                });
                m.open(WIAManager.APARTMENT_MULTITHREADED_NO_EVENTS, false);
                assertEquals(0, subscriptions());
                SimControl.loadProfile(Profiles.profile(
                        Profiles.device(SCANNER_ID, "Talvek Virtual Scanner", "scanner", 0),
                        Profiles.device(newId, "Second Scanner", "scanner", 0)));
                m.poll();
                // New devices are told while they are listed, lost ones once the listing is complete.
                assertEquals(List.of("+" + SCANNER_ID, "+" + CAMERA_ID, "+" + newId, "-" + CAMERA_ID), seen);
                assertEquals(List.of(SCANNER_ID, newId), ids(m.devices()));
            }
        });
    }

    private static List<String> ids(List<DeviceInfo> devices) {
        List<String> out = new ArrayList<>();
        for (DeviceInfo d : devices) {
            out.add(d.id());
        }
        return out;
    }

    @Test
    void pollOfAClosedManagerIsRefused() {
        RecordingManager m = new RecordingManager();
        org.junit.jupiter.api.Assertions.assertThrows(IllegalStateException.class, m::poll);
        assertTrue(journal().isEmpty(), journalDump());
    }
}
