// The modal message box on Windows.
#include <windows.h>

#include <string>

#include "common/text.h"
#include "platform/dialogs.h"

namespace platform {

namespace {

// The ellipsis in the ANSI code page that MessageBoxA reads ("\x85" in Windows-1252),
// or three full stops where the code page has none.
std::string AnsiEllipsis() {
    char bytes[8] = {};
    BOOL defaulted = FALSE;
    int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, L"\u2026", 1, bytes, sizeof bytes, nullptr, &defaulted);
    if (length <= 0 || defaulted) return "...";
    return std::string(bytes, static_cast<size_t>(length));
}

}  // namespace

int NativeMessageBox(std::string_view text, std::string_view caption, unsigned flags) {
    // Messages are in the ANSI code page, but for the ellipsis of a cut value, which
    // the portable code writes in UTF-8.
    std::string shown(text);
    for (size_t at = shown.find(kEllipsis); at != std::string::npos; at = shown.find(kEllipsis, at + 1))
        shown.replace(at, kEllipsis.size(), AnsiEllipsis());
    return MessageBoxA(nullptr, shown.c_str(), std::string(caption).c_str(), flags);
}

}  // namespace platform
