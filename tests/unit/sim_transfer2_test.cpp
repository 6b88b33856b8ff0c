// WIA 2.0 downloads: streams, bands, messages, feeders, threads and holds.
#include <thread>

#include "wiasim/devices.h"

#include "sim_transfer_support.h"

namespace simtest {
namespace {

class Download2 : public SimTest {
protected:
    void TearDown() override {
        wiasim::releaseTransfer();
        SimTest::TearDown();
    }
    ScratchDir dir;
};

// The messages of one file: its stream, a status per band, the end of stream.
std::vector<std::string> fileShape(const std::string& item, int bands) {
    std::vector<std::string> out{"stream " + item};
    for (int i = 0; i < bands; ++i) out.push_back("status");
    out.push_back("end");
    return out;
}

TEST_F(Download2, ADuplexFeederDeliversBothSidesOfEverySheetInBands) {
    loadProfile(scannerProfile("{}", R"({"pages": 3, "bands": 4})"));
    auto root = openRoot2("scan");
    auto feeder = childNamed(root.get(), "Feeder");
    auto props = storageOf(feeder.get());
    ASSERT_EQ(writeLong(props.get(), wia::WIA_IPS_DOCUMENT_HANDLING_SELECT, wia::DUPLEX), S_OK);
    TransferRecorder cb(dir.path());
    ASSERT_EQ(transferOf(feeder.get())->Download(0, &cb), S_OK);

    std::vector<std::string> expected;
    for (int i = 0; i < 6; ++i) {
        auto f = fileShape("Feeder", 4);
        expected.insert(expected.end(), f.begin(), f.end());
    }
    expected.push_back("transfer");
    EXPECT_EQ(cb.shape(), expected);

    // Progress runs per file up to 100 with the bytes written so far.
    const auto events = cb.events();
    std::vector<std::vector<uint8_t>> files;
    for (const auto& p : cb.paths()) files.push_back(readFile(p));
    size_t file = 0;
    LONG lastPercent = -1;
    ULONG64 lastBytes = 0;
    for (const auto& e : events) {
        if (e.message == 0) {
            EXPECT_EQ(e.fullItemName, "scan\\Root\\Feeder");
            EXPECT_NE(e.thread, GetCurrentThreadId()) << "a caller in the MTA is called on a service thread";
            lastPercent = -1;
            lastBytes = 0;
        } else if (e.message == wia::WIA_TRANSFER_MSG_STATUS) {
            EXPECT_GT(e.percent, lastPercent);
            EXPECT_GT(e.bytes, lastBytes);
            lastPercent = e.percent;
            lastBytes = e.bytes;
        } else if (e.message == wia::WIA_TRANSFER_MSG_END_OF_STREAM) {
            EXPECT_EQ(lastPercent, 100);
            EXPECT_EQ(e.bytes, files[file].size());
            ++file;
        }
    }
    ASSERT_EQ(files.size(), 6u);
    for (size_t i = 0; i < files.size(); ++i) {
        const ImageFacts f = inspect(files[i]);
        EXPECT_EQ(f.kind, "BMP") << i;
        EXPECT_TRUE(f.consistent) << i;
        EXPECT_EQ(f.width, 170);
        EXPECT_EQ(f.height, 220);
        EXPECT_EQ(f.bits, 24);
        for (size_t k = 0; k < i; ++k) EXPECT_NE(files[i], files[k]) << "every side shows its own page label";
    }
    EXPECT_EQ(cb.refs(), 1u) << "the service let the callback go";
}

TEST_F(Download2, AFeederEndsAsTheProfileSays) {
    struct Case {
        const char* what;
        std::string transfer;
        LONG select, pages;
        size_t files;
        HRESULT result;
    } cases[] = {
        {"all sheets, one side", R"({"pages": 3})", wia::FEEDER, 0, 3, S_OK},
        {"all sheets, both sides", R"({"pages": 3})", wia::DUPLEX, 0, 6, S_OK},
        {"back side first", R"({"pages": 1})", wia::DUPLEX | wia::BACK_FIRST, 0, 2, S_OK},
        {"pages limit the files", R"({"pages": 3})", wia::DUPLEX, 4, 4, S_OK},
        {"a limit above the sheets", R"({"pages": 2})", wia::FEEDER, 5, 2, S_OK},
        {"ends with paper empty", R"({"pages": 2, "end": "paper_empty"})", wia::FEEDER, 0, 2,
         wia::WIA_ERROR_PAPER_EMPTY},
        {"jam at sheet 2", R"({"pages": 3, "jamAt": 2})", wia::DUPLEX, 0, 2, wia::WIA_ERROR_PAPER_JAM},
        {"empty from the start", R"({"pages": 0})", wia::FEEDER, 0, 0, wia::WIA_ERROR_PAPER_EMPTY},
        {"a failure at file 2", R"({"pages": 3, "failAt": {"file": 2, "band": 1, "result": "0x80210004"}})",
         wia::FEEDER, 0, 1, wia::WIA_ERROR_PAPER_PROBLEM},
        {"an answer of its own", R"({"pages": 1, "answer": "S_FALSE"})", wia::FEEDER, 0, 1, S_FALSE},
    };
    for (const auto& c : cases) {
        loadProfile(scannerProfile("{}", c.transfer));
        auto root = openRoot2("scan");
        auto feeder = childNamed(root.get(), "Feeder");
        auto props = storageOf(feeder.get());
        ASSERT_EQ(writeLong(props.get(), wia::WIA_IPS_DOCUMENT_HANDLING_SELECT, c.select), S_OK) << c.what;
        ASSERT_EQ(writeLong(props.get(), wia::WIA_IPS_PAGES, c.pages), S_OK) << c.what;
        TransferRecorder cb(dir.path());
        EXPECT_EQ(transferOf(feeder.get())->Download(0, &cb), c.result) << c.what;
        size_t ended = 0;
        for (const auto& s : cb.shape()) ended += s == "end";
        EXPECT_EQ(ended, c.files) << c.what;
        const bool endOfTransfer = !cb.shape().empty() && cb.shape().back() == "transfer";
        const bool completed = c.result == S_OK || c.result == S_FALSE || c.result == wia::WIA_ERROR_PAPER_EMPTY;
        EXPECT_EQ(endOfTransfer, c.files > 0 && completed) << c.what;
        if (c.files == 0) {
            EXPECT_TRUE(cb.shape().empty()) << c.what << ": no message at all";
        }
    }
}

TEST_F(Download2, TheFeederKeepsItsPaperWithinAnOpenedDeviceUntilRefilled) {
    loadProfile(scannerProfile("{}", R"({"pages": 2})"));
    auto root = openRoot2("scan");
    auto feeder = childNamed(root.get(), "Feeder");
    auto rootProps = storageOf(root.get());
    auto t = transferOf(feeder.get());
    TransferRecorder first(dir.path()), second(dir.path()), third(dir.path());
    EXPECT_EQ(t->Download(0, &first), S_OK);
    EXPECT_EQ(readLong(rootProps.get(), wia::WIA_DPS_DOCUMENT_HANDLING_STATUS) & wia::FEED_READY, 0)
        << "the status shows the empty feeder";
    EXPECT_EQ(t->Download(0, &second), wia::WIA_ERROR_PAPER_EMPTY);
    wiasim::loadFeeder("scan", 1);
    EXPECT_EQ(t->Download(0, &third), S_OK);
    EXPECT_EQ(third.paths().size(), 1u);
    auto again = openRoot2("scan");
    TransferRecorder fresh(dir.path());
    EXPECT_EQ(transferOf(childNamed(again.get(), "Feeder").get())->Download(0, &fresh), S_OK);
    EXPECT_EQ(fresh.paths().size(), 1u) << "the refill holds for later opens too";
}

TEST_F(Download2, ACallbackThatAnswersSFalseStopsTheTransfer) {
    struct Case {
        LONG message;  // the message that answers S_FALSE (its first occurrence)
        std::vector<std::string> shape;
    } cases[] = {
        {wia::WIA_TRANSFER_MSG_STATUS, {"stream Flatbed", "status"}},
        {wia::WIA_TRANSFER_MSG_END_OF_STREAM, {"stream Flatbed", "status", "status", "end"}},
        {wia::WIA_TRANSFER_MSG_END_OF_TRANSFER, {"stream Flatbed", "status", "status", "end", "transfer"}},
    };
    loadProfile(scannerProfile(R"({"bands": 2})", "{}"));
    for (const auto& c : cases) {
        auto root = openRoot2("scan");
        auto flatbed = childNamed(root.get(), "Flatbed");
        TransferRecorder cb(dir.path());
        cb.answer = [&](const WiaTransferParams& p, int) { return p.lMessage == c.message ? S_FALSE : S_OK; };
        EXPECT_EQ(transferOf(flatbed.get())->Download(0, &cb), S_FALSE) << c.message;
        EXPECT_EQ(cb.shape(), c.shape) << c.message;
    }
}

TEST_F(Download2, StreamsCanBeEmptyAndProgressCanJumpOrNeverCome) {
    struct Case {
        const char* transfer;
        std::vector<std::string> shape;
        std::vector<LONG> percents;
        bool firstFileEmpty;
    } cases[] = {
        {R"({"pages": 2, "bands": 3, "emptyStream": [1]})",
         {"stream Feeder", "end", "stream Feeder", "status", "status", "status", "end", "transfer"},
         {33, 66, 100},
         true},
        {R"({"pages": 1, "bands": 4, "progress": "jumps"})",
         {"stream Feeder", "status", "status", "status", "status", "end", "transfer"},
         {0, 50, 50, 100},
         false},
        {R"({"pages": 1, "bands": 4, "progress": "none"})", {"stream Feeder", "end", "transfer"}, {}, false},
        {R"({"pages": 1, "bands": 1, "itemName": null})", {"stream (null)", "status", "end", "transfer"}, {100}, false},
    };
    for (const auto& c : cases) {
        loadProfile(scannerProfile("{}", c.transfer));
        auto root = openRoot2("scan");
        auto feeder = childNamed(root.get(), "Feeder");
        TransferRecorder cb(dir.path());
        ASSERT_EQ(transferOf(feeder.get())->Download(0, &cb), S_OK) << c.transfer;
        EXPECT_EQ(cb.shape(), c.shape) << c.transfer;
        std::vector<LONG> percents;
        for (const auto& e : cb.events())
            if (e.message == wia::WIA_TRANSFER_MSG_STATUS) percents.push_back(e.percent);
        EXPECT_EQ(percents, c.percents) << c.transfer;
        EXPECT_EQ(readFile(cb.paths().at(0)).empty(), c.firstFileEmpty) << c.transfer;
    }
}

TEST_F(Download2, CallbacksComeWhereComWouldDeliverThem) {
    loadProfile(scannerProfile("{}", "{}"));
    struct Case {
        const char* apartment;
        bool ownThread;
    } cases[] = {{"sta", true}, {"mta", false}, {"implicit mta", false}};
    for (const auto& c : cases) {
        std::vector<TransferRecorder::Event> events;
        uint32_t caller = 0;
        HRESULT hr = E_FAIL;
        std::thread t([&] {
            const std::string a = c.apartment;
            if (a == "sta") CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            if (a == "mta") CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            caller = GetCurrentThreadId();
            {
                auto root = openRoot2("scan");
                auto flatbed = childNamed(root.get(), "Flatbed");
                TransferRecorder cb(dir.path());
                hr = transferOf(flatbed.get())->Download(0, &cb);
                events = cb.events();
            }
            if (a != "implicit mta") CoUninitialize();
        });
        t.join();
        EXPECT_EQ(hr, S_OK) << c.apartment;
        ASSERT_FALSE(events.empty()) << c.apartment;
        for (const auto& e : events) EXPECT_EQ(e.thread == caller, c.ownThread) << c.apartment;
    }
}

TEST_F(Download2, PicturesFoldersAndItemsWithoutStreams) {
    const std::string camera = R"(,{
      "id": "cam", "type": "camera",
      "root": {"children": [
        {"name": "IMG_0001", "category": "finished_file", "itemType": ["image", "file", "transfer"],
         "properties": [{"id": "WIA_IPA_FORMAT", "value": "WiaImgFmt_JPEG"}],
         "transfer": {"picture": {"width": 64, "height": 48, "caption": "One"}}},
        {"name": "DCIM", "category": "folder", "itemType": ["folder", "transfer"],
         "children": [
           {"name": "IMG_0002", "category": "finished_file", "itemType": ["image", "file", "transfer"],
            "transfer": {"picture": {"width": 32, "height": 40}}},
           {"name": "IMG_0003", "category": "finished_file", "itemType": ["image", "file", "transfer"],
            "transfer": {"picture": {"width": 40, "height": 32}}}]},
        {"name": "Nothing", "transfer": {"noStream": true}}
      ]}
    })";
    loadProfile(scannerProfile("{}", "{}", camera));
    auto root = openRoot2("cam");
    struct Case {
        const char* item;
        std::vector<std::string> streams;
        std::vector<std::pair<int, int>> sizes;
    } cases[] = {
        {"IMG_0001", {"IMG_0001"}, {{64, 48}}},
        {"DCIM", {"IMG_0002", "IMG_0003"}, {{32, 40}, {40, 32}}},
        {"Nothing", {}, {}},
    };
    for (const auto& c : cases) {
        auto item = childNamed(root.get(), c.item);
        TransferRecorder cb(dir.path());
        ASSERT_EQ(transferOf(item.get())->Download(0, &cb), S_OK) << c.item;
        std::vector<std::string> streams;
        for (const auto& e : cb.events())
            if (e.message == 0) streams.push_back(e.itemName);
        EXPECT_EQ(streams, c.streams) << c.item;
        EXPECT_EQ(cb.shape().back(), "transfer") << c.item;
        const auto paths = cb.paths();
        ASSERT_EQ(paths.size(), c.sizes.size());
        for (size_t i = 0; i < paths.size(); ++i) {
            const ImageFacts f = inspectFile(paths[i]);
            EXPECT_EQ(f.kind, "JPEG") << c.item;
            EXPECT_TRUE(f.consistent) << c.item;
            EXPECT_EQ(std::make_pair(f.width, f.height), c.sizes[i]) << c.item;
        }
    }
}

