// orq match and the matching filter's saved state, run as a user runs them on the real
// deliverables: files in, files out, measured with an analysis of the test's own.
#include "host/audio_file.h"
#include "host/cli_test_support.h"
#include "testsupport/test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;
using namespace orq::test;
using Channels = std::vector<std::vector<float>>;

namespace {

using orq::host::testing::Result;

class MatchCli : public orq::host::testing::OrqCommandTest<MatchCli> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-match-cli-");
        ASSERT_EQ(run("register " + quote(ORQ_PLUGIN_DIR "/tessaline_dx.so")).exitCode, 0);
    }

    static std::string writeFile(const std::string& name, const Channels& x, int32_t rateHz) {
        AudioData a;
        a.channels = int32_t(x.size());
        a.sampleRate = rateHz;
        a.frames = int64_t(x[0].size());
        a.format = SampleFormat::Float32;
        for (size_t i = 0; i < x[0].size(); ++i)
            for (const auto& ch : x)
                a.float32.push_back(ch[i]);
        writeAudio(path(name), a);
        return path(name);
    }

    static Channels readFile(const std::string& name) {
        const AudioData a = readAudio(path(name), nullptr);
        Channels x(size_t(a.channels));
        for (int64_t i = 0; i < a.frames; ++i)
            for (int32_t c = 0; c < a.channels; ++c)
                x[size_t(c)].push_back(a.float32[size_t(i * a.channels + c)]);
        return x;
    }
};

// Radix-2 complex FFT in place (n a power of two).
void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * M_PI / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> z = 1.0;
            for (size_t k = 0; k < len / 2; ++k, z *= w) {
                const auto u = a[i + k], v = a[i + k + len / 2] * z;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

constexpr size_t kAnalysisSize = 16384;

// Averaged Hann-windowed power spectrum (bins 0..n/2) of a signal, as a density per frame.
std::vector<double> powerSpectrum(const std::vector<float>& x) {
    std::vector<double> psd(kAnalysisSize / 2 + 1, 0.0);
    std::vector<std::complex<double>> buf(kAnalysisSize);
    size_t frames = 0;
    for (size_t start = 0; start + kAnalysisSize <= x.size(); start += kAnalysisSize / 2) {
        for (size_t i = 0; i < kAnalysisSize; ++i)
            buf[i] = x[start + i] * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / kAnalysisSize));
        fft(buf);
        for (size_t k = 0; k < psd.size(); ++k)
            psd[k] += std::norm(buf[k]);
        ++frames;
    }
    for (double& v : psd)
        v /= double(std::max<size_t>(frames, 1));
    return psd;
}

// Base-ten third-octave bands: centre 1000·10^(n/10) Hz, edges a twentieth of a decade either
// side. Mean power per band for the bands whose centres lie in [fromHz, toHz].
std::vector<double> bandPowers(const std::vector<float>& x, double rateHz, double fromHz,
                               double toHz) {
    const std::vector<double> psd = powerSpectrum(x);
    std::vector<double> bands;
    for (int32_t n = -20; n <= 13; ++n) {
        const double centre = 1000.0 * std::pow(10.0, n / 10.0);
        if (centre < fromHz * 0.99 || centre > toHz * 1.01) continue;
        const double lo = centre * std::pow(10.0, -0.05), hi = centre * std::pow(10.0, 0.05);
        double sum = 0.0;
        for (size_t k = 1; k < psd.size(); ++k) {
            const double f = double(k) * rateHz / kAnalysisSize;
            if (f >= lo && f < hi) sum += psd[k];
        }
        bands.push_back(sum);
    }
    return bands;
}

// Where the filter that turned `in` into `out` (same length, lined up) cuts deepest between two
// frequencies: the ratio of the averaged output and input spectra, smoothed over a few bins.
double deepestCutHz(const std::vector<float>& in, const std::vector<float>& out, double rateHz,
                    double fromHz, double toHz) {
    const std::vector<double> pin = powerSpectrum(in), pout = powerSpectrum(out);
    constexpr int32_t kSmoothBins = 4;
    const auto first = int32_t(fromHz * kAnalysisSize / rateHz);
    const auto last = int32_t(toHz * kAnalysisSize / rateHz);
    double best = 1e300;
    int32_t bestBin = first;
    for (int32_t k = first; k <= last; ++k) {
        double a = 0.0, b = 0.0;
        for (int32_t j = k - kSmoothBins; j <= k + kSmoothBins; ++j) {
            a += pin[size_t(j)];
            b += pout[size_t(j)];
        }
        if (b / a < best) {
            best = b / a;
            bestBin = k;
        }
    }
    return bestBin * rateHz / kAnalysisSize;
}

struct BandFit {
    double worstDb = 0.0;
    double worstHz = 0.0;
    double rmsDb = 0.0;
};

