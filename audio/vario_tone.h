// What the audio variometer sounds for a climb rate: the tone's pitch, its beeping in
// lift, the dead band and the loudness. Pure; the synthesiser (vario_synthesiser.h)
// turns it into samples.
#pragma once

// Climb rates between these (m/s, both included) are silent unless the dead band is off.
inline constexpr double kDeadBandLowMps = -0.3;
inline constexpr double kDeadBandHighMps = 0.1;

struct VarioToneOptions {
    bool dead_band;
    int volume_percent;  // of full scale, 0 to 100
};

struct VarioTone {
    bool silent = true;
    double frequency_hz = 0;
    double beep_period_s = 0;  // 0: a continuous tone (sink); else beeps (climb)
    double amplitude = 0;      // of full scale, 0 to 1
};

// Each beep sounds for this part of its period, then the tone rests for the remainder.
inline constexpr double kBeepDuty = 2.0 / 3.0;

// The tone for a climb rate in m/s (descent negative); a missing value is silence.
VarioTone ToneForClimb(double climb_mps, bool missing, const VarioToneOptions& options);
