// The modal message box on Windows.
#include <windows.h>

#include <string>

#include "platform/dialogs.h"

namespace platform {

int NativeMessageBox(std::string_view text, std::string_view caption, unsigned flags) {
    return MessageBoxA(nullptr, std::string(text).c_str(), std::string(caption).c_str(), flags);
}

}  // namespace platform
