// The application's icon, an aircraft from above on a dark blue disc, drawn with cairo
// for the image generator (make_gauge_images.cpp): the Windows icon file "plane2.ico"
// and the PNG set of the desktop's hicolor icon theme for the Linux package.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

// The bytes of an icon file with the 16, 32 and 48 pixel images, 32-bit with alpha.
std::vector<uint8_t> IconFileBytes();

// Writes THEME_DIR/hicolor/NxN/apps/NAME.png for every size from 16 to 256 pixels;
// false when one cannot be written.
bool WriteThemeIcons(const std::filesystem::path& theme_dir, const char* name);
