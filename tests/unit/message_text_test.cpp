// Text helpers of the messages and files: the quoting of bad values and the UTF-16
// round trip of configuration files.
#include <gtest/gtest.h>

#include <string>

#include "common/error.h"
#include "common/text.h"
#include "config/value_rules.h"
#include "net/remote_value.h"

namespace {

const std::string kEllipsisText(kEllipsis);

struct QuoteCase {
    const char* name;
    std::string value;
    std::string quoted;
};

std::vector<QuoteCase> QuoteCases() {
    const std::string sixty_four(64, 'a');
    const std::string e_acute = "\xC3\xA9";
    std::string wide_64;
    for (int i = 0; i < 64; ++i) wide_64 += e_acute;
    return {
        {"Empty", "", ""},
        {"ShortWhole", "abc", "abc"},
        {"SixtyFourWhole", sixty_four, sixty_four},
        {"SixtyFiveCut", sixty_four + "b", sixty_four + kEllipsisText},
        {"MegabyteCut", std::string(1 << 20, 'x'), std::string(64, 'x') + kEllipsisText},
        // 64 two-byte characters fit; the 65th is dropped whole, never split.
        {"Utf8CountsCharacters", wide_64, wide_64},
        {"Utf8CutBetweenCharacters", wide_64 + e_acute, wide_64 + kEllipsisText},
        // Bytes of a single-byte code page (Windows-1252 "é" is 0xE9) count one each.
        {"AnsiBytesCountOne", std::string(70, '\xE9'), std::string(64, '\xE9') + kEllipsisText},
        {"StrayContinuationBytesCountOne", std::string(70, '\x80'), std::string(64, '\x80') + kEllipsisText},
    };
}

class QuotedValueCase : public testing::TestWithParam<QuoteCase> {};

TEST_P(QuotedValueCase, KeepsAtMostSixtyFourCharacters) { EXPECT_EQ(QuotedValue(GetParam().value), GetParam().quoted); }

INSTANTIATE_TEST_SUITE_P(Values, QuotedValueCase, testing::ValuesIn(QuoteCases()),
                         [](const testing::TestParamInfo<QuoteCase>& case_info) {
                             return std::string(case_info.param.name);
                         });

std::string MessageOf(void (*raise)(const std::string&), const std::string& value) {
    try {
        raise(value);
    } catch (const EVarioError& error) {
        return error.what();
    }
    return "no error";
}

TEST(BadValueMessages, QuoteTheFirstSixtyFourCharactersOfAHugeValue) {
    const std::string huge = std::string(64, '7') + std::string(1 << 20, 'z');
    const std::string quoted = "'" + std::string(64, '7') + kEllipsisText + "'";
    EXPECT_EQ(MessageOf([](const std::string& v) { ConvertInteger(v); }, huge),
              quoted + " is not a valid integer value");
    EXPECT_EQ(NotANumberMessage(huge), quoted + " is not a valid floating point value");
    // A short value is quoted whole, as before.
    EXPECT_EQ(MessageOf([](const std::string& v) { ConvertInteger(v); }, "abc"), "'abc' is not a valid integer value");
}

// UTF-16LE without its mark; each case turned into UTF-8 and back gives its bytes.
struct Utf16Case {
    const char* name;
    std::string utf16le;
    std::string utf8;
};

std::vector<Utf16Case> Utf16Cases() {
    using namespace std::string_literals;
    return {
        {"Ascii", "[\0W\0]\0\r\0\n\0"s, "[W]\r\n"},
        {"TwoByteUtf8", "\xE9\0"s, "\xC3\xA9"},
        {"ThreeByteUtf8", "\x26\x20"s, "\xE2\x80\xA6"},
        {"SurrogatePair", "\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80"},
        {"LoneHighSurrogate",
         "\x3D\xD8"
         "A\0"s,
         "\xED\xA0\xBD"
         "A"},
        {"LoneLowSurrogate", "\x00\xDE"s, "\xED\xB8\x80"},
        {"Nul", "\0\0"s, "\0"s},
    };
}

class Utf16RoundTrip : public testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16RoundTrip, GivesTheSameBytesBack) {
    EXPECT_EQ(Utf16LeToUtf8(GetParam().utf16le), GetParam().utf8);
    EXPECT_EQ(Utf8ToUtf16Le(GetParam().utf8), GetParam().utf16le);
}

INSTANTIATE_TEST_SUITE_P(Texts, Utf16RoundTrip, testing::ValuesIn(Utf16Cases()),
                         [](const testing::TestParamInfo<Utf16Case>& case_info) {
                             return std::string(case_info.param.name);
                         });

TEST(Utf16, OddLastByteIsLeftOutAndNonUtf8StaysInStep) {
    using namespace std::string_literals;
    EXPECT_EQ(Utf16LeToUtf8("A\0B"s), "A");
    // A stray byte becomes one U+FFFD unit, so the characters after it stay aligned.
    EXPECT_EQ(Utf8ToUtf16Le("\x80Z"s), "\xFD\xFFZ\0"s);
}

}  // namespace
