package ox.orvel.talvek.wia;

/**
 * Receives the log lines of the native library and of the Java front end.
 *
 * <p>Lines come from any thread, also from threads of the WIA service, often concurrently. A sink
 * must be thread-safe, must not block for long and must not call back into the library.
 */
@FunctionalInterface
public interface LogSink {
    void log(LogLevel level, String text);
}
