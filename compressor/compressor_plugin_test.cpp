#include "compressor/compressor_parameters.h"
#include "compressor/compressor_plugin.h"
#include "compressor/test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

using namespace orq;
using namespace orq::compressor;
using namespace orq::compressor::testing;

// A host that answers request 1 with a chosen mode and keeps what request 4 hands over.
struct TestHost {
    int32_t mode = kHostModeTakesTail;
    int32_t takeAnswer = 1;
    int32_t modeRequests = 0;
    Channels tail;
    int32_t tailFrames = -1;

    static int32_t callback(void* context, PluginRecord*, int32_t request, intptr_t, void* b) {
        auto* host = static_cast<TestHost*>(context);
        if (request == kRequestHostMode) {
            ++host->modeRequests;
            return host->mode;
        }
        if (request == kRequestTake) {
            const auto* record = static_cast<const TailRecord*>(b);
            host->tailFrames = record->frames;
            host->tail.assign(record->channels, {});
            for (int32_t ch = 0; ch < record->channels; ++ch)
                host->tail[ch].assign(record->buffers[ch], record->buffers[ch] + record->frames);
            return host->takeAnswer;
        }
        return 0;
    }
};

struct PluginDeleter {
    void operator()(AudioPlugin* p) const { delete p; }
};
using PluginPtr = std::unique_ptr<AudioPlugin, PluginDeleter>;

PluginPtr makePlugin(TestHost* host, ParameterSet* parameters = nullptr) {
    return PluginPtr(
        createCompressorPlugin(parameters != nullptr ? parameters : createCompressorParameters(),
                               host != nullptr ? &TestHost::callback : nullptr, host));
}

int32_t openPlugin(AudioPlugin& plugin, int32_t rate = 44100, int32_t channels = 2) {
    OpenFormat format{rate, channels, 0};
    return plugin.dispatch(kCmdOpen, &format, 0);
}

// Processes a signal through the plug-in's float block in chunks of at most 8192 frames.
Channels processThrough(AudioPlugin& plugin, const Channels& x) {
    const int32_t channels = static_cast<int32_t>(x.size());
    AudioBuffers buffers(channels, channels, 8192, BufferLayout::Shared);
    Channels y = x;
    const int32_t frames = static_cast<int32_t>(x.front().size());
    for (int32_t start = 0; start < frames; start += 5000) {
        const int32_t n = std::min(5000, frames - start);
        buffers.setFrames(n);
        for (int32_t ch = 0; ch < channels; ++ch)
            std::memcpy(buffers.inputs()[ch], x[ch].data() + start, sizeof(float) * n);
        EXPECT_EQ(plugin.record().process(&plugin.record(), &buffers), n);
        for (int32_t ch = 0; ch < channels; ++ch)
            std::memcpy(y[ch].data() + start, buffers.outputs()[ch], sizeof(float) * n);
    }
    return y;
}

// Every persisted parameter off its default, as an editor might leave them.
void setEditedValues(ParameterSet& set) {
    set.setFloat(kParamBandCount, 4.0f);
    set.setFloat(kParamActiveBand, 2.0f);
    set.setFloat(kParamSolo, 0.0f);
    set.setFloat(kParamOutputDb, 4.5f);
    set.setFloat(kParamSoftClip, 1.0f);
    set.setFloat(kParamCompType, 1.0f);
    const float borders[kBorderEntries] = {25.0f, 180.0f, 1500.0f, 7000.0f, 22050.0f, 22050.0f};
    set.setArray(kParamBorder, borders, kBorderEntries);
    const float gains[kBandGainEntries] = {3.0f, -4.0f, 2.5f, -1.0f, 0.0f, 7.0f};
    set.setArray(kParamBandGain, gains, kBandGainEntries);
    BandShape shapes[kShapeEntries];
    for (int32_t b = 0; b < kShapeEntries; ++b) {
        shapes[b] = defaultBandShape();
        shapes[b].x[1] = 0.1f;
        shapes[b].y[1] = 0.1f;
        shapes[b].x[2] = 1.0f;
        shapes[b].y[2] = 0.2f + 0.1f * float(b);
        shapes[b].count = 3;
    }
    set.setArray(kParamShape, shapes, kShapeEntries);
}

