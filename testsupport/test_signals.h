// Deterministic test signals shared by the tests of every folder. A test's expected figures may
// depend on the exact samples: change nothing here that alters what a seed gives.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace orq::test {

// Uniform white noise in [-amplitude, amplitude]: the standard Mersenne twister seeded with
// `seed` through the standard uniform distribution. Successive calls continue one stream.
class UniformNoise {
  public:
    explicit UniformNoise(uint32_t seed, float amplitude = 1.0f)
        : generator_(seed), distribution_(-amplitude, amplitude) {}
    float next() { return distribution_(generator_); }
    void fill(std::span<float> samples) {
        for (float& s : samples)
            s = next();
    }

  private:
    std::mt19937 generator_;
    std::uniform_real_distribution<float> distribution_;
};

// `frames` samples of UniformNoise(seed, amplitude).
inline std::vector<float> whiteNoise(size_t frames, uint32_t seed, float amplitude = 1.0f) {
    std::vector<float> samples(frames);
    UniformNoise(seed, amplitude).fill(samples);
    return samples;
}

// Channels of white noise from one stream: the whole first channel, then the second, ...
inline std::vector<std::vector<float>> whiteNoiseChannels(size_t channels, size_t frames,
                                                          uint32_t seed, float amplitude = 1.0f) {
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    UniformNoise noise(seed, amplitude);
    for (auto& channel : out)
        noise.fill(channel);
    return out;
}

// A small generator of its own (xorshift32, shifts 13, 17, 5) for values uniform in [-1, 1),
// where a test wants a stream that no library's implementation can change.
class Xorshift32Noise {
  public:
    explicit Xorshift32Noise(uint32_t seed = 0x1234567u) : state_(seed != 0 ? seed : 1u) {}
    float next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<float>(static_cast<double>(state_) / 2147483648.0 - 1.0);
    }

  private:
    uint32_t state_;
};

// amplitude * sin(2 pi frequencyHz n / sampleRateHz), computed in double, rounded to float.
inline std::vector<float> sine(size_t frames, double frequencyHz, double sampleRateHz,
                               double amplitude) {
    std::vector<float> samples(frames);
    for (size_t n = 0; n < frames; ++n)
        samples[n] =
            static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequencyHz *
                                                    static_cast<double>(n) / sampleRateHz));
    return samples;
}

// Pink noise (-3 dB per octave) from white noise through a sum of one-pole sections.
inline std::vector<float> pinkNoise(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    double b[7] = {};
    std::vector<float> v(n);
    for (auto& x : v) {
        const double w = g(rng);
        b[0] = 0.99886 * b[0] + w * 0.0555179;
        b[1] = 0.99332 * b[1] + w * 0.0750759;
        b[2] = 0.96900 * b[2] + w * 0.1538520;
        b[3] = 0.86650 * b[3] + w * 0.3104856;
        b[4] = 0.55000 * b[4] + w * 0.5329522;
        b[5] = -0.7616 * b[5] - w * 0.0168980;
        x = float(0.02 * (b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362));
        b[6] = w * 0.115926;
    }
    return v;
}

// A peaking or shelving equaliser section (the usual audio-EQ cookbook forms), run in double:
// a reference filter for tests that need a known coloration.
struct Biquad {
    double b0, b1, b2, a1, a2;
    static Biquad peak(double fHz, double q, double gainDb, double rateHz) {
        const double a = std::pow(10.0, gainDb / 40.0), w = 2 * M_PI * fHz / rateHz;
        const double al = std::sin(w) / (2 * q), a0 = 1 + al / a;
        return {(1 + al * a) / a0, -2 * std::cos(w) / a0, (1 - al * a) / a0, -2 * std::cos(w) / a0,
                (1 - al / a) / a0};
    }
    static Biquad shelf(bool high, double fHz, double gainDb, double rateHz) {
        const double a = std::pow(10.0, gainDb / 40.0), w = 2 * M_PI * fHz / rateHz;
        const double cw = std::cos(w), al = std::sin(w) / 2 * std::sqrt(2.0),
                     sa = 2 * std::sqrt(a) * al;
        const double s = high ? -1.0 : 1.0;
        const double a0 = (a + 1) + s * (a - 1) * cw + sa;
        return {a * ((a + 1) - s * (a - 1) * cw + sa) / a0,
                s * 2 * a * ((a - 1) - s * (a + 1) * cw) / a0,
                a * ((a + 1) - s * (a - 1) * cw - sa) / a0,
                -s * 2 * ((a - 1) + s * (a + 1) * cw) / a0, ((a + 1) + s * (a - 1) * cw - sa) / a0};
    }
    std::vector<float> run(const std::vector<float>& x) const {
        std::vector<float> y(x.size());
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (size_t i = 0; i < x.size(); ++i) {
            const double v = b0 * x[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = x[i];
            y2 = y1;
            y1 = v;
            y[i] = float(v);
        }
        return y;
    }
};

} // namespace orq::test
