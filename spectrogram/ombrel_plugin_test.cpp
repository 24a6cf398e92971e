#include "spectrogram/ombrel_plugin.h"
#include "runtime/plugin_glue_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace orq::spectrogram {
namespace {

struct SetReleaser {
    void operator()(ParameterSet* p) const { p->release(); }
};
using SetPtr = std::unique_ptr<ParameterSet, SetReleaser>;
using PluginPtr = std::unique_ptr<AudioPlugin>;

PluginPtr openedPlugin(int32_t rateHz = 44100, int32_t channels = 2) {
    PluginPtr plugin(createOmbrelPlugin(nullptr, nullptr, nullptr));
    OpenFormat format{rateHz, channels, 0};
    EXPECT_EQ(plugin->dispatch(kCmdOpen, &format, 0), 0);
    return plugin;
}

// Runs frames of a per-channel generator through process in chunks; returns the outputs.
template <typename Fn>
std::vector<std::vector<float>> feed(AudioPlugin& plugin, int32_t channels, int32_t frames, Fn fn,
                                     BufferLayout layout = BufferLayout::Shared,
                                     int32_t chunk = 4096) {
    AudioBuffers buffers(channels, channels, 8192, layout, 44100);
    std::vector<std::vector<float>> out{size_t(channels)};
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(chunk, frames - done);
        buffers.setFrames(n);
        buffers.frames = n; // setFrames leaves the input count alone for separate buffers
        for (int32_t c = 0; c < channels; ++c)
            for (int32_t i = 0; i < n; ++i)
                buffers.inputs()[c][i] = fn(c, done + i);
        EXPECT_EQ(plugin.process(buffers), n);
        for (int32_t c = 0; c < channels; ++c)
            out[size_t(c)].insert(out[size_t(c)].end(), buffers.outputs()[c],
                                  buffers.outputs()[c] + n);
        done += n;
    }
    return out;
}

float tone(int32_t channel, int32_t i) {
    return (channel == 0 ? 0.7f : 0.3f) * std::sin(0.01f * float(i) * float(channel + 1));
}

TEST(OmbrelPassThrough, audio_is_unchanged_without_latency_in_both_layouts) {
    for (BufferLayout layout : {BufferLayout::Shared, BufferLayout::Separate}) {
        auto plugin = openedPlugin();
        EXPECT_EQ(plugin->latency(), 0);
        const auto out = feed(*plugin, 2, 10000, tone, layout, 3000);
        for (int32_t c = 0; c < 2; ++c)
            for (int32_t i = 0; i < 10000; ++i)
                ASSERT_EQ(out[size_t(c)][size_t(i)], tone(c, i))
                    << "channel " << c << " frame " << i;
    }
}

TEST(OmbrelFormat, accepts_rates_up_to_48k_and_opens_only_table_rates) {
    PluginPtr plugin(createOmbrelPlugin(nullptr, nullptr, nullptr));
    int32_t outputs = 0, extra = 7, rate = 96000;
    EXPECT_EQ(plugin->checkFormat(2, &outputs, &rate, &extra), kStatusRateRefused);
    rate = 40000;
    EXPECT_EQ(plugin->checkFormat(1, &outputs, &rate, &extra), 0);
    EXPECT_EQ(outputs, 1);
    EXPECT_EQ(extra, 0);
    OpenFormat odd{40000, 2, 0};
    EXPECT_EQ(plugin->open(odd), kStatusRateRefused);
    for (int32_t r : {22050, 32000, 44100, 48000}) {
        OpenFormat ok{r, 2, 0};
        EXPECT_EQ(plugin->open(ok), 0) << r;
    }
    EXPECT_EQ(plugin->checkFormat(3, &outputs, &rate, &extra), kStatusChannelsRefused);
}

TEST(OmbrelParameters, only_user_settings_are_persisted) {
    SetPtr set(createOmbrelParameters());
    ASSERT_EQ(set->count(), kOmbrelParamCount);
    const char* keys[] = {"BSGMax", "bSGDO"};
    EXPECT_STREQ(set->keyName(kOmbrelRingRows), keys[0]);
    EXPECT_STREQ(set->keyName(kOmbrelOverflow), keys[1]);
    for (int32_t i = 0; i < kOmbrelParamCount; ++i) {
        const bool user = i == kOmbrelLowBand || i == kOmbrelView || i == kOmbrelRunning;
        EXPECT_EQ(set->isPersisted(i), user ? 1 : 0) << "index " << i;
    }
    // Version + three floats.
    EXPECT_EQ(saveParameterStream(*set, 0).size(), 16u);
}

