// The plug-in boundary holds whatever a plug-in or a parameter set throws, and a parameter set
// that is not one of this library's is used only through its functions.
#include "runtime/audio_plugin.h"
#include "testsupport/frame_test_support.h"
#include "runtime/live_objects.h"
#include "runtime/parameter_set.h"
#include "runtime/plugin_glue.h"
#include "runtime/boundary_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <stdexcept>
#include <thread>

using namespace orq;
using namespace orq::test;

namespace {

struct OpenFaulty {
    AudioPlugin* plugin = createPluginOrNull<FaultyPlugin, FaultySet>(
        new TableParameterSet(kFaultyTable), nullptr, nullptr);
    PluginRecord* r = &plugin->record();
    OpenFaulty() {
        OpenFormat f{44100, 2, 0};
        r->dispatcher(r, kCmdOpen, &f, 0);
    }
    ~OpenFaulty() {
        if (plugin != nullptr) r->dispatcher(r, kCmdCloseAll, nullptr, 0);
    }
};

} // namespace

// Exceptions at the record ------------------------------------------------------------------------

TEST(RecordEntries, dispatcher_answers_failure_for_whatever_a_command_throws) {
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        OpenFaulty p;
        ASSERT_NE(p.plugin, nullptr);
        FaultyEditor editor;
        const struct {
            Fault fault;
            int32_t command;
        } kCases[] = {
            {Fault::Open, kCmdOpen},
            {Fault::Start, kCmdStart},
            {Fault::Latency, kCmdLatency},
            {Fault::CheckFormat, kCmdCheckFormat},
            {Fault::HandleCommand, 0x77},
            {Fault::FloatQuery, kCmdCompatFloatQuery1f},
            {Fault::SaveSettings, kCmdSaveSettings},
            {Fault::LoadSettings, kCmdLoadSettings},
            {Fault::EditorCommand, kCmdCompatEditorQuery42},
        };
        TableParameterSet store(kFaultyTable);
        for (const auto& c : kCases) {
            SCOPED_TRACE(c.command);
            OpenFormat format{48000, 2, 0};
            CheckFormatArgs check{2, 2, 44100, 0};
            float query = 0.0f;
            void* arg = nullptr;
            if (c.command == kCmdOpen) arg = &format;
            if (c.command == kCmdCheckFormat) arg = &check;
            if (c.command == kCmdCompatFloatQuery1f) arg = &query;
            if (c.command == kCmdSaveSettings || c.command == kCmdLoadSettings) arg = store.iface();
            p.r->dispatcher(p.r, kCmdAttachEditor, editor.boundaryRecord(), 0);
            Armed armed(c.fault, t);
            EXPECT_EQ(p.r->dispatcher(p.r, c.command, arg, 0), kStatusFailed);
        }
        p.r->dispatcher(p.r, kCmdAttachEditor, nullptr, 0);
        // The plug-in's lock is free again: another thread can take it.
        std::atomic<bool> taken{false};
        std::thread other([&] {
            if (TryEnterCriticalSection(&p.plugin->lock())) {
                taken = true;
                LeaveCriticalSection(&p.plugin->lock());
            }
        });
        other.join();
        EXPECT_TRUE(taken) << "a throw left the plug-in's lock held";
    }
}

TEST(RecordEntries, process_and_process_replacing_answer_failure_when_the_plug_in_throws) {
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        OpenFaulty p;
        AudioBuffers buffers(2, 2, 64, BufferLayout::Shared);
        buffers.setFrames(64);
        {
            Armed armed(Fault::Process, t);
            EXPECT_EQ(p.r->process(p.r, &buffers), kStatusFailed);
        }
        {
            Armed armed(Fault::ProcessReplacing, t);
            EXPECT_EQ(p.r->processReplacing(p.r, &buffers), kStatusFailed);
        }
        EXPECT_EQ(p.r->process(p.r, &buffers), 64) << "the plug-in still works afterwards";
    }
}

TEST(RecordEntries, store_entries_hold_throws_and_still_leave_the_store_in_changed_mode) {
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        OpenFaulty p;
        TableParameterSet store(kFaultyTable);
        {
            Armed armed(Fault::LoadSettings, t);
            p.r->loadFromStore(p.r, store.iface(), kModePersisted);
        }
        EXPECT_EQ(store.mode(), kModeChanged);
        store.setMode(kModeAll);
        {
            Armed armed(Fault::SaveSettings, t);
            p.r->saveToStore(p.r, store.iface(), kModePersisted);
        }
        EXPECT_EQ(store.mode(), kModeChanged);
    }
}

TEST(RecordEntries, close_all_deletes_the_plug_in_even_when_closing_throws) {
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        const LONG before = liveCount(LiveKind::Plugin);
        OpenFaulty p;
        EXPECT_EQ(liveCount(LiveKind::Plugin), before + 1);
        Armed armed(Fault::Close, t);
        EXPECT_EQ(p.r->dispatcher(p.r, kCmdCloseAll, nullptr, 0), kStatusFailed);
        p.plugin = nullptr;
        EXPECT_EQ(liveCount(LiveKind::Plugin), before) << "the plug-in was not deleted";
    }
}

