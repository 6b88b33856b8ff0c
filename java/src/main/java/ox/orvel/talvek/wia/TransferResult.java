package ox.orvel.talvek.wia;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * What a scan or a camera download left behind: the files kept, in the order they were
 * finished, and how it ended.
 */
public final class TransferResult {

    /** How a transfer ended. */
    public enum Outcome {
        /** Every image was transferred (a feeder scan ends when the feeder is empty). */
        COMPLETED,
        /** Cancelled by the user or by {@link WIAScanner#cancel}. */
        CANCELLED,
        /** The device or the service failed; see {@link #failures}. */
        FAILED
    }

    /** One failure the library reported: code 1 cancel, 0 an empty feeder, else a result code. */
    public static final class Failure {
        private final int code;
        private final String text;

        Failure(int code, String text) {
            this.code = code;
            this.text = text == null ? "" : text;
        }

        public int code() {
            return code;
        }

        public String text() {
            return text;
        }

        @Override
        public String toString() {
            return text + " (" + (code == 0 || code == 1 ? Integer.toString(code) : String.format("0x%08X", code)) + ")";
        }
    }

    private final List<Path> files;
    private final List<Failure> failures;

    TransferResult(List<Path> files, List<Failure> failures) {
        this.files = Collections.unmodifiableList(new ArrayList<>(files));
        this.failures = Collections.unmodifiableList(new ArrayList<>(failures));
    }

    /** The kept files, in the order they were finished. */
    public List<Path> files() {
        return files;
    }

    /** Every failure report, in order; an empty feeder at the end of a feeder scan is one (code 0). */
    public List<Failure> failures() {
        return failures;
    }

    public Outcome outcome() {
        for (Failure f : failures) {
            if (f.code == 1) {
                return Outcome.CANCELLED;
            }
        }
        for (Failure f : failures) {
            if (f.code != 0) {
                return Outcome.FAILED;
            }
        }
        return Outcome.COMPLETED;
    }

    @Override
    public String toString() {
        return outcome() + " " + files + (failures.isEmpty() ? "" : " " + failures);
    }
}
