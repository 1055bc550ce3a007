// WinSock 1.1 behind the neutral socket calls. Error numbers are WinSock's own.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "platform/sockets.h"

namespace platform {
namespace {

SOCKET Native(SocketHandle handle) { return static_cast<SOCKET>(static_cast<uint32_t>(handle)); }

SocketHandle FromNative(SOCKET socket_value) {
    return socket_value == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket_value);
}

}  // namespace

int StartSocketModule() {
    WSADATA data;
    return WSAStartup(0x0101, &data);
}

int LastSocketError() { return WSAGetLastError(); }

SocketHandle OpenTcpSocket() { return FromNative(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }

int ConnectSocket(SocketHandle handle, const SocketAddress& address, int limit_ms) {
    sockaddr_in native;
    std::memcpy(&native, &address, sizeof native);
    // Non-blocking for the attempt only: a host that drops the SYNs must not hold the
    // caller for the system's own connect time-out.
    u_long non_blocking = 1;
    if (ioctlsocket(Native(handle), FIONBIO, &non_blocking) != 0) return -1;
    int result = connect(Native(handle), reinterpret_cast<const sockaddr*>(&native), sizeof native);
    int error = result == 0 ? 0 : WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
        // Writable once connected; a refused attempt shows in the exception set.
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(Native(handle), &writable);
        FD_SET(Native(handle), &failed);
        timeval wait{limit_ms / 1000, (limit_ms % 1000) * 1000};
        int ready = select(handle + 1, nullptr, &writable, &failed, &wait);
        if (ready == SOCKET_ERROR) {
            error = WSAGetLastError();
        } else if (ready == 0) {
            error = WSAETIMEDOUT;
        } else {
            int socket_error = 0;
            int length = sizeof socket_error;
            if (getsockopt(Native(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socket_error), &length) != 0)
                socket_error = WSAGetLastError();
            error = FD_ISSET(Native(handle), &failed) && socket_error == 0 ? WSAECONNREFUSED : socket_error;
        }
    }
    u_long blocking = 0;
    ioctlsocket(Native(handle), FIONBIO, &blocking);
    WSASetLastError(error);
    return error == 0 ? 0 : -1;
}

int ShutdownSocket(SocketHandle handle) { return shutdown(Native(handle), SD_BOTH); }

int CloseSocket(SocketHandle handle) { return closesocket(Native(handle)); }

int WaitSocketReady(SocketHandle handle, bool for_writing, int64_t wait_us) {
    // A WinSock set holds sockets by count, not by value: any handle fits.
    fd_set set;
    FD_ZERO(&set);
    FD_SET(Native(handle), &set);
    timeval wait{};
    if (wait_us >= 0) {
        wait.tv_sec = static_cast<long>(wait_us / 1000000);
        wait.tv_usec = static_cast<long>(wait_us % 1000000);
    }
    int result = select(handle + 1, for_writing ? nullptr : &set, for_writing ? &set : nullptr, nullptr,
                        wait_us >= 0 ? &wait : nullptr);
    return result == SOCKET_ERROR ? -1 : result;
}

int PendingByteCount(SocketHandle handle, uint32_t& count) {
    u_long pending = 0;
    int result = ioctlsocket(Native(handle), FIONREAD, &pending);
    count = result == 0 ? static_cast<uint32_t>(pending) : 0;
    return result;
}

int ReceiveBytes(SocketHandle handle, uint8_t* buffer, int32_t count) {
    return recv(Native(handle), reinterpret_cast<char*>(buffer), count, 0);
}

int SendBytes(SocketHandle handle, const uint8_t* bytes, int32_t count) {
    int sent = send(Native(handle), reinterpret_cast<const char*>(bytes), count, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

uint32_t ParseIpv4Text(const std::string& text) { return inet_addr(text.c_str()); }

std::string Ipv4Text(uint32_t address_net) {
    in_addr address{};
    address.s_addr = address_net;
    const char* text = inet_ntoa(address);
    return text ? text : "";
}

bool LookUpHost(const std::string& name, uint32_t& address_net) {
    hostent* entry = gethostbyname(name.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) return false;
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
    int length = sizeof native;
    if (getpeername(Native(handle), reinterpret_cast<sockaddr*>(&native), &length) != 0) return -1;
    std::memcpy(static_cast<void*>(&address), &native, sizeof address);
    return 0;
}

uint16_t HostToNet16(uint16_t value) { return htons(value); }
uint16_t NetToHost16(uint16_t value) { return ntohs(value); }

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

char DecimalSeparator() {
    char text[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, sizeof text) > 1) return text[0];
    return '.';
}

SocketHandle ListenTcp(uint32_t address_net, uint16_t port, int backlog) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) return kNoSocket;
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_port = htons(port);
    native.sin_addr.s_addr = address_net;
    if (bind(listener, reinterpret_cast<sockaddr*>(&native), sizeof native) != 0 || listen(listener, backlog) != 0) {
        int saved = WSAGetLastError();
        closesocket(listener);
        WSASetLastError(saved);
        return kNoSocket;
    }
    return FromNative(listener);
}

SocketHandle AcceptConnection(SocketHandle listener) { return FromNative(accept(Native(listener), nullptr, nullptr)); }

uint16_t LocalPortOf(SocketHandle handle) {
    sockaddr_in native{};
    int length = sizeof native;
    if (getsockname(Native(handle), reinterpret_cast<sockaddr*>(&native), &length) != 0) return 0;
    return ntohs(native.sin_port);
}

void SetSocketBufferSizes(SocketHandle handle, int bytes) {
    setsockopt(Native(handle), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    setsockopt(Native(handle), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

void SetResetOnClose(SocketHandle handle) {
    linger hard{1, 0};
    setsockopt(Native(handle), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
}

}  // namespace platform
