package ox.orvel.talvek.wia;

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
     * user picks in the device's dialog. Returns when the transfer has ended.
     */
    public void transfer(boolean dialog) throws TalvekException {
        _transfer(requireHandle(), dialog);
    }
}
