// The sound output: one stream of 48 kHz signed 16-bit mono samples that the audio
// system pulls, on a thread of its own, from a fill function. Linux: SDL2's audio;
// Windows: the waveform-audio API. Opened once, apart from any window.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace platform {

inline constexpr int kAudioOutputRateHz = 48000;

// Called on the audio thread for every buffer; must fill all of it, quickly, and never
// wait on the caller's other threads. A plain function, so that nothing of it is torn
// down while the audio thread may still call it as the process ends.
using AudioFill = void (*)(std::span<int16_t> samples);

// Starts the stream; false, with the reason in error, when there is no device.
bool StartAudioOutput(AudioFill fill, std::string& error);
// Ends the stream, if one runs, once the fill function has returned for the last time.
void StopAudioOutput();

}  // namespace platform
