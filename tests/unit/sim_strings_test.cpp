// Strings, PROPVARIANTs and system messages of the stand-in.
#include <cstring>

#include "sim_test_support.h"

namespace simtest {
namespace {

class Strings : public SimTest {};

TEST_F(Strings, BstrLengthsFollowThePrefixAndEmbeddedNulsSurvive) {
    const char16_t text[] = {u'a', u'b', 0, u'c', u'd'};
    struct Case {
        const char* what;
        BSTR s;
        uint32_t units;
        std::u16string content;
    } cases[] = {
        {"SysAllocString stops at the first NUL", SysAllocString(text), 2, u"ab"},
        {"SysAllocStringLen keeps every unit", SysAllocStringLen(text, 5), 5, std::u16string(text, 5)},
        {"SysAllocStringLen without a source is zero-filled", SysAllocStringLen(nullptr, 3), 3, std::u16string(3, 0)},
        {"an empty string is not null", SysAllocString(u""), 0, u""},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.s, nullptr);
        EXPECT_EQ(SysStringLen(c.s), c.units);
        EXPECT_EQ(SysStringByteLen(c.s), c.units * 2);
        EXPECT_EQ(std::u16string(c.s, SysStringLen(c.s)), c.content);
        EXPECT_EQ(c.s[c.units], 0) << "terminated";
        uint32_t prefix;
        std::memcpy(&prefix, reinterpret_cast<const char*>(c.s) - 4, 4);
        EXPECT_EQ(prefix, c.units * 2) << "byte-length prefix";
    }
    EXPECT_EQ(wiasim::counts().bstrs, 4);
    for (auto& c : cases) SysFreeString(c.s);
}

TEST_F(Strings, NullBstrsAreHarmless) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST_F(Strings, FreesOfUnknownPointersAreCountedNotFollowed) {
    expectBadFrees(4);
    BSTR s = SysAllocString(u"x");
    SysFreeString(s);
    SysFreeString(s);  // twice
    char16_t notABstr[8] = {};
    SysFreeString(notABstr + 2);
    int local = 0;
    CoTaskMemFree(&local);
    EXPECT_EQ(LocalFree(&local), &local) << "a failed LocalFree answers the handle";
}

TEST_F(Strings, TaskMemoryIsAccountedThroughRealloc) {
    void* p = CoTaskMemAlloc(16);
    ASSERT_NE(p, nullptr);
    std::memset(p, 7, 16);
    p = CoTaskMemRealloc(p, 4096);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(p)[15], 7);
    EXPECT_EQ(wiasim::counts().taskMem, 1);
    CoTaskMemFree(p);
}

// Values of every owning kind, built with the caller's allocators.
PROPVARIANT owningValue(VARTYPE vt) {
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = vt;
    auto wide = [](const char16_t* s) {
        auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((std::char_traits<char16_t>::length(s) + 1) * 2));
        std::memcpy(p, s, (std::char_traits<char16_t>::length(s) + 1) * 2);
        return p;
    };
    switch (vt) {
        case VT_BSTR: v.bstrVal = SysAllocString(u"value"); break;
        case VT_LPWSTR: v.pwszVal = wide(u"value"); break;
        case VT_LPSTR:
            v.pszVal = static_cast<LPSTR>(CoTaskMemAlloc(6));
            std::memcpy(v.pszVal, "value", 6);
            break;
        case VT_CLSID:
            v.puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
            *v.puuid = wia::WiaImgFmt_JPEG;
            break;
        case VT_BLOB:
            v.blob.cbSize = 3;
            v.blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(3));
            std::memset(v.blob.pBlobData, 1, 3);
            break;
        case VT_VECTOR | VT_I4:
            v.cal.cElems = 3;
            v.cal.pElems = static_cast<LONG*>(CoTaskMemAlloc(3 * sizeof(LONG)));
            for (LONG i = 0; i < 3; ++i) v.cal.pElems[i] = i * 10;
            break;
        case VT_VECTOR | VT_BSTR:
            v.cabstr.cElems = 2;
            v.cabstr.pElems = static_cast<BSTR*>(CoTaskMemAlloc(2 * sizeof(BSTR)));
            v.cabstr.pElems[0] = SysAllocString(u"one");
            v.cabstr.pElems[1] = SysAllocString(u"two");
            break;
        case VT_VECTOR | VT_LPWSTR:
            v.calpwstr.cElems = 2;
            v.calpwstr.pElems = static_cast<LPWSTR*>(CoTaskMemAlloc(2 * sizeof(LPWSTR)));
            v.calpwstr.pElems[0] = wide(u"one");
            v.calpwstr.pElems[1] = wide(u"two");
            break;
        default: break;
    }
    return v;
}

