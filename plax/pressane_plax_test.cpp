#include "plax/pressane_plax.h"
#include "plax/plax_test_support.h"
#include "plax/pressane_plax_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace orq::plax {
namespace {

using testing::call;
using testing::chunk;
using testing::EffectCloser;
using testing::testHost;
using testing::text;

PressanePlax& effectOf(PlaxEffect* record) {
    return *static_cast<PressanePlax*>(PlaxEffectBase::fromRecord(record));
}

struct Stereo {
    explicit Stereo(int32_t frames, float value = 0.0f)
        : left(size_t(frames), value), right(size_t(frames), value) {}
    std::vector<float> left, right;
    float* channels[2] = {nullptr, nullptr};
    float** pointers() {
        channels[0] = left.data();
        channels[1] = right.data();
        return channels;
    }
};

TEST(PressanePlax, main_answers_null_to_a_host_without_version_and_fills_the_record_otherwise) {
    testing::hostVersionAnswer() = 0;
    EXPECT_EQ(createPressanePlax(testHost, nullptr), nullptr);
    testing::hostVersionAnswer() = kPlaxStandardVersion;
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    ASSERT_NE(e, nullptr);
    EffectCloser closer{e};
    EXPECT_EQ(e->magic, kPlaxMagic);
    EXPECT_EQ(e->uniqueId, 0x56303039);
    EXPECT_EQ(e->numPrograms, 10);
    EXPECT_EQ(e->numParams, 4);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, kPlaxFlagCanMono | kPlaxFlagCanReplacing | kPlaxFlagProgramChunks);
    EXPECT_EQ(e->initialDelay, effectOf(e).pressaneAdapter()->latency());
    EXPECT_EQ(e->initialDelay, 176) << "2L at 44100 Hz";
    EXPECT_EQ(text(e, kPlaxGetProgramName), "Init 1");
    EXPECT_EQ(text(e, kPlaxGetParameterName, 2), "Headroom");
    EXPECT_EQ(text(e, kPlaxGetParameterLabel, 1), "dB");
    EXPECT_EQ(call(e, kPlaxGetPlaxVersion), 2200);
    EXPECT_EQ(call(e, kPlaxGetPlugCategory), 4);
    EXPECT_EQ(call(e, kPlaxGetCurrentMidiProgram), -1);
    EXPECT_EQ(call(e, kPlaxGetNumProgramCategories), 1);
    EXPECT_EQ(call(e, kPlaxCanBeAutomated, 0), 1);
    EXPECT_EQ(call(e, kPlaxCanDo, 0, 0, const_cast<char*>("receiveEvents")), 0);
    EXPECT_EQ(call(e, kPlaxGetTailSize), 0);
    EXPECT_EQ(call(e, kPlaxSetBypass, 0, 1), 0);
}

TEST(PressanePlax, normalised_settings_land_on_the_steps) {
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    EffectCloser closer{e};
    e->setParameter(e, kPressaneHeadroom, 0.5f);
    EXPECT_FLOAT_EQ(effectOf(e).table().readValue(kPressaneHeadroom), 0.0f);
    e->setParameter(e, kPressaneDesGain, 0.37f);
    EXPECT_FLOAT_EQ(effectOf(e).table().readValue(kPressaneDesGain), 4.5f);
    EXPECT_NEAR(e->getParameter(e, kPressaneDesGain), 4.5f / 12.0f, 1e-6f);
    EXPECT_EQ(text(e, kPlaxGetParameterDisplay, kPressaneDesGain), "4.50");
}

TEST(PressanePlax, chunks_are_48_bytes_a_preset_and_480_a_bank) {
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    EffectCloser closer{e};
    EXPECT_EQ(chunk(e, true).size(), 48u);
    EXPECT_EQ(chunk(e, false).size(), 480u);
}

