// Reader of device-independent bitmap files (the gauge's ".txr" images): width,
// height and 3-byte red-green-blue pixels, rows from the bottom of the picture up.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct GaugeImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3 bytes, bottom row first
};

// Enough of a bitmap file's start to hold its headers and colour masks.
inline constexpr size_t kBitmapHeadBytes = 14 + 1024 + 12;

// How many bytes of the file a bitmap needs, from its start (at least its headers);
// none when the headers are not those of a bitmap this reader takes, or ask for an
// absurd size. Never more than a 4096 by 4096 picture at 32 bits and its headers.
std::optional<uint64_t> BitmapFileExtent(std::span<const uint8_t> head);

// The image a bitmap file's bytes hold, or none when they are not a bitmap it reads.
std::optional<GaugeImage> DecodeBitmapFile(std::span<const uint8_t> bytes);

// The image of a file in the working directory; none for an empty name, a missing
// file or one that is not a readable bitmap.
std::optional<GaugeImage> LoadImageFile(const std::string& name);
