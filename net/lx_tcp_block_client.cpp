// TLxTcpBlockClient: set the server, connect, send a text, receive with a wait; every
// socket operation goes through the one counted reference to its TLxIpSocket.
#include "net/lx_tcp_block_client.h"

#include "common/error.h"

namespace {
constexpr const char* kAddressNotSet = "Server-address not set.";
constexpr const char* kPortNotSet = "Server-port not set";
constexpr const char* kInvalidSocket = "Invalid socket returned, message: ";
constexpr const char* kNoConnection = "No connection established";
}  // namespace

TLxTcpBlockClient::TLxTcpBlockClient() {
    socket_ = new TLxIpSocket();
    socket_ref_ = TLxRef<ILxSocketInterface>(socket_);
    socket_->OnDisconnect = [this](TLxIpSocket& sender) {
        if (OnDisconnect) OnDisconnect(sender);
    };
}

// Dropping the last reference destroys the socket, which closes the connection.
TLxTcpBlockClient::~TLxTcpBlockClient() {
    socket_->OnDisconnect = nullptr;
    socket_ = nullptr;
    socket_ref_.Reset();
}

void TLxTcpBlockClient::SetPort(const std::string& port) { socket_ref_->SetPort(port); }

void TLxTcpBlockClient::SetAddress(const std::string& address) { socket_ref_->SetAddress(address); }

std::string TLxTcpBlockClient::GetAddress() { return socket_ref_->GetAddress(); }

std::string TLxTcpBlockClient::GetPort() { return socket_ref_->GetPort(); }

bool TLxTcpBlockClient::IsConnected() { return socket_ref_->Handle() != platform::kNoSocket; }

bool TLxTcpBlockClient::Connect() {
    if (IsConnected()) return true;
    if (GetAddress() == TLxIpSocket::kAddressUnknown) throw EVarioError(kAddressNotSet);
    if (GetPort() == TLxIpSocket::kPortUnset) throw EVarioError(kPortNotSet);
    platform::SocketHandle handle = platform::OpenTcpSocket();
    if (handle == platform::kNoSocket) throw EVarioError(kInvalidSocket + socket_ref_->ErrorText());
    socket_ref_->Attach(handle);
    if (socket_ref_->Connect() == 0) return true;
    socket_ref_->Close();
    return false;
}

void TLxTcpBlockClient::Disconnect() { socket_ref_->Disconnect(); }

bool TLxTcpBlockClient::SendBuffer(const uint8_t* bytes, int32_t count) { return socket_ref_->Send(bytes, count); }

bool TLxTcpBlockClient::SendText(const std::string& text) {
    // c_str() holds the terminating NUL right after the characters.
    return SendBuffer(reinterpret_cast<const uint8_t*>(text.c_str()), static_cast<int32_t>(text.size() + 1));
}

bool TLxTcpBlockClient::Receive(const uint8_t*& buffer, int32_t& count, int wait_s) {
    return ReceiveWithin(buffer, count, wait_s >= 0 ? int64_t{wait_s} * 1000 : -1);
}

bool TLxTcpBlockClient::ReceiveWithin(const uint8_t*& buffer, int32_t& count, int64_t wait_ms) {
    buffer = nullptr;
    count = 0;
    bool result = false;
    if (socket_->WaitReadableMs(wait_ms)) {
        bool received = false;
        buffer = socket_ref_->Receive(count, received);
        result = buffer != nullptr;
        if (!received) socket_ref_->Disconnect();
    } else if (socket_ref_->Handle() == platform::kNoSocket) {
        throw EVarioError(kNoConnection);
    }
    return result;
}

void TLxTcpBlockClient::SetErrorHandler(ErrorHandler handler) { socket_->OnError = std::move(handler); }

TLxTcpBlockClient::ErrorHandler TLxTcpBlockClient::GetErrorHandler() { return socket_->OnError; }