BandFit compareBands(const std::vector<double>& got, const std::vector<double>& want,
                     double offsetDb, double fromHz) {
    BandFit r;
    double sq = 0.0;
    for (size_t b = 0; b < want.size(); ++b) {
        const double e = 10.0 * std::log10(got[b] / want[b]) + offsetDb;
        sq += e * e;
        if (std::abs(e) > r.worstDb) {
            r.worstDb = std::abs(e);
            r.worstHz = fromHz * std::pow(10.0, double(b) / 10.0);
        }
    }
    r.rmsDb = std::sqrt(sq / double(want.size()));
    return r;
}

} // namespace

// Pink noise taken toward a reference of pink noise through a smooth equaliser (±5 dB shelves
// and a dip at 1.5 kHz): third-octave matching must land every band from 100 Hz to 16 kHz,
// the ones around its 1 kHz crossover included.
TEST_F(MatchCli, third_octave_match_of_pink_noise_lands_every_band_from_100_hz_to_16_khz) {
    for (int32_t rateHz : {44100, 48000}) {
        const double fs = rateHz;
        const Biquad low = Biquad::shelf(false, 150.0, 5.0, fs);
        const Biquad mid = Biquad::peak(1500.0, 0.8, -5.0, fs);
        const Biquad high = Biquad::shelf(true, 7000.0, 4.0, fs);
        const size_t refLength = size_t(40 * fs), inLength = size_t(20 * fs);
        Channels reference, input;
        for (uint32_t c = 0; c < 2; ++c) {
            reference.push_back(high.run(mid.run(low.run(pinkNoise(refLength, 300 + c)))));
            input.push_back(pinkNoise(inLength, 400 + c));
        }
        const std::string tag = std::to_string(rateHz);
        const std::string ref = writeFile("pink-ref-" + tag + ".wav", reference, rateHz);
        const std::string in = writeFile("pink-in-" + tag + ".wav", input, rateHz);
        const Result r = run("match --third-octave --reference " + quote(ref) + " " + quote(in) +
                             " " + quote(path("pink-out-" + tag + ".wav")));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("(third-octave mode"), std::string::npos) << r.out;
        const Channels out = readFile("pink-out-" + tag + ".wav");

        // The analysis averages its frames, so files of different lengths compare directly.
        const BandFit before = compareBands(bandPowers(input[0], fs, 100, 16000),
                                            bandPowers(reference[0], fs, 100, 16000), 0, 100);
        const BandFit fit = compareBands(bandPowers(out[0], fs, 100, 16000),
                                         bandPowers(reference[0], fs, 100, 16000), 0, 100);
        std::printf("orq match third octave at %d Hz: band error RMS %.2f dB, worst %.2f dB at "
                    "%.0f Hz (before matching: RMS %.2f dB)\n",
                    rateHz, fit.rmsDb, fit.worstDb, fit.worstHz, before.rmsDb);
        EXPECT_GT(before.rmsDb, 2.0) << rateHz;
        EXPECT_LT(fit.worstDb, 0.75) << rateHz << " Hz, worst band at " << fit.worstHz << " Hz";
        EXPECT_LT(fit.rmsDb, 0.35) << rateHz;
    }
}

