// The tools' option reading: integers are whole numbers in range, durations are bounded,
// and anything else is a message naming the option.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/common/tool_options.h"

namespace {

TEST(ToolOptions, WholeNumbers) {
    struct Case {
        const char* text;
        int64_t low, high;
        std::optional<int64_t> expected;
    } cases[] = {
        {"8000", 0, 65535, 8000},
        {"0", 0, 65535, 0},
        {"65535", 0, 65535, 65535},
        {"0x1F40", 0, 65535, 8000},
        {"0XfFfF", 0, 65535, 65535},
        {"-5", -10, 10, -5},
        {"-0x10", -100, 100, -16},
        {"010", 0, 100, 10},  // decimal, never octal
        {"4294967295", 0, UINT32_MAX, 4294967295},
        {"-9223372036854775808", INT64_MIN, INT64_MAX, INT64_MIN},
        {"9223372036854775807", INT64_MIN, INT64_MAX, INT64_MAX},
        {"65536", 0, 65535, std::nullopt},
        {"-1", 0, 65535, std::nullopt},
        {"8e3", 0, 65535, std::nullopt},
        {"1.0", 0, 65535, std::nullopt},
        {"1,5", 0, 65535, std::nullopt},
        {" 5", 0, 65535, std::nullopt},
        {"5 ", 0, 65535, std::nullopt},
        {"+5", 0, 65535, std::nullopt},
        {"--5", -10, 10, std::nullopt},
        {"-", -10, 10, std::nullopt},
        {"", 0, 65535, std::nullopt},
        {"0x", 0, 65535, std::nullopt},
        {"0x-5", -10, 10, std::nullopt},
        {"inf", 0, 65535, std::nullopt},
        {"9223372036854775808", INT64_MIN, INT64_MAX, std::nullopt},
        {"99999999999999999999999", INT64_MIN, INT64_MAX, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseWholeNumber(c.text, c.low, c.high), c.expected) << "'" << c.text << "'";
}

TEST(ToolOptions, DecimalNumbers) {
    struct Case {
        const char* text;
        std::optional<double> expected;
    } cases[] = {
        {"1.5", 1.5},
        {"-157", -157},
        {"2e2", 200},
        {"0", 0},
        {"inf", std::nullopt},
        {"nan", std::nullopt},
        {"1e999", std::nullopt},
        {"", std::nullopt},
        {" 1", std::nullopt},
        {"1,5", std::nullopt},
        {"+1", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDecimalNumber(c.text), c.expected) << "'" << c.text << "'";
}

// Reads the words with one reader as a tool does; the message of the first error.
struct Reading {
    std::vector<std::string> words;
    std::vector<char*> argv;
    explicit Reading(std::vector<std::string> w) : words(std::move(w)) {
        argv.push_back(const_cast<char*>("tool"));
        for (auto& word : words) argv.push_back(word.data());
    }
    OptionReader Reader() { return OptionReader(static_cast<int>(argv.size()), argv.data()); }
};

TEST(ToolOptions, ReaderTakesValuesAndNamesTheOptionInItsMessages) {
    Reading reading({"--port", "8000", "--late", "0.25", "--flag", "--listen-delay", "3600"});
    OptionReader reader = reading.Reader();
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Name(), "--port");
    EXPECT_EQ(reader.WholeNumber(0, 65535), 8000);
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Seconds(3600), 0.25);
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Name(), "--flag");
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Seconds(3600), 3600);
    EXPECT_FALSE(reader.Next());

    struct Case {
        std::vector<std::string> words;
        const char* message;
    } bad[] = {
        {{"--port", "8e3"}, "--port needs a whole number from 0 to 65535, not '8e3'"},
        {{"--port"}, "--port needs a value"},
        {{"--late", "inf"}, "--late needs seconds from 0 to 3600, not 'inf'"},
        {{"--late", "-1"}, "--late needs seconds from 0 to 3600, not '-1'"},
        {{"--listen-delay", "1e10"}, "--listen-delay needs seconds from 0 to 3600, not '1e10'"},
        {{"--value", "x"}, "--value needs a number, not 'x'"},
    };
    for (Case& c : bad) {
        Reading one(c.words);
        OptionReader options = one.Reader();
        ASSERT_TRUE(options.Next());
        try {
            if (options.Name() == "--port") options.WholeNumber(0, 65535);
            else if (options.Name() == "--value") options.DecimalNumber();
            else options.Seconds(3600);
            ADD_FAILURE() << "no error for " << c.words[0];
        } catch (const EVarioError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

}  // namespace
