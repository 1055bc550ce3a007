// The sound output on Windows: the waveform-audio API with a few short buffers, which
// a thread of its own refills as the device gives each one back (never the window's
// thread, so that building or moving the window leaves no gap).
#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/audio_output.h"

namespace platform {

namespace {
constexpr int kBufferCount = 4;
// 10 ms each at 48 kHz: four of them keep the device busy while staying short.
constexpr int kBufferSamples = kAudioOutputRateHz / 100;
// How long the refill thread waits at most before it looks at its buffers again.
constexpr DWORD kWaitMs = 50;

struct WaveStream {
    HWAVEOUT device = nullptr;
    HANDLE buffer_done = nullptr;
    AudioFill fill = nullptr;
    std::array<std::vector<int16_t>, kBufferCount> samples;
    std::array<WAVEHDR, kBufferCount> headers{};
    std::atomic<bool> stopping = false;
    std::thread refill;
};
WaveStream* stream = nullptr;

std::string WaveOutErrorText(MMRESULT result) {
    char text[MAXERRORLENGTH] = {};
    if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR) return "waveform audio error";
    return text;
}

// Fills one buffer and hands it to the device.
void Queue(WaveStream& s, int index) {
    s.fill(s.samples[index]);
    s.headers[index].dwFlags &= ~WHDR_DONE;
    waveOutWrite(s.device, &s.headers[index], sizeof(WAVEHDR));
}

void RefillLoop(WaveStream* s) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    for (int index = 0; index < kBufferCount; ++index) Queue(*s, index);
    while (!s->stopping.load()) {
        WaitForSingleObject(s->buffer_done, kWaitMs);
        for (int index = 0; index < kBufferCount && !s->stopping.load(); ++index) {
            if (s->headers[index].dwFlags & WHDR_DONE) Queue(*s, index);
        }
    }
}

void Close(WaveStream* s) {
    if (s->device) {
        waveOutReset(s->device);
        for (WAVEHDR& header : s->headers) {
            if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(s->device, &header, sizeof header);
        }
        waveOutClose(s->device);
    }
    if (s->buffer_done) CloseHandle(s->buffer_done);
    delete s;
}
}  // namespace

bool StartAudioOutput(AudioFill fill, std::string& error) {
    if (stream) return true;
    auto* s = new WaveStream;
    s->fill = fill;
    s->buffer_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = kAudioOutputRateHz;
    format.wBitsPerSample = 16;
    format.nBlockAlign = format.nChannels * format.wBitsPerSample / 8;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    MMRESULT result = s->buffer_done ? waveOutOpen(&s->device, WAVE_MAPPER, &format,
                                                   reinterpret_cast<DWORD_PTR>(s->buffer_done), 0, CALLBACK_EVENT)
                                     : MMSYSERR_NOMEM;
    if (result != MMSYSERR_NOERROR) {
        error = WaveOutErrorText(result);
        s->device = nullptr;
        Close(s);
        return false;
    }
    for (int index = 0; index < kBufferCount; ++index) {
        s->samples[index].assign(kBufferSamples, 0);
        WAVEHDR& header = s->headers[index];
        header.lpData = reinterpret_cast<LPSTR>(s->samples[index].data());
        header.dwBufferLength = kBufferSamples * sizeof(int16_t);
        result = waveOutPrepareHeader(s->device, &header, sizeof header);
        if (result != MMSYSERR_NOERROR) {
            error = WaveOutErrorText(result);
            Close(s);
            return false;
        }
    }
    s->refill = std::thread(RefillLoop, s);
    stream = s;
    return true;
}

void StopAudioOutput() {
    if (!stream) return;
    stream->stopping = true;
    SetEvent(stream->buffer_done);
    stream->refill.join();
    Close(stream);
    stream = nullptr;
}

}  // namespace platform
