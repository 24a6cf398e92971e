#include "scope/lunavis_plugin.h"
#include "runtime/plugin_glue_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

namespace orq::scope {
namespace {

struct PluginDeleter {
    void operator()(AudioPlugin* p) const { delete p; }
};
using PluginPtr = std::unique_ptr<AudioPlugin, PluginDeleter>;

struct SetReleaser {
    void operator()(ParameterSet* p) const { p->release(); }
};
using SetPtr = std::unique_ptr<ParameterSet, SetReleaser>;

PluginPtr openedPlugin(int32_t rateHz = 44100) {
    PluginPtr plugin(createLunavisPlugin(nullptr, nullptr, nullptr));
    OpenFormat format{rateHz, 2, 0};
    EXPECT_EQ(plugin->open(format), 0);
    return plugin;
}

float sine(int64_t i, float amplitude = 0.5f) {
    return amplitude * std::sin(2.0f * std::numbers::pi_v<float> * 440.0f * i / 44100.0f);
}

// Feeds frames of (left, right) through the plug-in's process in chunks of chunkFrames;
// returns the outputs.
template <typename Fn>
std::pair<std::vector<float>, std::vector<float>> feed(AudioPlugin& plugin, int32_t frames, Fn fn,
                                                       int32_t chunkFrames = 1000) {
    AudioBuffers buffers(2, 2, 8192, BufferLayout::Shared, 44100);
    std::vector<float> left, right;
    for (int32_t done = 0; done < frames;) {
        const int32_t n = std::min(chunkFrames, frames - done);
        buffers.setFrames(n);
        for (int32_t i = 0; i < n; ++i) {
            auto [l, r] = fn(done + i);
            buffers.inputs()[0][i] = l;
            buffers.inputs()[1][i] = r;
        }
        EXPECT_EQ(plugin.process(buffers), n);
        left.insert(left.end(), buffers.outputs()[0], buffers.outputs()[0] + n);
        right.insert(right.end(), buffers.outputs()[1], buffers.outputs()[1] + n);
        done += n;
    }
    return {left, right};
}

TEST(LunavisFormat, refuses_other_than_two_channels_before_checking_rate) {
    auto plugin = PluginPtr(createLunavisPlugin(nullptr, nullptr, nullptr));
    int32_t outputs = 0, rate = 96000, extra = 5;
    EXPECT_EQ(plugin->checkFormat(1, &outputs, &rate, &extra), kStatusChannelsRefused);
    EXPECT_EQ(plugin->checkFormat(3, &outputs, &rate, &extra), kStatusChannelsRefused);
    EXPECT_EQ(plugin->checkFormat(2, &outputs, &rate, &extra), kStatusRateRefused);
    rate = 48000;
    EXPECT_EQ(plugin->checkFormat(2, &outputs, &rate, &extra), 0);
    EXPECT_EQ(outputs, 2);
    EXPECT_EQ(extra, 0);
    OpenFormat mono{44100, 1, 0};
    EXPECT_EQ(plugin->open(mono), kStatusChannelsRefused);
    OpenFormat fast{88200, 2, 0};
    EXPECT_EQ(plugin->open(fast), kStatusRateRefused);
}

TEST(LunavisFormat, reports_one_block_of_latency) {
    auto plugin = openedPlugin();
    EXPECT_EQ(plugin->latency(), kScopeBlockFrames);
}

TEST(LunavisPassThrough, audio_leaves_unchanged_after_the_latency) {
    auto plugin = openedPlugin();
    const int32_t frames = 5000;
    auto [left, right] = feed(
        *plugin, frames,
        [](int32_t i) {
            return std::pair{sine(i), sine(i + 37, 0.9f)};
        },
        333);
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t source = i - kScopeBlockFrames;
        ASSERT_EQ(left[i], source < 0 ? 0.0f : sine(source)) << "frame " << i;
        ASSERT_EQ(right[i], source < 0 ? 0.0f : sine(source + 37, 0.9f)) << "frame " << i;
    }
}

TEST(LunavisParameters, keys_and_persistence_follow_the_table) {
    SetPtr set(createLunavisParameters());
    EXPECT_EQ(set->count(), kLunavisParamCount);
    EXPECT_STREQ(set->keyName(kLunavisData), "Data");
    EXPECT_STREQ(set->keyName(kLunavisPeakData), "PeakData");
    EXPECT_STREQ(set->keyName(kLunavisMono), "mono");
    EXPECT_EQ(set->keyName(kLunavisContinuousRing), nullptr);
    EXPECT_STREQ(set->keyName(kLunavisScale), "scale");
    EXPECT_EQ(set->isPersisted(0), 1);
    EXPECT_EQ(set->isPersisted(1), 1);
    EXPECT_EQ(set->isPersisted(2), 1);
    EXPECT_EQ(set->isPersisted(3), 0);
    EXPECT_EQ(set->isPersisted(4), 1);
    EXPECT_EQ(set->isPersisted(5), 0);
}

TEST(LunavisParameters, malformed_block_count_never_copies_past_the_ring) {
    SetPtr set(createLunavisParameters());
    auto block = std::make_unique<ScopeBlock>();
    std::memset(block.get(), 0, sizeof(ScopeBlock));
    block->count = 1e7f;
    set->setArray(kLunavisData, block.get(), 1);
    auto back = std::make_unique<ScopeBlock>();
    set->getArray(kLunavisData, back.get(), 1);
    EXPECT_EQ(back->count, static_cast<float>(kScopeRows));
    // The reserved block has no get or set.
    set->setArray(kLunavisPeakData, block.get(), 1);
    set->getArray(kLunavisPeakData, back.get(), 1);
}

TEST(LunavisParameters, stream_with_malformed_row_count_loads_within_the_ring) {
    SetPtr set(createLunavisParameters());
    set->setFloat(kLunavisMono, 1.0f);
    std::vector<uint8_t> stream = saveParameterStream(*set, 3);
    // version, then "Data": count 1, size, the block (its count last), "PeakData", 2 floats.
    ASSERT_EQ(stream.size(), 4u + 8u + sizeof(ScopeBlock) + 8u + 4u + 4u);
    const float hugeCount = 1e30f;
    std::memcpy(stream.data() + 12 + sizeof(ScopeBlock) - sizeof(float), &hugeCount, 4);
    SetPtr other(createLunavisParameters());
    uint32_t version = 0;
    ASSERT_TRUE(loadParameterStream(*other, stream.data(), stream.size(), &version));
    EXPECT_EQ(version, 3u);
    EXPECT_EQ(other->getFloat(kLunavisMono), 1.0f);
    auto block = std::make_unique<ScopeBlock>();
    other->getArray(kLunavisData, block.get(), 1);
    EXPECT_EQ(block->count, static_cast<float>(kScopeRows));
    // A short stream is refused.
    EXPECT_FALSE(loadParameterStream(*other, stream.data(), stream.size() - 1, &version));
}

TEST(LunavisExchange, store_receives_measured_rows_and_ring_restarts) {
    auto plugin = openedPlugin();
    SetPtr store(createLunavisParameters());
    // Five full blocks through the plug-in.
    feed(*plugin, 5 * kScopeBlockFrames, [](int32_t i) { return std::pair{sine(i), sine(i)}; });
    store->setMode(kLunavisData);
    plugin->saveSettings(store->iface());
    auto block = std::make_unique<ScopeBlock>();
    store->getArray(kLunavisData, block.get(), 1);
    ASSERT_EQ(block->count, 5.0f);
    EXPECT_NEAR(block->correlation[4], 1.0f, 1.0f / kScopeBlockFrames);
    auto* lunavis = static_cast<LunavisPlugin*>(plugin.get());
    EXPECT_EQ(lunavis->engine()->writeIndex(), 0);
}

TEST(LunavisExchange, saving_into_its_own_set_keeps_the_rows) {
    auto plugin = openedPlugin();
    feed(*plugin, 3 * kScopeBlockFrames, [](int32_t i) { return std::pair{sine(i), -sine(i)}; });
    ParameterSet& own = plugin->parameters();
    own.setMode(kModePersisted);
    plugin->saveSettings(own.iface());
    auto block = std::make_unique<ScopeBlock>();
    own.getArray(kLunavisData, block.get(), 1);
    ASSERT_EQ(block->count, 3.0f);
    EXPECT_NEAR(block->correlation[2], 0.0f, 1.0f / kScopeBlockFrames);
}

TEST(LunavisExchange, mono_setting_reaches_engine_and_folds_output) {
    auto plugin = openedPlugin();
    SetPtr store(createLunavisParameters());
    store->setFloat(kLunavisMono, 1.0f);
    store->setMode(kModeChanged);
    plugin->loadSettings(store->iface());
    auto [left, right] = feed(*plugin, 2 * kScopeBlockFrames, [](int32_t i) {
        return std::pair{sine(i), sine(i + 11, 0.2f)};
    });
    const int32_t i = kScopeBlockFrames + 100;
    const float mean = (sine(100) + sine(111, 0.2f)) * 0.5f;
    EXPECT_EQ(left[i], mean);
    EXPECT_EQ(right[i], mean);
    EXPECT_EQ(plugin->parameters().getFloat(kLunavisMono), 1.0f);
    store->setMode(kModeAll);
    plugin->saveSettings(store->iface());
    EXPECT_EQ(store->getFloat(kLunavisMono), 1.0f);
}

// Glue -------------------------------------------------------------------------------------------

TEST(LunavisGlue, open_close_and_format_changes_on_one_thread_never_race_processing_on_another) {
    PluginPtr plugin(createLunavisPlugin(nullptr, nullptr, nullptr));
    const int64_t blocks =
        test::raceOpenCloseAgainstProcessing(*plugin, {{44100, 2, 0}, {48000, 2, 0}}, 300);
    EXPECT_GT(blocks, 0);
}

TEST(LunavisGlue, an_allocation_failure_in_open_leaves_it_closed_and_passing_audio_unchanged) {
    PluginPtr plugin(createLunavisPlugin(nullptr, nullptr, nullptr));
    auto& lunavis = static_cast<LunavisPlugin&>(*plugin);
    int32_t failedOpens = 0;
    EXPECT_NO_THROW(failedOpens = test::checkOpenUnderEveryAllocationFailure(
                        *plugin, {44100, 2, 0}, [&] { return lunavis.engine() != nullptr; }));
    EXPECT_GT(failedOpens, 0);
    EXPECT_NE(lunavis.engine(), nullptr);
}

} // namespace
} // namespace orq::scope
