package ox.orvel.talvek.tool;

import java.io.PrintStream;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.wia.Flavour;
import ox.orvel.talvek.wia.LogLevel;
import ox.orvel.talvek.wia.LogSink;
import ox.orvel.talvek.wia.WIAManager;

/**
 * Command-line tool for the WIA devices of the machine.
 *
 * <pre>
 * java -Djava.library.path=DIR -jar talvek.jar [--flavour W1|W2] [--verbose] [--apartment N] COMMAND [ARGS]
 * </pre>
 *
 * Exit status: 0 done, 1 failed, 2 wrong command line.
 */
public final class Talvek {
    public static final int EXIT_OK = 0;
    public static final int EXIT_FAILED = 1;
    public static final int EXIT_USAGE = 2;

    private static final Map<String, Command> COMMANDS = new LinkedHashMap<>();

    static {
        register(new ListCommand());
        register(new DescribeCommand());
        register(new ScanCommand());
        register(new CameraCommand());
    }

    private static void register(Command c) {
        COMMANDS.put(c.name(), c);
    }

    private Talvek() {}

    public static void main(String[] args) {
        System.exit(run(args, System.out, System.err));
    }

    /** Runs one command line and returns the exit status; the log sink is restored afterwards. */
    public static int run(String[] args, PrintStream out, PrintStream err) {
        Flavour flavour;
        boolean verbose = false;
        int apartment = WIAManager.APARTMENT_MULTITHREADED;
        String commandName = null;
        List<String> rest = new ArrayList<>();
        try {
            flavour = Flavour.fromSystemProperty();
            for (int i = 0; i < args.length; i++) {
                String a = args[i];
                if (commandName != null) {
                    rest.add(a);
                } else if (a.equals("-h") || a.equals("--help")) {
                    usage(out);
                    return EXIT_OK;
                } else if (a.equals("--verbose") || a.equals("-v")) {
                    verbose = true;
                } else if (a.equals("--flavour") || a.startsWith("--flavour=")) {
                    flavour = Flavour.parse(optionValue(args, i, "--flavour"));
                    i += a.contains("=") ? 0 : 1;
                } else if (a.equals("--apartment") || a.startsWith("--apartment=")) {
                    String v = optionValue(args, i, "--apartment");
                    try {
                        apartment = Integer.parseInt(v);
                    } catch (NumberFormatException e) {
                        throw new UsageException("--apartment takes a number, not \"" + v + "\"");
                    }
                    i += a.contains("=") ? 0 : 1;
                } else if (a.startsWith("-")) {
                    throw new UsageException("unknown option " + a);
                } else {
                    commandName = a;
                }
            }
            if (commandName == null) {
                throw new UsageException("no command given");
            }
            Command command = COMMANDS.get(commandName);
            if (command == null) {
                throw new UsageException("unknown command " + commandName);
            }
            return runCommand(command, new Context(flavour, verbose, apartment, out, err), rest);
        } catch (UsageException | IllegalArgumentException e) {
            err.println("talvek: " + e.getMessage());
            usage(err);
            return EXIT_USAGE;
        }
    }

    private static int runCommand(Command command, Context context, List<String> args) {
        LogSink previous = WIAManager.logSink();
        WIAManager.setLogSink(consoleSink(context.err, context.verbose));
        try {
            return command.run(context, args);
        } catch (TalvekException e) {
            context.err.println("talvek: " + e.getMessage() + " (" + e.getCodeHex() + ")");
            return EXIT_FAILED;
        } catch (UnsatisfiedLinkError | IllegalStateException e) {
            context.err.println("talvek: " + e.getMessage());
            return EXIT_FAILED;
        } finally {
            WIAManager.setLogSink(previous);
        }
    }

    /** Warnings and errors to {@code err}; with verbose every line. */
    static LogSink consoleSink(PrintStream err, boolean verbose) {
        return (level, text) -> {
            if (verbose || level == LogLevel.ERROR || level == LogLevel.WARNING) {
                err.println(level.name().toLowerCase(java.util.Locale.ROOT) + ": " + text);
            }
        };
    }

    private static String optionValue(String[] args, int i, String option) {
        String a = args[i];
        if (a.startsWith(option + "=")) {
            return a.substring(option.length() + 1);
        }
        if (i + 1 >= args.length) {
            throw new UsageException(option + " needs a value");
        }
        return args[i + 1];
    }

    private static void usage(PrintStream s) {
        s.println("usage: talvek [--flavour W1|W2] [--verbose] [--apartment N] COMMAND [ARGS]");
        s.println("commands:");
        for (Command c : COMMANDS.values()) {
            String head = c.name() + (c.arguments().isEmpty() ? "" : " " + c.arguments());
            s.println("  " + head + " ".repeat(Math.max(2, 30 - head.length())) + c.summary());
        }
        s.println("options:");
        s.println("  --flavour W1|W2     library flavour (default: property " + Flavour.PROPERTY + ", else W2)");
        s.println("  --verbose           show the library's trace lines");
        s.println("  --apartment N       COM apartment mode of the WIA 1.0 flavour (default 0)");
    }
}
