// The add-on's side of the simulator link on Linux: listens on the class's socket in
// the runtime directory (a directory of this user only), answers each message packet,
// and maps the request area that comes with it once its size and seals are checked.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/simlink_linux_internal.h"
#include "platform/simlink_addon.h"
#include "platform/system.h"

namespace platform {
namespace {

using namespace simlink_linux;

constexpr size_t kAreaBytes = 0x8000;

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// The directory must be this user's alone, or someone else could stand in for the add-on.
bool PrepareDirectory(const std::string& dir, std::string& error) {
    if (mkdir(dir.c_str(), S_IRWXU) != 0 && errno != EEXIST) {
        error = ErrnoText("cannot create " + dir);
        return false;
    }
    return RuntimeDirectoryIsPrivate(dir, error);
}

// A request area as it came with a message: a memory file of this user, large enough,
// and sealed so that the client cannot shrink it under the mapping (no SIGBUS here).
bool AcceptableArea(int fd, struct stat& info) {
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
        info.st_size < static_cast<off_t>(kAreaBytes))
        return false;
    int seals = fcntl(fd, F_GET_SEALS);
    return seals >= 0 && (seals & F_SEAL_SHRINK) != 0;
}

// One client connection and the request area it sent. A client sends its area with
// the first message that needs it; the messages after use the same mapping.
struct Client {
    int fd = -1;
    dev_t area_device = 0;
    ino_t area_inode = 0;
    uint8_t* area = nullptr;

    void ReleaseArea() {
        if (area != nullptr) munmap(area, kAreaBytes);
        area = nullptr;
    }

    // The area that came with a message (its descriptor is closed here), or the one
    // mapped before when none came; null when there is none that can be used.
    uint8_t* TakeArea(int area_fd) {
        if (area_fd < 0) return area;
        struct stat info {};
        bool acceptable = AcceptableArea(area_fd, info);
        if (acceptable && area != nullptr && info.st_dev == area_device && info.st_ino == area_inode) {
            close(area_fd);
            return area;
        }
        ReleaseArea();
        void* view =
            acceptable ? mmap(nullptr, kAreaBytes, PROT_READ | PROT_WRITE, MAP_SHARED, area_fd, 0) : MAP_FAILED;
        close(area_fd);
        if (view == MAP_FAILED) return nullptr;
        area_device = info.st_dev;
        area_inode = info.st_ino;
        area = static_cast<uint8_t*>(view);
        return area;
    }
};

// Receives one packet and the first descriptor attached to it (-1 when none); any
// further descriptors are closed. The result is recvmsg's.
ssize_t ReceivePacket(int fd, char* packet, size_t capacity, int& attached_fd) {
    attached_fd = -1;
    iovec part{packet, capacity};
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
    msghdr incoming{};
    incoming.msg_iov = &part;
    incoming.msg_iovlen = 1;
    incoming.msg_control = control;
    incoming.msg_controllen = sizeof control;
    ssize_t got = recvmsg(fd, &incoming, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (got < 0) return got;
    for (cmsghdr* part_header = CMSG_FIRSTHDR(&incoming); part_header != nullptr;
         part_header = CMSG_NXTHDR(&incoming, part_header)) {
        if (part_header->cmsg_level != SOL_SOCKET || part_header->cmsg_type != SCM_RIGHTS) continue;
        size_t count = (part_header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int received;
            std::memcpy(&received, CMSG_DATA(part_header) + i * sizeof(int), sizeof received);
            if (attached_fd < 0) attached_fd = received;
            else close(received);
        }
    }
    return got;
}

}  // namespace

bool ServeSimLinkAddOn(const char* class_name, const char* message_name, SimLinkAddOnHandler& handler,
                       std::string& error) {
    std::string dir = RuntimeDirectory();
    if (!PrepareDirectory(dir, error)) return false;
    std::string path = RendezvousPath(class_name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + path;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    // A socket left by an add-on that has gone is replaced; a live one is not.
    int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool live = probe >= 0 && (connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ||
                               errno == EAGAIN);  // EAGAIN: live, its queue full
    if (live) {
        close(probe);
        error = "a window of class " + std::string(class_name) + " is already offered at " + path;
        return false;
    }
    if (probe >= 0) close(probe);
    unlink(path.c_str());

    int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0 || listen(listener, 16) != 0) {
        error = ErrnoText("cannot listen at " + path);
        if (listener >= 0) close(listener);
        return false;
    }

    CatchStopSignals();
    signal(SIGPIPE, SIG_IGN);

    uint32_t registered = RegisteredMessageNumber(message_name);
    std::vector<Client> clients;
    handler.OnReady(path);
    bool stop = false;
    while (!stop && !StopSignalNoted()) {
        std::vector<pollfd> watched{{listener, POLLIN, 0}};
        for (const Client& client : clients) watched.push_back({client.fd, POLLIN, 0});
        // Bounded, so that an end signal taken by another thread is seen soon too.
        if (poll(watched.data(), watched.size(), 200) < 0) {
            if (errno == EINTR) continue;
            error = ErrnoText("poll");
            break;
        }
        if (watched[0].revents & POLLIN) {
            int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            ucred peer{};
            socklen_t peer_size = sizeof peer;
            if (client >= 0 && getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &peer_size) == 0 &&
                peer.uid == geteuid())
                clients.push_back({client});
            else if (client >= 0) close(client);
        }
        // Watched entry i + 1 is clients[i]; clients leave only after this pass.
        std::vector<size_t> gone;
        for (size_t i = 0; i + 1 < watched.size() && !stop; ++i) {
            if (watched[i + 1].revents == 0) continue;
            Client& client = clients[i];
            int fd = client.fd;
            char packet[sizeof(MessagePacket) + kMaxAtomNameBytes];
            int area_fd = -1;
            ssize_t got = ReceivePacket(fd, packet, sizeof packet, area_fd);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got < static_cast<ssize_t>(sizeof(MessagePacket))) {
                // Closed, failed, or not one of our packets: drop the client.
                if (area_fd >= 0) close(area_fd);
                gone.push_back(i);
                continue;
            }
            MessagePacket header;
            std::memcpy(&header, packet, sizeof header);
            ReplyPacket reply{header.sequence, 0, 0};
            if (header.message == registered) {
                uint8_t* area = client.TakeArea(area_fd);
                reply.reply = handler.OnIpcMessage(area, area ? kAreaBytes : 0);
            } else if (area_fd >= 0) {
                close(area_fd);
            }
            // Never waits: a client that does not take its replies is dropped, not waited for.
            if (send(fd, &reply, sizeof reply, MSG_NOSIGNAL | MSG_DONTWAIT) != static_cast<ssize_t>(sizeof reply))
                gone.push_back(i);
            if (header.message == registered) stop = handler.ShouldStop();
        }
        for (auto index = gone.rbegin(); index != gone.rend(); ++index) {
            clients[*index].ReleaseArea();
            close(clients[*index].fd);
            clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(*index));
        }
    }
    for (Client& client : clients) {
        client.ReleaseArea();
        close(client.fd);
    }
    close(listener);
    unlink(path.c_str());
    return error.empty();
}

}  // namespace platform
