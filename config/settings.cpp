#include "config/settings.h"

#include "common/error.h"
#include "common/text.h"
#include "config/config_file.h"
#include "config/dial_choice.h"
#include "config/value_rules.h"
#include "platform/system.h"

using namespace config_keys;

namespace {
constexpr const char* kMaxFpsOutOfRange = "'%s' is not a valid MAXFPS value (0 or more frames per second)";
constexpr const char* kRotateOutOfRange = "'%s' is not a valid ROTATE value (0, 90, 180 or 270 degrees clockwise)";
constexpr const char* kDampingOutOfRange = "'%s' is not a valid DAMPING value (0 to 60 seconds)";
constexpr const char* kVolumeOutOfRange = "'%s' is not a valid VOLUME value (0 to 100 per cent)";

// A value that converted but lies outside its key's range, quoted as it stands in the file.
[[noreturn]] void RaiseOutOfRange(const char* message, const std::string& text) {
    throw EVarioError(FormatText(message, {QuotedValue(text)}));
}

// The [AUDIO] keys: off unless VARIO is exactly Y; VOLUME within 0 to 100.
void ReadAudioSettings() {
    Settings.AudioVario = IsYesFlag(TrimValue(ConfigFile->ReadText(kAudio, kVario, "")));
    Settings.AudioDeadBand = !IsNoFlag(TrimValue(ConfigFile->ReadText(kAudio, kDeadBand, "")));
    std::string volume = TrimValue(ConfigFile->ReadText(kAudio, kVolume, ""));
    Settings.AudioVolumePercent = volume.empty() ? SettingsRecord{}.AudioVolumePercent : ConvertInteger(volume);
    if (Settings.AudioVolumePercent < 0 || Settings.AudioVolumePercent > 100)
        RaiseOutOfRange(kVolumeOutOfRange, volume);
}
}  // namespace

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

    Settings.OffFlag = !IsNoFlag(TrimValue(ConfigFile->ReadText(kGauge, kOffFlag, "")));
    // The cockpit keys: absent or empty means off, so a file without them gives the
    // gauge as it always was; a value that is there must be a good one.
    Settings.TopMost = IsYesFlag(TrimValue(ConfigFile->ReadText(kWindow, kTopMost, "")));
    Settings.FullScreen = IsYesFlag(TrimValue(ConfigFile->ReadText(kWindow, kFullScreen, "")));
    std::string rotate = TrimValue(ConfigFile->ReadText(kWindow, kRotate, ""));
    Settings.RotateDeg = rotate.empty() ? 0 : ConvertInteger(rotate);
    if (Settings.RotateDeg % 90 != 0 || Settings.RotateDeg < 0 || Settings.RotateDeg > 270)
        RaiseOutOfRange(kRotateOutOfRange, rotate);
    std::string max_fps = TrimValue(ConfigFile->ReadText(kGauge, kMaxFps, ""));
    Settings.MaxFramesPerSecond = max_fps.empty() ? 0 : ConvertInteger(max_fps);
    if (Settings.MaxFramesPerSecond < 0) RaiseOutOfRange(kMaxFpsOutOfRange, max_fps);
    std::string damping = TrimValue(ConfigFile->ReadText(kGauge, kDamping, ""));
    Settings.DampingSeconds = damping.empty() ? 0 : ConvertDecimal(damping);
    if (Settings.DampingSeconds > kMaxDampingSeconds) RaiseOutOfRange(kDampingOutOfRange, damping);
    // The face: absent or empty keys give the original one and its image.
    Settings.Dial = ChooseDial(TrimValue(ConfigFile->ReadText(kGauge, kDial, "")),
                               TrimValue(ConfigFile->ReadText(kGauge, kScale, "")),
                               TrimValue(ConfigFile->ReadText(kGauge, kUnits, "")));
    Settings.DialImage = TrimValue(ConfigFile->ReadText(kGauge, kDialImage, ""));
    CheckDialImageName(Settings.DialImage);
    ReadAudioSettings();
}

void ReadWindowGeometry() {
    Settings.WindowLeft = ReadConfigInteger(kWindow, kX, kDefaultPosition);
    Settings.WindowTop = ReadConfigInteger(kWindow, kY, kDefaultPosition);
    Settings.WindowWidth = ReadConfigInteger(kWinSize, kWidth, kDefaultSize);
    Settings.WindowHeight = ReadConfigInteger(kWinSize, kHeight, kDefaultSize);
}
