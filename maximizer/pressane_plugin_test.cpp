#include "maximizer/pressane_plugin.h"
#include "runtime/live_objects.h"
#include "maximizer/maximizer_test_support.h"
#include "runtime/sample_conversion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace orq::maximizer {
namespace {

using test::Channels;

// A host that records the flush requests and answers as told.
struct FakeHost {
    int32_t modeAnswer = kHostModeTakesTail;
    int32_t takeAnswer = 1;
    int32_t takeCalls = 0;
    int32_t tailFrames = 0;
    int32_t tailChannels = 0;
    std::vector<float> tailLeft;

    static int32_t callback(void* context, PluginRecord*, int32_t request, intptr_t, void* b) {
        auto* host = static_cast<FakeHost*>(context);
        if (request == kRequestHostMode) return host->modeAnswer;
        if (request == kRequestTake) {
            ++host->takeCalls;
            const auto* tail = static_cast<const TailRecord*>(b);
            host->tailFrames = tail->frames;
            host->tailChannels = tail->channels;
            host->tailLeft.assign(tail->buffers[0], tail->buffers[0] + tail->frames);
            return host->takeAnswer;
        }
        return 0;
    }
};

struct PluginDeleter {
    void operator()(AudioPlugin* p) const { delete p; }
};
using PluginPtr = std::unique_ptr<AudioPlugin, PluginDeleter>;

PluginPtr makePlugin(FakeHost* host = nullptr, ParameterSet* parameters = nullptr) {
    return PluginPtr(
        createPressanePlugin(parameters != nullptr ? parameters : createPressaneParameters(),
                             host != nullptr ? FakeHost::callback : nullptr, host));
}

// The open plug-in's engine.
const MaximizerEngine& engineOf(PluginPtr& p) {
    const MaximizerEngine* engine = static_cast<PressanePlugin&>(*p).engine();
    EXPECT_NE(engine, nullptr);
    return *engine;
}

int32_t openPlugin(AudioPlugin& p, int32_t rate = 44100, int32_t channels = 2) {
    OpenFormat format{rate, channels, 5};
    return p.dispatch(kCmdOpen, &format, 0);
}

// Runs a signal through the record's process entry in chunks, in place, as the frame does.
Channels processThroughRecord(AudioPlugin& p, const Channels& in, int32_t chunk = 4096) {
    AudioBuffers buffers(2, 2, 8192, BufferLayout::Shared);
    Channels out(in.size(), std::vector<float>(in[0].size()));
    const int32_t frames = static_cast<int32_t>(in[0].size());
    for (int32_t start = 0; start < frames; start += chunk) {
        const int32_t n = std::min(chunk, frames - start);
        for (size_t c = 0; c < in.size(); ++c)
            std::copy_n(in[c].data() + start, n, buffers.inputs()[c]);
        buffers.setFrames(n);
        const int32_t produced = p.record().process(&p.record(), &buffers);
        EXPECT_EQ(produced, n);
        for (size_t c = 0; c < in.size(); ++c)
            std::copy_n(buffers.outputs()[c], n, out[c].data() + start);
    }
    return out;
}

// ---- Parameter set --------------------------------------------------------------------------

TEST(PressaneParameters, seven_values_with_five_keyed_settings_and_two_unkeyed_meters) {
    std::unique_ptr<ParameterSet> set(createPressaneParameters());
    ASSERT_EQ(set->count(), 7);
    const char* keys[] = {"DesGain", "Comp", "HeadRoom", "Boost", nullptr, nullptr, "Audition"};
    for (int32_t i = 0; i < 7; ++i) {
        if (keys[i] == nullptr) {
            EXPECT_EQ(set->keyName(i), nullptr) << i;
            EXPECT_EQ(set->isPersisted(i), 0) << i;
        } else {
            ASSERT_NE(set->keyName(i), nullptr) << i;
            EXPECT_STREQ(set->keyName(i), keys[i]);
            EXPECT_EQ(set->isPersisted(i), 1) << i;
        }
    }
    const ParameterTable& table = pressaneParameterTable();
    EXPECT_STREQ(table.defs[1].label, "More Density");
    EXPECT_STREQ(table.defs[2].label, "Soft Hard");
    EXPECT_NEAR(set->getFloat(kPressaneHeadroomMeter), 7.0f, 0.0);
    EXPECT_NEAR(set->getFloat(kPressaneGainReachedMeter), 1.0f, 0.0);
    EXPECT_NEAR(set->getFloat(kPressaneDesiredGain), 0.0f, 0.0);
}

TEST(PressaneParameters, announced_ranges_survive_cloning) {
    std::unique_ptr<ParameterSet> set(createPressaneParameters());
    std::unique_ptr<ParameterSet> copy(set->clone());
    for (ParameterSet* s : {set.get(), copy.get()}) {
        ParameterInfo info{};
        s->getInfo(kPressaneDesiredGain, &info);
        EXPECT_EQ(info.kind, kKindFloat);
        EXPECT_NEAR(info.maximum, 12.0f, 0.0);
        EXPECT_NEAR(info.step, 0.5f, 0.0);
        EXPECT_STREQ(info.unit, "dB");
        s->getInfo(kPressaneHeadroom, &info);
        EXPECT_EQ(info.kind, kKindScalar);
        EXPECT_NEAR(info.minimum, -4.0f, 0.0);
        EXPECT_NEAR(info.maximum, 4.0f, 0.0);
        EXPECT_STREQ(info.unit, "");
    }
}

// ---- Format, latency, identity --------------------------------------------------------------

TEST(PressanePlugin, refuses_rates_above_48k_and_more_than_two_channels) {
    PluginPtr p = makePlugin();
    CheckFormatArgs args{2, 0, 96000, 7};
    EXPECT_EQ(p->dispatch(kCmdCheckFormat, &args, 0), kStatusRateRefused);
    args = {2, 0, 48000, 7};
    EXPECT_EQ(p->dispatch(kCmdCheckFormat, &args, 0), 0);
    EXPECT_EQ(args.outputChannels, 2);
    EXPECT_EQ(args.extra, 0);
    args = {1, 0, 44100, 7};
    EXPECT_EQ(p->dispatch(kCmdCheckFormat, &args, 0), 0);
    EXPECT_EQ(args.outputChannels, 1);
    args = {3, 0, 44100, 0};
    EXPECT_EQ(p->dispatch(kCmdCheckFormat, &args, 0), kStatusChannelsRefused);
}

TEST(PressanePlugin, opens_with_latency_176_at_44100_and_answers_its_identity) {
    PluginPtr p = makePlugin();
    OpenFormat format{44100, 2, 5};
    EXPECT_EQ(p->open(format), 0);
    EXPECT_EQ(format.extra, 0);
    p->close();
    ASSERT_EQ(openPlugin(*p), 0);
    EXPECT_EQ(p->dispatch(kCmdLatency, nullptr, 0), 176);
    float query = 0.0f;
    p->dispatch(kCmdCompatFloatQuery1f, &query, 0);
    EXPECT_NEAR(query, 1.0f, 0.0);
    EXPECT_STREQ(p->record().name, "Orq Pressane");
    ASSERT_EQ(openPlugin(*p, 48000, 1), 0);
    EXPECT_EQ(p->dispatch(kCmdLatency, nullptr, 0), 192);
}

// ---- Settings -------------------------------------------------------------------------------

TEST(PressanePlugin, load_clamps_store_values_and_writes_them_back) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(*p), 0);
    std::unique_ptr<ParameterSet> store(createPressaneParameters());
    store->setFloat(kPressaneDesiredGain, 99.0f);
    store->setFloat(kPressaneDensity, std::numeric_limits<float>::quiet_NaN());
    store->setFloat(kPressaneHeadroom, -20.0f);
    store->setFloat(kPressaneBoost, 1.0f);
    p->dispatch(kCmdLoadSettings, store->iface(), kModeChanged);
    const auto& engine = engineOf(p);
    EXPECT_NEAR(engine.settings().desiredGainDb, 12.0f, 0.0);
    EXPECT_NEAR(engine.settings().density, 0.0f, 0.0);
    EXPECT_EQ(engine.settings().headroom, -9);
    EXPECT_TRUE(engine.settings().boost);
    EXPECT_NEAR(p->parameters().getFloat(kPressaneDesiredGain), 12.0f, 0.0);
    EXPECT_NEAR(p->parameters().getFloat(kPressaneDensity), 0.0f, 0.0);
    EXPECT_NEAR(p->parameters().getFloat(kPressaneHeadroom), -9.0f, 0.0);
    // The loaded values are the plug-in's new changed values.
    store->setFloat(kPressaneBoost, 0.0f);
    p->dispatch(kCmdLoadSettings, store->iface(), kPressaneBoost); // index mode: Boost only
    EXPECT_FALSE(engine.settings().boost);
    EXPECT_NEAR(engine.settings().desiredGainDb, 12.0f, 0.0);
}

