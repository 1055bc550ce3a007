// TLxIpSocket against real sockets on 127.0.0.1: resolution of addresses and ports,
// disconnecting, counted references, receiving, the send back-off, the error texts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

#include "net/ip_socket.h"
#include "net_test_peer.h"

namespace {

TLxRef<TLxIpSocket> NewSocket() { return TLxRef<TLxIpSocket>(new TLxIpSocket()); }

// A socket set to the listener's address and port, with a new platform handle attached.
TLxRef<TLxIpSocket> AttachedSocket(const TestListener& listener) {
    auto socket = NewSocket();
    socket->SetPort(listener.PortText());
    socket->SetAddress("127.0.0.1");
    socket->Attach(platform::OpenTcpSocket());
    return socket;
}

// The same, connected.
TLxRef<TLxIpSocket> OpenSocket(const TestListener& listener) {
    auto socket = AttachedSocket(listener);
    EXPECT_EQ(socket->Connect(), 0);
    return socket;
}

TEST(LxErrorText, TranslatesWinSockNumbers) {
    const std::vector<std::pair<int, std::string>> rows = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10035, "Operation would block"},
        {10047, "Address family not supported by protocol family"},
        {10054, "Connection reset by peer"},
        {10058, "Can't send after socket shutdown"},
        {10061, "Connection refused"},
        {10071, "Too many levels of remote in path"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11003, "Non-recoverable error"},
        {11004, ""},
        {10030, "Not a WinSock error"},  // between listed numbers
        {10072, "Not a WinSock error"},
        {10090, "Not a WinSock error"},
        {32, "Not a WinSock error"},  // an errno without a WinSock name
        {-1, "Not a WinSock error"},
    };
    for (const auto& [number, text] : rows) EXPECT_EQ(LxErrorText(number), text) << number;
}

TEST(LxErrorText, NamesTheErrorOfARefusedConnection) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto socket = AttachedSocket(listener);
    listener.Close();
    EXPECT_NE(socket->Connect(), 0);
    EXPECT_EQ(socket->ErrorText(), "Connection refused");
}

struct AddressCase {
    const char* text;
    std::optional<std::string> stored;  // none: "Invalid address: " and the trimmed text
};

TEST(LxIpSocket, ResolvesAddressTexts) {
    const std::vector<AddressCase> cases = {
        {"  127.0.0.1  ", "127.0.0.1"}, {"\t10.1.2.3\r\n", "10.1.2.3"},
        {"localhost", "127.0.0.1"},     {"123", std::nullopt},  // a number inet_addr takes, but without a dot
        {" 123 ", std::nullopt},        {"no-such-host.invalid", std::nullopt},
        {"   ", "<unknown>"},  // blank changes nothing
    };
    for (const AddressCase& c : cases) {
        auto socket = NewSocket();
        std::string message = RaisedMessage([&] { socket->SetAddress(c.text); });
        if (c.stored) {
            EXPECT_EQ(message, "(nothing raised)") << c.text;
            EXPECT_EQ(socket->GetAddress(), *c.stored) << c.text;
        } else {
            EXPECT_EQ(message, "Invalid address: " + LxTrim(c.text));
            EXPECT_EQ(socket->GetAddress(), "<unknown>");
        }
    }
    auto socket = NewSocket();
    socket->SetAddress(" 127.0.0.1 ");
    EXPECT_EQ(socket->Address().address_net, platform::kLoopbackAddressNet);
    EXPECT_EQ(socket->Address().family, platform::kAddressFamilyInet);
}

struct PortCase {
    const char* text;
    std::string stored_text;
    int port;           // host order; -1 when the call raises
    std::string error;  // message when it raises
};

