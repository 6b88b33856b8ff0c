package ox.orvel.talvek.wia;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Objects;
import java.util.Optional;

import ox.orvel.talvek.TalvekException;

/**
 * An opened scanner: its functional units with their properties, the settings of the next scan,
 * and the scan itself.
 *
 * <p>A scan writes those settings whose WIA property IDs it is given: {@link #XRES} and
 * {@link #YRES} take the resolution, {@link #XPOS}, {@link #YPOS}, {@link #XEXTENT},
 * {@link #YEXTENT} the area, {@link #BRIGHTNESS} and {@link #CONTRAST} their values, and
 * {@link #DATATYPE} and {@link #DEPTH} the kind of image that the bit depth stands for: 1 black
 * and white, 8 or 16 colour with that many bits per channel, -8 or -16 grey.
 */
public class WIAScanner extends WIADevice {
    public static final int DATATYPE = 4103;
    public static final int DEPTH = 4104;
    public static final int XRES = 6147;
    public static final int YRES = 6148;
    public static final int XPOS = 6149;
    public static final int YPOS = 6150;
    public static final int XEXTENT = 6151;
    public static final int YEXTENT = 6152;
    public static final int BRIGHTNESS = 6154;
    public static final int CONTRAST = 6155;

    /** Document handling capabilities and selection bits. */
    public static final int FEEDER = 0x1;
    public static final int FLATBED = 0x2;
    public static final int DUPLEX = 0x4;

    // Read (and handlingCapab written) by the library.
    int bitDepth = 8;
    int resolution = 300;
    int x;
    int y;
    int width;
    int height;
    int brightness;
    int contrast;
    int handlingCapab;
    int handlingSelect;
    int duplex;

    private final List<ScannerItem> items = new ArrayList<>();

    WIAScanner(WIAManager manager, String deviceId) {
        super(manager, deviceId);
    }

    native long _initialize(String deviceId) throws TalvekException;

    native void _transfer(long handle, boolean dialog, int functionalUnit, boolean progress, int[] propertyIds)
            throws TalvekException;

    native void _cancelTransfer(long handle) throws TalvekException;

    @Override
    long initialize(String deviceId) throws TalvekException {
        synchronized (items) {
            items.clear();
        }
        return _initialize(deviceId);
    }

    /** Called by the library while the scanner opens: one functional unit. */
    protected void addItem(String name, int category) {
        try {
            synchronized (items) {
                items.add(new ScannerItem(items.size(), name, category));
            }
        } catch (Throwable t) {
            WIAManager.warning("scanner item " + name + " not kept: " + t);
        }
    }

    /** Called by the library while the scanner opens: one property of the unit {@code itemIndex}. */
    protected void addItemProperty(int itemIndex, int propertyId, String name, boolean hasIntValue, int value,
            int flags, int[] validValues) {
        try {
            ScannerItem item;
            synchronized (items) {
                item = itemIndex >= 0 && itemIndex < items.size() ? items.get(itemIndex) : null;
            }
            if (item == null) {
                WIAManager.warning("property " + propertyId + " of unknown scanner item " + itemIndex + " ignored");
                return;
            }
            item.add(new ItemProperty(propertyId, name, hasIntValue, value, flags, validValues));
        } catch (Throwable t) {
            WIAManager.warning("scanner property " + propertyId + " not kept: " + t);
        }
    }

    /** The functional units in the order of their indices. */
    public List<ScannerItem> items() {
        synchronized (items) {
            return Collections.unmodifiableList(new ArrayList<>(items));
        }
    }

    /** The document handling capabilities ({@link #FEEDER}, {@link #FLATBED}, {@link #DUPLEX} bits). */
    public int handlingCapabilities() {
        return handlingCapab;
    }

    public int handlingSelect() {
        return handlingSelect;
    }

    public void setHandlingSelect(int handlingSelect) {
        this.handlingSelect = handlingSelect;
    }

    public int bitDepth() {
        return bitDepth;
    }

    /** 1 black and white; 8 or 16 colour; -8 or -16 grey. */
    public void setBitDepth(int bitDepth) {
        this.bitDepth = bitDepth;
    }

    public int resolution() {
        return resolution;
    }

    /** Dots per inch, horizontally and vertically. */
    public void setResolution(int resolution) {
        this.resolution = resolution;
    }

    /** The scan area in pixels at the resolution. */
    public void setArea(int x, int y, int width, int height) {
        this.x = x;
        this.y = y;
        this.width = width;
        this.height = height;
    }

    public int x() {
        return x;
    }

    public int y() {
        return y;
    }

    public int width() {
        return width;
    }

    public int height() {
        return height;
    }

    public int brightness() {
        return brightness;
    }

    public void setBrightness(int brightness) {
        this.brightness = brightness;
    }

    public int contrast() {
        return contrast;
    }

    public void setContrast(int contrast) {
        this.contrast = contrast;
    }

    public boolean isDuplex() {
        return duplex != 0;
    }

