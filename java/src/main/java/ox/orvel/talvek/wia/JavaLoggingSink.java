package ox.orvel.talvek.wia;

import java.util.logging.Logger;

/** Sends log lines to a java.util.logging logger, by default {@value WIAManager#LOGGER_NAME}. */
public final class JavaLoggingSink implements LogSink {
    private final Logger logger;

    public JavaLoggingSink() {
        this(WIAManager.LOGGER_NAME);
    }

    public JavaLoggingSink(String loggerName) {
        this.logger = Logger.getLogger(loggerName);
    }

    public Logger logger() {
        return logger;
    }

    @Override
    public void log(LogLevel level, String text) {
        logger.log(level.julLevel(), text);
    }
}
