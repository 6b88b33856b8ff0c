// Scanner items as a driver keeps them: tied properties, images that follow
// the settings, any value type, refusals staged by object, and scale.
#include <chrono>

#include "sim_transfer_support.h"

namespace simtest {
namespace {

class Scanner : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        loadProfile(scannerProfile(R"({"bands": 2})", "{}"));
    }
    ScratchDir dir;
};

struct Write {
    PROPID id;
    LONG value;
    HRESULT expected;
};
struct Read {
    PROPID id;
    LONG value;
};

TEST_F(Scanner, TiedPropertiesFollowAWriteAsOnADriver) {
    struct Case {
        const char* what;
        std::vector<Write> writes;
        std::vector<Read> reads;
    } cases[] = {
        {"a finer resolution keeps the area",
         {{wia::WIA_IPS_XRES, 200, S_OK}},
         {{wia::WIA_IPS_XEXTENT, 340}, {4112, 340}, {4113, 1020}, {wia::WIA_IPS_YEXTENT, 220}}},
        {"the extent of a finer resolution may grow to the new bed",
         {{wia::WIA_IPS_XRES, 200, S_OK}, {wia::WIA_IPS_XEXTENT, 300, S_OK}, {wia::WIA_IPS_XEXTENT, 341, E_INVALIDARG}},
         {{wia::WIA_IPS_XEXTENT, 300}}},
        {"a coarser resolution scales the window",
         {{wia::WIA_IPS_XPOS, 40, S_OK}, {wia::WIA_IPS_XRES, 50, S_OK}},
         {{wia::WIA_IPS_XPOS, 20}, {wia::WIA_IPS_XEXTENT, 65}}},
        {"a position leaves less extent",
         {{wia::WIA_IPS_YPOS, 100, S_OK}, {wia::WIA_IPS_YEXTENT, 121, E_INVALIDARG}, {wia::WIA_IPS_YEXTENT, 120, S_OK}},
         {{wia::WIA_IPS_YEXTENT, 120}, {4114, 120}}},
        {"black and white narrows the depth",
         {{wia::WIA_IPA_DATATYPE, 0, S_OK}, {wia::WIA_IPA_DEPTH, 24, E_INVALIDARG}},
         {{wia::WIA_IPA_DEPTH, 1}, {4109, 1}, {4113, 24}}},
        {"grey then colour",
         {{wia::WIA_IPA_DATATYPE, 2, S_OK}, {wia::WIA_IPA_DEPTH, 8, S_OK}, {wia::WIA_IPA_DATATYPE, 3, S_OK}},
         {{wia::WIA_IPA_DEPTH, 24}, {4109, 3}, {4110, 8}}},
    };
    for (const auto& c : cases) {
        auto root = openRoot2("scan");
        auto props = storageOf(childNamed(root.get(), "Flatbed").get());
        for (const auto& w : c.writes)
            EXPECT_EQ(writeLong(props.get(), w.id, w.value), w.expected) << c.what << ": " << w.id << "=" << w.value;
        for (const auto& r : c.reads) EXPECT_EQ(readLong(props.get(), r.id), r.value) << c.what << ": " << r.id;
    }
}

TEST_F(Scanner, SeveralValuesInOneWriteAreCheckedInTheirOrder) {
    auto root = openRoot2("scan");
    auto props = storageOf(childNamed(root.get(), "Flatbed").get());
    PROPSPEC specs[] = {specOf(wia::WIA_IPS_XRES), specOf(wia::WIA_IPS_XEXTENT)};
    PROPVARIANT values[2];
    for (auto& v : values) PropVariantInit(&v);
    values[0].vt = values[1].vt = VT_I4;
    values[0].lVal = 200;
    values[1].lVal = 300;
    EXPECT_EQ(props->WriteMultiple(2, specs, values, wia::WIA_IPA_FIRST), S_OK) << "300 fits the bed at 200 dpi";
    EXPECT_EQ(readLong(props.get(), wia::WIA_IPS_XEXTENT), 300);
    PROPSPEC reversed[] = {specOf(wia::WIA_IPS_XEXTENT), specOf(wia::WIA_IPS_XRES)};
    values[0].lVal = 200;  // extent at 200 dpi, then the resolution down to 50
    values[1].lVal = 50;
    EXPECT_EQ(props->WriteMultiple(2, reversed, values, wia::WIA_IPA_FIRST), S_OK);
    EXPECT_EQ(readLong(props.get(), wia::WIA_IPS_XEXTENT), 50);
    values[0].lVal = 100;  // at 50 dpi the bed is 85 wide: refused, and nothing changes
    values[1].lVal = 100;
    EXPECT_EQ(props->WriteMultiple(2, reversed, values, wia::WIA_IPA_FIRST), E_INVALIDARG);
    EXPECT_EQ(readLong(props.get(), wia::WIA_IPS_XRES), 50);
}

