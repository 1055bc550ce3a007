// Berkeley sockets with WinSock's meaning: errno and host look-up errors become WinSock
// numbers by name, readiness is tested with poll so that any descriptor value is safe.
#include "platform/sockets.h"

#include "platform/linux/linux_internal.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

thread_local int last_socket_error = 0;

int WinSockNumberOfErrno(int error) {
    switch (error) {
        case 0: return 0;
        case EINTR: return 10004;
        case EBADF: return 10009;
        case EACCES: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE: return 10024;
        case EWOULDBLOCK: return 10035;
        case EINPROGRESS: return 10036;
        case EALREADY: return 10037;
        case ENOTSOCK: return 10038;
        case EDESTADDRREQ: return 10039;
        case EMSGSIZE: return 10040;
        case EPROTOTYPE: return 10041;
        case ENOPROTOOPT: return 10042;
        case EPROTONOSUPPORT: return 10043;
        case ESOCKTNOSUPPORT: return 10044;
        case EOPNOTSUPP: return 10045;
        case EPFNOSUPPORT: return 10046;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return 10048;
        case EADDRNOTAVAIL: return 10049;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ENETRESET: return 10052;
        case ECONNABORTED: return 10053;
        case ECONNRESET: return 10054;
        case ENOBUFS: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        case ESHUTDOWN: return 10058;
        case ETOOMANYREFS: return 10059;
        case ETIMEDOUT: return 10060;
        case ECONNREFUSED: return 10061;
        case ELOOP: return 10062;
        case ENAMETOOLONG: return 10063;
        case EHOSTDOWN: return 10064;
        case EHOSTUNREACH: return 10065;
        case ENOTEMPTY: return 10066;
        case EUSERS: return 10068;
        case EDQUOT: return 10069;
        case ESTALE: return 10070;
        case EREMOTE: return 10071;
        default: return error;  // no WinSock counterpart: outside the WinSock numbers
    }
}

int WinSockNumberOfHostError(int error) {
    switch (error) {
        case HOST_NOT_FOUND: return 11001;
        case TRY_AGAIN: return 11002;
        case NO_RECOVERY: return 11003;
        case NO_DATA: return 11004;
        default: return 11001;
    }
}

// Keeps the errno of a failed call as the last socket error and passes the result on.
int Noted(int result) {
    if (result < 0) last_socket_error = WinSockNumberOfErrno(errno);
    return result;
}

int64_t MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

// poll on one descriptor until an event, the deadline (-1: none) or an error other than
// EINTR: a signal that interrupts the wait only shortens what is left of it.
int PollUntil(pollfd& entry, int64_t deadline_us) {
    for (;;) {
        timespec wait{};
        if (deadline_us >= 0) {
            int64_t left_us = deadline_us - MonotonicMicroseconds();
            if (left_us < 0) left_us = 0;
            wait.tv_sec = static_cast<time_t>(left_us / 1000000);
            wait.tv_nsec = static_cast<long>(left_us % 1000000) * 1000;
        }
        int result = ppoll(&entry, 1, deadline_us >= 0 ? &wait : nullptr, nullptr);
        if (result >= 0 || errno != EINTR) return Noted(result);
    }
}

bool SetBlocking(int fd, bool blocking) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    flags = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
    return fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

void NoteSocketErrno(int error) { last_socket_error = WinSockNumberOfErrno(error); }

int WinSockErrorOfErrno(int error) { return WinSockNumberOfErrno(error); }

int StartSocketModule() { return 0; }

int LastSocketError() { return last_socket_error; }

SocketHandle OpenTcpSocket() {
    int fd = Noted(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    return fd < 0 ? kNoSocket : fd;
}

int ConnectSocket(SocketHandle handle, const SocketAddress& address, int limit_ms) {
    sockaddr_in native;
    std::memcpy(&native, &address, sizeof native);
    int64_t deadline_us = MonotonicMicroseconds() + int64_t{limit_ms} * 1000;
    // Non-blocking for the attempt only: a host that drops the SYNs must not hold the
    // caller for the system's own connect time-out of minutes.
    if (!SetBlocking(handle, false)) return Noted(-1);
    int result = connect(handle, reinterpret_cast<const sockaddr*>(&native), sizeof native);
    // An interrupted connect goes on in the background, as one in progress does.
    if (result < 0 && (errno == EINPROGRESS || errno == EINTR)) {
        pollfd entry{handle, POLLOUT, 0};
        int ready = PollUntil(entry, deadline_us);
        if (ready == 0) {
            errno = ETIMEDOUT;
            result = -1;
        } else if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) < 0) error = errno;
            errno = error;
            result = error == 0 ? 0 : -1;
        }
    }
    int saved = errno;
    SetBlocking(handle, true);
    errno = saved;
    return Noted(result) < 0 ? -1 : 0;
}

