// WIA 1.0 data transfers: the service's file, the data callback, formats and the feeder.
#include <thread>

#include "sim_transfer_support.h"

namespace simtest {
namespace {

Ptr<IWiaItem> openRoot1(const std::string& id) {
    Ptr<IWiaItem> root;
    Bstr bid(id);
    EXPECT_EQ(manager1()->CreateDevice(bid.get(), root.out()), S_OK);
    return root;
}

Ptr<IWiaItem> child1(IWiaItem* root, size_t index) {
    Ptr<IEnumWiaItem> e;
    EXPECT_EQ(root->EnumChildItems(e.out()), S_OK);
    Ptr<IWiaItem> item;
    for (size_t i = 0; i <= index; ++i)
        if (!e || e->Next(1, item.out(), nullptr) != S_OK) return Ptr<IWiaItem>();
    return item;
}

// The format and medium in one write, as a WIA 1.0 application sets them.
HRESULT writeFormatAndMedium(IWiaPropertyStorage* s, const GUID& format) {
    GUID copy = format;
    PROPSPEC specs[] = {specOf(wia::WIA_IPA_FORMAT), specOf(wia::WIA_IPA_TYMED)};
    PROPVARIANT values[2];
    PropVariantInit(&values[0]);
    PropVariantInit(&values[1]);
    values[0].vt = VT_CLSID;
    values[0].puuid = &copy;
    values[1].vt = VT_I4;
    values[1].lVal = TYMED_FILE;
    return s->WriteMultiple(2, specs, values, wia::WIA_IPA_FIRST);
}

// A file medium with no name, released at the end.
struct Medium {
    STGMEDIUM m{};
    Medium() { m.tymed = TYMED_FILE; }
    ~Medium() { ReleaseStgMedium(&m); }
    std::string path() const { return m.lpszFileName ? u8(m.lpszFileName, std::u16string(m.lpszFileName).size()) : ""; }
};

class Data1 : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        wiasim::setTransferFolder(dir.path());
    }
    ScratchDir dir;
};

TEST_F(Data1, TheServiceNamesTheFileAndReportsItInBands) {
    loadProfile(scannerProfile(R"({"bands": 3})", "{}"));
    auto root = openRoot1("scan");
    auto flatbed = child1(root.get(), 0);
    ASSERT_EQ(writeFormatAndMedium(storageOf(flatbed.get()).get(), wia::WiaImgFmt_JPEG), S_OK);
    Ptr<IWiaDataTransfer> transfer;
    ASSERT_EQ(flatbed->QueryInterface(wia::IID_IWiaDataTransfer, transfer.outVoid()), S_OK);
    DataRecorder cb;
    std::string path;
    {
        Medium medium;
        ASSERT_EQ(transfer->idtGetData(&medium.m, &cb), S_OK);
        path = medium.path();
        EXPECT_EQ(path.rfind(dir.path() + "/", 0), 0u) << path;
        EXPECT_EQ(path.substr(path.size() - 4), ".jpg");
        EXPECT_EQ(medium.m.pUnkForRelease, nullptr);
        const std::vector<uint8_t> bytes = readFile(path);
        const ImageFacts f = inspect(bytes);
        EXPECT_EQ(f.kind, "JPEG");
        EXPECT_TRUE(f.consistent);
        EXPECT_EQ(std::make_pair(f.width, f.height), std::make_pair(170, 220));

        const auto calls = cb.calls();
        ASSERT_EQ(calls.size(), 5u) << "header, three bands, termination";
        EXPECT_EQ(calls[0].message, wia::IT_MSG_DATA_HEADER);
        std::vector<uint8_t> delivered;
        LONG lastPercent = -1;
        for (size_t i = 1; i < 4; ++i) {
            EXPECT_EQ(calls[i].message, wia::IT_MSG_DATA);
            EXPECT_EQ(calls[i].status, wia::IT_STATUS_TRANSFER_TO_CLIENT);
            EXPECT_EQ(calls[i].offset, static_cast<LONG>(delivered.size()));
            EXPECT_GT(calls[i].percent, lastPercent);
            lastPercent = calls[i].percent;
            delivered.insert(delivered.end(), calls[i].data.begin(), calls[i].data.end());
        }
        EXPECT_EQ(lastPercent, 100);
        EXPECT_EQ(delivered, bytes) << "the bands are the file";
        EXPECT_EQ(calls[4].message, wia::IT_MSG_TERMINATION);
        for (const auto& c : calls) EXPECT_NE(c.thread, GetCurrentThreadId()) << "an MTA caller: a service thread";
    }
    EXPECT_FALSE(fileExists(path)) << "releasing the medium deletes the file";
    EXPECT_EQ(cb.refs(), 1u);
}

