// The sound output on Linux: an SDL2 audio device with a short buffer, whose callback
// SDL calls on its own thread.
#include <SDL.h>

#include "platform/audio_output.h"
#include "platform/linux/linux_internal.h"

namespace platform {

namespace {
// About 11 ms at 48 kHz: short, so that a new value is heard soon.
constexpr Uint16 kBufferSamples = 512;

SDL_AudioDeviceID device = 0;
AudioFill device_fill = nullptr;

void SDLCALL FillCallback(void*, Uint8* stream, int length_bytes) {
    device_fill(std::span<int16_t>(reinterpret_cast<int16_t*>(stream), length_bytes / sizeof(int16_t)));
}
}  // namespace

bool StartAudioOutput(AudioFill fill, std::string& error) {
    if (device != 0) return true;
    // As for the window: the program's own handlers note the end signals.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    CatchEndSignals();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = SDL_GetError();
        return false;
    }
    device_fill = fill;
    SDL_AudioSpec wanted{};
    wanted.freq = kAudioOutputRateHz;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 1;
    wanted.samples = kBufferSamples;
    wanted.callback = FillCallback;
    // SDL converts to whatever the device takes; the callback always sees this format.
    SDL_AudioSpec obtained{};
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) {
        error = SDL_GetError();
        device_fill = nullptr;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void StopAudioOutput() {
    if (device == 0) return;
    SDL_CloseAudioDevice(device);
    device = 0;
    device_fill = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace platform
