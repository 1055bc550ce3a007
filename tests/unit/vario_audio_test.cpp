// The audio variometer's tone for each climb rate, and the samples the synthesiser
// makes of it: pitch, beeps, silence, and no step larger than the sine's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "audio/vario_synthesiser.h"
#include "audio/vario_tone.h"

namespace {

constexpr VarioToneOptions kDefaults{true, 80};
constexpr double kRate = kAudioSampleRateHz;

TEST(VarioTone, Table) {
    struct Case {
        double climb_mps;
        bool dead_band;
        bool silent;
        double frequency_hz;
        double period_s;  // 0: continuous
    };
    const Case cases[] = {
        {-8, true, false, 200, 0},      {-5, true, false, 200, 0},         {-4, true, false, 260, 0},
        {-1, true, false, 440, 0},      {-0.31, true, false, 481.4, 0},    {-0.3, true, true, 0, 0},
        {0, true, true, 0, 0},          {0.1, true, true, 0, 0},           {0.11, true, false, 522, 0.7857},
        {0.5, true, false, 600, 0.735}, {2, true, false, 900, 0.54},       {4, true, false, 1300, 0.28},
        {5, true, false, 1500, 0.15},   {8, true, false, 1500, 0.15},      {0, false, false, 500, 0},
        {-0.2, false, false, 488, 0},   {0.05, false, false, 510, 0.7935},
    };
    for (const Case& c : cases) {
        VarioTone tone = ToneForClimb(c.climb_mps, false, {c.dead_band, 80});
        SCOPED_TRACE(testing::Message() << c.climb_mps << " m/s, dead band " << c.dead_band);
        EXPECT_EQ(tone.silent, c.silent);
        EXPECT_NEAR(tone.frequency_hz, c.frequency_hz, 0.01);
        EXPECT_NEAR(tone.beep_period_s, c.period_s, 1e-9);
        EXPECT_DOUBLE_EQ(tone.amplitude, c.silent ? 0 : 0.8);
    }
}

TEST(VarioTone, MissingValuesAreSilentAndVolumeScalesTheAmplitude) {
    EXPECT_TRUE(ToneForClimb(-3, true, kDefaults).silent);
    EXPECT_TRUE(ToneForClimb(NAN, false, {false, 80}).silent);
    EXPECT_DOUBLE_EQ(ToneForClimb(-3, false, {true, 100}).amplitude, 1.0);
    EXPECT_DOUBLE_EQ(ToneForClimb(3, false, {true, 0}).amplitude, 0.0);
    EXPECT_DOUBLE_EQ(ToneForClimb(3, false, {true, 35}).amplitude, 0.35);
}

// Renders seconds of a steady climb rate in buffers of the given size.
std::vector<int16_t> Render(VarioSynthesiser& synthesiser, double climb_mps, bool missing, double seconds,
                            size_t buffer = 512) {
    std::vector<int16_t> out(static_cast<size_t>(seconds * kRate));
    for (size_t at = 0; at < out.size(); at += buffer) {
        size_t n = std::min(buffer, out.size() - at);
        synthesiser.Fill(std::span<int16_t>(out.data() + at, n), climb_mps, missing);
    }
    return out;
}

// The pitch from upward zero crossings, interpolated between samples.
double CrossingFrequency(const std::vector<int16_t>& s) {
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            double at = i - 1 + double(-s[i - 1]) / (s[i] - s[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++count;
        }
    }
    return count > 1 ? (count - 1) * kRate / (last - first) : 0;
}

// Sound stretches: [first, last] non-zero sample between runs of at least 2 ms of zeros.
struct Stretch {
    size_t first, last;
};
std::vector<Stretch> SoundStretches(const std::vector<int16_t>& s) {
    std::vector<Stretch> stretches;
    const size_t quiet = size_t(0.002 * kRate);
    size_t zeros = quiet;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == 0) {
            ++zeros;
            continue;
        }
        if (zeros >= quiet) stretches.push_back({i, i});
        stretches.back().last = i;
        zeros = 0;
    }
    return stretches;
}

int Peak(const std::vector<int16_t>& s, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from; i < to && i < s.size(); ++i) peak = std::max(peak, std::abs(int(s[i])));
    return peak;
}

TEST(VarioSynthesiser, SinkIsAContinuousToneAtThePitchAndVolume) {
    VarioSynthesiser synthesiser(kDefaults);
    Render(synthesiser, -4, false, 0.1);
    std::vector<int16_t> s = Render(synthesiser, -4, false, 1.0, 441);
    EXPECT_NEAR(CrossingFrequency(s), 260, 0.26);
    EXPECT_EQ(SoundStretches(s).size(), 1u);
    EXPECT_NEAR(Peak(s, 0, s.size()), 0.8 * 32767, 0.01 * 32767);
}

