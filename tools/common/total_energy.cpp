// The energy height's derivative, smoothed by a first-order lag.
#include "tools/common/total_energy.h"

#include <cmath>

double EnergyHeight(double altitude_m, double true_airspeed_mps) {
    return altitude_m + true_airspeed_mps * true_airspeed_mps / (2 * kStandardGravity);
}

std::optional<double> TotalEnergyVario::Add(const EnergySample& sample) {
    if (!std::isfinite(sample.altitude_m) || !std::isfinite(sample.true_airspeed_mps) || !std::isfinite(sample.time_s))
        return smoothed_mps_;
    if (!last_ || sample.time_s < last_->time_s || sample.time_s - last_->time_s > kTotalEnergyLongestGapSeconds) {
        last_ = sample;
        smoothed_mps_.reset();
        return std::nullopt;
    }
    double dt = sample.time_s - last_->time_s;
    if (dt <= 0) return smoothed_mps_;  // the same frame answered again
    double raw = (EnergyHeight(sample.altitude_m, sample.true_airspeed_mps) -
                  EnergyHeight(last_->altitude_m, last_->true_airspeed_mps)) /
                 dt;
    last_ = sample;
    if (!smoothed_mps_) smoothed_mps_ = raw;
    else *smoothed_mps_ += (raw - *smoothed_mps_) * (1 - std::exp(-dt / kTotalEnergyLagSeconds));
    return smoothed_mps_;
}

void TotalEnergyVario::Reset() {
    last_.reset();
    smoothed_mps_.reset();
}
