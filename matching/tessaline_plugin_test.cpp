#include "matching/tessaline_plugin.h"

#include "matching/test_signals.h"
#include "runtime/plugin_glue_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace orq {
namespace {

using namespace orq::matching;
using namespace orq::tessaline::testing;

struct PluginDeleter {
    void operator()(AudioPlugin* p) const { delete p; }
};
using PluginPtr = std::unique_ptr<AudioPlugin, PluginDeleter>;

PluginPtr makePlugin(HostCallback host = nullptr, void* context = nullptr) {
    return PluginPtr(createTessalinePlugin(createTessalineParameters(), host, context));
}

TessalinePlugin& tess(PluginPtr& p) {
    return *static_cast<TessalinePlugin*>(p.get());
}

int32_t openPlugin(PluginPtr& p, int32_t rate, int32_t channels) {
    OpenFormat f{rate, channels, 0};
    return p->dispatch(kCmdOpen, &f, 0);
}

// A store that carries the given scalar and array values, selected as changed.
struct Store {
    std::unique_ptr<TessalineParameterSet> set = std::make_unique<TessalineParameterSet>();
    // A fresh set has no changed flags: it selects only what is written to it.
    Store() { set->setMode(kModeChanged); }
    Store& value(int32_t index, float v) {
        set->setFloat(index, v);
        return *this;
    }
    Store& array(int32_t index, const std::vector<float>& v) {
        set->setArray(index, v.data(), int32_t(v.size()));
        return *this;
    }
    void loadInto(PluginPtr& p) {
        p->record().loadFromStore(&p->record(), set->iface(), kModeChanged);
    }
};

void runStereo(PluginPtr& p, const Channels& in, Channels* out = nullptr) {
    AudioBuffers buffers(2, 2, 8192, BufferLayout::Shared);
    for (size_t pos = 0; pos < in[0].size(); pos += 4096) {
        const int32_t n = int32_t(std::min<size_t>(4096, in[0].size() - pos));
        buffers.setFrames(n);
        for (int c = 0; c < 2; ++c)
            std::memcpy(buffers.inputs()[c], in[size_t(c)].data() + pos, sizeof(float) * size_t(n));
        EXPECT_EQ(p->process(buffers), n);
        if (out != nullptr) {
            for (int c = 0; c < 2; ++c) {
                (*out)[size_t(c)].insert((*out)[size_t(c)].end(), buffers.outputs()[c],
                                         buffers.outputs()[c] + n);
            }
        }
    }
}

TEST(TessalineParameters, table_has_22_indices_with_the_documented_keys_and_persistence) {
    TessalineParameterSet set;
    ASSERT_EQ(set.count(), 22);
    const char* keys[22] = {"nFFT21",  "BSMax", "Spec",  "BSTrans", "ch",      "sl",
                            "log",     "Dspl",  nullptr, "match",   nullptr,   "SrcTF",
                            "DstTF",   nullptr, "morph", nullptr,   "SlMatch", "SrcLnd",
                            "DestLnd", nullptr, nullptr, "Analyze"};
    const std::set<int32_t> persisted = {5, 6, 7, 9, 11, 12, 14, 16, 17, 18, 21};
    set.setMode(kModePersisted);
    for (int32_t i = 0; i < 22; ++i) {
        if (keys[i] == nullptr) {
            EXPECT_EQ(set.keyName(i), nullptr) << i;
        } else {
            EXPECT_STREQ(set.keyName(i), keys[i]) << i;
        }
        EXPECT_EQ(set.isPersisted(i) != 0, persisted.count(i) == 1) << i;
        EXPECT_EQ(set.isSelected(i), persisted.count(i) == 1) << i;
    }
    EXPECT_EQ(set.value(kParamBinCount), 513.0f);
    EXPECT_EQ(set.value(kParamDisplayCount), 3.0f);
    EXPECT_EQ(set.value(kParamDisplay), 1.0f);
    EXPECT_EQ(set.value(kParamLearnTarget), 1.0f);
    EXPECT_EQ(set.value(kParamMorph), 1.0f);
    EXPECT_EQ(set.value(kParamSampleRate), 44100.0f);
}

TEST(TessalineParameters, descriptions_are_given_only_where_documented) {
    TessalineParameterSet set;
    ParameterInfo info{};
    set.getInfo(kParamSliders, &info);
    EXPECT_EQ(info.kind, kKindArray);
    EXPECT_STREQ(info.unit, "sl");
    set.getInfo(kParamMorph, &info);
    EXPECT_EQ(info.kind, kKindFloat);
    EXPECT_FLOAT_EQ(info.maximum, 2.0f);
    EXPECT_FLOAT_EQ(info.step, 0.01f);
    set.getInfo(kParamThirdOctave, &info);
    EXPECT_EQ(info.kind, kKindScalar);
    EXPECT_FLOAT_EQ(info.maximum, 1.0f);
    set.getInfo(kParamDestSpectrum, &info);
    EXPECT_STREQ(info.unit, "dst");
    set.getInfo(kParamBinCount, &info);
    EXPECT_EQ(info.kind, 0);
    set.getInfo(99, &info);
    EXPECT_EQ(info.kind, 0);
}

TEST(TessalinePlugin, format_check_takes_one_or_two_channels_at_any_rate) {
    PluginPtr p = makePlugin();
    int32_t out = 0, rate = 8000, extra = 7;
    EXPECT_EQ(p->checkFormat(1, &out, &rate, &extra), 0);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(extra, 0);
    EXPECT_EQ(p->checkFormat(3, &out, &rate, &extra), kStatusChannelsRefused);
    rate = 0;
    EXPECT_EQ(p->checkFormat(2, &out, &rate, &extra), kStatusRateRefused);
}

TEST(TessalinePlugin, latency_follows_the_mode_switch) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(p, 44100, 2), 0);
    EXPECT_EQ(p->dispatch(kCmdLatency, nullptr, 0), 896);
    Store().value(kParamThirdOctave, 1.0f).loadInto(p);
    EXPECT_EQ(p->dispatch(kCmdLatency, nullptr, 0), 10819);
    EXPECT_EQ(tess(p).ownSet().value(kParamLearnedBins), 502.0f);
    Store().value(kParamThirdOctave, 0.0f).loadInto(p);
    EXPECT_EQ(p->dispatch(kCmdLatency, nullptr, 0), 896);
    ASSERT_EQ(openPlugin(p, 44100, 1), 0);
    EXPECT_EQ(p->dispatch(kCmdLatency, nullptr, 0), 1664);
}

