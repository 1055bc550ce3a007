// IPv4 TCP sockets with one meaning on both platforms: WinSock 1.1 on Windows, Berkeley
// sockets on Linux. Error numbers are WinSock's on both; the net library builds on this.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A socket handle as the program keeps it: 32 bits, -1 for none.
using SocketHandle = int32_t;
inline constexpr SocketHandle kNoSocket = -1;

// The platform's IPv4 socket address, byte for byte: family, port and address in
// network byte order, eight zero bytes.
struct SocketAddress {
    uint16_t family = 2;
    uint16_t port_net = 0;
    uint32_t address_net = 0;
    uint8_t zero[8] = {};
};
static_assert(sizeof(SocketAddress) == 16, "the platform's address structure has 16 bytes");

inline constexpr uint16_t kAddressFamilyInet = 2;
inline constexpr uint32_t kNoIpv4Address = 0xFFFFFFFFu;       // what inet_addr gives for no address
inline constexpr uint32_t kLoopbackAddressNet = 0x0100007Fu;  // 127.0.0.1 as it lies in memory

// The socket start-up of the process (WSAStartup 1.1 on Windows, nothing on Linux):
// 0, or the start-up's error number. May be called more than once.
int StartSocketModule();

// Number of the last failed socket call or host look-up, in WinSock numbering (errno
// and host look-up errors are translated by name on Linux).
int LastSocketError();

SocketHandle OpenTcpSocket();  // socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), or kNoSocket
// connect, given up after limit_ms (the error is then "Connection timed out"): 0 or -1.
// The socket is blocking again afterwards.
int ConnectSocket(SocketHandle handle, const SocketAddress& address, int limit_ms);
int ShutdownSocket(SocketHandle handle);  // both directions
int CloseSocket(SocketHandle handle);

// Waits until the socket is ready for reading (or writing): the count of ready sockets
// (0 or 1), 0 when the wait ran out, -1 on error. wait_us < 0 waits without a limit.
// Signals do not end the wait early.
int WaitSocketReady(SocketHandle handle, bool for_writing, int64_t wait_us);

int PendingByteCount(SocketHandle handle, uint32_t& count);               // FIONREAD: 0, else non-zero
int ReceiveBytes(SocketHandle handle, uint8_t* buffer, int32_t count);    // recv: count, 0 closed, <0 error
int SendBytes(SocketHandle handle, const uint8_t* bytes, int32_t count);  // send: count taken, -1 error

uint32_t ParseIpv4Text(const std::string& text);                  // inet_addr
std::string Ipv4Text(uint32_t address_net);                       // inet_ntoa
bool LookUpHost(const std::string& name, uint32_t& address_net);  // gethostbyname, first address
bool LookUpService(const std::string& name, uint16_t& port_net);  // getservbyname, any protocol
int PeerAddressOf(SocketHandle handle, SocketAddress& address);   // getpeername: 0 or -1

uint16_t HostToNet16(uint16_t value);
uint16_t NetToHost16(uint16_t value);

void SleepMilliseconds(uint32_t milliseconds);

// The decimal separator of the user's regional settings.
char DecimalSeparator();

// For the development data server and the tests: a listening socket on the address and
// port (0 picks a free port), or kNoSocket; the next waiting connection; the port a
// socket is bound to (host order); the sizes of its send and receive buffers; a close
// that resets.
SocketHandle ListenTcp(uint32_t address_net, uint16_t port, int backlog);
SocketHandle AcceptConnection(SocketHandle listener);
uint16_t LocalPortOf(SocketHandle handle);
void SetSocketBufferSizes(SocketHandle handle, int bytes);
// SO_LINGER with no time: closing the socket then resets the connection.
void SetResetOnClose(SocketHandle handle);

// For the development tools (bridges to simulators, a data server of many clients):
// non-blocking sockets, datagrams and a wait on several sockets at once.
int SetSocketNonBlocking(SocketHandle handle);  // 0 or -1
// A connect on a non-blocking socket: 0 connected, 1 under way (wait until writable,
// then ask ConnectOutcome), -1 failed (LastSocketError() tells why).
int StartConnect(SocketHandle handle, const SocketAddress& address);
// 0 when the connection stands, else its WinSock error number (e.g. kConnectionRefusedError).
int ConnectOutcome(SocketHandle handle);
inline constexpr int kConnectionRefusedError = 10061;  // WSAECONNREFUSED
// A UDP socket bound to the address and port (0: any), or kNoSocket. On Windows a
// datagram that the far end refused with ICMP is not reported to later receives.
SocketHandle OpenUdpSocket(uint32_t address_net, uint16_t port);
int SendDatagram(SocketHandle handle, const SocketAddress& to, const uint8_t* bytes, int32_t count);  // count or -1
// One waiting datagram and its sender: its full length (more than `count` when it did
// not fit; what fitted is in the buffer), or -1 when none waits or on error. Never blocks
// a non-blocking socket.
int ReceiveDatagram(SocketHandle handle, uint8_t* buffer, int32_t count, SocketAddress& from);
struct SocketWait {
    SocketHandle handle = kNoSocket;
    bool want_read = false;
    bool want_write = false;
    bool readable = false;  // also set for a closed or failed connection
    bool writable = false;  // also set for a connect that failed
};
// Waits until one of the sockets is ready as wanted: the count of ready ones, 0 when the
// wait ran out, -1 on error (an interrupted wait counts as run out). wait_us < 0: no limit.
int WaitSocketsReady(SocketWait* entries, size_t count, int64_t wait_us);

}  // namespace platform
