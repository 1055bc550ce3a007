// Small text helpers shared by all subsystems.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Fills each "%s" (or "%p", an address already in text) of the pattern with the next
// argument, in order.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

// Upper-cases ASCII letters only, as the Windows profile API compares names.
std::string AsciiUpper(std::string_view text);

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
