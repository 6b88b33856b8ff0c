package ox.orvel.talvek.tool;

import java.util.List;

import ox.orvel.talvek.TalvekException;

/** One command of the {@link Talvek} tool. */
interface Command {
    /** The word that selects the command. */
    String name();

    /** Arguments after the name, for the usage text ("" when none). */
    String arguments();

    /** One line saying what the command does. */
    String summary();

    /**
     * Runs the command.
     *
     * @param args the arguments after the command's name
     * @return the exit status
     * @throws UsageException when the arguments are wrong
     */
    int run(Context context, List<String> args) throws TalvekException;
}
