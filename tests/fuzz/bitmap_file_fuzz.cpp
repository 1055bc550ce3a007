// Arbitrary bytes as a gauge image (device-independent bitmap): decoded or refused,
// never read out of bounds, and a decoded image holds exactly its 3-byte pixels. What
// the headers say the file needs is all the loader reads: the image decodes the same
// from just those bytes.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "gauge/image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<GaugeImage> image = DecodeBitmapFile(std::span<const uint8_t>(data, size));
    if (image && (image->width <= 0 || image->height <= 0 ||
                  image->rgb.size() != static_cast<size_t>(image->width) * image->height * 3))
        std::abort();
    if (image) {
        std::optional<uint64_t> extent = BitmapFileExtent(std::span<const uint8_t>(data, size));
        if (!extent || *extent > size) std::abort();
        std::optional<GaugeImage> from_extent = DecodeBitmapFile(std::span<const uint8_t>(data, *extent));
        if (!from_extent || from_extent->rgb != image->rgb) std::abort();
    }
    return 0;
}
