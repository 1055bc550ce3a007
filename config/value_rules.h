// How configuration values become settings: trimming, the "Y" flag, integers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Drops every leading and trailing character whose code is 32 or below.
std::string TrimValue(std::string_view value);

// True only for exactly "Y" (by character code; "y" and "Yes" are no).
bool IsYesFlag(std::string_view trimmed_value);

// The whole text as one signed 32-bit integer: optional sign, then decimal digits, or
// "$", "x", "X", "0x", "0X" and hexadecimal digits taken as a 32-bit pattern.
// Raises "'%s' is not a valid integer value" for anything else.
int32_t ConvertInteger(std::string_view text);

// Decimal text with a leading "-" when negative, as integers are written back.
std::string IntegerText(int32_t value);
