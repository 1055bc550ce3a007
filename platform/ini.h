// Private-profile (INI) file access with the Windows meaning: case-insensitive section
// and key names, a present empty key reads empty, a write adds key, section and file
// as needed and keeps every other line as it was.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Longest value a read hands back, as the program's 2048-byte buffer allows.
inline constexpr size_t kProfileValueMax = 2047;

// Largest profile file read or written; a larger one is taken for a damaged file.
inline constexpr size_t kProfileFileMaxBytes = size_t{4} << 20;

// The key's value, or `default_value` when the file, the section or the key is missing.
std::string ReadProfileText(std::string_view section, std::string_view key, std::string_view default_value,
                            const std::string& path);

// Sets the key's value; false when the file could not be written.
bool WriteProfileText(std::string_view section, std::string_view key, std::string_view value, const std::string& path);

}  // namespace platform
