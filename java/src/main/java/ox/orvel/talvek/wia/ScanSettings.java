package ox.orvel.talvek.wia;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Objects;

/**
 * The settings of one scan, in the terms of a person at the scanner: where the paper lies
 * (flatbed or feeder, one or both sides), the resolution, the area, the kind of image, brightness
 * and contrast, and the folder the files go to. Only what is set is written to the scanner; the
 * rest keeps the scanner's current values.
 *
 * <pre>{@code
 * ScanSettings s = new ScanSettings().source(Source.FEEDER).duplex(true)
 *         .resolution(300).colour(ColourMode.GREY, 8).destination(Path.of("scans"));
 * TransferResult r = scanner.scan(s);
 * }</pre>
 */
public final class ScanSettings {

    /** Where the paper lies. */
    public enum Source {
        FLATBED,
        FEEDER
    }

    /** The kind of image. */
    public enum ColourMode {
        COLOUR,
        GREY,
        BLACK_AND_WHITE
    }

    private Source source;
    private Integer functionalUnit;
    private boolean duplex;
    private Integer resolution;
    private ColourMode colourMode;
    private int bitsPerChannel = 8;
    private int[] areaPixels;
    private double[] areaInches;
    private Integer brightness;
    private Integer contrast;
    private boolean progress = true;
    private Path destination;
    private final List<Integer> extraProperties = new ArrayList<>();

    /** Scan from the flatbed or from the feeder. Without a source the scanner's first item is scanned. */
    public ScanSettings source(Source source) {
        this.source = source;
        return this;
    }

    /**
     * Scan the item at this functional-unit index (WIA 2.0: its position below the scanner;
     * WIA 1.0: the document source choice, 1 feeder, 2 flatbed). Takes precedence over
     * {@link #source}.
     */
    public ScanSettings functionalUnit(int index) {
        this.functionalUnit = index;
        return this;
    }

    /** Both sides of each sheet (feeder only). */
    public ScanSettings duplex(boolean duplex) {
        this.duplex = duplex;
        return this;
    }

    /** Dots per inch, horizontally and vertically. */
    public ScanSettings resolution(int dpi) {
        if (dpi <= 0) {
            throw new IllegalArgumentException("resolution must be positive: " + dpi);
        }
        this.resolution = dpi;
        return this;
    }

    /** Colour or grey with 8 or 16 bits per channel; black and white has 1 bit, whatever is given. */
    public ScanSettings colour(ColourMode mode, int bitsPerChannel) {
        Objects.requireNonNull(mode, "mode");
        if (mode != ColourMode.BLACK_AND_WHITE && bitsPerChannel != 8 && bitsPerChannel != 16) {
            throw new IllegalArgumentException("8 or 16 bits per channel, not " + bitsPerChannel);
        }
        this.colourMode = mode;
        this.bitsPerChannel = mode == ColourMode.BLACK_AND_WHITE ? 1 : bitsPerChannel;
        return this;
    }

    public ScanSettings colour(ColourMode mode) {
        return colour(mode, 8);
    }

    /** The area in pixels at the scan's resolution. */
    public ScanSettings areaPixels(int x, int y, int width, int height) {
        if (x < 0 || y < 0 || width <= 0 || height <= 0) {
            throw new IllegalArgumentException("bad area " + x + ", " + y + ", " + width + " x " + height);
        }
        this.areaPixels = new int[] {x, y, width, height};
        this.areaInches = null;
        return this;
    }

    /** The area in inches; turned into pixels at the scan's resolution. */
    public ScanSettings areaInches(double x, double y, double width, double height) {
        if (!(x >= 0 && y >= 0 && width > 0 && height > 0)) {
            throw new IllegalArgumentException("bad area " + x + ", " + y + ", " + width + " x " + height);
        }
        this.areaInches = new double[] {x, y, width, height};
        this.areaPixels = null;
        return this;
    }

    /** Brightness in the scanner's units (see the item's brightness property for its range). */
    public ScanSettings brightness(int brightness) {
        this.brightness = brightness;
        return this;
    }

    /** Contrast in the scanner's units. */
    public ScanSettings contrast(int contrast) {
        this.contrast = contrast;
        return this;
    }

    /** Whether progress is reported to the transfer listeners (on by default). */
    public ScanSettings progress(boolean progress) {
        this.progress = progress;
        return this;
    }

    /** The folder the files are kept in; created when missing. Default: {@link WIADevice#defaultDestination()}. */
    public ScanSettings destination(Path folder) {
        this.destination = folder;
        return this;
    }

    /**
     * Further property IDs to write, with the values the scan request gives them (IDs that the
     * scan request does not know are written as 0).
     */
    public ScanSettings alsoWrite(int... propertyIds) {
        for (int id : propertyIds) {
            extraProperties.add(id);
        }
        return this;
    }

    public Source source() {
        return source;
    }

    public Integer functionalUnit() {
        return functionalUnit;
    }

    public boolean duplex() {
        return duplex;
    }

    public Integer resolution() {
        return resolution;
    }

    public ColourMode colourMode() {
        return colourMode;
    }

    /**
     * The bit depth as the scanner object carries it: 1 black and white, 8 or 16 colour,
     * -8 or -16 grey; 0 when no colour mode is set.
     */
    public int bitDepth() {
        if (colourMode == null) {
            return 0;
        }
        switch (colourMode) {
            case BLACK_AND_WHITE:
                return 1;
            case GREY:
                return -bitsPerChannel;
            default:
                return bitsPerChannel;
        }
    }

    /** The area in pixels at the given resolution, or null when no area is set. */
    public int[] areaPixelsAt(int dpi) {
        if (areaPixels != null) {
            return areaPixels.clone();
        }
        if (areaInches == null) {
            return null;
        }
        int[] p = new int[4];
        for (int i = 0; i < 4; i++) {
            p[i] = (int) Math.round(areaInches[i] * dpi);
        }
        p[2] = Math.max(1, p[2]);
        p[3] = Math.max(1, p[3]);
        return p;
    }

    public Integer brightness() {
        return brightness;
    }

    public Integer contrast() {
        return contrast;
    }

    public boolean progress() {
        return progress;
    }

    public Path destination() {
        return destination;
    }

    public List<Integer> extraProperties() {
        return new ArrayList<>(extraProperties);
    }
}
