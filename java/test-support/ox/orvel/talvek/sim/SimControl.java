package ox.orvel.talvek.sim;

/**
 * Test-support binding of the simulated WIA service. It drives the same
 * process-wide service that the library talks to: profiles, fault injection,
 * the journal of calls, device events and the accounting of live objects.
 */
public final class SimControl {
    static {
        System.loadLibrary("wiasim");
    }

    private SimControl() {}

    /** Default profile (or TALVEK_SIM_PROFILE), no faults, empty journal, no added system texts. */
    public static native void reset();

    /** Replaces the devices with those of a JSON profile; IllegalArgumentException when it is malformed. */
    public static native void loadProfile(String json);

    public static native void loadProfileFile(String path);

    public static native String defaultProfile();

    /** {objects, bstrs, taskMem, local, badFrees}. */
    public static native long[] counts();

    /** One line per live COM object of the service. */
    public static native String[] liveObjects();

    /**
     * Makes matching calls of {@code method} fail with {@code hr}: calls number nth, nth+1, ... counted
     * from 1 after this call, {@code times} of them (-1: all). {@code argFilter} (null or empty: any)
     * must occur in the call's journalled arguments. With {@code afterCall} the call does its work and
     * then answers {@code hr}.
     */
    public static native void injectFault(String method, String argFilter, int hr, int nth, int times,
            boolean afterCall);

    public static native void clearFaults();

    /** Lines "&lt;tid&gt; &lt;Name&gt;(&lt;args&gt;) = 0x&lt;HR&gt;", oldest first. */
    public static native String[] journal();

    public static native void clearJournal();

    /** GetCurrentThreadId() of the calling thread, as the journal writes it. */
    public static native int currentThreadId();

    /** "none", "sta" or "mta". */
    public static native String currentApartment();

    /** Queues a connect or disconnect event; returns the number of registrations it goes to. */
    public static native int fireDeviceEvent(boolean connected, String deviceId, String description,
            int deviceType);

    public static native void waitEventsDelivered();

    public static native int subscriptions();

    /** Adds a system message text (raw bytes, CR LF included if wanted) for FormatMessageA. */
    public static native void addSystemMessage(int code, byte[] text);

    /**
     * Opens a device as CreateDevice of the WIA 2.0 ({@code wia2}) or WIA 1.0 device manager would, and
     * registers its root item in the Global Interface Table (as IWiaItem2 or IWiaItem). Returns the
     * cookie, zero-extended: a device handle as the library's own open returns it. Not journalled.
     * IllegalArgumentException for a device ID that the profile does not offer to that WIA version.
     */
    public static native long openDevice(String deviceId, boolean wia2);

    /** Unplugs or plugs a profile device; fires the disconnect or connect event. */
    public static native int setDevicePlugged(String deviceId, boolean plugged);

    /**
     * Holds the next transfer of {@code target} (a device ID, an item name or a full item name; null or
     * empty: any) before its band {@code band}, counted from 1 across the whole transfer; band 0 holds it
     * before the first message of its first file. The transfer
     * blocks until {@link #releaseTransfer()}, {@link #reset()} or 30 seconds; a new hold replaces the
     * previous one.
     */
    public static native void holdTransfer(String target, int band);

    /** Like {@link #holdTransfer(String, int)}, before band {@code band} of the transfer's file {@code file}
     *  (0: before the file's first message). */
    public static native void holdTransferInFile(String target, int file, int band);

    /** True once a transfer is blocked at the hold; false when {@code timeoutMs} passed first. */
    public static native boolean awaitTransferHeld(long timeoutMs);

    /** Lets a held transfer go on; a hold not reached yet is dropped. */
    public static native void releaseTransfer();

    /** The folder where WIA 1.0 transfers write the files they name. */
    public static native String transferFolder();

    /** Sets that folder; null or empty: the default ($TMPDIR or /tmp, then wiasim-&lt;pid&gt;). */
    public static native void setTransferFolder(String path);

    /** Loads {@code sheets} sheets into the device's feeder, in every opened instance and later opens. */
    public static native void loadFeeder(String deviceId, int sheets);
}
