// Process-level operations on Linux (POSIX), and the end signals noted for the queue.
#include "platform/system.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

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

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    bool failed = std::ferror(file) != 0;
    int saved_errno = errno;
    std::fclose(file);
    if (failed) {
        reason = std::strerror(saved_errno);
        return false;
    }
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