// Persisted values of two sets differ: the first differing index, or -1.
int32_t firstDifferentPersisted(TableParameterSet& a, TableParameterSet& b) {
    for (int32_t i = 0; i < kParamCount; ++i) {
        if (a.keyName(i) == nullptr) continue;
        int32_t count = 0, size = 0;
        if (a.arrayInfo(i, &count, &size) == 0) {
            if (std::memcmp(a.arrayData(i), b.arrayData(i), size_t(count) * size) != 0) return i;
        } else if (a.value(i) != b.value(i)) {
            return i;
        }
    }
    return -1;
}

TEST(CompressorParameters, table_has_thirteen_parameters_with_keys_and_defaults) {
    const ParameterTable& table = compressorParameterTable();
    ASSERT_EQ(table.defs.size(), 13u);
    EXPECT_EQ(table.uniqueId, fourCC("Qmzt"));
    EXPECT_STREQ(table.name, "Orq Compressor");
    const char* keys[13] = {"NrOfBands", nullptr,    nullptr,    "ActBand",  nullptr,
                            "Solo",      "Output",   "SoftClip", "CompType", nullptr,
                            "Border",    "BandGain", "Shape"};
    CompressorParameterSet set;
    for (int32_t i = 0; i < 13; ++i) {
        if (keys[i] == nullptr) {
            EXPECT_EQ(set.keyName(i), nullptr) << i;
        } else {
            EXPECT_STREQ(set.keyName(i), keys[i]);
        }
    }
    EXPECT_EQ(set.value(kParamBandCount), 3.0f);
    EXPECT_EQ(set.value(kParamActiveBand), 1.0f);
    EXPECT_EQ(set.value(kParamBorderMoved), 3.0f);
    int32_t count = 0, size = 0;
    ASSERT_EQ(set.arrayInfo(kParamShape, &count, &size), 0);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(size, 124);
}

TEST(CompressorParameters, default_borders_are_log_spaced_for_44100_hz) {
    CompressorParameterSet set;
    float borders[kBorderEntries];
    set.getArray(kParamBorder, borders, kBorderEntries);
    EXPECT_NEAR(borders[0], 25.0, 1e-4);
    EXPECT_NEAR(borders[1], 239.75, 0.01);
    EXPECT_NEAR(borders[2], 2299.25, 0.01);
    EXPECT_NEAR(borders[3], 22050.0, 0.01);
    BandShape shapes[kShapeEntries];
    set.getArray(kParamShape, shapes, kShapeEntries);
    for (const BandShape& s : shapes) {
        EXPECT_EQ(s.count, 2);
        EXPECT_EQ(s.x[1], 1.0f);
        EXPECT_EQ(s.y[1], 1.0f);
    }
}

TEST(CompressorParameters, parameter_9_reads_zero_and_ignores_writes) {
    CompressorParameterSet set;
    set.setFloat(kParamUnused, 5.0f);
    EXPECT_EQ(set.getFloat(kParamUnused), 0.0f);
    EXPECT_FALSE(set.isChanged(kParamUnused));
    std::unique_ptr<ParameterSet> copy(set.clone());
    copy->setFloat(kParamUnused, 5.0f);
    EXPECT_EQ(copy->getFloat(kParamUnused), 0.0f);
}

