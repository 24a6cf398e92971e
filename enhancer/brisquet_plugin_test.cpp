#include "enhancer/brisquet_plugin.h"
#include "runtime/plugin_glue_test_support.h"
#include "testsupport/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orq::enhancer {
namespace {

struct PluginDeleter {
    void operator()(AudioPlugin* p) const { delete p; }
};
using PluginPtr = std::unique_ptr<AudioPlugin, PluginDeleter>;
struct SetReleaser {
    void operator()(ParameterSet* p) const { p->release(); }
};
using SetPtr = std::unique_ptr<ParameterSet, SetReleaser>;

BrisquetPlugin& brisquet(PluginPtr& p) {
    return static_cast<BrisquetPlugin&>(*p);
}

PluginPtr openedPlugin(int32_t rate = 44100, int32_t channels = 2,
                       ParameterSet* parameters = nullptr, HostCallback host = nullptr,
                       void* context = nullptr) {
    PluginPtr plugin(createBrisquetPlugin(parameters, host, context));
    OpenFormat format{rate, channels, 0};
    EXPECT_EQ(plugin->dispatch(kCmdOpen, &format, 0), 0);
    return plugin;
}

// A store that records the order of reads and writes.
class RecordingStore final : public BrisquetParameters {
  public:
    float getFloat(int32_t index) override {
        reads.push_back(index);
        return BrisquetParameters::getFloat(index);
    }
    void setFloat(int32_t index, float value) override {
        writes.push_back(index);
        BrisquetParameters::setFloat(index, value);
    }
    std::vector<int32_t> reads, writes;
};

// Runs interleaved-free stereo frames through process in chunks; returns both outputs.
std::array<std::vector<float>, 2> feed(AudioPlugin& plugin, const std::vector<float>& left,
                                       const std::vector<float>& right, int32_t chunk = 1000) {
    AudioBuffers buffers(2, 2, 8192, BufferLayout::Shared, 44100);
    std::array<std::vector<float>, 2> out;
    for (size_t done = 0; done < left.size();) {
        const int32_t n = int32_t(std::min<size_t>(size_t(chunk), left.size() - done));
        buffers.setFrames(n);
        std::memcpy(buffers.inputs()[0], left.data() + done, sizeof(float) * size_t(n));
        std::memcpy(buffers.inputs()[1], right.data() + done, sizeof(float) * size_t(n));
        EXPECT_EQ(plugin.process(buffers), n);
        out[0].insert(out[0].end(), buffers.outputs()[0], buffers.outputs()[0] + n);
        out[1].insert(out[1].end(), buffers.outputs()[1], buffers.outputs()[1] + n);
        done += size_t(n);
    }
    return out;
}

std::vector<float> noise(size_t frames, uint32_t seed) {
    return test::whiteNoise(frames, seed, 0.8f);
}

// Format -----------------------------------------------------------------------------------------

TEST(BrisquetFormat, accepts_44100_and_48000_hz_with_as_many_outputs_as_inputs) {
    PluginPtr plugin(createBrisquetPlugin(nullptr, nullptr, nullptr));
    for (int32_t rate : {44100, 48000})
        for (int32_t channels : {1, 2}) {
            int32_t outputs = 0, r = rate, extra = 7;
            EXPECT_EQ(plugin->checkFormat(channels, &outputs, &r, &extra), 0);
            EXPECT_EQ(outputs, channels);
            EXPECT_EQ(extra, 0);
        }
}

TEST(BrisquetFormat, other_rates_are_refused_by_check_and_open_with_their_codes) {
    PluginPtr plugin(createBrisquetPlugin(nullptr, nullptr, nullptr));
    for (int32_t rate : {22050, 32000, 96000}) {
        int32_t outputs = 0, r = rate, extra = 0;
        EXPECT_EQ(plugin->checkFormat(2, &outputs, &r, &extra), 0x20031008) << rate;
        OpenFormat format{rate, 2, 0};
        EXPECT_EQ(plugin->open(format), 0x20031001) << rate;
        EXPECT_EQ(plugin->dispatch(kCmdOpen, &format, 0), 0x20031001) << rate;
        EXPECT_EQ(brisquet(plugin).engine(), nullptr);
    }
    int32_t outputs = 0, rate = 44100, extra = 0;
    EXPECT_EQ(plugin->checkFormat(3, &outputs, &rate, &extra), kStatusChannelsRefused);
    EXPECT_EQ(plugin->checkFormat(2, &outputs, nullptr, &extra), kStatusFormatRateRefused);
    OpenFormat none{44100, 0, 0};
    EXPECT_EQ(plugin->open(none), kStatusChannelsRefused);
}

TEST(BrisquetFormat, latency_is_108_at_44100_and_115_at_48000) {
    EXPECT_EQ(openedPlugin(44100)->dispatch(kCmdLatency, nullptr, 0), 108);
    EXPECT_EQ(openedPlugin(48000)->dispatch(kCmdLatency, nullptr, 0), 115);
}

// Parameters -------------------------------------------------------------------------------------

TEST(BrisquetParametersTable, has_eleven_persisted_keys_labels_and_defaults_in_order) {
    const ParameterTable& table = brisquetParameterTable();
    ASSERT_EQ(table.defs.size(), size_t(kEnhancerParameterCount));
    EXPECT_STREQ(table.name, "Orq Brisquet");
    const char* keys[] = {"igain", "solo", "mix", "hpf",   "hpm", "gain",
                          "kick",  "den",  "sec", "third", "mono"};
    const char* labels[] = {"Input", "Solo",    "Mix", "Frequency", "HP Mix", "Gain",
                            "Kick",  "Density", "2nd", "3rd",       "mono"};
    const float defaults[] = {0.0f, 1.0f, 0.5f, 3000.0f, 1.0f, 0.5f, 0.0f, 3.0f, 0.5f, 0.5f, 0.0f};
    SetPtr set(createBrisquetParameters());
    for (int32_t i = 0; i < kEnhancerParameterCount; ++i) {
        EXPECT_STREQ(table.defs[size_t(i)].key, keys[i]);
        EXPECT_STREQ(table.defs[size_t(i)].label, labels[i]);
        EXPECT_EQ(set->isPersisted(i), 1);
        EXPECT_STREQ(set->keyName(i), keys[i]);
        EXPECT_EQ(set->getFloat(i), defaults[i]) << keys[i];
    }
}

TEST(BrisquetParametersTable, range_records_carry_the_editor_ranges_and_units) {
    SetPtr set(createBrisquetParameters());
    ParameterInfo info{};
    set->getInfo(3, &info);
    EXPECT_EQ(info.kind, kKindFloat);
    EXPECT_EQ(info.minimum, 1000.0f);
    EXPECT_EQ(info.maximum, 7000.0f);
    EXPECT_EQ(info.step, 1000.0f);
    EXPECT_STREQ(info.unit, "Hz ");
    set->getInfo(0, &info);
    EXPECT_EQ(info.minimum, -20.0f);
    EXPECT_EQ(info.maximum, 6.0f);
    EXPECT_STREQ(info.unit, "dB");
    set->getInfo(2, &info);
    EXPECT_EQ(info.step, 0.01f);
    EXPECT_STREQ(info.unit, "%");
    set->getInfo(7, &info);
    EXPECT_EQ(info.maximum, 6.0f);
    EXPECT_STREQ(info.unit, "");
    // "mono" has no range record of its own; it answers the generic scalar record.
    set->getInfo(10, &info);
    EXPECT_EQ(info.minimum, -1.0f);
    EXPECT_EQ(info.maximum, 1.0f);
    set->getInfo(99, &info);
    set->getInfo(0, nullptr);
}

TEST(BrisquetParametersTable, stream_holds_eleven_floats_and_round_trips) {
    SetPtr a(createBrisquetParameters()), b(createBrisquetParameters());
    a->setFloat(3, 6000.0f);
    a->setFloat(10, 1.0f);
    EXPECT_EQ(streamSizeMax(*a), 4u + 11u * 4u);
    const std::vector<uint8_t> stream = saveParameterStream(*a, 0);
    ASSERT_EQ(stream.size(), 48u);
    uint32_t version = 99;
    ASSERT_TRUE(loadParameterStream(*b, stream.data(), stream.size(), &version));
    EXPECT_EQ(b->getFloat(3), 6000.0f);
    EXPECT_EQ(b->getFloat(10), 1.0f);
    SetPtr copy(b->clone());
    EXPECT_EQ(copy->getFloat(3), 6000.0f);
    ParameterInfo info{};
    copy->getInfo(3, &info);
    EXPECT_STREQ(info.unit, "Hz ");
}

// Settings ---------------------------------------------------------------------------------------

TEST(BrisquetSettings, load_and_save_follow_the_fixed_order) {
    const std::vector<int32_t> order = {0, 5, 2, 8, 9, 1, 6, 7, 3, 4, 10};
    PluginPtr plugin = openedPlugin();
    RecordingStore store;
    store.setMode(kModeAll);
    plugin->loadSettings(store.iface());
    EXPECT_EQ(store.reads, order);
    plugin->saveSettings(store.iface());
    EXPECT_EQ(store.writes, order);
}

TEST(BrisquetSettings, open_applies_the_persisted_values_to_the_new_engine) {
    SetPtr set(createBrisquetParameters());
    set->setFloat(0, -6.0f);
    set->setFloat(3, 5000.0f);
    set->setFloat(7, 6.0f);
    PluginPtr plugin = openedPlugin(48000, 2, set.release());
    const EnhancerEngine* engine = brisquet(plugin).engine();
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->settings().inputGainDb, -6.0f);
    EXPECT_EQ(engine->settings().cornerHz, 5000.0f);
    EXPECT_EQ(engine->highpassTapCount(), 21);
    EXPECT_EQ(engine->settings().density, 6.0f);
}

