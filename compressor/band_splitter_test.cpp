#include "compressor/band_splitter.h"
#include "compressor/crossover_filter.h"
#include "compressor/iir_cascade.h"
#include "compressor/test_signals.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

using namespace orq::compressor;
using namespace orq::compressor::testing;

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 1024;
constexpr int32_t kTail = 512;
constexpr double kSumTolerance = 2e-6; // float rounding of the bands' sum

// A splitter that keeps a copy of each band of the last block.
class RecordingSplitter : public BandSplitter {
  public:
    using BandSplitter::BandSplitter;
    std::array<Channels, kMaxBands> lastBands;

  protected:
    void processBands(float* const* const* bands, int32_t frames) override {
        for (int32_t b = 0; b < bandCount(); ++b) {
            lastBands[b].assign(channels(), std::vector<float>(frames));
            for (int32_t ch = 0; ch < channels(); ++ch)
                std::copy(bands[b][ch], bands[b][ch] + frames, lastBands[b][ch].begin());
        }
    }
};

// Steady-state peak of the crossover's low part for a sine.
double crossoverGainDb(CrossoverFilter& crossover, double hz) {
    const int32_t blocks = 24;
    const Channels x = sine(1, blocks * kBlock, hz, kRate, 0.5f);
    Channels y(1, std::vector<float>(blocks * kBlock));
    for (int32_t b = 0; b < blocks; ++b) {
        const float* in[] = {x[0].data() + b * kBlock};
        float* out[] = {y[0].data() + b * kBlock};
        crossover.process(in, out);
    }
    return toDb(peak(y[0], 16 * kBlock, blocks * kBlock) / 0.5);
}

TEST(IirCascade, matches_difference_equation_in_double) {
    const BiquadCoefficients c[] = {{0.5, 0.25, -0.9, 0.2}, {1.0, 0.0, -0.3, 0.0}};
    IirCascade cascade;
    cascade.setCoefficients(0.7, c);
    std::vector<float> x(64, 0.0f);
    x[0] = 1.0f;
    x[5] = -0.5f;
    std::vector<float> y(64);
    cascade.process(x.data(), y.data(), 32);
    cascade.process(x.data() + 32, y.data() + 32, 32); // state carries across calls
    // Direct form I reference.
    double v1[3] = {}, y1[3] = {}, v2[3] = {}, y2[3] = {};
    for (int i = 0; i < 64; ++i) {
        v1[0] = 0.7 * x[i];
        y1[0] = v1[0] + c[0].b1 * v1[1] + c[0].b2 * v1[2] - c[0].a1 * y1[1] - c[0].a2 * y1[2];
        v2[0] = y1[0];
        y2[0] = v2[0] + c[1].b1 * v2[1] - c[1].a1 * y2[1];
        EXPECT_NEAR(y[i], y2[0], 1e-6) << "frame " << i;
        for (double* s : {v1, y1, v2, y2}) {
            s[2] = s[1];
            s[1] = s[0];
        }
    }
}

TEST(IirCascade, trivial_sections_pass_input_and_reset_clears_state) {
    const BiquadCoefficients trivial[] = {{}, {}};
    IirCascade cascade;
    cascade.setCoefficients(1.0, trivial);
    EXPECT_EQ(cascade.sectionCount(), 0);
    std::vector<float> x = {0.1f, -0.2f, 0.3f};
    std::vector<float> y(3);
    cascade.process(x.data(), y.data(), 3);
    EXPECT_EQ(y, x);

    const BiquadCoefficients resonant[] = {{0.0, 0.0, -1.8, 0.9}};
    cascade.setCoefficients(1.0, resonant);
    cascade.process(x.data(), y.data(), 3);
    cascade.reset();
    std::vector<float> zeros(8, 0.0f), out(8, 1.0f);
    cascade.process(zeros.data(), out.data(), 8);
    for (float v : out)
        EXPECT_EQ(v, 0.0f);
}

