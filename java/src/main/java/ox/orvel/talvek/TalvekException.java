package ox.orvel.talvek;

/**
 * A failure inside the native library: the COM result code (or a code of the library's own),
 * the message that belongs to it, and the source file and line of the native code that raised
 * it. The library creates and throws it; Java code may create it for failures of its own.
 */
public class TalvekException extends Exception {
    private static final long serialVersionUID = 1L;

    private final int code;
    private final String sourceFile;
    private final int line;

    public TalvekException(int code, String message, String sourceFile, int line) {
        super(message);
        this.code = code;
        this.sourceFile = sourceFile;
        this.line = line;
    }

    /** The result code, an HRESULT such as 0x80210006 or -9999. */
    public int getCode() {
        return code;
    }

    /** Path of the native source file of the raise site, as the build recorded it. */
    public String getSourceFile() {
        return sourceFile;
    }

    public int getLine() {
        return line;
    }

    /** The code as eight hexadecimal digits with a 0x prefix. */
    public String getCodeHex() {
        return String.format("0x%08X", code);
    }

    @Override
    public String toString() {
        return getClass().getName() + ": " + getCodeHex() + " " + getMessage()
                + " (" + sourceFile + ":" + line + ")";
    }
}
