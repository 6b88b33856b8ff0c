// Item property storages: validated writes, attributes, enumeration.
#include <algorithm>

#include "sim_test_support.h"

namespace simtest {
namespace {

const char* kStorageProfile = R"({
  "devices": [{
    "id": "dev", "name": "Storage test",
    "root": {"children": [{
      "name": "Item", "category": "flatbed",
      "properties": [
        {"id": 6147, "access": "rw", "value": 300, "list": {"nom": 300, "values": [100, 300, 600]}},
        {"id": 6154, "access": "rw", "value": 0, "range": {"min": -100, "nom": 0, "max": 100, "step": 10}},
        {"id": 3088, "access": "rw", "value": 1, "flags": {"nom": 1, "mask": 5}},
        {"id": 4106, "access": "rw", "value": "WiaImgFmt_BMP",
         "list": {"nom": "WiaImgFmt_BMP", "values": ["WiaImgFmt_BMP", "WiaImgFmt_JPEG"]}},
        {"id": 4123, "access": "rw", "value": "bmp"},
        {"id": 4104, "value": 24},
        {"id": 7001, "type": "VT_UI4", "access": "rw", "value": 5},
        {"id": 7002, "name": null, "value": 1}
      ]
    }]}
  }]
})";

class Storage : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        loadProfile(kStorageProfile);
        root = openRoot2("dev");
        auto kids = children2(root.get());
        ASSERT_EQ(kids.size(), 1u);
        item = std::move(kids[0]);
        props = storageOf(item.get());
    }
    void TearDown() override {
        props.reset();
        item.reset();
        root.reset();
        SimTest::TearDown();
    }
    Ptr<IWiaItem2> root, item;
    Ptr<IWiaPropertyStorage> props;
};

PROPVARIANT i4(LONG v) {
    PROPVARIANT p;
    PropVariantInit(&p);
    p.vt = VT_I4;
    p.lVal = v;
    return p;
}

TEST_F(Storage, WritesAreValidatedAsADriverDoes) {
    GUID unknown = wia::WiaImgFmt_BMP;
    unknown.Data1 ^= 1;
    GUID jpeg = wia::WiaImgFmt_JPEG;
    auto clsid = [](GUID* g) {
        PROPVARIANT p;
        PropVariantInit(&p);
        p.vt = VT_CLSID;
        p.puuid = g;
        return p;
    };
    PROPVARIANT ui4 = i4(5);
    ui4.vt = VT_UI4;
    PROPVARIANT text;
    PropVariantInit(&text);
    text.vt = VT_BSTR;
    Bstr png("png");
    text.bstrVal = png.get();
    struct Case {
        const char* what;
        PROPID id;
        PROPVARIANT value;
        HRESULT expected;
        std::string after;
    } cases[] = {
        {"list member", 6147, i4(600), S_OK, "I4:600"},
        {"not in the list", 6147, i4(301), E_INVALIDARG, "I4:600"},
        {"range on a step", 6154, i4(-30), S_OK, "I4:-30"},
        {"range off the step", 6154, i4(35), E_INVALIDARG, "I4:-30"},
        {"above the range", 6154, i4(110), E_INVALIDARG, "I4:-30"},
        {"flags within the mask", 3088, i4(4), S_OK, "I4:4"},
        {"flag outside the mask", 3088, i4(2), E_INVALIDARG, "I4:4"},
        {"GUID in the list", 4106, clsid(&jpeg), S_OK, "CLSID:B96B3CAE-0728"},
        {"GUID not in the list", 4106, clsid(&unknown), E_INVALIDARG, "CLSID:B96B3CAE-0728"},
        {"any string", 4123, text, S_OK, "BSTR:png"},
        {"read-only", 4104, i4(8), E_ACCESSDENIED, "I4:24"},
        {"wrong type", 6147, ui4, E_INVALIDARG, "I4:600"},
        {"UI4 property", 7001, ui4, S_OK, "UI4:5"},
        {"I4 on a UI4 property", 7001, i4(5), E_INVALIDARG, "UI4:5"},
        {"absent property", 9999, i4(1), E_INVALIDARG, "hr:00000001"},
    };
    for (auto& c : cases) {
        PROPSPEC spec = specOf(c.id);
        EXPECT_EQ(props->WriteMultiple(1, &spec, &c.value, wia::WIA_IPA_FIRST), c.expected) << c.what;
        EXPECT_EQ(readText(props.get(), c.id), c.after) << c.what;
    }
}

TEST_F(Storage, AWriteOfSeveralIsAllOrNothingAndOnlyByPropertyId) {
    PROPSPEC specs[] = {specOf(6147), specOf(6154)};
    PROPVARIANT values[] = {i4(100), i4(5)};  // the second is off the step
    EXPECT_EQ(props->WriteMultiple(2, specs, values, wia::WIA_IPA_FIRST), E_INVALIDARG);
    EXPECT_EQ(readLong(props.get(), 6147), 300);
    values[1] = i4(10);
    EXPECT_EQ(props->WriteMultiple(2, specs, values, wia::WIA_IPA_FIRST), S_OK);
    EXPECT_EQ(readLong(props.get(), 6147), 100);
    EXPECT_EQ(readLong(props.get(), 6154), 10);

    PROPSPEC byName;
    byName.ulKind = PRSPEC_LPWSTR;
    byName.lpwstr = const_cast<LPOLESTR>(u"Horizontal Resolution");
    PROPVARIANT v = i4(600);
    EXPECT_EQ(props->WriteMultiple(1, &byName, &v, wia::WIA_IPA_FIRST), E_INVALIDARG);
    PropVar read;
    ASSERT_EQ(props->ReadMultiple(1, &byName, &read.v), S_OK) << "reads may name the property";
    EXPECT_EQ(read.v.lVal, 100);
}