TEST(IirCascade, paired_processing_equals_one_channel_at_a_time) {
    const BiquadCoefficients c[] = {{0.5, 0.25, -0.9, 0.2}, {1.2, 0.3, -1.1, 0.4}};
    IirCascade a, b, refA, refB;
    for (IirCascade* f : {&a, &b, &refA, &refB})
        f->setCoefficients(0.3, c);
    const Channels x = noise(2, 300, 0.5f, 2);
    Channels y(2, std::vector<float>(300)), ref = y;
    IirCascade::processPair(a, x[0].data(), y[0].data(), b, x[1].data(), y[1].data(), 300);
    refA.process(x[0].data(), ref[0].data(), 300);
    refB.process(x[1].data(), ref[1].data(), 300);
    EXPECT_EQ(y, ref);
    // Different coefficients: each cascade keeps its own.
    const BiquadCoefficients other[] = {{0.0, 0.0, -0.5, 0.0}};
    b.setCoefficients(1.0, other);
    refB.setCoefficients(1.0, other);
    IirCascade::processPair(a, x[0].data(), y[0].data(), b, x[1].data(), y[1].data(), 300);
    refA.process(x[0].data(), ref[0].data(), 300);
    refB.process(x[1].data(), ref[1].data(), 300);
    EXPECT_EQ(y, ref);
}

TEST(Crossover, magnitude_is_the_square_of_the_designed_lowpass) {
    CrossoverFilter crossover(1, kRate, kBlock, 4, 1000.0);
    const EllipticDesigner& d = crossover.designer();
    for (double hz : {200.0, 700.0, 1000.0, 1150.0}) {
        const double expectedDb = 2.0 * toDb(std::abs(d.response(hz)));
        EXPECT_NEAR(crossoverGainDb(crossover, hz), expectedDb, 0.05) << "at " << hz << " Hz";
    }
    // Deep in the stopband the square reaches at least 60 dB down.
    EXPECT_LT(crossoverGainDb(crossover, 3000.0), -60.0);
}

TEST(Crossover, output_is_zero_phase_and_delayed_by_the_tail) {
    CrossoverFilter crossover(1, kRate, kBlock, 4, 2000.0);
    EXPECT_EQ(crossover.latencyFrames(), kTail);
    // A passband sine comes out in phase with the input delayed by the tail.
    const Channels x = sine(1, 16 * kBlock, 300.0, kRate, 0.5f);
    Channels y(1, std::vector<float>(16 * kBlock));
    for (int32_t b = 0; b < 16; ++b) {
        const float* in[] = {x[0].data() + b * kBlock};
        float* out[] = {y[0].data() + b * kBlock};
        crossover.process(in, out);
    }
    const double gain = std::abs(crossover.designer().response(300.0));
    double worst = 0.0;
    for (int32_t t = 8 * kBlock; t < 16 * kBlock; ++t)
        worst = std::max(worst, std::fabs(y[0][t] - gain * gain * x[0][t - kTail]));
    EXPECT_LT(worst, 1e-3);
}

// Steady-state gain of the crossover's low part for a sine, from its in-phase and quadrature
// parts over whole blocks after the filter has settled.
double measuredGainDb(CrossoverFilter& crossover, int32_t rate, double hz) {
    const int32_t blocks = 32;
    const int32_t settled = 8;
    const Channels x = sine(1, blocks * kBlock, hz, rate, 0.5f);
    Channels y(1, std::vector<float>(blocks * kBlock));
    for (int32_t b = 0; b < blocks; ++b) {
        const float* in[] = {x[0].data() + b * kBlock};
        float* out[] = {y[0].data() + b * kBlock};
        crossover.process(in, out);
    }
    double re = 0.0, im = 0.0;
    const int32_t n = (blocks - settled) * kBlock;
    for (int32_t t = settled * kBlock; t < blocks * kBlock; ++t) {
        const double phase = 2.0 * std::numbers::pi * hz * t / rate;
        re += y[0][t] * std::cos(phase);
        im += y[0][t] * std::sin(phase);
    }
    return toDb(2.0 * std::hypot(re, im) / n / 0.5);
}

TEST(Crossover, border_just_below_half_the_rate_is_designed_where_asked) {
    for (int32_t rate : {44100, 48000}) {
        const double borderHz = std::floor(0.49 * rate);
        CrossoverFilter crossover(1, rate, kBlock, 4, borderHz);
        // At the border the square of the designed low-pass sits at its ripple floor (-0.6 dB).
        const double atBorderDb = measuredGainDb(crossover, rate, borderHz);
        EXPECT_NEAR(atBorderDb, -0.6, 0.5) << rate << " Hz, border " << borderHz;
        // Its -6 dB point lies between the border and half the rate.
        double sixDbHz = 0.0;
        for (double hz = borderHz; hz < 0.5 * rate; hz += 10.0) {
            crossover.reset();
            if (measuredGainDb(crossover, rate, hz) < -6.0) {
                sixDbHz = hz;
                break;
            }
        }
        EXPECT_GT(sixDbHz, borderHz) << rate;
        EXPECT_LT(sixDbHz, 0.5 * rate) << rate;
    }
}