// A transfer held at a band while a test acts from another thread.
TEST_F(Download2, AHeldTransferEndsAsWhatHappensMeanwhileSays) {
    loadProfile(scannerProfile(R"({"bands": 4})", "{}"));
    struct Case {
        const char* what;
        HRESULT result;
        size_t statuses;  // status messages that arrived
    } cases[] = {
        {"released", S_OK, 4},
        {"the callback cancels", S_FALSE, 3},
        {"IWiaTransfer::Cancel", S_FALSE, 2},
        {"unplugged", wia::WIA_ERROR_OFFLINE, 2},
        {"reset", S_OK, 4},
    };
    for (const auto& c : cases) {
        const std::string what = c.what;
        auto root = openRoot2("scan");
        auto flatbed = childNamed(root.get(), "Flatbed");
        auto feeder = childNamed(root.get(), "Feeder");
        auto props = storageOf(flatbed.get());
        auto transfer = transferOf(flatbed.get());
        RecordingCallback events;
        Ptr<IUnknown> registration;
        Bstr id("scan");
        ASSERT_EQ(manager2()->RegisterEventCallbackInterface(0, id.get(), &wia::WIA_EVENT_DEVICE_DISCONNECTED, &events,
                                                             registration.out()),
                  S_OK);
        TransferRecorder cb(dir.path());
        wiasim::holdTransfer("Flatbed", 3);
        HRESULT result = E_FAIL;
        std::thread scan([&] { result = transfer->Download(0, &cb); });
        ASSERT_TRUE(wiasim::awaitTransferHeld(10000)) << c.what;

        // While it runs, the device is busy.
        EXPECT_EQ(writeLong(props.get(), wia::WIA_IPS_XRES, 50), wia::WIA_ERROR_BUSY) << c.what;
        TransferRecorder other(dir.path());
        EXPECT_EQ(transferOf(feeder.get())->Download(0, &other), wia::WIA_ERROR_BUSY) << c.what;

        if (what == "the callback cancels") cb.cancel = true;
        if (what == "IWiaTransfer::Cancel") {
            EXPECT_EQ(transfer->Cancel(), S_OK);
        }
        if (what == "unplugged") {
            EXPECT_EQ(wiasim::setDevicePlugged("scan", false), 1);
        }
        if (what == "reset") {
            wiasim::reset();
            loadProfile(scannerProfile(R"({"bands": 4})", "{}"));
        } else {
            wiasim::releaseTransfer();
        }
        scan.join();
        EXPECT_EQ(result, c.result) << c.what;
        size_t statuses = 0;
        for (const auto& s : cb.shape()) statuses += s == "status";
        EXPECT_EQ(statuses, c.statuses) << c.what;
        wiasim::waitEventsDelivered();
        EXPECT_EQ(events.events().size(), what == "unplugged" ? 1u : 0u) << c.what;
        EXPECT_EQ(writeLong(props.get(), wia::WIA_IPS_XRES, 50), what == "unplugged" ? wia::WIA_ERROR_OFFLINE : S_OK)
            << c.what << ": writable again";
        if (what == "unplugged") wiasim::setDevicePlugged("scan", true);
        registration.reset();
    }
}

