// The remote value query against a running vario-dataserver, started by the end-to-end
// script tests/e2e/net_dataserver.sh, which passes the servers' ports in the environment
// (so that the Windows build can be run against the Linux server). Skipped otherwise.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "net/remote_value.h"
#include "net_test_peer.h"
#include "platform/system.h"

namespace {

class DataServer : public testing::Test {
protected:
    void TearDown() override { NetClient.reset(); }

    // Connects NetClient to the server whose port the variable names, as the program
    // does: port first, then address.
    bool ConnectTo(const char* variable) {
        std::string port = platform::EnvironmentValue(variable);
        if (port.empty()) return false;
        NetClient = std::make_unique<TLxTcpBlockClient>();
        NetClient->SetPort(port);
        NetClient->SetAddress("127.0.0.1");
        return true;
    }
};

#define CONNECT_OR_SKIP(variable)                                                    \
    do {                                                                             \
        if (!ConnectTo(variable)) GTEST_SKIP() << variable << " not set: no server"; \
    } while (0)

TEST_F(DataServer, AnswersTheVerticalSpeedAndZeroForOtherOffsets) {
    CONNECT_OR_SKIP("VARIO_DATASERVER_VALUE_PORT");  // --value -157
    ASSERT_TRUE(NetClient->Connect());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), -157.0);
        EXPECT_EQ(QueryRemoteValue(-5, "2", "4"), 0.0);
    }
}

TEST_F(DataServer, ReplyWithBlanksAroundTheNumber) {
    CONNECT_OR_SKIP("VARIO_DATASERVER_BLANKS_PORT");  // --raw '  12  \0'
    ASSERT_TRUE(NetClient->Connect());
    EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), 12.0);
}

TEST_F(DataServer, ReplyWithLineEndIsNotANumber) {
    CONNECT_OR_SKIP("VARIO_DATASERVER_LINE_END_PORT");  // --raw '12\r\n\0'
    ASSERT_TRUE(NetClient->Connect());
    EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), std::nullopt);
    EXPECT_TRUE(NetClient->IsConnected());
}

TEST_F(DataServer, ServerClosingInsteadOfReplyingEndsTheQueryAndTakesAReconnection) {
    CONNECT_OR_SKIP("VARIO_DATASERVER_CLOSING_PORT");  // --close-after 0
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(NetClient->Connect()) << round;
        EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), std::nullopt);
        EXPECT_FALSE(NetClient->IsConnected());
        EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), std::nullopt);
    }
}

TEST_F(DataServer, ConnectionAttemptsSucceedOnceTheServerListens) {
    CONNECT_OR_SKIP("VARIO_DATASERVER_DELAYED_PORT");  // --listen-delay
    auto start = std::chrono::steady_clock::now();
    bool connected = false;
    while (!(connected = NetClient->Connect()) && SecondsSince(start) < 60) {
        EXPECT_FALSE(NetClient->IsConnected());
        platform::SleepMilliseconds(200);
    }
    ASSERT_TRUE(connected);
    EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), 33.0);  // --value 33
}

TEST_F(DataServer, ReplyFollowsTheUsersDecimalSeparator) {
    // The script runs this once more in a comma locale, and says which separator to expect.
    std::string expected = platform::EnvironmentValue("VARIO_EXPECT_DECIMAL_SEPARATOR");
    char separator = platform::DecimalSeparator();
    if (!expected.empty()) {
        EXPECT_EQ(std::string(1, separator), expected);
    }
    const std::pair<const char*, std::string> servers[] = {{"VARIO_DATASERVER_COMMA_PORT", "1,5"},
                                                           {"VARIO_DATASERVER_POINT_PORT", "1.5"}};
    for (const auto& [variable, reply] : servers) {
        CONNECT_OR_SKIP(variable);  // --raw with the reply and a NUL
        ASSERT_TRUE(NetClient->Connect());
        if (reply[1] == separator) {
            EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), 1.5) << reply;
        } else {
            EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), std::nullopt) << reply;
        }
        NetClient.reset();
    }
    // A whole number reads the same in every locale.
    CONNECT_OR_SKIP("VARIO_DATASERVER_VALUE_PORT");
    ASSERT_TRUE(NetClient->Connect());
    EXPECT_EQ(QueryRemoteValue(2114, "2", "4"), -157.0);
}

}  // namespace