TEST(CompressorParameters, fresh_stream_is_736_bytes_without_parameters_1_2_and_4) {
    CompressorParameterSet source;
    EXPECT_EQ(streamSizeMax(source), 736u);
    source.setFloat(kParamOutputDb, -3.5f);
    source.setFloat(kParamGainChangedBand, 4.0f);
    source.setFloat(kParamBorderMoved, 2.0f);
    source.setFloat(kParamBandMeter, 0.7f);
    BandShape shapes[kShapeEntries];
    source.getArray(kParamShape, shapes, kShapeEntries);
    shapes[3].y[1] = 0.25f;
    source.setArray(kParamShape, shapes, kShapeEntries);
    const std::vector<uint8_t> stream = saveParameterStream(source, 0);
    ASSERT_EQ(stream.size(), 736u);
    CompressorParameterSet target;
    uint32_t version = 99;
    ASSERT_TRUE(loadParameterStream(target, stream.data(), stream.size(), &version));
    EXPECT_EQ(version, 0u);
    EXPECT_EQ(target.value(kParamOutputDb), -3.5f);
    EXPECT_EQ(target.value(kParamGainChangedBand), 0.0f);
    EXPECT_EQ(target.value(kParamBorderMoved), 3.0f);
    EXPECT_EQ(target.value(kParamBandMeter), 0.0f);
    BandShape loaded[kShapeEntries];
    target.getArray(kParamShape, loaded, kShapeEntries);
    EXPECT_EQ(std::memcmp(loaded, shapes, sizeof(shapes)), 0);
}

TEST(CompressorPlugin, record_carries_kind_id_and_name) {
    PluginPtr plugin = makePlugin(nullptr);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->record().kind, 1);
    EXPECT_EQ(plugin->record().uniqueId, fourCC("Qmzt"));
    EXPECT_STREQ(plugin->record().name, "Orq Compressor");
    EXPECT_EQ(
        plugin->processReplacing(*std::make_unique<AudioBuffers>(2, 2, 16, BufferLayout::Shared)),
        kStatusNotSupported5);
    EXPECT_EQ(plugin->compatFloatQuery(), -1.0f);
}

TEST(CompressorPlugin, created_without_a_parameter_set_opens_with_defaults) {
    PluginPtr plugin(createCompressorPlugin(nullptr, nullptr, nullptr));
    ASSERT_NE(plugin, nullptr);
    ASSERT_EQ(openPlugin(*plugin), 0);
    EXPECT_EQ(plugin->dispatch(kCmdLatency, nullptr, 0), 3254);
}

TEST(CompressorPlugin, check_format_mirrors_channels_and_refuses_unusable_formats) {
    PluginPtr plugin = makePlugin(nullptr);
    CheckFormatArgs args{2, 0, 44100, 7};
    EXPECT_EQ(plugin->dispatch(kCmdCheckFormat, &args, 0), 0);
    EXPECT_EQ(args.outputChannels, 2);
    EXPECT_EQ(args.extra, 0);
    CheckFormatArgs none{0, 0, 44100, 0};
    EXPECT_EQ(plugin->dispatch(kCmdCheckFormat, &none, 0), kStatusChannelsRefused);
    CheckFormatArgs slow{1, 0, 100, 0};
    EXPECT_EQ(plugin->dispatch(kCmdCheckFormat, &slow, 0), kStatusRateRefused);
    EXPECT_EQ(openPlugin(*plugin, 44100, -3), kStatusChannelsRefused);
    EXPECT_EQ(openPlugin(*plugin, 0, 2), kStatusRateRefused);
}

TEST(CompressorPlugin, open_applies_parameters_and_reports_engine_latency) {
    ParameterSet* parameters = createCompressorParameters();
    parameters->setFloat(kParamCompType, 1.0f);
    PluginPtr plugin = makePlugin(nullptr, parameters);
    EXPECT_EQ(plugin->dispatch(kCmdLatency, nullptr, 0), 0);
    ASSERT_EQ(openPlugin(*plugin), 0);
    EXPECT_EQ(plugin->dispatch(kCmdLatency, nullptr, 0), 3163);
    parameters->setFloat(kParamCompType, 0.0f);
    plugin->dispatch(kCmdLoadSettings, parameters->iface(), kParamCompType);
    EXPECT_EQ(plugin->dispatch(kCmdLatency, nullptr, 0), 3254);
}