TEST_F(Scanner, TheFormatNamesTheFileExtension) {
    auto root = openRoot2("scan");
    auto props = storageOf(childNamed(root.get(), "Flatbed").get());
    const std::pair<GUID, const char*> cases[] = {
        {wia::WiaImgFmt_JPEG, "BSTR:jpg"}, {wia::WiaImgFmt_PNG, "BSTR:png"}, {wia::WiaImgFmt_BMP, "BSTR:bmp"}};
    for (const auto& c : cases) {
        ASSERT_EQ(writeGuid(props.get(), wia::WIA_IPA_FORMAT, c.first), S_OK);
        EXPECT_EQ(readText(props.get(), wia::WIA_IPA_FILENAME_EXTENSION), c.second);
    }
}

// The pixel at (x, y) of a 24-bit BMP, as 0xRRGGBB.
uint32_t pixelOf(const std::vector<uint8_t>& bmp, int x, int y) {
    const int width = bmp[18] | (bmp[19] << 8);
    const int height = bmp[22] | (bmp[23] << 8);
    const size_t stride = (static_cast<size_t>(width) * 24 + 31) / 32 * 4;
    const uint8_t* p = bmp.data() + 54 + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x) * 3;
    return (p[2] << 16) | (p[1] << 8) | p[0];
}

std::vector<uint8_t> scanFlatbed(IWiaItem2* flatbed, const std::string& dir) {
    TransferRecorder cb(dir);
    EXPECT_EQ(transferOf(flatbed)->Download(0, &cb), S_OK);
    return cb.paths().empty() ? std::vector<uint8_t>() : readFile(cb.paths()[0]);
}

TEST_F(Scanner, TheImageIsOfTheKindAndSizeTheSettingsAsk) {
    struct Case {
        const char* what;
        std::vector<Write> writes;
        GUID format;
        ImageFacts expected;
    } cases[] = {
        {"colour", {}, wia::WiaImgFmt_BMP, {"BMP", 170, 220, 24, true, 0}},
        {"a window at 50 dpi",
         {{wia::WIA_IPS_XRES, 50, S_OK}, {wia::WIA_IPS_YRES, 50, S_OK}, {wia::WIA_IPS_XEXTENT, 60, S_OK},
          {wia::WIA_IPS_YEXTENT, 30, S_OK}},
         wia::WiaImgFmt_BMP,
         {"BMP", 60, 30, 24, true, 0}},
        {"black and white", {{wia::WIA_IPA_DATATYPE, 0, S_OK}}, wia::WiaImgFmt_BMP, {"BMP", 170, 220, 1, true, 0}},
        {"grey", {{wia::WIA_IPA_DATATYPE, 2, S_OK}}, wia::WiaImgFmt_BMP, {"BMP", 170, 220, 8, true, 0}},
        {"odd width, black and white",
         {{wia::WIA_IPA_DATATYPE, 0, S_OK}, {wia::WIA_IPS_XEXTENT, 37, S_OK}},
         wia::WiaImgFmt_BMP,
         {"BMP", 37, 220, 1, true, 0}},
        {"PNG colour", {}, wia::WiaImgFmt_PNG, {"PNG", 170, 220, 24, true, 0}},
        {"PNG grey", {{wia::WIA_IPA_DATATYPE, 2, S_OK}}, wia::WiaImgFmt_PNG, {"PNG", 170, 220, 8, true, 0}},
        {"JPEG colour", {{wia::WIA_IPS_XRES, 200, S_OK}}, wia::WiaImgFmt_JPEG, {"JPEG", 340, 220, 24, true, 0}},
        {"JPEG grey", {{wia::WIA_IPA_DATATYPE, 2, S_OK}}, wia::WiaImgFmt_JPEG, {"JPEG", 170, 220, 8, true, 0}},
    };
    for (const auto& c : cases) {
        auto root = openRoot2("scan");
        auto flatbed = childNamed(root.get(), "Flatbed");
        auto props = storageOf(flatbed.get());
        ASSERT_EQ(writeGuid(props.get(), wia::WIA_IPA_FORMAT, c.format), S_OK) << c.what;
        for (const auto& w : c.writes) ASSERT_EQ(writeLong(props.get(), w.id, w.value), w.expected) << c.what;
        const ImageFacts f = inspect(scanFlatbed(flatbed.get(), dir.path()));
        EXPECT_EQ(f.kind, c.expected.kind) << c.what;
        EXPECT_EQ(f.width, c.expected.width) << c.what;
        EXPECT_EQ(f.height, c.expected.height) << c.what;
        EXPECT_EQ(f.bits, c.expected.bits) << c.what;
        EXPECT_TRUE(f.consistent) << c.what;
    }
}

