package ox.orvel.talvek.tool;

import java.nio.file.Path;
import java.util.List;

import ox.orvel.talvek.wia.DeviceInfo;
import ox.orvel.talvek.wia.DeviceType;
import ox.orvel.talvek.wia.WIAManager;

/** Argument handling the device commands share. */
final class Devices {
    private Devices() {}

    /** The device named on the command line, else the first device of the type. */
    static String pick(WIAManager manager, DeviceType type, String given) {
        if (given != null) {
            return given;
        }
        for (DeviceInfo d : manager.devices()) {
            if (d.type() == type) {
                return d.id();
            }
        }
        throw new IllegalStateException("no " + type.label() + " found");
    }

    /** Options "--output DIR" and one optional device ID; returns {output, device}. */
    static Object[] outputAndDevice(List<String> args, String command, Path defaultOutput) {
        Path output = defaultOutput;
        String device = null;
        for (int i = 0; i < args.size(); i++) {
            String a = args.get(i);
            if (a.equals("--output") || a.equals("-o")) {
                if (i + 1 >= args.size()) {
                    throw new UsageException(a + " needs a folder");
                }
                output = Path.of(args.get(++i));
            } else if (a.startsWith("--output=")) {
                output = Path.of(a.substring("--output=".length()));
            } else if (a.startsWith("-")) {
                throw new UsageException("unknown option " + a + " of " + command);
            } else if (device == null) {
                device = a;
            } else {
                throw new UsageException(command + " takes one device ID");
            }
        }
        return new Object[] {output, device};
    }
}