TEST(BrisquetSettings, only_changed_values_reach_the_engine_and_saves_report_its_values) {
    PluginPtr plugin = openedPlugin();
    SetPtr editor(createBrisquetParameters());
    editor->setMode(kModeChanged);
    editor->setFloat(3, 12345.0f); // out of range: the engine keeps 7000
    editor->setFloat(8, 0.25f);
    plugin->dispatch(kCmdLoadSettings, editor->iface(), kModeChanged);
    const EnhancerEngine* engine = brisquet(plugin).engine();
    EXPECT_EQ(engine->settings().cornerHz, 7000.0f);
    EXPECT_EQ(engine->settings().second, 0.25f);
    EXPECT_EQ(engine->settings().inputGainDb, 0.0f);
    SetPtr report(createBrisquetParameters());
    plugin->dispatch(kCmdSaveSettings, report->iface(), kModeAll);
    report->setMode(kModeAll);
    EXPECT_EQ(report->getFloat(3), 7000.0f);
    EXPECT_EQ(report->getFloat(8), 0.25f);
}

TEST(BrisquetSettings, non_numbers_from_a_host_fall_back_to_defaults) {
    PluginPtr plugin = openedPlugin();
    SetPtr store(createBrisquetParameters());
    store->setFloat(2, NAN);
    store->setFloat(3, NAN);
    store->setFloat(0, INFINITY);
    store->setMode(kModeAll);
    plugin->loadSettings(store->iface());
    const EnhancerEngine* engine = brisquet(plugin).engine();
    EXPECT_EQ(engine->settings().mix, 0.5f);
    EXPECT_EQ(engine->settings().cornerHz, 3000.0f);
    EXPECT_EQ(engine->settings().inputGainDb, 6.0f);
}