TEST(TessalinePlugin, host_drives_learning_and_matching_through_parameters) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(p, 44100, 2), 0);
    p->dispatch(kCmdStart, nullptr, 0);
    const Channels loud{whiteNoise(20000, 1, 0.8f), whiteNoise(20000, 2, 0.8f)};
    const Channels quiet{whiteNoise(40000, 3, 0.2f), whiteNoise(40000, 4, 0.2f)};

    Store().value(kParamLearnTarget, 1.0f).value(kParamLearn, 1.0f).loadInto(p);
    runStereo(p, loud);
    // A restart between the passes keeps the two recordings apart.
    p->dispatch(kCmdStop, nullptr, 0);
    p->dispatch(kCmdStart, nullptr, 0);
    Store().value(kParamLearnTarget, 0.0f).loadInto(p);
    runStereo(p, quiet);
    Store().value(kParamLearn, 0.0f).loadInto(p);

    // The host reads the learned sums and frame counts back.
    Store readBack;
    readBack.set->setMode(kModeAll);
    p->record().saveToStore(&p->record(), readBack.set->iface(), kModeAll);
    const int32_t dstFrames = int32_t(readBack.set->value(kParamLearnedFrames));
    Store().value(kParamLearnTarget, 1.0f).loadInto(p);
    p->record().saveToStore(&p->record(), readBack.set->iface(), kModeAll);
    const int32_t srcFrames = int32_t(readBack.set->value(kParamLearnedFrames));
    EXPECT_EQ(srcFrames, 20000 / 768);
    EXPECT_EQ(dstFrames, 40000 / 768);
    std::vector<float> src(kMaxLearnedBins);
    readBack.set->getArray(kParamSourceSpectrum, src.data(), kMaxLearnedBins);
    EXPECT_GT(src[100], 0.0f);

    // Equal frame counts, then match at 100 %: white noise 12 dB quieter is lifted by ~12 dB.
    for (float& v : src)
        v *= float(dstFrames) / float(srcFrames);
    Store()
        .array(kParamSourceSpectrum, src)
        .value(kParamMatch, 1.0f)
        .value(kParamMorph, 1.0f)
        .loadInto(p);
    const double w129 = 0.5 - 0.5 * std::cos(2.0 * M_PI * 129.0 / 257.0);
    const double gainDb = 20 * std::log10(tess(p).engine()->designedTaps()[128] / w129);
    EXPECT_NEAR(gainDb, 12.04, 0.3);
}

