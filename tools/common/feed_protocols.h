// The simulator protocols that the value feeds speak, as pure code: FlightGear's property
// server lines, X-Plane's RREF datagrams and which senders speak for X-Plane, the glider
// simulators' "name=value" datagrams and which sender speaks for them, the values that
// count, and the unit conversion to the gauge's raw value. The feeds (simulator_feeds.h)
// and the stand-ins use these.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/vertical_speed_units.h"
#include "platform/sockets.h"

// A simulator's vertical speed beyond this many feet per minute either way is no data,
// as NaN is: no aircraft flies so, and a needle pinned at full scale would pass for one.
inline constexpr double kMaxClimbFpm = 100000;

// Whether a simulator's climb in feet per minute counts as a value: finite and within
// kMaxClimbFpm either way.
bool IsVerticalSpeedValue(double climb_fpm);

// Climb in feet per minute to the gauge's raw value: metres per minute of descent.
double MetresPerMinuteOfDescent(double climb_fpm);

// ---- FlightGear's property server (fgfs --telnet=PORT) ----

inline constexpr char kFlightGearDataMode[] = "data\r\n";
// What the cockpit's vertical speed indicator shows, feet per minute, climb positive; an
// aircraft without the instrument answers it empty.
inline constexpr char kFlightGearInstrumentProperty[] = "/instrumentation/vertical-speed-indicator/indicated-speed-fpm";
// The flight model's vertical speed, feet per second, climb positive.
inline constexpr char kFlightGearFlightModelProperty[] = "/velocities/vertical-speed-fps";
// What total energy is worked out from, asked together in one round: the altitude (feet),
// the true airspeed (knots) and the simulator's own clock (seconds).
inline constexpr char kFlightGearAltitudeProperty[] = "/position/altitude-ft";
inline constexpr char kFlightGearTrueAirspeedProperty[] = "/fdm/jsbsim/velocities/vtrue-kts";
inline constexpr char kFlightGearClockProperty[] = "/sim/time/elapsed-sec";

// The question for one property: "get PATH" and CR LF.
std::string PropertyQuery(std::string_view path);

// A line of the server in data mode: a bare number (blanks and the CR around it allowed),
// nothing at all (no such property), or anything else, NaN and infinities included.
struct PropertyAnswer {
    enum class Kind { Number, Empty, Other };
    Kind kind = Kind::Other;
    double value = 0;  // for a Number

    bool operator==(const PropertyAnswer&) const = default;
};
PropertyAnswer ParsePropertyAnswer(std::string_view line);

// Cuts arriving bytes into lines and hands each complete one on. A line longer than
// kMaxLineBytes is never stored: it is handed on as Other once its end arrives.
class PropertyLineReader {
public:
    static constexpr size_t kMaxLineBytes = 128;
    using LineHandler = std::function<void(const PropertyAnswer& answer)>;

    void Append(const char* bytes, size_t count, const LineHandler& handle_line);
    void Reset();

private:
    std::string line_;
    bool overlong_ = false;
};

// ---- X-Plane's dataref subscription (UDP, X-Plane 10.40 and later) ----

inline constexpr char kXPlaneVerticalSpeedDataref[] = "sim/cockpit2/gauges/indicators/vvi_fpm_pilot";
// What total energy is worked out from, all in one answer: elevation above sea level (m),
// true airspeed (m/s) and the simulator's running time (s).
inline constexpr char kXPlaneElevationDataref[] = "sim/flightmodel/position/elevation";
inline constexpr char kXPlaneTrueAirspeedDataref[] = "sim/flightmodel/position/true_airspeed";
inline constexpr char kXPlaneClockDataref[] = "sim/time/total_running_time_sec";
inline constexpr size_t kRrefRequestBytes = 413;  // "RREF", NUL, frequency, index, 400-byte path
inline constexpr size_t kRrefPathBytes = 400;
inline constexpr size_t kRrefHeaderBytes = 5;  // "RREF" and one more byte
inline constexpr size_t kRrefPairBytes = 8;    // int32 index, float32 value
inline constexpr size_t kMaxRrefAnswerBytes = kRrefHeaderBytes + 128 * kRrefPairBytes;

struct RrefSubscription {
    int32_t frequency_hz = 0;  // times per second; 0 cancels
    int32_t index = 0;         // the client's own number for the dataref
    std::string dataref;
};

// The request datagram; a path longer than 399 bytes is cut there.
std::array<uint8_t, kRrefRequestBytes> RrefRequest(const RrefSubscription& subscription);
// A request as X-Plane reads it; none unless it is exactly 413 bytes starting "RREF" NUL.
std::optional<RrefSubscription> ParseRrefRequest(const uint8_t* bytes, size_t count);

// An answer datagram with the pairs, "RREF,"-headed as X-Plane sends them.
std::vector<uint8_t> RrefAnswer(const std::vector<std::pair<int32_t, float>>& pairs);
// The value that an answer carries for `index` (the last when it comes more than once).
// None for a datagram of the wrong form or length, for other indices only, and for NaN
// or infinite values.
std::optional<float> RrefValueOf(const uint8_t* bytes, size_t count, int32_t index);

// "ADDRESS:PORT" of a sender.
std::string SocketAddressText(const platform::SocketAddress& address);

// Any address 127.x.x.x.
bool IsLoopbackAddress(uint32_t address_net);

// Which senders speak for the X-Plane subscribed to. Those of its address, where a
// loopback address stands for every loopback address (Debian gives the host's own name
// 127.0.1.1, and X-Plane beside the bridge answers from 127.0.0.1); and once an answer of
// a subscription has been taken, that answer's port only, until the next subscription.
class XPlaneSenderRule {
public:
    // A subscription was sent to this address: any port of it may answer first.
    void Subscribed(uint32_t simulator_address_net);
    bool Admits(const platform::SocketAddress& from) const;
    // An answer from `from` was taken: from now on only its port speaks.
    void Took(const platform::SocketAddress& from);

private:
    uint32_t simulator_address_net_ = platform::kNoIpv4Address;
    std::optional<uint16_t> answer_port_net_;
};

// ---- Condor's and Silent Wings' instrument datagrams (UDP) ----
// Lines of "name=value" (LF or CR LF), decimal point, SI units.

// A climb beyond this many metres per second either way is no data.
inline constexpr double kMaxGliderClimbMps = 100;
// The longest datagram that is read whole; a longer one is cut and counts as no data.
inline constexpr size_t kMaxCondorDatagramBytes = 65536;
// A value longer than this is no number any simulator writes.
inline constexpr size_t kMaxCondorValueBytes = 32;

// The climb in m/s that the datagram gives for `name`: the last line of that name
// decides. None when no line has the name, or its value is no finite decimal number
// within kMaxGliderClimbMps either way.
std::optional<double> CondorValueOf(std::string_view datagram, std::string_view name);

// Which sender speaks: the first one heard, until it has been silent for kHandOverAfter;
// then the next one heard takes its place.
class CondorSenderRule {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kHandOverAfter{2};

    // A datagram came from `from` at `now`: true when its sender is the one that speaks.
    bool Admits(const platform::SocketAddress& from, Clock::time_point now);

private:
    std::optional<platform::SocketAddress> speaker_;
    Clock::time_point last_heard_{};
};