TEST(PressanePlugin, out_of_range_values_in_the_set_are_clamped_at_open) {
    ParameterSet* set = createPressaneParameters();
    set->setFloat(kPressaneDesiredGain, -5.0f);
    set->setFloat(kPressaneHeadroom, 1e9f);
    PluginPtr p = makePlugin(nullptr, set);
    ASSERT_EQ(openPlugin(*p), 0);
    EXPECT_NEAR(p->parameters().getFloat(kPressaneDesiredGain), 0.0f, 0.0);
    EXPECT_NEAR(p->parameters().getFloat(kPressaneHeadroom), 9.0f, 0.0);
    EXPECT_EQ(engineOf(p).derived().curve, 18);
}

TEST(PressanePlugin, limiter_index_is_3_at_start_and_4_after_the_same_values_load) {
    ParameterSet* set = createPressaneParameters();
    set->setFloat(kPressaneDesiredGain, 7.5f);
    set->setFloat(kPressaneDensity, 0.5f);
    PluginPtr p = makePlugin(nullptr, set);
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    EXPECT_EQ(engineOf(p).derived().levelStageDb, 3);
    EXPECT_EQ(engineOf(p).derived().limiterIndex, 3);
    std::unique_ptr<ParameterSet> store(createPressaneParameters());
    store->setFloat(kPressaneDesiredGain, 7.5f);
    store->setFloat(kPressaneDensity, 0.5f);
    p->dispatch(kCmdLoadSettings, store->iface(), kModeChanged);
    EXPECT_EQ(engineOf(p).derived().limiterIndex, 4);
}

