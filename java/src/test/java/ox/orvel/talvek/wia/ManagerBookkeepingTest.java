package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** The Java side of the manager: the device list, its listeners, and the names of the flavours and types. */
class ManagerBookkeepingTest extends SimTestBase {

    @Test
    void concurrentReportsFromManyThreadsKeepTheListConsistent() throws Exception {
        int threads = 8;
        int perThread = 300;
        AtomicInteger added = new AtomicInteger();
        AtomicInteger removed = new AtomicInteger();
        List<Throwable> escaped = Collections.synchronizedList(new ArrayList<>());
        try (RecordingManager m = new RecordingManager()) {
            m.open();
            m.addDeviceListener(new DeviceListener() {
                @Override
                public void deviceAdded(WIAManager manager, DeviceInfo device) {
                    added.incrementAndGet();
                    if (device.id().hashCode() % 3 == 0) {
                        throw new IllegalStateException("listener fault");
                    }
                }

                @Override
                public void deviceRemoved(WIAManager manager, DeviceInfo device) {
                    removed.incrementAndGet();
                    manager.devices();
                }
            });
            CountDownLatch start = new CountDownLatch(1);
            List<Thread> workers = new ArrayList<>();
            for (int t = 0; t < threads; t++) {
                int n = t;
                Thread w = new Thread(() -> {
                    try {
                        start.await();
                        for (int i = 0; i < perThread; i++) {
                            String id = "dev-" + n + "-" + i;
                            m.add(id, 1 << 16, "Device " + i);
                            m.add(id, 1 << 16, "Device " + i + " again");
                            m.devices();
                            m.remove(id, "gone");
                            m.remove(id, "gone twice");
                        }
                    } catch (Throwable e) {
                        escaped.add(e);
                    }
                }, "reporter-" + t);
                workers.add(w);
                w.start();
            }
            start.countDown();
            for (Thread w : workers) {
                w.join();
            }
            assertEquals(List.of(), escaped);
            assertEquals(threads * perThread, added.get(), "one report per new device");
            assertEquals(threads * perThread, removed.get(), "one report per known device");
            assertEquals(List.of(SCANNER_ID, CAMERA_ID), m.devices().stream().map(DeviceInfo::id).collect(Collectors.toList()));
        }
    }

    @Test
    void reportsToAClosedManagerAreIgnored() throws Exception {
        List<String> told = new ArrayList<>();
        RecordingManager m = new RecordingManager();
        m.addDeviceListener(new DeviceListener() {
            @Override
            public void deviceAdded(WIAManager manager, DeviceInfo device) {
                told.add(device.id());
            }
        });
        m.add("late", 1 << 16, "Late Scanner");
        assertEquals(List.of(), told);
        assertEquals(List.of(), m.devices());
        assertEquals(1, warnings().size(), log.dump());
    }

    static Stream<Arguments> libraryNames() {
        return Stream.of(
                Arguments.of(Flavour.W2, "64", "talvek64W2_25"),
                Arguments.of(Flavour.W1, "64", "talvek64W1_25"),
                Arguments.of(Flavour.W2, "32", "talvek32W2_25"),
                Arguments.of(Flavour.W1, "32", "talvek32W1_25"));
    }

    @ParameterizedTest(name = "{0} {1}-bit: {2}")
    @MethodSource("libraryNames")
    void libraryNameOfTheFlavour(Flavour flavour, String dataModel, String name) {
        assertEquals(name, flavour.libraryName(dataModel));
        assertEquals(flavour, Flavour.parse(" " + flavour.name().toLowerCase() + " "));
    }

    @Test
    void unknownFlavourNamesAreRefused() {
        for (String bad : new String[] {"W3", "", "WIA2", null}) {
            assertThrows(IllegalArgumentException.class, () -> Flavour.parse(bad), String.valueOf(bad));
        }
        assertThrows(IllegalStateException.class,
                () -> WIAManager.loadLibrary(FLAVOUR == Flavour.W2 ? Flavour.W1 : Flavour.W2),
                "a process holds one flavour");
    }

    static Stream<Arguments> typeWords() {
        return Stream.of(
                Arguments.of(0x0001_0000, DeviceType.SCANNER, 0),
                Arguments.of(0x0002_0005, DeviceType.CAMERA, 5),
                Arguments.of(0x0003_FFFF, DeviceType.VIDEO, 0xFFFF),
                Arguments.of(0x0000_0001, DeviceType.DEFAULT, 1),
                Arguments.of(0x0007_0000, DeviceType.UNKNOWN, 0),
                Arguments.of(0xFFFF_0002, DeviceType.UNKNOWN, 2));
    }

    @ParameterizedTest(name = "0x{0}")
    @MethodSource("typeWords")
    void typeWordsAreDecoded(int word, DeviceType type, int subtype) {
        DeviceInfo d = new DeviceInfo("id", word, "name");
        assertEquals(type, d.type());
        assertEquals(subtype, d.subtype());
    }
}
