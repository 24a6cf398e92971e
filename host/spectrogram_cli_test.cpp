// orq spectrogram as a user runs it on the suite's own analyser library: the channel views and
// the low band at a rate other than the one the filter first opens at.
#include "host/audio_file.h"
#include "host/cli_test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;

namespace {

using orq::host::testing::Result;

// The CSV as orq writes it: a header of bin frequencies, then one row per spectrum.
struct SpectrogramCsv {
    std::vector<std::string> binLabels; // "984.4Hz", …
    std::vector<double> times;
    std::vector<std::vector<double>> levelsDb; // per row, per bin

    int32_t binLabelled(const std::string& label) const {
        const auto at = std::find(binLabels.begin(), binLabels.end(), label);
        return at == binLabels.end() ? -1 : int32_t(at - binLabels.begin());
    }
};

class SpectrogramCli : public orq::host::testing::OrqCommandTest<SpectrogramCli> {
  protected:
    static constexpr int32_t kRateHz = 48000;

    static void SetUpTestSuite() {
        makeScratch("orq-spectrogram-cli-");
        ASSERT_EQ(run("register " + quote(ORQ_PLUGIN_DIR "/ombrel_dx.so")).exitCode, 0);
    }

    // A 48 kHz stereo float file: a full-scale sine of frequencyHz in the left channel, silence
    // in the right.
    static std::string writeLeftTone(const std::string& name, double frequencyHz, int64_t frames) {
        AudioData a;
        a.channels = 2;
        a.sampleRate = kRateHz;
        a.frames = frames;
        a.format = SampleFormat::Float32;
        for (int64_t i = 0; i < frames; ++i) {
            a.float32.push_back(
                float(std::sin(2.0 * std::numbers::pi * frequencyHz * double(i) / kRateHz)));
            a.float32.push_back(0.0f);
        }
        writeAudio(path(name), a);
        return path(name);
    }

    // Runs orq spectrogram with the given options and reads its CSV.
    static SpectrogramCsv spectrogram(const std::string& input, const std::string& options) {
        const std::string csvPath = path("out.csv");
        fs::remove(csvPath);
        const Result r = run("spectrogram " + quote(input) + " " + quote(csvPath) + " " + options);
        EXPECT_EQ(r.exitCode, 0) << options << ": " << r.err;
        SpectrogramCsv csv;
        std::ifstream in(csvPath);
        std::string line, cell;
        std::getline(in, line);
        std::istringstream header(line);
        std::getline(header, cell, ','); // time_s
        while (std::getline(header, cell, ','))
            csv.binLabels.push_back(cell);
        while (std::getline(in, line)) {
            std::istringstream row(line);
            std::getline(row, cell, ',');
            csv.times.push_back(std::stod(cell));
            std::vector<double> levels;
            while (std::getline(row, cell, ','))
                levels.push_back(std::stod(cell));
            EXPECT_EQ(levels.size(), csv.binLabels.size()) << "row " << csv.times.size();
            csv.levelsDb.push_back(std::move(levels));
        }
        return csv;
    }
};

// The loudest level of a row, and its bin.
std::pair<int32_t, double> rowPeak(const std::vector<double>& levels) {
    const auto peak = std::max_element(levels.begin(), levels.end());
    return {int32_t(peak - levels.begin()), *peak};
}

double loudest(const SpectrogramCsv& csv) {
    double loudestDb = -1000;
    for (const auto& row : csv.levelsDb)
        loudestDb = std::max(loudestDb, rowPeak(row).second);
    return loudestDb;
}

// A full-scale 1 kHz sine lies a third of a bin above bin 21 (984.4 Hz) of the 1024-point
// transform at 48 kHz; the Blackman window's main lobe costs it 0.49 dB there.
constexpr double kToneHz = 1000.0;
constexpr int32_t kToneBin = 21;
constexpr double kToneBinLevelDb = -0.49;
// Half the power: the mean view averages the channels' powers.
const double kHalfPowerDb = 10.0 * std::log10(0.5);
// Rows whose frames reach back before the file's start (the zero tail of a fresh analyser).
constexpr size_t kWarmUpRows = 2;

} // namespace

