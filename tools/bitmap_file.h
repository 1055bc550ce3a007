// The gauge's image file format written: a 24-bit device-independent bitmap, rows from
// the bottom up. And a file written whole or not at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The bitmap file of a picture given as 32-bit pixels, top row first, each pixel's
// bytes blue, green, red, unused; `stride` bytes from one row to the next.
std::vector<uint8_t> BitmapFileBytes(const uint8_t* pixels, int width, int height, int stride);

// Writes the bytes to a file beside `path`, then renames it to `path`, so that `path`
// is never a half file. An error message, or empty when done.
std::string WriteFileWhole(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
