// The tools' value feeds: the simulators' protocols read from hostile input, which values
// and senders count, the choice of source, the live/stale bookkeeping and its status
// lines, and the FlightGear and X-Plane feeds against peers in this process (a property
// server that answers, floods or stalls; a UDP simulator and a neighbour that imitates it).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sockets.h"
#include "tools/common/feed_protocols.h"
#include "tools/common/simulator_feeds.h"
#include "tools/common/value_feed.h"

namespace {

using namespace std::chrono_literals;

constexpr PropertyAnswer Number(double value) { return {PropertyAnswer::Kind::Number, value}; }
constexpr PropertyAnswer kEmpty{PropertyAnswer::Kind::Empty};
constexpr PropertyAnswer kOther{PropertyAnswer::Kind::Other};

TEST(FeedProtocols, PropertyAnswersNumbersEmptyAndWhatIsNoNumber) {
    struct Case {
        const char* line;
        PropertyAnswer expected;
    } cases[] = {
        {"12.5", Number(12.5)},
        {" -3.25\r", Number(-3.25)},
        {"1e2\r\n", Number(100)},
        {"0", Number(0)},
        {"-0.000123", Number(-0.000123)},
        {"", kEmpty},
        {"\r", kEmpty},
        {" \t ", kEmpty},
        {"abc", kOther},
        {"12abc", kOther},
        {"12 13", kOther},
        {"nan", kOther},
        {"inf", kOther},
        {"-inf", kOther},
        {"1e999", kOther},
        {"+5", kOther},
        {"/> ", kOther},
        {"-", kOther},
        {"1,5", kOther},
    };
    for (const Case& c : cases) EXPECT_EQ(ParsePropertyAnswer(c.line), c.expected) << "line '" << c.line << "'";
    EXPECT_EQ(PropertyQuery(kFlightGearInstrumentProperty),
              "get /instrumentation/vertical-speed-indicator/indicated-speed-fpm\r\n");
}

// Collects what a reader hands on.
struct Lines {
    std::vector<PropertyAnswer> got;
    PropertyLineReader::LineHandler Handler() {
        return [this](const PropertyAnswer& answer) { got.push_back(answer); };
    }
};

TEST(FeedProtocols, LinesSplitAcrossArrivalsAreJoined) {
    PropertyLineReader reader;
    Lines lines;
    for (const char* part : {"-1.", "5\r", "\n2", "\r\nx\r\n", "\r\n"})
        reader.Append(part, std::strlen(part), lines.Handler());
    ASSERT_EQ(lines.got.size(), 4u);
    EXPECT_EQ(lines.got[0], Number(-1.5));
    EXPECT_EQ(lines.got[1], Number(2));
    EXPECT_EQ(lines.got[2], kOther);
    EXPECT_EQ(lines.got[3], kEmpty);
}

TEST(FeedProtocols, AFloodWithoutLineEndIsDroppedWholeAndTheNextLineCounts) {
    PropertyLineReader reader;
    Lines lines;
    std::string flood(1 << 20, '7');  // a megabyte of digits: no number may come of it
    for (int i = 0; i < 8; ++i) reader.Append(flood.data(), flood.size(), lines.Handler());
    EXPECT_TRUE(lines.got.empty());
    reader.Append("\n4.5\n", 5, lines.Handler());
    ASSERT_EQ(lines.got.size(), 2u);
    EXPECT_EQ(lines.got[0], kOther);
    EXPECT_EQ(lines.got[1], Number(4.5));
    // A line of exactly the longest length still counts.
    std::string longest(PropertyLineReader::kMaxLineBytes - 1, '0');
    longest += "1\n";
    reader.Append(longest.data(), longest.size(), lines.Handler());
    EXPECT_EQ(lines.got.back(), Number(1));
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

TEST(FeedProtocols, ClimbInFeetPerMinuteBecomesMetresPerMinuteOfDescent) {
    EXPECT_NEAR(MetresPerMinuteOfDescent(1000), -304.8, 0.001);
    EXPECT_NEAR(MetresPerMinuteOfDescent(-500), 152.4, 0.001);
    EXPECT_EQ(VerticalSpeedWord(MetresPerMinuteOfDescent(1000)), -305);
    EXPECT_EQ(VerticalSpeedWord(2.5), 3);
    EXPECT_EQ(VerticalSpeedWord(-2.5), -3);
    EXPECT_EQ(VerticalSpeedWord(1e9), 32767);
    EXPECT_EQ(VerticalSpeedWord(-1e9), -32768);
}

TEST(FeedProtocols, VerticalSpeedsBeyondAHundredThousandFeetPerMinuteAreNoData) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        double climb_fpm;
        bool counts;
    } cases[] = {
        {0, true},       {-650.5, true}, {100000, true}, {-100000, true}, {100000.01, false}, {-100001, false},
        {3.4e38, false}, {1e308, false}, {nan, false},   {inf, false},    {-inf, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsVerticalSpeedValue(c.climb_fpm), c.counts) << c.climb_fpm;
}

platform::SocketAddress Address(const char* dotted, uint16_t port) {
    platform::SocketAddress address;
    address.address_net = platform::ParseIpv4Text(dotted);
    address.port_net = platform::HostToNet16(port);
    return address;
}

TEST(FeedProtocols, XPlaneIsHeardFromItsAddressAnyLoopbackForLoopbackAndOnePortPerSubscription) {
    XPlaneSenderRule rule;
    EXPECT_FALSE(rule.Admits(Address("127.0.0.1", 49000))) << "nothing is heard before a subscription";

    // Subscribed at the host's own name, 127.0.1.1: X-Plane answers from 127.0.0.1.
    rule.Subscribed(platform::ParseIpv4Text("127.0.1.1"));
    struct Case {
        const char* address;
        uint16_t port;
        bool admitted;
    } before_an_answer[] = {
        {"127.0.0.1", 49000, true}, {"127.0.1.1", 50000, true},  {"127.255.0.9", 1, true},
        {"10.0.0.2", 49000, false}, {"128.0.0.1", 49000, false}, {"0.0.0.0", 49000, false},
    };
    for (const Case& c : before_an_answer)
        EXPECT_EQ(rule.Admits(Address(c.address, c.port)), c.admitted) << c.address << ":" << c.port;
    // The first answer taken fixes the port until the next subscription.
    rule.Took(Address("127.0.0.1", 49001));
    rule.Took(Address("127.0.0.1", 50000));
    EXPECT_TRUE(rule.Admits(Address("127.0.0.1", 49001)));
    EXPECT_TRUE(rule.Admits(Address("127.0.1.1", 49001)));
    EXPECT_FALSE(rule.Admits(Address("127.0.0.1", 50000)));
    EXPECT_FALSE(rule.Admits(Address("127.0.0.1", 49000)));
    rule.Subscribed(platform::ParseIpv4Text("127.0.1.1"));
    EXPECT_TRUE(rule.Admits(Address("127.0.0.1", 50000)));

    // Another machine: its address alone.
    rule.Subscribed(platform::ParseIpv4Text("192.168.1.10"));
    EXPECT_TRUE(rule.Admits(Address("192.168.1.10", 49000)));
    EXPECT_FALSE(rule.Admits(Address("192.168.1.11", 49000)));
    EXPECT_FALSE(rule.Admits(Address("127.0.0.1", 49000)));
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

// Reads the words as a tool does; the choice, or the message of the first bad option.
struct FeedOptions {
    FeedChoice choice;
    std::string error;
    std::vector<std::string> others;  // the options that are not the feed's

    explicit FeedOptions(std::vector<std::string> words) {
        std::vector<char*> argv{const_cast<char*>("tool")};
        for (auto& word : words) argv.push_back(word.data());
        OptionReader reader(static_cast<int>(argv.size()), argv.data());
        try {
            while (reader.Next())
                if (!TakeFeedOption(reader, choice)) others.push_back(reader.Name());
            CheckFeedChoice(choice);
        } catch (const EVarioError& e) {
            error = e.what();
        }
    }
};

TEST(FeedProtocols, CondorLinesGiveTheNamedClimbOrNothing) {
    const std::string datagram = "time=12.5\r\nvario=1.5\r\nevario=2.25\r\nnettovario=-0.5\r\nintegrator=0.75\r\n";
    const std::string huge = "evario=" + std::string(60000, '1');
    struct Case {
        std::string datagram;
        const char* name;
        std::optional<double> expected;
    } cases[] = {
        {datagram, "evario", 2.25},
        {datagram, "vario", 1.5},
        {datagram, "nettovario", -0.5},
        {datagram, "integrator", 0.75},
        {"evario=3\nvario=1", "evario", 3},  // LF alone, no line end at the close
        {"vario=1\r\n", "evario", std::nullopt},
        {"evario=-100\n", "evario", -100},
        {"evario=100.01\n", "evario", std::nullopt},
        {"evario=1e3\n", "evario", std::nullopt},
        {"evario=nan\n", "evario", std::nullopt},
        {"evario=inf\n", "evario", std::nullopt},
        {"evario=1e999\n", "evario", std::nullopt},
        {"evario=\n", "evario", std::nullopt},
        {"evario=1,5\n", "evario", std::nullopt},
        {"evario=2 m/s\n", "evario", std::nullopt},
        {"=2\n", "evario", std::nullopt},
        {"xevario=2\nevario x=2\n", "evario", std::nullopt},
        {"evario=1\r\nevario=2\r\n", "evario", 2},                // the last line decides
        {"evario=1\r\nevario=oops\r\n", "evario", std::nullopt},  // even when it is no number
        {huge, "evario", std::nullopt},
        {std::string("evario=1\0\n", 10), "evario", std::nullopt},
        {"", "evario", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CondorValueOf(c.datagram, c.name), c.expected) << "'" << c.datagram.substr(0, 40) << "' " << c.name;
}

TEST(FeedProtocols, CondorFirstSenderSpeaksUntilSilentForTwoSeconds) {
    auto sender = [](uint16_t port) {
        platform::SocketAddress address;
        address.address_net = platform::kLoopbackAddressNet;
        address.port_net = platform::HostToNet16(port);
        return address;
    };
    platform::SocketAddress first = sender(4001), second = sender(4002);
    platform::SocketAddress first_elsewhere = first;
    first_elsewhere.address_net = platform::ParseIpv4Text("192.0.2.7");
    CondorSenderRule::Clock::time_point t0{};
    CondorSenderRule rule;
    EXPECT_TRUE(rule.Admits(first, t0));
    EXPECT_FALSE(rule.Admits(second, t0 + 1s));
    EXPECT_FALSE(rule.Admits(first_elsewhere, t0 + 1s));  // same port, another machine
    EXPECT_TRUE(rule.Admits(first, t0 + 1500ms));
    EXPECT_FALSE(rule.Admits(second, t0 + 3499ms));  // the first was heard 1.999 s before
    EXPECT_TRUE(rule.Admits(second, t0 + 3500ms));   // silent for 2 s: handed over
    EXPECT_FALSE(rule.Admits(first, t0 + 3600ms));
    EXPECT_TRUE(rule.Admits(second, t0 + 5s));
}

TEST(ValueFeed, CommandLineOptionsChooseTheFeed) {
    FeedOptions fixed({"--value", "-157", "--port", "--source", "xplane", "--value", "12"});
    EXPECT_EQ(fixed.error, "");
    EXPECT_EQ(fixed.others, std::vector<std::string>{"--port"});
    EXPECT_EQ(OpenFeed(fixed.choice)->Read(0).metres_per_minute, 12);

    FeedOptions flightgear({"--quantity", "flight-model", "--source", "flightgear:sim.local"});
    EXPECT_EQ(flightgear.error, "");
    EXPECT_EQ(flightgear.choice.kind, FeedChoice::Kind::FlightGear);
    EXPECT_EQ(flightgear.choice.quantity, FlightGearQuantity::FlightModel);
    EXPECT_EQ(FeedOptions({"--source", "flightgear", "--quantity", "instrument"}).choice.quantity,
              FlightGearQuantity::Instrument);
    EXPECT_EQ(FeedOptions({"--source", "flightgear"}).choice.quantity, FlightGearQuantity::Automatic);
    EXPECT_EQ(FeedOptions({"--quantity", "te", "--source", "flightgear"}).choice.quantity,
              FlightGearQuantity::TotalEnergy);
    EXPECT_EQ(FeedOptions({"--source", "xplane"}).choice.xplane_quantity, XPlaneQuantity::Indicator);
    EXPECT_EQ(FeedOptions({"--source", "xplane", "--quantity", "te"}).choice.xplane_quantity,
              XPlaneQuantity::TotalEnergy);

    FeedOptions condor({"--source", "condor"});
    EXPECT_EQ(condor.error, "");
    EXPECT_EQ(condor.choice.kind, FeedChoice::Kind::Condor);
    EXPECT_EQ(condor.choice.port, 55278);
    EXPECT_EQ(condor.choice.condor_quantity, "evario");
    FeedOptions netto({"--quantity", "nettovario", "--source", "condor:4000"});
    EXPECT_EQ(netto.error, "");
    EXPECT_EQ(netto.choice.port, 4000);
    EXPECT_EQ(netto.choice.condor_quantity, "nettovario");

    struct Case {
        std::vector<std::string> words;
        const char* error;
    } bad[] = {
        {{"--value", "x"}, "--value needs a number, not 'x'"},
        {{"--value", "inf"}, "--value needs a number, not 'inf'"},
        {{"--script"}, "--script needs a value"},
        {{"--source", "fg"}, "unknown source 'fg' (flightgear[:HOST[:PORT]], xplane[:HOST[:PORT]] or condor[:PORT])"},
        {{"--source", "xplane:h:8e3"}, "bad port in source 'xplane:h:8e3' (1 to 65535)"},
        {{"--source", "condor:0"}, "bad port in source 'condor:0' (1 to 65535)"},
        {{"--source", "condor:host:5"}, "bad port in source 'condor:host:5' (1 to 65535)"},
        {{"--source", "flightgear", "--quantity", "vsi"},
         "--quantity with --source flightgear needs instrument, flight-model or te, not 'vsi'"},
        {{"--source", "xplane", "--quantity", "instrument"},
         "--quantity with --source xplane needs te, not 'instrument'"},
        {{"--quantity", "evario", "--source", "xplane"}, "--quantity with --source xplane needs te, not 'evario'"},
        {{"--source", "condor", "--quantity", "te"},
         "--quantity with --source condor needs vario, evario, nettovario or integrator, not 'te'"},
        {{"--quantity", "instrument"}, "--quantity goes with --source flightgear, xplane or condor"},
    };
    for (const Case& c : bad) EXPECT_EQ(FeedOptions(c.words).error, c.error) << c.words[0];
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

TEST(ValueFeed, StatusSaysWhyTheFeedIsNotLiveOncePerChange) {
    FeedClock::time_point t0{};
    FeedState state("flightgear sim:5401", t0);
    // A reason known at once is told at once, and once while it lasts.
    state.SetProblem("host not found");
    EXPECT_EQ(state.StatusChange(t0), "flightgear sim:5401: host not found, retrying");
    state.SetProblem("host not found");
    EXPECT_EQ(state.StatusChange(t0 + 3s), "");
    state.SetProblem("connection refused");
    EXPECT_EQ(state.StatusChange(t0 + 4s), "flightgear sim:5401: connection refused, retrying");
    EXPECT_EQ(state.StatusChange(t0 + 5s), "");
    // Connected, but nothing comes: no reason known any more.
    state.SetProblem("");
    EXPECT_EQ(state.StatusChange(t0 + 6s), "flightgear sim:5401: no data for 2 s, retrying");
    // A value ends the problem; the live line carries a note, and a new note is told.
    state.SetProblem("no such property /a");
    state.SetLiveNote("from /b");
    state.Note(1, t0 + 7s);
    EXPECT_EQ(state.Problem(), "");
    EXPECT_EQ(state.StatusChange(t0 + 7s), "flightgear sim:5401: live, from /b");
    EXPECT_EQ(state.StatusChange(t0 + 8s), "");
    state.SetLiveNote("");
    EXPECT_EQ(state.StatusChange(t0 + 8s), "flightgear sim:5401: live");
    // A problem while values still come waits until they stop.
    state.SetProblem("connection refused");
    EXPECT_EQ(state.StatusChange(t0 + 8s), "");
    EXPECT_EQ(state.StatusChange(t0 + 9s), "flightgear sim:5401: connection refused, retrying");
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
    bool Has(const std::string& line) { return Count(line) > 0; }
    size_t Count(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
    }
    std::string All() {
        std::lock_guard<std::mutex> lock(mutex);
        std::string all;
        for (const auto& l : lines) all += "\n  " + l;
        return all;
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
    FlightGearFeed feed("127.0.0.1", server.Port(), FlightGearQuantity::Automatic, status.Sink());
    ASSERT_TRUE(server.AcceptWithin(3000ms));
    std::string first = server.Read(2000ms);
    EXPECT_EQ(first, "data\r\nget /instrumentation/vertical-speed-indicator/indicated-speed-fpm\r\n");
    // Each answer (feet per minute) brings the next question; never more than one is waiting.
    for (double climb_fpm : {600.0, -150.0}) {
        ASSERT_TRUE(server.Send(std::to_string(climb_fpm) + "\r\n"));
        std::string next = server.Read(2000ms);
        EXPECT_EQ(next, "get /instrumentation/vertical-speed-indicator/indicated-speed-fpm\r\n");
        EXPECT_NEAR(feed.Read(0).metres_per_minute, MetresPerMinuteOfDescent(climb_fpm), 1e-9);
    }
    EXPECT_TRUE(feed.Read(0).live);
    EXPECT_TRUE(
        Within(1000ms, [&] { return status.Has("flightgear 127.0.0.1:" + std::to_string(server.Port()) + ": live"); }));
}

// The questions a feed of the quantity asks and the live line, when the aircraft answers
// the instrument empty (it has none) and the flight model with a number.
TEST(SimulatorFeeds, FlightGearTotalEnergyAsksAltitudeSpeedAndClockInOneRound) {
    const std::string round =
        "get /position/altitude-ft\r\nget /fdm/jsbsim/velocities/vtrue-kts\r\nget /sim/time/elapsed-sec\r\n";
    PropertyServer server;
    FlightGearFeed feed("127.0.0.1", server.Port(), FlightGearQuantity::TotalEnergy, nullptr);
    ASSERT_TRUE(server.AcceptWithin(3000ms));
    EXPECT_EQ(server.Read(2000ms), "data\r\n" + round);
    // 100 kt at 3000 ft, then 5 m higher a second later at the same speed: +5 m/s, which
    // is raw -300. The answers of a round may come cut anywhere.
    ASSERT_TRUE(server.Send("3000\r\n100\r\n10\r\n"));
    EXPECT_EQ(server.Read(2000ms), round);
    EXPECT_FALSE(feed.Read(0).live);  // one sample is no rate yet
    ASSERT_TRUE(server.Send(std::to_string(3000 + 5 * kFeetPerMetre) + "\r\n10"));
    ASSERT_TRUE(server.Send("0\r\n11\r\n"));
    EXPECT_EQ(server.Read(2000ms), round);
    EXPECT_TRUE(Within(1000ms, [&] { return feed.Read(0).live; }));
    EXPECT_NEAR(feed.Read(0).metres_per_minute, -300, 1e-6);
    // Then the same height, 20 kt slower: speed lost without height gained is sink.
    ASSERT_TRUE(server.Send(std::to_string(3000 + 5 * kFeetPerMetre) + "\r\n80\r\n12\r\n"));
    EXPECT_EQ(server.Read(2000ms), round);
    EXPECT_TRUE(Within(1000ms, [&] { return feed.Read(0).metres_per_minute > 0; }));
}

TEST(SimulatorFeeds, FlightGearFeedFallsBackToTheFlightModelOnlyWhenAllowed) {
    const std::string instrument = "get /instrumentation/vertical-speed-indicator/indicated-speed-fpm\r\n",
                      flight_model = "get /velocities/vertical-speed-fps\r\n";
    struct Case {
        FlightGearQuantity quantity;
        std::string first_question, second_question;
        std::string status;  // after the line "10", or after the empty one when no value comes
    } cases[] = {
        {FlightGearQuantity::Automatic, instrument, flight_model,
         "live, from /velocities/vertical-speed-fps: the aircraft has no "
         "/instrumentation/vertical-speed-indicator/indicated-speed-fpm"},
        {FlightGearQuantity::Instrument, instrument, instrument,
         "no such property /instrumentation/vertical-speed-indicator/indicated-speed-fpm, retrying"},
        {FlightGearQuantity::FlightModel, flight_model, flight_model,
         "no such property /velocities/vertical-speed-fps, retrying"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        PropertyServer server;
        StatusLines status;
        FlightGearFeed feed("127.0.0.1", server.Port(), c.quantity, status.Sink());
        ASSERT_TRUE(server.AcceptWithin(3000ms));
        EXPECT_EQ(server.Read(2000ms), "data\r\n" + c.first_question);
        ASSERT_TRUE(server.Send("\r\n"));
        EXPECT_EQ(server.Read(2000ms), c.second_question);
        bool falls_back = c.quantity == FlightGearQuantity::Automatic;
        if (falls_back) {
            ASSERT_TRUE(server.Send("10\r\n"));  // feet per second
        }
        std::string line = "flightgear 127.0.0.1:" + std::to_string(server.Port()) + ": " + c.status;
        EXPECT_TRUE(Within(1000ms, [&] { return status.Has(line); })) << status.All();
        EXPECT_EQ(feed.Read(0).live, falls_back);
        if (falls_back) {
            EXPECT_NEAR(feed.Read(0).metres_per_minute, MetresPerMinuteOfDescent(600), 1e-9);
        }
        // Asked again, the same empty answer tells nothing new.
        if (!falls_back) {
            ASSERT_TRUE(server.Send("\r\n"));
            server.Read(2000ms);
            EXPECT_EQ(status.Count(line), 1u) << status.All();
        }
    }
}

TEST(SimulatorFeeds, FlightGearValuesBeyondAHundredThousandFeetPerMinuteAreNoData) {
    PropertyServer server;
    FlightGearFeed feed("127.0.0.1", server.Port(), FlightGearQuantity::Automatic, nullptr);
    ASSERT_TRUE(server.AcceptWithin(3000ms));
    server.Read(1000ms);
    for (const char* answer : {"1e308", "-1e308", "100001", "-250000", "1e308", "100000.5"}) {
        ASSERT_TRUE(server.Send(std::string(answer) + "\r\n"));
        server.Read(1000ms);
        EXPECT_FALSE(feed.Read(0).live) << answer;
    }
    ASSERT_TRUE(server.Send("-100000\r\n"));
    server.Read(1000ms);
    EXPECT_TRUE(Within(1000ms, [&] { return feed.Read(0).live; }));
    EXPECT_NEAR(feed.Read(0).metres_per_minute, MetresPerMinuteOfDescent(-100000), 1e-6);
}

TEST(SimulatorFeeds, HostNotFoundAndConnectionRefusedAreToldOnce) {
    uint16_t closed_port;
    {
        PropertyServer gone;
        closed_port = gone.Port();
    }
    StatusLines refused_status, unknown_status;
    auto unknown_host = [](const std::string&, uint32_t&) { return false; };
    FlightGearFeed refused("127.0.0.1", closed_port, FlightGearQuantity::Automatic, refused_status.Sink());
    XPlaneFeed unknown("sim.invalid", 49000, unknown_status.Sink(), unknown_host);
    // Three attempts of each, at least.
    std::this_thread::sleep_for(2500ms);
    refused.Stop();
    unknown.Stop();
    EXPECT_EQ(refused_status.All(),
              "\n  flightgear 127.0.0.1:" + std::to_string(closed_port) + ": connection refused, retrying");
    EXPECT_EQ(unknown_status.All(), "\n  xplane sim.invalid:49000: host not found, retrying");
}

TEST(SimulatorFeeds, ALookUpThatNeverEndsDoesNotHoldTheStop) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> look_ups{0};
    auto hanging = [released, &look_ups](const std::string&, uint32_t&) {
        ++look_ups;
        released.wait_for(30s);
        return false;
    };
    for (bool flightgear : {true, false}) {
        std::unique_ptr<ValueFeed> feed;
        if (flightgear)
            feed =
                std::make_unique<FlightGearFeed>("slow.invalid", 5401, FlightGearQuantity::Automatic, nullptr, hanging);
        else feed = std::make_unique<XPlaneFeed>("slow.invalid", 49000, nullptr, hanging);
        ASSERT_TRUE(Within(2000ms, [&] { return look_ups == (flightgear ? 1 : 2); }));
        auto stop_from = FeedClock::now();
        feed.reset();
        auto stop_ms = std::chrono::duration_cast<std::chrono::milliseconds>(FeedClock::now() - stop_from).count();
        EXPECT_LT(stop_ms, 1000) << (flightgear ? "FlightGear" : "X-Plane") << " feed";
    }
    release.set_value();
}

TEST(SimulatorFeeds, FlightGearFeedLeavesAStallingServerAndConnectsAgain) {
    PropertyServer server;
    StatusLines status;
    FlightGearFeed feed("127.0.0.1", server.Port(), FlightGearQuantity::Automatic, status.Sink());
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
    FlightGearFeed feed("127.0.0.1", server.Port(), FlightGearQuantity::Automatic, nullptr);
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
    explicit DatagramPeer(const char* address = "127.0.0.1") {
        socket_ = platform::OpenUdpSocket(platform::ParseIpv4Text(address), 0);
        port_ = platform::LocalPortOf(socket_);
    }
    ~DatagramPeer() { platform::CloseSocket(socket_); }
    bool Ok() const { return socket_ != platform::kNoSocket; }
    uint16_t Port() const { return port_; }
    // Who sent the last datagram received.
    const platform::SocketAddress& From() const { return from_; }

    // The next datagram within the wait, and who sent it; empty when none came.
    std::vector<uint8_t> Receive(std::chrono::milliseconds wait) {
        if (platform::WaitSocketReady(socket_, false, wait.count() * 1000) <= 0) return {};
        std::vector<uint8_t> datagram(2048);
        int got = platform::ReceiveDatagram(socket_, datagram.data(), static_cast<int32_t>(datagram.size()), from_);
        datagram.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return datagram;
    }
    void Answer(const std::vector<uint8_t>& datagram) { SendTo(from_, datagram); }
    void SendTo(const platform::SocketAddress& to, const std::vector<uint8_t>& datagram) {
        platform::SendDatagram(socket_, to, datagram.data(), static_cast<int32_t>(datagram.size()));
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
        RrefAnswer({{subscription->index, 100001.0f}}),
        RrefAnswer({{subscription->index, -3.4e38f}}),
    };
    for (const auto& datagram : hostile) simulator.Answer(datagram);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(feed->Read(0).live);

    simulator.Answer(RrefAnswer({{subscription->index, 1000.0f}}));
    ASSERT_TRUE(Within(1000ms, [&] { return feed->Read(0).live; }));
    EXPECT_NEAR(feed->Read(0).metres_per_minute, MetresPerMinuteOfDescent(1000), 1e-4);
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

// A neighbour on the simulator's machine sends answers from a port of its own: none of
// them reaches the value, and once the simulator is silent the status names the sender.
TEST(SimulatorFeeds, XPlaneFeedHearsOnlyThePortThatAnsweredFirst) {
    DatagramPeer simulator, neighbour;
    StatusLines status;
    XPlaneFeed feed("127.0.0.1", simulator.Port(), status.Sink());
    ASSERT_TRUE(ParseRrefRequest(simulator.Receive(3000ms).data(), kRrefRequestBytes));
    platform::SocketAddress feed_address = simulator.From();
    simulator.Answer(RrefAnswer({{XPlaneFeed::kIndex, 1000.0f}}));
    ASSERT_TRUE(Within(1000ms, [&] { return feed.Read(0).live; }));

    auto check_value = [&] {
        FeedReading reading = feed.Read(0);
        if (reading.live) {
            ASSERT_NEAR(reading.metres_per_minute, MetresPerMinuteOfDescent(1000), 1e-4);
        }
    };
    for (int i = 0; i < 20; ++i) {
        neighbour.SendTo(feed_address, RrefAnswer({{XPlaneFeed::kIndex, -5000.0f}}));
        if (i % 4 == 0) simulator.Answer(RrefAnswer({{XPlaneFeed::kIndex, 1000.0f}}));
        std::this_thread::sleep_for(25ms);
        check_value();
    }
    // The simulator stops; the neighbour goes on a little, then the feed goes stale.
    for (int i = 0; i < 10; ++i) {
        neighbour.SendTo(feed_address, RrefAnswer({{XPlaneFeed::kIndex, -5000.0f}}));
        std::this_thread::sleep_for(25ms);
        check_value();
    }
    std::string ignored = "xplane 127.0.0.1:" + std::to_string(simulator.Port()) +
                          ": answers from 127.0.0.1:" + std::to_string(neighbour.Port()) + " ignored, retrying";
    EXPECT_TRUE(Within(3000ms, [&] { return status.Has(ignored); })) << status.All();
    EXPECT_FALSE(feed.Read(0).live);
    EXPECT_EQ(status.Count(ignored), 1u);
}

// Debian gives the host's own name 127.0.1.1; X-Plane beside the bridge answers the
// subscription sent there from 127.0.0.1.
TEST(SimulatorFeeds, XPlaneFeedAtTheHostsOwnNameHearsTheAnswersFromAnotherLoopbackAddress) {
    DatagramPeer listening("127.0.1.1");
    ASSERT_TRUE(listening.Ok());
    DatagramPeer answering("127.0.0.1");
    ASSERT_TRUE(answering.Ok());
    StatusLines status;
    XPlaneFeed feed("127.0.1.1", listening.Port(), status.Sink());
    ASSERT_TRUE(ParseRrefRequest(listening.Receive(3000ms).data(), kRrefRequestBytes));
    answering.SendTo(listening.From(), RrefAnswer({{XPlaneFeed::kIndex, -500.0f}}));
    EXPECT_TRUE(Within(1000ms, [&] { return feed.Read(0).live; })) << status.All();
    EXPECT_NEAR(feed.Read(0).metres_per_minute, MetresPerMinuteOfDescent(-500), 1e-4);
}

}  // namespace
