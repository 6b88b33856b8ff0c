package ox.orvel.talvek.wia;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.atomic.AtomicReference;

import ox.orvel.talvek.Configuration;
import ox.orvel.talvek.TalvekException;

/**
 * The WIA device manager of the process: lists the devices, follows devices being plugged in and
 * removed, and opens scanners and cameras.
 *
 * <pre>{@code
 * try (WIAManager manager = new WIAManager()) {
 *     manager.open();
 *     for (DeviceInfo d : manager.devices()) System.out.println(d);
 * }
 * }</pre>
 *
 * <p>The native library keeps one device manager per process, so at most one {@code WIAManager}
 * is open at a time. {@link #open}, {@link #poll} and {@link #close} may be called from any
 * thread, one at a time; the device list and the listeners may be used from any thread at any
 * time.
 *
 * <p>Apartment modes matter to the WIA 1.0 flavour only: {@link #APARTMENT_MULTITHREADED} (0)
 * follows plugged-in devices through events; {@link #APARTMENT_SINGLE_THREADED} (any odd value)
 * runs COM in a single-threaded apartment on every calling thread and has no events;
 * {@link #APARTMENT_MULTITHREADED_NO_EVENTS} (any other even value) has no events either. Without
 * events, {@link #poll} brings the device list up to date. The WIA 2.0 flavour always runs in the
 * multithreaded apartment with events.
 */
public class WIAManager implements AutoCloseable {
    /** Name of the java.util.logging logger that the default log sink writes to. */
    public static final String LOGGER_NAME = "ox.orvel.talvek.wia";

    public static final int APARTMENT_MULTITHREADED = 0;
    public static final int APARTMENT_SINGLE_THREADED = 1;
    public static final int APARTMENT_MULTITHREADED_NO_EVENTS = 2;

    private static final LogSink DEFAULT_LOG_SINK = new JavaLoggingSink(LOGGER_NAME);
    private static volatile LogSink logSink = DEFAULT_LOG_SINK;

    private static final Object LOAD_LOCK = new Object();
    private static Flavour loadedFlavour; // guarded by LOAD_LOCK

    private static final AtomicReference<WIAManager> OPEN_MANAGER = new AtomicReference<>();

    private enum State { CLOSED, OPENING, OPEN, CLOSING }

    private static final class Entry {
        DeviceInfo info;
        long seen;

        Entry(DeviceInfo info) {
            this.info = info;
        }
    }

    private final Flavour flavour;

    // Held by open, poll and close around their native calls. The library calls add and remove on
    // other threads meanwhile (and may wait for them to finish), so add and remove never take it.
    private final Object lifecycleLock = new Object();
    private volatile State state = State.CLOSED;
    private volatile long handle;
    private volatile int apartmentMode;
    private volatile boolean verbose;

    // Held only around the map itself, never across a native call or a listener call.
    private final Object deviceLock = new Object();
    private final Map<String, Entry> devices = new LinkedHashMap<>();
    private long generation;

    private final List<DeviceListener> listeners = new CopyOnWriteArrayList<>();
    private final Set<WIADevice> openDevices = ConcurrentHashMap.newKeySet();

    /** A manager of the flavour named by the system property {@value Flavour#PROPERTY} (default W2). */
    public WIAManager() {
        this(Flavour.fromSystemProperty());
    }

    public WIAManager(Flavour flavour) {
        this.flavour = java.util.Objects.requireNonNull(flavour, "flavour");
    }

    // ---- native methods of the library ----

    native long _initialize(int apartmentMode, boolean verbose) throws TalvekException;

    native void _poll() throws TalvekException;

    native void _release() throws TalvekException;

    // ---- library loading ----

    /**
     * Loads the library of a flavour unless it is loaded already. A process holds one flavour:
     * asking for the other one afterwards fails with IllegalStateException.
     */
    public static void loadLibrary(Flavour flavour) {
        synchronized (LOAD_LOCK) {
            if (loadedFlavour == flavour) {
                return;
            }
            if (loadedFlavour != null) {
                throw new IllegalStateException("the " + loadedFlavour + " library is loaded in this process; "
                        + flavour + " cannot be loaded beside it");
            }
            System.loadLibrary(flavour.libraryName());
            loadedFlavour = flavour;
        }
    }