TEST(LxIpSocket, ResolvesPortTexts) {
    const std::vector<PortCase> cases = {
        {"8000", "8000", 8000, ""},
        {" 08000 ", "08000", 8000, ""},  // leading zeros stay in the text
        {"65536", "65536", 0, ""},       // the low 16 bits
        {"65537", "65537", 1, ""},
        {"2147483647", "2147483647", 0xFFFF, ""},
        {"ftp", "21", 21, ""},  // a service name becomes its number
        {"2147483648", "<unset>", -1, "'2147483648' is not a valid integer value"},
        {" no-such-service ", "<unset>", -1, "Invalid port: no-such-service"},
        {"-5", "<unset>", -1, "Invalid port: -5"},
        {"  ", "<unset>", 0, ""},  // blank changes nothing
    };
    for (const PortCase& c : cases) {
        auto socket = NewSocket();
        std::string message = RaisedMessage([&] { socket->SetPort(c.text); });
        EXPECT_EQ(message, c.error.empty() ? "(nothing raised)" : c.error) << c.text;
        EXPECT_EQ(socket->GetPort(), c.stored_text) << c.text;
        if (c.port >= 0) {
            EXPECT_EQ(platform::NetToHost16(socket->Address().port_net), c.port) << c.text;
        }
    }
}

TEST(LxIpSocket, SettingAddressOrPortDisconnectsAnOpenSocketEvenWithBlankText) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    for (int which = 0; which < 4; ++which) {
        auto socket = OpenSocket(listener);
        auto peer = listener.Accept();
        int notified = 0;
        socket->OnDisconnect = [&](TLxIpSocket& sender) {
            EXPECT_EQ(&sender, socket.Get());
            ++notified;
        };
        if (which == 0) socket->SetAddress("  ");
        if (which == 1) socket->SetPort("");
        if (which == 2) socket->SetAddress("127.0.0.1");
        if (which == 3) socket->SetPort(listener.PortText());
        EXPECT_EQ(socket->Handle(), platform::kNoSocket) << which;
        EXPECT_EQ(notified, 1) << which;
        EXPECT_TRUE(peer->SeesClosed()) << which;
        // Address and port stay for the next connection.
        EXPECT_EQ(socket->GetAddress(), "127.0.0.1");
        EXPECT_EQ(socket->GetPort(), listener.PortText());
        socket->Disconnect();  // no longer open: nothing happens
        EXPECT_EQ(notified, 1) << which;
    }
}

TEST(LxIpSocket, CloseWithoutHandleReturnsMinusOne) {
    auto socket = NewSocket();
    EXPECT_EQ(socket->Close(), -1);
    EXPECT_EQ(socket->Handle(), platform::kNoSocket);
    EXPECT_FALSE(socket->WaitReadable(5));  // at once, no handle
}

TEST(LxIpSocket, ConnectedSocketReportsThePeersAddressAndPort) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto socket = OpenSocket(listener);
    socket->SetName("gauge");
    EXPECT_EQ(socket->GetName(), "gauge");
    EXPECT_EQ(socket->GetAddress(), "127.0.0.1");
    EXPECT_EQ(socket->GetPort(), listener.PortText());
}

TEST(LxIpSocket, LastReferenceDestroysTheSocketAndClosesItsConnection) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto* socket = new TLxIpSocket();
    EXPECT_EQ(socket->AddRef(), 1);  // counted from 0
    socket->SetPort(listener.PortText());
    socket->SetAddress("127.0.0.1");
    socket->Attach(platform::OpenTcpSocket());
    ASSERT_EQ(socket->Connect(), 0);
    auto peer = listener.Accept();

    void* unknown = nullptr;
    EXPECT_EQ(socket->QueryInterface(kLxUnknownId, &unknown), kLxOk);
    EXPECT_EQ(unknown, static_cast<ILxUnknown*>(socket));
    const TLxInterfaceId other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(socket->QueryInterface(other, &unknown), kLxNoInterface);
    EXPECT_EQ(unknown, nullptr);

    {
        TLxRef<ILxSocketInterface> reference(socket);  // 3
        EXPECT_EQ(socket->Release(), 2);
    }
    EXPECT_FALSE(peer->SeesClosed(100));
    EXPECT_EQ(socket->Release(), 0);  // gone
    EXPECT_TRUE(peer->SeesClosed());
}

TEST(LxIpSocket, ReceiveTakesEverythingPendingInOneBufferOfThatSize) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto socket = OpenSocket(listener);
    auto peer = listener.Accept();
    peer->Send(std::string("7\0", 2));
    peer->Send(std::string("8\0", 2));
    peer->Send("tail");
    platform::SleepMilliseconds(200);  // all three arrived

    int32_t count = -1;
    bool received = false;
    const uint8_t* buffer = socket->Receive(count, received);
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(received);
    ASSERT_EQ(count, 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), 8), std::string("7\0"
                                                                                 "8\0tail",
                                                                                 8));
}

