// Where the development simulator and data server take the vertical speed from: the
// built-in flight profile, a fixed value, a script, or a real simulator (FlightGear's
// property server, X-Plane's dataref subscription), chosen by the same options in both.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/common/flight_profile.h"

using FeedClock = std::chrono::steady_clock;

// A simulator feed that has given no value for this long is stale: the tools then tell
// their clients that they have no data, rather than repeat the last value.
inline constexpr std::chrono::seconds kFeedStaleAfter{2};

struct FeedReading {
    bool live = false;
    double metres_per_minute = 0;  // descent positive; meaningful only while live
};

class ValueFeed {
public:
    virtual ~ValueFeed() = default;
    // The vertical speed now. `seconds` is the tool's own clock for profiles and scripts;
    // a simulator feed goes by the simulator.
    virtual FeedReading Read(double seconds) = 0;
    // Ends the feed's work (a simulator subscription is cancelled); harmless when repeated.
    virtual void Stop() {}
};

// Lines such as "flightgear 127.0.0.1:5401: live" go here; standard error by default.
using FeedStatusSink = std::function<void(const std::string& line)>;
void PrintFeedStatus(const std::string& line);

// The choice made on the command line.
struct FeedChoice {
    enum class Kind { Profile, FlightGear, XPlane };
    Kind kind = Kind::Profile;
    FlightProfile profile = FlightProfile::BuiltIn();
    std::string host;
    uint16_t port = 0;
};

inline constexpr uint16_t kFlightGearDefaultPort = 5401;
inline constexpr uint16_t kXPlaneDefaultPort = 49000;

// "flightgear[:HOST[:PORT]]" or "xplane[:HOST[:PORT]]", HOST 127.0.0.1 by default.
bool ParseFeedSource(const std::string& text, FeedChoice& choice, std::string& error);

// Takes --value V, --script T:V,... or --source SOURCE at argv[i] (and its value, moving
// i on). False when argv[i] is none of these; true with `error` set when its value is bad.
bool TakeFeedOption(int argc, char** argv, int& i, FeedChoice& choice, std::string& error);

// The help lines of those options, for the tools' --help.
extern const char kFeedOptionsHelp[];

// The feed chosen; a simulator feed starts its own thread at once.
std::unique_ptr<ValueFeed> OpenFeed(const FeedChoice& choice, FeedStatusSink status = PrintFeedStatus);

// Whether a simulator feed is live, and the status line to print when that changes:
// pure bookkeeping over given times, shared by the feeds and their tests.
class FeedState {
public:
    FeedState(std::string name, FeedClock::time_point start) : name_(std::move(name)), start_(start) {}

    void Note(double metres_per_minute, FeedClock::time_point now);
    FeedReading Read(FeedClock::time_point now) const;
    // The line to print when the state has changed since the last call, else empty:
    // "NAME: live", or "NAME: no data for 2 s, retrying" (also when no value ever came).
    std::string StatusChange(FeedClock::time_point now);
    const std::string& Name() const { return name_; }

private:
    enum class Told { Nothing, Live, Stale };
    std::string name_;
    FeedClock::time_point start_;
    bool has_value_ = false;
    double value_ = 0;
    FeedClock::time_point last_value_at_{};
    Told told_ = Told::Nothing;
};
