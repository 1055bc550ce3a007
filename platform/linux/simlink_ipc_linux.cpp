// The simulator link's platform calls on Linux. A window found by class is the add-on's
// Unix-domain socket in the runtime directory (accepted only when the add-on runs as
// the same user); a sent message is a packet on it with the atom's name, answered by
// a reply packet; the named block is POSIX shared memory created exclusively, mode 0600.
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

std::string SharedMemoryName(const std::string& name) {
    if (name.empty() || name.size() > 250 || name.find('/') != std::string::npos) return "";
    return "/" + name;
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

class LinuxSimLinkIpc final : public SimLinkIpc {
public:
    SimWindowHandle FindTopWindowByClass(const char* class_name) override {
        std::string path = RendezvousPath(class_name);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) {
            last_error_ = kErrorInvalidName;
            return 0;
        }
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            last_error_ = ErrorFromErrno(errno);
            return 0;
        }
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
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
        if (auto old = window_by_class_.find(class_name); old != window_by_class_.end()) {
            close(windows_[old->second]);
            windows_.erase(old->second);
        }
        SimWindowHandle handle = ++last_window_;
        windows_[handle] = fd;
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
        std::string shm_name = SharedMemoryName(name);
        if (shm_name.empty() || size_bytes == 0) {
            last_error_ = kErrorInvalidName;
            return 0;
        }
        // Exclusive: an existing block of that name is never joined.
        int fd = shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd < 0) {
            last_error_ = ErrorFromErrno(errno);
            return 0;
        }
        if (fchmod(fd, S_IRUSR | S_IWUSR) != 0 || ftruncate(fd, size_bytes) != 0) {
            last_error_ = ErrorFromErrno(errno);
            close(fd);
            shm_unlink(shm_name.c_str());
            return 0;
        }
        SimMappingHandle handle = ++last_mapping_;
        mappings_[handle] = {fd, size_bytes, shm_name};
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
        shm_unlink(found->second.name.c_str());
        mappings_.erase(found);
    }

    bool SendBlockingMessage(SimWindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                             uint32_t timeout_ms, intptr_t& reply) override {
        auto found = windows_.find(window);
        if (found == windows_.end()) {
            last_error_ = kErrorInvalidWindowHandle;
            return false;
        }
        int fd = found->second;
        MessagePacket header{++sequence_, message, wparam, lparam, 0, 0};
        static const std::string kNoName;
        const std::string* atom_name = &kNoName;
        if (auto atom = atoms_.find(static_cast<uint16_t>(wparam)); wparam <= 0xFFFF && atom != atoms_.end())
            atom_name = &atom->second.name;
        header.name_bytes = static_cast<uint32_t>(atom_name->size());
        char packet[sizeof header + kMaxAtomNameBytes];
        std::memcpy(packet, &header, sizeof header);
        std::memcpy(packet + sizeof header, atom_name->data(), atom_name->size());
        if (send(fd, packet, sizeof header + atom_name->size(), MSG_NOSIGNAL) < 0) {
            last_error_ = kErrorInvalidWindowHandle;  // the add-on has gone away
            return false;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd ready{fd, POLLIN, 0};
            int polled = poll(&ready, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
            if (polled < 0 && errno == EINTR) continue;
            if (polled <= 0) {
                // Timed out: reported with no error code, as the window system does.
                last_error_ = 0;
                return false;
            }
            ReplyPacket answer{};
            ssize_t got = recv(fd, &answer, sizeof answer, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                last_error_ = kErrorInvalidWindowHandle;
                return false;
            }
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
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

    uint32_t CurrentProcessIdentifier() override { return static_cast<uint32_t>(getpid()); }

private:
    struct Atom {
        std::string name;
        int references;
    };
    struct Mapping {
        int fd;
        uint32_t size_bytes;
        std::string name;
    };
    std::map<SimWindowHandle, int> windows_;
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