TEST(TessalinePlugin, editor_reads_display_spectra_and_the_filter_curve) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(p, 44100, 2), 0);
    runStereo(p, Channels{whiteNoise(768 * 5, 1), whiteNoise(768 * 5, 2)});
    Store editor;
    editor.set->setMode(kModeAll);
    p->record().saveToStore(&p->record(), editor.set->iface(), kModeAll);
    EXPECT_EQ(editor.set->value(kParamNewSpectra), 3.0f); // five frames, three slots
    EXPECT_EQ(editor.set->value(kParamLearnedBins), 513.0f);
    EXPECT_EQ(editor.set->value(kParamSampleRate), 44100.0f);
    std::vector<float> spectra(static_cast<size_t>(kSpectraElements));
    editor.set->getArray(kParamSpectra, spectra.data(), kSpectraElements);
    // Input slot 0 and output slot 0 hold a measured spectrum; slots past BSMax stay empty.
    EXPECT_GT(spectra[100], 0.0f);
    EXPECT_GT(spectra[size_t(kMaxDisplayCount * kMaxLearnedBins + 100)], 0.0f);
    EXPECT_EQ(spectra[size_t(3 * kMaxLearnedBins + 100)], 0.0f);
    // Flat curve: |H|^2 = w129^2 in every bin.
    std::vector<float> curve(kMaxLearnedBins);
    editor.set->getArray(kParamCurve, curve.data(), kMaxLearnedBins);
    const double w129 = 0.5 - 0.5 * std::cos(2.0 * M_PI * 129.0 / 257.0);
    for (size_t k = 0; k < curve.size(); k += 64)
        EXPECT_NEAR(curve[k], w129 * w129, 1e-5) << k;
    // Read once, the count starts again.
    p->record().saveToStore(&p->record(), editor.set->iface(), kModeAll);
    EXPECT_EQ(editor.set->value(kParamNewSpectra), 0.0f);
}

TEST(TessalinePlugin, saved_stream_restores_learned_state_in_a_new_instance) {
    PluginPtr a = makePlugin();
    ASSERT_EQ(openPlugin(a, 44100, 2), 0);
    Store().value(kParamLearn, 1.0f).value(kParamMorph, 1.5f).loadInto(a);
    runStereo(a, Channels{whiteNoise(10000, 5), whiteNoise(10000, 6)});
    Store().value(kParamLearn, 0.0f).loadInto(a);
    a->dispatch(kCmdSaveSettings, a->parameters().iface(), kModePersisted);
    const std::vector<uint8_t> stream = saveParameterStream(a->parameters(), 0);
    EXPECT_EQ(stream.size(), streamSizeMax(a->parameters()));

    PluginPtr b = makePlugin();
    ASSERT_TRUE(loadParameterStream(b->parameters(), stream.data(), stream.size(), nullptr));
    ASSERT_EQ(openPlugin(b, 44100, 2), 0);
    const auto& sa = tess(a).engine()->learner().spectrum(LearnTarget::Source);
    const auto& sb = tess(b).engine()->learner().spectrum(LearnTarget::Source);
    for (size_t k = 0; k < 513; ++k)
        ASSERT_FLOAT_EQ(float(sa[k]), float(sb[k])) << k;
    EXPECT_FLOAT_EQ(tess(b).engine()->morph(), 1.5f);
}

