// The tools' value feeds: the simulators' protocols read from hostile input, the choice of
// source, the live/stale bookkeeping, and the FlightGear and X-Plane feeds against peers
// in this process (a property server that answers, floods or stalls; a UDP simulator).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/sockets.h"
#include "tools/common/feed_protocols.h"
#include "tools/common/simulator_feeds.h"
#include "tools/common/value_feed.h"

namespace {

using namespace std::chrono_literals;

TEST(FeedProtocols, PropertyNumbersAndWhatIsNone) {
    struct Case {
        const char* line;
        std::optional<double> expected;
    } cases[] = {
        {"12.5", 12.5},           {" -3.25\r", -3.25},     {"1e2\r\n", 100},      {"0", 0},
        {"-0.000123", -0.000123}, {"", std::nullopt},      {"\r", std::nullopt},  {"abc", std::nullopt},
        {"12abc", std::nullopt},  {"12 13", std::nullopt}, {"nan", std::nullopt}, {"inf", std::nullopt},
        {"-inf", std::nullopt},   {"1e999", std::nullopt}, {"+5", std::nullopt},  {"/> ", std::nullopt},
        {"-", std::nullopt},      {"1,5", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParsePropertyNumber(c.line), c.expected) << "line '" << c.line << "'";
}

// Collects what a reader hands on.
struct Lines {
    std::vector<std::optional<double>> got;
    PropertyLineReader::LineHandler Handler() {
        return [this](std::optional<double> value) { got.push_back(value); };
    }
};

TEST(FeedProtocols, LinesSplitAcrossArrivalsAreJoined) {
    PropertyLineReader reader;
    Lines lines;
    for (const char* part : {"-1.", "5\r", "\n2", "\r\nx\r\n"}) reader.Append(part, std::strlen(part), lines.Handler());
    ASSERT_EQ(lines.got.size(), 3u);
    EXPECT_EQ(lines.got[0], -1.5);
    EXPECT_EQ(lines.got[1], 2);
    EXPECT_EQ(lines.got[2], std::nullopt);
}

TEST(FeedProtocols, AFloodWithoutLineEndIsDroppedWholeAndTheNextLineCounts) {
    PropertyLineReader reader;
    Lines lines;
    std::string flood(1 << 20, '7');  // a megabyte of digits: no number may come of it
    for (int i = 0; i < 8; ++i) reader.Append(flood.data(), flood.size(), lines.Handler());
    EXPECT_TRUE(lines.got.empty());
    reader.Append("\n4.5\n", 5, lines.Handler());
    ASSERT_EQ(lines.got.size(), 2u);
    EXPECT_EQ(lines.got[0], std::nullopt);
    EXPECT_EQ(lines.got[1], 4.5);
    // A line of exactly the longest length still counts.
    std::string longest(PropertyLineReader::kMaxLineBytes - 1, '0');
    longest += "1\n";
    reader.Append(longest.data(), longest.size(), lines.Handler());
    EXPECT_EQ(lines.got.back(), 1);
}

TEST(FeedProtocols, SubscriptionRequestLayout) {
    auto request = RrefRequest({30, 7, kXPlaneVerticalSpeedDataref});
    ASSERT_EQ(request.size(), 413u);
    EXPECT_EQ(std::memcmp(request.data(), "RREF\0", 5), 0);
    EXPECT_EQ(std::vector<uint8_t>(request.begin() + 5, request.begin() + 13),
              (std::vector<uint8_t>{30, 0, 0, 0, 7, 0, 0, 0}));
    std::string path(reinterpret_cast<const char*>(&request[13]));
    EXPECT_EQ(path, "sim/cockpit2/gauges/indicators/vvi_fpm_pilot");
    for (size_t i = 13 + path.size(); i < request.size(); ++i) ASSERT_EQ(request[i], 0) << "byte " << i;

    auto parsed = ParseRrefRequest(request.data(), request.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->frequency_hz, 30);
    EXPECT_EQ(parsed->index, 7);
    EXPECT_EQ(parsed->dataref, kXPlaneVerticalSpeedDataref);
    EXPECT_FALSE(ParseRrefRequest(request.data(), 412));
    request[3] = 'G';
    EXPECT_FALSE(ParseRrefRequest(request.data(), request.size()));

    // A path longer than the field keeps its NUL.
    auto cut = RrefRequest({0, -1, std::string(500, 'a')});
    EXPECT_EQ(cut[412], 0);
    EXPECT_EQ(ParseRrefRequest(cut.data(), cut.size())->dataref.size(), 399u);
    EXPECT_EQ(ParseRrefRequest(cut.data(), cut.size())->index, -1);
}

TEST(FeedProtocols, AnswerValuesAndHostileDatagrams) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    auto good = RrefAnswer({{9, 1.0f}, {1, -650.5f}});
    EXPECT_EQ(RrefValueOf(good.data(), good.size(), 1), -650.5f);
    EXPECT_EQ(RrefValueOf(good.data(), good.size(), 9), 1.0f);

    struct Case {
        const char* what;
        std::vector<uint8_t> datagram;
    };
    std::vector<uint8_t> oversized = RrefAnswer(std::vector<std::pair<int32_t, float>>(129, {1, 5.0f}));
    std::vector<uint8_t> wrong_magic = good;
    wrong_magic[0] = 'X';
    std::vector<uint8_t> ragged = good;
    ragged.push_back(0);
    Case hostile[] = {
        {"empty", {}},
        {"header only", {'R', 'R', 'E', 'F', ','}},
        {"short pair", std::vector<uint8_t>(good.begin(), good.begin() + 12)},
        {"ragged length", ragged},
        {"oversized", oversized},
        {"wrong magic", wrong_magic},
        {"unknown index only", RrefAnswer({{2, 100.0f}, {-1, 3.0f}})},
        {"NaN", RrefAnswer({{1, nan}})},
        {"infinite", RrefAnswer({{1, inf}})},
        {"minus infinite", RrefAnswer({{1, -inf}})},
    };
    for (const Case& c : hostile)
        EXPECT_EQ(RrefValueOf(c.datagram.data(), c.datagram.size(), 1), std::nullopt) << c.what;
    // The largest answer that fits still counts; a NaN beside a good pair leaves the good one.
    auto largest = RrefAnswer(std::vector<std::pair<int32_t, float>>(128, {1, 5.0f}));
    EXPECT_EQ(RrefValueOf(largest.data(), largest.size(), 1), 5.0f);
    auto mixed = RrefAnswer({{1, 12.0f}, {1, nan}});
    EXPECT_EQ(RrefValueOf(mixed.data(), mixed.size(), 1), 12.0f);
}

TEST(FeedProtocols, ClimbInFeetPerMinuteBecomesDescentPositiveMetresPerMinute) {
    EXPECT_NEAR(MetresPerMinuteOfClimb(1000), -304.8, 0.001);
    EXPECT_NEAR(MetresPerMinuteOfClimb(-500), 152.4, 0.001);
    EXPECT_EQ(VerticalSpeedWord(MetresPerMinuteOfClimb(1000)), -305);
    EXPECT_EQ(VerticalSpeedWord(2.5), 3);
    EXPECT_EQ(VerticalSpeedWord(-2.5), -3);
    EXPECT_EQ(VerticalSpeedWord(1e9), 32767);
    EXPECT_EQ(VerticalSpeedWord(-1e9), -32768);
}

TEST(ValueFeed, SourceOptions) {
    struct Case {
        const char* text;
        bool ok;
        FeedChoice::Kind kind;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"flightgear", true, FeedChoice::Kind::FlightGear, "127.0.0.1", 5401},
        {"flightgear:10.0.0.2", true, FeedChoice::Kind::FlightGear, "10.0.0.2", 5401},
        {"flightgear:sim.local:5500", true, FeedChoice::Kind::FlightGear, "sim.local", 5500},
        {"xplane", true, FeedChoice::Kind::XPlane, "127.0.0.1", 49000},
        {"xplane:192.168.1.20:49001", true, FeedChoice::Kind::XPlane, "192.168.1.20", 49001},
        {"fg", false, {}, "", 0},
        {"flightgear:", false, {}, "", 0},
        {"flightgear::5401", false, {}, "", 0},
        {"flightgear:h:0", false, {}, "", 0},
        {"flightgear:h:65536", false, {}, "", 0},
        {"flightgear:h:", false, {}, "", 0},
        {"xplane:h:1:2", false, {}, "", 0},
        {"xplane:h:-1", false, {}, "", 0},
    };
    for (const Case& c : cases) {
        FeedChoice choice;
        std::string error;
        EXPECT_EQ(ParseFeedSource(c.text, choice, error), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            EXPECT_EQ(choice.kind, FeedChoice::Kind::Profile) << c.text;
            continue;
        }
        EXPECT_EQ(choice.kind, c.kind) << c.text;
        EXPECT_EQ(choice.host, c.host) << c.text;
        EXPECT_EQ(choice.port, c.port) << c.text;
    }
}

