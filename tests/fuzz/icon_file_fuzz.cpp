// Arbitrary bytes as an icon file: decoded or refused, never read out of bounds; and
// what the directory says the file needs is enough, as the loader reads no more.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "gauge/icon_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    std::optional<IconImage> icon = DecodeIconFile(bytes);
    if (icon && icon->rgba.size() != static_cast<size_t>(icon->width) * icon->height * 4) std::abort();
    // The loader's reads: the directory's header, the directory, then its images.
    uint64_t read = 6;
    for (int pass = 0; pass < 3; ++pass) {
        std::optional<uint64_t> extent = IconFileExtent(bytes.first(std::min<uint64_t>(read, size)));
        if (!extent || *extent <= read || read > size) break;
        read = *extent;
    }
    std::optional<IconImage> from_read = DecodeIconFile(bytes.first(std::min<uint64_t>(read, size)));
    if (icon.has_value() != from_read.has_value() || (icon && icon->rgba != from_read->rgba)) std::abort();
    return 0;
}