TEST_F(Data1, TheDeviceSaysWhichFormatsItAccepts) {
    struct Case {
        const char* formats;
        HRESULT jpeg, bmp;
        const char* kind;
    } cases[] = {
        {R"("WiaImgFmt_BMP", "WiaImgFmt_JPEG")", S_OK, S_OK, "JPEG"},
        {R"("WiaImgFmt_BMP")", E_INVALIDARG, S_OK, "BMP"},
        {R"("WiaImgFmt_PNG")", E_INVALIDARG, E_INVALIDARG, ""},
    };
    for (const auto& c : cases) {
        loadProfile(scannerProfile("{}", "{}", "", c.formats));
        auto root = openRoot1("scan");
        auto flatbed = child1(root.get(), 0);
        auto props = storageOf(flatbed.get());
        const HRESULT jpeg = writeFormatAndMedium(props.get(), wia::WiaImgFmt_JPEG);
        EXPECT_EQ(jpeg, c.jpeg) << c.formats;
        if (jpeg == S_OK) {
            EXPECT_EQ(readText(props.get(), wia::WIA_IPA_FILENAME_EXTENSION), "BSTR:jpg");
        } else {
            EXPECT_EQ(writeFormatAndMedium(props.get(), wia::WiaImgFmt_BMP), c.bmp) << c.formats;
        }
        if (*c.kind == 0) continue;
        Ptr<IWiaDataTransfer> transfer;
        ASSERT_EQ(flatbed->QueryInterface(wia::IID_IWiaDataTransfer, transfer.outVoid()), S_OK);
        Medium medium;
        ASSERT_EQ(transfer->idtGetData(&medium.m, nullptr), S_OK) << "no callback, no messages";
        EXPECT_EQ(inspectFile(medium.path()).kind, c.kind) << c.formats;
    }
}

TEST_F(Data1, ACallbackAnswerOfSFalseStopsAndLeavesNoFile) {
    loadProfile(scannerProfile(R"({"bands": 3})", "{}"));
    for (int stopAt : {0, 1, 3}) {
        auto root = openRoot1("scan");
        auto flatbed = child1(root.get(), 0);
        Ptr<IWiaDataTransfer> transfer;
        ASSERT_EQ(flatbed->QueryInterface(wia::IID_IWiaDataTransfer, transfer.outVoid()), S_OK);
        DataRecorder cb;
        cb.stopAt = stopAt;
        Medium medium;
        EXPECT_EQ(transfer->idtGetData(&medium.m, &cb), S_FALSE) << stopAt;
        EXPECT_EQ(cb.calls().size(), static_cast<size_t>(stopAt + 1)) << stopAt;
        EXPECT_EQ(medium.m.lpszFileName, nullptr) << stopAt;
        EXPECT_TRUE(dir.files().empty()) << stopAt;
    }
}

TEST_F(Data1, TheRootsDocumentHandlingChoosesTheFeederOnePageACall) {
    struct Case {
        const char* what;
        std::string feeder;
        LONG select;
        std::vector<HRESULT> calls;
    } cases[] = {
        {"flatbed", R"({"pages": 1})", wia::FLATBED, {S_OK, S_OK, S_OK}},
        {"feeder", R"({"pages": 2})", wia::FEEDER, {S_OK, S_OK, wia::WIA_ERROR_PAPER_EMPTY}},
        {"duplex", R"({"pages": 2})", wia::FEEDER | wia::DUPLEX,
         {S_OK, S_OK, S_OK, S_OK, wia::WIA_ERROR_PAPER_EMPTY}},
        {"jam", R"({"pages": 3, "jamAt": 2})", wia::FEEDER, {S_OK, wia::WIA_ERROR_PAPER_JAM, S_OK, wia::WIA_ERROR_PAPER_EMPTY}},
        {"empty", R"({"pages": 0})", wia::FEEDER, {wia::WIA_ERROR_PAPER_EMPTY}},
    };
    for (const auto& c : cases) {
        loadProfile(scannerProfile("{}", c.feeder));
        auto root = openRoot1("scan");
        auto rootProps = storageOf(root.get());
        ASSERT_EQ(writeLong(rootProps.get(), wia::WIA_DPS_DOCUMENT_HANDLING_SELECT, c.select), S_OK) << c.what;
        auto flatbed = child1(root.get(), 0);
        Ptr<IWiaDataTransfer> transfer;
        ASSERT_EQ(flatbed->QueryInterface(wia::IID_IWiaDataTransfer, transfer.outVoid()), S_OK);
        std::vector<std::vector<uint8_t>> pages;
        for (size_t i = 0; i < c.calls.size(); ++i) {
            Medium medium;
            EXPECT_EQ(transfer->idtGetData(&medium.m, nullptr), c.calls[i]) << c.what << " call " << i;
            if (c.calls[i] == S_OK) pages.push_back(readFile(medium.path()));
        }
        for (size_t i = 1; i < pages.size(); ++i) {
            if (c.select & wia::FEEDER) {
                EXPECT_NE(pages[i], pages[i - 1]) << c.what << ": each page shows its own number";
            } else {
                EXPECT_EQ(pages[i], pages[i - 1]) << c.what << ": the flatbed scans the same page";
            }
        }
        if (c.select & wia::FEEDER) {
            EXPECT_EQ(readLong(rootProps.get(), wia::WIA_DPS_DOCUMENT_HANDLING_STATUS) & wia::FEED_READY, 0) << c.what;
        }
        EXPECT_TRUE(dir.files().empty()) << c.what << ": every medium was released";
    }
}

