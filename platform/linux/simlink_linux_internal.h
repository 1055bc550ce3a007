// Shared by the two Linux halves of the simulator link (client and add-on side): where
// the rendezvous sockets live and who may own that place, the registered message
// numbers, and the packets that stand for a sent message and its reply.
#pragma once

#include <fcntl.h>

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

// The runtime directory may hold the add-on's sockets only when it is this user's
// alone: a real directory (not a symlink), owned by the user, mode 0700. Otherwise
// another local user could stand in for the add-on. False with the reason.
bool RuntimeDirectoryIsPrivate(const std::string& dir, std::string& reason);

// Every step of a message (rendezvous connect, send, reply) ends within this bound, as
// the window system's message time-out does.
inline constexpr int kStepTimeout_ms = 2000;

// The request area travels as an anonymous memory file with the first message of a
// connection that names it (SCM_RIGHTS), sealed so that neither side can shrink or
// grow it under the other's mapping.
inline constexpr int kAreaSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;

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
