// The simulator link's platform calls on Linux. A window found by class is the add-on's
// Unix-domain socket in the runtime directory (accepted only when the directory is this
// user's alone and the add-on runs as the same user); a sent message is a packet on it
// with the atom's name (the request area attached to the first), answered by a reply; the
// named block is an anonymous, sealed memory file, so nothing is left in /dev/shm.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>

#include "platform/linux/simlink_linux_internal.h"
#include "platform/simlink_ipc.h"

namespace platform {
namespace simlink_linux {

std::string RuntimeDirectory() {
    if (const char* dir = std::getenv("SIMLINK_RUNTIME_DIR"); dir && *dir) return dir;
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) return dir;
    return "/tmp/simlink-" + std::to_string(geteuid());
}

std::string RendezvousPath(const std::string& class_name) { return RuntimeDirectory() + "/" + class_name; }

uint32_t RegisteredMessageNumber(const std::string& name) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    return 0xC000 + hash % 0x4000;
}

bool RuntimeDirectoryIsPrivate(const std::string& dir, std::string& reason) {
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0) {
        reason = "cannot inspect " + dir + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        reason = dir + " is not a directory of this user alone (mode 0700)";
        return false;
    }
    return true;
}

}  // namespace simlink_linux

namespace {

using namespace simlink_linux;

constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidName = 123;

uint32_t ErrorFromErrno(int error) {
    switch (error) {
        case EEXIST: return kErrorAlreadyExists;
        case ENOENT: return kErrorFileNotFound;
        case EACCES:
        case EPERM: return kErrorAccessDenied;
        case ENOMEM:
        case ENOSPC: return kErrorNotEnoughMemory;
        case ENAMETOOLONG:
        case EINVAL: return kErrorInvalidName;
        default: return kErrorInvalidHandle;
    }
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until the deadline, never below 0.
int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for the events on the socket until the deadline; false on time-out.
bool WaitFor(int fd, short events, Clock::time_point deadline, short& revents) {
    for (;;) {
        pollfd ready{fd, events, 0};
        int polled = poll(&ready, 1, MillisecondsLeft(deadline));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return false;
        revents = ready.revents;
        return true;
    }
}

// Connects the non-blocking socket within the deadline. A listener whose queue is full
// (an add-on that stopped accepting) refuses at once with EAGAIN: it is asked again.
bool ConnectWithin(int fd, const sockaddr_un& address, Clock::time_point deadline) {
    for (;;) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
        if (errno == EINTR) continue;
        if (errno == EINPROGRESS) {
            short revents = 0;
            int error = 0;
            socklen_t size = sizeof error;
            return WaitFor(fd, POLLOUT, deadline, revents) &&
                   getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        if (errno != EAGAIN || MillisecondsLeft(deadline) == 0) return false;
        timespec pause{0, 10 * 1000000L};
        nanosleep(&pause, nullptr);
    }
}

class LinuxSimLinkIpc final : public SimLinkIpc {
public:
    SimWindowHandle FindTopWindowByClass(const char* class_name) override {
        std::string dir = RuntimeDirectory();
        std::string reason;
        if (!RuntimeDirectoryIsPrivate(dir, reason)) {
            last_error_ = kErrorAccessDenied;
            return 0;
        }
        std::string path = RendezvousPath(class_name);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) {
            last_error_ = kErrorInvalidName;
            return 0;
        }
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            last_error_ = ErrorFromErrno(errno);
            return 0;
        }
        if (!ConnectWithin(fd, address, Clock::now() + std::chrono::milliseconds(kStepTimeout_ms))) {
            last_error_ = kErrorFileNotFound;
            close(fd);
            return 0;
        }
        // Only an add-on of this same user may answer for the simulator.
        ucred peer{};
        socklen_t peer_size = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peer_size) != 0 || peer.uid != geteuid()) {
            last_error_ = kErrorAccessDenied;
            close(fd);
            return 0;
        }
        // One connection per class: finding the class again replaces the old one.
        if (auto old = window_by_class_.find(class_name); old != window_by_class_.end()) DropWindow(old->second);
        SimWindowHandle handle = ++last_window_;
        windows_[handle] = {fd, 0};
        window_by_class_[class_name] = handle;
        last_error_ = 0;
        return handle;
    }

    uint32_t RegisterMessageName(const char* name) override {
        last_error_ = 0;
        return *name ? RegisteredMessageNumber(name) : 0;
    }

    uint16_t AddNamedAtom(const char* name) override {
        std::string text(name);
        if (text.empty() || text.size() > kMaxAtomNameBytes) {
            last_error_ = kErrorInvalidName;
            return 0;
        }
        if (auto found = atom_by_name_.find(text); found != atom_by_name_.end()) {
            ++atoms_[found->second].references;
            return found->second;
        }
        for (uint32_t tries = 0; tries < 0x4000; ++tries) {
            uint16_t atom = static_cast<uint16_t>(0xC000 + next_atom_++ % 0x4000);
            if (atoms_.count(atom)) continue;
            atoms_[atom] = {text, 1};
            atom_by_name_[text] = atom;
            last_error_ = 0;
            return atom;
        }
        last_error_ = kErrorNotEnoughMemory;
        return 0;
    }

    void DeleteNamedAtom(uint16_t atom) override {
        auto found = atoms_.find(atom);
        if (found == atoms_.end()) return;
        if (--found->second.references == 0) {
            atom_by_name_.erase(found->second.name);
            atoms_.erase(found);
        }
    }

    SimMappingHandle CreateNamedSharedMemory(const char* name, uint32_t size_bytes) override {
        std::string text(name);
        if (text.empty() || text.size() > kMaxAtomNameBytes || size_bytes == 0) {
            last_error_ = kErrorInvalidName;
            return 0;
        }
        // The name is this process's own: a block of that name that is still held is
        // never handed out twice, as a named mapping would not be.
        if (MappingNamed(text) != 0) {
            last_error_ = kErrorAlreadyExists;
            return 0;
        }
        int fd = memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0) {
            last_error_ = ErrorFromErrno(errno);
            return 0;
        }
        if (ftruncate(fd, size_bytes) != 0 || fcntl(fd, F_ADD_SEALS, kAreaSeals) != 0) {
            last_error_ = ErrorFromErrno(errno);
            close(fd);
            return 0;
        }
        SimMappingHandle handle = ++last_mapping_;
        mappings_[handle] = {fd, size_bytes, std::move(text)};
        last_error_ = 0;
        return handle;
    }

    uint8_t* MapSharedView(SimMappingHandle mapping) override {
        auto found = mappings_.find(mapping);
        if (found == mappings_.end()) {
            last_error_ = kErrorInvalidHandle;
            return nullptr;
        }
        void* view = mmap(nullptr, found->second.size_bytes, PROT_READ | PROT_WRITE, MAP_SHARED, found->second.fd, 0);
        if (view == MAP_FAILED) {
            last_error_ = ErrorFromErrno(errno);
            return nullptr;
        }
        views_[static_cast<uint8_t*>(view)] = found->second.size_bytes;
        last_error_ = 0;
        return static_cast<uint8_t*>(view);
    }

    void UnmapSharedView(uint8_t* view) override {
        auto found = views_.find(view);
        if (found == views_.end()) return;
        munmap(view, found->second);
        views_.erase(found);
    }

    void CloseSharedMemory(SimMappingHandle mapping) override {
        auto found = mappings_.find(mapping);
        if (found == mappings_.end()) return;
        close(found->second.fd);
        mappings_.erase(found);
    }

    // Every step is bounded by the time-out: an add-on that stops reading or answering
    // makes the call fail, never hang. An add-on that has gone (its end of the socket
    // closed) makes it fail with kErrorInvalidWindowHandle, as a destroyed window does.
    bool SendBlockingMessage(SimWindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                             uint32_t timeout_ms, intptr_t& reply) override {
        auto found = windows_.find(window);
        if (found == windows_.end()) {
            last_error_ = kErrorInvalidWindowHandle;
            return false;
        }
        int fd = found->second.fd;
        auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        MessagePacket header{++sequence_, message, wparam, lparam, 0, 0};
        static const std::string kNoName;
        const std::string* atom_name = &kNoName;
        if (auto atom = atoms_.find(static_cast<uint16_t>(wparam)); wparam <= 0xFFFF && atom != atoms_.end())
            atom_name = &atom->second.name;
        // The block the atom names goes with the first message on this connection that
        // names it; the add-on keeps it mapped for the messages after.
        SimMappingHandle area = MappingNamed(*atom_name);
        int area_fd = area != 0 && area != found->second.area_sent ? mappings_[area].fd : -1;
        header.name_bytes = static_cast<uint32_t>(atom_name->size());
        char packet[sizeof header + kMaxAtomNameBytes];
        std::memcpy(packet, &header, sizeof header);
        std::memcpy(packet + sizeof header, atom_name->data(), atom_name->size());
        switch (SendPacket(fd, packet, sizeof header + header.name_bytes, area_fd, deadline)) {
            case Outcome::kDone:
                if (area_fd >= 0) found->second.area_sent = area;
                break;
            case Outcome::kTimedOut: return TimedOut();
            case Outcome::kGone: return Gone(window);
        }
        for (;;) {
            short revents = 0;
            if (!WaitFor(fd, POLLIN, deadline, revents)) return TimedOut();
            ReplyPacket answer{};
            // Descriptors an add-on might attach are dropped by the kernel: recv takes none.
            ssize_t got = recv(fd, &answer, sizeof answer, MSG_DONTWAIT);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) return Gone(window);
            // A late answer to an earlier, timed-out message is dropped.
            if (got != sizeof answer || answer.sequence != header.sequence) continue;
            reply = static_cast<intptr_t>(answer.reply);
            last_error_ = 0;
            return true;
        }
    }

    uint32_t LastErrorCode() override { return last_error_; }

    void SleepMilliseconds(uint32_t milliseconds) override {
        timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
    }

    uint32_t CurrentProcessIdentifier() override { return static_cast<uint32_t>(getpid()); }

