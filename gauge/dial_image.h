// The dial image each face is drawn on, and the file the gauge loads for the configured
// face: the user's DIALIMAGE, else the image of the face's scale.
#pragma once

#include <string>

#include "config/settings.h"

// The images of the built-in faces in the working directory; the original face keeps
// "vario.txr".
inline constexpr const char* kFpm2000DialImage = "vario_fpm2000.txr";
inline constexpr const char* kMs5DialImage = "vario_ms5.txr";
inline constexpr const char* kKt10DialImage = "vario_kt10.txr";

// The dial image file of the settings: DIALIMAGE when given; the original face's image
// for it; otherwise the linear built-in face of the dial's unit, so that a SCALE without
// an image of its own shows the numbers of that unit.
std::string DialImageFile(const SettingsRecord& settings);
