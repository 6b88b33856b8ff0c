package ox.orvel.talvek.wia;

/**
 * Told about devices that appear in or leave the device list of a {@link WIAManager}.
 *
 * <p>Calls arrive on any thread: on the thread that opens or polls the manager for listed
 * devices, and on short-lived threads of the WIA service for devices that are plugged in or
 * removed. A listener must be thread-safe and should return quickly; what it throws is logged
 * and otherwise ignored. It may read the device list, but must not open, poll or close the
 * manager: the library holds the report while {@link WIAManager#close} waits for it.
 */
public interface DeviceListener {
    default void deviceAdded(WIAManager manager, DeviceInfo device) {}

    default void deviceRemoved(WIAManager manager, DeviceInfo device) {}
}
