// The remote value query: request bytes, reply text and its number conversion, and the
// server's ways of not answering, against a peer on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

#include "net/remote_value.h"
#include "net_test_peer.h"

namespace {

struct FloatCase {
    std::string text;
    char separator;
    std::optional<double> value;  // none: the conversion error
};

TEST(ReplyTextToFloat, AcceptsOnlyTheNumberForm) {
    const std::vector<FloatCase> cases = {
        {"-157", '.', -157},         {"  12  ", '.', 12},
        {"1E3", '.', 1000},          {"+2.5e-1", '.', 0.25},
        {" -0.125E+2 ", '.', -12.5}, {"15", ',', 15},  // a whole number reads the same everywhere
        {"1,5", ',', 1.5},           {"1.5", ',', std::nullopt},
        {"1,5", '.', std::nullopt},  {"12\r\n", '.', std::nullopt},  // a line end is not a blank
        {"\t12", '.', std::nullopt}, {"", '.', std::nullopt},
        {"   ", '.', std::nullopt},  {"-", '.', std::nullopt},
        {"1.", '.', std::nullopt},   {".5", '.', std::nullopt},
        {"1E", '.', std::nullopt},   {"1E+", '.', std::nullopt},
        {"1 2", '.', std::nullopt},  {"1,000", '.', std::nullopt},  // no thousands separators
        {"0x10", '.', std::nullopt}, {"inf", '.', std::nullopt},
        {"nan", '.', std::nullopt},  {"1E400", '.', std::nullopt},  // beyond the double range
        {"1E-400", '.', 0},          {"0.0000001E-400", '.', 0},
    };
    for (const FloatCase& c : cases) {
        std::string label = "'" + c.text + "' with '" + c.separator + "'";
        if (c.value) {
            double value = std::nan("");
            EXPECT_EQ(RaisedMessage([&] { value = ReplyTextToFloat(c.text, c.separator); }), "(nothing raised)")
                << label;
            EXPECT_DOUBLE_EQ(value, *c.value) << label;
        } else {
            EXPECT_EQ(RaisedMessage([&] { ReplyTextToFloat(c.text, c.separator); }),
                      "'" + c.text + "' is not a valid floating point value")
                << label;
        }
    }
}

TEST(ReplyText, EndsAtTheFirstNulOrTheLastByte) {
    const uint8_t bytes[] = {'7', 0, '8', 0};
    EXPECT_EQ(ReplyText(bytes, 4), "7");
    const uint8_t no_nul[] = {'4', '2'};
    EXPECT_EQ(ReplyText(no_nul, 2), "42");
    EXPECT_EQ(ReplyText(bytes, 0), "");
    EXPECT_EQ(ReplyText(bytes, -104), "");  // a failed read: nothing of the buffer
    EXPECT_EQ(ReplyText(nullptr, 3), "");
}

class RemoteValueQuery : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(listener_.Ok());
        NetClient = ConnectedClient(listener_.Port());
        peer_ = listener_.Accept();
    }
    void TearDown() override { NetClient.reset(); }

    TestListener listener_;
    std::unique_ptr<TestPeer> peer_;
};

TEST_F(RemoteValueQuery, NotConnectedGivesZeroAndSendsNothing) {
    NetClient->SetPort(listener_.PortText());  // disconnects
    ASSERT_FALSE(NetClient->IsConnected());
    EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), 0.0);
    EXPECT_TRUE(peer_->SeesClosed());  // nothing came before the close
    NetClient.reset();
    EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), 0.0);
}

TEST_F(RemoteValueQuery, SendsOffsetSizeCodeAndNul) {
    for (auto [offset, wire] : {std::pair<int32_t, std::string>{2114, std::string("2114,2,4\0", 9)},
                                std::pair<int32_t, std::string>{-5, std::string("-5,2,4\0", 7)}}) {
        std::thread server([&, expected = wire] {
            std::string request = peer_->ReadAvailable(2000);
            EXPECT_EQ(request, expected);
            peer_->Send(std::string("1\0", 2));
        });
        EXPECT_EQ(QueryRemoteValue(offset, "2", "4"), 1.0);
        server.join();
    }
}

TEST_F(RemoteValueQuery, TakesTheReplyUpToItsNul) {
    struct Case {
        std::string reply;
        double value;
    };
    const std::vector<Case> cases = {
        {std::string("-157\0", 5), -157},
        {std::string("  12  \0", 7), 12},
        {std::string("1E3\0", 4), 1000},
        {std::string("7\0"
                     "8\0",
                     4),
         7},         // two replies in one arrival: the second is lost
        {"99", 99},  // no NUL: the text ends with the bytes received
    };
    for (const Case& c : cases) {
        peer_->Send(c.reply);
        platform::SleepMilliseconds(50);  // the whole reply is there before the query looks
        EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), c.value);
        peer_->ReadAvailable(200);  // the request
    }
}

TEST_F(RemoteValueQuery, ReplyWithLineEndIsNotANumberAndKeepsTheConnection) {
    peer_->Send(std::string("12\r\n\0", 5));
    platform::SleepMilliseconds(50);
    EXPECT_EQ(RaisedMessage([] { QueryRemoteValue(2114, "2", "4"); }), "'12\r\n' is not a valid floating point value");
    EXPECT_TRUE(NetClient->IsConnected());
}

// Every way of losing the connection during a query gives 0, no error, and a client
// that is no longer connected, so that the main loop reconnects.
TEST_F(RemoteValueQuery, LostConnectionGivesZeroAndDisconnects) {
    struct Case {
        const char* fault;
        bool reset;           // a reset, not an orderly close
        bool before_request;  // between two queries, not while one waits
    } cases[] = {
        {"closes instead of replying", false, false},
        {"resets instead of replying", true, false},
        {"resets between two queries", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        auto end = [&] { c.reset ? peer_->Reset() : peer_->Close(); };
        if (c.before_request) {
            end();
            platform::SleepMilliseconds(50);  // the reset has arrived before the send
        }
        std::thread server([&] {
            if (c.before_request) return;
            peer_->ReadAvailable(2000);
            end();
        });
        EXPECT_EQ(RaisedMessage([] { EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), 0.0); }), "(nothing raised)");
        server.join();
        EXPECT_FALSE(NetClient->IsConnected());
        EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), 0.0);  // not connected: nothing sent
        // A new connection for the next case.
        SetUp();
    }
}

TEST_F(RemoteValueQuery, NoReplyWithinTwoSecondsCountsAsLost) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), 0.0);
    double waited_s = SecondsSince(start);
    EXPECT_GE(waited_s, 1.9);
    EXPECT_LT(waited_s, 3.0);
    EXPECT_FALSE(NetClient->IsConnected());
    EXPECT_EQ(peer_->ReadAvailable(200), std::string("2114,2,4\0", 9));
    EXPECT_TRUE(peer_->SeesClosed());
}

TEST_F(RemoteValueQuery, ReplyOneSecondLateIsStillTaken) {
    std::thread server([&] {
        peer_->ReadAvailable(2000);
        platform::SleepMilliseconds(1000);
        peer_->Send(std::string("-42\0", 4));
    });
    EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), -42.0);
    server.join();
}

}  // namespace