TEST_F(Download2, AHoldCanNameTheBandOfOneFile) {
    loadProfile(scannerProfile("{}", R"({"pages": 3, "bands": 2})"));
    auto root = openRoot2("scan");
    auto feeder = childNamed(root.get(), "Feeder");
    TransferRecorder cb(dir.path());
    wiasim::holdTransfer("scan\\Root\\Feeder", 2, 3);
    HRESULT result = E_FAIL;
    std::thread scan([&] { result = transferOf(feeder.get())->Download(0, &cb); });
    ASSERT_TRUE(wiasim::awaitTransferHeld(10000));
    const auto shape = cb.shape();
    const std::vector<std::string> sofar{"stream Feeder", "status", "status", "end", "stream Feeder", "status",
                                         "status",        "end",    "stream Feeder", "status"};
    EXPECT_EQ(shape, sofar) << "held before band 2 of file 3";
    wiasim::releaseTransfer();
    scan.join();
    EXPECT_EQ(result, S_OK);
    EXPECT_FALSE(wiasim::awaitTransferHeld(0)) << "a hold is used once";
}

TEST_F(Download2, ArgumentsAndFaultsOfDownload) {
    loadProfile(scannerProfile("{}", "{}"));
    auto root = openRoot2("scan");
    auto flatbed = childNamed(root.get(), "Flatbed");
    auto t = transferOf(flatbed.get());
    EXPECT_EQ(t->Download(0, nullptr), E_INVALIDARG);
    wiasim::injectFault("IWiaTransfer.Download", "", wia::WIA_ERROR_DEVICE_COMMUNICATION, 1, 1, false);
    TransferRecorder cb(dir.path());
    EXPECT_EQ(t->Download(0, &cb), wia::WIA_ERROR_DEVICE_COMMUNICATION);
    EXPECT_TRUE(cb.events().empty());
    EXPECT_EQ(journalOf("IWiaTransfer.Download").size(), 2u);
    // A stream the callback cannot give ends the download with its answer.
    struct NoStream : TransferRecorder {
        using TransferRecorder::TransferRecorder;
        HRESULT STDMETHODCALLTYPE GetNextStream(LONG, BSTR, BSTR, IStream** out) override {
            *out = nullptr;
            return E_INVALIDARG;
        }
    } refusing(dir.path());
    EXPECT_EQ(t->Download(0, &refusing), E_INVALIDARG);
    EXPECT_TRUE(refusing.shape().empty());
}

}  // namespace
}  // namespace simtest
