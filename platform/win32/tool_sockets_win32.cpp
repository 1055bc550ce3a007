// Non-blocking sockets, datagrams and the wait on several sockets for the development
// tools on Windows (pairs with linux/tool_sockets_linux.cpp); plus their end signals.
// The data server waits on up to 256 clients and its listener at once; WinSock's sets
// hold 64 sockets unless told more before its header.
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <windows.h>
#include <mswsock.h>

#include <csignal>
#include <cstring>

#include "platform/sockets.h"
#include "platform/system.h"

namespace platform {
namespace {

SOCKET Native(SocketHandle handle) { return static_cast<SOCKET>(static_cast<uint32_t>(handle)); }

}  // namespace

int SetSocketNonBlocking(SocketHandle handle) {
    u_long on = 1;
    return ioctlsocket(Native(handle), FIONBIO, &on) == 0 ? 0 : -1;
}

int StartConnect(SocketHandle handle, const SocketAddress& address) {
    sockaddr_in native;
    std::memcpy(&native, &address, sizeof native);
    if (connect(Native(handle), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0) return 0;
    int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS ? 1 : -1;
}

int ConnectOutcome(SocketHandle handle) {
    int error = 0;
    int length = sizeof error;
    if (getsockopt(Native(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
        return WSAGetLastError();
    return error;
}

SocketHandle OpenUdpSocket(uint32_t address_net, uint16_t port) {
    SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (udp == INVALID_SOCKET) return kNoSocket;
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_port = htons(port);
    native.sin_addr.s_addr = address_net;
    if (bind(udp, reinterpret_cast<sockaddr*>(&native), sizeof native) != 0) {
        closesocket(udp);
        return kNoSocket;
    }
    // Without this, a port-unreachable answer to one request fails the next receive.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(udp, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    return static_cast<SocketHandle>(udp);
}

int SendDatagram(SocketHandle handle, const SocketAddress& to, const uint8_t* bytes, int32_t count) {
    sockaddr_in native;
    std::memcpy(&native, &to, sizeof native);
    int sent = sendto(Native(handle), reinterpret_cast<const char*>(bytes), count, 0,
                      reinterpret_cast<const sockaddr*>(&native), sizeof native);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int ReceiveDatagram(SocketHandle handle, uint8_t* buffer, int32_t count, SocketAddress& from) {
    sockaddr_in native{};
    int length = sizeof native;
    int got = recvfrom(Native(handle), reinterpret_cast<char*>(buffer), count, 0, reinterpret_cast<sockaddr*>(&native),
                       &length);
    if (got == SOCKET_ERROR) {
        // Too long for the buffer: the datagram is gone, what fitted is kept.
        if (WSAGetLastError() != WSAEMSGSIZE) return -1;
        got = count + 1;
    }
    std::memcpy(static_cast<void*>(&from), &native, sizeof from);
    return got;
}

int WaitSocketsReady(SocketWait* entries, size_t count, int64_t wait_us) {
    // A WinSock set holds up to FD_SETSIZE sockets by count, not by value.
    if (count > FD_SETSIZE) return -1;
    fd_set readable, writable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    for (size_t i = 0; i < count; ++i) {
        if (entries[i].want_read) FD_SET(Native(entries[i].handle), &readable);
        if (entries[i].want_write) {
            FD_SET(Native(entries[i].handle), &writable);
            FD_SET(Native(entries[i].handle), &failed);  // where a failed connect shows
        }
    }
    timeval wait{};
    if (wait_us >= 0) {
        wait.tv_sec = static_cast<long>(wait_us / 1000000);
        wait.tv_usec = static_cast<long>(wait_us % 1000000);
    }
    if (count == 0) {
        Sleep(wait_us < 0 ? INFINITE : static_cast<DWORD>(wait_us / 1000));
        return 0;
    }
    int result = select(0, &readable, &writable, &failed, wait_us >= 0 ? &wait : nullptr);
    if (result == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? 0 : -1;
    int ready = 0;
    for (size_t i = 0; i < count; ++i) {
        SOCKET native = Native(entries[i].handle);
        entries[i].readable = entries[i].want_read && FD_ISSET(native, &readable);
        entries[i].writable = entries[i].want_write && (FD_ISSET(native, &writable) || FD_ISSET(native, &failed));
        if (entries[i].readable || entries[i].writable) ++ready;
    }
    return ready;
}

namespace {
volatile std::sig_atomic_t stop_signal_noted = 0;
// The C runtime calls the handler on a thread of its own for Ctrl-C and Ctrl-Break, and
// puts the default back before it: the handler takes the signal again.
extern "C" void NoteStopSignal(int signal_number) {
    stop_signal_noted = 1;
    std::signal(signal_number, NoteStopSignal);
}
}  // namespace

void CatchStopSignals() {
    for (int signal_number : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal_number, NoteStopSignal);
}

bool StopSignalNoted() { return stop_signal_noted != 0; }

void BlockStopSignalsInThisThread() {}

}  // namespace platform
