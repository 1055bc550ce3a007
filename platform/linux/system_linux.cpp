// Process-level operations on Linux (POSIX), and the end signals noted for the queue.
#include "platform/system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/linux_internal.h"

namespace platform {

namespace {
volatile sig_atomic_t end_signal_noted = 0;
void NoteEndSignal(int) { end_signal_noted = 1; }
}  // namespace

void CatchEndSignals() {
    static bool caught = false;
    if (caught) return;
    caught = true;
    struct sigaction action {};
    action.sa_handler = NoteEndSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted waits carry on (every wait of the program is bounded); the handler
    // goes back to the default after the first signal, so that a second one ends at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

bool TakeEndSignal() {
    if (!end_signal_noted) return false;
    end_signal_noted = 0;
    return true;
}

std::string WorkingDirectory() {
    std::string buffer(4096, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return ".";
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    if (buffer.size() > 1 && buffer.back() == '/') buffer.pop_back();
    return buffer;
}

std::string JoinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (path.empty() || path.back() != '/') path.push_back('/');
    path.append(name);
    return path;
}

std::string ProgramFileName() {
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return "ORVEXVario";
    std::string path(buffer, static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileKind InspectFile(const std::string& path, uint64_t& size_bytes) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::kMissing : FileKind::kOther;
    if (!S_ISREG(info.st_mode)) return FileKind::kOther;
    size_bytes = static_cast<uint64_t>(info.st_size);
    return FileKind::kRegular;
}

bool ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>& bytes, std::string& reason) {
    // Non-blocking, so that opening a pipe with no writer returns at once; the kind of
    // file is then checked on what was opened.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = kNotARegularFile;
        close(fd);
        return false;
    }
    bytes.clear();
    uint8_t chunk[65536];
    while (bytes.size() < max_bytes) {
        ssize_t got = read(fd, chunk, std::min(sizeof chunk, max_bytes - bytes.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            reason = std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    close(fd);
    return true;
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A Linux program always writes to the streams it was started with.
void UseStartingConsole() {}

// A normal exit, so that the modules' shutdowns run: the simulator link removes its
// shared memory, which on Linux would otherwise outlive the process.
void ExitProcess(int status) {
    std::fflush(nullptr);
    std::exit(status);
}

}  // namespace platform