    /** The flavour whose library this process loaded, or null. */
    public static Flavour loadedFlavour() {
        synchronized (LOAD_LOCK) {
            return loadedFlavour;
        }
    }

    // ---- lifecycle ----

    public Flavour flavour() {
        return flavour;
    }

    /** Opens the manager in the multithreaded apartment, without verbose trace output. */
    public void open() throws TalvekException {
        open(APARTMENT_MULTITHREADED, false);
    }

    /**
     * Starts COM on the calling thread, creates the WIA device manager, lists the local devices
     * (telling the listeners) and subscribes to device events where the apartment mode allows.
     *
     * @param apartmentMode see the class description
     * @param verbose lets the library's optional trace lines through
     * @throws TalvekException when the library fails; the manager is closed again then
     * @throws IllegalStateException when this or another manager is open
     */
    public void open(int apartmentMode, boolean verbose) throws TalvekException {
        synchronized (lifecycleLock) {
            if (state != State.CLOSED) {
                throw new IllegalStateException("the manager is open already");
            }
            loadLibrary(flavour);
            if (!OPEN_MANAGER.compareAndSet(null, this)) {
                throw new IllegalStateException("another WIAManager is open in this process");
            }
            synchronized (deviceLock) {
                devices.clear();
            }
            this.apartmentMode = apartmentMode;
            this.verbose = verbose;
            applyOutputSettings();
            state = State.OPENING;
            boolean opened = false;
            try {
                long h = _initialize(apartmentMode, verbose);
                if (h == 0) {
                    throw new IllegalStateException("the library returned no manager handle");
                }
                handle = h;
                state = State.OPEN;
                opened = true;
            } catch (TalvekException e) {
                releaseAfterFailedOpen(e);
                throw e;
            } finally {
                if (!opened) {
                    state = State.CLOSED;
                    OPEN_MANAGER.compareAndSet(this, null);
                    synchronized (deviceLock) {
                        devices.clear();
                    }
                }
            }
        }
    }

    private volatile Path outputFolderSetting;
    private volatile String fileNameSetting;
    private volatile String outputFolder;

    /**
     * The folder the WIA 2.0 library writes its files to before the front end keeps them
     * elsewhere (see {@link WIADevice}); takes effect at the next {@link #open}. Without it the
     * manager uses {@link Configuration#IMAGE_DIR}, and the system's temporary folder when that is
     * null.
     */
    public void setOutputFolder(Path folder) {
        this.outputFolderSetting = folder;
    }

    /** The base name of the files the library writes; takes effect at the next {@link #open}. */
    public void setFileNameTemplate(String name) {
        this.fileNameSetting = name;
    }

    /** The output folder the library was given at the last {@link #open}. */
    public String outputFolder() {
        return outputFolder;
    }

    // The WIA 2.0 library reads both static fields once, in _initialize.
    private void applyOutputSettings() {
        if (outputFolderSetting != null) {
            Configuration.IMAGE_DIR = outputFolderSetting.toString();
        } else if (Configuration.IMAGE_DIR == null) {
            Configuration.IMAGE_DIR = System.getProperty("java.io.tmpdir");
        }
        if (fileNameSetting != null) {
            Configuration.FILE_NAME = fileNameSetting;
        } else if (Configuration.FILE_NAME == null) {
            Configuration.FILE_NAME = "image";
        }
        outputFolder = Configuration.IMAGE_DIR;
    }

    /** Makes sure the library's output folder exists before a transfer writes to it. */
    void prepareOutputFolder() {
        String folder = outputFolder;
        if (flavour == Flavour.W2 && folder != null && !folder.isEmpty()) {
            try {
                java.nio.file.Files.createDirectories(Path.of(folder));
            } catch (java.io.IOException | RuntimeException e) {
                warning("output folder " + folder + " cannot be made: " + e);
            }
        }
    }

