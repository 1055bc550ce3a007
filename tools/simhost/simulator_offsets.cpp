// Carrying out request areas on the development simulator's offset space.
#include "tools/simhost/simulator_offsets.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/little_endian.h"

namespace {

std::string HexBytes(const uint8_t* p, uint32_t size) {
    std::string text;
    char byte[4];
    for (uint32_t i = 0; i < size && i < 8; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", p[i]);
        text += byte;
    }
    if (size > 8) text += " ...";
    return text;
}

}  // namespace

SimulatorOffsets::SimulatorOffsets(uint32_t add_on_version, uint32_t sim_version)
    : add_on_version_(add_on_version), sim_version_(sim_version) {
    StoreVersions();
}

void SimulatorOffsets::StoreVersions() {
    StoreLe32(&bytes_[kAddOnVersionOffset], add_on_version_);
    StoreLe32(&bytes_[kSimVersionOffset], sim_version_);
}

void SimulatorOffsets::SetVerticalSpeed(int16_t metres_per_minute) {
    uint16_t word = static_cast<uint16_t>(metres_per_minute);
    bytes_[kVerticalSpeedOffset] = uint8_t(word);
    bytes_[kVerticalSpeedOffset + 1] = uint8_t(word >> 8);
}

SimulatorOffsets::Outcome SimulatorOffsets::CarryOut(uint8_t* area, size_t area_bytes, std::string* trace) {
    Outcome outcome;
    char line[96];
    size_t position = 0;
    while (position < area_bytes && area[position] != 0) {
        if (area_bytes - position < 12) {
            outcome.well_formed = false;
            break;
        }
        uint8_t* record = area + position;
        uint32_t identifier = LoadLe32(record), offset = LoadLe32(record + 4), size = LoadLe32(record + 8);
        size_t header = identifier == 1 ? 16 : 12;
        if ((identifier != 1 && identifier != 2) || area_bytes - position < header ||
            area_bytes - position - header < size) {
            outcome.well_formed = false;
            break;
        }
        uint8_t* data = record + header;
        // The part of [offset, offset + size) that lies inside the space.
        uint32_t inside = offset < kSpaceBytes ? std::min<uint32_t>(size, kSpaceBytes - offset) : 0;
        if (identifier == 1) {
            if (inside) std::memcpy(data, &bytes_[offset], inside);
            std::memset(data + inside, 0, size - inside);
            ++outcome.reads;
            if (size != 0 && offset < kVerticalSpeedOffset + 2 && uint64_t{offset} + size > kVerticalSpeedOffset)
                outcome.reads_vertical_speed = true;
            std::snprintf(line, sizeof line, " R %04X+%u", offset, size);
            if (trace) *trace += line;
        } else {
            if (inside) std::memcpy(&bytes_[offset], data, inside);
            if (offset <= kClientVersionOffset && uint64_t(offset) + size >= kClientVersionOffset + 2) {
                const uint8_t* version = data + (kClientVersionOffset - offset);
                client_version_ = version[0] | version[1] << 8;
            }
            StoreVersions();
            ++outcome.writes;
            std::snprintf(line, sizeof line, " W %04X+%u", offset, size);
            if (trace) *trace += line + ("[" + HexBytes(data, size) + "]");
        }
        position += header + size;
    }
    return outcome;
}