TEST(Creators, a_plug_in_whose_constructor_throws_releases_its_set_exactly_once) {
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        auto* set = new TableParameterSet(kFaultyTable);
        set->countAsLive();
        const LONG sets = liveCount(LiveKind::ParameterSet);
        Armed armed(Fault::Constructor, t);
        EXPECT_EQ((createPluginOrNull<FaultyPlugin, FaultySet>(set, nullptr, nullptr)), nullptr);
        EXPECT_EQ(liveCount(LiveKind::ParameterSet), sets - 1);
    }
}

// Exceptions at the filter
// -------------------------------------------------------------------------

TEST(FilterEntries, a_throwing_process_fails_the_sample_and_frees_both_locks) {
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        auto* plugin = createPluginOrNull<FaultyPlugin, FaultySet>(
            new TableParameterSet(kFaultyTable), nullptr, nullptr);
        FrameRig rig(waveFormat(kFormatFloat, 32, 2), plugin);
        ASSERT_TRUE(rig.connected());
        std::vector<float> input(2 * 256, 0.25f);
        {
            Armed armed(Fault::Process, t);
            rig.push(bytesOf(input));
        }
        EXPECT_TRUE(rig.delivered().empty()) << "a failed sample is not delivered";
        // The next sample, from another thread, goes through: no lock was left held.
        std::atomic<bool> done{false};
        std::thread streaming([&] {
            rig.push(bytesOf(input));
            done = true;
        });
        for (int i = 0; i < 500 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(done) << "the filter's or the plug-in's lock was left held";
        streaming.join();
        EXPECT_EQ(valuesOf<float>(rig.delivered()), input);
    }
}

// Exceptions at the parameter-set interface ----------------------------------------------------

namespace {

// A set whose operations throw while armed.
class ThrowingSet final : public TableParameterSet {
  public:
    ThrowingSet() : TableParameterSet(kFaultyTable) {}
    static inline bool armed = false;
    static inline Throw kind = Throw::Other;
    void release() override {
        check();
        delete this;
    }
    ParameterSet* clone() const override {
        check();
        return nullptr;
    }
    int32_t compatQuery3() override {
        check();
        return 1;
    }
    void copyFrom(ParameterInterface* other) override {
        check();
        TableParameterSet::copyFrom(other);
    }
    int32_t isPersisted(int32_t index) const override {
        check();
        return TableParameterSet::isPersisted(index);
    }
    const char* keyName(int32_t index) const override {
        check();
        return TableParameterSet::keyName(index);
    }
    int32_t compatSlot6(int32_t) override {
        check();
        return 0;
    }
    void getInfo(int32_t index, ParameterInfo* info) const override {
        check();
        TableParameterSet::getInfo(index, info);
    }
    float getFloat(int32_t index) override {
        check();
        return TableParameterSet::getFloat(index);
    }
    void setFloat(int32_t index, float value) override {
        check();
        TableParameterSet::setFloat(index, value);
    }
    void setArray(int32_t index, const void* source, int32_t count) override {
        check();
        TableParameterSet::setArray(index, source, count);
    }
    void getArray(int32_t index, void* destination, int32_t count) override {
        check();
        TableParameterSet::getArray(index, destination, count);
    }
    int32_t arrayInfo(int32_t index, int32_t* count, int32_t* size) const override {
        check();
        return TableParameterSet::arrayInfo(index, count, size);
    }

  private:
    static void check() {
        if (armed) raise(kind);
    }
};

} // namespace

TEST(ParameterInterfaceEntries, every_function_answers_its_failure_value_when_the_set_throws) {
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        auto* set = new ThrowingSet;
        ParameterInterface* i = set->iface();
        TableParameterSet other(kFaultyTable);
        float element = 7.0f;
        int32_t count = 99, size = 99;
        ParameterInfo info{};
        info.kind = 99;
        ThrowingSet::kind = t;
        ThrowingSet::armed = true;
        EXPECT_EQ(i->clone(i), nullptr);
        EXPECT_EQ(i->compatQuery3(i), 0);
        i->copyFrom(i, other.iface());
        EXPECT_EQ(i->isPersisted(i, 0), 0);
        EXPECT_EQ(i->keyName(i, 0), nullptr);
        EXPECT_EQ(i->compatSlot6(i, 0), 0);
        i->getInfo(i, 0, &info);
        EXPECT_EQ(info.kind, 99);
        EXPECT_EQ(i->getFloat(i, 0), 0.0f);
        i->setFloat(i, 0, 1.0f);
        i->setArray(i, 2, &element, 1);
        i->getArray(i, 2, &element, 1);
        EXPECT_EQ(i->arrayInfo(i, 2, &count, &size), -1);
        i->release(i); // throws before deleting: the set is still there
        ThrowingSet::armed = false;
        EXPECT_EQ(set->value(0), 0.5f) << "a throwing write changed nothing";
        i->release(i);
    }
}

// Foreign parameter sets ------------------------------------------------------------------------

