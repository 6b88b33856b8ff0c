package ox.orvel.talvek.tool;

import java.util.ArrayList;
import java.util.List;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.wia.DeviceType;
import ox.orvel.talvek.wia.ItemProperty;
import ox.orvel.talvek.wia.ScannerItem;
import ox.orvel.talvek.wia.WIAManager;
import ox.orvel.talvek.wia.WIAScanner;

/** {@code describe}: a scanner's items and their properties with the values they accept. */
final class DescribeCommand implements Command {
    @Override
    public String name() {
        return "describe";
    }

    @Override
    public String arguments() {
        return "[DEVICE_ID]";
    }

    @Override
    public String summary() {
        return "show a scanner's items and properties (default: the first scanner)";
    }

    @Override
    public int run(Context context, List<String> args) throws TalvekException {
        if (args.size() > 1) {
            throw new UsageException("describe takes one device ID");
        }
        try (WIAManager manager = context.openManager()) {
            String id = Devices.pick(manager, DeviceType.SCANNER, args.isEmpty() ? null : args.get(0));
            try (WIAScanner scanner = manager.openScanner(id)) {
                String name = manager.device(id).map(d -> d.name()).orElse(id);
                context.out.println("Scanner: " + ListCommand.printable(name));
                context.out.println("ID:      " + ListCommand.printable(id));
                context.out.println("Handling: " + handling(scanner));
                for (ScannerItem item : scanner.items()) {
                    context.out.println();
                    context.out.println("Item " + item.index() + ": " + ListCommand.printable(item.name())
                            + (item.category() != 0 ? " (" + item.categoryName() + ")" : ""));
                    List<String[]> rows = new ArrayList<>();
                    rows.add(new String[] {"  ID", "NAME", "ACCESS", "VALUE", "VALID VALUES"});
                    for (ItemProperty p : item.properties()) {
                        rows.add(new String[] {"  " + p.id(), ListCommand.printable(p.name().isEmpty() ? "-" : p.name()),
                                p.access(), p.hasIntValue() ? Integer.toString(p.value()) : "-", p.describeValidValues()});
                    }
                    Table.print(context.out, rows);
                }
            }
        }
        return 0;
    }

    static String handling(WIAScanner s) {
        List<String> parts = new ArrayList<>();
        if (s.hasFlatbed()) {
            parts.add("flatbed");
        }
        if (s.hasFeeder()) {
            parts.add("feeder");
        }
        if (s.hasDuplex()) {
            parts.add("duplex");
        }
        return parts.isEmpty() ? "not reported" : String.join(", ", parts);
    }
}
