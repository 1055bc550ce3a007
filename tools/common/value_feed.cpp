// Choosing the value feed from the command line, the profile feed, and the live/stale
// bookkeeping of simulator feeds.
#include "tools/common/value_feed.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "tools/common/feed_protocols.h"
#include "tools/common/simulator_feeds.h"

namespace {

class ProfileFeed final : public ValueFeed {
public:
    explicit ProfileFeed(FlightProfile profile) : profile_(std::move(profile)) {}
    FeedReading Read(double seconds) override { return {true, profile_.ValueAt(seconds)}; }

private:
    FlightProfile profile_;
};

// A port of a source: 1 to 65535, decimal digits only.
bool ParsePort(const std::string& text, uint16_t& port) {
    auto value =
        text.find_first_not_of("0123456789") == std::string::npos ? ParseWholeNumber(text, 1, 65535) : std::nullopt;
    if (value) port = static_cast<uint16_t>(*value);
    return value.has_value();
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
    "                             127.0.0.1:49000); only answers from HOST count\n"
    "  --source condor[:PORT]     the instrument datagrams that Condor 2 or Silent Wings\n"
    "                             send over UDP to PORT (default 55278) of this machine;\n"
    "                             only the first sender counts, until it is silent for 2 s\n"
    "  --quantity Q               what is read from the source:\n"
    "                             flightgear: instrument (only the vertical speed indicator),\n"
    "                               flight-model (only the flight model's vertical speed) or\n"
    "                               te (total energy from altitude and true airspeed);\n"
    "                               default the indicator, or the flight model for an\n"
    "                               aircraft that has none\n"
    "                             xplane: te; default the pilot's vertical speed indicator\n"
    "                             condor: vario, evario (default), nettovario or integrator\n"
    "With a simulator as source the tool prints on standard error whether the feed is live,\n"
    "and why not (host not found, connection refused, answers from another address\n"
    "ignored, no such property); while it has given nothing for 2 s the tool tells its\n"
    "clients that it has no data. Vertical speeds beyond 100000 ft/min (from Condor: beyond\n"
    "100 m/s) count as none.\n";

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
    } else if (kind == "condor") {
        parsed.kind = FeedChoice::Kind::Condor;
        parsed.host = "0.0.0.0";
        parsed.port = kCondorDefaultPort;
        if (colon != std::string::npos && !ParsePort(text.substr(colon + 1), parsed.port)) {
            error = "bad port in source '" + text + "' (1 to 65535)";
            return false;
        }
        choice = parsed;
        return true;
    } else {
        error = "unknown source '" + text + "' (flightgear[:HOST[:PORT]], xplane[:HOST[:PORT]] or condor[:PORT])";
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

bool TakeFeedOption(OptionReader& options, FeedChoice& choice) {
    const std::string& option = options.Name();
    if (option == "--value") {
        double fixed = options.DecimalNumber();
        choice.kind = FeedChoice::Kind::Profile;
        choice.profile = FlightProfile::Fixed(fixed);
    } else if (option == "--script") {
        std::string error;
        auto profile = FlightProfile::FromScript(options.Value(), error);
        if (!profile) throw EVarioError(error);
        choice.kind = FeedChoice::Kind::Profile;
        choice.profile = *profile;
    } else if (option == "--source") {
        std::string error;
        FeedChoice source = choice;
        if (!ParseFeedSource(options.Value(), source, error)) throw EVarioError(error);
        choice.kind = source.kind;
        choice.host = source.host;
        choice.port = source.port;
    } else if (option == "--quantity") {
        choice.quantity_text = options.Value();
        choice.quantity_given = true;
    } else {
        return false;
    }
    return true;
}

void CheckFeedChoice(FeedChoice& choice) {
    if (!choice.quantity_given) return;
    const std::string& quantity = choice.quantity_text;
    auto unknown = [&](const char* source, const char* known) {
        return EVarioError("--quantity with --source " + std::string(source) + " needs " + known + ", not '" +
                           QuotedValue(quantity) + "'");
    };
    switch (choice.kind) {
        case FeedChoice::Kind::FlightGear:
            if (quantity == "instrument") choice.quantity = FlightGearQuantity::Instrument;
            else if (quantity == "flight-model") choice.quantity = FlightGearQuantity::FlightModel;
            else if (quantity == "te") choice.quantity = FlightGearQuantity::TotalEnergy;
            else throw unknown("flightgear", "instrument, flight-model or te");
            return;
        case FeedChoice::Kind::XPlane:
            if (quantity != "te") throw unknown("xplane", "te");
            choice.xplane_quantity = XPlaneQuantity::TotalEnergy;
            return;
        case FeedChoice::Kind::Condor:
            if (quantity != "vario" && quantity != "evario" && quantity != "nettovario" && quantity != "integrator")
                throw unknown("condor", "vario, evario, nettovario or integrator");
            choice.condor_quantity = quantity;
            return;
        case FeedChoice::Kind::Profile: break;
    }
    throw EVarioError("--quantity goes with --source flightgear, xplane or condor");
}

std::unique_ptr<ValueFeed> OpenFeed(const FeedChoice& choice, FeedStatusSink status) {
    switch (choice.kind) {
        case FeedChoice::Kind::FlightGear:
            return std::make_unique<FlightGearFeed>(choice.host, choice.port, choice.quantity, std::move(status));
        case FeedChoice::Kind::XPlane:
            return std::make_unique<XPlaneFeed>(choice.host, choice.port, std::move(status), PlatformHostResolver(),
                                                choice.xplane_quantity);
        case FeedChoice::Kind::Condor:
            return std::make_unique<CondorFeed>(choice.host, choice.port, choice.condor_quantity, std::move(status));
        case FeedChoice::Kind::Profile: break;
    }
    return std::make_unique<ProfileFeed>(choice.profile);
}

void FeedState::Note(double metres_per_minute, FeedClock::time_point now) {
    has_value_ = true;
    value_ = metres_per_minute;
    last_value_at_ = now;
    problem_.clear();
}

FeedReading FeedState::Read(FeedClock::time_point now) const {
    bool live = has_value_ && now - last_value_at_ < kFeedStaleAfter;
    return {live, live ? value_ : 0};
}

std::string FeedState::StatusChange(FeedClock::time_point now) {
    std::string line;
    if (Read(now).live) {
        line = name_ + ": live" + (live_note_.empty() ? "" : ", " + live_note_);
    } else if (!problem_.empty()) {
        line = name_ + ": " + problem_ + ", retrying";
    } else if (now - (has_value_ ? last_value_at_ : start_) >= kFeedStaleAfter) {
        line = name_ + ": no data for 2 s, retrying";
    }
    if (line.empty() || line == told_) return {};
    told_ = line;
    return line;
}
