// Every plug-in streamed through the frame with input that is not a number or infinite: the
// frame replaces those samples by 0 before the engine sees them, so the output is exactly the
// output of the same stream with zeros there (finite, and back to normal after the burst), and
// it counts them.
#include "compressor/compressor_plugin.h"
#include "enhancer/brisquet_plugin.h"
#include "matching/tessaline_plugin.h"
#include "maximizer/pressane_parameters.h"
#include "maximizer/pressane_plugin.h"
#include "scope/lunavis_plugin.h"
#include "spectrogram/ombrel_plugin.h"
#include "testsupport/frame_test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace orq {
namespace {

constexpr int32_t kRateHz = 44100;
constexpr int32_t kChannels = 2;
constexpr int32_t kStreamFrames = 20000;
constexpr int32_t kMediaSampleFrames = 4096;
constexpr int32_t kBurstStart = 6000; // frame of the first bad sample
constexpr int32_t kBurstFrames = 300;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct PluginCase {
    const char* name;
    AudioPlugin* (*create)();
};

const PluginCase kPlugins[] = {
    {"compressor",
     [] { return createCompressorPlugin(createCompressorParameters(), nullptr, nullptr); }},
    {"maximizer",
     [] { return createPressanePlugin(createPressaneParameters(), nullptr, nullptr); }},
    {"matching",
     [] { return createTessalinePlugin(createTessalineParameters(), nullptr, nullptr); }},
    {"spectrogram", [] { return createOmbrelPlugin(createOmbrelParameters(), nullptr, nullptr); }},
    {"scope", [] { return createLunavisPlugin(createLunavisParameters(), nullptr, nullptr); }},
    {"enhancer", [] { return createBrisquetPlugin(createBrisquetParameters(), nullptr, nullptr); }},
};

// Interleaved stereo music-like input: two sines at moderate level.
std::vector<float> cleanStream() {
    std::vector<float> x(size_t(kStreamFrames) * kChannels);
    for (int32_t t = 0; t < kStreamFrames; ++t) {
        const double s = double(t) / kRateHz;
        x[size_t(t) * kChannels] = float(0.3 * std::sin(2 * std::numbers::pi * 440.0 * s));
        x[size_t(t) * kChannels + 1] = float(0.2 * std::sin(2 * std::numbers::pi * 1250.0 * s));
    }
    return x;
}

// The clean stream with a burst of NaN and ±infinity, and a few lone ones; *bad counts them.
std::vector<float> streamWithBadSamples(int64_t* bad) {
    std::vector<float> x = cleanStream();
    const float kinds[] = {kNaN, kInf, -kInf, -kNaN};
    *bad = 0;
    for (int32_t t = kBurstStart; t < kBurstStart + kBurstFrames; ++t)
        for (int32_t c = 0; c < kChannels; ++c, ++*bad)
            x[size_t(t) * kChannels + size_t(c)] = kinds[(t + c) % 4];
    for (int32_t t : {17, 9000, kStreamFrames - 1}) {
        x[size_t(t) * kChannels + 1] = kNaN;
        ++*bad;
    }
    return x;
}

// The same stream with zeros wherever the bad one is not finite.
std::vector<float> withZerosForBad(std::vector<float> x) {
    for (float& v : x)
        if (!std::isfinite(v)) v = 0.0f;
    return x;
}

struct StreamRun {
    std::vector<float> output;
    int64_t replaced = -1;
};

StreamRun stream(const PluginCase& plugin, const std::vector<float>& input) {
    test::FrameRig rig(test::waveFormat(kFormatFloat, 32, kChannels, kRateHz), plugin.create());
    StreamRun run;
    if (!rig.connected()) return run;
    for (size_t at = 0; at < input.size(); at += size_t(kMediaSampleFrames) * kChannels) {
        const size_t end = std::min(input.size(), at + size_t(kMediaSampleFrames) * kChannels);
        rig.push(
            test::bytesOf(std::vector<float>(input.begin() + long(at), input.begin() + long(end))));
    }
    run.replaced = rig.filter().plugin().nonFiniteInputSamples();
    rig.endOfStream();
    run.output = test::valuesOf<float>(rig.delivered());
    return run;
}

TEST(NonFiniteInput,
     every_plug_in_gives_the_output_of_zeros_in_their_place_and_the_frame_counts_them) {
    int64_t bad = 0;
    const std::vector<float> dirty = streamWithBadSamples(&bad);
    const std::vector<float> zeroed = withZerosForBad(dirty);
    for (const PluginCase& plugin : kPlugins) {
        SCOPED_TRACE(plugin.name);
        const StreamRun got = stream(plugin, dirty);
        const StreamRun expected = stream(plugin, zeroed);
        // (A plug-in that hands no tail to the frame returns fewer frames than it was given.)
        ASSERT_GT(got.output.size(), dirty.size() / 2);
        ASSERT_EQ(got.output.size(), expected.output.size());
        EXPECT_EQ(got.replaced, bad);
        EXPECT_EQ(expected.replaced, 0);
        size_t nonFinite = 0, differing = 0, firstDiffering = got.output.size();
        for (size_t i = 0; i < got.output.size(); ++i) {
            nonFinite += std::isfinite(got.output[i]) ? 0 : 1;
            if (std::memcmp(&got.output[i], &expected.output[i], sizeof(float)) != 0) {
                firstDiffering = std::min(firstDiffering, i);
                ++differing;
            }
        }
        EXPECT_EQ(nonFinite, 0u) << "output samples that are not finite numbers";
        EXPECT_EQ(differing, 0u) << "first differing sample " << firstDiffering;
    }
}

TEST(NonFiniteInput, the_count_starts_again_with_each_stream_and_covers_only_the_streams_channels) {
    // A mono stream in the frame's two-channel block: the second channel is not counted.
    test::FrameRig rig(0, test::waveFormat(kFormatFloat, 32, 1, kRateHz));
    ASSERT_TRUE(rig.connected());
    rig.push(test::bytesOf(std::vector<float>{0.5f, kNaN, kInf, 0.25f, -kInf}));
    EXPECT_EQ(rig.filter().plugin().nonFiniteInputSamples(), 3);
    EXPECT_EQ(test::valuesOf<float>(rig.delivered()),
              (std::vector<float>{0.5f, 0.0f, 0.0f, 0.25f, 0.0f}));
    // Huge but finite samples are the plug-in's to handle, not replaced.
    rig.push(test::bytesOf(std::vector<float>{FLT_MAX, -1e30f}));
    EXPECT_EQ(rig.filter().plugin().nonFiniteInputSamples(), 3);
    rig.filter().Stop();
    rig.filter().Run(0);
    EXPECT_EQ(rig.filter().plugin().nonFiniteInputSamples(), 0) << "a new stream counts anew";
}

// Huge finite samples reach the engines as they are: no plug-in reads outside a table for them
// (the sanitizer build watches the conversions), and each is back to finite output after them.
TEST(HugeInput, every_plug_in_runs_through_a_burst_beyond_any_real_level_and_recovers) {
    std::vector<float> x = cleanStream();
    const float huge[] = {1e30f, FLT_MAX, -FLT_MAX, -1e20f};
    for (int32_t t = kBurstStart; t < kBurstStart + kBurstFrames; ++t)
        for (int32_t c = 0; c < kChannels; ++c)
            x[size_t(t) * kChannels + size_t(c)] = huge[(t + c) % 4];
    for (const PluginCase& plugin : kPlugins) {
        SCOPED_TRACE(plugin.name);
        const StreamRun got = stream(plugin, x);
        ASSERT_GT(got.output.size(), x.size() / 2);
        EXPECT_EQ(got.replaced, 0);
        // From a quarter of a second after the burst on, the output is finite again.
        const size_t from = size_t(kBurstStart + kBurstFrames + kRateHz / 4) * kChannels;
        size_t nonFinite = 0;
        for (size_t i = from; i < got.output.size(); ++i)
            nonFinite += std::isfinite(got.output[i]) ? 0 : 1;
        EXPECT_EQ(nonFinite, 0u);
    }
}

} // namespace
} // namespace orq
