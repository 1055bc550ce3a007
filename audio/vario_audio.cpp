#include "audio/vario_audio.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "audio/vario_synthesiser.h"
#include "platform/audio_output.h"

namespace {
// The shown climb rate; NaN while the value is missing (so too before the first frame),
// so that the rate and its missing state always travel together.
std::atomic<double> shown_climb_mps = NAN;
static_assert(std::atomic<double>::is_always_lock_free);

std::optional<VarioSynthesiser> synthesiser;
}  // namespace

void PostShownClimb(double climb_mps, bool missing) {
    shown_climb_mps.store(missing ? NAN : climb_mps, std::memory_order_relaxed);
}

void StartVarioAudio(const VarioToneOptions& options) {
    static_assert(kAudioSampleRateHz == platform::kAudioOutputRateHz);
    synthesiser.emplace(options);
    std::string error;
    bool started = platform::StartAudioOutput(
        [](std::span<int16_t> samples) {
            double climb_mps = shown_climb_mps.load(std::memory_order_relaxed);
            synthesiser->Fill(samples, climb_mps, std::isnan(climb_mps));
        },
        error);
    if (!started) {
        std::fprintf(stderr, "No audio output (%s): the variometer runs silent.\n", error.c_str());
        std::fflush(stderr);
    }
}

void StopVarioAudio() { platform::StopAudioOutput(); }
