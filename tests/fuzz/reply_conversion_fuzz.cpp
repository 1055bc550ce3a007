// Any received block gives a reply text within its bytes, and that text either
// converts to a finite number or is told with the floating-point conversion message.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "common/text.h"
#include "net/remote_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the decimal separator; the rest is the block, in a buffer of
    // exactly its size as the socket hands it over.
    char separator = (data[0] & 1) ? ',' : '.';
    size_t count = size - 1;
    std::unique_ptr<uint8_t[]> block(new uint8_t[count == 0 ? 1 : count]);
    if (count > 0) std::memcpy(block.get(), data + 1, count);
    std::string text = ReplyText(block.get(), static_cast<int32_t>(count));
    if (text.size() > count || text.find('\0') != std::string::npos) std::abort();
    std::optional<double> value = ReplyNumber(text, separator);
    if (value) {
        if (!std::isfinite(*value)) std::abort();
        for (char c : text)
            if (!(c == ' ' || c == '+' || c == '-' || c == 'e' || c == 'E' || c == separator || (c >= '0' && c <= '9')))
                std::abort();
    } else if (NotANumberMessage(text) != "'" + QuotedValue(text) + "' is not a valid floating point value") {
        std::abort();
    }
    return 0;
}
