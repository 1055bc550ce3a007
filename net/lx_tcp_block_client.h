// TLxTcpBlockClient: the blocking TCP client of network mode, over one TLxIpSocket.
// Every operation blocks until done; failures that stop an operation raise EVarioError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/ip_socket.h"

class TLxTcpBlockClient {
public:
    using ErrorHandler = TLxIpSocket::ErrorHandler;
    using DisconnectHandler = TLxIpSocket::DisconnectHandler;

    TLxTcpBlockClient();  // Create
    virtual ~TLxTcpBlockClient();
    TLxTcpBlockClient(const TLxTcpBlockClient&) = delete;
    TLxTcpBlockClient& operator=(const TLxTcpBlockClient&) = delete;

    void SetPort(const std::string& port);        // may raise "Invalid port: ..."
    void SetAddress(const std::string& address);  // may raise "Invalid address: ..."
    std::string GetAddress();
    std::string GetPort();
    bool IsConnected();
    bool Connect();
    void Disconnect();  // closes an open connection; nothing when closed
    bool SendBuffer(const uint8_t* bytes, int32_t count);
    bool SendText(const std::string& text);  // the text and one NUL byte
    // Waits up to wait_s seconds for data; on true, buffer and count give what arrived
    // (the buffer belongs to the socket and lives until its next receive).
    bool Receive(const uint8_t*& buffer, int32_t& count, int wait_s);
    // Receive with the wait in milliseconds.
    bool ReceiveWithin(const uint8_t*& buffer, int32_t& count, int64_t wait_ms);

    virtual void SetErrorHandler(ErrorHandler handler);
    virtual ErrorHandler GetErrorHandler();

    DisconnectHandler OnDisconnect;

private:
    // One counted reference to the socket, and the same socket for its handler slots
    // and the wait in milliseconds, which are not on the interface.
    TLxRef<ILxSocketInterface> socket_ref_;
    TLxIpSocket* socket_ = nullptr;
};

// The one client of network mode; made anew by each window creation.
inline std::unique_ptr<TLxTcpBlockClient> NetClient;
