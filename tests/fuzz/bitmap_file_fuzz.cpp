// Arbitrary bytes as a gauge image (device-independent bitmap): decoded or refused,
// never read out of bounds, and a decoded image holds exactly its 3-byte pixels.
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
    return 0;
}