TEST(PressanePlax, a_preset_chunk_changes_only_the_current_program) {
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    EffectCloser closer{e};
    call(e, kPlaxSetProgram, 0, 3);
    const std::vector<uint8_t> before = chunk(e, false);
    std::vector<uint8_t> preset(48, 0);
    const float values[4] = {0.5f, 0.25f, 1.0f, 1.0f};
    std::memcpy(preset.data(), values, sizeof values);
    std::memcpy(preset.data() + 16, "Loud", 5);
    ASSERT_EQ(call(e, kPlaxSetChunk, 1, 48, preset.data()), 0);
    EXPECT_FLOAT_EQ(effectOf(e).table().readValue(kPressaneDesGain), 6.0f);
    EXPECT_EQ(text(e, kPlaxGetProgramName), "Loud");
    const std::vector<uint8_t> after = chunk(e, false);
    for (int32_t p = 0; p < 10; ++p) {
        const bool same = std::equal(before.begin() + p * 48, before.begin() + p * 48 + 48,
                                     after.begin() + p * 48);
        EXPECT_EQ(same, p != 3) << "program " << p;
    }
}

TEST(PressanePlax, set_chunk_takes_at_most_what_it_replaces_and_refuses_more_whole) {
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    EffectCloser closer{e};
    std::vector<uint8_t> big(481, 0x3f);
    const std::vector<uint8_t> bank = chunk(e, false);
    EXPECT_EQ(call(e, kPlaxSetChunk, 0, 481, big.data()), 1) << "one byte over the bank";
    EXPECT_EQ(call(e, kPlaxSetChunk, 1, 49, big.data()), 1) << "one byte over a preset";
    EXPECT_EQ(chunk(e, false), bank) << "a refused chunk changes nothing";
    EXPECT_EQ(call(e, kPlaxSetChunk, 1, 0, big.data()), 0);
    EXPECT_EQ(chunk(e, false), bank) << "an empty chunk copies nothing";
    std::vector<uint8_t> preset(48, 0);
    const float half = 0.5f;
    std::memcpy(preset.data(), &half, 4);
    EXPECT_EQ(call(e, kPlaxSetChunk, 1, 47, preset.data()), 0) << "one byte short";
    EXPECT_FLOAT_EQ(effectOf(e).table().readValue(kPressaneDesGain), 6.0f);
    EXPECT_EQ(call(e, kPlaxSetChunk, 1, 48, preset.data()), 0) << "exact";
    EXPECT_EQ(call(e, kPlaxSetChunk, 0, 480, const_cast<uint8_t*>(bank.data())), 0);
    EXPECT_EQ(chunk(e, false), bank);
}

TEST(PressanePlax, bad_program_numbers_indices_and_long_names_change_nothing_outside_the_bank) {
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    EffectCloser closer{e};
    e->setParameter(e, kPressaneDesGain, 0.5f);
    call(e, kPlaxSetProgram, 0, 10);
    call(e, kPlaxSetProgram, 0, -1);
    EXPECT_EQ(call(e, kPlaxGetProgram), 0);
    const std::vector<uint8_t> bank = chunk(e, false);
    const float meter = effectOf(e).table().readValue(kPressaneGainReached);
    e->setParameter(e, 4, 0.5f);
    e->setParameter(e, -1, 0.5f);
    EXPECT_EQ(effectOf(e).table().readValue(kPressaneGainReached), meter)
        << "a meter is no host parameter";
    EXPECT_EQ(e->getParameter(e, 9), 0.0f);
    EXPECT_EQ(chunk(e, false), bank);
    const std::string longName(40, 'x');
    call(e, kPlaxSetProgramName, 0, 0, const_cast<char*>(longName.c_str()));
    EXPECT_EQ(text(e, kPlaxGetProgramName), std::string(32, 'x'));
    const std::vector<uint8_t> named = chunk(e, false);
    EXPECT_TRUE(std::equal(bank.begin() + 48, bank.end(), named.begin() + 48))
        << "the cut name stays inside program 0";
}

