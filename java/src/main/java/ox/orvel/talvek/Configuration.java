package ox.orvel.talvek;

/**
 * Process-wide settings that the native library reads when a device manager is opened.
 *
 * <p>{@link #IMAGE_DIR} is the folder that scans and camera pictures are written to, and
 * {@link #FILE_NAME} the base name of the files (the library adds a page number and the
 * extension). Both are read once by {@code WIAManager.open}; changing them later affects the
 * next manager only. The library looks the fields up through {@code WIADevice}, which is why
 * the device classes extend this class.
 */
public class Configuration {
    /** Output folder of transfers; the system's temporary folder by default. */
    public static String IMAGE_DIR = System.getProperty("java.io.tmpdir");

    /** Base name of the output files. */
    public static String FILE_NAME = "image";

    protected Configuration() {}
}