TEST(BrisquetSettings, values_from_a_host_are_limited_to_the_table_ranges) {
    PluginPtr plugin = openedPlugin();
    SetPtr store(createBrisquetParameters());
    store->setFloat(kDensityIndex, 100.0f);
    store->setFloat(kInputGainIndex, -1000.0f);
    store->setFloat(kMixIndex, 5.0f);
    store->setFloat(kKickIndex, 0.7f); // a switch: on from 0.5
    store->setMode(kModeAll);
    plugin->loadSettings(store->iface());
    const EnhancerEngine* engine = brisquet(plugin).engine();
    EXPECT_EQ(engine->settings().density, 6.0f);
    EXPECT_EQ(engine->settings().inputGainDb, -20.0f);
    EXPECT_EQ(engine->settings().mix, 1.0f);
    EXPECT_TRUE(engine->settings().kick);
}

TEST(BrisquetSettings, a_new_plugin_reports_the_table_defaults) {
    PluginPtr plugin = openedPlugin();
    SetPtr report(createBrisquetParameters());
    for (int32_t i = 0; i < kEnhancerParameterCount; ++i)
        report->setFloat(i, -99.0f);
    plugin->dispatch(kCmdSaveSettings, report->iface(), kModeAll);
    report->setMode(kModeAll);
    for (int32_t i = 0; i < kEnhancerParameterCount; ++i)
        EXPECT_EQ(report->getFloat(i), kEnhancerParameters[size_t(i)].defaultValue) << i;
}

