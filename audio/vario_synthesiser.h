// The audio variometer's samples: 48 kHz, signed 16-bit, mono, made from the tone of
// the latest shown climb rate. The phase runs on across changes of pitch and across
// buffers, and every start and end of sound is ramped, so that nothing clicks.
#pragma once

#include <cstdint>
#include <span>

#include "audio/vario_tone.h"

inline constexpr int kAudioSampleRateHz = 48000;
// The length of every fade in or out of the sound (beeps, silence).
inline constexpr double kAudioRampS = 0.004;

class VarioSynthesiser {
public:
    explicit VarioSynthesiser(VarioToneOptions options) : options_(options) {}

    // Fills the buffer with the sound of this climb rate (m/s; missing: silence).
    void Fill(std::span<int16_t> samples, double climb_mps, bool missing);

private:
    VarioToneOptions options_;
    double phase_ = 0;         // of the sine, in cycles, 0 to 1
    double beep_phase_ = 0;    // of the beep period, 0 to 1
    bool beeping_ = false;     // the last buffer was a climb's beeps
    double gain_ = 0;          // the envelope now, of full scale
    double frequency_hz_ = 0;  // of the last sound, which a fade to silence keeps
    double amplitude_ = 0;     // of the last sound: the ramps' height
};
