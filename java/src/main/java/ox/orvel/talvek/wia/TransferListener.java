package ox.orvel.talvek.wia;

/**
 * Told about the progress and the outcome of the transfers of a {@link WIADevice}.
 *
 * <p>Calls arrive on the transferring thread or on threads of the WIA service, so a listener
 * must be thread-safe. The path a listener gets is that of the kept file in the transfer's
 * destination folder (see {@link WIADevice}). What a listener throws is logged and otherwise
 * ignored.
 */
public interface TransferListener {
    /**
     * A file was written.
     *
     * @param path the full path of the kept file
     * @param extension the extension without a dot, or null when the file has none
     */
    default void transferDone(WIADevice device, String path, String extension) {}

    /** A transfer ended without its image: a cancel (code 1), an empty feeder (code 0) or a failure (a result code). */
    default void transferFailed(WIADevice device, int code, String text) {}

    /**
     * Progress of a running transfer.
     *
     * @param message the transfer message code of the service (WIA 2.0: 1 status, 3 end of a
     *     feeder transfer; WIA 1.0: the data callback's message)
     * @param percent percent complete
     * @param bytes bytes transferred so far (WIA 2.0) or the offset of the data (WIA 1.0)
     */
    default void transferProgress(WIADevice device, int message, int percent, long bytes) {}
}
