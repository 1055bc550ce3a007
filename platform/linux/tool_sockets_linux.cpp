// Non-blocking sockets, datagrams and the wait on several sockets for the development
// tools on Linux (pairs with win32/tool_sockets_win32.cpp); plus their threads' signals.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/sockets.h"
#include "platform/system.h"

namespace platform {

int SetSocketNonBlocking(SocketHandle handle) {
    int flags = fcntl(handle, F_GETFL, 0);
    return flags >= 0 && fcntl(handle, F_SETFL, flags | O_NONBLOCK) == 0 ? 0 : -1;
}

int StartConnect(SocketHandle handle, const SocketAddress& address) {
    sockaddr_in native;
    std::memcpy(&native, &address, sizeof native);
    if (connect(handle, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) return 0;
    if (errno == EINPROGRESS || errno == EINTR) return 1;
    NoteSocketErrno(errno);
    return -1;
}

int ConnectOutcome(SocketHandle handle) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    return WinSockErrorOfErrno(error);
}

SocketHandle OpenUdpSocket(uint32_t address_net, uint16_t port) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return kNoSocket;
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_port = htons(port);
    native.sin_addr.s_addr = address_net;
    if (bind(fd, reinterpret_cast<sockaddr*>(&native), sizeof native) != 0) {
        close(fd);
        return kNoSocket;
    }
    return fd;
}

int SendDatagram(SocketHandle handle, const SocketAddress& to, const uint8_t* bytes, int32_t count) {
    sockaddr_in native;
    std::memcpy(&native, &to, sizeof native);
    ssize_t sent = sendto(handle, bytes, static_cast<size_t>(count), MSG_NOSIGNAL,
                          reinterpret_cast<const sockaddr*>(&native), sizeof native);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int ReceiveDatagram(SocketHandle handle, uint8_t* buffer, int32_t count, SocketAddress& from) {
    sockaddr_in native{};
    socklen_t length = sizeof native;
    // MSG_TRUNC: the datagram's own length, so that one too long for the buffer shows.
    ssize_t got = recvfrom(handle, buffer, static_cast<size_t>(count), MSG_TRUNC | MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&native), &length);
    if (got < 0) return -1;
    std::memcpy(static_cast<void*>(&from), &native, sizeof from);
    return got > INT32_MAX ? INT32_MAX : static_cast<int>(got);
}

int WaitSocketsReady(SocketWait* entries, size_t count, int64_t wait_us) {
    std::vector<pollfd> watched(count);
    for (size_t i = 0; i < count; ++i) {
        short events = static_cast<short>((entries[i].want_read ? POLLIN : 0) | (entries[i].want_write ? POLLOUT : 0));
        watched[i] = {entries[i].handle, events, 0};
    }
    timespec wait{};
    if (wait_us >= 0) {
        wait.tv_sec = static_cast<time_t>(wait_us / 1000000);
        wait.tv_nsec = static_cast<long>(wait_us % 1000000) * 1000;
    }
    int result = ppoll(watched.data(), watched.size(), wait_us >= 0 ? &wait : nullptr, nullptr);
    if (result < 0) return errno == EINTR ? 0 : -1;
    int ready = 0;
    for (size_t i = 0; i < count; ++i) {
        short got = watched[i].revents;
        bool failed = (got & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        entries[i].readable = entries[i].want_read && ((got & POLLIN) || failed);
        entries[i].writable = entries[i].want_write && ((got & POLLOUT) || failed);
        if (entries[i].readable || entries[i].writable) ++ready;
    }
    return ready;
}

namespace {
volatile sig_atomic_t stop_signal_noted = 0;
void NoteStopSignal(int) { stop_signal_noted = 1; }
}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

bool StopSignalNoted() { return stop_signal_noted != 0; }

void BlockStopSignalsInThisThread() {
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
}

}  // namespace platform
