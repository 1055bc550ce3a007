// Any text either converts to the integer that reads back the same, or raises the
// conversion error; nothing else may happen.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/error.h"
#include "common/text.h"
#include "config/value_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    try {
        int32_t value = ConvertInteger(text);
        if (ConvertInteger(IntegerText(value)) != value) std::abort();
    } catch (const EVarioError& error) {
        // what() ends at the first NUL of the text, as any C string would.
        std::string expected = "'" + QuotedValue(text) + "' is not a valid integer value";
        if (std::string(error.what()) != expected.c_str()) std::abort();
    }
    return 0;
}