TEST_F(SpectrogramCli, views_at_48khz_show_a_left_only_tone_left_at_full_scale_right_silent) {
    const int64_t frames = 2 * kRateHz;
    const std::string in = writeLeftTone("left-tone.wav", kToneHz, frames);
    struct View {
        const char* option;
        double toneDb; // level at the tone's bin; NAN: silence everywhere
    };
    for (const View& view : {View{"left", kToneBinLevelDb},
                             View{"mean", kToneBinLevelDb + kHalfPowerDb}, View{"right", NAN}}) {
        SCOPED_TRACE(std::string("--channel ") + view.option);
        const SpectrogramCsv csv = spectrogram(in, std::string("--channel ") + view.option);
        ASSERT_EQ(csv.binLabels.size(), 513u);
        ASSERT_EQ(csv.binLabelled("984.4Hz"), kToneBin);
        // Two spectra per full 1024 frames, half a transform apart.
        ASSERT_EQ(csv.times.size(), size_t(2 * (frames / 1024)));
        EXPECT_NEAR(csv.times[1] - csv.times[0], 512.0 / kRateHz, 1e-6);
        if (std::isnan(view.toneDb)) {
            EXPECT_LE(loudest(csv), -90.0) << "the left channel leaks into the right view";
            continue;
        }
        for (size_t r = kWarmUpRows; r < csv.levelsDb.size(); ++r) {
            const auto [bin, levelDb] = rowPeak(csv.levelsDb[r]);
            ASSERT_EQ(bin, kToneBin) << "row " << r;
            ASSERT_NEAR(levelDb, view.toneDb, 0.05) << "row " << r;
        }
    }
}

TEST_F(SpectrogramCli, a_left_only_tone_reads_full_scale_left_and_below_minus_90db_right) {
    const std::string in = writeLeftTone("left-1k.wav", kToneHz, kRateHz);
    const SpectrogramCsv left = spectrogram(in, "--channel left");
    const SpectrogramCsv right = spectrogram(in, "--channel right");
    ASSERT_GT(left.levelsDb.size(), kWarmUpRows);
    double quietestToneDb = 0;
    for (size_t r = kWarmUpRows; r < left.levelsDb.size(); ++r)
        quietestToneDb = std::min(quietestToneDb, left.levelsDb[r][kToneBin]);
    std::printf("1 kHz left-only tone at 48 kHz: left view %.2f dB at 984.4 Hz (quietest row), "
                "right view %.2f dB loudest cell\n",
                quietestToneDb, loudest(right));
    EXPECT_GE(quietestToneDb, -0.5);
    EXPECT_LE(loudest(right), -90.0);
}

// The low band at 48 kHz: decimation by 12 to 4 kHz, 3.90625 Hz bins, the lowest 257 of them
// shown (0 to 1000 Hz, both ends included), a new spectrum every 769 decimated frames. Each
// 1024-point frame holds the last 255 windowed samples before a 769-point Blackman-Harris
// window and that window, so a sine at a bin centre reads the frame's coherent gain against
// the full band's 0.42 (one interior-bin scale serves both modes): -1.16 dB, less the band
// limiter's 0.987 DC gain and ripple of about 0.1 dB.
TEST_F(SpectrogramCli, low_band_at_48khz_shows_257_bins_to_1khz_and_only_the_viewed_channel) {
    constexpr int32_t lowToneBin = 77;
    constexpr double lowToneHz = lowToneBin * 4000.0 / 1024.0; // 300.8 Hz, a bin centre
    auto window = [](int32_t n) {
        const double x = 2.0 * std::numbers::pi * n / 769.0;
        return (0.42323 - 0.49755 * std::cos(x) + 0.07922 * std::cos(2.0 * x)) / 1024.0;
    };
    double frameGain = 0;
    for (int32_t n = 769 - 255; n < 769; ++n)
        frameGain += window(n);
    for (int32_t n = 0; n < 769; ++n)
        frameGain += window(n);
    const double toneDb = 20.0 * std::log10(frameGain / 0.42);
    constexpr double filterAllowanceDb = 0.25;
    const std::string in = writeLeftTone("left-300.wav", lowToneHz, 4 * kRateHz);
    for (const char* view : {"left", "right"}) {
        SCOPED_TRACE(std::string("--channel ") + view);
        const SpectrogramCsv csv = spectrogram(in, std::string("--low-band --channel ") + view);
        ASSERT_EQ(csv.binLabels.size(), 257u);
        EXPECT_EQ(csv.binLabels.front(), "0.0Hz");
        EXPECT_EQ(csv.binLabels.back(), "1000.0Hz");
        EXPECT_EQ(csv.binLabelled("300.8Hz"), lowToneBin);
        ASSERT_GE(csv.times.size(), 20u); // 4 s of 0.19225 s hops
        EXPECT_NEAR(csv.times[1] - csv.times[0], 769.0 * 12 / kRateHz, 1e-6);
        if (std::string(view) == "right") {
            EXPECT_LE(loudest(csv), -90.0) << "the left channel leaks into the right view";
            continue;
        }
        for (size_t r = kWarmUpRows; r < csv.levelsDb.size(); ++r) {
            const auto [bin, levelDb] = rowPeak(csv.levelsDb[r]);
            ASSERT_EQ(bin, lowToneBin) << "row " << r;
            ASSERT_NEAR(levelDb, toneDb, filterAllowanceDb) << "row " << r;
        }
    }
}
