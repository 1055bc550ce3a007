// The value rules of the configuration file: trimming, the "Y" flag, integers, decimals.
#include <gtest/gtest.h>

#include <optional>

#include "common/error.h"
#include "config/value_rules.h"

namespace {

TEST(ValueRules, TrimDropsBlanksAndControlCharactersOnBothSides) {
    EXPECT_EQ(TrimValue("  120  "), "120");
    EXPECT_EQ(TrimValue("\t\r\n\x01 Y \x1f\x7f"), "Y \x1f\x7f");  // 127 is above 32 and stays
    EXPECT_EQ(TrimValue(std::string("\0a\0", 3)), "a");
    EXPECT_EQ(TrimValue(" \t "), "");
    EXPECT_EQ(TrimValue("a b"), "a b");
}

TEST(ValueRules, OnlyExactUpperCaseYIsYes) {
    EXPECT_TRUE(IsYesFlag("Y"));
    for (const char* no : {"y", "Yes", "YES", "N", "", " Y"}) EXPECT_FALSE(IsYesFlag(no)) << "'" << no << "'";
}

struct IntegerCase {
    const char* text;
    std::optional<int32_t> value;  // none: the conversion error
};

class IntegerConversion : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerConversion, FollowsTheIntegerRule) {
    const IntegerCase& c = GetParam();
    if (c.value) {
        EXPECT_EQ(ConvertInteger(c.text), *c.value) << "'" << c.text << "'";
    } else {
        try {
            ConvertInteger(c.text);
            ADD_FAILURE() << "'" << c.text << "' converted";
        } catch (const EVarioError& error) {
            EXPECT_EQ(std::string(error.what()), "'" + std::string(c.text) + "' is not a valid integer value");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, IntegerConversion,
    testing::Values(IntegerCase{"0", 0}, IntegerCase{"120", 120}, IntegerCase{"-5", -5}, IntegerCase{"+7", 7},
                    IntegerCase{"007", 7}, IntegerCase{"2147483647", 2147483647}, IntegerCase{"-2147483648", INT32_MIN},
                    IntegerCase{"2147483648", std::nullopt}, IntegerCase{"-2147483649", std::nullopt},
                    IntegerCase{"99999999999999999999", std::nullopt}, IntegerCase{"$10", 16}, IntegerCase{"x1F", 31},
                    IntegerCase{"X1f", 31}, IntegerCase{"0x10", 16}, IntegerCase{"0XfF", 255}, IntegerCase{"-$10", -16},
                    IntegerCase{"$FFFFFFFF", -1}, IntegerCase{"0x80000000", INT32_MIN}, IntegerCase{"$000000010", 16},
                    IntegerCase{"$100000000", std::nullopt}, IntegerCase{"0x", std::nullopt},
                    IntegerCase{"$", std::nullopt}, IntegerCase{"$G", std::nullopt}, IntegerCase{"", std::nullopt},
                    IntegerCase{"-", std::nullopt}, IntegerCase{"+", std::nullopt}, IntegerCase{"abc", std::nullopt},
                    IntegerCase{"12a", std::nullopt}, IntegerCase{"12 ", std::nullopt},
                    IntegerCase{" 12", std::nullopt}, IntegerCase{"1.5", std::nullopt},
                    IntegerCase{"--1", std::nullopt}, IntegerCase{"0x-1", std::nullopt},
                    IntegerCase{"1e3", std::nullopt}));

TEST(ValueRules, IntegersAreWrittenAsPlainDecimal) {
    EXPECT_EQ(IntegerText(0), "0");
    EXPECT_EQ(IntegerText(-1), "-1");
    EXPECT_EQ(IntegerText(INT32_MIN), "-2147483648");
    EXPECT_EQ(ConvertInteger(IntegerText(-123456)), -123456);
}

TEST(ValueRules, DecimalsTakeAPointAndNothingElse) {
    const std::pair<const char*, double> good[] = {
        {"2", 2.0},
        {"0.5", 0.5},
        {".25", 0.25},
        {"3.", 3.0},
        {"007.50", 7.5},
        {"0", 0.0},
        {"1.000000000001", 1.000000000001},
    };
    for (const auto& [text, value] : good) EXPECT_DOUBLE_EQ(ConvertDecimal(text), value) << "'" << text << "'";
    for (const char* text : {"", ".", "0,5", "-1", "+1", "1e3", "1.2.3", "1 .5", "inf", "nan", "0x1p3", "1.5s"}) {
        try {
            ConvertDecimal(text);
            ADD_FAILURE() << "'" << text << "' converted";
        } catch (const EVarioError& error) {
            EXPECT_EQ(std::string(error.what()), "'" + std::string(text) + "' is not a valid decimal value");
        }
    }
}

}  // namespace
