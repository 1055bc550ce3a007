// The socket library module (historically LxTcpIpcUdp_0): TLxIpSocket, one IPv4 TCP
// socket behind the counted interface ILxSocketInterface, with address and port
// resolution, readiness tests, a bounded send back-off and the WinSock error texts.
// TLxTcpBlockClient builds on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/lx_counted.h"
#include "platform/sockets.h"

// The socket as its user sees it; has no identifier of its own.
class ILxSocketInterface : public ILxUnknown {
public:
    virtual void Disconnect() = 0;
    virtual int32_t Connect() = 0;
    virtual bool Send(const uint8_t* bytes, int32_t count) = 0;
    virtual const uint8_t* Receive(int32_t& count, bool& received) = 0;
    virtual bool WaitReadable(int32_t wait_s) = 0;
    virtual std::string GetPort() = 0;
    virtual void SetAddress(const std::string& address) = 0;
    virtual std::string GetAddress() = 0;
    virtual std::string ErrorText() = 0;
    virtual platform::SocketHandle Handle() = 0;
    virtual void Attach(platform::SocketHandle handle) = 0;
    virtual void SetPort(const std::string& port) = 0;
    virtual int32_t Close() = 0;
    virtual void SetName(const std::string& name) = 0;
    virtual std::string GetName() = 0;

protected:
    ~ILxSocketInterface() = default;
};

class TLxIpSocket : public ILxSocketInterface {
public:
    using ErrorHandler = std::function<void(const std::string& report)>;
    using DisconnectHandler = std::function<void(TLxIpSocket& sender)>;

    // The markers of a port and an address that have never been set.
    static constexpr const char* kPortUnset = "<unset>";
    static constexpr const char* kAddressUnknown = "<unknown>";
    // The longest a connection attempt may hold the gauge.
    static constexpr int kConnectLimit_ms = 2000;

    TLxIpSocket();  // Create; the count is 0 until the first reference is taken

    int32_t QueryInterface(const TLxInterfaceId& id, void** object) override;
    int32_t AddRef() override;
    int32_t Release() override;

    virtual bool WaitWritable();
    // WaitReadable with the wait in milliseconds; negative waits without limit.
    bool WaitReadableMs(int64_t wait_ms);
    void Disconnect() override;
    int32_t Connect() override;
    bool Send(const uint8_t* bytes, int32_t count) override;
    const uint8_t* Receive(int32_t& count, bool& received) override;
    bool WaitReadable(int32_t wait_s) override;
    std::string GetPort() override;
    void SetPort(const std::string& port) override;
    std::string GetAddress() override;
    void SetAddress(const std::string& address) override;
    int32_t Close() override;

    std::string ErrorText() override;
    platform::SocketHandle Handle() override;
    void Attach(platform::SocketHandle handle) override;
    void SetName(const std::string& name) override;
    std::string GetName() override;

    // Passes a report that does not stop the operation to OnError, if set.
    void ReportError(const std::string& report);

    // The stored address structure, as connect uses it.
    const platform::SocketAddress& Address() const { return address_; }

    ErrorHandler OnError;
    DisconnectHandler OnDisconnect;

protected:
    virtual ~TLxIpSocket();  // only through the last Release

private:
    int32_t reference_count_ = 0;
    std::string name_ = "<_blocking_client>";
    platform::SocketHandle handle_ = platform::kNoSocket;
    bool open_ = false;
    // Set when a readiness test found data (or the peer's close) waiting: that stays so
    // until a receive or a close, so the receive need not test again.
    bool readable_seen_ = false;
    platform::SocketAddress address_;
    std::string port_text_ = kPortUnset;
    std::string address_text_ = kAddressUnknown;
    std::unique_ptr<uint8_t[]> receive_buffer_;
};

// The English text of a socket error number in WinSock numbering.
std::string LxErrorText(int error_number);

// The address text to store for a given text: a dotted numeric address as given, a
// host name as its first address. Raises "Invalid address: ..." otherwise.
std::string ResolveAddress(const std::string& address);

// Drops every leading and trailing character whose code is 32 or below.
std::string LxTrim(const std::string& text);
