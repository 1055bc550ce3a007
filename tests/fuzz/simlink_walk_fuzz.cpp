// Whatever an add-on leaves in the request area, the client's walk after the reply ends,
// stays inside the used part of the area and writes each destination only within its
// size; the development simulator's walk over a client's area stays inside it too.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "simlink/request_area.h"
#include "tools/simhost/simulator_offsets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the used part, so that any read past it is caught.
    std::unique_ptr<uint8_t[]> area(new uint8_t[simlink::kAreaUsedBytes]());
    std::memcpy(area.get(), data, std::min<size_t>(size, simlink::kAreaUsedBytes));

    // A few destinations as the client would have queued them, described by the input's
    // first bytes, each exactly as large as its record's size.
    constexpr size_t kTargets = 8;
    std::vector<std::vector<uint8_t>> buffers(kTargets);
    simlink::ReadTarget targets[kTargets];
    for (size_t i = 0; i < kTargets; ++i) {
        uint32_t position = 0, bytes = 0;
        if (size >= 4 * (i + 1)) {
            position = uint32_t(data[4 * i] | data[4 * i + 1] << 8) % simlink::kAreaUsedBytes;
            bytes = uint32_t(data[4 * i + 2] | data[4 * i + 3] << 8) % 64;
        }
        buffers[i].resize(bytes);
        targets[i] = {bytes ? buffers[i].data() : nullptr, bytes, position};
    }
    simlink::DeliverReadData(area.get(), targets, kTargets);

    // The simulator's side over an area of exactly the input's size.
    std::unique_ptr<uint8_t[]> client_area(new uint8_t[size + 1]);
    std::memcpy(client_area.get(), data, size);
    static SimulatorOffsets offsets(0x19980005, 0xFADE000B);
    offsets.CarryOut(client_area.get(), size, nullptr);
    return 0;
}
