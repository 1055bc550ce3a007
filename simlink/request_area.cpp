// Request-area layout and the walk after the reply; pairs with request_area.h.
#include "simlink/request_area.h"

#include <cstdio>
#include <cstring>

namespace simlink {

std::string AreaName(uint32_t process_id) {
    char text[64];
    std::snprintf(text, sizeof text, "%s:%X:%X", kIpcMessageName, static_cast<unsigned>(process_id), 1u);
    return text;
}

bool RecordFits(size_t used_bytes, uint32_t header_bytes, uint32_t size_bytes) {
    uint64_t needed = uint64_t(used_bytes) + header_bytes + size_bytes + kTerminatorBytes;
    return needed <= kAreaUsedBytes;
}

size_t DeliverReadData(const uint8_t* area, const ReadTarget* targets, size_t target_count) {
    size_t delivered = 0;
    uint64_t position = 0;
    while (position < kAreaUsedBytes && area[position] != 0) {
        const uint8_t* record = area + position;
        if (position + kWriteHeaderBytes > kAreaUsedBytes) break;
        uint32_t identifier = LoadLe32(record);
        uint32_t size = LoadLe32(record + 8);
        uint64_t next;
        if (identifier == kReadRecordId) {
            if (position + kReadHeaderBytes > kAreaUsedBytes) break;
            next = position + kReadHeaderBytes + size;
            if (next > kAreaUsedBytes) break;
            uint32_t target = LoadLe32(record + 12);
            if (target != 0 && size != 0 && target <= target_count) {
                const ReadTarget& entry = targets[target - 1];
                if (entry.destination != nullptr && entry.record_position == position && entry.size_bytes == size) {
                    std::memcpy(entry.destination, record + kReadHeaderBytes, size);
                    ++delivered;
                }
            }
        } else if (identifier == kWriteRecordId) {
            next = position + kWriteHeaderBytes + size;
            if (next > kAreaUsedBytes) break;
        } else {
            break;  // not a record this client writes: the rest cannot be trusted
        }
        position = next;
    }
    return delivered;
}

}  // namespace simlink