TEST(PressanePlugin, save_writes_the_settings_the_store_asks_for_but_never_meters) {
    ParameterSet* set = createPressaneParameters();
    set->setFloat(kPressaneDesiredGain, 6.0f);
    set->setFloat(kPressaneAudition, 1.0f);
    PluginPtr p = makePlugin(nullptr, set);
    ASSERT_EQ(openPlugin(*p), 0);
    std::unique_ptr<ParameterSet> store(createPressaneParameters());
    store->setFloat(kPressaneHeadroomMeter, -55.0f);
    p->dispatch(kCmdSaveSettings, store->iface(), kModePersisted);
    EXPECT_NEAR(store->getFloat(kPressaneDesiredGain), 6.0f, 0.0);
    EXPECT_NEAR(store->getFloat(kPressaneAudition), 1.0f, 0.0);
    EXPECT_NEAR(store->getFloat(kPressaneHeadroomMeter), -55.0f, 0.0);
}

// ---- Meters ---------------------------------------------------------------------------------

TEST(PressanePlugin, meter_request_publishes_meters_only_after_new_audio) {
    ParameterSet* set = createPressaneParameters();
    set->setFloat(kPressaneDesiredGain, 6.0f);
    PluginPtr p = makePlugin(nullptr, set);
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    processThroughRecord(*p, test::musicLikeMix(2.0, 44100.0));
    std::unique_ptr<ParameterSet> editor(createPressaneParameters());
    editor->setFloat(kPressaneDesiredGain, 3.0f);
    p->dispatch(kCmdSaveSettings, editor->iface(), kModeUnnamed);
    const float reached = editor->getFloat(kPressaneGainReachedMeter);
    const float headroom = editor->getFloat(kPressaneHeadroomMeter);
    EXPECT_GT(reached, 0.3f);
    EXPECT_LT(reached, 1.2f);
    EXPECT_NE(headroom, 7.0f);
    EXPECT_TRUE(std::isfinite(headroom));
    EXPECT_NEAR(editor->getFloat(kPressaneDesiredGain), 3.0f, 0.0); // settings not selected
    // No new audio since: the request leaves the editor's meters as they are.
    editor->setFloat(kPressaneGainReachedMeter, -1.0f);
    p->dispatch(kCmdSaveSettings, editor->iface(), kModeUnnamed);
    EXPECT_NEAR(editor->getFloat(kPressaneGainReachedMeter), -1.0f, 0.0);
}

