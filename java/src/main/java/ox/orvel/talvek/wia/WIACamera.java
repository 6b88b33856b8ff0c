package ox.orvel.talvek.wia;

import java.nio.file.Path;

import ox.orvel.talvek.TalvekException;

/** An opened camera. Its pictures are transferred into files reported to the transfer listeners. */
public class WIACamera extends WIADevice {

    WIACamera(WIAManager manager, String deviceId) {
        super(manager, deviceId);
    }

    native long _initialize(String deviceId) throws TalvekException;

    native void _transfer(long handle, boolean dialog) throws TalvekException;

    @Override
    long initialize(String deviceId) throws TalvekException {
        return _initialize(deviceId);
    }

    /**
     * Transfers the camera's pictures: every picture directly below the camera, or those the
     * user picks in the device's dialog. Returns when the transfer has ended, with the pictures
     * kept in {@code destination} (null: {@link WIADevice#defaultDestination()}).
     */
    public TransferResult transfer(Path destination, boolean dialog) throws TalvekException {
        long h = requireHandle();
        return runTransfer(destination, () -> _transfer(h, dialog));
    }

    /** Every picture, kept in {@code destination}. */
    public TransferResult download(Path destination) throws TalvekException {
        return transfer(destination, false);
    }
}
