package ox.orvel.talvek.tool;

import java.io.PrintStream;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.wia.Flavour;
import ox.orvel.talvek.wia.WIAManager;

/** What a command works with: the options of the command line and the output streams. */
final class Context {
    final Flavour flavour;
    final boolean verbose;
    final int apartmentMode;
    final PrintStream out;
    final PrintStream err;

    Context(Flavour flavour, boolean verbose, int apartmentMode, PrintStream out, PrintStream err) {
        this.flavour = flavour;
        this.verbose = verbose;
        this.apartmentMode = apartmentMode;
        this.out = out;
        this.err = err;
    }

    /** An open device manager of the chosen flavour; the caller closes it. */
    WIAManager openManager() throws TalvekException {
        WIAManager manager = new WIAManager(flavour);
        manager.open(apartmentMode, verbose);
        return manager;
    }
}
