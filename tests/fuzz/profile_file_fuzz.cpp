// Arbitrary bytes as a configuration file (plain or UTF-16LE with its mark): every key
// reads without fault, and the UTF-16 text comes back as the same bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "platform/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string even = bytes.substr(0, size & ~size_t{1});
    if (Utf8ToUtf16Le(Utf16LeToUtf8(even)) != even) std::abort();

    // In memory where the system has it: a file per input is what the reader takes.
    static const std::string path = "/dev/shm/vario-fuzz-profile-" + std::to_string(getpid()) + ".ini";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    static const char* const kKeys[] = {"X", "Y", "WIDTH", "HEIGHT", "USELAN"};
    const char* key = kKeys[size % 5];
    for (const char* section : {"WINDOW", "winsize", "LAN"})
        if (platform::ReadProfileText(section, key, "default", path).size() > platform::kProfileValueMax) std::abort();
    std::remove(path.c_str());
    return 0;
}