TEST_F(Scanner, AWindowShowsThePartOfThePageItCovers) {
    auto root = openRoot2("scan");
    auto flatbed = childNamed(root.get(), "Flatbed");
    const std::vector<uint8_t> page = scanFlatbed(flatbed.get(), dir.path());
    auto props = storageOf(flatbed.get());
    for (const Write& w : {Write{wia::WIA_IPS_XPOS, 60, S_OK}, Write{wia::WIA_IPS_YPOS, 20, S_OK},
                           Write{wia::WIA_IPS_XEXTENT, 100, S_OK}, Write{wia::WIA_IPS_YEXTENT, 150, S_OK}})
        ASSERT_EQ(writeLong(props.get(), w.id, w.value), S_OK);
    const std::vector<uint8_t> window = scanFlatbed(flatbed.get(), dir.path());
    ASSERT_EQ(inspect(window).width, 100);
    int differentFromCorner = 0;
    for (int y = 0; y < 150; y += 7) {
        for (int x = 0; x < 100; x += 9) {
            ASSERT_EQ(pixelOf(window, x, y), pixelOf(page, x + 60, y + 20)) << x << "," << y;
            differentFromCorner += pixelOf(page, x, y) != pixelOf(page, x + 60, y + 20);
        }
    }
    EXPECT_GT(differentFromCorner, 0) << "the window is not the page's corner";
}

TEST_F(Scanner, BrightnessAndContrastShowInTheImage) {
    auto meanGreyWith = [&](LONG brightness, LONG contrast) {
        auto root = openRoot2("scan");
        auto flatbed = childNamed(root.get(), "Flatbed");
        auto props = storageOf(flatbed.get());
        EXPECT_EQ(writeLong(props.get(), wia::WIA_IPS_BRIGHTNESS, brightness), S_OK);
        EXPECT_EQ(writeLong(props.get(), wia::WIA_IPS_CONTRAST, contrast), S_OK);
        return inspect(scanFlatbed(flatbed.get(), dir.path())).meanGrey;
    };
    const double dark = meanGreyWith(-600, 0), plain = meanGreyWith(0, 0), bright = meanGreyWith(600, 0);
    EXPECT_LT(dark + 20, plain);
    EXPECT_LT(plain + 20, bright);
    EXPECT_NEAR(meanGreyWith(0, -1000), 127.5, 1.0) << "no contrast leaves a flat middle grey";
    const double strong = meanGreyWith(0, 1000);
    EXPECT_NE(strong, plain) << "more contrast pushes the greys apart";
}