// Processing -------------------------------------------------------------------------------------

TEST(BrisquetProcess, solo_1_mix_0_lines_up_with_the_input_after_the_latency) {
    SetPtr set(createBrisquetParameters());
    set->setFloat(2, 0.0f);
    PluginPtr plugin = openedPlugin(48000, 2, set.release());
    const std::vector<float> left = noise(5000, 1), right = noise(5000, 2);
    const auto out = feed(*plugin, left, right, 777);
    const size_t latency = size_t(plugin->latency());
    for (size_t n = latency; n < left.size(); ++n) {
        ASSERT_NEAR(out[0][n], left[n - latency], 1e-7) << n;
        ASSERT_NEAR(out[1][n], right[n - latency], 1e-7) << n;
    }
}

TEST(BrisquetProcess, mono_mode_processes_the_left_channel_into_both_outputs) {
    PluginPtr plugin = openedPlugin();
    SetPtr store(createBrisquetParameters());
    store->setMode(kModeChanged);
    store->setFloat(10, 1.0f);
    plugin->dispatch(kCmdLoadSettings, store->iface(), kModeChanged);
    ASSERT_EQ(brisquet(plugin).engine()->channels(), 1);
    EXPECT_EQ(plugin->latency(), 108);
    const auto out = feed(*plugin, noise(4000, 3), noise(4000, 4));
    for (size_t n = 0; n < out[0].size(); ++n)
        ASSERT_EQ(out[0][n], out[1][n]) << n;
    EXPECT_GT(std::abs(out[0][2000]), 0.0f);
    store->setFloat(10, 0.0f);
    plugin->dispatch(kCmdLoadSettings, store->iface(), kModeChanged);
    EXPECT_EQ(brisquet(plugin).engine()->channels(), 2);
}

TEST(BrisquetProcess, a_one_channel_stream_runs_a_one_channel_engine) {
    PluginPtr plugin = openedPlugin(44100, 1);
    EXPECT_EQ(brisquet(plugin).engine()->channels(), 1);
    AudioBuffers buffers(1, 1, 8192, BufferLayout::Shared, 44100);
    buffers.setFrames(300);
    std::fill(buffers.inputs()[0], buffers.inputs()[0] + 300, 0.25f);
    EXPECT_EQ(plugin->process(buffers), 300);
    EXPECT_TRUE(std::isfinite(buffers.outputs()[0][299]));
}

TEST(BrisquetProcess, without_an_engine_the_audio_passes_unchanged) {
    PluginPtr plugin(createBrisquetPlugin(nullptr, nullptr, nullptr));
    const std::vector<float> left = noise(100, 5), right = noise(100, 6);
    const auto out = feed(*plugin, left, right);
    EXPECT_EQ(out[0], left);
    EXPECT_EQ(out[1], right);
}

TEST(BrisquetProcess, bypass_with_delay_passes_the_input_unscaled_after_the_latency) {
    SetPtr set(createBrisquetParameters());
    set->setFloat(0, -10.0f);
    PluginPtr plugin = openedPlugin(44100, 2, set.release());
    plugin->setBypassWithDelay(1.0f);
    const std::vector<float> left = noise(3000, 7);
    const auto out = feed(*plugin, left, left, 500);
    for (size_t n = 108; n < left.size(); ++n)
        ASSERT_EQ(out[0][n], left[n - 108]) << n;
}

// Stop and tail ----------------------------------------------------------------------------------

struct FakeHost {
    int32_t mode = kHostModeTakesTail;
    int32_t takeAnswer = 1;
    int32_t tailFrames = -1;
    int32_t tailChannels = -1;
    std::vector<float> tailLeft, tailRight;

