#include "plax/compressor_plax.h"
#include "plax/plax_test_support.h"

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

CompressorPlax& effectOf(PlaxEffect* record) {
    return *static_cast<CompressorPlax*>(PlaxEffectBase::fromRecord(record));
}

const char* const kFactoryNames[10] = {"Init",      "FM Radio",        "Electric Bass",
                                       "Electric Guitar", "Acoustic Guitar", "Bass Drum",
                                       "Snare Drum", "Drumset",        "Vocals",
                                       "De-Essing"};

TEST(CompressorPlax, record_carries_the_id_and_seven_parameters) {
    PlaxEffect* e = createCompressorPlax(testHost, nullptr);
    ASSERT_NE(e, nullptr);
    EffectCloser closer{e};
    EXPECT_EQ(e->uniqueId, 0x4578706c);
    EXPECT_EQ(e->numParams, 7);
    EXPECT_EQ(e->numPrograms, 10);
    EXPECT_EQ(e->initialDelay, effectOf(e).compressorAdapter()->latency());
    EXPECT_EQ(text(e, kPlaxGetParameterName, 6), "BandGain5");
    EXPECT_EQ(text(e, kPlaxGetParameterLabel, 1), "on/off");
    EXPECT_EQ(chunk(e, true).size(), 1392u);
    EXPECT_EQ(chunk(e, false).size(), 13920u);
}

TEST(CompressorPlax, factory_programs_load_in_order_with_their_names_and_values) {
    PlaxEffect* e = createCompressorPlax(testHost, nullptr);
    EffectCloser closer{e};
    ParameterTable& table = effectOf(e).table();
    for (int32_t p = 0; p < 10; ++p) {
        call(e, kPlaxSetProgram, 0, p);
        EXPECT_EQ(text(e, kPlaxGetProgramName), kFactoryNames[p]) << "program " << p;
    }
    call(e, kPlaxSetProgram, 0, 5); // "Bass Drum"
    EXPECT_FLOAT_EQ(table.readValue(kCompBands), 3.0f);
    EXPECT_NEAR(table.readValue(kCompBorder1), 5.91551f, 1e-5f);
    EXPECT_FLOAT_EQ(table.readValue(kCompLimiter), 1.0f);
    // 0.808333 × 240 steps of 0.1 dB from −12: 7.4 dB.
    EXPECT_NEAR(table.readValue(kCompBandGain1 + 2), 7.4f, 1e-4f);
    call(e, kPlaxSetProgram, 0, 9); // "De-Essing": two bands, no limiter
    EXPECT_FLOAT_EQ(table.readValue(kCompBands), 2.0f);
    EXPECT_FLOAT_EQ(table.readValue(kCompLimiter), 0.0f);
    EXPECT_EQ(effectOf(e).compressorAdapter()->engine().bandCount(), 3)
        << "the engine takes the change with the next block";
    float* none[2] = {nullptr, nullptr};
    std::vector<float> l(256, 0.0f), r(256, 0.0f);
    none[0] = l.data();
    none[1] = r.data();
    e->processReplacing(e, none, none, 256);
    EXPECT_EQ(effectOf(e).compressorAdapter()->engine().bandCount(), 2);
}

TEST(CompressorPlax, factory_curves_follow_the_program_names) {
    const std::vector<uint8_t> bank = compressorFactoryBank();
    ASSERT_EQ(bank.size(), 13920u);
    auto pointCount = [&](int32_t program, int32_t band) {
        const uint8_t* p = bank.data() + program * kCompProgramBytes + 60 + band * 65 * 4;
        const uint32_t word = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        float v;
        std::memcpy(&v, &word, 4);
        return v;
    };
    EXPECT_EQ(pointCount(0, 0), 2.0f) << "Init: unity";
    EXPECT_GT(pointCount(5, 0), 2.0f) << "Bass Drum: a curve on the low band";
    EXPECT_EQ(pointCount(9, 0), 2.0f) << "De-Essing: low band free";
    EXPECT_GT(pointCount(9, 1), 2.0f) << "De-Essing: the high band held";
}