TEST(OmbrelParameters, spectra_storage_follows_sizes_and_never_exceeds_ring) {
    SetPtr set(createOmbrelParameters());
    int32_t count = 0, size = 0;
    set->arrayInfo(kOmbrelSpectra, &count, &size);
    EXPECT_EQ(count, 40 * 513);
    set->setFloat(kOmbrelRingRows, 10.9f);
    set->arrayInfo(kOmbrelSpectra, &count, &size);
    EXPECT_EQ(count, 10 * 513);
    set->setFloat(kOmbrelRingRows, 1e9f);
    set->setFloat(kOmbrelBins, 70000.0f);
    set->arrayInfo(kOmbrelSpectra, &count, &size);
    EXPECT_EQ(count, 40 * 513);
    EXPECT_EQ(set->getFloat(kOmbrelRingRows), 40.0f);
    set->setFloat(kOmbrelBins, std::nanf(""));
    set->arrayInfo(kOmbrelSpectra, &count, &size);
    EXPECT_EQ(count, 0);
}

TEST(OmbrelParameters, stream_carries_user_settings_to_a_new_instance) {
    auto plugin = openedPlugin();
    SetPtr store(createOmbrelParameters());
    store->setFloat(kOmbrelLowBand, 1.0f);
    store->setFloat(kOmbrelView, 2.0f);
    store->setFloat(kOmbrelRunning, 0.0f);
    store->setMode(kModeChanged);
    plugin->loadSettings(store->iface());
    const auto stream = saveParameterStream(plugin->parameters(), 0);
    auto second = openedPlugin();
    ASSERT_TRUE(loadParameterStream(second->parameters(), stream.data(), stream.size(), nullptr));
    second->parameters().setMode(kModePersisted);
    second->loadSettings(second->parameters().iface());
    const auto* engine = static_cast<OmbrelPlugin&>(*second).engine();
    EXPECT_TRUE(engine->lowBand());
    EXPECT_EQ(engine->view(), 2);
    EXPECT_FALSE(engine->running());
}

// A store whose "SG" block claims more rows than the ring has.
class OversizedStore : public TableParameterSet {
  public:
    OversizedStore() : TableParameterSet(ombrelParameterTable()) {
        resizeArray(kOmbrelSpectra, 100 * kSpectrumBins);
    }
};

TEST(OmbrelExchange, oversized_store_request_stays_within_the_ring) {
    auto plugin = openedPlugin();
    feed(*plugin, 2, 20 * 1024, tone); // 40 spectra: a full ring
    OversizedStore store;
    store.setFloat(kOmbrelRingRows, 1000.0f);
    store.setFloat(kOmbrelSpectraCount, 1000.0f);
    store.setMode(kModeChanged);
    plugin->loadSettings(store.iface());
    EXPECT_EQ(plugin->parameters().getFloat(kOmbrelRingRows), 40.0f);
    store.setMode(kModeAll);
    plugin->saveSettings(store.iface());
    EXPECT_EQ(store.getFloat(kOmbrelSpectraCount), 40.0f);
    EXPECT_EQ(store.getFloat(kOmbrelRingRows), 40.0f);
}

TEST(OmbrelExchange, lost_spectra_raise_flag_and_marker_row_comes_first) {
    auto plugin = openedPlugin(44100, 1);
    SetPtr store(createOmbrelParameters());
    feed(*plugin, 1, 40 * 1024, [](int32_t, int32_t) { return 0.0f; });
    store->setMode(kOmbrelOverflow);
    plugin->saveSettings(store->iface());
    EXPECT_EQ(store->getFloat(kOmbrelOverflow), 1.0f);
    store->setMode(kOmbrelSpectra);
    plugin->saveSettings(store->iface());
    ASSERT_EQ(store->getFloat(kOmbrelSpectraCount), 40.0f);
    std::vector<float> rows(40 * 513);
    store->getArray(kOmbrelSpectra, rows.data(), int32_t(rows.size()));
    EXPECT_EQ(rows[0], 1.0f);
    EXPECT_EQ(rows[512], 1.0f);
    EXPECT_EQ(rows[513], 0.0f);
    store->setMode(kOmbrelOverflow);
    plugin->saveSettings(store->iface());
    EXPECT_EQ(store->getFloat(kOmbrelOverflow), 0.0f);
}

TEST(OmbrelExchange, one_channel_stream_reads_left_view_whatever_was_stored) {
    auto plugin = openedPlugin(44100, 1);
    SetPtr store(createOmbrelParameters());
    store->setFloat(kOmbrelView, 2.0f);
    store->setMode(kModeChanged);
    plugin->loadSettings(store->iface());
    store->setMode(kModeAll);
    plugin->saveSettings(store->iface());
    EXPECT_EQ(store->getFloat(kOmbrelView), 0.0f);
    EXPECT_EQ(store->getFloat(kOmbrelChannels), 1.0f);
}

