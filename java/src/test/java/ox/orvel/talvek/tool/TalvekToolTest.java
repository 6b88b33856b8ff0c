package ox.orvel.talvek.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

import ox.orvel.talvek.Configuration;
import ox.orvel.talvek.sim.SimControl;
import ox.orvel.talvek.wia.Flavour;
import ox.orvel.talvek.wia.Images;
import ox.orvel.talvek.wia.SimTestBase;
import ox.orvel.talvek.wia.WIAManager;

/** The command-line tool, run in this JVM against the simulated service. */
class TalvekToolTest extends SimTestBase {

    private String out;
    private String err;

    private int run(String... args) {
        ByteArrayOutputStream o = new ByteArrayOutputStream();
        ByteArrayOutputStream e = new ByteArrayOutputStream();
        int status = Talvek.run(args, new PrintStream(o, true, StandardCharsets.UTF_8),
                new PrintStream(e, true, StandardCharsets.UTF_8));
        out = o.toString(StandardCharsets.UTF_8);
        err = e.toString(StandardCharsets.UTF_8);
        return status;
    }

    @Test
    void listPrintsTheDevicesAsATable() {
        assertEquals(Talvek.EXIT_OK, run("--flavour", FLAVOUR.name(), "list"), err);
        List<String> lines = out.lines().collect(java.util.stream.Collectors.toList());
        assertEquals(3, lines.size(), out);
        assertTrue(lines.get(0).matches("ID +TYPE +NAME"), lines.get(0));
        int typeColumn = lines.get(0).indexOf("TYPE");
        int nameColumn = lines.get(0).indexOf("NAME");
        assertEquals(SCANNER_ID, lines.get(1).substring(0, typeColumn).trim());
        assertEquals("scanner", lines.get(1).substring(typeColumn, nameColumn).trim());
        assertEquals("Talvek Virtual Scanner", lines.get(1).substring(nameColumn));
        assertEquals(CAMERA_ID, lines.get(2).substring(0, typeColumn).trim());
        assertEquals("camera", lines.get(2).substring(typeColumn, nameColumn).trim());
        assertEquals("Talvek Virtual Camera", lines.get(2).substring(nameColumn));
        assertEquals("", err);
        assertTrue(WIAManager.openManager().isEmpty(), "the tool closes its manager");
    }

    @Test
    void verboseShowsTheLibrarysTraceLines() {
        SimControl.loadProfile("{\"devices\": []}");
        assertEquals(Talvek.EXIT_OK, run("--verbose", "list"), err);
        assertEquals("No WIA devices found.\n", out);
        assertTrue(err.contains("trace: -> " + (FLAVOUR == Flavour.W2 ? "(WIA2)" : "(WIA1)")
                + " ox.orvel.talvek.wia.WIAManager._initialize() 0"), err);
        assertTrue(err.contains("trace: <- ox.orvel.talvek.wia.WIAManager._release()"), err);
    }

    @Test
    void aLibraryFailureExitsWithItsMessage() {
        SimControl.injectFault("CoCreateInstance", FLAVOUR == Flavour.W2 ? "CLSID_WiaDevMgr2" : "CLSID_WiaDevMgr,",
                REGDB_E_CLASSNOTREG, 1, 1, false);
        assertEquals(Talvek.EXIT_FAILED, run("list"));
        assertEquals("", out);
        assertTrue(err.contains("talvek: Class not registered (0x80040154)"), err);
    }

    static Stream<Arguments> wrongCommandLines() {
        return Stream.of(
                Arguments.of(new String[] {}, "no command given"),
                Arguments.of(new String[] {"frobnicate"}, "unknown command frobnicate"),
                Arguments.of(new String[] {"list", "extra"}, "list takes no arguments"),
                Arguments.of(new String[] {"--flavour"}, "--flavour needs a value"),
                Arguments.of(new String[] {"--flavour", "W3", "list"}, "unknown flavour \"W3\""),
                Arguments.of(new String[] {"--apartment", "x", "list"}, "--apartment takes a number"),
                Arguments.of(new String[] {"--colour", "list"}, "unknown option --colour"));
    }

