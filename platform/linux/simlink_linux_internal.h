// Shared by the two Linux halves of the simulator link (client and add-on side): where
// the rendezvous sockets live, the registered message numbers, and the packets that
// stand for a sent message and its reply.
#pragma once

#include <cstdint>
#include <string>

namespace platform::simlink_linux {

// SIMLINK_RUNTIME_DIR when set (tests give each run its own), else XDG_RUNTIME_DIR,
// else /tmp/simlink-<uid>.
std::string RuntimeDirectory();

// The socket that stands for a window of the class.
std::string RendezvousPath(const std::string& class_name);

// The same number for the same name in every process, in the range 0xC000-0xFFFF
// that registered window messages use.
uint32_t RegisteredMessageNumber(const std::string& name);

// POSIX shared-memory name of a named block; empty when the name cannot be one.
std::string SharedMemoryName(const std::string& name);

inline constexpr size_t kMaxAtomNameBytes = 255;

// One sent message: the fixed part, then the atom's name (when wparam is an atom).
struct MessagePacket {
    uint32_t sequence;
    uint32_t message;
    uint64_t wparam;
    int64_t lparam;
    uint32_t name_bytes;
    uint32_t reserved;
};
struct ReplyPacket {
    uint32_t sequence;
    uint32_t reserved;
    int64_t reply;
};

}  // namespace platform::simlink_linux
