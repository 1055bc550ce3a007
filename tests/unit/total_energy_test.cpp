// Total energy from altitude, true airspeed and the simulator's clock: speed traded for
// height shows as no climb, a plain climb as itself, and the lag, the repeated frame and
// the clock that jumps behave as a pilot would want.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "tools/common/total_energy.h"

namespace {

// The vario fed 30 samples a second of a flight for `seconds`: the last value it gives.
std::optional<double> Fly(const std::function<EnergySample(double t)>& flight, double seconds,
                          TotalEnergyVario& vario) {
    std::optional<double> last;
    for (int i = 0; i <= static_cast<int>(seconds * 30); ++i) last = vario.Add(flight(i / 30.0));
    return last;
}

TEST(TotalEnergy, ClimbsOfTheAirAloneMoveIt) {
    auto at_speed = [](double h0, double climb, double v0, double accel) {
        return [=](double t) {
            double v = v0 + accel * t;
            return EnergySample{h0 + climb * t, v, 100 + t};
        };
    };
    // Speed traded for height at constant energy: v^2 = v0^2 - 2 g (h - h0).
    auto trade = [](double climb) {
        return [=](double t) {
            double h = 1000 + climb * t;
            return EnergySample{h, std::sqrt(60.0 * 60.0 - 2 * kStandardGravity * climb * t), t};
        };
    };
    struct Case {
        const char* what;
        std::function<EnergySample(double)> flight;
        double expected_mps;
        double tolerance;
    } cases[] = {
        {"pull-up at +5 m/s, speed traded", trade(5), 0, 1e-6},
        {"dive at -8 m/s, height traded for speed", trade(-8), 0, 1e-6},
        {"plain climb +5 m/s at a constant 30 m/s", at_speed(500, 5, 30, 0), 5, 1e-9},
        {"plain sink -1.2 m/s at a constant 25 m/s", at_speed(500, -1.2, 25, 0), -1.2, 1e-9},
        // Level, speeding up: d(v^2)/dt / 2g = v a / g, with v at the end of 10 s.
        {"level, speeding up 0.5 m/s^2", at_speed(800, 0, 30, 0.5), 35 * 0.5 / kStandardGravity, 0.02},
    };
    for (const Case& c : cases) {
        TotalEnergyVario vario;
        auto climb = Fly(c.flight, 10, vario);
        ASSERT_TRUE(climb.has_value()) << c.what;
        EXPECT_NEAR(*climb, c.expected_mps, c.tolerance) << c.what;
    }
    EXPECT_DOUBLE_EQ(EnergyHeight(1000, 2 * kStandardGravity), 1000 + 2 * kStandardGravity);
}

TEST(TotalEnergy, SmoothedByAHalfSecondLagOnTheSimulatorsClock) {
    TotalEnergyVario vario;
    EXPECT_FALSE(vario.Add({1000, 30, 50}).has_value());  // one sample is no rate yet
    EXPECT_NEAR(*vario.Add({1000, 30, 50.1}), 0, 1e-12);
    // From level flight into a climb of 5 m/s: after 0.5 s of the simulator's clock the
    // value has come 1 - 1/e of the way, whatever the sampling.
    double h = 1000, t = 50.1;
    std::optional<double> climb;
    for (int i = 0; i < 10; ++i) climb = vario.Add({h += 0.25, 30, t += 0.05});
    EXPECT_NEAR(*climb, 5 * (1 - std::exp(-1.0)), 1e-9);
    // The same frame answered again changes nothing; a sample that is not finite is passed by.
    EXPECT_EQ(vario.Add({h + 50, 30, t}), climb);
    EXPECT_EQ(vario.Add({std::numeric_limits<double>::quiet_NaN(), 30, t + 0.1}), climb);
    EXPECT_EQ(vario.Add({h, std::numeric_limits<double>::infinity(), t + 0.1}), climb);
    // A clock that goes back (a new flight) or jumps (a pause) starts afresh: no rate from
    // the altitude of another flight.
    EXPECT_FALSE(vario.Add({0, 0, 10}).has_value());
    EXPECT_NEAR(*vario.Add({1, 0, 11}), 1, 1e-12);
    EXPECT_FALSE(vario.Add({5000, 0, 11 + kTotalEnergyLongestGapSeconds + 0.1}).has_value());
    vario.Reset();
    EXPECT_FALSE(vario.Add({5000, 0, 20}).has_value());
}

}  // namespace