TEST(CompressorPlugin, vertical_curve_at_input_zero_keeps_full_scale_input_below_full_scale) {
    ParameterSet* parameters = createCompressorParameters();
    BandShape shapes[kShapeEntries];
    for (BandShape& shape : shapes) {
        shape = defaultBandShape();
        shape.x[1] = 0.0f; // (0, 0), (0, 1): output 1 at the floor level 1e-6
    }
    parameters->setArray(kParamShape, shapes, kShapeEntries);
    PluginPtr plugin = makePlugin(nullptr, parameters);
    ASSERT_EQ(openPlugin(*plugin), 0);
    plugin->dispatch(kCmdStart, nullptr, 0);
    const Channels y = processThrough(*plugin, sine(2, 44100, 1000.0, 44100.0, 1.0f));
    for (const std::vector<float>& channel : y) {
        for (float v : channel)
            ASSERT_TRUE(std::isfinite(v));
        const double highest = peak(channel, 0, channel.size());
        EXPECT_LE(highest, 1.0) << "peak " << highest;
    }
}

TEST(CompressorPlugin, processing_through_the_record_lines_up_with_latency) {
    TestHost host;
    PluginPtr plugin = makePlugin(&host);
    ASSERT_EQ(openPlugin(*plugin), 0);
    plugin->dispatch(kCmdStart, nullptr, 0);
    const Channels x = noise(2, 30000, 0.5f, 77);
    EXPECT_LT(delayedError(x, processThrough(*plugin, x), 3254), 2e-6);
}

TEST(CompressorPlugin, stop_hands_the_processed_tail_to_a_host_that_takes_it) {
    TestHost host;
    PluginPtr plugin = makePlugin(&host);
    ASSERT_EQ(openPlugin(*plugin), 0);
    plugin->dispatch(kCmdStart, nullptr, 0);
    const Channels x = noise(2, 12000, 0.5f, 79);
    processThrough(*plugin, x);
    EXPECT_EQ(plugin->dispatch(kCmdStop, nullptr, 0), 0);
    ASSERT_EQ(host.tailFrames, 3254);
    ASSERT_EQ(host.tail.size(), 2u);
    // The tail is the last latency frames of the input, now delivered.
    for (int32_t ch = 0; ch < 2; ++ch) {
        double worst = 0.0;
        for (int32_t i = 0; i < 3254; ++i)
            worst = std::max(worst, std::fabs(double(host.tail[ch][i]) - x[ch][12000 - 3254 + i]));
        EXPECT_LT(worst, 2e-6);
    }
}

TEST(CompressorPlugin, stop_reports_a_tail_the_host_did_not_take) {
    TestHost host;
    host.takeAnswer = 0;
    PluginPtr plugin = makePlugin(&host);
    ASSERT_EQ(openPlugin(*plugin), 0);
    plugin->dispatch(kCmdStart, nullptr, 0);
    EXPECT_EQ(plugin->dispatch(kCmdStop, nullptr, 0), kStatusTailNotTaken);
}

TEST(CompressorPlugin, stop_flushes_nothing_unless_the_host_answers_2) {
    TestHost host;
    host.mode = 1;
    PluginPtr plugin = makePlugin(&host);
    ASSERT_EQ(openPlugin(*plugin), 0);
    plugin->dispatch(kCmdStart, nullptr, 0);
    EXPECT_EQ(plugin->dispatch(kCmdStop, nullptr, 0), 0);
    EXPECT_EQ(host.tailFrames, -1);
    EXPECT_GE(host.modeRequests, 1);
}

TEST(CompressorPlugin, load_settings_reaches_engine_and_own_set) {
    PluginPtr plugin = makePlugin(nullptr);
    ASSERT_EQ(openPlugin(*plugin), 0);
    CompressorParameterSet store;
    store.setFloat(kParamOutputDb, 6.0f);
    store.setFloat(kParamBandCount, 2.0f);
    plugin->dispatch(kCmdLoadSettings, store.iface(), kModeAll);
    auto* compressor = static_cast<CompressorPlugin*>(plugin.get());
    EXPECT_NEAR(compressor->engine()->outputGain(), 1.99526, 1e-5);
    EXPECT_EQ(compressor->engine()->bandCount(), 2);
    EXPECT_EQ(plugin->parameters().getFloat(kParamOutputDb), 6.0f);
    EXPECT_EQ(plugin->parameters().getFloat(kParamBandCount), 2.0f);
}

