package ox.orvel.talvek.wia;

import java.util.Locale;

/**
 * The two builds of the native library: one drives the WIA 2.0 interfaces, the other the WIA 1.0
 * interfaces. A process loads one of them; the Java API is the same for both.
 */
public enum Flavour {
    W2("WIA 2.0"),
    W1("WIA 1.0");

    /** System property that chooses the flavour when none is given: "W2" (default) or "W1". */
    public static final String PROPERTY = "talvek.flavour";

    private final String title;

    Flavour(String title) {
        this.title = title;
    }

    public String title() {
        return title;
    }

    /** Name for {@link System#loadLibrary}, e.g. "talvek64W2_25", for the running JVM's data model. */
    public String libraryName() {
        return libraryName(System.getProperty("sun.arch.data.model", "64"));
    }

    /** Name for {@link System#loadLibrary} for a data model of "32" or "64" bits. */
    public String libraryName(String dataModel) {
        return "talvek" + ("32".equals(dataModel) ? "32" : "64") + name() + "_25";
    }

    /** "W2" or "W1", in any case, surrounding blanks ignored. */
    public static Flavour parse(String text) {
        if (text != null) {
            String t = text.trim().toUpperCase(Locale.ROOT);
            for (Flavour f : values()) {
                if (f.name().equals(t)) {
                    return f;
                }
            }
        }
        throw new IllegalArgumentException("unknown flavour \"" + text + "\" (expected W2 or W1)");
    }

    /** The flavour named by the system property {@value #PROPERTY}, W2 when it is not set. */
    public static Flavour fromSystemProperty() {
        String value = System.getProperty(PROPERTY);
        return value == null || value.isBlank() ? W2 : parse(value);
    }
}