TEST(ForeignSets, are_recognised_by_their_functions_and_their_owner_is_never_followed) {
    TableParameterSet own(kFaultyTable);
    EXPECT_EQ(ParameterSet::fromInterface(own.iface()), &own);
    for (ParameterSet* owner : {garbageOwner(), static_cast<ParameterSet*>(nullptr)}) {
        HostStore store(owner);
        EXPECT_EQ(ParameterSet::fromInterface(&store.iface), nullptr);
        // This library's functions called with a foreign record as self answer their failure.
        ParameterInterface* mine = own.iface();
        EXPECT_EQ(mine->getFloat(&store.iface, 0), 0.0f);
        mine->setFloat(&store.iface, 0, 3.0f);
        EXPECT_EQ(mine->getMode(&store.iface), kModeAll);
        mine->release(&store.iface);
    }
    ParameterInterface copied = *own.iface();
    copied.owner = nullptr;
    EXPECT_EQ(ParameterSet::fromInterface(&copied), nullptr) << "a record without an owner";
}

TEST(ForeignSets, copy_from_takes_only_what_the_foreign_set_names_with_the_same_key) {
    HostStore store(garbageOwner());
    store.values[0] = 0.9f; // "Level" at index 0 in this set
    store.values[1] = 0.7f; // an unnamed meter here
    {
        TableParameterSet set(kFaultyTable);
        set.iface()->copyFrom(set.iface(), &store.iface);
        EXPECT_EQ(set.value(0), 0.5f) << "a store naming nothing gives nothing";
        EXPECT_EQ(set.value(1), 0.0f);
    }
    store.keys[0] = "Output"; // another plug-in's parameter at the same index
    {
        TableParameterSet set(kFaultyTable);
        set.copyFrom(&store.iface);
        EXPECT_EQ(set.value(0), 0.5f) << "a different key gives nothing";
    }
    store.keys[0] = "Level";
    store.keys[1] = "Meter";
    {
        TableParameterSet set(kFaultyTable);
        set.copyFrom(&store.iface);
        EXPECT_EQ(set.value(0), 0.9f) << "the same key is copied";
        EXPECT_EQ(set.value(1), 0.0f) << "a parameter without a key here is never copied";
    }
}

TEST(ForeignSets, stores_exchange_only_parameters_they_name_with_the_plug_in_keys) {
    OpenFaulty p;
    auto& own = static_cast<TableParameterSet&>(p.plugin->parameters());
    HostStore anonymous(nullptr);
    anonymous.values[0] = 0.9f;
    p.r->loadFromStore(p.r, &anonymous.iface, kModeAll);
    EXPECT_EQ(own.value(0), 0.5f);
    EXPECT_EQ(p.r->dispatcher(p.r, kCmdLoadSettings, &anonymous.iface, kModeAll), 1);
    EXPECT_EQ(own.value(0), 0.5f);
    p.r->saveToStore(p.r, &anonymous.iface, kModeAll);
    p.r->dispatcher(p.r, kCmdEditorSave, &anonymous.iface, kModeAll);
    EXPECT_EQ(anonymous.writes, 0) << "nothing is written into a store that names nothing";

    HostStore named(garbageOwner());
    named.keys[0] = "Level";
    named.values[0] = 0.25f;
    p.r->loadFromStore(p.r, &named.iface, kModeAll);
    EXPECT_EQ(own.value(0), 0.25f);
    own.setValue(0, 0.125f);
    p.r->saveToStore(p.r, &named.iface, kModeAll);
    EXPECT_EQ(named.values[0], 0.125f);
    EXPECT_EQ(named.writes, 1) << "only the named parameter is written";
    EXPECT_EQ(named.mode, kModeChanged);
}

// Chosen behaviours of the frame -----------------------------------------------------------------

TEST(MediaTypeCheck, a_block_alignment_other_than_channels_times_width_is_refused) {
    FrameRig rig(0, waveFormat(kFormatPcm, 16, 2));
    ASSERT_TRUE(rig.connected());
    AudioFormat padded = waveFormat(kFormatPcm, 16, 2);
    padded.blockAlign = 6; // two 16-bit channels in six bytes
    CMediaType type = audioType(padded);
    EXPECT_EQ(rig.filter().CheckInputType(&type), E_INVALIDARG);
    CMediaType none = audioType(waveFormat(kFormatFloat, 32, 0));
    EXPECT_EQ(rig.filter().CheckInputType(&none), E_INVALIDARG) << "no channels";
}

TEST(Meters, a_block_size_of_zero_keeps_the_ring_length) {
    FrameRig rig(0, waveFormat(kFormatFloat, 32, 1)); // the filter sends command 9 with 0
    ASSERT_TRUE(rig.connected());
    PluginRecord* r = rig.record();
    r->dispatcher(r, kCmdSetMaxBlockSize, nullptr, 0);
    EXPECT_EQ(r->dispatcher(r, kCmdEnableInputRing, nullptr, 1), 0);
    rig.push(bytesOf(std::vector<float>(100, 0.9f)));
    float peak = 1;
    r->dispatcher(r, kCmdReadInputPeaks, &peak, 0);
    EXPECT_EQ(peak, 0.0f) << "the ring keeps its 8192 frames of silence";
}
