// The development simulator's 65536-byte offset space and how it carries out a client's
// request area: records in order, the version words fixed, the vertical speed fed in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class SimulatorOffsets {
public:
    static constexpr uint32_t kSpaceBytes = 65536;
    static constexpr uint32_t kAddOnVersionOffset = 0x3304;
    static constexpr uint32_t kSimVersionOffset = 0x3308;
    static constexpr uint32_t kClientVersionOffset = 0x330A;
    static constexpr uint32_t kVerticalSpeedOffset = 0x0842;

    SimulatorOffsets(uint32_t add_on_version, uint32_t sim_version);

    void SetVerticalSpeed(int16_t metres_per_minute);

    struct Outcome {
        int reads = 0;
        int writes = 0;
        bool reads_vertical_speed = false;  // a read touched the vertical speed's two bytes
        bool well_formed = true;            // false: an unknown record or one past the area; carried out up to there
    };

    // Carries the records of a request area out in place, in order. Reads past the end
    // of the space give zeros and writes there are dropped; the version words stay as
    // they are (a write of the client's version at 0x330A is noted, not stored). Never
    // looks outside area[0, area_bytes). When `trace` is given it gets one line.
    Outcome CarryOut(uint8_t* area, size_t area_bytes, std::string* trace);

    // The last client version written at 0x330A, or -1 when none was.
    int32_t ClientVersion() const { return client_version_; }

private:
    void StoreVersions();
    std::array<uint8_t, kSpaceBytes> bytes_{};
    uint32_t add_on_version_;
    uint32_t sim_version_;
    int32_t client_version_ = -1;
};
