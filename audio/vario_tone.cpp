#include "audio/vario_tone.h"

#include <algorithm>

namespace {
// The pitch: 500 Hz level, 1500 Hz at +5 m/s and 200 Hz at -5 m/s, held beyond.
constexpr double kLevelHz = 500;
constexpr double kTopClimbHz = 1500;
constexpr double kTopSinkHz = 200;
constexpr double kFullScaleMps = 5;
// The beeps: 800 ms level, 150 ms at +5 m/s and beyond.
constexpr double kLevelPeriodS = 0.8;
constexpr double kTopClimbPeriodS = 0.15;
}  // namespace

VarioTone ToneForClimb(double climb_mps, bool missing, const VarioToneOptions& options) {
    VarioTone tone;
    // A comparison with NaN is false: such a value is treated as missing too.
    if (missing || !(climb_mps == climb_mps)) return tone;
    if (options.dead_band && climb_mps >= kDeadBandLowMps && climb_mps <= kDeadBandHighMps) return tone;
    const double share = std::clamp(climb_mps / kFullScaleMps, -1.0, 1.0);
    tone.silent = false;
    tone.amplitude = std::clamp(options.volume_percent, 0, 100) / 100.0;
    if (share > 0) {
        tone.frequency_hz = kLevelHz + share * (kTopClimbHz - kLevelHz);
        tone.beep_period_s = kLevelPeriodS + share * (kTopClimbPeriodS - kLevelPeriodS);
    } else {
        tone.frequency_hz = kLevelHz + share * (kLevelHz - kTopSinkHz);
    }
    return tone;
}
