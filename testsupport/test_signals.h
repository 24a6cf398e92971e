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

} // namespace orq::test
