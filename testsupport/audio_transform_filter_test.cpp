#include "testsupport/frame_test_support.h"

#include "runtime/live_objects.h"
#include "runtime/sample_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using namespace orq;
using namespace orq::test;

namespace {

std::vector<int16_t> ramp16(int frames, int channels) {
    std::vector<int16_t> v(size_t(frames) * size_t(channels));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = int16_t(int(i % 60000) - 30000);
    return v;
}

} // namespace

TEST(MediaTypeCheck, accepts_16_bit_pcm_and_float_and_refuses_other_widths) {
    FrameRig rig(0, waveFormat(kFormatPcm, 16, 2));
    ASSERT_TRUE(rig.connected());
    auto& filter = rig.filter();
    for (uint16_t bits : {8, 24, 32}) {
        CMediaType type = audioType(waveFormat(kFormatPcm, bits, 2));
        EXPECT_EQ(filter.CheckInputType(&type), E_INVALIDARG) << bits << "-bit integer PCM";
    }
    CMediaType float32 = audioType(waveFormat(kFormatFloat, 32, 2));
    EXPECT_EQ(filter.CheckInputType(&float32), S_OK);
    CMediaType float16 = audioType(waveFormat(kFormatFloat, 16, 2));
    EXPECT_EQ(filter.CheckInputType(&float16), E_INVALIDARG);
    CMediaType sixChannels = audioType(waveFormat(kFormatPcm, 16, 6));
    EXPECT_EQ(filter.CheckInputType(&sixChannels), E_INVALIDARG);
    CMediaType video = audioType(waveFormat(kFormatPcm, 16, 2));
    video.majortype = GUID_NULL;
    EXPECT_EQ(filter.CheckInputType(&video), E_INVALIDARG);
    CMediaType shortFormat = audioType(waveFormat(kFormatPcm, 16, 2));
    shortFormat.cbFormat = 14;
    EXPECT_EQ(filter.CheckInputType(&shortFormat), E_INVALIDARG);
    CMediaType compressed = audioType(waveFormat(kFormatPcm, 16, 2));
    compressed.bTemporalCompression = TRUE;
    EXPECT_EQ(filter.CheckInputType(&compressed), E_INVALIDARG);
}

TEST(LatencySkip, first_media_sample_is_shorter_by_the_latency_and_later_ones_keep_their_length) {
    FrameRig rig(3072, waveFormat(kFormatPcm, 16, 2));
    ASSERT_TRUE(rig.connected());
    const auto input = ramp16(10000, 2);
    rig.push(bytesOf(input));
    rig.push(bytesOf(input));
    ASSERT_EQ(rig.deliveredLengths().size(), 2u);
    EXPECT_EQ(rig.deliveredLengths()[0], 10000 - 3072);
    EXPECT_EQ(rig.deliveredLengths()[1], 10000);
    // What comes out is the input from its first frame on.
    const auto out = valuesOf<int16_t>(rig.delivered());
    for (size_t i = 0; i < 2000; ++i)
        ASSERT_EQ(out[i], input[i]) << "sample " << i;
}

TEST(LatencySkip, latency_longer_than_a_sample_drops_whole_samples_then_the_rest) {
    FrameRig rig(5000, waveFormat(kFormatFloat, 32, 1));
    ASSERT_TRUE(rig.connected());
    std::vector<float> input(3000);
    std::iota(input.begin(), input.end(), 1.0f);
    rig.push(bytesOf(input));
    rig.push(bytesOf(input));
    const auto lengths = rig.deliveredLengths();
    ASSERT_EQ(lengths.size(), 2u);
    EXPECT_EQ(lengths[0], 0);
    EXPECT_EQ(lengths[1], 1000);
    EXPECT_EQ(valuesOf<float>(rig.delivered())[0], 1.0f);
}

TEST(LatencySkip, end_of_stream_delivers_the_tail_so_nothing_is_lost) {
    FrameRig rig(1000, waveFormat(kFormatFloat, 32, 2));
    ASSERT_TRUE(rig.connected());
    std::vector<float> input(2 * 4096);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = float(i) / float(input.size());
    rig.push(bytesOf(input));
    rig.endOfStream();
    const auto out = valuesOf<float>(rig.delivered());
    ASSERT_EQ(out.size(), input.size());
    EXPECT_EQ(out, input);
}

