// Reader of Windows icon files (.ico): picks the largest image and decodes it to RGBA.
// Used for the application icon at start-up and the window class icon on each creation.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/app_icon.h"

inline constexpr const char* kIconFileName = "plane2.ico";

using IconImage = platform::IconImage;

// The best image of an icon file's bytes, or none when they are not a valid icon.
std::optional<IconImage> DecodeIconFile(std::span<const uint8_t> bytes);

// Reads and decodes an icon file. Raises "Cannot open file "%s". %s" when the file
// cannot be read and "Icon image is not valid" when it is not an icon.
IconImage LoadIconFile(const std::string& path);

// Loads "plane2.ico" from the working directory and makes it the application icon.
void LoadApplicationIcon();
