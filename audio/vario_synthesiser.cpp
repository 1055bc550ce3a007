#include "audio/vario_synthesiser.h"

#include <cmath>
#include <numbers>

namespace {
constexpr double kFullScale = 32767;
constexpr double kRampSamples = kAudioRampS * kAudioSampleRateHz;
}  // namespace

void VarioSynthesiser::Fill(std::span<int16_t> samples, double climb_mps, bool missing) {
    const VarioTone tone = ToneForClimb(climb_mps, missing, options_);
    const bool beeps = !tone.silent && tone.beep_period_s > 0;
    // A climb after silence or sink starts with a beep, not within a rest.
    if (beeps && !beeping_) beep_phase_ = 0;
    beeping_ = beeps;
    if (!tone.silent) {
        frequency_hz_ = tone.frequency_hz;
        amplitude_ = tone.amplitude;
    }
    const double target_on = tone.silent ? 0 : tone.amplitude;
    const double phase_step = frequency_hz_ / kAudioSampleRateHz;
    const double beep_step = beeps ? 1.0 / (tone.beep_period_s * kAudioSampleRateHz) : 0;
    // Every fade, in or out, takes one ramp from nothing to the full amplitude.
    const double gain_step = amplitude_ / kRampSamples;
    for (int16_t& sample : samples) {
        double target = target_on;
        if (beeps) {
            if (beep_phase_ >= kBeepDuty) target = 0;
            beep_phase_ += beep_step;
            if (beep_phase_ >= 1) beep_phase_ -= 1;
        }
        if (gain_ < target) gain_ = std::fmin(target, gain_ + gain_step);
        else if (gain_ > target) gain_ = std::fmax(target, gain_ - gain_step);
        sample = static_cast<int16_t>(std::lround(kFullScale * gain_ * std::sin(2 * std::numbers::pi * phase_)));
        phase_ += phase_step;
        if (phase_ >= 1) phase_ -= 1;
    }
}