TEST(CompressorPlugin, save_settings_publishes_the_band_meter_and_keyed_values) {
    PluginPtr plugin = makePlugin(nullptr);
    ASSERT_EQ(openPlugin(*plugin), 0);
    CompressorParameterSet store;
    store.setFloat(kParamBandMeter, 0.5f);
    plugin->dispatch(kCmdSaveSettings, store.iface(), kParamBandMeter);
    EXPECT_EQ(store.getFloat(kParamBandMeter), -1.0f); // not running yet
    plugin->dispatch(kCmdStart, nullptr, 0);
    processThrough(*plugin, sine(2, 20000, 1000.0, 44100.0, 0.5f));
    plugin->dispatch(kCmdSaveSettings, store.iface(), kParamBandMeter);
    plugin->dispatch(kCmdSaveSettings, store.iface(), kParamBandMeter);
    EXPECT_GT(store.getFloat(kParamBandMeter), 0.0f);

    // Mode -2 writes only the nine keyed parameters.
    CompressorParameterSet keyed;
    ASSERT_EQ(keyed.changedCount(), 0);
    plugin->dispatch(kCmdSaveSettings, keyed.iface(), kModePersisted);
    int32_t written = 0;
    for (int32_t i = 0; i < kParamCount; ++i)
        written += keyed.isChanged(i) ? 1 : 0;
    EXPECT_EQ(written, 9);
    EXPECT_FALSE(keyed.isChanged(kParamGainChangedBand));
    EXPECT_FALSE(keyed.isChanged(kParamBorderMoved));
    EXPECT_FALSE(keyed.isChanged(kParamBandMeter));
}

TEST(CompressorPlugin,
     loaded_values_reach_the_own_set_in_every_mode_and_survive_reopen_and_stream) {
    // A plug-in created with the edited values is the reference for the audio.
    ParameterSet* referenceSet = createCompressorParameters();
    setEditedValues(*referenceSet);
    PluginPtr reference = makePlugin(nullptr, referenceSet);
    ASSERT_EQ(openPlugin(*reference), 0);
    reference->dispatch(kCmdStart, nullptr, 0);
    const Channels x = noise(2, 24000, 0.7f, 91);
    const Channels expected = processThrough(*reference, x);

    const int32_t kSingleIndexMode = 0; // one call per persisted index, as the editor sends them
    for (int32_t mode : {kModeChanged, kModeAll, kSingleIndexMode}) {
        PluginPtr plugin = makePlugin(nullptr);
        ASSERT_EQ(openPlugin(*plugin), 0);
        CompressorParameterSet store;
        setEditedValues(store);
        if (mode == kSingleIndexMode) {
            for (int32_t index :
                 {kParamBorder, kParamShape, kParamBandGain, kParamBandCount, kParamActiveBand,
                  kParamSolo, kParamOutputDb, kParamSoftClip, kParamCompType}) {
                plugin->dispatch(kCmdLoadSettings, store.iface(), index);
            }
        } else {
            plugin->dispatch(kCmdLoadSettings, store.iface(), mode);
        }
        auto& own = static_cast<TableParameterSet&>(plugin->parameters());
        EXPECT_EQ(firstDifferentPersisted(own, store), -1) << "mode " << mode;
        plugin->dispatch(kCmdStart, nullptr, 0);
        EXPECT_EQ(processThrough(*plugin, x), expected) << "loaded, mode " << mode;
        plugin->dispatch(kCmdStop, nullptr, 0);

        // Close and re-open: the new engine is built from the own set.
        plugin->dispatch(kCmdClose, nullptr, 0);
        ASSERT_EQ(openPlugin(*plugin), 0);
        plugin->dispatch(kCmdStart, nullptr, 0);
        EXPECT_EQ(processThrough(*plugin, x), expected) << "re-opened, mode " << mode;

        // A saved stream restores them into another instance.
        const std::vector<uint8_t> stream = saveParameterStream(plugin->parameters(), 0);
        auto* restoredSet = static_cast<CompressorParameterSet*>(createCompressorParameters());
        uint32_t version = 0;
        ASSERT_TRUE(loadParameterStream(*restoredSet, stream.data(), stream.size(), &version));
        EXPECT_EQ(firstDifferentPersisted(*restoredSet, store), -1) << "stream, mode " << mode;
        PluginPtr restored = makePlugin(nullptr, restoredSet);
        ASSERT_EQ(openPlugin(*restored), 0);
        restored->dispatch(kCmdStart, nullptr, 0);
        EXPECT_EQ(processThrough(*restored, x), expected) << "restored, mode " << mode;
    }
}

