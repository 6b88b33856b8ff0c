package ox.orvel.talvek.wia;

import java.util.List;
import java.util.Objects;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.atomic.AtomicLong;

import ox.orvel.talvek.Configuration;
import ox.orvel.talvek.TalvekException;

/**
 * An opened WIA device: a scanner or a camera. It holds the library's handle of the device
 * until {@link #close}, and passes the reports of its transfers to its {@link TransferListener}s.
 */
public abstract class WIADevice extends Configuration implements AutoCloseable {
    private final WIAManager manager;
    private final String deviceId;
    private final AtomicLong handle = new AtomicLong();
    private final List<TransferListener> transferListeners = new CopyOnWriteArrayList<>();

    WIADevice(WIAManager manager, String deviceId) {
        this.manager = Objects.requireNonNull(manager, "manager");
        this.deviceId = Objects.requireNonNull(deviceId, "deviceId");
    }

    /** Gives a device handle back to the library. Only the low 32 bits of the handle count. */
    static native void _release(long handle) throws TalvekException;

    /** Opens the device in the library and returns its handle. */
    abstract long initialize(String deviceId) throws TalvekException;

    final void open() throws TalvekException {
        synchronized (handle) {
            if (handle.get() != 0) {
                throw new IllegalStateException(deviceId + " is open already");
            }
            long h = initialize(deviceId);
            if (h == 0) {
                throw new IllegalStateException("the library returned no handle for " + deviceId);
            }
            handle.set(h);
            try {
                manager.deviceOpened(this);
            } catch (RuntimeException e) {
                handle.set(0);
                _release(h);
                throw e;
            }
        }
    }

    public WIAManager manager() {
        return manager;
    }

    public String deviceId() {
        return deviceId;
    }

    /** The library's handle of the device, 0 when closed. */
    public long handle() {
        return handle.get();
    }

    public boolean isOpen() {
        return handle.get() != 0;
    }

    long requireHandle() {
        long h = handle.get();
        if (h == 0) {
            throw new IllegalStateException(deviceId + " is not open");
        }
        return h;
    }

    /** Gives the device back to the library. Does nothing when it is closed already. */
    @Override
    public void close() throws TalvekException {
        long h = handle.getAndSet(0);
        if (h == 0) {
            return;
        }
        try {
            _release(h);
        } finally {
            manager.deviceClosed(this);
        }
    }

    public void addTransferListener(TransferListener listener) {
        transferListeners.add(Objects.requireNonNull(listener, "listener"));
    }

    public void removeTransferListener(TransferListener listener) {
        transferListeners.remove(listener);
    }

    // The three reports below come from the library, on the transferring thread or on threads
    // of the WIA service; they must never throw.

    /** A file was written: its full path and its extension (null when the library does not tell it). */
    protected void fireTransferDone(String path, String extension) {
        for (TransferListener l : transferListeners) {
            try {
                l.transferDone(this, path, extension);
            } catch (Throwable t) {
                WIAManager.warning("transfer listener failed on " + path + ": " + t);
            }
        }
    }

    /** A transfer ended without its image. */
    protected void fireTransferFailed(int code, String text) {
        for (TransferListener l : transferListeners) {
            try {
                l.transferFailed(this, code, text);
            } catch (Throwable t) {
                WIAManager.warning("transfer listener failed on failure " + code + ": " + t);
            }
        }
    }

    /** Progress of the running transfer. */
    protected void fireTransferProgress(int message, int percent, long bytes) {
        for (TransferListener l : transferListeners) {
            try {
                l.transferProgress(this, message, percent, bytes);
            } catch (Throwable t) {
                WIAManager.warning("transfer listener failed on progress: " + t);
            }
        }
    }

    @Override
    public String toString() {
        return getClass().getSimpleName() + "[" + deviceId + (isOpen() ? ", open" : "") + "]";
    }
}
