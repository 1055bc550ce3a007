// The accessor of the configuration file "ORVEXVari.INI", whose full path is fixed
// once at start-up. Every Part reads and writes the file through it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kConfigFileName = "ORVEXVari.INI";

class ConfigFileAccessor {
public:
    explicit ConfigFileAccessor(std::string full_path) : path_(std::move(full_path)) {}

    const std::string& Path() const { return path_; }

    // The value as stored, or the default when the file, section or key is missing.
    std::string ReadText(std::string_view section, std::string_view key, std::string_view default_value) const;

    // Sets the value, adding key, section and file as needed.
    // Raises "Unable to write to %s" with the full path when the file cannot be written.
    void WriteText(std::string_view section, std::string_view key, std::string_view value) const;

private:
    std::string path_;
};

// The process-wide accessor; made by ReadConfiguration.
inline std::optional<ConfigFileAccessor> ConfigFile;
