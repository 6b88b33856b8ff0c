package ox.orvel.talvek.wia;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Path;
import java.util.List;

import org.junit.jupiter.api.Test;

import ox.orvel.talvek.sim.SimControl;

/** Camera download in both flavours: every picture directly, or those of the dialog. */
class CameraTransferTest extends TransferTestBase {
    private static final String ID = "{22222222-2222-3333-4444-555555555555}\\0001";

    @Test
    void everyPictureOfTheDefaultCameraIsKeptAsAJpeg() throws Exception {
        try (WIAManager m = openManager()) {
            WIACamera c = m.openCamera(CAMERA_ID);
            Listener l = new Listener();
            c.addTransferListener(l);
            TransferResult r = c.download(kept);
            assertEquals(List.of("scan.jpg", "scan-2.jpg", "scan-3.jpg"), names(r.files()), r.toString());
            assertEquals(TransferResult.Outcome.COMPLETED, r.outcome());
            assertImage(r.files().get(0), 1600, 1200);
            assertImage(r.files().get(1), 1200, 1600);
            assertEquals(3, l.events("done ").size());
            assertEquals(List.of(), l.events("progress "), "camera transfers report no progress");
            assertTrue(l.events("done ").stream().allMatch(e -> e.endsWith(" jpg")), l.events.toString());
            c.close();
        }
    }

    @Test
    void aCameraWithoutPicturesReportsNothing() throws Exception {
        SimControl.loadProfile("{\"devices\": [{\"id\": " + Profiles.quote(ID) + ", \"type\": \"camera\"}]}");
        try (WIAManager m = openManager()) {
            WIACamera c = m.openCamera(ID);
            Listener l = new Listener();
            c.addTransferListener(l);
            TransferResult r = c.download(kept);
            assertEquals(List.of(), r.files());
            assertEquals(List.of(), l.events);
            assertLogged(LogLevel.TRACE, "<- ox.orvel.talvek.wia.WIACamera._transfer()");
            c.close();
        }
    }

    @Test
    void theDialogTransfersThePicturesItReturns() throws Exception {
        String picture = "{\"name\": \"IMG_%d\", \"category\": \"finished_file\", \"itemType\": [\"image\", \"file\", \"transfer\"],"
                + " \"properties\": [{\"id\": \"WIA_IPA_FORMAT\", \"access\": \"rw\", \"value\": \"WiaImgFmt_JPEG\","
                + " \"list\": {\"values\": [\"WiaImgFmt_JPEG\"]}}, {\"id\": \"WIA_IPA_TYMED\", \"access\": \"rw\", \"value\": 2,"
                + " \"list\": {\"values\": [2]}}, {\"id\": \"WIA_IPA_FILENAME_EXTENSION\", \"value\": \"jpg\"}],"
                + " \"transfer\": {\"picture\": {\"width\": 64, \"height\": 48}}}";
        SimControl.loadProfile("{\"devices\": [{\"id\": " + Profiles.quote(ID) + ", \"type\": \"camera\","
                + " \"dialog\": [{\"answer\": \"cancel\"}, {\"files\": 2, \"select\": [\"IMG_1\", \"IMG_2\"]}],"
                + " \"root\": {\"children\": [" + String.format(picture, 1) + ", " + String.format(picture, 2) + "]}}]}");
        try (WIAManager m = openManager()) {
            WIACamera c = m.openCamera(ID);
            Listener l = new Listener();
            c.addTransferListener(l);
            TransferResult cancelled = c.transfer(kept, true);
            // A cancelled camera dialog is silent in both flavours.
            assertEquals(List.of(), l.events);
            assertEquals(List.of(), cancelled.files());
            TransferResult r = c.transfer(kept, true);
            assertEquals(2, r.files().size(), r + "\n" + log.dump());
            for (Path f : r.files()) {
                image(f);
            }
            c.close();
        }
    }
}
