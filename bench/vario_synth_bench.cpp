// The audio variometer's cost: the synthesiser filling one second of audio in buffers of
// 512 samples across a climb/sink profile, beside a bare loop writing a sine of the same
// length (goal: at most twice its time).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "audio/vario_synthesiser.h"
#include "bench/bench_figures.h"

namespace {

constexpr int kBuffer = 512;
constexpr int kSecondsPerRun = 4;
constexpr int kRuns = 15;

volatile int sink_sum = 0;

double SecondsOf(auto&& body) {
    auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    std::vector<int16_t> buffer(kBuffer);
    const int buffers = kSecondsPerRun * kAudioSampleRateHz / kBuffer;
    std::vector<double> synth_s, sine_s;
    VarioSynthesiser synthesiser({true, 80});
    double phase = 0;
    for (int run = 0; run < kRuns; ++run) {
        synth_s.push_back(SecondsOf([&] {
                              for (int b = 0; b < buffers; ++b) {
                                  // From -6 to +6 m/s and back, through the dead band.
                                  double climb = 6 * std::sin(b * 0.002);
                                  synthesiser.Fill(buffer, climb, false);
                                  sink_sum = sink_sum + buffer[b % kBuffer];
                              }
                          }) /
                          kSecondsPerRun);
        sine_s.push_back(SecondsOf([&] {
                             const double step = 700.0 / kAudioSampleRateHz;
                             for (int b = 0; b < buffers; ++b) {
                                 for (int16_t& sample : buffer) {
                                     sample = static_cast<int16_t>(
                                         std::lround(26214 * std::sin(2 * std::numbers::pi * phase)));
                                     phase += step;
                                     if (phase >= 1) phase -= 1;
                                 }
                                 sink_sum = sink_sum + buffer[b % kBuffer];
                             }
                         }) /
                         kSecondsPerRun);
    }
    double synth = Percentile(synth_s, 0.5), sine = Percentile(sine_s, 0.5);
    std::printf("synthesiser: %.3f ms per second of audio (median of %d runs)\n", synth * 1000, kRuns);
    std::printf("bare sine loop: %.3f ms per second of audio\n", sine * 1000);
    std::printf("ratio: %.2f (goal: at most 2)\n", synth / sine);
    return 0;
}