    public void setDuplex(boolean duplex) {
        this.duplex = duplex ? 1 : 0;
    }

    /** Whether the scanner has a document feeder (from its handling capabilities). */
    public boolean hasFeeder() {
        return (handlingCapab & FEEDER) != 0;
    }

    public boolean hasFlatbed() {
        return (handlingCapab & FLATBED) != 0;
    }

    public boolean hasDuplex() {
        return (handlingCapab & DUPLEX) != 0;
    }

    /** The first item of a category (WIA 2.0 flavour; the WIA 1.0 flavour reports no categories). */
    public Optional<ScannerItem> itemOfCategory(int category) {
        for (ScannerItem i : items()) {
            if (i.category() == category) {
                return Optional.of(i);
            }
        }
        return Optional.empty();
    }

    /**
     * Scans with the given settings and returns when the scan has ended, with the files kept in
     * the settings' destination folder. Progress and every finished file also go to the transfer
     * listeners as they happen. A scan can be stopped from another thread with {@link #cancel}.
     *
     * @throws IllegalArgumentException when the scanner has no item for the chosen source
     * @throws TalvekException when the library fails before the transfer (an unknown handle, an
     *     invalid functional unit); failures of the transfer itself are in the result
     */
    public TransferResult scan(ScanSettings settings) throws TalvekException {
        Objects.requireNonNull(settings, "settings");
        long h = requireHandle();
        int unit = functionalUnitFor(settings);
        List<Integer> ids = new ArrayList<>();
        synchronized (transferLock) {
            if (settings.colourMode() != null) {
                bitDepth = settings.bitDepth();
                ids.add(DATATYPE);
                ids.add(DEPTH);
            }
            if (settings.resolution() != null) {
                resolution = settings.resolution();
                ids.add(XRES);
                ids.add(YRES);
            }
            int[] area = settings.areaPixelsAt(resolution);
            if (area != null) {
                x = area[0];
                y = area[1];
                width = area[2];
                height = area[3];
                ids.add(XPOS);
                ids.add(YPOS);
                ids.add(XEXTENT);
                ids.add(YEXTENT);
            }
            if (settings.brightness() != null) {
                brightness = settings.brightness();
                ids.add(BRIGHTNESS);
            }
            if (settings.contrast() != null) {
                contrast = settings.contrast();
                ids.add(CONTRAST);
            }
            duplex = settings.duplex() ? 1 : 0;
            ids.addAll(settings.extraProperties());
            int[] idArray = ids.stream().mapToInt(Integer::intValue).toArray();
            return runTransfer(settings.destination(),
                    () -> _transfer(h, false, unit, settings.progress(), idArray));
        }
    }

    /**
     * The functional-unit index for the settings: WIA 2.0 the position of the flatbed or feeder
     * item, WIA 1.0 the document source choice (1 feeder, 2 flatbed, 0 leave the scanner's).
     */
    int functionalUnitFor(ScanSettings settings) {
        if (settings.functionalUnit() != null) {
            return settings.functionalUnit();
        }
        ScanSettings.Source source = settings.source();
        if (manager().flavour() == Flavour.W1) {
            return source == null ? 0 : source == ScanSettings.Source.FEEDER ? 1 : 2;
        }
        if (source == null) {
            return 0;
        }
        for (ScannerItem i : items()) {
            if (source == ScanSettings.Source.FEEDER ? i.isFeeder() : i.isFlatbed()) {
                return i.index();
            }
        }
        throw new IllegalArgumentException(deviceId() + " has no " + source.name().toLowerCase(java.util.Locale.ROOT));
    }

    /**
     * Scans one functional unit directly with the settings in this object's fields, writing
     * those named by {@code propertyIds} first (at most 32 are used; null writes none). The files
     * are kept in the default destination.
     */
    public TransferResult scan(int functionalUnit, boolean progress, int... propertyIds) throws TalvekException {
        return scan(null, functionalUnit, progress, propertyIds);
    }

    /** As {@link #scan(int, boolean, int...)}, keeping the files in {@code destination}. */
    public TransferResult scan(Path destination, int functionalUnit, boolean progress, int... propertyIds)
            throws TalvekException {
        long h = requireHandle();
        return runTransfer(destination, () -> _transfer(h, false, functionalUnit, progress, propertyIds));
    }

    /** Lets the device's own dialog run the scan; the files are kept in {@code destination} (null: the default). */
    public TransferResult scanWithDialog(Path destination, boolean progress) throws TalvekException {
        long h = requireHandle();
        return runTransfer(destination, () -> _transfer(h, true, 0, progress, null));
    }

    /**
     * Asks the running scan to stop; to be called from another thread than the scanning one. A
     * cancel while no scan runs does nothing. The scan ends as cancelled (WIA 1.0: only a scan
     * with progress reporting can be cancelled).
     */
    public void cancel() throws TalvekException {
        _cancelTransfer(requireHandle());
    }
}