TEST_F(Data1, ASingleThreadedCallerGetsItsCallbacksOnItsOwnThreadAndANewPageWhenAsked) {
    loadProfile(scannerProfile(R"({"bands": 2, "newPage": true})", "{}"));
    std::vector<DataRecorder::Call> calls;
    uint32_t caller = 0;
    HRESULT hr = E_FAIL;
    std::thread sta([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        caller = GetCurrentThreadId();
        {
            auto root = openRoot1("scan");
            auto flatbed = child1(root.get(), 0);
            Ptr<IWiaDataTransfer> transfer;
            EXPECT_EQ(flatbed->QueryInterface(wia::IID_IWiaDataTransfer, transfer.outVoid()), S_OK);
            DataRecorder cb;
            Medium medium;
            hr = transfer->idtGetData(&medium.m, &cb);
            calls = cb.calls();
        }
        CoUninitialize();
    });
    sta.join();
    EXPECT_EQ(hr, S_OK);
    std::vector<LONG> messages;
    for (const auto& c : calls) {
        messages.push_back(c.message);
        EXPECT_EQ(c.thread, caller);
    }
    EXPECT_EQ(messages, (std::vector<LONG>{wia::IT_MSG_DATA_HEADER, wia::IT_MSG_NEW_PAGE, wia::IT_MSG_DATA,
                                           wia::IT_MSG_DATA, wia::IT_MSG_TERMINATION}));
}

TEST_F(Data1, MediaAndItemsThatCannotTransferAreRefused) {
    const std::string camera = R"(,{"id": "cam", "type": "camera", "root": {"children": [
        {"name": "IMG_0001", "category": "finished_file", "itemType": ["image", "file", "transfer"],
         "properties": [{"id": "WIA_IPA_FORMAT", "access": "rw", "value": "WiaImgFmt_JPEG",
                         "list": {"values": ["WiaImgFmt_JPEG"]}},
                        {"id": "WIA_IPA_TYMED", "access": "rw", "value": 2, "list": {"values": [2, 128]}}],
         "transfer": {"picture": {"width": 48, "height": 36}}}]}})";
    loadProfile(scannerProfile("{}", "{}", camera));
    auto root = openRoot1("cam");
    auto picture = child1(root.get(), 0);
    auto props = storageOf(picture.get());
    Ptr<IWiaDataTransfer> transfer;
    ASSERT_EQ(picture->QueryInterface(wia::IID_IWiaDataTransfer, transfer.outVoid()), S_OK);
    Ptr<IUnknown> none;
    EXPECT_EQ(root->QueryInterface(wia::IID_IWiaDataTransfer, none.outVoid()), E_NOINTERFACE);
    EXPECT_EQ(picture->QueryInterface(wia::IID_IWiaTransfer, none.outVoid()), E_NOINTERFACE);

    EXPECT_EQ(transfer->idtGetData(nullptr, nullptr), E_INVALIDARG);
    STGMEDIUM stream{};
    stream.tymed = TYMED_ISTREAM;
    EXPECT_EQ(transfer->idtGetData(&stream, nullptr), E_INVALIDARG);
    ASSERT_EQ(writeLong(props.get(), wia::WIA_IPA_TYMED, wia::TYMED_CALLBACK), S_OK);
    {
        Medium medium;
        EXPECT_EQ(transfer->idtGetData(&medium.m, nullptr), E_INVALIDARG) << "the item is set for callbacks";
    }
    ASSERT_EQ(writeFormatAndMedium(props.get(), wia::WiaImgFmt_JPEG), S_OK);
    Medium medium;
    ASSERT_EQ(transfer->idtGetData(&medium.m, nullptr), S_OK);
    const ImageFacts f = inspectFile(medium.path());
    EXPECT_EQ(f.kind, "JPEG");
    EXPECT_EQ(std::make_pair(f.width, f.height), std::make_pair(48, 36));
}

}  // namespace
}  // namespace simtest