TEST_F(Storage, AttributesGiveTheFlagsAndValidValuesInWiaLayout) {
    struct Case {
        PROPID id;
        ULONG flags;
        VARTYPE vt;
        std::vector<LONG> values;
    } cases[] = {
        {6147, wia::WIA_PROP_READ | wia::WIA_PROP_WRITE | wia::WIA_PROP_LIST, VT_VECTOR | VT_I4, {3, 300, 100, 300, 600}},
        {6154, wia::WIA_PROP_READ | wia::WIA_PROP_WRITE | wia::WIA_PROP_RANGE, VT_VECTOR | VT_I4, {-100, 0, 100, 10}},
        {3088, wia::WIA_PROP_READ | wia::WIA_PROP_WRITE | wia::WIA_PROP_FLAG, VT_VECTOR | VT_I4, {1, 5}},
        {4104, wia::WIA_PROP_READ | wia::WIA_PROP_NONE, VT_EMPTY, {}},
    };
    for (const auto& c : cases) {
        PROPSPEC spec = specOf(c.id);
        ULONG flags = 0;
        PropVar valid;
        ASSERT_EQ(props->GetPropertyAttributes(1, &spec, &flags, &valid.v), S_OK) << c.id;
        EXPECT_EQ(flags, c.flags) << c.id;
        EXPECT_EQ(valid.v.vt, c.vt) << c.id;
        std::vector<LONG> got(valid.v.cal.pElems, valid.v.cal.pElems + valid.v.cal.cElems);
        EXPECT_EQ(got, c.values) << c.id;
    }
    PROPSPEC spec = specOf(4106);
    ULONG flags = 0;
    PropVar formats;
    ASSERT_EQ(props->GetPropertyAttributes(1, &spec, &flags, &formats.v), S_OK);
    ASSERT_EQ(formats.v.vt, VT_VECTOR | VT_CLSID);
    ASSERT_EQ(formats.v.cauuid.cElems, 4u);
    EXPECT_EQ(formats.v.cauuid.pElems[wia::WIA_LIST_COUNT].Data1, 2u);
    EXPECT_EQ(formats.v.cauuid.pElems[wia::WIA_LIST_NOM], wia::WiaImgFmt_BMP);
    EXPECT_EQ(formats.v.cauuid.pElems[3], wia::WiaImgFmt_JPEG);

    spec = specOf(9999);
    PropVar none;
    EXPECT_EQ(props->GetPropertyAttributes(1, &spec, &flags, &none.v), S_FALSE);
    EXPECT_EQ(flags, 0u);
}

TEST_F(Storage, EnumerationHandsOutNamesTheCallerFrees) {
    Ptr<IEnumSTATPROPSTG> e;
    ASSERT_EQ(props->Enum(e.out()), S_OK);
    std::vector<PROPID> ids;
    bool sawNameless = false, sawNamed = false;
    for (;;) {
        STATPROPSTG st{};
        ULONG n = 0;
        if (e->Next(1, &st, &n) != S_OK) break;
        ASSERT_EQ(n, 1u);
        ids.push_back(st.propid);
        if (st.propid == 7002) {
            sawNameless = st.lpwstrName == nullptr;
        } else if (st.propid == 6147) {
            sawNamed = st.lpwstrName && std::u16string(st.lpwstrName) == u"Horizontal Resolution";
            EXPECT_EQ(st.vt, VT_I4);
        }
        EXPECT_EQ(wiasim::counts().taskMem, st.lpwstrName ? 1 : 0) << "one name out";
        CoTaskMemFree(st.lpwstrName);
    }
    EXPECT_TRUE(sawNamed);
    EXPECT_TRUE(sawNameless);
    ULONG count = 0;
    ASSERT_EQ(props->GetCount(&count), S_OK);
    EXPECT_EQ(count, ids.size());
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    // Automatic item properties are there besides the listed ones.
    for (PROPID id : {PROPID(4098), PROPID(4099), PROPID(4101), PROPID(4125)})
        EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end()) << id;
}

TEST_F(Storage, AStorageCanReportAnotherCountThanItEnumerates) {
    loadProfile(R"({"devices": [{"id": "liar", "root": {"reportedCount": 3,
        "properties": [{"id": 7001, "value": 1}, {"id": 7002, "value": 2}]}}]})");
    auto liar = openRoot2("liar");
    auto s = storageOf(liar.get());
    ULONG count = 0;
    ASSERT_EQ(s->GetCount(&count), S_OK);
    EXPECT_EQ(count, 3u);
    Ptr<IEnumSTATPROPSTG> e;
    ASSERT_EQ(s->Enum(e.out()), S_OK);
    STATPROPSTG st[32];
    ULONG n = 0;
    EXPECT_EQ(e->Next(32, st, &n), S_FALSE);
    EXPECT_GT(n, 3u) << "record, automatic and listed properties";
    for (ULONG i = 0; i < n; ++i) CoTaskMemFree(st[i].lpwstrName);
}

TEST_F(Storage, NotImplementedMethodsSaySo) {
    PROPSPEC spec = specOf(6147);
    EXPECT_EQ(props->DeleteMultiple(1, &spec), E_NOTIMPL);
    EXPECT_EQ(props->Commit(0), E_NOTIMPL);
    STATPROPSETSTG st{};
    EXPECT_EQ(props->Stat(&st), E_NOTIMPL);
    LPOLESTR name = nullptr;
    PROPID id = 6147;
    ASSERT_EQ(props->ReadPropertyNames(1, &id, &name), S_OK);
    EXPECT_EQ(std::u16string(name), u"Horizontal Resolution");
    CoTaskMemFree(name);
}

}  // namespace
}  // namespace simtest