TEST(PressanePlax, set_block_size_and_rate_keeps_the_engine_until_set_sample_rate) {
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    EffectCloser closer{e};
    call(e, kPlaxSetBlockSizeAndSampleRate, 0, 512, nullptr, 96000.0f);
    EXPECT_EQ(effectOf(e).pressaneAdapter()->engine().sampleRate(), 44100);
    EXPECT_EQ(effectOf(e).blockSize(), 512);
    call(e, kPlaxSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(effectOf(e).pressaneAdapter()->engine().sampleRate(), 96000);
    EXPECT_EQ(e->initialDelay, 2 * 2 * 96);
    call(e, kPlaxSetSampleRate, 0, 0, nullptr, 10.0f);
    EXPECT_EQ(effectOf(e).pressaneAdapter()->engine().sampleRate(), 96000)
        << "a rate the engine cannot run changes nothing";
}

TEST(PressanePlax, long_digital_silence_stops_the_engine_and_sound_restarts_it_with_its_state) {
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    EffectCloser closer{e};
    e->setParameter(e, kPressaneDesGain, 1.0f);
    PressaneAdapter& adapter = *effectOf(e).pressaneAdapter();
    const int32_t latency = adapter.latency();
    Stereo loud(1024);
    for (int32_t t = 0; t < 1024; ++t) loud.left[size_t(t)] = loud.right[size_t(t)] = 0.8f * std::sin(0.05f * t);
    e->processReplacing(e, loud.pointers(), loud.pointers(), 1024);
    const float gainBefore = adapter.engine().limiterGain();
    const int64_t ran = adapter.engineBlocks();
    int64_t silentRuns = 0;
    for (int32_t block = 0; block < 8; ++block) {
        Stereo silence(64);
        e->processReplacing(e, silence.pointers(), silence.pointers(), 64);
        silentRuns = adapter.engineBlocks() - ran;
    }
    // The engine runs while the count is at most the latency: ceil((latency + 1) / 64) blocks.
    EXPECT_EQ(silentRuns, (latency + 64) / 64) << "latency " << latency;
    const float gainStopped = adapter.engine().limiterGain();
    Stereo more(64);
    e->processReplacing(e, more.pointers(), more.pointers(), 64);
    EXPECT_EQ(adapter.engine().limiterGain(), gainStopped) << "stopped: no state moves";
    Stereo click(64);
    click.left[10] = 0.5f;
    e->processReplacing(e, click.pointers(), click.pointers(), 64);
    EXPECT_EQ(adapter.engineBlocks() - ran, silentRuns + 1) << "a sample restarts it";
    EXPECT_EQ(adapter.silentFrames(), 0);
    EXPECT_NE(gainBefore, 1.0f);
}

TEST(PressanePlax, suspend_publishes_the_resting_meters_and_resume_runs_them) {
    PlaxEffect* e = createPressanePlax(testHost, nullptr);
    EffectCloser closer{e};
    call(e, kPlaxMainsChanged, 0, 0);
    ParameterTable& table = effectOf(e).table();
    EXPECT_FLOAT_EQ(table.readValue(kPressaneGainReached), 1.0f);
    EXPECT_FLOAT_EQ(table.readValue(kPressaneHeadroomMeter), 6.0f);
    EXPECT_FLOAT_EQ(table.readFloat(kPressaneInputPeaks, 0), -45.0f);
    call(e, kPlaxMainsChanged, 0, 1);
    Stereo loud(512, 0.5f);
    e->processReplacing(e, loud.pointers(), loud.pointers(), 512);
    EXPECT_NEAR(table.readFloat(kPressaneInputPeaks, 1), 20.0f * std::log10(0.5f), 0.01f);
}

TEST(PressanePlaxText, editor_fields_show_the_steps_signs_and_floors) {
    EXPECT_EQ(desGainText(7.74f), "7.5");
    EXPECT_EQ(headroomText(0.0f), "0");
    EXPECT_EQ(headroomText(3.0f), "+3");
    EXPECT_EQ(headroomText(-4.0f), "-4");
    EXPECT_EQ(peakText(-50.0f, kInputPeakFloorDb), "---");
    EXPECT_EQ(peakText(-12.0f, kOutputPeakFloorDb), "---");
    EXPECT_EQ(peakText(-3.6f, kOutputPeakFloorDb), "-3");
    EXPECT_EQ(peakText(0.5f, kOutputPeakFloorDb), "");
}

} // namespace
} // namespace orq::plax
