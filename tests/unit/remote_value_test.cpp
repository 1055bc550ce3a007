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

TEST(ReplyNumber, AcceptsOnlyTheNumberForm) {
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
    for (const FloatCase& c : cases)
        EXPECT_EQ(ReplyNumber(c.text, c.separator), c.value) << "'" << c.text << "' with '" << c.separator << "'";
    EXPECT_EQ(NotANumberMessage("12\r\n"), "'12\r\n' is not a valid floating point value");
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

    // A server that reads each request and answers it with the parts, each after its pause.
    struct Part {
        int pause_ms;
        std::string bytes;
    };
    std::thread AnswerWith(std::vector<Part> parts) {
        return std::thread([this, parts] {
            peer_->ReadAvailable(2000);
            for (const Part& part : parts) {
                platform::SleepMilliseconds(static_cast<uint32_t>(part.pause_ms));
                peer_->Send(part.bytes);
            }
        });
    }
    std::optional<double> Query() { return QueryRemoteValue(2114, "2", "4"); }

    TestListener listener_;
    std::unique_ptr<TestPeer> peer_;
};

TEST_F(RemoteValueQuery, NotConnectedGivesNoValueAndSendsNothing) {
    NetClient->SetPort(listener_.PortText());  // disconnects
    ASSERT_FALSE(NetClient->IsConnected());
    EXPECT_EQ(Query(), std::nullopt);
    EXPECT_TRUE(peer_->SeesClosed());  // nothing came before the close
    NetClient.reset();
    EXPECT_EQ(Query(), std::nullopt);
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

// A reply is the bytes up to its NUL, however the network cuts them into arrivals.
TEST_F(RemoteValueQuery, GathersTheReplyUpToItsNul) {
    struct Case {
        const char* name;
        std::vector<Part> parts;
        double value;
    };
    const std::vector<Case> cases = {
        {"whole", {{0, std::string("-157\0", 5)}}, -157},
        {"blanks around", {{0, std::string("  12  \0", 7)}}, 12},
        {"two replies in one arrival: the second is lost",
         {{0, std::string("7\0"
                          "8\0",
                          4)}},
         7},
        {"in two parts, 200 ms apart", {{0, "-6"}, {200, std::string("10\0", 3)}}, -610},
        {"in three parts, the NUL alone", {{0, "1"}, {100, "E3"}, {100, std::string("\0", 1)}}, 1000},
        {"parts over most of the limit", {{0, "-4"}, {1500, std::string("2\0", 2)}}, -42},
    };
    for (const Case& c : cases) {
        std::thread server = AnswerWith(c.parts);
        EXPECT_EQ(Query(), c.value) << c.name;
        server.join();
        EXPECT_TRUE(NetClient->IsConnected()) << c.name;
    }
}

// A reply that is no number: the value is missing, the connection stays, and the
// message is told once on standard error until a good value comes.
TEST_F(RemoteValueQuery, ReplyThatIsNoNumberIsAMissingValueToldOnce) {
    struct Step {
        std::string reply;
        std::optional<double> value;
        std::string told;
    };
    const std::vector<Step> steps = {
        {std::string("5\0", 2), 5, ""},
        {std::string("abc\0", 4), std::nullopt, "'abc' is not a valid floating point value\n"},
        {std::string("\0", 1), std::nullopt, ""},  // the same run of bad replies
        {std::string("12\r\n\0", 5), std::nullopt, ""},
        {std::string("-6\0", 3), -6, ""},
        {std::string("12\r\n\0", 5), std::nullopt, "'12\\x0D\\x0A' is not a valid floating point value\n"},
    };
    for (const Step& step : steps) {
        std::thread server = AnswerWith({{0, step.reply}});
        testing::internal::CaptureStderr();
        std::optional<double> value = Query();
        std::string told = testing::internal::GetCapturedStderr();
        server.join();
        EXPECT_EQ(value, step.value) << step.reply;
        EXPECT_EQ(told, step.told) << step.reply;
        EXPECT_TRUE(NetClient->IsConnected()) << step.reply;
    }
}

// Every way of losing the connection during a query gives no value, no error, and a
// client that is no longer connected, so that the main loop reconnects.
TEST_F(RemoteValueQuery, LostConnectionGivesNoValueAndDisconnects) {
    struct Case {
        const char* fault;
        bool reset;           // a reset, not an orderly close
        bool before_request;  // between two queries, not while one waits
        std::string first_part;
    } cases[] = {
        {"closes instead of replying", false, false, ""},
        {"resets instead of replying", true, false, ""},
        {"resets between two queries", true, true, ""},
        {"closes after the first part of the reply", false, false, "-6"},
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
            if (!c.first_part.empty()) peer_->Send(c.first_part);
            platform::SleepMilliseconds(50);
            end();
        });
        EXPECT_EQ(RaisedMessage([&] { EXPECT_EQ(Query(), std::nullopt); }), "(nothing raised)");
        server.join();
        EXPECT_FALSE(NetClient->IsConnected());
        EXPECT_EQ(Query(), std::nullopt);  // not connected: nothing sent
        // A new connection for the next case.
        SetUp();
    }
}

// No whole reply within 2 s, counted from the request, is a lost connection: a silent
// server, and a reply whose NUL comes too late.
TEST_F(RemoteValueQuery, NoWholeReplyWithinTwoSecondsCountsAsLost) {
    const std::vector<std::vector<Part>> servers = {{}, {{500, "-6"}, {2000, std::string("10\0", 3)}}};
    for (const std::vector<Part>& parts : servers) {
        SCOPED_TRACE(parts.size());
        std::thread server = AnswerWith(parts);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Query(), std::nullopt);
        double waited_s = SecondsSince(start);
        EXPECT_GE(waited_s, 1.9);
        EXPECT_LT(waited_s, 2.5);
        EXPECT_FALSE(NetClient->IsConnected());
        server.join();
        EXPECT_TRUE(peer_->SeesClosed());
        SetUp();
    }
}

// A peer that sends on and on without a NUL is no data server: the connection is
// dropped at once, not after the limit, and nothing it sent is taken as a value.
TEST_F(RemoteValueQuery, EndlessReplyIsDroppedWithoutWaiting) {
    std::thread server = AnswerWith({{0, std::string(5000, '1')}});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Query(), std::nullopt);
    EXPECT_LT(SecondsSince(start), 1.0);
    EXPECT_FALSE(NetClient->IsConnected());
    server.join();
}

}  // namespace
