// The process-wide settings read from the configuration file, the shell's flags,
// and the two operations that fill the settings from the file.
#pragma once

#include <cstdint>
#include <string>

#include "config/dial_scale.h"

struct SettingsRecord {
    bool UseNetwork = false;
    std::string ServerAddress;
    std::string ServerPort;
    int32_t WindowLeft = 0;  // whole window, frame included, screen pixels
    int32_t WindowTop = 0;
    int32_t WindowWidth = 400;
    int32_t WindowHeight = 400;
    bool Frameless = false;
    bool OffFlag = true;              // the dial shows "OFF" while the value cannot be read
    bool TopMost = false;             // the window stays above other windows
    bool FullScreen = false;          // borderless over the whole monitor; the saved geometry is kept
    int32_t RotateDeg = 0;            // the picture turned clockwise: 0, 90, 180 or 270
    int32_t MaxFramesPerSecond = 0;   // 0: as many as the loop can draw; never below 0
    double DampingSeconds = 0;        // time constant of the needle's lag; 0: none
    DialScale Dial;                   // the face the needle is placed on
    std::string DialImage;            // the user's own dial image; empty: the face's own
    bool AudioVario = false;          // the climb rate is sounded as well as shown
    bool AudioDeadBand = true;        // near zero the sound is silent
    int32_t AudioVolumePercent = 80;  // of full scale, 0 to 100: the default when the key is absent
};

// The longest lag DAMPING takes: beyond it the needle would hide the vertical speed.
inline constexpr double kMaxDampingSeconds = 60;

inline SettingsRecord Settings;

// Shell flags: at most one adjustment mode is on; Recreating holds while a window is built.
inline bool PositionMode = false;
inline bool SizeMode = false;
inline bool Recreating = true;

// Configuration sections, keys and defaults.
namespace config_keys {
inline constexpr const char* kLan = "LAN";
inline constexpr const char* kUseLan = "USELAN";
inline constexpr const char* kServer = "ORVEXSERVER";
inline constexpr const char* kPort = "ORVEXPORT";
inline constexpr const char* kWindow = "WINDOW";
inline constexpr const char* kX = "X";
inline constexpr const char* kY = "Y";
inline constexpr const char* kWinSize = "WINSIZE";
inline constexpr const char* kWidth = "WIDTH";
inline constexpr const char* kHeight = "HEIGHT";
inline constexpr const char* kWinBorder = "WINBORDER";
inline constexpr const char* kActive = "ACTIVE";
inline constexpr const char* kTopMost = "TOPMOST";
inline constexpr const char* kFullScreen = "FULLSCREEN";
inline constexpr const char* kRotate = "ROTATE";
inline constexpr const char* kGauge = "GAUGE";
inline constexpr const char* kOffFlag = "OFFFLAG";
inline constexpr const char* kMaxFps = "MAXFPS";
inline constexpr const char* kDamping = "DAMPING";
inline constexpr const char* kDial = "DIAL";
inline constexpr const char* kScale = "SCALE";
inline constexpr const char* kUnits = "UNITS";
inline constexpr const char* kDialImage = "DIALIMAGE";
inline constexpr const char* kAudio = "AUDIO";
inline constexpr const char* kVario = "VARIO";
inline constexpr const char* kDeadBand = "DEADBAND";
inline constexpr const char* kVolume = "VOLUME";
inline constexpr const char* kDefaultPosition = "0";
inline constexpr const char* kDefaultSize = "400";
inline constexpr const char* kDefaultActive = "Y";
}  // namespace config_keys

// Reads an integer key through the value rules (trim, then convert); raises on a bad value.
int32_t ReadConfigInteger(const char* section, const char* key, const char* default_value);

// Fills every field of Settings and creates ConfigFile from the working directory.
void ReadConfiguration();

// Re-reads X, Y, WIDTH and HEIGHT into Settings, storing each as soon as it converts.
void ReadWindowGeometry();
