// The add-on's side of the simulator link on Linux: listens on the class's socket in
// the runtime directory (a directory of this user only), answers each message packet,
// and finds the request area by the atom's name in POSIX shared memory of this user.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/linux/simlink_linux_internal.h"
#include "platform/simlink_addon.h"

namespace platform {
namespace {

using namespace simlink_linux;

constexpr size_t kAreaBytes = 0x8000;

volatile sig_atomic_t stop_requested = 0;
void RequestStop(int) { stop_requested = 1; }

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// The directory must be this user's alone, or someone else could stand in for the add-on.
bool PrepareDirectory(const std::string& dir, std::string& error) {
    if (mkdir(dir.c_str(), S_IRWXU) != 0 && errno != EEXIST) {
        error = ErrnoText("cannot create " + dir);
        return false;
    }
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0) {
        error = ErrnoText("cannot inspect " + dir);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        error = dir + " is not a directory of this user alone (mode 0700)";
        return false;
    }
    return true;
}

// One client connection and the request area it last named. A client that opens its
// link again connects anew and takes a new atom, so the area is looked up again then.
struct Client {
    int fd = -1;
    uint64_t atom = 0;
    std::string area_name;
    int area_fd = -1;
    uint8_t* area = nullptr;

    void ReleaseArea() {
        if (area != nullptr) munmap(area, kAreaBytes);
        if (area_fd >= 0) close(area_fd);
        area = nullptr;
        area_fd = -1;
        area_name.clear();
    }

    // The area named in a message: a block of this user, at least as large as an area.
    uint8_t* FindArea(uint64_t message_atom, const char* name, size_t name_bytes) {
        if (area != nullptr && atom == message_atom && area_name.size() == name_bytes &&
            std::memcmp(area_name.data(), name, name_bytes) == 0)
            return area;
        ReleaseArea();
        std::string wanted(name, name_bytes);
        std::string shm_name = SharedMemoryName(wanted);
        if (shm_name.empty()) return nullptr;
        int opened = shm_open(shm_name.c_str(), O_RDWR | O_CLOEXEC, 0);
        if (opened < 0) return nullptr;
        struct stat info {};
        if (fstat(opened, &info) != 0 || info.st_uid != geteuid() || info.st_size < static_cast<off_t>(kAreaBytes)) {
            close(opened);
            return nullptr;
        }
        void* view = mmap(nullptr, kAreaBytes, PROT_READ | PROT_WRITE, MAP_SHARED, opened, 0);
        if (view == MAP_FAILED) {
            close(opened);
            return nullptr;
        }
        atom = message_atom;
        area_name = std::move(wanted);
        area_fd = opened;
        area = static_cast<uint8_t*>(view);
        return area;
    }
};

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
    int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        close(probe);
        error = "a window of class " + std::string(class_name) + " is already offered at " + path;
        return false;
    }
    if (probe >= 0) close(probe);
    unlink(path.c_str());

    int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0 || listen(listener, 16) != 0) {
        error = ErrnoText("cannot listen at " + path);
        if (listener >= 0) close(listener);
        return false;
    }

    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    uint32_t registered = RegisteredMessageNumber(message_name);
    std::vector<Client> clients;
    handler.OnReady(path);
    bool stop = false;
    while (!stop && !stop_requested) {
        std::vector<pollfd> watched{{listener, POLLIN, 0}};
        for (const Client& client : clients) watched.push_back({client.fd, POLLIN, 0});
        if (poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;
            error = ErrnoText("poll");
            break;
        }
        if (watched[0].revents & POLLIN) {
            int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            ucred peer{};
            socklen_t peer_size = sizeof peer;
            if (client >= 0 && getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &peer_size) == 0 &&
                peer.uid == geteuid())
                clients.push_back({client});
            else if (client >= 0)
                close(client);
        }
        // Watched entry i + 1 is clients[i]; clients leave only after this pass.
        std::vector<size_t> gone;
        for (size_t i = 0; i + 1 < watched.size() && !stop; ++i) {
            if (watched[i + 1].revents == 0) continue;
            Client& client = clients[i];
            int fd = client.fd;
            char packet[sizeof(MessagePacket) + kMaxAtomNameBytes];
            ssize_t got = recv(fd, packet, sizeof packet, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got < static_cast<ssize_t>(sizeof(MessagePacket))) {
                // Closed, failed, or not one of our packets: drop the client.
                gone.push_back(i);
                continue;
            }
            MessagePacket header;
            std::memcpy(&header, packet, sizeof header);
            ReplyPacket reply{header.sequence, 0, 0};
            if (header.message == registered) {
                size_t name_bytes = std::min<size_t>(header.name_bytes, static_cast<size_t>(got) - sizeof header);
                uint8_t* area = client.FindArea(header.wparam, packet + sizeof header, name_bytes);
                reply.reply = handler.OnIpcMessage(area, area ? kAreaBytes : 0);
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
