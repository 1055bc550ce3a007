// The application icon, decoded once from "plane2.ico" and handed to the platform,
// which shows it for the program and its windows.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4 bytes, rows from the top
};

void SetApplicationIcon(const IconImage& icon);

}  // namespace platform
