package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.awt.image.BufferedImage;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;

import javax.imageio.ImageIO;

/**
 * Checks that a file is a valid image and gives its size. BMP and PNG are decoded whole with
 * javax.imageio; a JPEG is checked by its marker structure up to the frame header and its end
 * marker, because the JDK's native JPEG decoder itself trips -Xcheck:jni's local reference
 * warning, which fails the run.
 */
public final class Images {
    private Images() {}

    /** {width, height} of the image in the file; fails the test when it is not a valid image. */
    public static int[] size(Path p) throws IOException {
        assertTrue(Files.isRegularFile(p), p + " exists");
        byte[] b = Files.readAllBytes(p);
        if (b.length > 4 && (b[0] & 0xFF) == 0xFF && (b[1] & 0xFF) == 0xD8) {
            return jpegSize(p, b);
        }
        BufferedImage img = ImageIO.read(p.toFile());
        assertNotNull(img, p + " is an image javax.imageio can read");
        return new int[] {img.getWidth(), img.getHeight()};
    }

    public static void assertSize(Path p, int width, int height) throws IOException {
        int[] s = size(p);
        assertEquals(width + " x " + height, s[0] + " x " + s[1], p.toString());
    }

    private static int[] jpegSize(Path p, byte[] b) {
        assertEquals(0xD9, b[b.length - 1] & 0xFF, p + " ends with the end-of-image marker");
        assertEquals(0xFF, b[b.length - 2] & 0xFF, p + " ends with the end-of-image marker");
        int i = 2;
        while (i + 4 <= b.length) {
            if ((b[i] & 0xFF) != 0xFF) {
                fail(p + ": no marker at offset " + i);
            }
            int marker = b[i + 1] & 0xFF;
            int length = ((b[i + 2] & 0xFF) << 8) | (b[i + 3] & 0xFF);
            boolean frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
            if (frame) {
                int height = ((b[i + 5] & 0xFF) << 8) | (b[i + 6] & 0xFF);
                int width = ((b[i + 7] & 0xFF) << 8) | (b[i + 8] & 0xFF);
                assertTrue(width > 0 && height > 0, p + ": frame of " + width + " x " + height);
                return new int[] {width, height};
            }
            if (length < 2) {
                fail(p + ": segment length " + length + " at offset " + i);
            }
            i += 2 + length;
        }
        fail(p + ": no frame header");
        return null;
    }
}
