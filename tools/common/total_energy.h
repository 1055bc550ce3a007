// Total-energy vertical speed from what a simulator gives without it: the rate of change
// of the energy height h + v^2 / (2 g), so that speed traded for height (a pull-up) or
// height for speed (a dive) shows as no climb, and only air that lifts or sinks moves it.
// Pure arithmetic on the simulator's own clock; the feeds sample it.
#pragma once

#include <optional>

inline constexpr double kStandardGravity = 9.80665;  // m/s^2
// The first-order lag that smooths the derivative, seconds.
inline constexpr double kTotalEnergyLagSeconds = 0.5;
// A gap in the simulator's clock longer than this (a pause, a stall, a new flight)
// starts the derivative afresh.
inline constexpr double kTotalEnergyLongestGapSeconds = 2;

struct EnergySample {
    double altitude_m = 0;
    double true_airspeed_mps = 0;
    double time_s = 0;  // the simulator's clock
};

// Height plus the height the speed would buy: h + v^2 / (2 g), metres.
double EnergyHeight(double altitude_m, double true_airspeed_mps);

class TotalEnergyVario {
public:
    // Takes one sample: the smoothed total-energy climb in m/s (climb positive), or none
    // until two samples of one stretch of the clock have come. A sample of the same time
    // as the last changes nothing; a sample with a value that is not finite is ignored;
    // a clock that goes back or jumps past kTotalEnergyLongestGapSeconds starts afresh.
    std::optional<double> Add(const EnergySample& sample);
    void Reset();

private:
    std::optional<EnergySample> last_;
    std::optional<double> smoothed_mps_;
};
