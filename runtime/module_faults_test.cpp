// The exports of a deliverable whose plug-in and parameter sets throw on demand: compiled into
// this test with runtime/module_exports.cpp, so the component server and the Vc... family are
// called directly.
#include "runtime/audio_transform_filter.h"
#include "runtime/boundary_test_support.h"
#include "runtime/host_extension.h"
#include "runtime/live_objects.h"
#include "runtime/plugin_module.h"

#include <gtest/gtest.h>

#include <objbase.h>

using namespace orq;
using namespace orq::test;

extern "C" {
HRESULT DllGetClassObject(REFCLSID classId, REFIID iid, void** object);
int32_t VcGetCreatorOfPlugIn(const char* name, int32_t kind, CreateEffectFn* effect,
                             CreateEditorFn* editor, CreateParametersFn* parameters);
int32_t VcRegisterAllPlugIn(const HostCallbackRecord* record);
int32_t VcCanUnloadDll();
}

namespace {

constexpr CLSID kFaultyFilterId = {
    0x7a1c3e70, 0x6b2e, 0x4e8a, {0x9d, 0x13, 0x47, 0xc0, 0xb8, 0xe2, 0x1a, 0x7e}};
constexpr CLSID kFaultyPageId = {
    0x7a1c3e71, 0x6b2e, 0x4e8a, {0x9d, 0x13, 0x47, 0xc0, 0xb8, 0xe2, 0x1a, 0x7e}};

bool parametersThrow = false;

ParameterSet* createFaultyParameters() {
    if (parametersThrow) raise(FaultyPlugin::kind);
    return new TableParameterSet(kFaultyTable);
}

struct Creators {
    CreateEffectFn effect = nullptr;
    CreateEditorFn editor = nullptr;
    CreateParametersFn parameters = nullptr;
    Creators() {
        VcGetCreatorOfPlugIn("Orq Faulty", kVcKindProcessor, &effect, &editor, &parameters);
    }
};

IClassFactory* factoryFor(const CLSID& id) {
    IClassFactory* factory = nullptr;
    DllGetClassObject(id, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    return factory;
}

} // namespace

namespace orq {
const PluginModule& thisModule() {
    static const PluginModule module{
        "Orq Faulty",
        kVcKindProcessor,
        createFaultyParameters,
        createFaultyPlugin,
        kFaultyFilterId,
        kFaultyPageId,
        0,
    };
    return module;
}
} // namespace orq

TEST(ModuleEntries, class_factory_answers_out_of_memory_or_failure_and_leaks_nothing) {
    IClassFactory* factory = factoryFor(kFaultyFilterId);
    ASSERT_NE(factory, nullptr);
    const LONG live = liveObjectCount();
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        const HRESULT expected = t == Throw::BadAlloc ? E_OUTOFMEMORY : E_FAIL;
        IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(uintptr_t(1));
        {
            Armed armed(Fault::Constructor, t);
            EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter,
                                              reinterpret_cast<void**>(&filter)),
                      expected);
        }
        EXPECT_EQ(filter, nullptr);
        parametersThrow = true;
        FaultyPlugin::kind = t;
        EXPECT_EQ(
            factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
            expected);
        parametersThrow = false;
        // A plug-in whose opening throws still makes a filter; it stays closed.
        {
            Armed armed(Fault::Open, t);
            ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter,
                                              reinterpret_cast<void**>(&filter)),
                      S_OK);
        }
        IAudioPluginRecord* record = nullptr;
        ASSERT_EQ(filter->QueryInterface(IID_IAudioPluginRecord, reinterpret_cast<void**>(&record)),
                  S_OK);
        PluginRecord* r = record->Record();
        EXPECT_EQ(r->dispatcher(r, kCmdOpenResult, nullptr, 0), kStatusOpenFailed);
        record->Release();
        filter->Release();
        EXPECT_EQ(liveObjectCount(), live);
    }
    factory->Release();
}

TEST(ModuleEntries, the_filter_s_persistent_stream_answers_failure_when_the_set_throws) {
    IClassFactory* factory = factoryFor(kFaultyFilterId);
    ASSERT_NE(factory, nullptr);
    IPersistStream* persist = nullptr;
    ASSERT_EQ(
        factory->CreateInstance(nullptr, IID_IPersistStream, reinterpret_cast<void**>(&persist)),
        S_OK);
    factory->Release();
    // A stream that throws on reading and writing, the way a host's C++ stream might.
    struct ThrowingStream final : IStream {
        HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG AddRef() override { return 1; }
        ULONG Release() override { return 1; }
        HRESULT Read(void*, ULONG, ULONG*) override { raise(FaultyPlugin::kind); }
        HRESULT Write(const void*, ULONG, ULONG*) override { raise(FaultyPlugin::kind); }
    };
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        FaultyPlugin::kind = t;
        const HRESULT expected = t == Throw::BadAlloc ? E_OUTOFMEMORY : E_FAIL;
        ThrowingStream stream;
        EXPECT_EQ(persist->Load(&stream), expected);
        EXPECT_EQ(persist->Save(&stream, TRUE), expected);
    }
    persist->Release();
}

TEST(ModuleEntries, host_extension_creators_answer_null_for_any_failure) {
    Creators c;
    ASSERT_NE(c.effect, nullptr);
    const LONG live = liveObjectCount();
    for (Throw t : kThrows) {
        SCOPED_TRACE(nameOf(t));
        {
            Armed armed(Fault::Constructor, t);
            EXPECT_EQ(c.effect(nullptr, nullptr, nullptr), nullptr);
        }
        parametersThrow = true;
        FaultyPlugin::kind = t;
        EXPECT_EQ(c.effect(nullptr, nullptr, nullptr), nullptr);
        EXPECT_EQ(c.parameters(), nullptr);
        parametersThrow = false;
        EXPECT_EQ(VcCanUnloadDll(), live) << "a failed creator leaves no object behind";
    }
    // A host's register function that throws does not get through VcRegisterAllPlugIn.
    HostCallbackRecord callbacks{};
    callbacks.registerPlugin = [](const char*, CreateEffectFn, CreateEditorFn, CreateParametersFn,
                                  int32_t) { raise(FaultyPlugin::kind); };
    EXPECT_EQ(VcRegisterAllPlugIn(&callbacks), 0);
    callbacks.registerPlugin = nullptr;
    VcRegisterAllPlugIn(&callbacks);
}

TEST(ModuleEntries, a_foreign_set_given_to_create_effect_gives_only_what_it_names_by_key) {
    Creators c;
    for (ParameterSet* owner : {garbageOwner(), static_cast<ParameterSet*>(nullptr)}) {
        HostStore store(owner);
        store.values[0] = 0.9f; // index 0 is "Level" here, but the store does not say so
        store.values[1] = 0.7f;
        PluginRecord* r = c.effect(nullptr, nullptr, &store.iface);
        ASSERT_NE(r, nullptr);
        auto& set = static_cast<TableParameterSet&>(r->self->parameters());
        EXPECT_EQ(set.value(0), 0.5f);
        EXPECT_EQ(set.value(1), 0.0f);
        r->dispatcher(r, kCmdCloseAll, nullptr, 0);

        store.keys[0] = "Level";
        r = c.effect(nullptr, nullptr, &store.iface);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(static_cast<TableParameterSet&>(r->self->parameters()).value(0), 0.9f);
        r->dispatcher(r, kCmdCloseAll, nullptr, 0);
    }
}
