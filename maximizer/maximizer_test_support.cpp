#include "maximizer/maximizer_test_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace orq::maximizer::test {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// One biquad section in direct form I: y[n] = b0 x[n] + b1 x[n−1] + b2 x[n−2]
//                                              − a1 y[n−1] − a2 y[n−2].
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double step(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// K-weighting: a high shelf (+4 dB above about 1.7 kHz) and a second-order high-pass at about
// 38 Hz, designed for any rate through the bilinear transform.
std::array<Biquad, 2> kWeighting(double sampleRateHz) {
    const double shelfHz = 1681.974450955533, shelfGainDb = 3.999843853973347,
                 shelfQ = 0.7071752369554196;
    double k = std::tan(std::numbers::pi * shelfHz / sampleRateHz);
    const double vh = std::pow(10.0, shelfGainDb / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / shelfQ + k * k;
    Biquad shelf{(vh + vb * k / shelfQ + k * k) / a0, 2.0 * (k * k - vh) / a0,
                 (vh - vb * k / shelfQ + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
                 (1.0 - k / shelfQ + k * k) / a0};
    const double highPassHz = 38.13547087602444, highPassQ = 0.5003270373238773;
    k = std::tan(std::numbers::pi * highPassHz / sampleRateHz);
    a0 = 1.0 + k / highPassQ + k * k;
    Biquad highPass{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / highPassQ + k * k) / a0};
    return {shelf, highPass};
}

double blockLoudness(double sumOfMeanSquares) {
    return -0.691 + 10.0 * std::log10(sumOfMeanSquares);
}

} // namespace

Channels sine(int32_t channels, int32_t frames, double frequencyHz, double amplitude,
              double sampleRateHz) {
    return Channels(size_t(channels),
                    orq::test::sine(size_t(frames), frequencyHz, sampleRateHz, amplitude));
}

Channels square(int32_t channels, int32_t frames, double frequencyHz, double amplitude,
                double sampleRateHz) {
    Channels out(channels, std::vector<float>(frames));
    for (int32_t t = 0; t < frames; ++t) {
        const double phase = std::fmod(frequencyHz * t / sampleRateHz, 1.0);
        const float v = static_cast<float>(phase < 0.5 ? amplitude : -amplitude);
        for (auto& ch : out)
            ch[t] = v;
    }
    return out;
}

Channels whiteNoise(int32_t channels, int32_t frames, double amplitude, uint32_t seed) {
    NoiseSource noise(seed);
    Channels out(channels, std::vector<float>(frames));
    for (int32_t t = 0; t < frames; ++t)
        for (auto& ch : out)
            ch[t] = static_cast<float>(amplitude) * noise.next();
    return out;
}

Channels bursts(int32_t channels, int32_t frames, int32_t periodFrames, int32_t burstFrames,
                double amplitude, double sampleRateHz) {
    Channels out = square(channels, frames, 997.0, amplitude, sampleRateHz);
    for (int32_t t = 0; t < frames; ++t)
        if (t % periodFrames < periodFrames - burstFrames)
            for (auto& ch : out)
                ch[t] = 0.0f;
    return out;
}

Channels musicLikeMix(double seconds, double sampleRateHz, double peakDb) {
    const int32_t frames = static_cast<int32_t>(seconds * sampleRateHz);
    std::vector<double> left(frames, 0.0), right(frames, 0.0);
    const double beat = 0.5; // seconds at 120 beats per minute
    NoiseSource noise(0xC0FFEEu);
    const std::array<double, 8> bassHz{55.0, 55.0, 65.41, 73.42, 55.0, 82.41, 73.42, 65.41};
    const std::array<std::array<double, 3>, 4> chordHz{{{220.0, 261.63, 329.63},
                                                        {174.61, 220.0, 261.63},
                                                        {196.0, 246.94, 293.66},
                                                        {164.81, 207.65, 246.94}}};
    const std::array<double, 8> leadHz{659.26, 587.33, 523.25, 587.33, 659.26, 783.99, 659.26, 0.0};
    double hatState = 0.0;
    for (int32_t n = 0; n < frames; ++n) {
        const double t = n / sampleRateHz;
        const int32_t beatIndex = static_cast<int32_t>(t / beat);
        const double inBeat = t - beatIndex * beat;
        const double inEighth = std::fmod(t, beat / 2.0);
        double centre = 0.0, l = 0.0, r = 0.0;

        if (beatIndex % 2 == 0) { // kick: falling sine sweep
            const double f = 45.0 + 75.0 * std::exp(-inBeat / 0.03);
            centre += 0.9 * std::exp(-inBeat / 0.12) * std::sin(kTwoPi * f * inBeat);
        } else { // snare: noise and a short tone
            const double n0 = noise.next();
            centre += 0.45 * std::exp(-inBeat / 0.07) * n0 +
                      0.3 * std::exp(-inBeat / 0.05) * std::sin(kTwoPi * 190.0 * inBeat);
        }
        { // hi-hat: differenced noise, slightly right
            const double n1 = noise.next();
            const double hp = n1 - hatState;
            hatState = n1;
            const double hat = 0.12 * std::exp(-inEighth / 0.015) * hp;
            l += 0.7 * hat;
            r += 1.0 * hat;
        }
        { // bass: four harmonics, plucked
            const double f = bassHz[static_cast<size_t>(beatIndex) % bassHz.size()];
            const double env = std::min(1.0, inBeat / 0.005) * std::exp(-inBeat / 0.35);
            double v = 0.0;
            for (int h = 1; h <= 4; ++h)
                v += std::sin(kTwoPi * f * h * t) / h;
            centre += 0.35 * env * v;
        }
        { // chord pad: two seconds per chord, soft attack
            const int32_t chord = static_cast<int32_t>(t / 2.0) % 4;
            const double inChord = std::fmod(t, 2.0);
            const double env = std::min(1.0, inChord / 0.08) * (0.7 + 0.3 * std::exp(-inChord));
            for (size_t k = 0; k < 3; ++k) {
                const double f = chordHz[static_cast<size_t>(chord)][k];
                const double v =
                    0.09 * env * (std::sin(kTwoPi * f * t) + 0.3 * std::sin(kTwoPi * 2 * f * t));
                l += (k == 0 ? 1.0 : 0.6) * v;
                r += (k == 2 ? 1.0 : 0.6) * v;
            }
        }
        { // lead: one note per beat with vibrato
            const double f = leadHz[static_cast<size_t>(beatIndex) % leadHz.size()];
            if (f > 0.0) {
                const double env = std::min(1.0, inBeat / 0.02) * std::exp(-inBeat / 0.4);
                const double v =
                    0.16 * env * std::sin(kTwoPi * f * t + 0.4 * std::sin(kTwoPi * 5.0 * t));
                l += 0.8 * v;
                r += 0.5 * v;
            }
        }
        left[n] = centre + l;
        right[n] = centre + r;
    }
    double peak = 0.0;
    for (int32_t n = 0; n < frames; ++n)
        peak = std::max({peak, std::fabs(left[n]), std::fabs(right[n])});
    const double scale = std::pow(10.0, peakDb / 20.0) / peak;
    Channels out(2, std::vector<float>(frames));
    for (int32_t n = 0; n < frames; ++n) {
        out[0][n] = static_cast<float>(left[n] * scale);
        out[1][n] = static_cast<float>(right[n] * scale);
    }
    return out;
}

double integratedLoudness(const Channels& signal, double sampleRateHz) {
    const size_t frames = signal.empty() ? 0 : signal[0].size();
    std::vector<std::vector<double>> squared;
    for (const auto& ch : signal) {
        auto filters = kWeighting(sampleRateHz);
        std::vector<double> sq(frames);
        for (size_t n = 0; n < frames; ++n) {
            const double y = filters[1].step(filters[0].step(ch[n]));
            sq[n] = y * y;
        }
        squared.push_back(std::move(sq));
    }
    const size_t block = static_cast<size_t>(0.4 * sampleRateHz);
    const size_t hop = block / 4;
    std::vector<double> blockPower; // channel-summed mean squares per block
    for (size_t start = 0; start + block <= frames; start += hop) {
        double sum = 0.0;
        for (const auto& sq : squared) {
            double s = 0.0;
            for (size_t n = start; n < start + block; ++n)
                s += sq[n];
            sum += s / static_cast<double>(block);
        }
        blockPower.push_back(sum);
    }
    const double absoluteGate = -70.0;
    double gatedSum = 0.0;
    size_t gatedCount = 0;
    for (double p : blockPower)
        if (blockLoudness(p) > absoluteGate) {
            gatedSum += p;
            ++gatedCount;
        }
    if (gatedCount == 0) return -HUGE_VAL;
    const double relativeGate = blockLoudness(gatedSum / gatedCount) - 10.0;
    double sum = 0.0;
    size_t count = 0;
    for (double p : blockPower) {
        const double l = blockLoudness(p);
        if (l > absoluteGate && l > relativeGate) {
            sum += p;
            ++count;
        }
    }
    return blockLoudness(sum / count);
}

Channels runEngine(MaximizerEngine& engine, const Channels& signal, int32_t blockFrames,
                   CountingFrameLock* lock) {
    Channels out(signal.size(), std::vector<float>(signal.empty() ? 0 : signal[0].size()));
    const int32_t frames = signal.empty() ? 0 : static_cast<int32_t>(signal[0].size());
    std::vector<const float*> in(signal.size());
    std::vector<float*> outPtr(signal.size());
    for (int32_t start = 0; start < frames; start += blockFrames) {
        const int32_t n = std::min(blockFrames, frames - start);
        for (size_t c = 0; c < signal.size(); ++c) {
            in[c] = signal[c].data() + start;
            outPtr[c] = out[c].data() + start;
        }
        if (lock != nullptr)
            engine.process(in.data(), outPtr.data(), n, OutputMode::Replace, *lock);
        else
            engine.process(in.data(), outPtr.data(), n, OutputMode::Replace);
    }
    return out;
}

double peakMagnitude(const Channels& signal, int32_t fromFrame) {
    double peak = 0.0;
    for (const auto& ch : signal)
        for (size_t n = static_cast<size_t>(fromFrame); n < ch.size(); ++n) {
            if (std::isnan(ch[n])) return HUGE_VAL; // a not-a-number sample fails every bound
            peak = std::max(peak, static_cast<double>(std::fabs(ch[n])));
        }
    return peak;
}

} // namespace orq::maximizer::test