// Index of the deepest match term (source below destination) of an engine's learned spectra.
int32_t deepestDipBin(const MatchEngine& e, int32_t first, int32_t last) {
    const auto& s = e.learner().spectrum(LearnTarget::Source);
    const auto& d = e.learner().spectrum(LearnTarget::Destination);
    int32_t best = first;
    for (int32_t k = first; k <= last; ++k) {
        if (s[size_t(k)] / d[size_t(k)] < s[size_t(best)] / d[size_t(best)]) best = k;
    }
    return best;
}

// A stream saved at 44.1 kHz whose source has a dip at 1.5 kHz, loaded into a filter opened at
// 48 kHz: the learned bins are moved by frequency, so the dip stays at 1.5 kHz (not at the
// 1.63 kHz where the same bin index lies at 48 kHz); the stream keeps what it was given.
TEST(TessalineLearnedRate, spectra_learned_at_one_rate_keep_their_frequencies_at_another) {
    for (bool third : {false, true}) {
        PluginPtr a = makePlugin();
        ASSERT_EQ(openPlugin(a, 44100, 2), 0);
        Store().value(kParamThirdOctave, third ? 1.0f : 0.0f).loadInto(a);
        const MatchEngine& ea = *tess(a).engine();
        const BinLayout la = ea.learner().layout();
        // Bin frequencies of the low (or only) band at 44.1 kHz.
        const double binHz = third ? 44100.0 / (11 * 1024.0) : 44100.0 / 1024.0;
        const double highBinHz = 44100.0 / 512.0;
        std::vector<float> src(513, 0.0f), dst(513, 0.0f);
        for (int32_t i = 0; i < la.total; ++i) {
            const double f = i <= la.lowLastBin
                                 ? i * binHz
                                 : (la.highFirstBin + (i - la.lowLastBin - 1)) * highBinHz;
            dst[size_t(i)] = 100.0f;
            src[size_t(i)] =
                float(100.0 * (1.0 - 0.9 * std::exp(-std::pow((f - 1500.0) / 150.0, 2))));
        }
        Store()
            .array(kParamSourceSpectrum, src)
            .array(kParamDestSpectrum, dst)
            .value(kParamMatch, 1.0f)
            .loadInto(a);
        a->dispatch(kCmdSaveSettings, a->parameters().iface(), kModePersisted);
        EXPECT_EQ(a->parameters().getFloat(kParamAnalyze), 44100.0f);
        EXPECT_EQ(a->parameters().getFloat(kParamSourceLearned), 0.0f) << "given, not learned";
        const std::vector<uint8_t> stream = saveParameterStream(a->parameters(), 0);

        PluginPtr b = makePlugin();
        ASSERT_TRUE(loadParameterStream(b->parameters(), stream.data(), stream.size(), nullptr));
        ASSERT_EQ(openPlugin(b, 48000, 2), 0);
        const MatchEngine& eb = *tess(b).engine();
        ASSERT_EQ(eb.thirdOctave(), third);
        const BinLayout lb = eb.learner().layout();
        const double binHz48 = third ? 48000.0 / (12 * 1024.0) : 48000.0 / 1024.0;
        const double highBinHz48 = 48000.0 / 512.0;
        auto freqOf = [&](int32_t i) {
            return i <= lb.lowLastBin ? i * binHz48
                                      : (lb.highFirstBin + (i - lb.lowLastBin - 1)) * highBinHz48;
        };
        const int32_t dip = deepestDipBin(eb, 0, lb.total - 1);
        EXPECT_NEAR(freqOf(dip), 1500.0, third ? 50.0 : 25.0) << "third octave " << third;
        const auto& s = eb.learner().spectrum(LearnTarget::Source);
        const auto& d = eb.learner().spectrum(LearnTarget::Destination);
        EXPECT_LT(10 * std::log10(s[size_t(dip)] / d[size_t(dip)]), -6.0) << third;
        // The stream saved at 48 kHz still holds the spectra as learned at 44.1 kHz.
        b->dispatch(kCmdSaveSettings, b->parameters().iface(), kModePersisted);
        EXPECT_EQ(b->parameters().getFloat(kParamAnalyze), 44100.0f);
        std::vector<float> kept(513);
        b->parameters().getArray(kParamSourceSpectrum, kept.data(), 513);
        EXPECT_EQ(kept, src);
    }
}