TEST(CompressorPlugin, bypass_with_delay_passes_the_audio_unchanged_whatever_output_and_clipper) {
    for (float outputDb : {7.5f, -9.0f}) {
        ParameterSet* parameters = createCompressorParameters();
        setEditedValues(*parameters);
        parameters->setFloat(kParamOutputDb, outputDb);
        PluginPtr plugin = makePlugin(nullptr, parameters);
        ASSERT_EQ(openPlugin(*plugin), 0);
        float values[2] = {1.0f, 0.0f};
        plugin->dispatch(kCmdSetHostValues, values, 0);
        plugin->dispatch(kCmdStart, nullptr, 0);
        const int32_t latency = plugin->dispatch(kCmdLatency, nullptr, 0);
        const Channels x = noise(2, 20000, 0.9f, 92);
        EXPECT_EQ(latency, 1024 + 1024 + 3 * 512 + 91); // four bands, one stage
        // Bit for bit: no band split residue, gain, stage, output gain or clipper.
        EXPECT_EQ(delayedError(x, processThrough(*plugin, x), latency), 0.0)
            << "Output " << outputDb << " dB";
    }
}

TEST(CompressorPlugin, arrays_read_with_a_band_count_change_reach_the_own_set) {
    PluginPtr plugin = makePlugin(nullptr);
    ASSERT_EQ(openPlugin(*plugin), 0);
    CompressorParameterSet store;
    setEditedValues(store);
    // Only NrOfBands is sent; the engine reads the band setup with it.
    plugin->dispatch(kCmdLoadSettings, store.iface(), kParamBandCount);
    auto& own = static_cast<TableParameterSet&>(plugin->parameters());
    for (int32_t index : {kParamBorder, kParamBandGain, kParamShape}) {
        int32_t count = 0, size = 0;
        ASSERT_EQ(own.arrayInfo(index, &count, &size), 0);
        EXPECT_EQ(std::memcmp(own.arrayData(index), store.arrayData(index), size_t(count) * size),
                  0)
            << "array " << index;
    }
    // A moved border's index brings the borders, a changed gain's index the gains.
    float borders[kBorderEntries] = {25.0f, 300.0f, 2000.0f, 9000.0f, 22050.0f, 22050.0f};
    store.setArray(kParamBorder, borders, kBorderEntries);
    store.setFloat(kParamBorderMoved, 2.0f);
    plugin->dispatch(kCmdLoadSettings, store.iface(), kParamBorderMoved);
    EXPECT_EQ(std::memcmp(own.arrayData(kParamBorder), borders, sizeof(borders)), 0);
    float gains[kBandGainEntries] = {-5.0f, 5.0f};
    store.setArray(kParamBandGain, gains, kBandGainEntries);
    store.setFloat(kParamGainChangedBand, 1.0f);
    plugin->dispatch(kCmdLoadSettings, store.iface(), kParamGainChangedBand);
    EXPECT_EQ(std::memcmp(own.arrayData(kParamBandGain), gains, sizeof(gains)), 0);
}

} // namespace