private:
    enum class Outcome { kDone, kTimedOut, kGone };

    // Sends the packet, with the area's descriptor when there is one, waiting for room
    // in the socket until the deadline.
    static Outcome SendPacket(int fd, char* packet, size_t bytes, int area_fd, Clock::time_point deadline) {
        OutgoingPacket outgoing(packet, bytes, area_fd);
        for (;;) {
            if (sendmsg(fd, outgoing.Header(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) return Outcome::kDone;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return Outcome::kGone;
            short revents = 0;
            if (!WaitFor(fd, POLLOUT, deadline, revents)) return Outcome::kTimedOut;
        }
    }

    // Timed out: reported with no error code, as the window system does.
    bool TimedOut() {
        last_error_ = 0;
        return false;
    }

    bool Gone(SimWindowHandle window) {
        DropWindow(window);
        last_error_ = kErrorInvalidWindowHandle;
        return false;
    }

    void DropWindow(SimWindowHandle window) {
        auto found = windows_.find(window);
        if (found == windows_.end()) return;
        close(found->second.fd);
        windows_.erase(found);
        for (auto entry = window_by_class_.begin(); entry != window_by_class_.end();)
            entry = entry->second == window ? window_by_class_.erase(entry) : std::next(entry);
    }

    struct Atom {
        std::string name;
        int references;
    };
    struct Mapping {
        int fd;
        uint32_t size_bytes;
        std::string name;
    };

    // The block of that name, or 0.
    SimMappingHandle MappingNamed(const std::string& name) const {
        for (const auto& [handle, held] : mappings_)
            if (held.name == name) return handle;
        return 0;
    }
    struct Window {
        int fd;
        SimMappingHandle area_sent;  // the block the add-on has been given, 0 for none
    };
    std::map<SimWindowHandle, Window> windows_;
    std::map<std::string, SimWindowHandle> window_by_class_;
    SimWindowHandle last_window_ = 0;
    std::map<uint16_t, Atom> atoms_;
    std::map<std::string, uint16_t> atom_by_name_;
    uint32_t next_atom_ = 0;
    std::map<SimMappingHandle, Mapping> mappings_;
    SimMappingHandle last_mapping_ = 0;
    std::map<uint8_t*, uint32_t> views_;
    uint32_t sequence_ = 0;
    uint32_t last_error_ = 0;
};

}  // namespace

SimLinkIpc& SystemSimLinkIpc() {
    // Never destroyed: the link is closed by a static destructor at process end.
    static SimLinkIpc* ipc = new LinuxSimLinkIpc;
    return *ipc;
}

}  // namespace platform
