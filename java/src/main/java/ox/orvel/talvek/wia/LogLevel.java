package ox.orvel.talvek.wia;

import java.util.logging.Level;

/** The five levels of the library's log lines, each with its java.util.logging level. */
public enum LogLevel {
    ERROR(Level.SEVERE),
    WARNING(Level.WARNING),
    INFO(Level.INFO),
    DEBUG(Level.FINE),
    TRACE(Level.FINER);

    private final Level julLevel;

    LogLevel(Level julLevel) {
        this.julLevel = julLevel;
    }

    public Level julLevel() {
        return julLevel;
    }
}