TEST(Transform, sample_shorter_than_one_frame_comes_back_empty) {
    FrameRig rig(0, waveFormat(kFormatPcm, 16, 2));
    ASSERT_TRUE(rig.connected());
    rig.push({1, 2, 3}); // three bytes: less than one 4-byte frame
    ASSERT_EQ(rig.deliveredLengths().size(), 1u);
    EXPECT_EQ(rig.deliveredLengths()[0], 0);
}

TEST(Transform, samples_longer_than_the_float_block_are_processed_in_chunks) {
    FrameRig rig(100, waveFormat(kFormatPcm, 16, 1));
    ASSERT_TRUE(rig.connected());
    const auto input = ramp16(20000, 1);
    rig.push(bytesOf(input));
    const auto out = valuesOf<int16_t>(rig.delivered());
    ASSERT_EQ(out.size(), 19900u);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], input[i]) << "frame " << i;
}

TEST(Bypass, set_before_start_reports_no_latency_passes_audio_and_keeps_metering) {
    FrameRig rig(3072, waveFormat(kFormatPcm, 16, 2));
    ASSERT_TRUE(rig.connected());
    PluginRecord* r = rig.record();
    rig.filter().Stop();
    r->dispatcher(r, kCmdSetBypass, nullptr, 1);
    ASSERT_EQ(rig.filter().Run(0), S_OK);
    EXPECT_EQ(r->dispatcher(r, kCmdLatency, nullptr, 0), 0);
    const auto input = ramp16(4096, 2);
    rig.push(bytesOf(input));
    EXPECT_EQ(valuesOf<int16_t>(rig.delivered()), input);
    float peaks[2] = {};
    r->dispatcher(r, kCmdReadOutputPeaks, peaks, 0);
    EXPECT_NEAR(peaks[0], 30000.0f / 32768.0f, 1e-4f);
}

TEST(Meters, clip_counting_counts_only_beyond_full_scale_and_reads_reset) {
    FrameRig rig(0, waveFormat(kFormatFloat, 32, 1));
    ASSERT_TRUE(rig.connected());
    PluginRecord* r = rig.record();
    r->dispatcher(r, kCmdEnableInputClips, nullptr, 0);
    rig.push(bytesOf(std::vector<float>{1.0f, -1.0f, 0.5f}));
    int32_t clips[2] = {-1, -1};
    r->dispatcher(r, kCmdReadInputClips, clips, 0);
    EXPECT_EQ(clips[0], 0) << "exactly full scale is no clip";
    rig.push(bytesOf(std::vector<float>{1.0000001f, -1.5f, 0.0f}));
    r->dispatcher(r, kCmdReadInputClips, clips, 0);
    EXPECT_EQ(clips[0], 2);
    r->dispatcher(r, kCmdReadInputClips, clips, 0);
    EXPECT_EQ(clips[0], 0) << "reading zeroes the count";
    float peak = 0;
    r->dispatcher(r, kCmdReadInputPeaks, &peak, 0);
    EXPECT_FLOAT_EQ(peak, 1.5f);
    r->dispatcher(r, kCmdReadInputPeaks, &peak, 0);
    EXPECT_EQ(peak, 0.0f);
}

// Blocks long enough that the meters take them several samples at a time, with the loudest
// sample and the clips at every kind of position: inside the lanes, at their edges, in the tail.
TEST(Meters, peaks_and_clips_count_every_position_of_longer_blocks) {
    FrameRig rig(0, waveFormat(kFormatFloat, 32, 1));
    ASSERT_TRUE(rig.connected());
    PluginRecord* r = rig.record();
    r->dispatcher(r, kCmdEnableInputClips, nullptr, 0);
    struct Case {
        std::vector<float> block;
        float peak;
        int32_t clips;
    };
    const Case cases[] = {
        {{0.1f, -1.25f, 1.0f, 0.3f, 0.2f, -1.0f, -3.0f, 0.4f, 0.5f, 1.5f, -0.7f}, 3.0f, 3},
        {{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, -0.9f}, 0.9f, 0},
        {{2.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.1f}, 2.5f, 2},
        {{0.0f, 0.0f, 0.0f, -0.75f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}, 0.75f, 0},
    };
    for (const Case& c : cases) {
        rig.push(bytesOf(c.block));
        int32_t clips[2] = {-1, -1};
        float peak = -1.0f;
        r->dispatcher(r, kCmdReadInputClips, clips, 0);
        r->dispatcher(r, kCmdReadInputPeaks, &peak, 0);
        EXPECT_EQ(clips[0], c.clips) << "block of " << c.block.size();
        EXPECT_EQ(peak, c.peak) << "block of " << c.block.size();
    }
}

