// Routes every message box either to the platform's modal box or, when the
// environment asks for it, to standard error.
#include "platform/dialogs.h"

#include <cstdio>
#include <string>

#include "platform/system.h"

namespace platform {

int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags) {
    if (EnvironmentValue("ORVEX_DIALOGS") == "stderr") {
        std::string line = "[" + std::string(caption) + "] " + std::string(text) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        return 1;  // IDOK
    }
    return NativeMessageBox(text, caption, flags);
}

}  // namespace platform
