// Arbitrary bytes as an icon file: decoded or refused, never read out of bounds.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "gauge/icon_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<IconImage> icon = DecodeIconFile(std::span<const uint8_t>(data, size));
    if (icon && icon->rgba.size() != static_cast<size_t>(icon->width) * icon->height * 4) std::abort();
    return 0;
}
