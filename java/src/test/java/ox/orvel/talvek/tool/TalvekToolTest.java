package ox.orvel.talvek.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.stream.Stream;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

import ox.orvel.talvek.sim.SimControl;
import ox.orvel.talvek.wia.Flavour;
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
    void helpListsTheCommands() {
        assertEquals(Talvek.EXIT_OK, run("--help"));
        assertTrue(out.contains("\n  list "), out);
    }
}
