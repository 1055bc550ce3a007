// Small text helpers shared by all subsystems.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// Fills each "%s" (or "%p", an address already in text) of the pattern with the next
// argument, in order.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

// Upper-cases ASCII letters only, as the Windows profile API compares names.
std::string AsciiUpper(std::string_view text);

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Longest part of a bad value that a message quotes, in characters.
inline constexpr size_t kQuotedValueMaxChars = 64;
// U+2026, in UTF-8; the Windows message box shows it in the code page's own form.
inline constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

// A value as a message quotes it: whole when short, else its first 64 characters and
// "…". A UTF-8 sequence counts as one character and is never split.
std::string QuotedValue(std::string_view value);

// UTF-16LE bytes (no byte-order mark) as UTF-8, and back. Unpaired surrogates are kept
// as three-byte sequences of their own, so that any even number of bytes turned into
// UTF-8 and back gives the same bytes; an odd last byte is left out. Bytes that are
// not UTF-8 become U+FFFD on the way back.
std::string Utf16LeToUtf8(std::string_view utf16le);
std::string Utf8ToUtf16Le(std::string_view utf8);