TEST(Meters, with_ring_buffers_the_overwritten_value_is_metered) {
    FrameRig rig(0, waveFormat(kFormatFloat, 32, 1));
    ASSERT_TRUE(rig.connected());
    PluginRecord* r = rig.record();
    r->dispatcher(r, kCmdSetMaxBlockSize, nullptr, 4);
    EXPECT_EQ(r->dispatcher(r, kCmdEnableInputRing, nullptr, 1), 0);
    rig.push(bytesOf(std::vector<float>{0.9f, 0.1f, 0.1f, 0.1f}));
    float peak = 1;
    r->dispatcher(r, kCmdReadInputPeaks, &peak, 0);
    EXPECT_EQ(peak, 0.0f) << "the ring still held zeros";
    rig.push(bytesOf(std::vector<float>{0.0f}));
    r->dispatcher(r, kCmdReadInputPeaks, &peak, 0);
    EXPECT_FLOAT_EQ(peak, 0.9f);
    EXPECT_EQ(r->dispatcher(r, kCmdDisableInputRing, nullptr, 0), 1);
}

TEST(HostValues, changes_reach_the_plug_in_and_read_back_as_a_sum) {
    FrameRig rig(0, waveFormat(kFormatPcm, 16, 2));
    PluginRecord* r = rig.record();
    float values[2] = {1.0f, 1.0f};
    r->dispatcher(r, kCmdSetHostValues, values, 0);
    float read[2] = {};
    EXPECT_EQ(r->dispatcher(r, kCmdGetHostValues, read, 0), 3);
    EXPECT_EQ(read[0], 1.0f);
    EXPECT_EQ(read[1], 1.0f);
}

TEST(Mute, record_process_outputs_zeros_while_muted) {
    ParameterSet* set = createPassthroughParameters();
    AudioPlugin* plugin = createPassthroughPlugin(set, nullptr, nullptr);
    PluginRecord* r = &plugin->record();
    OpenFormat f{44100, 1, 0};
    ASSERT_EQ(r->dispatcher(r, kCmdOpen, &f, 0), 0);
    float values[2] = {0.0f, 1.0f};
    r->dispatcher(r, kCmdSetHostValues, values, 0);
    AudioBuffers buffers(1, 1, 16, BufferLayout::Shared);
    std::fill(buffers.inputs()[0], buffers.inputs()[0] + 16, 0.5f);
    buffers.setFrames(16);
    EXPECT_EQ(r->process(r, &buffers), 16);
    EXPECT_EQ(buffers.outputs()[0][7], 0.0f);
    r->dispatcher(r, kCmdCloseAll, nullptr, 0); // deletes the plug-in
}

TEST(DefaultParameters, a_new_instance_starts_from_the_last_destroyed_ones_values) {
    ParameterSet* defaults = createPassthroughParameters();
    setDefaultParameterSet(defaults);
    {
        ParameterSet* set = createPassthroughParameters();
        set->setFloat(1, 0.25f);                                              // Gain
        AudioPlugin* plugin = createPassthroughPlugin(set, nullptr, nullptr); // no host: not mode 2
        delete plugin;
    }
    ParameterSet* next = createPassthroughParameters();
    next->copyFrom(defaults->iface());
    EXPECT_EQ(next->getFloat(1), 0.25f);
    next->release();
    // A host that takes tails keeps the default set as it was.
    defaults->setFloat(1, 1.0f);
    auto takesTails = [](void*, PluginRecord*, int32_t request, intptr_t, void*) {
        return request == kRequestHostMode ? kHostModeTakesTail : 0;
    };
    ParameterSet* set = createPassthroughParameters();
    set->setFloat(1, 0.5f);
    delete createPassthroughPlugin(set, takesTails, nullptr);
    EXPECT_EQ(defaults->getFloat(1), 1.0f);
    setDefaultParameterSet(nullptr);
    defaults->release();
}

