// The socket library module: TLxIpSocket and the module's socket start-up, which runs
// once when the program loads, before its main code.
#include "net/ip_socket.h"

#include <cstdio>

#include "common/error.h"
#include "common/text.h"
#include "platform/dialogs.h"
#include "platform/system.h"

namespace {

constexpr const char* kStartupError = "WSAStartup error #%s";
constexpr const char* kInvalidAddress = "Invalid address: ";
constexpr const char* kInvalidPort = "Invalid port: ";
constexpr const char* kNotAnInteger = "'%s' is not a valid integer value";
constexpr const char* kSocketError = "Socket error: %s, as text: %s";
constexpr const char* kNoConnection = "No connection established";
constexpr const char* kSendFailed = "TcpSend went wrong, Message: %s";
constexpr const char* kIoctlFailed = "Ioctl went wrong, message: ";
constexpr const char* kReceiveFailed = "TcpRcv went wrong, message: ";

constexpr int64_t kWritableWait_us = 10;
constexpr int kWritableTries = 10;
constexpr int32_t kReceiveWait_s = 1;

// Socket start-up before main. Nothing of the program may run without it, and no
// handler exists yet to report the failure, so it is shown here and ends the process.
struct TLxSocketModuleStart {
    TLxSocketModuleStart() {
        int result = platform::StartSocketModule();
        if (result == 0) return;
        std::string text = FormatText(kStartupError, {std::to_string(result)});
        std::fprintf(stderr, "%s\n", text.c_str());
        platform::ShowMessageBox(text, "Application Error",
                                 platform::kBoxOk | platform::kBoxIconError | platform::kBoxTaskModal);
        platform::ExitProcess(1);
    }
} socket_module_start;

[[noreturn]] void RaiseSocketError(const std::string& error_text, int error_number) {
    throw EVarioError(FormatText(kSocketError, {std::to_string(error_number), error_text}));
}

bool AllDecimalDigits(const std::string& text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::string LxTrim(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
    return text.substr(first, last - first);
}

std::string LxErrorText(int error_number) {
    switch (error_number) {
        case 0: return "No Error";
        case 10004: return "Interrupted system call";
        case 10009: return "Bad file number";
        case 10013: return "Permission denied";
        case 10014: return "Bad address";
        case 10022: return "Invalid argument";
        case 10024: return "Too many open files";
        case 10035: return "Operation would block";
        case 10036: return "Operation now in progress";
        case 10037: return "Operation already in progress";
        case 10038: return "Socket operation on non-socket";
        case 10039: return "Destination address required";
        case 10040: return "Message too long";
        case 10041: return "Protocol wrong type for socket";
        case 10042: return "Protocol not available";
        case 10043: return "Protocol not supported";
        case 10044: return "Socket type not supported";
        case 10045: return "Operation not supported on socket";
        case 10046: return "Protocol family not supported";
        case 10047: return "Address family not supported by protocol family";
        case 10048: return "Address already in use";
        case 10049: return "Address not available";
        case 10050: return "Network is down";
        case 10051: return "Network is unreachable";
        case 10052: return "Network dropped connection on reset";
        case 10053: return "Connection aborted";
        case 10054: return "Connection reset by peer";
        case 10055: return "No buffer space available";
        case 10056: return "Socket is already connected";
        case 10057: return "Socket is not connected";
        case 10058: return "Can't send after socket shutdown";
        case 10059: return "Too many references: can't splice";
        case 10060: return "Connection timed out";
        case 10061: return "Connection refused";
        case 10062: return "Too many levels of symbolic links";
        case 10063: return "File name too long";
        case 10064: return "Host is down";
        case 10065: return "No route to host";
        case 10066: return "Directory not empty";
        case 10067: return "Too many processes";
        case 10068: return "Too many users";
        case 10069: return "Disc quota exceeded";
        case 10070: return "Stale NFS file handle";
        case 10071: return "Too many levels of remote in path";
        case 10091: return "Network sub-system is unusable";
        case 10092: return "WinSock DLL cannot support this application";
        case 10093: return "WinSock not initialized";
        case 11001: return "Host not found";
        case 11002: return "Non-authoritative host not found";
        case 11003: return "Non-recoverable error";
        case 11004: return "";
        default: return "Not a WinSock error";
    }
}

std::string ResolveAddress(const std::string& address) {
    std::string trimmed = LxTrim(address);
    if (trimmed.empty()) return trimmed;
    if (platform::ParseIpv4Text(trimmed) != platform::kNoIpv4Address) {
        // inet_addr also takes a bare number such as 123; a server address needs dots.
        if (trimmed.find('.') == std::string::npos) throw EVarioError(kInvalidAddress + trimmed);
        return trimmed;
    }
    uint32_t address_net = 0;
    if (!platform::LookUpHost(trimmed, address_net)) throw EVarioError(kInvalidAddress + trimmed);
    return platform::Ipv4Text(address_net);
}

TLxIpSocket::TLxIpSocket() = default;

TLxIpSocket::~TLxIpSocket() {
    Close();
    receive_buffer_.reset();
}

int32_t TLxIpSocket::QueryInterface(const TLxInterfaceId& id, void** object) {
    if (object == nullptr) return kLxNoInterface;
    if (id == kLxUnknownId) {
        *object = static_cast<ILxUnknown*>(this);
        AddRef();
        return kLxOk;
    }
    *object = nullptr;
    return kLxNoInterface;
}

int32_t TLxIpSocket::AddRef() { return ++reference_count_; }

int32_t TLxIpSocket::Release() {
    int32_t remaining = --reference_count_;
    if (remaining == 0) delete this;
    return remaining;
}

platform::SocketHandle TLxIpSocket::Handle() { return handle_; }

void TLxIpSocket::Attach(platform::SocketHandle handle) {
    if (handle_ != platform::kNoSocket) Disconnect();
    if (handle == platform::kNoSocket) return;
    handle_ = handle;
    open_ = true;
}

int32_t TLxIpSocket::Connect() { return platform::ConnectSocket(handle_, address_, kConnectLimit_ms); }

int32_t TLxIpSocket::Close() {
    if (handle_ == platform::kNoSocket) return -1;
    platform::ShutdownSocket(handle_);
    int32_t result = platform::CloseSocket(handle_);
    open_ = false;
    readable_seen_ = false;
    handle_ = platform::kNoSocket;
    return result;
}

void TLxIpSocket::Disconnect() {
    if (!open_) return;
    Close();
    if (OnDisconnect) OnDisconnect(*this);
}

void TLxIpSocket::SetAddress(const std::string& address) {
    if (open_) Disconnect();
    std::string trimmed = LxTrim(address);
    if (trimmed.empty()) return;
    address_text_ = ResolveAddress(trimmed);
    address_.address_net = platform::ParseIpv4Text(address_text_);
    address_.family = platform::kAddressFamilyInet;
}

void TLxIpSocket::SetPort(const std::string& port) {
    if (open_) Disconnect();
    std::string trimmed = LxTrim(port);
    if (trimmed.empty()) return;
    if (AllDecimalDigits(trimmed)) {
        int64_t value = 0;
        for (char c : trimmed) {
            value = value * 10 + (c - '0');
            if (value > 2147483647) throw EVarioError(FormatText(kNotAnInteger, {QuotedValue(trimmed)}));
        }
        address_.port_net = platform::HostToNet16(static_cast<uint16_t>(value & 0xFFFF));
        port_text_ = trimmed;
        return;
    }
    uint16_t port_net = 0;
    if (!platform::LookUpService(trimmed, port_net)) throw EVarioError(kInvalidPort + trimmed);
    address_.port_net = port_net;
    port_text_ = std::to_string(platform::NetToHost16(port_net));
}

std::string TLxIpSocket::GetAddress() {
    if (handle_ == platform::kNoSocket) return address_text_;
    if (platform::PeerAddressOf(handle_, address_) != 0) throw EVarioError(ErrorText());
    return platform::Ipv4Text(address_.address_net);
}

std::string TLxIpSocket::GetPort() {
    if (handle_ == platform::kNoSocket) return port_text_;
    if (platform::PeerAddressOf(handle_, address_) != 0) throw EVarioError(ErrorText());
    return std::to_string(platform::NetToHost16(address_.port_net));
}

bool TLxIpSocket::WaitReadable(int32_t wait_s) { return WaitReadableMs(wait_s >= 0 ? int64_t{wait_s} * 1000 : -1); }

bool TLxIpSocket::WaitReadableMs(int64_t wait_ms) {
    if (handle_ == platform::kNoSocket) return false;
    int64_t wait_us = wait_ms >= 0 ? wait_ms * 1000 : -1;
    int result = platform::WaitSocketReady(handle_, false, wait_us);
    if (result < 0) {
        int error_number = platform::LastSocketError();
        RaiseSocketError(LxErrorText(error_number), error_number);
    }
    readable_seen_ = result > 0;
    return readable_seen_;
}

bool TLxIpSocket::WaitWritable() {
    int result = platform::WaitSocketReady(handle_, true, kWritableWait_us);
    if (result < 0) {
        int error_number = platform::LastSocketError();
        RaiseSocketError(LxErrorText(error_number), error_number);
    }
    return result > 0;
}

bool TLxIpSocket::Send(const uint8_t* bytes, int32_t count) {
    if (!open_) throw EVarioError(kNoConnection);
    bool writable = false;
    uint32_t sleep_ms = 1;
    for (int attempt = 0; attempt < kWritableTries && !writable; ++attempt) {
        writable = WaitWritable();
        if (!writable) {
            platform::SleepMilliseconds(sleep_ms);
            sleep_ms *= 2;
        }
    }
    if (!writable) return false;
    if (platform::SendBytes(handle_, bytes, count) > 0) return true;
    ReportError(FormatText(kSendFailed, {ErrorText()}));
    Disconnect();
    return false;
}

const uint8_t* TLxIpSocket::Receive(int32_t& count, bool& received) {
    received = false;
    if (!readable_seen_ && !WaitReadable(kReceiveWait_s)) return nullptr;
    readable_seen_ = false;
    count = 0;
    uint32_t pending = 0;
    if (platform::PendingByteCount(handle_, pending) != 0) {
        ReportError(kIoctlFailed + ErrorText());
        return nullptr;
    }
    count = static_cast<int32_t>(pending);
    receive_buffer_.reset();
    if (count > 0) receive_buffer_.reset(new uint8_t[static_cast<size_t>(count)]);
    if (count > 0) {
        int result = platform::ReceiveBytes(handle_, receive_buffer_.get(), count);
        if (result < 0) ReportError(kReceiveFailed + ErrorText());
        count = result;
    }
    received = count > 0;
    return receive_buffer_.get();
}

std::string TLxIpSocket::ErrorText() { return LxErrorText(platform::LastSocketError()); }

void TLxIpSocket::ReportError(const std::string& report) {
    if (OnError) OnError(report);
}

void TLxIpSocket::SetName(const std::string& name) { name_ = name; }

std::string TLxIpSocket::GetName() { return name_; }
