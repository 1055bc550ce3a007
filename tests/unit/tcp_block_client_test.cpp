// TLxTcpBlockClient against real sockets on 127.0.0.1: configuration, connecting,
// sending texts, waiting for data and the closed connection.
#include <gtest/gtest.h>

#include <chrono>

#include "net/lx_tcp_block_client.h"
#include "net_test_peer.h"

namespace {

TEST(TcpBlockClient, ConnectNeedsAddressThenPort) {
    TLxTcpBlockClient client;
    EXPECT_EQ(RaisedMessage([&] { client.Connect(); }), "Server-address not set.");  // address first
    client.SetAddress("   ");
    EXPECT_EQ(RaisedMessage([&] { client.Connect(); }), "Server-address not set.");
    client.SetAddress("127.0.0.1");
    EXPECT_EQ(RaisedMessage([&] { client.Connect(); }), "Server-port not set");
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpBlockClient, ConnectToAClosedPortFailsAndCanBeTriedAgain) {
    uint16_t port;
    {
        TestListener probe;
        ASSERT_TRUE(probe.Ok());
        port = probe.Port();
    }  // nothing listens there now
    TLxTcpBlockClient client;
    client.SetPort(std::to_string(port));
    client.SetAddress("127.0.0.1");
    EXPECT_FALSE(client.Connect());
    EXPECT_FALSE(client.IsConnected());
    EXPECT_FALSE(client.Connect());
    EXPECT_FALSE(client.IsConnected());

    platform::SocketHandle listener = platform::ListenTcp(platform::kLoopbackAddressNet, port, 4);
    if (listener == platform::kNoSocket) GTEST_SKIP() << "port " << port << " was taken meanwhile";
    EXPECT_TRUE(client.Connect());  // the same client, no further set-up
    EXPECT_TRUE(client.IsConnected());
    platform::CloseSocket(listener);
}

TEST(TcpBlockClient, ConnectToAHostThatDropsTheRequestGivesUpAfterTwoSeconds) {
    TestListener listener(0);
    ASSERT_TRUE(listener.Ok());
    AcceptQueueFiller filler(listener.Port());
    ASSERT_TRUE(filler.Full());
    TLxTcpBlockClient client;
    client.SetPort(listener.PortText());
    client.SetAddress("127.0.0.1");
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Connect());
    double waited_s = SecondsSince(start);
    EXPECT_GE(waited_s, 1.9);
    EXPECT_LT(waited_s, 3.0);
    EXPECT_FALSE(client.IsConnected());
}

TEST(TcpBlockClient, ConnectWhileConnectedKeepsTheConnectionAndSendsNothing) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto client = ConnectedClient(listener.Port());
    auto peer = listener.Accept();
    EXPECT_TRUE(client->Connect());
    EXPECT_TRUE(client->IsConnected());
    EXPECT_EQ(peer->ReadAvailable(200), "");
    EXPECT_FALSE(peer->SeesClosed(100));
}

TEST(TcpBlockClient, SendTextAddsOneNul) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto client = ConnectedClient(listener.Port());
    auto peer = listener.Accept();
    EXPECT_TRUE(client->SendText("abc"));
    EXPECT_EQ(peer->ReadAvailable(), std::string("abc\0", 4));
    EXPECT_TRUE(client->SendText(""));
    EXPECT_EQ(peer->ReadAvailable(), std::string("\0", 1));
    const uint8_t bytes[] = {1, 0, 2};
    EXPECT_TRUE(client->SendBuffer(bytes, 3));
    EXPECT_EQ(peer->ReadAvailable(), std::string("\1\0\2", 3));
}

TEST(TcpBlockClient, SendWithoutConnectionRaises) {
    TLxTcpBlockClient client;
    EXPECT_EQ(RaisedMessage([&] { client.SendText("abc"); }), "No connection established");
}

TEST(TcpBlockClient, ReceiveGivesTheArrivedBytes) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto client = ConnectedClient(listener.Port());
    auto peer = listener.Accept();
    peer->Send(std::string("-157\0", 5));
    const uint8_t* buffer = nullptr;
    int32_t count = 0;
    ASSERT_TRUE(client->Receive(buffer, count, 5));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(count)), std::string("-157\0", 5));
}

TEST(TcpBlockClient, ReceiveFromASilentServerWaitsItsTimeAndStaysConnected) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto client = ConnectedClient(listener.Port());
    auto peer = listener.Accept();
    const uint8_t* buffer = nullptr;
    int32_t count = -1;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client->Receive(buffer, count, 5));
    double waited_s = SecondsSince(start);
    EXPECT_GE(waited_s, 4.9);
    EXPECT_LT(waited_s, 8.0);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(client->IsConnected());
}

TEST(TcpBlockClient, ServerCloseDisconnectsAndTheNextReceiveRaises) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto client = ConnectedClient(listener.Port());
    int notified = 0;
    client->OnDisconnect = [&](TLxIpSocket&) { ++notified; };
    listener.Accept()->Close();
    const uint8_t* buffer = nullptr;
    int32_t count = -1;
    EXPECT_FALSE(client->Receive(buffer, count, 5));
    EXPECT_FALSE(client->IsConnected());
    EXPECT_EQ(notified, 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RaisedMessage([&] { client->Receive(buffer, count, 5); }), "No connection established");
    EXPECT_LT(SecondsSince(start), 1.0);  // at once, not after the wait
}

TEST(TcpBlockClient, DestroyingAConnectedClientClosesTheConnection) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto client = ConnectedClient(listener.Port());
    auto peer = listener.Accept();
    EXPECT_EQ(client->GetAddress(), "127.0.0.1");
    EXPECT_EQ(client->GetPort(), listener.PortText());
    client.reset();
    EXPECT_TRUE(peer->SeesClosed());
}

TEST(TcpBlockClient, ErrorHandlerIsTheSocketsReportSlot) {
    TLxTcpBlockClient client;
    EXPECT_FALSE(client.GetErrorHandler());
    std::string got;
    client.SetErrorHandler([&](const std::string& report) { got = report; });
    ASSERT_TRUE(client.GetErrorHandler());
    client.GetErrorHandler()("report");
    EXPECT_EQ(got, "report");
}

}  // namespace
