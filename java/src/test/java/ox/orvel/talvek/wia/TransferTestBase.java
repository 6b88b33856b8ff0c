package ox.orvel.talvek.wia;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Collectors;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.io.TempDir;

import ox.orvel.talvek.sim.SimControl;

/** Shared pieces of the scan and camera tests: folders, a manager, image checks. */
abstract class TransferTestBase extends SimTestBase {
    static final String CANCELED = "Image transfer canceled by the user";
    static final String FEEDER_EMPTY = "Feeder is empty";

    @TempDir
    Path tmp;
    /** Where the WIA 2.0 library writes (the manager's output folder). */
    Path output;
    /** Where the front end keeps the files. */
    Path kept;

    @BeforeEach
    void folders() throws IOException {
        output = Files.createDirectories(tmp.resolve("output"));
        kept = Files.createDirectories(tmp.resolve("kept"));
        SimControl.setTransferFolder(Files.createDirectories(tmp.resolve("service")).toString());
    }

    WIAManager openManager(int apartment, boolean verbose) throws Exception {
        WIAManager m = new WIAManager(FLAVOUR);
        m.setOutputFolder(output);
        m.setFileNameTemplate("scan");
        m.open(apartment, verbose);
        return m;
    }

    WIAManager openManager() throws Exception {
        return openManager(WIAManager.APARTMENT_MULTITHREADED, false);
    }

    /** {width, height} of a valid image file. */
    static int[] image(Path p) throws IOException {
        return Images.size(p);
    }

    static void assertImage(Path p, int width, int height) throws IOException {
        Images.assertSize(p, width, height);
    }

    static List<String> names(List<Path> files) {
        return files.stream().map(f -> f.getFileName().toString()).collect(Collectors.toList());
    }

    /** The property writes of the journal, as "id=value", in order. */
    static List<String> writes() {
        List<String> out = new ArrayList<>();
        for (String l : journalLines("IWiaPropertyStorage.WriteMultiple(")) {
            String args = l.substring(l.indexOf("WriteMultiple(") + "WriteMultiple(".length(), l.indexOf(") = "));
            String[] parts = args.split(", ");
            for (int i = 1; i < parts.length - 1; i++) {
                out.add(parts[i]);
            }
        }
        return out;
    }

    /** Collects the listener calls of a device, on whatever thread they come. */
    static final class Listener implements TransferListener {
        final List<String> events = new ArrayList<>();
        final List<Thread> threads = new ArrayList<>();

        private synchronized void add(String e) {
            events.add(e);
            threads.add(Thread.currentThread());
        }

        @Override
        public void transferDone(WIADevice device, String path, String extension) {
            add("done " + path + " " + extension);
        }

        @Override
        public void transferFailed(WIADevice device, int code, String text) {
            add("failed " + code + " " + text);
        }

        @Override
        public void transferProgress(WIADevice device, int message, int percent, long bytes) {
            add("progress " + message + " " + percent + " " + bytes);
        }

        synchronized List<String> events(String prefix) {
            return events.stream().filter(e -> e.startsWith(prefix)).collect(Collectors.toList());
        }
    }
}
