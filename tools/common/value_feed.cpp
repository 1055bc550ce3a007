// Choosing the value feed from the command line, the profile feed, and the live/stale
// bookkeeping of simulator feeds.
#include "tools/common/value_feed.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tools/common/simulator_feeds.h"

namespace {

class ProfileFeed final : public ValueFeed {
public:
    explicit ProfileFeed(FlightProfile profile) : profile_(std::move(profile)) {}
    FeedReading Read(double seconds) override { return {true, profile_.ValueAt(seconds)}; }

private:
    FlightProfile profile_;
};

bool ParsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

const char kFeedOptionsHelp[] =
    "  --value V                  a constant value (metres per minute, descent positive)\n"
    "  --script T:V,T:V,...       from T seconds after the start the value is V\n"
    "  --source flightgear[:HOST[:PORT]]\n"
    "                             FlightGear's property server, which fgfs --telnet=PORT\n"
    "                             opens (default 127.0.0.1:5401)\n"
    "  --source xplane[:HOST[:PORT]]\n"
    "                             X-Plane's dataref subscription over UDP (default\n"
    "                             127.0.0.1:49000)\n"
    "With a simulator as source the tool prints on standard error whether the feed is live;\n"
    "while it has given nothing for 2 s the tool tells its clients that it has no data.\n";

void PrintFeedStatus(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

bool ParseFeedSource(const std::string& text, FeedChoice& choice, std::string& error) {
    size_t colon = text.find(':');
    std::string kind = text.substr(0, colon);
    FeedChoice parsed;
    if (kind == "flightgear") {
        parsed.kind = FeedChoice::Kind::FlightGear;
        parsed.port = kFlightGearDefaultPort;
    } else if (kind == "xplane") {
        parsed.kind = FeedChoice::Kind::XPlane;
        parsed.port = kXPlaneDefaultPort;
    } else {
        error = "unknown source '" + text + "' (flightgear[:HOST[:PORT]] or xplane[:HOST[:PORT]])";
        return false;
    }
    parsed.host = "127.0.0.1";
    if (colon != std::string::npos) {
        std::string rest = text.substr(colon + 1);
        size_t port_colon = rest.find(':');
        parsed.host = rest.substr(0, port_colon);
        if (parsed.host.empty()) {
            error = "no host in source '" + text + "'";
            return false;
        }
        if (port_colon != std::string::npos && !ParsePort(rest.substr(port_colon + 1), parsed.port)) {
            error = "bad port in source '" + text + "' (1 to 65535)";
            return false;
        }
    }
    choice = parsed;
    return true;
}

bool TakeFeedOption(int argc, char** argv, int& i, FeedChoice& choice, std::string& error) {
    std::string option = argv[i];
    if (option != "--value" && option != "--script" && option != "--source") return false;
    if (i + 1 >= argc) {
        error = option + " needs a value";
        return true;
    }
    std::string value = argv[++i];
    if (option == "--value") {
        char* end = nullptr;
        double fixed = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(fixed)) {
            error = "--value needs a number";
            return true;
        }
        choice = FeedChoice{};
        choice.profile = FlightProfile::Fixed(fixed);
    } else if (option == "--script") {
        auto profile = FlightProfile::FromScript(value, error);
        if (!profile) return true;
        choice = FeedChoice{};
        choice.profile = *profile;
    } else {
        ParseFeedSource(value, choice, error);
    }
    return true;
}

std::unique_ptr<ValueFeed> OpenFeed(const FeedChoice& choice, FeedStatusSink status) {
    switch (choice.kind) {
        case FeedChoice::Kind::FlightGear:
            return std::make_unique<FlightGearFeed>(choice.host, choice.port, std::move(status));
        case FeedChoice::Kind::XPlane: return std::make_unique<XPlaneFeed>(choice.host, choice.port, std::move(status));
        case FeedChoice::Kind::Profile: break;
    }
    return std::make_unique<ProfileFeed>(choice.profile);
}

void FeedState::Note(double metres_per_minute, FeedClock::time_point now) {
    has_value_ = true;
    value_ = metres_per_minute;
    last_value_at_ = now;
}

FeedReading FeedState::Read(FeedClock::time_point now) const {
    bool live = has_value_ && now - last_value_at_ < kFeedStaleAfter;
    return {live, live ? value_ : 0};
}

std::string FeedState::StatusChange(FeedClock::time_point now) {
    if (Read(now).live) {
        if (told_ == Told::Live) return {};
        told_ = Told::Live;
        return name_ + ": live";
    }
    FeedClock::time_point silent_since = has_value_ ? last_value_at_ : start_;
    if (told_ == Told::Stale || now - silent_since < kFeedStaleAfter) return {};
    told_ = Told::Stale;
    return name_ + ": no data for 2 s, retrying";
}