    static int32_t callback(void* context, PluginRecord*, int32_t request, intptr_t, void* b) {
        auto* host = static_cast<FakeHost*>(context);
        if (request == kRequestHostMode) return host->mode;
        if (request == kRequestTake) {
            const auto* tail = static_cast<const TailRecord*>(b);
            host->tailFrames = tail->frames;
            host->tailChannels = tail->channels;
            host->tailLeft.assign(tail->buffers[0], tail->buffers[0] + tail->frames);
            host->tailRight.assign(tail->buffers[1], tail->buffers[1] + tail->frames);
            return host->takeAnswer;
        }
        return 0;
    }
};

TEST(BrisquetStop, hands_the_last_latency_frames_to_a_host_that_takes_tails) {
    FakeHost host;
    SetPtr set(createBrisquetParameters());
    set->setFloat(2, 0.0f);
    PluginPtr plugin = openedPlugin(44100, 2, set.release(), FakeHost::callback, &host);
    const std::vector<float> left = noise(1000, 8), right = noise(1000, 9);
    feed(*plugin, left, right);
    EXPECT_EQ(plugin->stop(), 0);
    ASSERT_EQ(host.tailFrames, 108);
    EXPECT_EQ(host.tailChannels, 2);
    for (size_t n = 0; n < 108; ++n) {
        ASSERT_NEAR(host.tailLeft[n], left[1000 - 108 + n], 1e-7) << n;
        ASSERT_NEAR(host.tailRight[n], right[1000 - 108 + n], 1e-7) << n;
    }
}

TEST(BrisquetStop, reports_a_tail_the_host_did_not_take_and_asks_no_other_host) {
    FakeHost refusing;
    refusing.takeAnswer = 0;
    PluginPtr plugin = openedPlugin(44100, 2, nullptr, FakeHost::callback, &refusing);
    EXPECT_EQ(plugin->stop(), kStatusTailNotTaken);
    FakeHost ordinary;
    ordinary.mode = 1;
    PluginPtr other = openedPlugin(44100, 2, nullptr, FakeHost::callback, &ordinary);
    EXPECT_EQ(other->stop(), 0);
    EXPECT_EQ(ordinary.tailFrames, -1);
}

TEST(BrisquetStop, a_mono_engine_tail_is_copied_to_both_channels) {
    FakeHost host;
    SetPtr set(createBrisquetParameters());
    set->setFloat(10, 1.0f);
    PluginPtr plugin = openedPlugin(44100, 2, set.release(), FakeHost::callback, &host);
    feed(*plugin, noise(500, 10), noise(500, 11));
    EXPECT_EQ(plugin->stop(), 0);
    ASSERT_EQ(host.tailFrames, 108);
    for (size_t n = 0; n < 108; ++n)
        ASSERT_EQ(host.tailLeft[n], host.tailRight[n]) << n;
}

TEST(BrisquetIdentity, record_carries_the_display_name) {
    PluginPtr plugin(createBrisquetPlugin(nullptr, nullptr, nullptr));
    EXPECT_STREQ(plugin->record().name, "Orq Brisquet");
    EXPECT_EQ(plugin->record().uniqueId, brisquetParameterTable().uniqueId);
    AudioBuffers buffers(2, 2, 16, BufferLayout::Shared, 44100);
    EXPECT_EQ(plugin->processReplacing(buffers), kStatusNotSupported5);
}

// Glue -------------------------------------------------------------------------------------------

TEST(BrisquetGlue, open_close_and_format_changes_on_one_thread_never_race_processing_on_another) {
    PluginPtr plugin(createBrisquetPlugin(nullptr, nullptr, nullptr));
    const int64_t blocks = test::raceOpenCloseAgainstProcessing(
        *plugin, {{44100, 2, 0}, {48000, 1, 0}, {48000, 2, 0}}, 300);
    EXPECT_GT(blocks, 0);
}

TEST(BrisquetGlue, an_allocation_failure_in_open_leaves_it_closed_and_passing_audio_unchanged) {
    PluginPtr plugin(createBrisquetPlugin(nullptr, nullptr, nullptr));
    int32_t failedOpens = 0;
    EXPECT_NO_THROW(failedOpens =
                        test::checkOpenUnderEveryAllocationFailure(*plugin, {44100, 2, 0}, [&] {
                            return brisquet(plugin).engine() != nullptr;
                        }));
    EXPECT_GT(failedOpens, 0);
    EXPECT_NE(brisquet(plugin).engine(), nullptr);
}

} // namespace
} // namespace orq::enhancer
