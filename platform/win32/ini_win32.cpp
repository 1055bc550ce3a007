// Private-profile files on Windows: the platform's own profile API.
#include <windows.h>

#include <string>

#include "platform/ini.h"

namespace platform {

std::string ReadProfileText(std::string_view section, std::string_view key, std::string_view default_value,
                            const std::string& path) {
    char buffer[kProfileValueMax + 1];
    DWORD length = GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                            std::string(default_value).c_str(), buffer, sizeof buffer, path.c_str());
    return std::string(buffer, length);
}

bool WriteProfileText(std::string_view section, std::string_view key, std::string_view value, const std::string& path) {
    // The profile API writes through a read-only attribute under some emulations; a
    // read-only file must stay as it is, so refuse it here as Windows itself does.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    return WritePrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                      std::string(value).c_str(), path.c_str()) != 0;
}

}  // namespace platform
