// The configuration file's accessor: the profile file at the fixed path, refused
// before it is read when it is not a file the program can have written.
#include "config/config_file.h"

#include "common/error.h"
#include "common/text.h"
#include "platform/ini.h"
#include "platform/system.h"

namespace {
constexpr const char* kUnableToWrite = "Unable to write to %s";
constexpr const char* kUnableToRead = "Unable to read %s. %s";
constexpr const char* kTooLarge = "The file is larger than 4 MB";
static_assert(platform::kProfileFileMaxBytes == 4 << 20, "the message names the limit");

// Why the file at the path is no configuration file to read, or empty when it may be
// read (also when it is missing: the defaults then hold).
std::string RefusalOf(const std::string& path) {
    uint64_t size_bytes = 0;
    switch (platform::InspectFile(path, size_bytes)) {
        case platform::FileKind::kMissing: return {};
        case platform::FileKind::kOther: return platform::kNotARegularFile;
        case platform::FileKind::kRegular: return size_bytes > platform::kProfileFileMaxBytes ? kTooLarge : "";
    }
    return {};
}
}  // namespace

std::string ConfigFileAccessor::ReadText(std::string_view section, std::string_view key,
                                         std::string_view default_value) const {
    std::string refusal = RefusalOf(path_);
    if (!refusal.empty()) throw EVarioError(FormatText(kUnableToRead, {path_, refusal}));
    return platform::ReadProfileText(section, key, default_value, path_);
}

void ConfigFileAccessor::WriteText(std::string_view section, std::string_view key, std::string_view value) const {
    if (!RefusalOf(path_).empty() || !platform::WriteProfileText(section, key, value, path_))
        throw EVarioError(FormatText(kUnableToWrite, {path_}));
}