TEST(Crossover, border_fraction_is_dropped_before_design) {
    CrossoverFilter crossover(2, kRate, kBlock, 4, 1000.9);
    EXPECT_DOUBLE_EQ(crossover.designer().passbandEdgesHz[0], 1000.0);
    // Borders outside the design range are kept inside it instead of failing.
    EXPECT_TRUE(crossover.setBorder(30000.0));
    EXPECT_LT(crossover.designer().passbandEdgesHz[0], 0.5 * kRate);
    EXPECT_TRUE(crossover.setBorder(-5.0));
    EXPECT_DOUBLE_EQ(crossover.designer().passbandEdgesHz[0], kMinCrossoverHz);
    EXPECT_FALSE(crossover.setBorder(std::nan("")));
}

TEST(BandSplitter, default_edges_are_log_spaced_to_half_the_rate) {
    BandSplitter splitter(kRate, 2, kBlock, 3, 4);
    EXPECT_NEAR(splitter.bandLowerEdge(0), 20.0, 1e-9);
    EXPECT_NEAR(splitter.bandLowerEdge(1), 206.61, 0.01);
    EXPECT_NEAR(splitter.bandLowerEdge(2), 2134.43, 0.01);
    EXPECT_NEAR(splitter.bandLowerEdge(3), 22050.0, 1e-9);
}

TEST(BandSplitter, bands_sum_to_input_delayed_for_every_band_count_and_border_set) {
    const std::vector<std::vector<double>> borderSets = {
        {},                               // construction defaults
        {100.0, 1000.0, 5000.0, 12000.0}, // spread
        {1000.0, 1050.0, 1100.0, 1150.0}, // close together
        {25.0, 30.0, 19000.0, 21000.0},   // extremes
    };
    for (int32_t bands = 1; bands <= kMaxBands; ++bands) {
        for (const auto& borders : borderSets) {
            BandSplitter splitter(kRate, 2, kBlock, bands, 4);
            for (size_t i = 0; i < borders.size(); ++i)
                splitter.setBorder(borders[i], static_cast<int32_t>(i) + 1);
            const int32_t latency = splitter.latency();
            ASSERT_EQ(latency, kBlock + (bands - 1) * kTail);
            const Channels x = noise(2, 12 * kBlock, 0.5f, 11 + bands);
            const Channels y = run(splitter, x, 777);
            EXPECT_LT(delayedError(x, y, latency), kSumTolerance)
                << bands << " bands, border set of " << borders.size();
            EXPECT_EQ(peak(y[0], 0, latency), 0.0);
        }
    }
}

// Every band of every block a splitter produces for a signal, per band and channel.
std::array<Channels, kMaxBands> splitIntoBands(RecordingSplitter& splitter, const Channels& x,
                                               Channels* sum) {
    std::array<Channels, kMaxBands> bands;
    const int32_t channels = static_cast<int32_t>(x.size());
    const int32_t frames = static_cast<int32_t>(x.front().size());
    for (int32_t b = 0; b < splitter.bandCount(); ++b)
        bands[b].assign(channels, {});
    *sum = x;
    Channels work = x;
    std::vector<float*> in(channels);
    std::vector<float*> out(channels);
    for (int32_t start = 0; start + kBlock <= frames; start += kBlock) {
        for (int32_t ch = 0; ch < channels; ++ch) {
            in[ch] = work[ch].data() + start;
            out[ch] = (*sum)[ch].data() + start;
        }
        splitter.process(in.data(), out.data(), kBlock);
        for (int32_t b = 0; b < splitter.bandCount(); ++b)
            for (int32_t ch = 0; ch < channels; ++ch)
                bands[b][ch].insert(bands[b][ch].end(), splitter.lastBands[b][ch].begin(),
                                    splitter.lastBands[b][ch].end());
    }
    return bands;
}