TEST(CompressorPlax, a_bank_saved_big_endian_loads_back_with_the_same_values) {
    PlaxEffect* e = createCompressorPlax(testHost, nullptr);
    EffectCloser closer{e};
    call(e, kPlaxSetProgram, 0, 3);
    e->setParameter(e, kCompGain, 0.75f);
    const std::vector<uint8_t> saved = chunk(e, false);
    // Gain 0.75 normalised is +6 dB; big-endian its first byte is the float's high byte.
    EXPECT_EQ(saved[3 * kCompProgramBytes], 0x3f);
    PlaxEffect* other = createCompressorPlax(testHost, nullptr);
    EffectCloser closeOther{other};
    call(other, kPlaxSetProgram, 0, 3);
    ASSERT_EQ(call(other, kPlaxSetChunk, 0, intptr_t(saved.size()), const_cast<uint8_t*>(saved.data())), 0);
    for (int32_t i = 0; i < kCompTableSize - 1; ++i)
        EXPECT_EQ(effectOf(other).table().readValue(i), effectOf(e).table().readValue(i)) << i;
    EXPECT_EQ(effectOf(other).table().record(kCompCurves).bytes,
              effectOf(e).table().record(kCompCurves).bytes);
    EXPECT_EQ(text(other, kPlaxGetProgramName), "Electric Guitar");
}

TEST(CompressorPlax, byte_order_detection_accepts_both_orders) {
    PlaxEffect* e = createCompressorPlax(testHost, nullptr);
    EffectCloser closer{e};
    std::vector<uint8_t> preset = chunk(e, true);
    ASSERT_TRUE(programIsBigEndian(preset.data()));
    // The same program with its 32-bit values in little-endian order.
    std::vector<uint8_t> little = preset;
    for (int32_t w = 0; w < (kCompProgramBytes - kProgramNameBytes) / 4; ++w)
        std::reverse(little.begin() + 4 * w, little.begin() + 4 * w + 4);
    EXPECT_FALSE(programIsBigEndian(little.data()));
    e->setParameter(e, kCompGain, 0.0f);
    ASSERT_EQ(call(e, kPlaxSetChunk, 1, kCompProgramBytes, little.data()), 0);
    EXPECT_FLOAT_EQ(effectOf(e).table().readValue(kCompGain), 0.0f) << "Init's gain, 0 dB";
    EXPECT_EQ(chunk(e, true), preset) << "read little-endian, saved big-endian again";
}

TEST(CompressorPlax, accumulating_adds_the_replacing_output) {
    PlaxEffect* a = createCompressorPlax(testHost, nullptr);
    PlaxEffect* b = createCompressorPlax(testHost, nullptr);
    EffectCloser ca{a}, cb{b};
    const int32_t frames = 4096;
    std::vector<float> in(static_cast<size_t>(frames));
    for (int32_t t = 0; t < frames; ++t) in[size_t(t)] = 0.5f * std::sin(0.01f * t);
    std::vector<float> inA0 = in, inA1 = in, inB0 = in, inB1 = in;
    std::vector<float> outA0(static_cast<size_t>(frames)), outA1(static_cast<size_t>(frames));
    std::vector<float> outB0(static_cast<size_t>(frames), 0.25f), outB1(static_cast<size_t>(frames), 0.25f);
    float* ia[2] = {inA0.data(), inA1.data()};
    float* oa[2] = {outA0.data(), outA1.data()};
    float* ib[2] = {inB0.data(), inB1.data()};
    float* ob[2] = {outB0.data(), outB1.data()};
    a->processReplacing(a, ia, oa, frames);
    b->process(b, ib, ob, frames);
    for (int32_t t = 0; t < frames; t += 97)
        ASSERT_NEAR(outB0[size_t(t)], outA0[size_t(t)] + 0.25f, 1e-6f) << "frame " << t;
}

} // namespace
} // namespace orq::plax
