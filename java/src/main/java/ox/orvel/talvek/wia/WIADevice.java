package ox.orvel.talvek.wia;

import java.io.IOException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Objects;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.atomic.AtomicLong;

import ox.orvel.talvek.Configuration;
import ox.orvel.talvek.TalvekException;

/**
 * An opened WIA device: a scanner or a camera. It holds the library's handle of the device
 * until {@link #close}, keeps the files of its transfers and passes the reports of its
 * transfers to its {@link TransferListener}s.
 *
 * <p>Every file the library reports is moved into the transfer's destination folder at once,
 * while the report runs, under its own name ("image_page2.bmp") or, when that is taken, with
 * "-2", "-3"... before the extension. This matters twice: the WIA 1.0 service deletes the file
 * it wrote when the report returns, and the WIA 2.0 library writes every scan under the same
 * names in {@link Configuration#IMAGE_DIR}, so the next scan would overwrite it. Listeners and
 * the {@link TransferResult} see the kept path.
 */
public abstract class WIADevice extends Configuration implements AutoCloseable {
    private final WIAManager manager;
    private final String deviceId;
    private final AtomicLong handle = new AtomicLong();
    private final List<TransferListener> transferListeners = new CopyOnWriteArrayList<>();

    /** Held for the whole of a transfer; a cancel does not take it. */
    final Object transferLock = new Object();
    private volatile RunningTransfer running;

    /** The files and failures of the running transfer; reports arrive on any thread. */
    private static final class RunningTransfer {
        final Path destination;
        final String baseName;
        final List<Path> files = new ArrayList<>();
        final List<TransferResult.Failure> failures = new ArrayList<>();

        RunningTransfer(Path destination, String baseName) {
            this.destination = destination;
            this.baseName = baseName;
        }

        synchronized void addFile(Path p) {
            files.add(p);
        }

        synchronized void addFailure(int code, String text) {
            failures.add(new TransferResult.Failure(code, text));
        }

        synchronized TransferResult result() {
            return new TransferResult(files, failures);
        }
    }

    /** Runs one native transfer. */
    interface NativeTransfer {
        void run() throws TalvekException;
    }

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

    /** Where transfers keep their files when no destination is given: "talvek-scans" in the temporary folder. */
    public static Path defaultDestination() {
        return Path.of(System.getProperty("java.io.tmpdir"), "talvek-scans");
    }

    /**
     * Runs a native transfer keeping its files in {@code destination}, and
     * returns what it left behind. One transfer at a time per device.
     */
    final TransferResult runTransfer(Path destination, NativeTransfer transfer) throws TalvekException {
        Path dest = destination == null ? defaultDestination() : destination;
        try {
            Files.createDirectories(dest);
        } catch (IOException e) {
            throw new IllegalArgumentException("destination folder " + dest + " cannot be made: " + e, e);
        }
        manager.prepareOutputFolder();
        synchronized (transferLock) {
            String base = Configuration.FILE_NAME == null || Configuration.FILE_NAME.isBlank() ? "image"
                    : Configuration.FILE_NAME;
            RunningTransfer s = new RunningTransfer(dest, base);
            running = s;
            try {
                transfer.run();
            } finally {
                running = null;
            }
            return s.result();
        }
    }

    /**
     * Moves a reported file into the transfer's destination folder; copies it when it cannot be
     * moved. Returns the kept path, or the reported one when neither worked.
     */
    private Path keep(RunningTransfer s, String reported, String extension) {
        Path source = Path.of(reported);
        String name = source.getFileName() == null ? s.baseName : source.getFileName().toString();
        if (extension != null && !extension.isEmpty()) {
            // The WIA 1.0 service names its files itself: keep them under the template's name.
            name = s.baseName + "." + extension;
        }
        int dot = name.lastIndexOf('.');
        String stem = dot > 0 ? name.substring(0, dot) : name;
        String ext = dot > 0 ? name.substring(dot) : "";
        for (int n = 1; n < 10000; n++) {
            Path target = s.destination.resolve(n == 1 ? name : stem + "-" + n + ext);
            if (Files.exists(target, java.nio.file.LinkOption.NOFOLLOW_LINKS)) {
                continue;
            }
            try {
                try {
                    Files.move(source, target);
                } catch (FileAlreadyExistsException e) {
                    continue;
                } catch (IOException e) {
                    // Still open on a system that locks open files, or elsewhere: copy it.
                    Files.copy(source, target);
                }
                return target;
            } catch (FileAlreadyExistsException e) {
                continue;
            } catch (IOException e) {
                WIAManager.warning("transferred file " + reported + " could not be kept in " + s.destination + ": " + e);
                return source;
            }
        }
        WIAManager.warning("no free name for " + name + " in " + s.destination);
        return source;
    }

    public void addTransferListener(TransferListener listener) {
        transferListeners.add(Objects.requireNonNull(listener, "listener"));
    }

    public void removeTransferListener(TransferListener listener) {
        transferListeners.remove(listener);
    }

    // The three reports below come from the library, on the transferring thread or on threads
    // of the WIA service; they must never throw.

    /**
     * A file was written: its full path and its extension (null when the library does not tell
     * it). The file is kept (see the class description) before the listeners hear of it.
     */
    protected void fireTransferDone(String path, String extension) {
        String kept = path;
        try {
            RunningTransfer s = running;
            if (path == null || path.isEmpty()) {
                WIAManager.warning("the device reported a finished transfer without a file");
                return;
            }
            if (s != null) {
                Path p = keep(s, path, extension);
                s.addFile(p);
                kept = p.toString();
            }
        } catch (Throwable t) {
            WIAManager.warning("transferred file " + path + " not kept: " + t);
        }
        String ext = extension;
        if (ext == null && kept != null) {
            int dot = kept.lastIndexOf('.');
            int slash = Math.max(kept.lastIndexOf('/'), kept.lastIndexOf('\\'));
            ext = dot > slash + 1 ? kept.substring(dot + 1).toLowerCase(Locale.ROOT) : null;
        }
        for (TransferListener l : transferListeners) {
            try {
                l.transferDone(this, kept, ext);
            } catch (Throwable t) {
                WIAManager.warning("transfer listener failed on " + kept + ": " + t);
            }
        }
    }

    /** A transfer ended without its image. */
    protected void fireTransferFailed(int code, String text) {
        try {
            RunningTransfer s = running;
            if (s != null) {
                s.addFailure(code, text);
            }
        } catch (Throwable t) {
            WIAManager.warning("transfer failure " + code + " not recorded: " + t);
        }
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
