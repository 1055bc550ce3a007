// What the development simulator and data server feed as the vertical speed
// (simulator offset 0x0842): metres per minute, positive for descent. Either the
// built-in flight profile or a script of timed values from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A vertical speed as the simulator holds it: a signed 16-bit word, rounded (halves away
// from zero) and limited to the word's range.
int16_t VerticalSpeedWord(double metres_per_minute);

class FlightProfile {
public:
    // The built-in profile: take-off climb, level flight, a step climb, descents and
    // an approach, repeating every Period() seconds.
    static FlightProfile BuiltIn();

    // A script "T:V,T:V,...": from T seconds after the start the value is V (m/min,
    // descent positive) until the next entry's time; the last value holds. Times must
    // rise. Gives none, with a message in `error`, for a malformed script.
    static std::optional<FlightProfile> FromScript(const std::string& script, std::string& error);

    // A constant value.
    static FlightProfile Fixed(double metres_per_minute);

    // The value at a time since the start, in metres per minute, descent positive.
    double ValueAt(double seconds) const;

    // The value as the simulator holds it: a signed 16-bit word, rounded and clamped.
    short WordAt(double seconds) const;

    double Period() const { return period_s_; }

private:
    struct Point {
        double time_s;
        double value_mpm;
    };
    std::vector<Point> points_;
    bool interpolate_ = false;  // the built-in profile eases between its points
    double period_s_ = 0;       // 0: no repetition
};