// ---- Processing through the record ----------------------------------------------------------

TEST(PressanePlugin, record_processing_is_in_place_with_the_2L_delay_and_mute_gives_zeros) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    const Channels in = test::sine(2, 10000, 441.0, 0.3, 44100.0);
    const Channels out = processThroughRecord(*p, in, 1000);
    double worst = 0.0;
    for (int32_t t = 176; t < 10000; ++t)
        worst = std::max(worst, std::fabs(out[1][t] - 0.99866 * in[1][t - 176]));
    EXPECT_NEAR(worst, 0.0, 2e-5);

    float hostValues[2] = {0.0f, 1.0f};
    p->dispatch(kCmdSetHostValues, hostValues, 0);
    const Channels muted = processThroughRecord(*p, in, 1000);
    EXPECT_NEAR(test::peakMagnitude(muted), 0.0, 0.0);
}

// An LV2 host reaches the engine from its processing thread only and never reads the channel
// peaks: the blocks run without the per-frame lock and unmetered, and the audio keeps its bits.
TEST(PressanePlugin, a_host_confining_the_engine_to_one_thread_gets_the_same_bits_unmetered) {
    Channels in = test::square(2, 30000, 100.0, 0.9, 44100.0);
    const Channels hats = test::sine(2, 30000, 5512.5, 0.3, 44100.0);
    for (size_t c = 0; c < in.size(); ++c)
        for (size_t t = 0; t < in[c].size(); ++t)
            in[c][t] += hats[c][t];
    auto run = [&](bool confined, float* outputPeak) {
        ParameterSet* set = createPressaneParameters();
        set->setFloat(kPressaneDesiredGain, 12.0f);
        PluginPtr p = makePlugin(nullptr, set);
        p->setEngineThreadConfined(confined);
        p->setChannelMetering(!confined);
        EXPECT_EQ(openPlugin(*p), 0);
        p->dispatch(kCmdStart, nullptr, 0);
        const Channels out = processThroughRecord(*p, in, 1000);
        float peaks[2] = {-1.0f, -1.0f};
        p->dispatch(kCmdReadOutputPeaks, peaks, 0);
        *outputPeak = std::max(peaks[0], peaks[1]);
        return out;
    };
    float lockedPeak = 0.0f;
    float confinedPeak = 0.0f;
    const Channels locked = run(false, &lockedPeak);
    const Channels confined = run(true, &confinedPeak);
    for (size_t c = 0; c < in.size(); ++c)
        EXPECT_EQ(std::memcmp(locked[c].data(), confined[c].data(), sizeof(float) * in[c].size()), 0)
            << "channel " << c << " differs without the frame lock";
    EXPECT_GT(lockedPeak, 0.9f);
    EXPECT_EQ(confinedPeak, 0.0f) << "the channel meters ran although switched off";
}

TEST(PressanePlugin, bypass_with_delay_from_the_host_freezes_the_limiter) {
    ParameterSet* set = createPressaneParameters();
    set->setFloat(kPressaneDesiredGain, 12.0f);
    PluginPtr p = makePlugin(nullptr, set);
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    processThroughRecord(*p, test::square(2, 8000, 100.0, 1.0, 44100.0));
    const float gain = engineOf(p).limiterGain();
    ASSERT_LT(gain, 0.9f);
    float hostValues[2] = {1.0f, 0.0f};
    p->dispatch(kCmdSetHostValues, hostValues, 0);
    const Channels in = test::square(2, 20000, 100.0, 0.1, 44100.0);
    const Channels out = processThroughRecord(*p, in);
    EXPECT_NEAR(engineOf(p).limiterGain(), gain, 0.0);
    EXPECT_NEAR(out[0][19000], in[0][19000 - 176] * 0.5012f * 1.995f * 0.99974f, 1e-6);
}

