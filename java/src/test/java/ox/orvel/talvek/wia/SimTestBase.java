package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.fail;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Optional;
import java.util.concurrent.Callable;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicReference;
import java.util.stream.Collectors;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;

import ox.orvel.talvek.Configuration;
import ox.orvel.talvek.sim.SimControl;

/**
 * Base of the integration tests. Each test starts on a freshly reset simulated service with a
 * capturing log sink, and ends by checking the service's accounting: the live COM objects,
 * BSTRs, task-memory blocks and message buffers are back where they were before the test, and
 * nothing was freed twice or freed that the service never handed out.
 */
public abstract class SimTestBase {
    /** The flavour this JVM runs, from the system property talvek.flavour. */
    protected static final Flavour FLAVOUR = Flavour.fromSystemProperty();

    protected static final String SCANNER_ID = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
    protected static final String CAMERA_ID = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001";

    protected static final int E_FAIL = 0x80004005;
    protected static final int E_INVALIDARG = 0x80070057;
    protected static final int REGDB_E_CLASSNOTREG = 0x80040154;
    protected static final int S_FALSE = 1;

    private static final String[] COUNT_NAMES = {"objects", "bstrs", "taskMem", "local"};

    static {
        WIAManager.loadLibrary(FLAVOUR);
    }

    /** Every line logged during the test. */
    protected final CapturingLogSink log = new CapturingLogSink();

    private long[] countsBefore;
    private int subscriptionsBefore;
    private long leftOverObjects;
    private String leftOverReason;
    private String savedImageDir;
    private String savedFileName;

    @BeforeEach
    protected final void startOnResetService() {
        SimControl.reset();
        savedImageDir = Configuration.IMAGE_DIR;
        savedFileName = Configuration.FILE_NAME;
        WIAManager.setLogSink(log);
        countsBefore = SimControl.counts();
        subscriptionsBefore = SimControl.subscriptions();
    }

    @AfterEach
    protected final void checkAccounting() throws Exception {
        try {
            Optional<WIAManager> open = WIAManager.openManager();
            if (open.isPresent()) {
                open.get().close();
                fail("the test left " + open.get() + " open");
            }
            SimControl.waitEventsDelivered();
            long[] after = SimControl.counts();
            List<String> differences = new ArrayList<>();
            for (int i = 0; i < COUNT_NAMES.length; i++) {
                long expected = countsBefore[i] + (i == 0 ? leftOverObjects : 0);
                if (after[i] != expected) {
                    differences.add(COUNT_NAMES[i] + " " + countsBefore[i] + " -> " + after[i]
                            + (i == 0 && leftOverObjects != 0 ? " (" + leftOverObjects + " expected: " + leftOverReason + ")" : ""));
                }
            }
            if (after[4] != 0) {
                differences.add("badFrees " + after[4]);
            }
            if (!differences.isEmpty()) {
                fail("service accounting after the test: " + String.join(", ", differences)
                        + "\nlive objects:\n  " + String.join("\n  ", SimControl.liveObjects()));
            }
        } finally {
            Configuration.IMAGE_DIR = savedImageDir;
            Configuration.FILE_NAME = savedFileName;
            WIAManager.setLogSink(null);
        }
    }

    /** Declares COM objects that the behaviour under test leaves alive by design. */
    protected final void expectLeftOverObjects(long objects, String reason) {
        leftOverObjects = objects;
        leftOverReason = reason;
    }

    /** Live event registrations of the service, counted from the start of the test. */
    protected final int subscriptions() {
        return SimControl.subscriptions() - subscriptionsBefore;
    }

    // ---- journal ----

    protected static List<String> journal() {
        return Arrays.asList(SimControl.journal());
    }

    /** Journal lines that contain the fragment. */
    static List<String> journalLines(String fragment) {
        return journal().stream().filter(l -> l.contains(fragment)).collect(Collectors.toList());
    }

    /** Journal lines of one thread (by its journal id) that contain the fragment. */
    static List<String> journalLines(int threadId, String fragment) {
        String prefix = Integer.toUnsignedString(threadId) + " ";
        return journal().stream().filter(l -> l.startsWith(prefix) && l.contains(fragment)).collect(Collectors.toList());
    }

    protected static String journalDump() {
        return String.join("\n", SimControl.journal());
    }

    // ---- names of the flavour ----

    static String devMgrInterface() {
        return FLAVOUR == Flavour.W2 ? "IWiaDevMgr2" : "IWiaDevMgr";
    }

    static String flavourTag() {
        return FLAVOUR == Flavour.W2 ? "(WIA2)" : "(WIA1)";
    }

    /** The argument filter that picks the creation of the flavour's device manager. */
    protected static String devMgrClassFilter() {
        return FLAVOUR == Flavour.W2 ? "CLSID_WiaDevMgr2" : "CLSID_WiaDevMgr,";
    }

    // ---- log ----

    protected final List<String> traces() {
        return log.texts(LogLevel.TRACE);
    }

    final List<String> warnings() {
        return log.texts(LogLevel.WARNING);
    }

    final void assertLogged(LogLevel level, String text) {
        if (!log.texts(level).contains(text)) {
            fail("no " + level + " line \"" + text + "\" in\n" + log.dump());
        }
    }

    final void assertLoggedTimes(LogLevel level, String text, int times) {
        long n = log.texts(level).stream().filter(text::equals).count();
        assertEquals(times, n, "count of " + level + " line \"" + text + "\" in\n" + log.dump());
    }

    // ---- threads ----

    /** Runs the work on a new thread and waits for it; what it throws is thrown here. */
    static <T> T onFreshThread(String name, Callable<T> work) throws Exception {
        AtomicReference<T> result = new AtomicReference<>();
        AtomicReference<Throwable> failure = new AtomicReference<>();
        Thread t = new Thread(() -> {
            try {
                result.set(work.call());
            } catch (Throwable e) {
                failure.set(e);
            }
        }, name);
        t.start();
        t.join(TimeUnit.SECONDS.toMillis(60));
        if (t.isAlive()) {
            fail("thread " + name + " did not finish within 60 s");
        }
        Throwable e = failure.get();
        if (e instanceof Exception) {
            throw (Exception) e;
        }
        if (e instanceof Error) {
            throw (Error) e;
        }
        return result.get();
    }

    interface Work {
        void run() throws Exception;
    }

    static void onFreshThread(String name, Work work) throws Exception {
        onFreshThread(name, () -> {
            work.run();
            return null;
        });
    }
}