TEST_F(MatchCli, third_octave_at_a_rate_without_its_tables_says_so_and_matches_equal_band) {
    const Channels reference = {whiteNoise(40000, 1, 0.5f), whiteNoise(40000, 2, 0.5f)};
    const Channels input = {pinkNoise(40000, 3), pinkNoise(40000, 4)};
    const std::string ref = writeFile("odd-ref.wav", reference, 8000);
    const std::string in = writeFile("odd-in.wav", input, 8000);
    const Result r = run("match --third-octave --reference " + quote(ref) + " " + quote(in) + " " +
                         quote(path("odd-out.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("no filter tables at 8000 Hz"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(equal-band mode"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("third-octave mode,"), std::string::npos) << r.out;
}

// A state learned at 44.1 kHz (reference with a 10 dB dip at 1.5 kHz) applied by orq process to
// a 48 kHz file: the dip stays at 1.5 kHz, not at the 1.63 kHz where its bins would land if
// they were taken as 48 kHz bins, and orq says what it did.
TEST_F(MatchCli, a_state_learned_at_44100_puts_its_dip_at_the_same_frequency_in_a_48000_file) {
    for (bool third : {false, true}) {
        const Biquad dip = Biquad::peak(1500.0, 4.0, -10.0, 44100.0);
        const size_t length = size_t(20 * 44100);
        const Channels reference = {dip.run(pinkNoise(length, 11)), dip.run(pinkNoise(length, 12))};
        const Channels input = {pinkNoise(length, 13), pinkNoise(length, 14)};
        const std::string mode = third ? "third" : "equal";
        const std::string ref = writeFile("dip-ref.wav", reference, 44100);
        const std::string in = writeFile("dip-in.wav", input, 44100);
        const std::string state = path("dip-" + mode + ".state");
        const Result learn = run("match " + std::string(third ? "--third-octave " : "") +
                                 "--reference " + quote(ref) + " " + quote(in) + " " +
                                 quote(path("dip-out.wav")) + " --save-state " + quote(state));
        ASSERT_EQ(learn.exitCode, 0) << learn.err;

        const Channels other = {pinkNoise(20 * 48000, 15), pinkNoise(20 * 48000, 16)};
        const std::string in48 = writeFile("dip-48.wav", other, 48000);
        const Result r = run("process 'Orq Tessaline' " + quote(in48) + " " +
                             quote(path("dip-48-out.wav")) + " --state " + quote(state));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("measured at 44100 Hz, moved by frequency onto the 48000 Hz bins"),
                  std::string::npos)
            << r.out;
        const Channels out = readFile("dip-48-out.wav");
        const double cutHz = deepestCutHz(other[0], out[0], 48000.0, 1000.0, 2500.0);
        std::printf("state learned at 44100 Hz (%s band) on a 48000 Hz file: deepest cut at "
                    "%.0f Hz\n",
                    mode.c_str(), cutHz);
        EXPECT_NEAR(cutHz, 1500.0, 30.0) << mode << " band; 1633 Hz means the bins were not moved";
    }
}

// A mono reference for a stereo input is learned for both sides: with the input's own channel
// as reference (both input channels the same) the curve is flat. A stereo reference for a mono
// input is refused as such; neither is called too short.
TEST_F(MatchCli, a_mono_reference_is_learned_for_both_sides_and_named_mono_never_too_short) {
    const std::vector<float> noise = pinkNoise(size_t(4 * 44100), 21);
    const std::string mono = writeFile("mono-ref.wav", {noise}, 44100);
    const std::string stereo = writeFile("twin-in.wav", {noise, noise}, 44100);
    const Result r = run("match --reference " + quote(mono) + " " + quote(stereo) + " " +
                         quote(path("mono-out.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("the reference is mono"), std::string::npos) << r.out;
    double lowest = 99, highest = 99;
    const size_t at = r.out.find("applied curve: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "applied curve: %lf dB to %lf dB", &lowest, &highest),
              2);
    EXPECT_NEAR(lowest, 0.0, 0.05) << r.out;
    EXPECT_NEAR(highest, 0.0, 0.05) << r.out;
    EXPECT_EQ(readFile("mono-out.wav").size(), 2u);

    const Result refused = run("match --reference " + quote(stereo) + " " + quote(mono) + " " +
                               quote(path("refused-out.wav")));
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("the input is mono and the reference has 2 channels"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.err.find("too short"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(path("refused-out.wav")));
}

// A reference of under three seconds is named short with its length; an empty one is refused
// as empty (it was learned as the silence fed after it, giving a flat curve).
TEST_F(MatchCli, a_short_reference_is_named_short_with_its_length) {
    const std::string in =
        writeFile("long-in.wav", {pinkNoise(5 * 44100, 31), pinkNoise(5 * 44100, 32)}, 44100);
    const std::string shortRef = writeFile(
        "short-ref.wav", {whiteNoise(44100, 33, 0.3f), whiteNoise(44100, 34, 0.3f)}, 44100);
    const Result r = run("match --reference " + quote(shortRef) + " " + quote(in) + " " +
                         quote(path("short-out.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("the reference is short (1.00 s, "), std::string::npos) << r.out;

    const Result long_ =
        run("match --reference " + quote(in) + " " + quote(in) + " " + quote(path("long-out.wav")));
    ASSERT_EQ(long_.exitCode, 0) << long_.err;
    EXPECT_EQ(long_.out.find("short"), std::string::npos) << long_.out;

    const std::string empty = writeFile("empty-ref.wav", {{}, {}}, 44100);
    const Result e = run("match --reference " + quote(empty) + " " + quote(in) + " " +
                         quote(path("empty-out.wav")));
    EXPECT_NE(e.exitCode, 0);
    EXPECT_NE(e.err.find("'" + empty + "' holds no audio to learn a spectrum from"),
              std::string::npos)
        << e.err;
}

// A reference 12 dB louder than the input takes the output over full scale: the summary says
// how many samples and what to do. Not-a-number in the input is replaced by 0 and counted.
TEST_F(MatchCli, match_says_how_many_output_samples_reach_full_scale_and_what_to_do) {
    Channels input = {whiteNoise(3 * 44100, 41, 0.4f), whiteNoise(3 * 44100, 42, 0.4f)};
    Channels reference = {whiteNoise(3 * 44100, 43, 1.6f), whiteNoise(3 * 44100, 44, 1.6f)};
    for (size_t i = 20000; i < 20005; ++i)
        input[0][i] = std::numeric_limits<float>::quiet_NaN();
    const std::string in = writeFile("quiet-in.wav", input, 44100);
    const std::string ref = writeFile("loud-ref.wav", reference, 44100);
    const Result r = run("match --reference " + quote(ref) + " " + quote(in) + " " +
                         quote(path("loud-out.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Channels out = readFile("loud-out.wav");
    int64_t over = 0;
    for (const auto& channel : out)
        for (float v : channel) {
            ASSERT_TRUE(std::isfinite(v));
            over += std::fabs(v) >= 1.0f ? 1 : 0;
        }
    ASSERT_GT(over, 1000);
    EXPECT_NE(r.out.find("output: " + std::to_string(over) +
                         " samples at or over full scale; lower --amount or the input level"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("5 non-finite input samples replaced by 0"), std::string::npos) << r.out;
}

// The editor's road to a match: learn the source while the reference plays, the destination
// while the input plays, switch match on. It must give the filter `orq match` gives on the same
// files, in both band modes, although the reference is twice as long as the input (learned
// spectra are sums of frames: the editor brings them to one frame count before matching).
TEST_F(MatchCli, learning_through_the_editor_gives_the_filter_of_orq_match_within_0_1_db_per_band) {
    constexpr int32_t rateHz = 44100;
    const double fs = rateHz;
    const Biquad low = Biquad::shelf(false, 200.0, -4.0, fs);
    const Biquad mid = Biquad::peak(2500.0, 0.8, 5.0, fs);
    Channels reference, input;
    for (uint32_t c = 0; c < 2; ++c) {
        reference.push_back(mid.run(low.run(pinkNoise(size_t(8 * fs), 700 + c))));
        input.push_back(pinkNoise(size_t(4 * fs), 800 + c));
    }
    const std::string ref = writeFile("editor-ref.wav", reference, rateHz);
    const std::string in = writeFile("editor-in.wav", input, rateHz);
    for (const bool third : {false, true}) {
        const std::string tag = third ? "third" : "equal";
        const Result m = run("match " + std::string(third ? "--third-octave " : "") +
                             "--reference " + quote(ref) + " " + quote(in) + " " +
                             quote(path("editor-m-" + tag + ".wav")));
        ASSERT_EQ(m.exitCode, 0) << m.err;
        // Learn (539), learn target (541) down to the destination, learn off, match (540).
        std::ofstream(path("learn-" + tag + ".txt"))
            << (third ? "click 270 337\n" : "") << "click 45 337\nplay " << ref
            << "\nclick 90 337\nplay " << in << "\nclick 45 337\nclick 135 337\n"
            << "expect SrcLnd 1\nexpect DestLnd 1\nexpect match 1\nexpect log "
            << (third ? 1 : 0) << "\n";
        const Result e = run("editor " + quote(ORQ_PLUGIN_DIR "/tessaline_dx.so") + " --script " +
                             quote(path("learn-" + tag + ".txt")) + " --save-state " +
                             quote(path("editor-" + tag + ".state")) + " --png " +
                             quote(path("editor-" + tag + ".png")));
        ASSERT_EQ(e.exitCode, 0) << e.out << e.err;
        const Result p = run("process 'Orq Tessaline' " + quote(in) + " " +
                             quote(path("editor-e-" + tag + ".wav")) + " --state " +
                             quote(path("editor-" + tag + ".state")));
        ASSERT_EQ(p.exitCode, 0) << p.err;
        const Channels byMatch = readFile("editor-m-" + tag + ".wav");
        const Channels byEditor = readFile("editor-e-" + tag + ".wav");
        for (size_t c = 0; c < 2; ++c) {
            const BandFit fit = compareBands(bandPowers(byEditor[c], fs, 31.5, 16000),
                                             bandPowers(byMatch[c], fs, 31.5, 16000), 0, 31.5);
            std::printf("%s band, channel %zu: editor against orq match, worst %.3f dB at %.0f "
                        "Hz, RMS %.3f dB\n",
                        tag.c_str(), c, fit.worstDb, fit.worstHz, fit.rmsDb);
            EXPECT_LT(fit.worstDb, 0.1) << tag << " band, channel " << c << ", at " << fit.worstHz
                                        << " Hz";
        }
        // And the match did something: the editor's output is not the input.
        const BandFit moved = compareBands(bandPowers(byEditor[0], fs, 31.5, 16000),
                                           bandPowers(input[0], fs, 31.5, 16000), 0, 31.5);
        EXPECT_GT(moved.worstDb, 2.0) << tag;
    }
}