TEST(BandSplitter, every_channel_of_a_multichannel_split_equals_its_mono_split) {
    // Two channels run through the crossovers as a pair; a third one alone.
    const double borders[] = {150.0, 1200.0, 6000.0, 15000.0};
    for (int32_t channels : {2, 3}) {
        const Channels x = noise(channels, 12 * kBlock, 0.6f, 40 + channels);
        RecordingSplitter together(kRate, channels, kBlock, kMaxBands, 4);
        for (int32_t i = 1; i < kMaxBands; ++i)
            together.setBorder(borders[i - 1], i);
        Channels sum;
        const auto bands = splitIntoBands(together, x, &sum);
        EXPECT_LT(delayedError(x, sum, together.latency()), kSumTolerance) << channels;
        for (int32_t ch = 0; ch < channels; ++ch) {
            RecordingSplitter alone(kRate, 1, kBlock, kMaxBands, 4);
            for (int32_t i = 1; i < kMaxBands; ++i)
                alone.setBorder(borders[i - 1], i);
            Channels monoSum;
            const auto monoBands = splitIntoBands(alone, Channels{x[ch]}, &monoSum);
            for (int32_t b = 0; b < kMaxBands; ++b)
                EXPECT_EQ(bands[b][ch], monoBands[b][0])
                    << "band " << b << ", channel " << ch << " of " << channels;
            EXPECT_EQ(sum[ch], monoSum[0]) << "channel " << ch << " of " << channels;
        }
    }
}

TEST(BandSplitter, one_band_runs_no_crossover_and_is_an_exact_block_delay) {
    BandSplitter splitter(kRate, 1, kBlock, 1, 4);
    EXPECT_EQ(splitter.latency(), kBlock);
    const Channels x = noise(1, 5 * kBlock, 0.9f, 3);
    EXPECT_EQ(delayedError(x, run(splitter, x, 300), kBlock), 0.0);
}

TEST(BandSplitter, solo_of_top_band_outputs_it_alone_delayed_like_the_sum) {
    RecordingSplitter splitter(kRate, 1, kBlock, 3, 4);
    splitter.setSolo(2);
    EXPECT_TRUE(splitter.soloActive());
    const int32_t latency = splitter.latency();
    // A 10 kHz sine lies in the top band and passes aligned; 60 Hz lies in band 0 and is gone.
    const Channels high = sine(1, 20 * kBlock, 10000.0, kRate, 0.5f);
    EXPECT_LT(delayedError(high, run(splitter, high, kBlock), latency, 10 * kBlock), 1e-3);
    const Channels low = sine(1, 20 * kBlock, 60.0, kRate, 0.5f);
    const Channels soloed = run(splitter, low, kBlock);
    EXPECT_LT(toDb(peak(soloed[0], 12 * kBlock, 20 * kBlock) / 0.5), -50.0);
    // Each output block is exactly the top band's block of the call before (block delay).
    run(splitter, noise(1, kBlock, 0.5f, 5), kBlock);
    const std::vector<float> topBand = splitter.lastBands[2][0];
    const Channels next = run(splitter, noise(1, kBlock, 0.5f, 6), kBlock);
    EXPECT_EQ(next[0], topBand);
}

TEST(BandSplitter, solo_index_outside_the_bands_turns_solo_off) {
    BandSplitter splitter(kRate, 1, kBlock, 3, 4);
    splitter.setSolo(3);
    EXPECT_FALSE(splitter.soloActive());
    splitter.setSolo(-1);
    EXPECT_FALSE(splitter.soloActive());
    const Channels x = noise(1, 8 * kBlock, 0.5f, 9);
    EXPECT_LT(delayedError(x, run(splitter, x, kBlock), splitter.latency()), kSumTolerance);
}

TEST(BandSplitter, set_border_moves_edges_and_ignores_other_indices) {
    BandSplitter splitter(kRate, 2, kBlock, 3, 4);
    splitter.setBorder(1000.9, 1);
    EXPECT_DOUBLE_EQ(splitter.bandLowerEdge(1), 1000.9);
    EXPECT_DOUBLE_EQ(splitter.crossover(0).designer().passbandEdgesHz[0], 1000.0);
    const double before = splitter.bandLowerEdge(2);
    splitter.setBorder(500.0, 0);
    splitter.setBorder(500.0, 3);
    splitter.setBorder(std::nan(""), 2);
    EXPECT_DOUBLE_EQ(splitter.bandLowerEdge(2), before);
    EXPECT_DOUBLE_EQ(splitter.bandLowerEdge(0), 20.0);
}

TEST(BandSplitter, reset_clears_every_filter_and_delay) {
    BandSplitter splitter(kRate, 2, kBlock, 4, 4);
    run(splitter, noise(2, 6 * kBlock, 0.8f, 21), 512);
    splitter.reset();
    const Channels silence(2, std::vector<float>(6 * kBlock, 0.0f));
    const Channels y = run(splitter, silence, 512);
    EXPECT_EQ(peak(y[0], 0, y[0].size()), 0.0);
    EXPECT_EQ(peak(y[1], 0, y[1].size()), 0.0);
}

} // namespace
