// End-to-end matching: pink noise matched toward a reference of differently coloured pink noise.
#include "matching/match_engine.h"
#include "matching/own_fft.h"
#include "matching/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace orq::tessaline {
namespace {

using namespace orq::tessaline::testing;

constexpr double kRateHz = 44100.0;

// Mean power per third-octave band (edges of the band table) of a signal, from averaged
// Hann-windowed 16384-point spectra.
std::vector<double> bandPowers(const std::vector<float>& x, int32_t firstBand, int32_t lastBand) {
    constexpr int32_t n = 16384;
    OwnRealFft fft(n);
    std::vector<double> psd(n / 2 + 1, 0.0);
    std::vector<float> buf(n);
    for (size_t start = 0; start + n <= x.size(); start += n / 2) {
        for (int32_t i = 0; i < n; ++i) {
            buf[size_t(i)] = x[start + size_t(i)] * float(0.5 - 0.5 * std::cos(2 * M_PI * i / n));
        }
        fft.forward(buf.data());
        psd[0] += double(buf[0]) * buf[0];
        for (int32_t k = 1; k < n / 2; ++k) {
            psd[size_t(k)] += double(buf[size_t(k)]) * buf[size_t(k)] +
                              double(buf[size_t(n - k)]) * buf[size_t(n - k)];
        }
    }
    std::vector<double> bands;
    for (int32_t b = firstBand; b <= lastBand; ++b) {
        const auto& band = kThirdOctaveBands[size_t(b)];
        double sum = 0.0;
        for (int32_t k = 1; k < n / 2; ++k) {
            const double f = k * kRateHz / n;
            if (f >= band.lowHz && f < band.highHz) sum += psd[size_t(k)];
        }
        bands.push_back(sum);
    }
    return bands;
}

double rmsDb(const std::vector<float>& x) {
    double s = 0.0;
    for (float v : x)
        s += double(v) * v;
    return 10.0 * std::log10(s / double(x.size()));
}

struct MatchResult {
    double levelErrorDb;
    double rmsBandErrorDb;
    double worstBandErrorDb;
    double referenceColourDb; // RMS band difference between input and reference, before matching
};

// Learns the reference as source and the input as destination, equalises the two sums to the
// same frame count, matches at 100 % and renders the input.
MatchResult matchPink(bool thirdOctave, int32_t firstBand, int32_t lastBand) {
    const size_t refLength = size_t(40 * kRateHz), inLength = size_t(20 * kRateHz);
    // A smooth equaliser within ±6 dB between 50 Hz and 16 kHz colours the reference.
    const Biquad low = Biquad::shelf(false, 150.0, 5.0, kRateHz);
    const Biquad mid = Biquad::peak(1500.0, 0.8, -5.0, kRateHz);
    const Biquad high = Biquad::shelf(true, 7000.0, 4.0, kRateHz);
    Channels reference, input;
    for (uint32_t c = 0; c < 2; ++c) {
        reference.push_back(high.run(mid.run(low.run(pinkNoise(refLength, 100 + c)))));
        input.push_back(pinkNoise(inLength, 200 + c));
    }

    MatchEngine engine(int32_t(kRateHz), 2);
    EXPECT_EQ(engine.setThirdOctave(thirdOctave), thirdOctave);
    engine.setLearnTarget(LearnTarget::Source);
    engine.setLearning(true);
    runInCalls(engine, reference, {4096});
    engine.reset();
    engine.setLearnTarget(LearnTarget::Destination);
    runInCalls(engine, input, {4096});
    engine.setLearning(false);

    // Sums of different lengths become comparable: scale the source to the destination's count.
    const int32_t srcFrames = engine.learner().frames(LearnTarget::Source);
    const int32_t dstFrames = engine.learner().frames(LearnTarget::Destination);
    std::vector<float> src(size_t(engine.learnedBins()));
    engine.learner().copySpectrum(LearnTarget::Source, src.data(), int32_t(src.size()));
    for (float& v : src)
        v *= float(dstFrames) / float(srcFrames);
    engine.setLearnedSpectrum(LearnTarget::Source, src.data(), int32_t(src.size()));
    engine.setMatch(true);
    engine.setMorph(1.0f);

    engine.reset();
    const size_t latency = size_t(engine.latency());
    Channels padded = input;
    for (auto& ch : padded)
        ch.resize(ch.size() + latency, 0.0f);
    Channels out = runInCalls(engine, padded, {4096});
    for (auto& ch : out)
        ch.erase(ch.begin(), ch.begin() + ptrdiff_t(latency));

    MatchResult r{};
    r.levelErrorDb = rmsDb(out[0]) - rmsDb(reference[0]);
    const auto want = bandPowers(reference[0], firstBand, lastBand);
    const auto got = bandPowers(out[0], firstBand, lastBand);
    const auto before = bandPowers(input[0], firstBand, lastBand);
    // Band powers compared as densities: the reference is twice as long.
    const double lengthDb = 10 * std::log10(double(refLength) / double(inLength));
    double sq = 0.0, sqBefore = 0.0;
    for (size_t b = 0; b < want.size(); ++b) {
        const double e = 10 * std::log10(got[b] / want[b]) + lengthDb;
        const double e0 = 10 * std::log10(before[b] / want[b]) + lengthDb;
        sq += e * e;
        sqBefore += e0 * e0;
        r.worstBandErrorDb = std::max(r.worstBandErrorDb, std::abs(e));
    }
    r.rmsBandErrorDb = std::sqrt(sq / double(want.size()));
    r.referenceColourDb = std::sqrt(sqBefore / double(want.size()));
    std::printf("%s: level error %+.2f dB, band error RMS %.2f dB (worst %.2f dB), before "
                "matching %.2f dB\n",
                thirdOctave ? "third octave 100 Hz-16 kHz" : "equal band 1-16 kHz", r.levelErrorDb,
                r.rmsBandErrorDb, r.worstBandErrorDb, r.referenceColourDb);
    return r;
}

constexpr int32_t kBand100Hz = 6;
constexpr int32_t kBand1kHz = 16;
constexpr int32_t kBand16kHz = 28;

TEST(MatchingAccuracy, third_octave_mode_takes_the_reference_spectrum_from_100_hz_to_16_khz) {
    const MatchResult r = matchPink(true, kBand100Hz, kBand16kHz);
    EXPECT_GT(r.referenceColourDb, 2.0); // the task is not trivial
    EXPECT_NEAR(r.levelErrorDb, 0.0, 1.0);
    EXPECT_LT(r.rmsBandErrorDb, 1.0);
}

TEST(MatchingAccuracy, equal_band_mode_takes_the_reference_spectrum_from_1_to_16_khz) {
    const MatchResult r = matchPink(false, kBand1kHz, kBand16kHz);
    EXPECT_GT(r.referenceColourDb, 2.0);
    EXPECT_NEAR(r.levelErrorDb, 0.0, 1.0);
    EXPECT_LT(r.rmsBandErrorDb, 1.0);
}

} // namespace
} // namespace orq::tessaline
