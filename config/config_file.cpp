#include "config/config_file.h"

#include "common/error.h"
#include "common/text.h"
#include "platform/ini.h"

namespace {
constexpr const char* kUnableToWrite = "Unable to write to %s";
}

std::string ConfigFileAccessor::ReadText(std::string_view section, std::string_view key,
                                         std::string_view default_value) const {
    return platform::ReadProfileText(section, key, default_value, path_);
}

void ConfigFileAccessor::WriteText(std::string_view section, std::string_view key, std::string_view value) const {
    if (!platform::WriteProfileText(section, key, value, path_))
        throw EVarioError(FormatText(kUnableToWrite, {path_}));
}