    @ParameterizedTest(name = "{1}")
    @MethodSource("wrongCommandLines")
    void wrongCommandLinesPrintTheUsage(String[] args, String message) {
        assertEquals(Talvek.EXIT_USAGE, run(args));
        assertTrue(err.startsWith("talvek: " + message), err);
        assertTrue(err.contains("usage: talvek"), err);
        assertEquals(List.of(), journal(), "nothing reached the library");
    }

    @Test
    void theOtherFlavourCannotBeLoadedBesideThisOne() {
        Flavour other = FLAVOUR == Flavour.W2 ? Flavour.W1 : Flavour.W2;
        assertEquals(Talvek.EXIT_FAILED, run("--flavour=" + other.name(), "list"));
        assertTrue(err.contains("cannot be loaded beside it"), err);
    }

    @Test
    void describePrintsTheScannersItemsAsTables() {
        assertEquals(Talvek.EXIT_OK, run("describe"), err);
        List<String> lines = out.lines().collect(java.util.stream.Collectors.toList());
        assertEquals("Scanner: Talvek Virtual Scanner", lines.get(0));
        assertEquals("Handling: flatbed, feeder, duplex", lines.get(2));
        String flatbed = FLAVOUR == Flavour.W2 ? "Item 0: Flatbed (flatbed)" : "Item 0: Flatbed";
        int at = lines.indexOf(flatbed);
        assertTrue(at > 0, out);
        assertTrue(lines.get(at + 1).matches("  ID +NAME +ACCESS +VALUE +VALID VALUES"), lines.get(at + 1));
        assertTrue(lines.stream().anyMatch(l -> l.matches(
                "  6147 +Horizontal Resolution +rw +300 +75, 100, 150, 200, 300, 600 \\(nominal 300\\)")), out);
        assertTrue(lines.stream().anyMatch(l -> l.matches("  6154 +Brightness +rw +0 +-1000\\.\\.1000 \\(nominal 0\\)")), out);
        assertTrue(lines.contains(FLAVOUR == Flavour.W2 ? "Item 1: Feeder (feeder)" : "Item 1: Feeder"), out);
        assertEquals("", err);
    }

    @Test
    void describeWithoutAScannerFails() {
        SimControl.loadProfile("{\"devices\": []}");
        assertEquals(Talvek.EXIT_FAILED, run("describe"));
        assertTrue(err.contains("no scanner found"), err);
    }

    static Stream<Arguments> transfers() {
        return Stream.of(Arguments.of("scan", "The scans are in "), Arguments.of("camera", " picture(s) in "));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("transfers")
    void transfersKeepTheirFilesWhereTheySay(String command, String where, @TempDir Path dir) throws Exception {
        Path folder = dir.resolve("out");
        Configuration.IMAGE_DIR = dir.resolve("library").toString();
        assertEquals(Talvek.EXIT_OK, run(command, "--output", folder.toString()), out + err);
        assertTrue(out.contains(where + folder), out);
        List<String> kept = out.lines().map(String::trim).filter(l -> l.startsWith("kept "))
                .map(l -> l.substring("kept ".length())).collect(java.util.stream.Collectors.toList());
        try (Stream<Path> files = Files.list(folder)) {
            assertEquals(kept.stream().sorted().collect(java.util.stream.Collectors.toList()),
                    files.map(Path::toString).sorted().collect(java.util.stream.Collectors.toList()));
        }
        assertTrue(kept.size() >= (command.equals("scan") ? 2 : 3), out);
        for (String k : kept) {
            Images.size(Path.of(k));
        }
    }

    @Test
    void helpListsTheCommands() {
        assertEquals(Talvek.EXIT_OK, run("--help"));
        assertTrue(out.contains("\n  list "), out);
    }
}