TEST_F(Scanner, APropertyCanHaveAnyValueType) {
    loadProfile(R"({"devices": [{"id": "odd", "root": {"properties": [
        {"id": 7001, "value": null},
        {"id": 7002, "type": "VT_UI4", "value": "0xFFFFFFFF"},
        {"id": 7003, "type": "VT_VECTOR|VT_I4", "value": [1, -2, 3]},
        {"id": 7004, "value": "a\u0000b"},
        {"id": 7005, "type": "VT_VECTOR|VT_CLSID", "value": ["WiaImgFmt_BMP", "WiaImgFmt_PNG"]}
    ]}}]})");
    auto root = openRoot2("odd");
    auto props = storageOf(root.get());
    PROPSPEC specs[] = {specOf(7001), specOf(7002), specOf(7003), specOf(7004), specOf(7005)};
    PROPVARIANT v[5];
    ASSERT_EQ(props->ReadMultiple(5, specs, v), S_OK);
    EXPECT_EQ(v[0].vt, VT_BSTR);
    EXPECT_EQ(v[0].bstrVal, nullptr);
    EXPECT_EQ(v[1].vt, VT_UI4);
    EXPECT_EQ(v[1].ulVal, 0xFFFFFFFFu);
    ASSERT_EQ(v[2].vt, VT_VECTOR | VT_I4);
    EXPECT_EQ(std::vector<LONG>(v[2].cal.pElems, v[2].cal.pElems + v[2].cal.cElems), (std::vector<LONG>{1, -2, 3}));
    ASSERT_EQ(v[3].vt, VT_BSTR);
    EXPECT_EQ(std::u16string(v[3].bstrVal, SysStringLen(v[3].bstrVal)), std::u16string(u"a\0b", 3));
    ASSERT_EQ(v[4].vt, VT_VECTOR | VT_CLSID);
    ASSERT_EQ(v[4].cauuid.cElems, 2u);
    EXPECT_EQ(v[4].cauuid.pElems[1], wia::WiaImgFmt_PNG);
    FreePropVariantArray(5, v);
}

TEST_F(Scanner, AChildCanBeMadeToRefuseItsStorageByItsName) {
    wiasim::injectFault("IWiaItem2.QueryInterface", "IID_IWiaPropertyStorage && \\Feeder", E_ACCESSDENIED, 1, -1,
                        false);
    auto root = openRoot2("scan");
    auto kids = children2(root.get());
    ASSERT_EQ(kids.size(), 2u);
    Ptr<IWiaPropertyStorage> s;
    EXPECT_EQ(kids[0]->QueryInterface(wia::IID_IWiaPropertyStorage, s.outVoid()), S_OK) << "the flatbed";
    EXPECT_EQ(kids[1]->QueryInterface(wia::IID_IWiaPropertyStorage, s.outVoid()), E_ACCESSDENIED) << "the feeder";
    EXPECT_FALSE(s);
    Ptr<IWiaTransfer> t;
    EXPECT_EQ(kids[1]->QueryInterface(wia::IID_IWiaTransfer, t.outVoid()), S_OK) << "both terms must match";
}

TEST_F(Scanner, ManyItemsWithManyPropertiesOpenAndServeQuickly) {
    std::string json = R"({"devices": [{"id": "big", "root": {"children": [)";
    for (int item = 0; item < 8; ++item) {
        json += item ? "," : "";
        json += R"({"name": "Item)" + std::to_string(item) + R"(", "properties": [)";
        for (int p = 0; p < 500; ++p) {
            json += p ? "," : "";
            json += R"({"id": )" + std::to_string(10000 + p) + R"(, "name": "P)" + std::to_string(p) +
                    R"(", "access": "rw", "value": 2, "list": {"values": [1, 2, 3, 4, 5, 6]}})";
        }
        json += "]}";
    }
    json += "]}}]}";
    const auto start = std::chrono::steady_clock::now();
    loadProfile(json);
    auto root = openRoot2("big");
    size_t seen = 0;
    for (auto& child : children2(root.get())) {
        auto props = storageOf(child.get());
        Ptr<IEnumSTATPROPSTG> e;
        ASSERT_EQ(props->Enum(e.out()), S_OK);
        STATPROPSTG st;
        while (e->Next(1, &st, nullptr) == S_OK) {
            CoTaskMemFree(st.lpwstrName);
            PROPSPEC spec = specOf(st.propid);
            PropVar value, valid;
            ULONG flags = 0;
            ASSERT_EQ(props->ReadMultiple(1, &spec, &value.v), S_OK);
            ASSERT_EQ(props->GetPropertyAttributes(1, &spec, &flags, &valid.v), S_OK);
            ++seen;
        }
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(seen, 8u * 500u);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 5000);
}

}  // namespace
}  // namespace simtest
