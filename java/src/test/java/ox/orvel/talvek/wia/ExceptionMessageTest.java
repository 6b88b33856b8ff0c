package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.stream.Stream;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

import ox.orvel.talvek.TalvekException;
import ox.orvel.talvek.sim.SimControl;

/**
 * The message of a TalvekException: the system's text without its line break, else the text of
 * the library's WIA table, else the code in hexadecimal. The failures are made by letting the
 * creation of the device manager fail with the code.
 */
class ExceptionMessageTest extends SimTestBase {

    private static byte[] bytes(String s) {
        return s.getBytes(StandardCharsets.ISO_8859_1);
    }

    static Stream<Arguments> messages() {
        return Stream.of(
                Arguments.of("system text loses its CR LF", REGDB_E_CLASSNOTREG, null, "Class not registered"),
                Arguments.of("system text with a full stop", E_INVALIDARG, null, "The parameter is incorrect."),
                Arguments.of("added system text ends at its first byte of 0x80 or above", 0x80070005,
                        bytes("Zugriff verweigert \u00c3\u00a4nderung\r\n"), "Zugriff verweigert "),
                Arguments.of("added system text ends at its first control character", 0x80070006,
                        bytes("first line\r\nsecond line\r\n"), "first line"),
                Arguments.of("WIA code without system text comes from the WIA table", 0x80210006, null,
                        "The WIA device is busy."),
                Arguments.of("last row of the WIA table", 0x80210015, null,
                        "No WIA device of the selected type is available."),
                Arguments.of("first row of the WIA table", 0x80210001, null,
                        "An unknown error has occurred with the Windows Image Acquisition (WIA) device."),
                Arguments.of("a system text wins over the WIA table", 0x80210005, bytes("Offline.\r\n"), "Offline."),
                Arguments.of("unknown WIA code", 0x80210010, null, "ERROR 0x80210010"),
                Arguments.of("unknown code in lower-case hex", 0x8badf00d, null, "ERROR 0x8badf00d"));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("messages")
    void messageOfTheException(String description, int code, byte[] systemText, String expected) throws Exception {
        if (systemText != null) {
            SimControl.addSystemMessage(code, systemText);
        }
        SimControl.injectFault("CoCreateInstance", devMgrClassFilter(), code, 1, 1, false);
        RecordingManager m = new RecordingManager();
        TalvekException e = assertThrows(TalvekException.class, m::open);
        assertEquals(code, e.getCode());
        assertEquals(expected, e.getMessage());
        assertTrue(e.getSourceFile().endsWith("WIAManager.cpp"), e.getSourceFile());
        assertTrue(e.getLine() > 0);
        assertEquals(String.format("0x%08X", code), e.getCodeHex());
        // The library logs the exception, once, before throwing it.
        assertLoggedTimes(LogLevel.WARNING,
                "<- TalvekException(\"" + expected + "\", \"" + e.getSourceFile() + "\", " + e.getLine() + ")", 1);
    }
}
