// Where the development simulator and data server take the vertical speed from: the
// built-in flight profile, a fixed value, a script, or a real simulator (FlightGear's
// property server, X-Plane's dataref subscription, the instrument datagrams of Condor and
// Silent Wings), chosen by the same options in both.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/common/flight_profile.h"
#include "tools/common/tool_options.h"

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

// What a FlightGear feed reads: the aircraft's vertical speed indicator, falling back to
// the flight model's vertical speed when the aircraft has none (Automatic), either alone,
// or the total energy worked out from altitude and true airspeed.
enum class FlightGearQuantity { Automatic, Instrument, FlightModel, TotalEnergy };
// What an X-Plane feed reads: the pilot's vertical speed indicator, or the total energy.
enum class XPlaneQuantity { Indicator, TotalEnergy };

// The choice made on the command line.
struct FeedChoice {
    enum class Kind { Profile, FlightGear, XPlane, Condor };
    Kind kind = Kind::Profile;
    FlightProfile profile = FlightProfile::BuiltIn();
    std::string host;  // for Condor the address listened on, any by default
    uint16_t port = 0;
    // --quantity as given, read against the source once all options are read.
    std::string quantity_text;
    bool quantity_given = false;
    FlightGearQuantity quantity = FlightGearQuantity::Automatic;
    XPlaneQuantity xplane_quantity = XPlaneQuantity::Indicator;
    // The line name of the glider simulator's value; by default the electronic
    // total-energy variometer of the glider's cockpit.
    std::string condor_quantity = "evario";
};

inline constexpr uint16_t kFlightGearDefaultPort = 5401;
inline constexpr uint16_t kXPlaneDefaultPort = 49000;
inline constexpr uint16_t kCondorDefaultPort = 55278;

// "flightgear[:HOST[:PORT]]" or "xplane[:HOST[:PORT]]", HOST 127.0.0.1 by default, or
// "condor[:PORT]" (any local address).
bool ParseFeedSource(const std::string& text, FeedChoice& choice, std::string& error);

// Takes --value V, --script T:V,..., --source SOURCE or --quantity Q when it is the
// reader's option (and its value). False when it is none of these; raises EVarioError
// when its value is bad.
bool TakeFeedOption(OptionReader& options, FeedChoice& choice);
// After the last option: reads --quantity against the source (each source knows its own),
// and raises EVarioError for a choice that does not hold together.
void CheckFeedChoice(FeedChoice& choice);

// The help lines of those options, for the tools' --help.
extern const char kFeedOptionsHelp[];

// The feed chosen; a simulator feed starts its own thread at once.
std::unique_ptr<ValueFeed> OpenFeed(const FeedChoice& choice, FeedStatusSink status = PrintFeedStatus);

// Whether a simulator feed is live, and the status line to print when that changes:
// pure bookkeeping over given times, shared by the feeds and their tests.
class FeedState {
public:
    FeedState(std::string name, FeedClock::time_point start) : name_(std::move(name)), start_(start) {}

    // A value came; whatever kept values away is over.
    void Note(double metres_per_minute, FeedClock::time_point now);
    FeedReading Read(FeedClock::time_point now) const;
    // Why no value comes, such as "connection refused"; empty when no reason is known.
    void SetProblem(std::string problem) { problem_ = std::move(problem); }
    const std::string& Problem() const { return problem_; }
    // Added to the live line, such as what is read in place of the usual quantity.
    void SetLiveNote(std::string note) { live_note_ = std::move(note); }
    // The line to print when it differs from the last one told, else empty: "NAME: live"
    // (and the note), while not live "NAME: PROBLEM, retrying" as soon as a problem is
    // known, else "NAME: no data for 2 s, retrying" once no value has come for 2 s.
    std::string StatusChange(FeedClock::time_point now);
    const std::string& Name() const { return name_; }

private:
    std::string name_;
    FeedClock::time_point start_;
    bool has_value_ = false;
    double value_ = 0;
    FeedClock::time_point last_value_at_{};
    std::string problem_;
    std::string live_note_;
    std::string told_;
};
