package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.NullSource;
import org.junit.jupiter.params.provider.ValueSource;

import ox.orvel.talvek.Configuration;
import ox.orvel.talvek.TalvekException;

/**
 * The output folder and the file-name template (WIA 2.0 flavour): read from Configuration when
 * the manager opens and logged as "Output path   : %ws" and "Name template : %ws".
 */
class ConfigurationLinesTest extends SimTestBase {
    private static final String PATH = "Output path   : ";
    private static final String NAME = "Name template : ";
    private static final int LOG_BUFFER = 1024;

    @BeforeEach
    void wia2Only() {
        assumeTrue(FLAVOUR == Flavour.W2, "only the WIA 2.0 flavour reads the output settings");
    }

    private List<String> linesStartingWith(String prefix) {
        return traces().stream().filter(t -> t.startsWith(prefix)).collect(Collectors.toList());
    }

    static Stream<Arguments> texts() {
        return Stream.of(
                Arguments.of("/tmp/scans", "image"),
                Arguments.of("/tmp/\uD83D\uDCF7 Bilder \uD834\uDD1E", "scan_\uD83D\uDE00"),
                Arguments.of("/tmp/Numérisations/Überblick/扫描", "página"),
                Arguments.of("/tmp/%s%n%x%ws%d%%", "%s%n%x_%08x"),
                Arguments.of("C:\\Users\\scan\\tab\there", "a\"b\\c"));
    }

    @ParameterizedTest(name = "\"{0}\", \"{1}\"")
    @MethodSource("texts")
    void outputSettingsComeBackIntact(String dir, String name) throws Exception {
        Configuration.IMAGE_DIR = dir;
        Configuration.FILE_NAME = name;
        try (RecordingManager m = new RecordingManager()) {
            m.open();
        }
        assertEquals(List.of(PATH + dir), linesStartingWith(PATH));
        assertEquals(List.of(NAME + name), linesStartingWith(NAME));
    }

    static Stream<Arguments> longTexts() {
        return Stream.of(
                Arguments.of("ASCII", "a".repeat(3000)),
                Arguments.of("two-byte characters", "é".repeat(3000)),
                Arguments.of("three-byte characters", "扫".repeat(1500)),
                Arguments.of("surrogate pairs", "\uD83D\uDCF7".repeat(1000)),
                Arguments.of("conversions", "%n%s".repeat(1000)));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("longTexts")
    void aLineLongerThanTheBufferIsCutToValidText(String description, String dir) throws Exception {
        Configuration.IMAGE_DIR = dir;
        try (RecordingManager m = new RecordingManager()) {
            m.open();
        }
        List<String> lines = linesStartingWith(PATH);
        assertEquals(1, lines.size(), log.dump());
        String line = lines.get(0);
        String full = PATH + dir;
        assertTrue(full.startsWith(line), "the line is a prefix of the full text");
        // The buffer holds the text in standard or in modified UTF-8 (where a surrogate pair
        // takes six bytes); at most one character is lost to the cut.
        int utf8 = line.getBytes(StandardCharsets.UTF_8).length;
        int modified = modifiedUtf8Length(line);
        assertTrue(filled(utf8, 4) || filled(modified, 6),
                "cut to " + utf8 + " bytes of UTF-8, " + modified + " of modified UTF-8");
        assertFalse(Character.isHighSurrogate(line.charAt(line.length() - 1)), "no half of a surrogate pair at the end");
    }

    private static boolean filled(int bytes, int widestCharacter) {
        return bytes <= LOG_BUFFER - 1 && bytes > LOG_BUFFER - 1 - widestCharacter;
    }

    private static int modifiedUtf8Length(String s) {
        int n = 0;
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            n += c != 0 && c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        }
        return n;
    }

    @ParameterizedTest(name = "IMAGE_DIR \"{0}\"")
    @NullSource
    @ValueSource(strings = {""})
    void nullOrEmptyOutputFolder(String dir) throws Exception {
        Configuration.IMAGE_DIR = dir;
        RecordingManager m = new RecordingManager();
        try {
            m.open();
            assertEquals(1, linesStartingWith(PATH).size(), log.dump());
            if (dir != null) {
                assertEquals(List.of(PATH), linesStartingWith(PATH));
            }
            assertEquals(List.of(NAME + Configuration.FILE_NAME), linesStartingWith(NAME));
            m.close();
        } catch (TalvekException e) {
            // Refusing a missing folder is a sound answer too; the manager stays closed then.
            assertTrue(dir == null, "an empty folder is accepted: " + e);
            assertFalse(m.isOpen());
        }
    }
}
