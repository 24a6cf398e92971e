#include "runtime/parameter_set.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orq;

namespace {

const ParameterDef kDefs[] = {
    {"Level", kKindFloat, 0.5f, 0, 0, nullptr},
    {nullptr, kKindFloat, 0.0f, 0, 0, nullptr}, // a meter: no key, not persisted
    {"Gains", kKindArray, 1.0f, 3, 4, nullptr},
    {"Mode", kKindScalar, 2.0f, 0, 0, nullptr},
};
const ParameterTable kTable{0x54657374u, "Test Set", kDefs}; // "Test"

} // namespace

TEST(ChangedFlags, writes_set_and_reads_clear_except_in_frozen_mode) {
    TableParameterSet set(kTable);
    EXPECT_EQ(set.changedCount(), 0);
    set.setFloat(0, 0.75f);
    EXPECT_TRUE(set.isChanged(0));
    EXPECT_EQ(set.changedCount(), 1);
    set.setFloat(0, 0.8f);
    EXPECT_EQ(set.changedCount(), 1) << "a flag counts once";
    EXPECT_FLOAT_EQ(set.getFloat(0), 0.8f);
    EXPECT_FALSE(set.isChanged(0));
    EXPECT_EQ(set.changedCount(), 0);
    set.getFloat(0);
    EXPECT_EQ(set.changedCount(), 0) << "never below zero";

    set.setMode(kModeFrozen);
    set.setFloat(3, 1.0f);
    EXPECT_FALSE(set.isChanged(3)) << "mode -5 leaves flags alone";
    set.setMode(kModeChanged);
    set.setFloat(3, 1.0f);
    set.setMode(kModeFrozen);
    EXPECT_EQ(set.getFloat(3), 1.0f);
    EXPECT_TRUE(set.isChanged(3));
}

TEST(SelectionModes, select_what_each_mode_names) {
    TableParameterSet set(kTable);
    set.setFloat(2 - 2, 0.1f); // parameter 0 changed
    set.setMode(kModeAll);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(set.isSelected(i) && set.isSelectedForWrite(i));
    set.setMode(kModeChanged);
    EXPECT_TRUE(set.isSelected(0));
    EXPECT_FALSE(set.isSelected(3));
    EXPECT_FALSE(set.isSelectedForWrite(0));
    EXPECT_TRUE(set.isSelectedForWrite(3));
    set.setMode(kModePersisted);
    EXPECT_TRUE(set.isSelected(0));
    EXPECT_FALSE(set.isSelected(1));
    set.setMode(kModeUnnamed);
    EXPECT_TRUE(set.isSelected(1));
    EXPECT_FALSE(set.isSelected(2));
    set.setMode(2);
    EXPECT_TRUE(set.isSelected(2));
    EXPECT_FALSE(set.isSelected(0));
    EXPECT_FALSE(set.isSelected(-1));
    EXPECT_FALSE(set.isSelected(4));
}

TEST(UnknownIndices, select_nothing_read_zero_and_ignore_writes) {
    TableParameterSet set(kTable);
    set.setFloat(9, 3.0f);
    EXPECT_EQ(set.getFloat(9), 0.0f);
    EXPECT_EQ(set.changedCount(), 0);
    EXPECT_EQ(set.getFloat(2), 0.0f) << "a scalar read of an array";
    EXPECT_EQ(set.arrayInfo(0, nullptr, nullptr), -1);
}

TEST(Arrays, copy_at_most_their_own_length) {
    TableParameterSet set(kTable);
    float values[5] = {1, 2, 3, 4, 5};
    set.setArray(2, values, 5);
    float read[5] = {};
    set.getArray(2, read, 5);
    EXPECT_EQ(read[2], 3.0f);
    EXPECT_EQ(read[3], 0.0f) << "nothing beyond three elements";
}

TEST(StoreTransfer, copies_only_selected_parameters_with_flags) {
    TableParameterSet plugin(kTable), store(kTable);
    store.setFloat(0, 0.9f);
    store.setMode(kModeChanged);
    copySelectedFromStore(plugin, store.iface());
    EXPECT_FLOAT_EQ(plugin.getFloat(0), 0.9f);
    EXPECT_EQ(plugin.value(3), 2.0f);

    TableParameterSet target(kTable);
    target.setMode(kModePersisted);
    plugin.setValue(1, 0.3f);
    writeSelectedToStore(plugin, target.iface());
    target.setMode(kModeFrozen);
    EXPECT_EQ(target.getFloat(1), 0.0f) << "the unnamed meter is not persisted";
    EXPECT_FLOAT_EQ(target.getFloat(0), 0.9f);
}