TEST(PressanePlugin, sixteen_bit_full_scale_stream_stays_inside_full_scale_without_saturating) {
    ParameterSet* set = createPressaneParameters();
    set->setFloat(kPressaneDesiredGain, 12.0f);
    set->setFloat(kPressaneHeadroom, 9.0f);
    set->setFloat(kPressaneBoost, 1.0f);
    PluginPtr p = makePlugin(nullptr, set);
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    // Full-scale 16-bit square wave, both extremes, interleaved stereo.
    const int32_t frames = 8192;
    std::vector<int16_t> pcm(2 * frames);
    for (int32_t t = 0; t < frames; ++t)
        pcm[2 * t] = pcm[2 * t + 1] = (t / 50) % 2 == 0 ? int16_t(32767) : int16_t(-32768);
    AudioBuffers buffers(2, 2, frames, BufferLayout::Shared);
    convertIn(pcm.data(), SampleFormat::Int16, 2, buffers.inputs(), frames);
    buffers.setFrames(frames);
    ASSERT_EQ(p->record().process(&p->record(), &buffers), frames);
    convertOut(buffers.outputs(), 0, SampleFormat::Int16, 2, pcm.data(), frames);
    int32_t largest = 0;
    for (int16_t v : pcm)
        largest = std::max(largest, std::abs(int32_t(v)));
    // 0.99974 of full scale at most: the output never reaches the converter's saturation.
    EXPECT_LE(largest, 32760);
    EXPECT_GE(largest, 32000);
}

TEST(PressanePlugin, closed_plug_in_passes_audio_unchanged) {
    PluginPtr p = makePlugin();
    const Channels in = test::sine(2, 3000, 441.0, 0.7, 44100.0);
    const Channels before = processThroughRecord(*p, in, 1000); // never opened
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdClose, nullptr, 0);
    EXPECT_EQ(static_cast<PressanePlugin&>(*p).engine(), nullptr);
    const Channels after = processThroughRecord(*p, in, 1000);
    for (const Channels* out : {&before, &after})
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ((*out)[c], in[c]) << "channel " << c;
}

// ---- Stop and the tail ----------------------------------------------------------------------

TEST(PressanePlugin, stop_hands_the_latency_tail_to_a_host_that_takes_it) {
    FakeHost host;
    PluginPtr p = makePlugin(&host);
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    processThroughRecord(*p, test::sine(2, 3000, 441.0, 0.3, 44100.0));
    EXPECT_EQ(p->dispatch(kCmdStop, nullptr, 0), 0);
    ASSERT_EQ(host.takeCalls, 1);
    EXPECT_EQ(host.tailFrames, 176);
    EXPECT_EQ(host.tailChannels, 2);
    // The tail carries the delayed end of the sine.
    EXPECT_GT(test::peakMagnitude({host.tailLeft}), 0.25);

    host.takeAnswer = 0;
    p->dispatch(kCmdStart, nullptr, 0);
    EXPECT_EQ(p->dispatch(kCmdStop, nullptr, 0), kStatusTailNotTaken);

    host.modeAnswer = 1;
    p->dispatch(kCmdStart, nullptr, 0);
    EXPECT_EQ(p->dispatch(kCmdStop, nullptr, 0), 0);
    EXPECT_EQ(host.takeCalls, 2);
}

// ---- Engine lifetime against a running block ------------------------------------------------

TEST(PressanePlugin, open_close_and_format_changes_during_processing_never_touch_a_freed_engine) {
    FakeHost host; // takes tails, so every close with a running stream runs the tail too
    PluginPtr p = makePlugin(&host);
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    std::atomic<bool> done{false};
    std::atomic<int32_t> blocks{0};
    std::atomic<int32_t> wrongCounts{0};
    std::thread audio([&] {
        constexpr int32_t kBlockFrames = 8192;
        const Channels in = test::whiteNoise(2, kBlockFrames, 0.9, 7u);
        AudioBuffers buffers(2, 2, kBlockFrames, BufferLayout::Shared);
        while (!done.load()) {
            for (int32_t c = 0; c < 2; ++c)
                std::copy_n(in[c].data(), kBlockFrames, buffers.inputs()[c]);
            buffers.setFrames(kBlockFrames);
            if (p->record().process(&p->record(), &buffers) != kBlockFrames) ++wrongCounts;
            ++blocks;
        }
    });
    // Wait for the audio thread to run, then swap engines under it.
    while (blocks.load() == 0)
        std::this_thread::yield();
    constexpr int32_t kRounds = 300;
    const int32_t rates[] = {44100, 48000, 32000};
    for (int32_t round = 0; round < kRounds; ++round) {
        OpenFormat format{rates[round % 3], 1 + round % 2, 0};
        switch (round % 3) {
        case 0:
            p->dispatch(kCmdFormatChanged, &format, 0);
            break;
        case 1:
            p->dispatch(kCmdClose, nullptr, 0);
            p->dispatch(kCmdOpen, &format, 0);
            p->dispatch(kCmdStart, nullptr, 0);
            break;
        default:
            p->dispatch(kCmdOpen, &format, 0); // open over an open engine
            p->dispatch(kCmdStart, nullptr, 0);
            break;
        }
    }
    done = true;
    audio.join();
    EXPECT_EQ(wrongCounts.load(), 0);
    EXPECT_GT(blocks.load(), 1) << "the audio thread ran only " << blocks.load() << " blocks";
}

