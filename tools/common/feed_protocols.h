// The two simulator protocols that the value feeds speak, as pure code: FlightGear's
// property server lines and X-Plane's RREF datagrams, and the unit conversion to the
// gauge's raw value. The feeds (simulator_feeds.h) and the X-Plane stand-in use these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr double kFeetPerMetre = 3.28084;

// Climb in feet per minute to the gauge's raw value: metres per minute, descent positive.
double MetresPerMinuteOfClimb(double climb_fpm);

// ---- FlightGear's property server (fgfs --telnet=PORT) ----

inline constexpr char kFlightGearDataMode[] = "data\r\n";
inline constexpr char kFlightGearVerticalSpeedQuery[] = "get /velocities/vertical-speed-fps\r\n";

// A line of the server in data mode: the bare number (feet per second, climb positive),
// blanks and the CR around it allowed. None for anything else, NaN and infinities included.
std::optional<double> ParsePropertyNumber(std::string_view line);

// Cuts arriving bytes into lines and hands each complete one on. A line longer than
// kMaxLineBytes is never stored: it is handed on as none once its end arrives.
class PropertyLineReader {
public:
    static constexpr size_t kMaxLineBytes = 128;
    using LineHandler = std::function<void(std::optional<double> feet_per_second)>;

    void Append(const char* bytes, size_t count, const LineHandler& handle_line);
    void Reset();

private:
    std::string line_;
    bool overlong_ = false;
};

// ---- X-Plane's dataref subscription (UDP, X-Plane 10.40 and later) ----

inline constexpr char kXPlaneVerticalSpeedDataref[] = "sim/cockpit2/gauges/indicators/vvi_fpm_pilot";
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