TEST(Stream, round_trips_persisted_values_and_size) {
    TableParameterSet set(kTable);
    set.setFloat(0, 0.125f);
    float gains[3] = {0.5f, 0.25f, 2.0f};
    set.setArray(2, gains, 3);
    EXPECT_EQ(streamSizeMax(set), 4u + 4u + (8u + 12u) + 4u);
    const auto bytes = saveParameterStream(set, 7);
    ASSERT_EQ(bytes.size(), streamSizeMax(set));
    TableParameterSet loaded(kTable);
    uint32_t version = 0;
    ASSERT_TRUE(loadParameterStream(loaded, bytes.data(), bytes.size(), &version));
    EXPECT_EQ(version, 7u);
    EXPECT_EQ(loaded.getFloat(0), 0.125f);
    float read[3] = {};
    loaded.getArray(2, read, 3);
    EXPECT_EQ(read[2], 2.0f);
}

TEST(Stream, short_or_mismatched_streams_are_refused_and_change_nothing) {
    TableParameterSet set(kTable);
    set.setFloat(0, 0.125f);
    const auto good = saveParameterStream(set, 0);
    TableParameterSet target(kTable);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        EXPECT_FALSE(loadParameterStream(target, good.data(), cut, nullptr)) << "length " << cut;
        EXPECT_EQ(target.value(0), 0.5f);
    }
    auto wrongCount = good;
    wrongCount[8] = 4; // array element count 4 instead of 3
    EXPECT_FALSE(loadParameterStream(target, wrongCount.data(), wrongCount.size(), nullptr));
    auto wrongSize = good;
    wrongSize[12] = 8; // element size 8 instead of 4
    EXPECT_FALSE(loadParameterStream(target, wrongSize.data(), wrongSize.size(), nullptr));
    EXPECT_EQ(target.value(0), 0.5f);
    EXPECT_EQ(target.changedCount(), 0);
}

// Found by fuzzing saved states: a flipped bit in a scalar's exponent loaded not a number into
// the set (the compressor's ActBand, the enhancer's mono), from which the plug-in hands it
// to its engine.
TEST(Stream, a_scalar_that_is_not_finite_is_refused_and_changes_nothing) {
    TableParameterSet set(kTable);
    const auto good = saveParameterStream(set, 0);
    TableParameterSet target(kTable);
    target.setFloat(3, 1.0f);
    for (const uint32_t bits : {0x7FC00000u, 0x7F800000u, 0xFF800000u, 0xFFFFFFFFu}) {
        for (const size_t at : {size_t(4), good.size() - 4}) { // Level, Mode
            auto bad = good;
            std::memcpy(bad.data() + at, &bits, sizeof bits);
            EXPECT_FALSE(loadParameterStream(target, bad.data(), bad.size(), nullptr))
                << std::hex << bits << " at byte " << std::dec << at;
        }
    }
    EXPECT_EQ(target.value(0), 0.5f);
    EXPECT_EQ(target.value(3), 1.0f);
    ASSERT_TRUE(loadParameterStream(target, good.data(), good.size(), nullptr));
    EXPECT_EQ(target.value(3), 2.0f);
}

TEST(Interface, forwards_to_the_set_and_clone_copies_values) {
    TableParameterSet set(kTable);
    ParameterInterface* i = set.iface();
    i->setFloat(i, 0, 0.2f);
    EXPECT_EQ(i->getMode(i), kModeAll);
    EXPECT_STREQ(i->keyName(i, 2), "Gains");
    EXPECT_EQ(i->isPersisted(i, 1), 0);
    ParameterInfo info{};
    i->getInfo(i, 2, &info);
    EXPECT_EQ(info.kind, kKindArray);
    EXPECT_EQ(info.minimum, -1.0f);
    ParameterInterface* copy = i->clone(i);
    EXPECT_FLOAT_EQ(copy->getFloat(copy, 0), 0.2f);
    copy->release(copy);
}
