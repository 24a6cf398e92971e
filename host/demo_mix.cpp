#include "host/demo_mix.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace orq::host {

namespace {

constexpr double kTempoBpm = 120.0;
constexpr double kMixGain = 0.5;

// xorshift32: the same noise on every machine.
struct Noise {
    uint32_t state = 0x9e3779b9u;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }
};

double midiHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Sample t (seconds) of the mix for both channels.
void mixAt(double t, Noise& noise, double& left, double& right, double& hatState) {
    const double beat = 60.0 / kTempoBpm;
    const double inBeat = std::fmod(t, beat);
    const int bar = int(t / (4 * beat));
    static const int kRoots[] = {45, 41, 48, 43}; // A F C G
    const int root = kRoots[bar % 4];
    constexpr double twoPi = 2.0 * std::numbers::pi;
    // Kick: a falling sine on every beat.
    const double kickEnv = std::exp(-inBeat * 18.0);
    const double kick =
        0.9 * kickEnv *
        std::sin(twoPi * (45.0 * inBeat + 60.0 * (1 - std::exp(-inBeat * 30.0)) / 30.0));
    // Bass: the root on eighths.
    const double eighth = std::fmod(t, beat / 2);
    const double bass = 0.35 * std::exp(-eighth * 4.0) * std::sin(twoPi * midiHz(root - 12) * t);
    // Chords: a minor or major triad, a few harmonics each, slowly swelling.
    double pad = 0.0;
    const int third = (bar % 2 == 0) ? 3 : 4;
    for (int interval : {12, 12 + third, 19, 24}) {
        const double f = midiHz(root + interval);
        for (int h = 1; h <= 4; ++h)
            pad += std::sin(twoPi * f * h * t + h) / (h * h);
    }
    pad *= 0.06 * (0.6 + 0.4 * std::sin(twoPi * 0.25 * t));
    // Hats: high-passed noise on off-beats.
    const double off = std::fmod(t + beat / 2, beat);
    const double n = noise.next();
    const double highNoise = n - hatState;
    hatState = n;
    const double hat = 0.18 * std::exp(-off * 60.0) * highNoise;
    left = kMixGain * (kick + bass + pad * 1.1 + hat * 0.7);
    right = kMixGain * (kick + bass + pad * 0.9 + hat * 1.3);
}

} // namespace

AudioData makeDemoMix(int32_t sampleRate, double seconds) {
    AudioData audio;
    audio.channels = 2;
    audio.sampleRate = sampleRate;
    audio.frames = int64_t(seconds * sampleRate);
    audio.format = SampleFormat::Float32;
    audio.float32.resize(size_t(audio.frames) * 2);
    Noise noise;
    double hatState = 0.0;
    for (int64_t i = 0; i < audio.frames; ++i) {
        double l = 0, r = 0;
        mixAt(double(i) / sampleRate, noise, l, r, hatState);
        audio.float32[size_t(2 * i)] = float(l);
        audio.float32[size_t(2 * i + 1)] = float(r);
    }
    return audio;
}

AudioData makeBrightDemoMix(int32_t sampleRate, double seconds) {
    AudioData audio = makeDemoMix(sampleRate, seconds);
    // y = 1.6·x − 0.6·lowpass(x): highs lifted about 4 dB, lows kept.
    const double a = std::exp(-2.0 * std::numbers::pi * 1500.0 / sampleRate);
    for (int c = 0; c < 2; ++c) {
        double low = 0.0;
        for (int64_t i = 0; i < audio.frames; ++i) {
            float& x = audio.float32[size_t(2 * i + c)];
            low = (1 - a) * x + a * low;
            x = float(0.8 * (1.6 * x - 0.6 * low));
        }
    }
    return audio;
}

} // namespace orq::host