    // A failure late in the library's initialisation (the device listing) leaves the device
    // manager registered; releasing undoes that. After an early failure nothing is registered
    // and the release fails harmlessly in its table look-up.
    private void releaseAfterFailedOpen(TalvekException cause) {
        try {
            _release();
        } catch (TalvekException e) {
            cause.addSuppressed(e);
        }
    }

    /** Whether {@link #open} succeeded and {@link #close} has not run since. */
    public boolean isOpen() {
        return state == State.OPEN;
    }

    /** The manager handle of the library, 0 when closed. */
    public long handle() {
        return handle;
    }

    public int apartmentMode() {
        return apartmentMode;
    }

    public boolean isVerbose() {
        return verbose;
    }

    /** Whether the library follows plugged-in and removed devices by itself in this mode. */
    public boolean hasDeviceEvents() {
        return flavour == Flavour.W2 || apartmentMode == APARTMENT_MULTITHREADED;
    }

    /**
     * Brings the device list up to date where the library cannot follow the devices by events.
     * In the WIA 1.0 flavour the devices are listed again: new ones are added, and devices that
     * are not listed any more are removed. In the WIA 2.0 flavour the events keep the list and
     * this does nothing but log (when verbose).
     */
    public void poll() throws TalvekException {
        synchronized (lifecycleLock) {
            requireOpen();
            long pass;
            synchronized (deviceLock) {
                pass = ++generation;
            }
            _poll();
            if (flavour == Flavour.W1) {
                removeNotSeenSince(pass);
            }
        }
    }

    private void removeNotSeenSince(long pass) {
        List<DeviceInfo> gone = new ArrayList<>();
        synchronized (deviceLock) {
            for (Iterator<Entry> it = devices.values().iterator(); it.hasNext();) {
                Entry e = it.next();
                if (e.seen < pass) {
                    gone.add(e.info);
                    it.remove();
                }
            }
        }
        for (DeviceInfo d : gone) {
            notifyRemoved(d);
        }
    }

    /**
     * Releases the devices opened through this manager, ends the event subscriptions and lets
     * the device manager go. Does nothing when the manager is not open. The manager is closed
     * afterwards even when the library reports a failure.
     */
    @Override
    public void close() throws TalvekException {
        synchronized (lifecycleLock) {
            if (state != State.OPEN) {
                return;
            }
            TalvekException failure = null;
            for (WIADevice d : new ArrayList<>(openDevices)) {
                try {
                    d.close();
                } catch (TalvekException e) {
                    failure = chain(failure, e);
                }
            }
            state = State.CLOSING;
            try {
                _release();
            } catch (TalvekException e) {
                failure = chain(failure, e);
            } finally {
                handle = 0;
                state = State.CLOSED;
                OPEN_MANAGER.compareAndSet(this, null);
                synchronized (deviceLock) {
                    devices.clear();
                }
            }
            if (failure != null) {
                throw failure;
            }
        }
    }

    private static TalvekException chain(TalvekException first, TalvekException next) {
        if (first == null) {
            return next;
        }
        first.addSuppressed(next);
        return first;
    }

    private void requireOpen() {
        if (state != State.OPEN) {
            throw new IllegalStateException("the manager is not open");
        }
    }

    /** The manager that is open in this process, if any. */
    public static Optional<WIAManager> openManager() {
        return Optional.ofNullable(OPEN_MANAGER.get());
    }

    // ---- devices ----

    /** The known devices in the order they were reported. */
    public List<DeviceInfo> devices() {
        synchronized (deviceLock) {
            List<DeviceInfo> list = new ArrayList<>(devices.size());
            for (Entry e : devices.values()) {
                list.add(e.info);
            }
            return list;
        }
    }

    public Optional<DeviceInfo> device(String deviceId) {
        synchronized (deviceLock) {
            Entry e = devices.get(deviceId);
            return e == null ? Optional.empty() : Optional.of(e.info);
        }
    }

    public void addDeviceListener(DeviceListener listener) {
        listeners.add(java.util.Objects.requireNonNull(listener, "listener"));
    }

    public void removeDeviceListener(DeviceListener listener) {
        listeners.remove(listener);
    }

