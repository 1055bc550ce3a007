// Modal message boxes. With ORVEX_DIALOGS=stderr every box is written to standard
// error and answered at once, for tests and headless runs.
#pragma once

#include <string_view>

namespace platform {

// Box flags, with the values of the Win32 MB_ constants.
inline constexpr unsigned kBoxOk = 0x0;
inline constexpr unsigned kBoxIconError = 0x10;
inline constexpr unsigned kBoxIconExclamation = 0x30;
inline constexpr unsigned kBoxIconInformation = 0x40;
inline constexpr unsigned kBoxTaskModal = 0x2000;

// Shows the box and returns the pressed button (IDOK, 1, for the boxes this program uses).
int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags);

// The platform's own modal box; ShowMessageBox decides when to use it.
int NativeMessageBox(std::string_view text, std::string_view caption, unsigned flags);

}  // namespace platform