TEST(VarioSynthesiser, ClimbBeepsTwoThirdsOfThePeriodWithRampedEdges) {
    for (double climb : {0.5, 2.0, 5.0}) {
        SCOPED_TRACE(climb);
        VarioTone tone = ToneForClimb(climb, false, kDefaults);
        VarioSynthesiser synthesiser(kDefaults);
        std::vector<int16_t> s = Render(synthesiser, climb, false, 3.0, 300);
        std::vector<Stretch> beeps = SoundStretches(s);
        ASSERT_GE(beeps.size(), 3u);
        // The first beep starts at once.
        EXPECT_LT(beeps[0].first, 5u);
        const size_t ramp = size_t(0.003 * kRate);
        const int full = int(0.8 * 32767);
        for (size_t b = 0; b + 1 < beeps.size(); ++b) {
            double period_s = (beeps[b + 1].first - beeps[b].first) / kRate;
            EXPECT_NEAR(period_s, tone.beep_period_s, 0.001);
            // Fades in and out take one ramp, beyond the gate's two thirds.
            double on_s = (beeps[b].last - beeps[b].first) / kRate - kAudioRampS;
            EXPECT_NEAR(on_s / tone.beep_period_s, kBeepDuty, 0.005);
            EXPECT_LT(Peak(s, beeps[b].first, beeps[b].first + ramp), 0.8 * full) << "a beep starts with a click";
            EXPECT_LT(Peak(s, beeps[b].last - ramp, beeps[b].last + 1), 0.8 * full) << "a beep ends with a click";
            EXPECT_NEAR(Peak(s, beeps[b].first, beeps[b].last), full, 0.01 * full);
            EXPECT_NEAR(CrossingFrequency({s.begin() + beeps[b].first, s.begin() + beeps[b].last}), tone.frequency_hz,
                        tone.frequency_hz * 0.002);
        }
    }
}

TEST(VarioSynthesiser, MissingValueAndDeadBandFadeToSilenceAndStayThere) {
    VarioSynthesiser synthesiser(kDefaults);
    EXPECT_EQ(Peak(Render(synthesiser, -2, true, 0.2), 0, 9600), 0) << "sound before any value";
    Render(synthesiser, -2, false, 0.2);
    std::vector<int16_t> s = Render(synthesiser, -2, true, 0.5);
    size_t fade = size_t(kAudioRampS * kRate) + 1;
    EXPECT_GT(Peak(s, 0, fade), 0);
    EXPECT_EQ(Peak(s, fade, s.size()), 0);
    Render(synthesiser, -2, false, 0.2);
    s = Render(synthesiser, 0, false, 0.5);
    EXPECT_EQ(Peak(s, fade, s.size()), 0) << "sound in the dead band";

    VarioSynthesiser without_dead_band({false, 80});
    s = Render(without_dead_band, 0, false, 0.5);
    EXPECT_NEAR(CrossingFrequency(s), 500, 0.5);
    EXPECT_EQ(SoundStretches(s).size(), 1u);
}

TEST(VarioSynthesiser, NoStepBeyondTheSineAndRampAcrossAProfile) {
    // Climb and sink changing every buffer, through the dead band and missing values,
    // in buffers of uneven sizes: no sample may jump further than a sine at the pitch
    // sounding (or the one fading) and volume can move, plus one ramp step.
    VarioSynthesiser synthesiser({true, 100});
    std::srand(7);
    std::vector<int16_t> all;
    double climb = 0, last_hz = 0;
    int16_t previous = 0;
    double worst = 0;
    for (int buffer = 0; buffer < 4000; ++buffer) {
        climb = std::clamp(climb + (std::rand() % 201 - 100) / 400.0, -7.0, 7.0);
        bool missing = buffer % 700 > 650;
        std::vector<int16_t> s(size_t(37 + std::rand() % 600));
        synthesiser.Fill(s, climb, missing);
        VarioTone tone = ToneForClimb(climb, missing, {true, 100});
        double hz = std::max(last_hz, tone.frequency_hz);
        if (!tone.silent) last_hz = tone.frequency_hz;
        double bound = 2 * std::numbers::pi * hz / kRate * 32767 + 32767 / (kAudioRampS * kRate) + 2;
        for (int16_t v : s) {
            worst = std::max(worst, std::abs(v - previous) / bound);
            previous = v;
        }
        all.insert(all.end(), s.begin(), s.end());
    }
    EXPECT_LE(worst, 1.0);
    EXPECT_GT(Peak(all, 0, all.size()), 32000) << "the profile never sounded";
}

}  // namespace
