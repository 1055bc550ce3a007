// Shared between the Win32 platform files only.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// The system's text for a Win32 error code, without the trailing line end.
std::string SystemErrorText(unsigned long code);

// The icon set by SetApplicationIcon, or null before start-up has set one.
HICON ApplicationIconHandle();

}  // namespace platform