// The engine runs blocks of frames while settings, meter reads and starts arrive from another
// thread between its frames (under the thread sanitizer: without a race); the output stays
// inside full scale throughout.
TEST(PressanePlugin, settings_meters_and_starts_from_another_thread_interleave_with_processing) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(*p), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    std::atomic<bool> done{false};
    std::atomic<int32_t> blocks{0};
    std::atomic<int32_t> overFullScale{0};
    std::thread audio([&] {
        constexpr int32_t kBlockFrames = 4096;
        const Channels in = test::musicLikeMix(0.1, 44100.0, 6.0);
        AudioBuffers buffers(2, 2, kBlockFrames, BufferLayout::Shared);
        while (!done.load()) {
            for (int32_t c = 0; c < 2; ++c)
                std::copy_n(in[c].data(), kBlockFrames, buffers.inputs()[c]);
            buffers.setFrames(kBlockFrames);
            p->record().process(&p->record(), &buffers);
            for (int32_t c = 0; c < 2; ++c)
                for (int32_t t = 0; t < kBlockFrames; ++t)
                    if (!(std::fabs(buffers.outputs()[c][t]) <= 1.0f)) ++overFullScale;
            ++blocks;
        }
    });
    while (blocks.load() == 0)
        std::this_thread::yield();
    std::unique_ptr<ParameterSet> store(createPressaneParameters());
    for (int32_t round = 0; round < 400; ++round) {
        store->setFloat(kPressaneDesiredGain, static_cast<float>(round % 25) * 0.5f);
        store->setFloat(kPressaneDensity, static_cast<float>(round % 11) * 0.1f);
        store->setFloat(kPressaneHeadroom, static_cast<float>(round % 19 - 9));
        store->setFloat(kPressaneBoost, static_cast<float>(round % 2));
        p->dispatch(kCmdLoadSettings, store->iface(), kModeChanged);
        p->dispatch(kCmdSaveSettings, store->iface(), kModeUnnamed); // a meter request
        if (round % 50 == 49) p->dispatch(kCmdStart, nullptr, 0);
    }
    const int32_t before = blocks.load();
    while (blocks.load() < before + 2)
        std::this_thread::yield();
    done = true;
    audio.join();
    EXPECT_EQ(overFullScale.load(), 0);
}

} // namespace

TEST(PressaneDefaults, a_destroyed_instance_hands_on_resting_meters_to_the_default_set) {
    ParameterSet* defaults = createPressaneParameters();
    setDefaultParameterSet(defaults);
    ParameterSet* set = createPressaneParameters();
    set->setFloat(kPressaneDesiredGain, 4.0f);
    set->setFloat(kPressaneHeadroomMeter, -3.0f);
    set->setFloat(kPressaneGainReachedMeter, 0.25f);
    delete createPressanePlugin(set, nullptr, nullptr); // a host that takes no tails
    setDefaultParameterSet(nullptr);
    defaults->setMode(kModeFrozen);
    EXPECT_EQ(defaults->getFloat(kPressaneDesiredGain), 4.0f);
    EXPECT_EQ(defaults->getFloat(kPressaneHeadroomMeter), 6.0f);
    EXPECT_EQ(defaults->getFloat(kPressaneGainReachedMeter), 1.0f);
    defaults->release();
}

} // namespace orq::maximizer
