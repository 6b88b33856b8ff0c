// The library's formatter: the conversions of the log formats, the bounded
// buffer, and the guarantee that every result is valid modified UTF-8.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Text.h"

using talvek::Format;
using talvek::IsModifiedUtf8;
using talvek::kLogBufferSize;

namespace {

std::string F(const char* fmt, ...) {
    char buf[kLogBufferSize];
    va_list ap;
    va_start(ap, fmt);
    talvek::FormatV(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

TEST(Format, IntegerConversions) {
    struct Case {
        std::string got, want;
    } cases[] = {
        {F("%d", -42), "-42"},
        {F("%x", 0x80210006u), "80210006"},
        {F("%08x", 0x1234u), "00001234"},
        {F("%08X", 0xabcdu), "0000ABCD"},
        {F("0x%lx (%ld)", -1, -1), "0xffffffff (-1)"},  // l is 32-bit, as the Windows LONG
        {F("%5d|%-5d|", 42, 42), "   42|42   |"},
        {F("%lld", -9000000000LL), "-9000000000"},
        {F("%I64x", 0x123456789ULL), "123456789"},
        {F("%u", 4294967295u), "4294967295"},
        {F("%%d"), "%d"},
        {F("%#x", 255u), "0xff"},
        {F("%+d", 3), "+3"},
        {F("%.3d", 7), "007"},
        {F("%*d", 4, 7), "   7"},
        {F("%c", 'A'), "A"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, StringConversions) {
    const char16_t wide[] = u"Flatbed \u00fc";
    EXPECT_EQ(F("%ws", wide), "Flatbed \xc3\xbc");
    EXPECT_EQ(F("%ls", wide), "Flatbed \xc3\xbc");
    EXPECT_EQ(F("\"%s\"", "abc"), "\"abc\"");
    EXPECT_EQ(F("%s|%ws", static_cast<const char*>(nullptr), static_cast<const char16_t*>(nullptr)),
              "(null)|(null)");
    EXPECT_EQ(F("%.3s", "abcdef"), "abc");
    EXPECT_EQ(F("%-6s|", "ab"), "ab    |");
    // Arguments are never read as formats.
    EXPECT_EQ(F("%ws", u"%s%n%x"), "%s%n%x");
}

TEST(Format, SupplementaryCharactersBecomeSurrogatePairs) {
    // U+1F600 as UTF-16 and as standard UTF-8: both come out as two 3-byte
    // surrogate encodings, the form Java's modified UTF-8 expects.
    const std::string pair = "\xed\xa0\xbd\xed\xb8\x80";
    EXPECT_EQ(F("%ws", u"\U0001F600"), pair);
    EXPECT_EQ(F("%s", "\xf0\x9f\x98\x80"), pair);
    EXPECT_TRUE(IsModifiedUtf8(pair.c_str()));
}

TEST(Format, InvalidNarrowBytesAreReplaced) {
    struct Case {
        const char* in;
        const char* want;
    } cases[] = {
        {"a\xff" "b", "a?b"},
        {"\xc3", "?"},             // cut sequence
        {"\xc0\xaf", "??"},        // overlong
        {"\xe9t\xe9", "?t?"},      // Latin-1 text
        {"\xc3\xbc", "\xc3\xbc"},  // valid stays
    };
    for (const auto& c : cases) {
        std::string got = F("%s", c.in);
        EXPECT_EQ(got, c.want) << c.in;
        EXPECT_TRUE(IsModifiedUtf8(got.c_str()));
    }
}

TEST(Format, LongResultIsCutAtACharacterBoundary) {
    std::u16string longText(3000, u'\u00e9');  // two bytes each in UTF-8
    std::string got = F("x%ws", longText.c_str());
    EXPECT_LE(got.size(), kLogBufferSize - 1);
    EXPECT_EQ(got.size(), 1023u);  // "x" and 511 two-byte characters
    EXPECT_TRUE(IsModifiedUtf8(got.c_str()));

    std::string ascii(5000, 'a');
    EXPECT_EQ(F("%s", ascii.c_str()).size(), 1023u);

    // A surrogate pair is never split by the cut.
    std::u16string pairs;
    for (int i = 0; i < 400; ++i) pairs += u"\U0001F600";
    std::string cut = F("ab%ws", pairs.c_str());
    EXPECT_EQ((cut.size() - 2) % 6, 0u);
    EXPECT_TRUE(IsModifiedUtf8(cut.c_str()));
}

TEST(Format, SmallBuffersAreNeverOverrun) {
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    size_t n = Format(buf, 5, "%s", "abcdefgh");
    EXPECT_EQ(n, 4u);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(buf[5], 'Z');
}

TEST(ModifiedUtf8, Conversions) {
    const char16_t embedded[] = {u'a', 0, u'b'};
    EXPECT_EQ(talvek::Utf16ToModifiedUtf8(embedded, 3), std::string("a\xc0\x80" "b", 4));
    EXPECT_EQ(talvek::ToModifiedUtf8("\xf0\x9f\x98\x80!"), "\xed\xa0\xbd\xed\xb8\x80!");
    EXPECT_FALSE(IsModifiedUtf8("\xf0\x9f\x98\x80"));
    EXPECT_FALSE(IsModifiedUtf8("\x80"));
    EXPECT_TRUE(IsModifiedUtf8("plain"));
}

}  // namespace

namespace {

TEST(Utf8, FileNamesAreStandardUtf8) {
    struct Case {
        std::u16string in;
        std::string want;
    } cases[] = {
        {u"scan", "scan"},
        {u"\u00fcber", "\xc3\xbc" "ber"},
        {u"\U0001F600", "\xf0\x9f\x98\x80"},
        {std::u16string(1, u'\xd800') + u"x", "?x"},  // lone surrogate
    };
    for (const auto& c : cases) EXPECT_EQ(talvek::Utf16ToUtf8(c.in.data(), c.in.size()), c.want);
}

}  // namespace