TEST(TessalineLearnedRate,
     learning_sets_the_learned_flags_and_the_rate_and_a_mode_switch_clears_them) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(p, 48000, 2), 0);
    Store().value(kParamLearnTarget, 0.0f).value(kParamLearn, 1.0f).loadInto(p);
    runStereo(p, Channels{whiteNoise(10000, 5), whiteNoise(10000, 6)});
    Store().value(kParamLearn, 0.0f).loadInto(p);
    p->dispatch(kCmdSaveSettings, p->parameters().iface(), kModePersisted);
    EXPECT_EQ(p->parameters().getFloat(kParamDestLearned), 1.0f);
    EXPECT_EQ(p->parameters().getFloat(kParamSourceLearned), 0.0f);
    EXPECT_EQ(p->parameters().getFloat(kParamAnalyze), 48000.0f);
    Store().value(kParamThirdOctave, 1.0f).loadInto(p);
    p->dispatch(kCmdSaveSettings, p->parameters().iface(), kModePersisted);
    EXPECT_EQ(p->parameters().getFloat(kParamDestLearned), 0.0f);
}

TEST(TessalineLearnedRate, a_new_rate_in_index_19_sets_the_engine_up_again_with_its_spectra_moved) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(p, 44100, 2), 0);
    std::vector<float> src(513, 0.0f), dst(513, 100.0f);
    // A dip at bin 35 of the 44.1 kHz layout: about 1507 Hz.
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = i == 35 ? 10.0f : 100.0f;
    Store().array(kParamSourceSpectrum, src).array(kParamDestSpectrum, dst).loadInto(p);
    p->dispatch(kCmdSaveSettings, p->parameters().iface(), kModePersisted);
    ASSERT_EQ(p->parameters().getFloat(kParamAnalyze), 44100.0f);

    Store().value(kParamSampleRate, 48000.0f).loadInto(p);
    const MatchEngine& e = *tess(p).engine();
    EXPECT_EQ(e.sampleRate(), 48000);
    EXPECT_EQ(e.channels(), 2);
    // The dip keeps its frequency: 1507 Hz is bin 32.1 of the 48 kHz layout, not bin 35.
    const std::vector<double>& learned = e.learner().spectrum(LearnTarget::Source);
    const size_t deepest =
        size_t(std::min_element(learned.begin() + 1, learned.begin() + 100) - learned.begin());
    EXPECT_EQ(deepest, 32u) << "the dip sits at " << deepest * 48000.0 / 1024.0 << " Hz";

    // The rate it runs already changes nothing.
    const MatchEngine* before = tess(p).engine();
    Store().value(kParamSampleRate, 48000.0f).loadInto(p);
    EXPECT_EQ(tess(p).engine(), before);
}

TEST(TessalinePlugin, index_13_reads_and_writes_the_frame_count_of_the_current_learn_target) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(p, 44100, 2), 0);
    Store().value(kParamLearnTarget, 0.0f).value(kParamLearnedFrames, 42.0f).loadInto(p);
    const SpectrumLearner& l = tess(p).engine()->learner();
    EXPECT_EQ(l.frames(LearnTarget::Destination), 42);
    EXPECT_EQ(l.frames(LearnTarget::Source), 0);
    Store().value(kParamLearnTarget, 1.0f).loadInto(p);
    Store readBack;
    p->record().saveToStore(&p->record(), readBack.set->iface(), kModeAll);
    EXPECT_EQ(readBack.set->value(kParamLearnedFrames), 0.0f) << "the source's count";
    Store().value(kParamLearnedFrames, 7.0f).loadInto(p);
    EXPECT_EQ(l.frames(LearnTarget::Source), 7);
    EXPECT_EQ(l.frames(LearnTarget::Destination), 42);
}