TEST(ValueFeed, CommandLineOptionsChooseTheFeed) {
    std::vector<std::string> words = {"tool",     "--value", "-157",    "--port", "5",
                                      "--source", "xplane",  "--value", "x",      "--script"};
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    int argc = static_cast<int>(argv.size());
    FeedChoice choice;
    std::string error;
    int i = 1;
    ASSERT_TRUE(TakeFeedOption(argc, argv.data(), i, choice, error));
    EXPECT_EQ(i, 2);
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(OpenFeed(choice)->Read(0).metres_per_minute, -157);
    i = 3;
    EXPECT_FALSE(TakeFeedOption(argc, argv.data(), i, choice, error));
    i = 5;
    ASSERT_TRUE(TakeFeedOption(argc, argv.data(), i, choice, error));
    EXPECT_EQ(choice.kind, FeedChoice::Kind::XPlane);
    i = 7;
    ASSERT_TRUE(TakeFeedOption(argc, argv.data(), i, choice, error));
    EXPECT_EQ(error, "--value needs a number");
    i = 9;
    error.clear();
    ASSERT_TRUE(TakeFeedOption(argc, argv.data(), i, choice, error));
    EXPECT_EQ(error, "--script needs a value");
}

TEST(ValueFeed, StaleAfterTwoSecondsWithoutAValueAndEachChangeToldOnce) {
    FeedClock::time_point t0{};
    FeedState state("xplane 127.0.0.1:49000", t0);
    EXPECT_FALSE(state.Read(t0).live);
    EXPECT_EQ(state.StatusChange(t0 + 1900ms), "");
    EXPECT_EQ(state.StatusChange(t0 + 2s), "xplane 127.0.0.1:49000: no data for 2 s, retrying");
    EXPECT_EQ(state.StatusChange(t0 + 3s), "");
    state.Note(-42.5, t0 + 3s);
    EXPECT_EQ(state.StatusChange(t0 + 3s), "xplane 127.0.0.1:49000: live");
    EXPECT_EQ(state.StatusChange(t0 + 4s), "");
    FeedReading reading = state.Read(t0 + 4999ms);
    EXPECT_TRUE(reading.live);
    EXPECT_EQ(reading.metres_per_minute, -42.5);
    EXPECT_FALSE(state.Read(t0 + 5s).live);
    EXPECT_EQ(state.StatusChange(t0 + 5s), "xplane 127.0.0.1:49000: no data for 2 s, retrying");
    state.Note(10, t0 + 6s);
    EXPECT_EQ(state.StatusChange(t0 + 6s), "xplane 127.0.0.1:49000: live");
}