TEST(Persistence, stream_round_trip_and_refusal_of_short_or_mismatched_streams) {
    FrameRig rig(7, waveFormat(kFormatPcm, 16, 2));
    auto& filter = rig.filter();
    ULARGE_INTEGER size{};
    filter.GetSizeMax(&size);
    EXPECT_EQ(size.QuadPart, 4u + 2u * 4u);

    struct Stream final : IStream {
        std::vector<uint8_t> bytes;
        size_t at = 0;
        HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG AddRef() override { return 1; }
        ULONG Release() override { return 1; }
        HRESULT Read(void* to, ULONG n, ULONG* got) override {
            const ULONG k = ULONG(std::min<size_t>(n, bytes.size() - at));
            std::memcpy(to, bytes.data() + at, k);
            at += k;
            *got = k;
            return S_OK;
        }
        HRESULT Write(const void* from, ULONG n, ULONG* put) override {
            bytes.insert(bytes.end(), static_cast<const uint8_t*>(from),
                         static_cast<const uint8_t*>(from) + n);
            *put = n;
            return S_OK;
        }
    };
    Stream saved;
    ASSERT_EQ(filter.Save(&saved, TRUE), S_OK);
    ASSERT_EQ(saved.bytes.size(), 12u);

    FrameRig other(0, waveFormat(kFormatPcm, 16, 2));
    Stream load;
    load.bytes = saved.bytes;
    ASSERT_EQ(other.filter().Load(&load), S_OK);
    EXPECT_EQ(other.filter().plugin().parameters().getFloat(kPassthroughLatencyIndex), 7.0f);

    Stream truncated;
    truncated.bytes.assign(saved.bytes.begin(), saved.bytes.end() - 1);
    truncated.bytes.back() ^= 0x40;
    FrameRig third(3, waveFormat(kFormatPcm, 16, 2));
    EXPECT_NE(third.filter().Load(&truncated), S_OK);
    EXPECT_EQ(third.filter().plugin().parameters().getFloat(kPassthroughLatencyIndex), 3.0f);
}

namespace {

// Takes 16-bit PCM as it is and negates it, with a latency of 3 frames counted by the frame.
class RawNegator final : public AudioPlugin {
  public:
    static constexpr int32_t kRawFlags = 1 | 0x08;
    RawNegator()
        : AudioPlugin({1, 0x52617720u, "Raw negator", kRawFlags}, createPassthroughParameters(),
                      nullptr, nullptr) {}
    int32_t rawCalls = 0;
    int32_t process(AudioBuffers& buffers) override {
        if (!buffers.isRaw()) return buffers.frames;
        ++rawCalls;
        auto* in = reinterpret_cast<const int16_t*>(buffers.inputs()[0]);
        auto* out = reinterpret_cast<int16_t*>(buffers.outputs()[0]);
        for (int32_t i = 0; i < buffers.frames * inputChannels(); ++i)
            out[i] = int16_t(-in[i]);
        return buffers.frames;
    }
    int32_t processReplacing(AudioBuffers&) override { return kStatusNotSupported5; }
    void loadSettings(ParameterInterface*) override {}
    void saveSettings(ParameterInterface*) override {}
    int32_t open(OpenFormat&) override { return 0; }
    int32_t close() override { return 0; }
    int32_t start() override { return 0; }
    int32_t stop() override { return 0; }
    int32_t checkFormat(int32_t channels, int32_t* out, int32_t*, int32_t*) override {
        *out = channels;
        return 0;
    }
    int32_t latency() override { return 3; }
    float compatFloatQuery() override { return -1.0f; }
};

} // namespace

TEST(RawPath, plug_ins_that_ask_for_it_get_the_pcm_as_it_is_and_the_latency_is_still_skipped) {
    auto* plugin = new RawNegator;
    FrameRig rig(waveFormat(kFormatPcm, 16, 2), plugin);
    ASSERT_TRUE(rig.connected());
    const std::vector<int16_t> input = {1, -1, 2, -2, 3, -3, 4, -4, 5, -5};
    rig.push(bytesOf(input));
    EXPECT_EQ(plugin->rawCalls, 1);
    const auto out = valuesOf<int16_t>(rig.delivered());
    const std::vector<int16_t> expected = {-4, 4, -5, 5}; // frames 3 and 4, negated
    EXPECT_EQ(out, expected);
    float peaks[2] = {-1, -1};
    rig.record()->dispatcher(rig.record(), kCmdReadInputPeaks, peaks, 0);
    EXPECT_EQ(peaks[0], 0.0f) << "raw PCM is not metered as floats";
}