TEST(TessalinePlugin, bypass_with_delay_turns_the_curve_into_a_pure_delay) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(p, 44100, 2), 0);
    Store().array(kParamSliders, std::vector<float>(30, 9.0f)).loadInto(p);
    float values[2] = {1.0f, 0.0f};
    p->dispatch(kCmdSetHostValues, values, 0);
    const Channels in{whiteNoise(12000, 7), whiteNoise(12000, 8)};
    Channels out(2);
    runStereo(p, in, &out);
    const DelayFit fit = fitDelay(in[1], out[1], 896);
    EXPECT_NEAR(fit.gain, kPureDelayTap, 1e-5);
    EXPECT_EQ(p->dispatch(kCmdLatency, nullptr, 0), 896);
}

TEST(TessalinePlugin, out_of_range_values_are_clamped_not_trusted) {
    PluginPtr p = makePlugin();
    ASSERT_EQ(openPlugin(p, 44100, 2), 0);
    std::vector<float> wild(30, 1e30f);
    wild[3] = NAN;
    std::vector<float> learned(kMaxLearnedBins, -5.0f);
    Store()
        .array(kParamMatchSliders, wild)
        .array(kParamDestSpectrum, learned)
        .value(kParamMorph, INFINITY)
        .value(kParamMatch, 1.0f)
        .value(kParamBinCount, -3.0f)
        .value(kParamLearnedFrames, NAN)
        .loadInto(p);
    for (float t : tess(p).engine()->designedTaps())
        ASSERT_TRUE(std::isfinite(t));
    // Sliders stop at +15 dB.
    const double w129 = 0.5 - 0.5 * std::cos(2.0 * M_PI * 129.0 / 257.0);
    EXPECT_LT(20 * std::log10(std::abs(tess(p).engine()->designedTaps()[128]) / w129), 15.01);
    ASSERT_EQ(openPlugin(p, 44100, 2), 0); // reopen with the bad bin count: default transform
    EXPECT_EQ(p->dispatch(kCmdLatency, nullptr, 0), 896);
    AudioBuffers empty(2, 2, 16, BufferLayout::Shared);
    empty.setFrames(0);
    EXPECT_EQ(p->process(empty), 0);
}

int32_t takeTail(void* context, PluginRecord*, int32_t request, intptr_t, void* b) {
    auto* frames = static_cast<int32_t*>(context);
    if (request == kRequestHostMode) return kHostModeTakesTail;
    if (request == kRequestTake) {
        *frames = static_cast<TailRecord*>(b)->frames;
        return 1;
    }
    return 0;
}

TEST(TessalinePlugin, stop_hands_the_latency_tail_to_a_host_that_takes_it) {
    int32_t tailFrames = 0;
    PluginPtr p = makePlugin(takeTail, &tailFrames);
    ASSERT_EQ(openPlugin(p, 48000, 2), 0);
    Store().value(kParamThirdOctave, 1.0f).loadInto(p);
    p->dispatch(kCmdStart, nullptr, 0);
    p->dispatch(kCmdStop, nullptr, 0);
    EXPECT_EQ(tailFrames, p->dispatch(kCmdLatency, nullptr, 0));
    EXPECT_GT(tailFrames, 896);
}

// Glue -------------------------------------------------------------------------------------------

TEST(TessalineGlue, open_close_and_format_changes_on_one_thread_never_race_processing_on_another) {
    PluginPtr p = makePlugin();
    Store().value(kParamLearn, 1.0f).value(kParamMatch, 1.0f).loadInto(p);
    const int64_t blocks = test::raceOpenCloseAgainstProcessing(
        *p, {{44100, 2, 0}, {48000, 1, 0}, {32000, 2, 0}}, 200);
    EXPECT_GT(blocks, 0);
}

TEST(TessalineGlue, an_allocation_failure_in_open_leaves_it_closed_and_passing_audio_unchanged) {
    PluginPtr p = makePlugin();
    int32_t failedOpens = 0;
    EXPECT_NO_THROW(failedOpens = test::checkOpenUnderEveryAllocationFailure(
                        *p, {44100, 2, 0}, [&] { return tess(p).engine() != nullptr; }));
    EXPECT_GT(failedOpens, 0);
    EXPECT_NE(tess(p).engine(), nullptr); // the last open succeeded
}

} // namespace
} // namespace orq