// The pointer through which a value owns its data.
const void* ownedData(const PROPVARIANT& v) {
    if (v.vt & VT_VECTOR) return v.cal.pElems;
    if (v.vt == VT_BLOB) return v.blob.pBlobData;
    return v.bstrVal;  // BSTR, LPWSTR, LPSTR and CLSID* share the slot
}

const VARTYPE kOwningTypes[] = {VT_BSTR, VT_LPWSTR, VT_LPSTR, VT_CLSID, VT_BLOB, VT_VECTOR | VT_I4,
                                VT_VECTOR | VT_BSTR, VT_VECTOR | VT_LPWSTR};

TEST_F(Strings, PropVariantClearFreesWhatTheValueOwns) {
    for (VARTYPE vt : kOwningTypes) {
        SCOPED_TRACE(vt);
        const wiasim::Counts before = wiasim::counts();
        PROPVARIANT v = owningValue(vt);
        EXPECT_GT(wiasim::counts().bstrs + wiasim::counts().taskMem, before.bstrs + before.taskMem);
        EXPECT_EQ(PropVariantClear(&v), S_OK);
        EXPECT_EQ(v.vt, VT_EMPTY);
        EXPECT_EQ(ownedData(v), nullptr);
        EXPECT_EQ(wiasim::counts().bstrs, before.bstrs);
        EXPECT_EQ(wiasim::counts().taskMem, before.taskMem);
    }
}

TEST_F(Strings, PropVariantCopyIsDeepAndFreePropVariantArrayClearsEach) {
    PROPVARIANT src[std::size(kOwningTypes)];
    PROPVARIANT dst[std::size(kOwningTypes)];
    for (size_t i = 0; i < std::size(kOwningTypes); ++i) {
        src[i] = owningValue(kOwningTypes[i]);
        PropVariantInit(&dst[i]);
        ASSERT_EQ(PropVariantCopy(&dst[i], &src[i]), S_OK);
        EXPECT_EQ(dst[i].vt, src[i].vt);
        ASSERT_NE(ownedData(dst[i]), nullptr);
        EXPECT_NE(ownedData(dst[i]), ownedData(src[i])) << "own copy of the data";
    }
    // Vector of BSTR: the elements are copies too, with their lengths.
    const size_t bstrs = 6;
    EXPECT_NE(dst[bstrs].cabstr.pElems[1], src[bstrs].cabstr.pElems[1]);
    EXPECT_EQ(std::u16string(dst[bstrs].cabstr.pElems[1]), u"two");
    EXPECT_EQ(SysStringLen(dst[bstrs].cabstr.pElems[1]), 3u);
    ASSERT_EQ(FreePropVariantArray(std::size(kOwningTypes), src), S_OK);
    EXPECT_EQ(*dst[3].puuid, wia::WiaImgFmt_JPEG) << "the copy outlives the source";
    ASSERT_EQ(FreePropVariantArray(std::size(kOwningTypes), dst), S_OK);
    for (const auto& v : dst) EXPECT_EQ(v.vt, VT_EMPTY);
}

std::string formatMessage(uint32_t code, DWORD* length = nullptr) {
    char* text = reinterpret_cast<char*>(0x1);
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                       FORMAT_MESSAGE_FROM_SYSTEM,
                                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                   reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length) *length = n;
    if (n == 0) {
        EXPECT_EQ(text, nullptr) << "no buffer without a text";
        return "<none>";
    }
    EXPECT_EQ(wiasim::counts().local, 1);
    std::string out(text, n);
    EXPECT_EQ(std::strlen(text), n) << "length answered";
    EXPECT_EQ(LocalFree(text), nullptr);
    return out;
}

TEST_F(Strings, SystemMessagesEndWithCrLfAndWiaCodesHaveNone) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0x80004005, "Unspecified error\r\n"},
        {0x80070057, "The parameter is incorrect.\r\n"},
        {0x80040154, "Class not registered\r\n"},
        {0x800401F0, "CoInitialize has not been called.\r\n"},
        {0x800706F4, "A null reference pointer was passed to the stub.\r\n"},
        {0x80210006, "<none>"},
        {0x80210015, "<none>"},
        {0x12345678, "<none>"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatMessage(c.first), c.second) << std::hex << c.first;
}

TEST_F(Strings, AddedSystemMessagesTakePrecedenceUntilReset) {
    const std::string bytes = "Unbekannter Fehler \xE4\xF6\r\n";
    wiasim::addSystemMessage(0x80004005, bytes);
    wiasim::addSystemMessage(0x80210006, "Busy\r\n");
    DWORD n = 0;
    EXPECT_EQ(formatMessage(0x80004005, &n), bytes);
    EXPECT_EQ(n, bytes.size());
    EXPECT_EQ(formatMessage(0x80210006), "Busy\r\n");
    wiasim::reset();
    EXPECT_EQ(formatMessage(0x80004005), "Unspecified error\r\n");
    EXPECT_EQ(formatMessage(0x80210006), "<none>");
}

}  // namespace
}  // namespace simtest
