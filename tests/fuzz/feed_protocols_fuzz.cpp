// Whatever a simulator sends, the feeds' readers stay within the bytes, keep at most one
// short line, and give only finite numbers; an RREF answer gives a value only when its
// length is a whole number of pairs; a glider simulator's datagram gives only a climb
// within 100 m/s either way, and only for a line of the name asked.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "tools/common/feed_protocols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the bytes, in a buffer of their size, so that a read past them is caught.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size == 0 ? 1 : size]);
    for (size_t i = 0; i < size; ++i) bytes[i] = data[i];

    if (auto value = RrefValueOf(bytes.get(), size, 1)) {
        if (!std::isfinite(*value) || size < 13 || (size - 5) % 8 != 0) std::abort();
    }
    ParseRrefRequest(bytes.get(), size);

    std::string_view text(reinterpret_cast<const char*>(bytes.get()), size);
    for (const char* name : {"evario", "vario", "nettovario", "integrator"}) {
        if (auto climb = CondorValueOf(text, name)) {
            if (!std::isfinite(*climb) || std::fabs(*climb) > kMaxGliderClimbMps ||
                text.find(std::string(name) + "=") == std::string_view::npos)
                std::abort();
        }
    }

    PropertyLineReader reader;
    // Fed in two parts split where the first byte says, as arrivals may be cut anywhere.
    size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    auto check = [](const PropertyAnswer& answer) {
        if (answer.kind == PropertyAnswer::Kind::Number && !std::isfinite(answer.value)) std::abort();
    };
    reader.Append(reinterpret_cast<const char*>(bytes.get()), cut, check);
    reader.Append(reinterpret_cast<const char*>(bytes.get()) + cut, size - cut, check);
    return 0;
}
