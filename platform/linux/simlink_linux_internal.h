// Shared by the two Linux halves of the simulator link (client and add-on side): where
// the rendezvous sockets live and who may own that place, the registered message
// numbers, and the packets that stand for a sent message and its reply.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstring>
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

// The header for sendmsg of one packet, with a descriptor attached (SCM_RIGHTS) unless
// it is negative. It points into itself, so it is neither copied nor moved.
class OutgoingPacket {
public:
    OutgoingPacket(void* packet, size_t bytes, int attached_fd) : part_{packet, bytes} {
        header_.msg_iov = &part_;
        header_.msg_iovlen = 1;
        if (attached_fd < 0) return;
        header_.msg_control = control_;
        header_.msg_controllen = sizeof control_;
        cmsghdr* attached = CMSG_FIRSTHDR(&header_);
        attached->cmsg_level = SOL_SOCKET;
        attached->cmsg_type = SCM_RIGHTS;
        attached->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(attached), &attached_fd, sizeof attached_fd);
    }
    OutgoingPacket(const OutgoingPacket&) = delete;
    OutgoingPacket& operator=(const OutgoingPacket&) = delete;

    const msghdr* Header() const { return &header_; }

private:
    iovec part_;
    alignas(cmsghdr) char control_[CMSG_SPACE(sizeof(int))] = {};
    msghdr header_{};
};

}  // namespace platform::simlink_linux