    /** Opens a scanner of this manager's device list (or any device ID WIA knows). */
    public WIAScanner openScanner(String deviceId) throws TalvekException {
        WIAScanner scanner = new WIAScanner(this, deviceId);
        scanner.open();
        return scanner;
    }

    /** Opens a camera of this manager's device list (or any device ID WIA knows). */
    public WIACamera openCamera(String deviceId) throws TalvekException {
        WIACamera camera = new WIACamera(this, deviceId);
        camera.open();
        return camera;
    }

    void deviceOpened(WIADevice device) {
        requireOpen();
        openDevices.add(device);
    }

    void deviceClosed(WIADevice device) {
        openDevices.remove(device);
    }

    /**
     * Called by the library for every listed device and for every device that is plugged in,
     * on the listing thread or on a short-lived service thread. Never throws.
     *
     * @param deviceId the WIA device ID
     * @param deviceType the type word (STI type in the high 16 bits)
     * @param deviceName the device's name (its description for a plugged-in device)
     */
    protected void add(String deviceId, int deviceType, String deviceName) {
        try {
            if (state == State.CLOSED) {
                warning("device " + deviceId + " reported to a closed manager, ignored");
                return;
            }
            DeviceInfo info = new DeviceInfo(deviceId == null ? "" : deviceId, deviceType, deviceName);
            boolean isNew;
            synchronized (deviceLock) {
                Entry e = devices.get(info.id());
                isNew = e == null;
                if (isNew) {
                    e = new Entry(info);
                    devices.put(info.id(), e);
                } else {
                    e.info = info;
                }
                e.seen = generation;
            }
            if (isNew) {
                for (DeviceListener l : listeners) {
                    try {
                        l.deviceAdded(this, info);
                    } catch (Throwable t) {
                        warning("device listener failed on " + info.id() + ": " + t);
                    }
                }
            }
        } catch (Throwable t) {
            warning("device report of " + deviceId + " failed: " + t);
        }
    }

    /**
     * Called by the library for every device that is removed, on a short-lived service thread.
     * Never throws.
     */
    protected void remove(String deviceId, String deviceDescription) {
        try {
            if (state == State.CLOSED) {
                warning("removal of " + deviceId + " reported to a closed manager, ignored");
                return;
            }
            Entry e;
            synchronized (deviceLock) {
                e = devices.remove(deviceId);
            }
            if (e != null) {
                notifyRemoved(e.info);
            }
        } catch (Throwable t) {
            warning("device removal of " + deviceId + " failed: " + t);
        }
    }

    private void notifyRemoved(DeviceInfo info) {
        for (DeviceListener l : listeners) {
            try {
                l.deviceRemoved(this, info);
            } catch (Throwable t) {
                warning("device listener failed on " + info.id() + ": " + t);
            }
        }
    }

    // ---- logging ----

    /** Sends the log lines of the library and of this front end to {@code sink}; null restores the default. */
    public static void setLogSink(LogSink sink) {
        logSink = sink == null ? DEFAULT_LOG_SINK : sink;
    }

    public static LogSink logSink() {
        return logSink;
    }

    /** The sink in use when none was set: java.util.logging, logger {@value #LOGGER_NAME}. */
    public static LogSink defaultLogSink() {
        return DEFAULT_LOG_SINK;
    }

    // The library calls these five from any thread, also with no Java caller above it: they
    // must never throw.
    static void info(String text) {
        emit(LogLevel.INFO, text);
    }

    static void warning(String text) {
        emit(LogLevel.WARNING, text);
    }

    static void error(String text) {
        emit(LogLevel.ERROR, text);
    }

    static void debug(String text) {
        emit(LogLevel.DEBUG, text);
    }

    static void trace(String text) {
        emit(LogLevel.TRACE, text);
    }

    private static void emit(LogLevel level, String text) {
        try {
            logSink.log(level, text);
        } catch (Throwable ignored) {
            // A failing sink must not reach native code.
        }
    }

    @Override
    public String toString() {
        return "WIAManager[" + flavour + ", " + state + "]";
    }
}
