package ox.orvel.talvek.tool;

import java.nio.file.Path;
import java.util.List;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.wia.DeviceType;
import ox.orvel.talvek.wia.TransferResult;
import ox.orvel.talvek.wia.WIACamera;
import ox.orvel.talvek.wia.WIAManager;

/** {@code camera}: every picture of a camera into a folder. */
final class CameraCommand implements Command {
    @Override
    public String name() {
        return "camera";
    }

    @Override
    public String arguments() {
        return "[--output DIR] [DEVICE_ID]";
    }

    @Override
    public String summary() {
        return "download a camera's pictures into DIR (default ./pictures)";
    }

    @Override
    public int run(Context context, List<String> args) throws TalvekException {
        Object[] parsed = Devices.outputAndDevice(args, "camera", Path.of("pictures"));
        Path output = ((Path) parsed[0]).toAbsolutePath();
        TransferResult r;
        try (WIAManager manager = context.openManager()) {
            String id = Devices.pick(manager, DeviceType.CAMERA, (String) parsed[1]);
            try (WIACamera camera = manager.openCamera(id)) {
                Progress progress = new Progress(context.out, "camera");
                camera.addTransferListener(progress);
                r = camera.download(output);
            }
        }
        context.out.println(r.files().size() + " picture(s) in " + output);
        return r.outcome() == TransferResult.Outcome.FAILED ? Talvek.EXIT_FAILED : 0;
    }
}