// ---- the feeds against peers in this process ----

// The status lines a feed prints, kept for the test.
struct StatusLines {
    std::mutex mutex;
    std::vector<std::string> lines;
    FeedStatusSink Sink() {
        return [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        };
    }
    bool Has(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& l : lines)
            if (l == line) return true;
        return false;
    }
};

template <class Condition>
bool Within(std::chrono::milliseconds limit, Condition condition) {
    auto end = FeedClock::now() + limit;
    while (FeedClock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

// A property server stand-in: a listener on 127.0.0.1 and its connections.
class PropertyServer {
public:
    PropertyServer() {
        listener_ = platform::ListenTcp(platform::kLoopbackAddressNet, 0, 4);
        port_ = platform::LocalPortOf(listener_);
    }
    ~PropertyServer() {
        if (connection_ != platform::kNoSocket) platform::CloseSocket(connection_);
        platform::CloseSocket(listener_);
    }
    uint16_t Port() const { return port_; }

    // Takes the next connection within the wait (the one before is closed); false if none.
    bool AcceptWithin(std::chrono::milliseconds wait) {
        if (platform::WaitSocketReady(listener_, false, wait.count() * 1000) <= 0) return false;
        if (connection_ != platform::kNoSocket) platform::CloseSocket(connection_);
        connection_ = platform::AcceptConnection(listener_);
        return connection_ != platform::kNoSocket;
    }
    // Reads what the feed has sent within the wait.
    std::string Read(std::chrono::milliseconds wait) {
        std::string got;
        while (platform::WaitSocketReady(connection_, false, wait.count() * 1000) > 0) {
            uint8_t chunk[4096];
            int n = platform::ReceiveBytes(connection_, chunk, sizeof chunk);
            if (n <= 0) break;
            got.append(reinterpret_cast<char*>(chunk), static_cast<size_t>(n));
            if (got.find("get") != std::string::npos) break;
            wait = 20ms;
        }
        return got;
    }
    bool Send(const std::string& bytes) {
        return platform::SendBytes(connection_, reinterpret_cast<const uint8_t*>(bytes.data()),
                                   static_cast<int32_t>(bytes.size())) == static_cast<int>(bytes.size());
    }

private:
    platform::SocketHandle listener_ = platform::kNoSocket;
    platform::SocketHandle connection_ = platform::kNoSocket;
    uint16_t port_ = 0;
};

TEST(SimulatorFeeds, FlightGearFeedAsksInDataModeAndFollowsTheAnswers) {
    PropertyServer server;
    StatusLines status;
    FlightGearFeed feed("127.0.0.1", server.Port(), status.Sink());
    ASSERT_TRUE(server.AcceptWithin(3000ms));
    std::string first = server.Read(2000ms);
    EXPECT_EQ(first.rfind("data\r\nget /velocities/vertical-speed-fps\r\n", 0), 0u) << first;
    // Each answer brings the next question; never more than one is waiting.
    for (double feet_per_second : {10.0, -2.5}) {
        ASSERT_TRUE(server.Send(std::to_string(feet_per_second) + "\r\n"));
        std::string next = server.Read(2000ms);
        EXPECT_EQ(next, "get /velocities/vertical-speed-fps\r\n");
        EXPECT_NEAR(feed.Read(0).metres_per_minute, MetresPerMinuteOfClimb(feet_per_second * 60), 1e-9);
    }
    EXPECT_TRUE(feed.Read(0).live);
    EXPECT_TRUE(
        Within(1000ms, [&] { return status.Has("flightgear 127.0.0.1:" + std::to_string(server.Port()) + ": live"); }));
}

TEST(SimulatorFeeds, FlightGearFeedLeavesAStallingServerAndConnectsAgain) {
    PropertyServer server;
    StatusLines status;
    FlightGearFeed feed("127.0.0.1", server.Port(), status.Sink());
    ASSERT_TRUE(server.AcceptWithin(3000ms));
    server.Read(1000ms);
    ASSERT_TRUE(server.Send("3\r\n"));
    ASSERT_TRUE(Within(1000ms, [&] { return feed.Read(0).live; }));
    // Silent from here: stale after 2 s and told so; the connection is given up only
    // later (a slow simulator is not made to take new connections), then a new one comes.
    auto silent_from = FeedClock::now();
    std::string stale_line = "flightgear 127.0.0.1:" + std::to_string(server.Port()) + ": no data for 2 s, retrying";
    ASSERT_TRUE(Within(3000ms, [&] { return status.Has(stale_line); }));
    EXPECT_GE(FeedClock::now() - silent_from, 1900ms);
    EXPECT_FALSE(feed.Read(0).live);
    ASSERT_TRUE(server.AcceptWithin(8000ms)) << "no new connection after the server stalled";
    EXPECT_GE(FeedClock::now() - silent_from, 4900ms);
}

TEST(SimulatorFeeds, FlightGearFeedSurvivesAFloodOfWhatIsNoNumber) {
    PropertyServer server;
    FlightGearFeed feed("127.0.0.1", server.Port(), nullptr);
    ASSERT_TRUE(server.AcceptWithin(3000ms));
    server.Read(1000ms);
    // Garbage as fast as the socket takes it: the feed never goes live on it, keeps its
    // memory bounded (the line reader holds one short line), and gives up the connection.
    std::string garbage(65536, 'x');
    for (size_t i = 0; i < garbage.size(); i += 97) garbage[i] = '\n';
    bool still_open = true;
    auto until = FeedClock::now() + 8s;
    while (FeedClock::now() < until && (still_open = server.Send(garbage))) EXPECT_FALSE(feed.Read(0).live);
    EXPECT_FALSE(still_open) << "the feed kept a connection that gave no number for 8 s";
    // The next server that answers properly is followed again.
    ASSERT_TRUE(server.AcceptWithin(3000ms));
    server.Read(1000ms);
    ASSERT_TRUE(server.Send("-1\r\n"));
    EXPECT_TRUE(Within(1000ms, [&] { return feed.Read(0).live; }));
}

// A UDP simulator stand-in on 127.0.0.1: what the feed sends to it, and answers back.
class DatagramPeer {
public:
    DatagramPeer() {
        socket_ = platform::OpenUdpSocket(platform::kLoopbackAddressNet, 0);
        port_ = platform::LocalPortOf(socket_);
    }
    ~DatagramPeer() { platform::CloseSocket(socket_); }
    uint16_t Port() const { return port_; }

    // The next datagram within the wait, and who sent it; empty when none came.
    std::vector<uint8_t> Receive(std::chrono::milliseconds wait) {
        if (platform::WaitSocketReady(socket_, false, wait.count() * 1000) <= 0) return {};
        std::vector<uint8_t> datagram(2048);
        int got = platform::ReceiveDatagram(socket_, datagram.data(), static_cast<int32_t>(datagram.size()), from_);
        datagram.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return datagram;
    }
    void Answer(const std::vector<uint8_t>& datagram) {
        platform::SendDatagram(socket_, from_, datagram.data(), static_cast<int32_t>(datagram.size()));
    }

private:
    platform::SocketHandle socket_ = platform::kNoSocket;
    platform::SocketAddress from_;
    uint16_t port_ = 0;
};

TEST(SimulatorFeeds, XPlaneFeedSubscribesIgnoresHostileDatagramsAndCancelsAtTheEnd) {
    DatagramPeer simulator;
    StatusLines status;
    auto feed = std::make_unique<XPlaneFeed>("127.0.0.1", simulator.Port(), status.Sink());
    std::vector<uint8_t> request = simulator.Receive(3000ms);
    auto subscription = ParseRrefRequest(request.data(), request.size());
    ASSERT_TRUE(subscription) << "a datagram of " << request.size() << " bytes is no subscription";
    EXPECT_GE(subscription->frequency_hz, 30);
    EXPECT_EQ(subscription->dataref, kXPlaneVerticalSpeedDataref);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<uint8_t> hostile[] = {
        {},
        {'R', 'R', 'E', 'F'},
        std::vector<uint8_t>(4000, 'R'),
        RrefAnswer({{subscription->index + 1, -300.0f}}),
        RrefAnswer({{subscription->index, nan}}),
        RrefAnswer({{subscription->index, -std::numeric_limits<float>::infinity()}}),
    };
    for (const auto& datagram : hostile) simulator.Answer(datagram);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(feed->Read(0).live);

    simulator.Answer(RrefAnswer({{subscription->index, 1000.0f}}));
    ASSERT_TRUE(Within(1000ms, [&] { return feed->Read(0).live; }));
    EXPECT_NEAR(feed->Read(0).metres_per_minute, MetresPerMinuteOfClimb(1000), 1e-4);
    std::string name = "xplane 127.0.0.1:" + std::to_string(simulator.Port());
    EXPECT_TRUE(Within(1000ms, [&] { return status.Has(name + ": live"); }));

    // Nothing more arrives: stale after 2 s, and the subscription is sent again.
    bool renewed = false;
    for (auto end = FeedClock::now() + 5s; !renewed && FeedClock::now() < end;) {
        auto again = simulator.Receive(500ms);
        auto parsed = ParseRrefRequest(again.data(), again.size());
        renewed = parsed && parsed->frequency_hz > 0;
    }
    EXPECT_TRUE(renewed);
    EXPECT_FALSE(feed->Read(0).live);
    EXPECT_TRUE(status.Has(name + ": no data for 2 s, retrying"));

    feed.reset();
    std::vector<uint8_t> last;
    for (auto got = simulator.Receive(1000ms); !got.empty(); got = simulator.Receive(200ms)) last = got;
    auto cancel = ParseRrefRequest(last.data(), last.size());
    ASSERT_TRUE(cancel) << "no cancellation after the feed ended";
    EXPECT_EQ(cancel->frequency_hz, 0);
    EXPECT_EQ(cancel->index, subscription->index);
    EXPECT_EQ(cancel->dataref, kXPlaneVerticalSpeedDataref);
}

}  // namespace
