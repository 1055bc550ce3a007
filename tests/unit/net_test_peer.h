// The far end of the net library's tests: a listener and accepted peers on 127.0.0.1,
// on a port the system picks, driven directly through the platform's socket calls.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "net/lx_tcp_block_client.h"
#include "platform/sockets.h"
#include "raised_message.h"

class TestPeer {
public:
    explicit TestPeer(platform::SocketHandle handle) : handle_(handle) {}
    ~TestPeer() { Close(); }
    TestPeer(const TestPeer&) = delete;
    TestPeer& operator=(const TestPeer&) = delete;

    platform::SocketHandle Handle() const { return handle_; }

    void Send(const std::string& bytes) {
        ASSERT_EQ(platform::SendBytes(handle_, reinterpret_cast<const uint8_t*>(bytes.data()),
                                      static_cast<int32_t>(bytes.size())),
                  static_cast<int>(bytes.size()));
    }

    // Everything that arrives within the wait, read until the line goes quiet for a moment.
    std::string ReadAvailable(int wait_ms = 500) {
        std::string got;
        int64_t wait_us = int64_t{wait_ms} * 1000;
        while (platform::WaitSocketReady(handle_, false, wait_us) > 0) {
            uint8_t chunk[65536];
            int n = platform::ReceiveBytes(handle_, chunk, sizeof chunk);
            if (n <= 0) break;
            got.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(n));
            wait_us = 50000;
        }
        return got;
    }

    // True when the other side has closed the connection (an end of stream or a reset).
    bool SeesClosed(int wait_ms = 2000) {
        if (platform::WaitSocketReady(handle_, false, int64_t{wait_ms} * 1000) <= 0) return false;
        uint8_t byte;
        return platform::ReceiveBytes(handle_, &byte, 1) <= 0;
    }

    void Close() {
        if (handle_ == platform::kNoSocket) return;
        platform::ShutdownSocket(handle_);
        platform::CloseSocket(handle_);
        handle_ = platform::kNoSocket;
    }

    // Ends the connection with a reset instead of an orderly close.
    void Reset() {
        if (handle_ == platform::kNoSocket) return;
        platform::SetResetOnClose(handle_);
        platform::CloseSocket(handle_);
        handle_ = platform::kNoSocket;
    }

private:
    platform::SocketHandle handle_;
};

class TestListener {
public:
    explicit TestListener(int backlog = 4) {
        handle_ = platform::ListenTcp(platform::kLoopbackAddressNet, 0, backlog);
        if (handle_ != platform::kNoSocket) port_ = platform::LocalPortOf(handle_);
    }
    ~TestListener() { Close(); }
    TestListener(const TestListener&) = delete;
    TestListener& operator=(const TestListener&) = delete;

    bool Ok() const { return handle_ != platform::kNoSocket && port_ != 0; }
    uint16_t Port() const { return port_; }
    std::string PortText() const { return std::to_string(port_); }

    std::unique_ptr<TestPeer> Accept() { return std::make_unique<TestPeer>(platform::AcceptConnection(handle_)); }

    void Close() {
        if (handle_ == platform::kNoSocket) return;
        platform::CloseSocket(handle_);
        handle_ = platform::kNoSocket;
    }

private:
    platform::SocketHandle handle_ = platform::kNoSocket;
    uint16_t port_ = 0;
};

// Connections that fill the accept queue of a listener that never accepts: the system
// then drops further connection requests, as a host that does not answer does.
class AcceptQueueFiller {
public:
    explicit AcceptQueueFiller(uint16_t port) {
        address_.address_net = platform::kLoopbackAddressNet;
        address_.port_net = platform::HostToNet16(port);
        for (int i = 0; i < 8; ++i) {
            platform::SocketHandle filler = platform::OpenTcpSocket();
            if (filler == platform::kNoSocket) break;
            fillers_.push_back(filler);
            if (platform::ConnectSocket(filler, address_, 300) != 0) {
                full_ = true;
                break;
            }
        }
    }
    ~AcceptQueueFiller() {
        for (platform::SocketHandle filler : fillers_) platform::CloseSocket(filler);
    }
    AcceptQueueFiller(const AcceptQueueFiller&) = delete;
    AcceptQueueFiller& operator=(const AcceptQueueFiller&) = delete;

    bool Full() const { return full_; }
    const platform::SocketAddress& Address() const { return address_; }

private:
    platform::SocketAddress address_;
    std::vector<platform::SocketHandle> fillers_;
    bool full_ = false;
};

// A client set to 127.0.0.1 and the port, connected.
inline std::unique_ptr<TLxTcpBlockClient> ConnectedClient(uint16_t port) {
    auto client = std::make_unique<TLxTcpBlockClient>();
    client->SetPort(std::to_string(port));
    client->SetAddress("127.0.0.1");
    EXPECT_TRUE(client->Connect());
    return client;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
