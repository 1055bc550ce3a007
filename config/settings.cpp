#include "config/settings.h"

#include "config/config_file.h"
#include "config/value_rules.h"
#include "platform/system.h"

using namespace config_keys;

int32_t ReadConfigInteger(const char* section, const char* key, const char* default_value) {
    return ConvertInteger(TrimValue(ConfigFile->ReadText(section, key, default_value)));
}

void ReadConfiguration() {
    Settings.ServerAddress.clear();
    Settings.ServerPort.clear();
    Settings.UseNetwork = false;

    ConfigFile.emplace(platform::JoinPath(platform::WorkingDirectory(), kConfigFileName));

    if (IsYesFlag(TrimValue(ConfigFile->ReadText(kLan, kUseLan, "")))) Settings.UseNetwork = true;

    std::string server = TrimValue(ConfigFile->ReadText(kLan, kServer, ""));
    if (server.empty()) Settings.UseNetwork = false;
    else Settings.ServerAddress = server;

    std::string port = TrimValue(ConfigFile->ReadText(kLan, kPort, ""));
    if (port.empty()) Settings.UseNetwork = false;
    else Settings.ServerPort = port;

    ReadWindowGeometry();

    Settings.Frameless = !IsYesFlag(TrimValue(ConfigFile->ReadText(kWinBorder, kActive, kDefaultActive)));
}

void ReadWindowGeometry() {
    Settings.WindowLeft = ReadConfigInteger(kWindow, kX, kDefaultPosition);
    Settings.WindowTop = ReadConfigInteger(kWindow, kY, kDefaultPosition);
    Settings.WindowWidth = ReadConfigInteger(kWinSize, kWidth, kDefaultSize);
    Settings.WindowHeight = ReadConfigInteger(kWinSize, kHeight, kDefaultSize);
}
