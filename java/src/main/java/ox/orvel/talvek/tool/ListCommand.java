package ox.orvel.talvek.tool;

import java.util.ArrayList;
import java.util.List;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.wia.DeviceInfo;
import ox.orvel.talvek.wia.WIAManager;

/** {@code list}: the WIA devices of the machine as a table of ID, type and name. */
final class ListCommand implements Command {
    @Override
    public String name() {
        return "list";
    }

    @Override
    public String arguments() {
        return "";
    }

    @Override
    public String summary() {
        return "list the WIA devices (ID, type, name)";
    }

    @Override
    public int run(Context context, List<String> args) throws TalvekException {
        if (!args.isEmpty()) {
            throw new UsageException("list takes no arguments");
        }
        List<DeviceInfo> devices;
        try (WIAManager manager = context.openManager()) {
            devices = manager.devices();
        }
        if (devices.isEmpty()) {
            context.out.println("No WIA devices found.");
            return 0;
        }
        List<String[]> rows = new ArrayList<>();
        rows.add(new String[] {"ID", "TYPE", "NAME"});
        for (DeviceInfo d : devices) {
            rows.add(new String[] {printable(d.id()), d.type().label(), printable(d.name())});
        }
        Table.print(context.out, rows);
        return 0;
    }

    /** Control characters (a device may report any) shown as '?', so the table stays aligned. */
    static String printable(String s) {
        StringBuilder b = new StringBuilder(s.length());
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            b.append(Character.isISOControl(c) ? '?' : c);
        }
        return b.toString();
    }
}