TEST(OmbrelExchange, halting_freezes_and_low_band_shrinks_ring) {
    auto plugin = openedPlugin();
    SetPtr store(createOmbrelParameters());
    store->setFloat(kOmbrelRunning, 0.0f);
    store->setFloat(kOmbrelLowBand, 1.0f);
    store->setMode(kModeChanged);
    plugin->loadSettings(store->iface());
    feed(*plugin, 2, 30000, tone);
    store->setMode(kModeAll);
    plugin->saveSettings(store->iface());
    EXPECT_EQ(store->getFloat(kOmbrelSpectraCount), 0.0f);
    EXPECT_EQ(store->getFloat(kOmbrelRingRows), 10.0f);
    EXPECT_EQ(store->getFloat(kOmbrelLowBand), 1.0f);
    int32_t count = 0;
    store->arrayInfo(kOmbrelSpectra, &count, nullptr);
    EXPECT_EQ(count, 10 * 513);
}

TEST(OmbrelExchange, ring_capacity_from_a_store_sets_both_rings_until_the_mode_is_set) {
    auto plugin = openedPlugin(48000, 2);
    SetPtr store(createOmbrelParameters());
    store->setFloat(kOmbrelRingRows, 6.0f);
    store->setMode(kOmbrelRingRows);
    plugin->loadSettings(store->iface());
    for (float view : {0.0f, 2.0f}) {
        store->setFloat(kOmbrelView, view);
        store->setMode(kOmbrelView);
        plugin->loadSettings(store->iface());
        feed(*plugin, 2, 4 * 1024, tone); // eight spectra into a ring of six
        store->setMode(kModeAll);
        plugin->saveSettings(store->iface());
        EXPECT_EQ(store->getFloat(kOmbrelRingRows), 6.0f) << "view " << view;
        EXPECT_EQ(store->getFloat(kOmbrelSpectraCount), 2.0f) << "view " << view;
        EXPECT_EQ(store->getFloat(kOmbrelOverflow), 0.0f) << "read after the collection";
    }
    // Setting the mode, even to the mode in force, gives the mode's capacity.
    store->setFloat(kOmbrelLowBand, 0.0f);
    store->setMode(kOmbrelLowBand);
    plugin->loadSettings(store->iface());
    store->setMode(kOmbrelRingRows);
    plugin->saveSettings(store->iface());
    EXPECT_EQ(store->getFloat(kOmbrelRingRows), 40.0f);
}

TEST(OmbrelExchange, mode_and_run_flag_from_a_store_empty_the_input_block_every_time) {
    for (int32_t index : {int32_t(kOmbrelLowBand), int32_t(kOmbrelRunning)}) {
        auto plugin = openedPlugin(44100, 1);
        SetPtr store(createOmbrelParameters());
        feed(*plugin, 1, 1000, tone);
        // The value in force: full band, running.
        store->setFloat(index, index == kOmbrelLowBand ? 0.0f : 1.0f);
        store->setMode(index);
        plugin->loadSettings(store->iface());
        feed(*plugin, 1, 24, tone);
        store->setMode(kOmbrelSpectra);
        plugin->saveSettings(store->iface());
        EXPECT_EQ(store->getFloat(kOmbrelSpectraCount), 0.0f) << "index " << index;
    }
}

// Glue -------------------------------------------------------------------------------------------

TEST(OmbrelGlue, open_close_and_format_changes_on_one_thread_never_race_processing_on_another) {
    PluginPtr plugin(createOmbrelPlugin(nullptr, nullptr, nullptr));
    const int64_t blocks = test::raceOpenCloseAgainstProcessing(
        *plugin, {{44100, 2, 0}, {48000, 1, 0}, {22050, 2, 0}}, 300);
    EXPECT_GT(blocks, 0);
}

TEST(OmbrelGlue, an_allocation_failure_in_open_leaves_it_closed_and_passing_audio_unchanged) {
    PluginPtr plugin(createOmbrelPlugin(nullptr, nullptr, nullptr));
    auto& ombrel = static_cast<OmbrelPlugin&>(*plugin);
    int32_t failedOpens = 0;
    EXPECT_NO_THROW(failedOpens = test::checkOpenUnderEveryAllocationFailure(
                        *plugin, {44100, 2, 0}, [&] { return ombrel.engine() != nullptr; }));
    EXPECT_GT(failedOpens, 0);
    EXPECT_NE(ombrel.engine(), nullptr);
}

} // namespace
} // namespace orq::spectrogram
