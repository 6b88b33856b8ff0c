package ox.orvel.talvek.wia;

import java.util.ArrayList;
import java.util.List;
import java.util.function.Predicate;
import java.util.stream.Collectors;

/**
 * Keeps every line it receives, with its level and the thread it came on, for tests and tools
 * that inspect what the library logged. Thread-safe.
 */
public final class CapturingLogSink implements LogSink {

    /** One captured line. */
    public static final class Entry {
        private final LogLevel level;
        private final String text;
        private final Thread thread;
        private final String threadName;

        Entry(LogLevel level, String text, Thread thread) {
            this.level = level;
            this.text = text;
            this.thread = thread;
            this.threadName = thread.getName();
        }

        public LogLevel level() {
            return level;
        }

        public String text() {
            return text;
        }

        /** The thread the line was logged on. */
        public Thread thread() {
            return thread;
        }

        public String threadName() {
            return threadName;
        }

        @Override
        public String toString() {
            return level + " [" + threadName + "] " + text;
        }
    }

    private final List<Entry> entries = new ArrayList<>();
    private final LogSink next;

    public CapturingLogSink() {
        this(null);
    }

    /** A sink that also passes every line on to {@code next} (may be null). */
    public CapturingLogSink(LogSink next) {
        this.next = next;
    }

    @Override
    public void log(LogLevel level, String text) {
        Entry e = new Entry(level, text, Thread.currentThread());
        synchronized (entries) {
            entries.add(e);
        }
        if (next != null) {
            next.log(level, text);
        }
    }

    /** All lines so far, oldest first. */
    public List<Entry> entries() {
        synchronized (entries) {
            return new ArrayList<>(entries);
        }
    }

    public List<Entry> entries(Predicate<Entry> filter) {
        return entries().stream().filter(filter).collect(Collectors.toList());
    }

    /** The texts of the lines of one level, oldest first. */
    public List<String> texts(LogLevel level) {
        return entries(e -> e.level == level).stream().map(Entry::text).collect(Collectors.toList());
    }

    /** The texts of all lines, oldest first. */
    public List<String> texts() {
        return entries().stream().map(Entry::text).collect(Collectors.toList());
    }

    /** Whether a line of that level contains the fragment. */
    public boolean contains(LogLevel level, String fragment) {
        return entries().stream().anyMatch(e -> e.level == level && e.text.contains(fragment));
    }

    public void clear() {
        synchronized (entries) {
            entries.clear();
        }
    }

    /** All lines, one a line, for failure messages. */
    public String dump() {
        return entries().stream().map(Entry::toString).collect(Collectors.joining("\n"));
    }
}
