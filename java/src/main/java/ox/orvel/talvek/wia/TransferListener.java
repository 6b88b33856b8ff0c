package ox.orvel.talvek.wia;

/**
 * Told about the progress and the outcome of the transfers of a {@link WIADevice}.
 *
 * <p>Calls arrive on the transferring thread or on threads of the WIA service. A finished file is
 * guaranteed to exist only while {@link #transferDone} runs: the WIA 1.0 service deletes the
 * files it named once the call returns, so a listener that wants to keep one copies or moves it.
 * What a listener throws is logged and otherwise ignored.
 */
public interface TransferListener {
    /**
     * A file was written.
     *
     * @param path the full path of the file
     * @param extension the extension without a dot, or null when the library does not tell it
     */
    default void transferDone(WIADevice device, String path, String extension) {}

    /** A transfer ended without its image: a cancel (code 1), an empty feeder (code 0) or a failure (a result code). */
    default void transferFailed(WIADevice device, int code, String text) {}

    /**
     * Progress of a running transfer.
     *
     * @param message the transfer message code of the service
     * @param percent percent complete
     * @param bytes bytes transferred so far (WIA 2.0) or the offset of the data (WIA 1.0)
     */
    default void transferProgress(WIADevice device, int message, int percent, long bytes) {}
}
