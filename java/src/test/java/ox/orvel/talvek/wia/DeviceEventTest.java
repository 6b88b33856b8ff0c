package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.Collectors;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

import ox.orvel.talvek.sim.SimControl;

/** Devices plugged in and removed while the manager is open (WIA 2.0, and WIA 1.0 in mode 0). */
class DeviceEventTest extends SimTestBase {
    private static final String EVENT_ID = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0040";
    private static final int CAMERA_TYPE = (2 << 16) | 7;

    @ParameterizedTest(name = "description \"{0}\"")
    @ValueSource(strings = {"Holiday Camera", "Kamera \uD83D\uDCF7 Ü", "Dual\u0000Head"})
    void connectAndDisconnectReachAddAndRemoveOnAnotherThread(String description) throws Exception {
        List<String> told = Collections.synchronizedList(new ArrayList<>());
        try (RecordingManager m = new RecordingManager()) {
            m.addDeviceListener(new DeviceListener() {
                @Override
                public void deviceAdded(WIAManager manager, DeviceInfo device) {
                    told.add("+" + device.type() + " " + device.name());
                }

                @Override
                public void deviceRemoved(WIAManager manager, DeviceInfo device) {
                    told.add("-" + device.id());
                }
            });
            m.open();
            m.clearCalls();
            told.clear();

            assertTrue(SimControl.fireDeviceEvent(true, EVENT_ID, description, CAMERA_TYPE) >= 1);
            SimControl.waitEventsDelivered();
            assertTrue(m.device(EVENT_ID).isPresent(), "the plugged-in device is listed");
            assertTrue(SimControl.fireDeviceEvent(false, EVENT_ID, description + " (gone)", CAMERA_TYPE) >= 1);
            SimControl.waitEventsDelivered();

            List<RecordingManager.Call> calls = m.calls();
            assertEquals(List.of(
                    "add(" + EVENT_ID + ", 0x20007, " + description + ")",
                    "remove(" + EVENT_ID + ", " + description + " (gone))"),
                    calls.stream().map(c -> c.toString().replaceAll(" on .*", "")).collect(Collectors.toList()));
            for (RecordingManager.Call c : calls) {
                assertNotEquals(Thread.currentThread(), c.thread, "events arrive on a thread of the service");
            }
            assertEquals(List.of("+camera " + description, "-" + EVENT_ID), told);
            assertEquals(List.of(SCANNER_ID, CAMERA_ID),
                    m.devices().stream().map(DeviceInfo::id).collect(Collectors.toList()));
        }
    }

    @Test
    void aThrowingListenerDoesNotStopTheOthers() throws Exception {
        List<String> told = Collections.synchronizedList(new ArrayList<>());
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            m.addDeviceListener(new DeviceListener() {
                @Override
                public void deviceAdded(WIAManager manager, DeviceInfo device) {
                    throw new IllegalStateException("listener fault");
                }
            });
            m.addDeviceListener(new DeviceListener() {
                @Override
                public void deviceAdded(WIAManager manager, DeviceInfo device) {
                    // Reading the list from inside a report must not block.
                    told.add(device.id() + " " + manager.devices().size());
                }
            });
            SimControl.fireDeviceEvent(true, EVENT_ID, "Holiday Camera", CAMERA_TYPE);
            SimControl.waitEventsDelivered();
            assertEquals(List.of(EVENT_ID + " 3"), told);
            assertTrue(log.contains(LogLevel.WARNING, "listener fault"), log.dump());
        }
    }

    @Test
    @Timeout(value = 300, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void eventsFiredDuringReleaseNeverReachJavaAfterIt() throws Exception {
        int rounds = 300;
        int delivered = 0;
        List<String> late = new ArrayList<>();
        for (int round = 0; round < rounds; round++) {
            RecordingManager m = new RecordingManager();
            m.open();
            m.clearCalls();
            AtomicBoolean stop = new AtomicBoolean();
            AtomicInteger fired = new AtomicInteger();
            Thread firer = new Thread(() -> {
                for (int i = 0; i < 20000 && !stop.get(); i++) {
                    SimControl.fireDeviceEvent(i % 2 == 0, EVENT_ID, "Flicker", CAMERA_TYPE);
                    fired.incrementAndGet();
                }
            }, "event-firer-" + round);
            firer.start();
            // Let deliveries run, then release in the middle of them.
            long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(2);
            while (m.calls().size() < 1 + round % 5 && System.nanoTime() < deadline) {
                Thread.onSpinWait();
            }
            m.close();
            stop.set(true);
            firer.join();
            SimControl.waitEventsDelivered();
            for (RecordingManager.Call c : m.calls()) {
                if (c.afterRelease) {
                    late.add("round " + round + ": " + c);
                }
            }
            delivered += m.calls().size();
            assertEquals(0, subscriptions(), "round " + round);
        }
        assertEquals(List.of(), late);
        assertTrue(delivered >= rounds, "only " + delivered + " events were delivered in " + rounds + " rounds");
    }
}