int ShutdownSocket(SocketHandle handle) { return Noted(shutdown(handle, SHUT_RDWR)); }

int CloseSocket(SocketHandle handle) { return Noted(close(handle)); }

int WaitSocketReady(SocketHandle handle, bool for_writing, int64_t wait_us) {
    pollfd entry{handle, static_cast<short>(for_writing ? POLLOUT : POLLIN), 0};
    int result = PollUntil(entry, wait_us >= 0 ? MonotonicMicroseconds() + wait_us : -1);
    if (result > 0 && (entry.revents & POLLNVAL)) {
        // select fails on a descriptor that is not open; so does this test.
        last_socket_error = WinSockNumberOfErrno(EBADF);
        return -1;
    }
    return result;
}

int PendingByteCount(SocketHandle handle, uint32_t& count) {
    int pending = 0;
    int result = Noted(ioctl(handle, FIONREAD, &pending));
    count = result == 0 ? static_cast<uint32_t>(pending) : 0;
    return result;
}

int ReceiveBytes(SocketHandle handle, uint8_t* buffer, int32_t count) {
    ssize_t received;
    do received = recv(handle, buffer, static_cast<size_t>(count), 0);
    while (received < 0 && errno == EINTR);
    return Noted(received < 0 ? -1 : static_cast<int>(received));
}

int SendBytes(SocketHandle handle, const uint8_t* bytes, int32_t count) {
    // A peer that has gone away must give an error result, not end the process.
    ssize_t sent;
    do sent = send(handle, bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return Noted(sent < 0 ? -1 : static_cast<int>(sent));
}

uint32_t ParseIpv4Text(const std::string& text) { return inet_addr(text.c_str()); }

std::string Ipv4Text(uint32_t address_net) {
    in_addr address{};
    address.s_addr = address_net;
    return inet_ntoa(address);
}

bool LookUpHost(const std::string& name, uint32_t& address_net) {
    hostent* entry = gethostbyname(name.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) {
        last_socket_error = entry == nullptr ? WinSockNumberOfHostError(h_errno) : 11004;
        return false;
    }
    std::memcpy(&address_net, entry->h_addr_list[0], sizeof address_net);
    return true;
}

bool LookUpService(const std::string& name, uint16_t& port_net) {
    servent* entry = getservbyname(name.c_str(), nullptr);
    if (entry == nullptr) return false;
    port_net = static_cast<uint16_t>(entry->s_port);
    return true;
}

int PeerAddressOf(SocketHandle handle, SocketAddress& address) {
    sockaddr_in native{};
    socklen_t length = sizeof native;
    if (Noted(getpeername(handle, reinterpret_cast<sockaddr*>(&native), &length)) < 0) return -1;
    std::memcpy(static_cast<void*>(&address), &native, sizeof address);
    return 0;
}

uint16_t HostToNet16(uint16_t value) { return htons(value); }
uint16_t NetToHost16(uint16_t value) { return ntohs(value); }

void SleepMilliseconds(uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {}
}

char DecimalSeparator() {
    // The user's locale from the environment, without changing the process's own.
    static const char separator = [] {
        char found = '.';
        locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
        if (user != static_cast<locale_t>(0)) {
            const char* radix = nl_langinfo_l(RADIXCHAR, user);
            if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') found = radix[0];
            freelocale(user);
        }
        return found;
    }();
    return separator;
}

SocketHandle ListenTcp(uint32_t address_net, uint16_t port, int backlog) {
    int fd = Noted(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (fd < 0) return kNoSocket;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_port = htons(port);
    native.sin_addr.s_addr = address_net;
    if (Noted(bind(fd, reinterpret_cast<sockaddr*>(&native), sizeof native)) < 0 || Noted(listen(fd, backlog)) < 0) {
        int saved = last_socket_error;
        close(fd);
        last_socket_error = saved;
        return kNoSocket;
    }
    return fd;
}

SocketHandle AcceptConnection(SocketHandle listener) {
    int fd;
    do fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return Noted(fd) < 0 ? kNoSocket : fd;
}

uint16_t LocalPortOf(SocketHandle handle) {
    sockaddr_in native{};
    socklen_t length = sizeof native;
    if (Noted(getsockname(handle, reinterpret_cast<sockaddr*>(&native), &length)) < 0) return 0;
    return ntohs(native.sin_port);
}

void SetSocketBufferSizes(SocketHandle handle, int bytes) {
    setsockopt(handle, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    setsockopt(handle, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void SetResetOnClose(SocketHandle handle) {
    linger hard{1, 0};
    setsockopt(handle, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

}  // namespace platform
