// The request area shared with the SIMLINK add-on: its name, its limits, the records'
// layout, and the walk that hands read data back after the add-on's reply. Pure code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/little_endian.h"

namespace simlink {

inline constexpr char kIpcMessageName[] = "SimLinkLib:IPC";
inline constexpr char kAddOnWindowClass[] = "SIMLINKMAIN";
inline constexpr char kFallbackWindowClass[] = "SIMHOSTMAIN";

inline constexpr uint32_t kAreaSizeBytes = 0x8000;  // the mapping
inline constexpr uint32_t kAreaUsedBytes = 0x7F00;  // records and terminator stay within this
inline constexpr uint32_t kReadRecordId = 1;
inline constexpr uint32_t kWriteRecordId = 2;
inline constexpr uint32_t kReadHeaderBytes = 16;
inline constexpr uint32_t kWriteHeaderBytes = 12;
inline constexpr uint32_t kTerminatorBytes = 4;
// The most read records one batch can hold (each takes at least its header).
inline constexpr size_t kMaxReadRecords = (kAreaUsedBytes - kTerminatorBytes) / kReadHeaderBytes;

// "SimLinkLib:IPC:<pid in upper-case hex>:1", the same for every opening in a process.
std::string AreaName(uint32_t process_id);

// Whether a record of header + size bytes, queued after used_bytes, still leaves room
// for the terminator. Exact for every size up to 2^32-1.
bool RecordFits(size_t used_bytes, uint32_t header_bytes, uint32_t size_bytes);

using ::LoadLe32;
using ::StoreLe32;

// Where the data of one queued read record goes. The record's target field carries
// the entry's index + 1 (0: nowhere), so that 64-bit addresses never pass through it.
struct ReadTarget {
    void* destination;
    uint32_t size_bytes;
    uint32_t record_position;  // byte position of the record in the area
};

// Walks the records from the start of the area and copies each read record's data to
// its target. A record is delivered only when its header still names the entry the
// client queued at that position with that size, so a faulty add-on that rewrote
// headers cannot make the copy run past a destination. The walk stops at the
// terminator, at an unknown identifier, or at a record that would leave the used part
// of the area; it never reads outside `area[0, kAreaUsedBytes)`. Returns the number of
// destinations written.
size_t DeliverReadData(const uint8_t* area, const ReadTarget* targets, size_t target_count);

}  // namespace simlink