TEST(LxIpSocket, ReceiveFromAPeerThatClosedGivesNothing) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto socket = OpenSocket(listener);
    listener.Accept()->Close();
    int32_t count = -1;
    bool received = true;
    EXPECT_EQ(socket->Receive(count, received), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(received);
}

TEST(LxIpSocket, SendWithoutConnectionRaises) {
    auto socket = NewSocket();
    const uint8_t byte = 0;
    EXPECT_EQ(RaisedMessage([&] { socket->Send(&byte, 1); }), "No connection established");
}

TEST(LxIpSocket, SendToAPeerThatDoesNotReadGivesUpAfterAboutOneSecond) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto socket = AttachedSocket(listener);
    platform::SetSocketBufferSizes(socket->Handle(), 4096);
    ASSERT_EQ(socket->Connect(), 0);
    auto peer = listener.Accept();
    platform::SetSocketBufferSizes(peer->Handle(), 4096);

    std::vector<uint8_t> chunk(256, 'x');
    std::vector<std::string> reports;
    socket->OnError = [&](const std::string& report) { reports.push_back(report); };
    bool sent = true;
    double last_send_s = 0;
    for (int i = 0; i < 20000 && sent; ++i) {
        auto start = std::chrono::steady_clock::now();
        sent = socket->Send(chunk.data(), static_cast<int32_t>(chunk.size()));
        last_send_s = SecondsSince(start);
    }
    ASSERT_FALSE(sent) << "the peer's buffers never filled";
    // Ten tests with 1 + 2 + ... + 512 ms of sleep between them.
    EXPECT_GE(last_send_s, 0.95);
    EXPECT_LT(last_send_s, 3.0);
    EXPECT_TRUE(reports.empty());
    EXPECT_NE(socket->Handle(), platform::kNoSocket);  // the connection stays open
}

TEST(LxIpSocket, FailedSendIsReportedAndDisconnects) {
    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto socket = OpenSocket(listener);
    int notified = 0;
    std::vector<std::string> reports;
    socket->OnError = [&](const std::string& report) { reports.push_back(report); };
    socket->OnDisconnect = [&](TLxIpSocket&) { ++notified; };
    listener.Accept()->Close();
    // The first send after the peer closed meets its reset; a later one fails.
    std::vector<uint8_t> bytes(16, 'x');
    bool sent = true;
    for (int i = 0; i < 50 && sent; ++i) {
        platform::SleepMilliseconds(20);
        sent = socket->Send(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
    EXPECT_FALSE(sent);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("TcpSend went wrong, Message: ", 0), 0u) << reports[0];
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(socket->Handle(), platform::kNoSocket);
}

#ifndef _WIN32
// Signals whose handler does not restart system calls, sent to the waiting thread every
// 50 ms: a wait or a connection attempt still takes its whole time.
TEST(SocketWaits, SignalsDoNotEndTheWaitsEarly) {
    struct sigaction action = {};
    struct sigaction previous = {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    std::atomic<bool> done{false};
    pthread_t waiter = pthread_self();
    std::thread signaller([&] {
        while (!done) {
            platform::SleepMilliseconds(50);
            pthread_kill(waiter, SIGUSR1);
        }
    });

    TestListener listener;
    ASSERT_TRUE(listener.Ok());
    auto socket = OpenSocket(listener);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::WaitSocketReady(socket->Handle(), false, 400000), 0);
    EXPECT_GE(SecondsSince(start), 0.39);

    TestListener dropping(0);
    ASSERT_TRUE(dropping.Ok());
    AcceptQueueFiller filler(dropping.Port());
    ASSERT_TRUE(filler.Full());
    platform::SocketHandle handle = platform::OpenTcpSocket();
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::ConnectSocket(handle, filler.Address(), 400), -1);
    EXPECT_EQ(LxErrorText(platform::LastSocketError()), "Connection timed out");
    EXPECT_GE(SecondsSince(start), 0.39);
    platform::CloseSocket(handle);

    done = true;
    signaller.join();
    sigaction(SIGUSR1, &previous, nullptr);
}
#endif

}  // namespace
