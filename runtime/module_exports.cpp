// The exports of one deliverable: component server (class factories, unloading, registration)
// and the host extension family. Compiled into every deliverable, built from thisModule().
#include "runtime/audio_transform_filter.h"
#include "runtime/editor_host.h"
#include "runtime/host_extension.h"
#include "runtime/live_objects.h"
#include "runtime/plugin_module.h"
#include "runtime/registry_keys.h"

#include <objbase.h>

#include <cstring>
#include <new>
#include <string>

#define DX_EXPORT extern "C" __attribute__((visibility("default")))

namespace orq {
namespace {

LONG volatile serverLocks = 0;
LONG volatile componentObjects = 0;

// A new instance's set: a copy of the given set (a foreign one gives what it names with the
// same keys), or of the library's default set. Null when it cannot be built. [ui-thread]
ParameterSet* newInstanceParameters(ParameterInterface* given) {
    const PluginModule& m = thisModule();
    ParameterSet* set = m.createParameters();
    if (set == nullptr) return nullptr;
    try {
        ParameterInterface* source = given;
        if (source == nullptr && defaultParameterSet() != nullptr)
            source = defaultParameterSet()->iface();
        if (source != nullptr) set->copyFrom(source);
    } catch (...) {
        set->release();
        throw;
    }
    return set;
}

// The plug-in with a new instance's set, or null. createPlugin owns the set from the call on,
// whatever it answers or throws. [ui-thread]
AudioPlugin* newPlugin(HostCallback host, void* hostObject, ParameterInterface* given) {
    ParameterSet* set = newInstanceParameters(given);
    if (set == nullptr) return nullptr;
    return thisModule().createPlugin(set, host, hostObject);
}

// The host's release of a plug-in that never reached its host.
void releasePlugin(AudioPlugin* plugin) {
    PluginRecord* r = &plugin->record();
    r->dispatcher(r, kCmdCloseAll, nullptr, 0);
}

// The filter as a component object: counted while alive.
class ComponentFilter final : public AudioTransformFilter {
  public:
    using AudioTransformFilter::AudioTransformFilter;
    ~ComponentFilter() override { InterlockedDecrement(&componentObjects); }
};

void* createEditor(ParameterInterface* parameters) noexcept;

// The property page: shows the library's editor inside the page frame's window (commands 28
// and 29), attached to the plug-in of the filter it was given.
class PropertyPage final : public IPropertyPage {
  public:
    PropertyPage() {
        InterlockedIncrement(&componentObjects);
        objectCreated(LiveKind::Editor);
    }
    // [ui-thread] no allocation unless named; nothing gets out of these.
    HRESULT QueryInterface(REFIID iid, void** object) override {
        return componentResult([&] {
            if (object == nullptr) return E_POINTER;
            if (iid == IID_IUnknown || iid == IID_IPropertyPage)
                return GetInterface<IPropertyPage>(this, object);
            *object = nullptr;
            return E_NOINTERFACE;
        });
    }
    ULONG AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return ULONG(left);
    }
    HRESULT SetPageSite(IPropertyPageSite*) override { return S_OK; }
    // Allocates the editor.
    HRESULT Activate(HWND parent, const RECT*, BOOL) override {
        return componentResult([&]() -> HRESULT {
            if (parent == nullptr) return E_POINTER;
            closeEditor();
            editor_ = static_cast<EditorRecord*>(
                createEditor(plugin_ != nullptr ? plugin_->parameters : nullptr));
            if (editor_ == nullptr) return E_OUTOFMEMORY;
            if (plugin_ != nullptr) {
                editor_->dispatch(editor_, kEdAttachRecord, plugin_, 0);
                // The plug-in tells the page's editor when processing starts and stops, unless
                // another editor of the host's is attached already.
                if (plugin_->editor == nullptr) {
                    plugin_->dispatcher(plugin_, kCmdAttachEditor, editor_, 0);
                    attached_ = true;
                }
            }
            editor_->dispatch(editor_, kEdAttachParent, parent, 0);
            return S_OK;
        });
    }
    HRESULT Deactivate() override {
        return componentResult([&] {
            closeEditor();
            return S_OK;
        });
    }
    // Allocates the title (task memory, the caller's).
    HRESULT GetPageInfo(PROPPAGEINFO* info) override {
        return componentResult([&]() -> HRESULT {
            if (info == nullptr) return E_POINTER;
            const char* name = thisModule().name;
            const size_t length = std::strlen(name);
            auto* title = static_cast<WCHAR*>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
            if (title == nullptr) return E_OUTOFMEMORY;
            for (size_t k = 0; k <= length; ++k)
                title[k] = WCHAR(uint8_t(name[k]));
            *info = PROPPAGEINFO{};
            info->cb = sizeof *info;
            info->pszTitle = title;
            info->size = SIZE{EditorHost::kDefaultWidth, EditorHost::kDefaultHeight};
            if (editor_ != nullptr) {
                RECT size{};
                editor_->dispatch(editor_, kEdGetSize, &size, 0);
                info->size = SIZE{size.right, size.bottom};
            }
            return S_OK;
        });
    }
    // The plug-in of the first object that is one of this library's filters.
    HRESULT SetObjects(ULONG count, IUnknown** objects) override {
        return componentResult([&]() -> HRESULT {
            plugin_ = nullptr;
            for (ULONG k = 0; objects != nullptr && k < count && plugin_ == nullptr; ++k) {
                IAudioPluginRecord* filter = nullptr;
                if (objects[k] != nullptr &&
                    SUCCEEDED(objects[k]->QueryInterface(IID_IAudioPluginRecord,
                                                         reinterpret_cast<void**>(&filter)))) {
                    plugin_ = filter->Record();
                    filter->Release();
                }
            }
            return S_OK;
        });
    }
    HRESULT Show(UINT command) override {
        HWND client = editorClientWindow(editor_);
        if (client != nullptr) ShowWindow(client, int(command));
        return S_OK;
    }
    HRESULT Move(const RECT* rect) override {
        HWND client = editorClientWindow(editor_);
        if (rect == nullptr) return E_POINTER;
        if (client != nullptr)
            MoveWindow(client, rect->left, rect->top, rect->right - rect->left,
                       rect->bottom - rect->top, TRUE);
        return S_OK;
    }
    HRESULT IsPageDirty() override { return S_FALSE; } // changes go to the plug-in at once
    HRESULT Apply() override { return S_OK; }
    HRESULT Help(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT TranslateAccelerator(MSG*) override { return S_FALSE; }

  private:
    ~PropertyPage() {
        runOrStop([&] { closeEditor(); });
        InterlockedDecrement(&componentObjects);
        objectDestroyed(LiveKind::Editor);
    }
    void closeEditor() {
        if (editor_ == nullptr) return;
        EditorRecord* editor = editor_;
        editor_ = nullptr;
        if (attached_ && plugin_ != nullptr)
            plugin_->dispatcher(plugin_, kCmdAttachEditor, nullptr, 0);
        attached_ = false;
        editor->dispatch(editor, kEdDetachParent, nullptr, 0);
        editor->dispatch(editor, kEdDestroy, nullptr, 0);
    }
    LONG volatile references_ = 0;
    PluginRecord* plugin_ = nullptr; // held while the filter holds the page's frame
    EditorRecord* editor_ = nullptr;
    bool attached_ = false; // editor_ is the plug-in's attached editor
};

// The class table's create functions: a new object, or null with the failure in result
// (E_OUTOFMEMORY when the plug-in cannot be built or memory runs out, E_FAIL for any other
// failure). [ui-thread] allocates.
IUnknown* createFilter(HRESULT* result) {
    const PluginModule& m = thisModule();
    IUnknown* created = nullptr;
    *result = componentResult([&] {
        AudioPlugin* plugin = newPlugin(nullptr, nullptr, nullptr);
        if (plugin == nullptr) return E_OUTOFMEMORY;
        ComponentFilter* filter = nullptr;
        try {
            filter = new ComponentFilter(plugin, m.filterClassId, m.pageClassId, m.name);
        } catch (...) {
            releasePlugin(plugin); // the filter never owned it
            throw;
        }
        InterlockedIncrement(&componentObjects);
        created = static_cast<IBaseFilter*>(filter);
        return S_OK;
    });
    return created;
}

IUnknown* createPage(HRESULT* result) {
    IUnknown* created = nullptr;
    *result = componentResult([&] {
        created = new PropertyPage;
        return S_OK;
    });
    return created;
}

class ClassFactory final : public IClassFactory {
  public:
    explicit ClassFactory(bool filter) : filter_(filter) {}
    // [ui-thread] nothing gets out of these.
    HRESULT QueryInterface(REFIID iid, void** object) override {
        return componentResult([&] {
            if (object == nullptr) return E_POINTER;
            if (iid == IID_IUnknown || iid == IID_IClassFactory)
                return GetInterface<IClassFactory>(this, object);
            *object = nullptr;
            return E_NOINTERFACE;
        });
    }
    ULONG AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    ULONG Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return ULONG(left);
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        HRESULT hr = S_OK;
        IUnknown* created = filter_ ? createFilter(&hr) : createPage(&hr);
        if (created == nullptr) return hr;
        created->AddRef();
        hr = componentResult([&] { return created->QueryInterface(iid, object); });
        created->Release(); // the only reference unless the query handed one out
        return hr;
    }
    HRESULT LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&serverLocks);
        else
            InterlockedDecrement(&serverLocks);
        return S_OK;
    }

  private:
    bool filter_;
    LONG volatile references_ = 0;
};

// Host extension creators: every failure becomes a null result. [ui-thread] allocate.
PluginRecord* createEffect(HostCallback host, void* hostObject,
                           ParameterInterface* parameters) noexcept {
    try {
        AudioPlugin* plugin = newPlugin(host, hostObject, parameters);
        return plugin != nullptr ? &plugin->record() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

// The row's editor with its own set (a copy of the given one); a plug-in without an editor of
// its own gets a plain editor host with an empty client. Counted in liveEditors while alive.
void* createEditor(ParameterInterface* parameters) noexcept {
    try {
        ParameterSet* own = thisModule().createParameters();
        if (own == nullptr) return nullptr;
        return createEditorRecord(thisModule().createEditor, own, parameters);
    } catch (...) {
        return nullptr;
    }
}

ParameterInterface* createParameters() noexcept {
    try {
        ParameterSet* set = thisModule().createParameters();
        if (set == nullptr) return nullptr;
        set->countAsLive();
        return set->iface();
    } catch (...) {
        return nullptr;
    }
}

// Fields 1 to 5 and 7; the sixth is not read.
void storeCallbacks(const HostCallbackRecord* record) {
    HostCallbackRecord stored{};
    stored.registerPlugin = record->registerPlugin;
    stored.messageHook = record->messageHook;
    stored.settingsDialog = record->settingsDialog;
    stored.threadStart = record->threadStart;
    stored.threadEnd = record->threadEnd;
    stored.hostValue = record->hostValue;
    setHostCallbacks(stored);
}

constexpr int32_t kPluginRows = 1; // each library holds one plug-in
constexpr HRESULT kFilterNotRegistered = static_cast<HRESULT>(0x80040202u);

// The class table: the filter at an even position, its property page after it.
struct ClassEntry {
    std::string name;
    CLSID classId;
    bool filter;
};

std::vector<ClassEntry> classTable() {
    const PluginModule& m = thisModule();
    return {{m.name, m.filterClassId, true},
            {std::string(m.name) + " PropertyPage", m.pageClassId, false}};
}

LONG registerPins(const std::string& classKey) {
    static const char* const kPins[] = {"Input", "Output"};
    for (DWORD direction = 0; direction < 2; ++direction) {
        HKEY pin = nullptr;
        const std::string pinKey = classKey + "\\Pins\\" + kPins[direction];
        LONG rc = createKeyWithDefault(pinKey, nullptr, &pin);
        if (rc != ERROR_SUCCESS) return rc;
        for (const char* flag : {"AllowedMany", "AllowedZero", "IsRendered"})
            if (rc == ERROR_SUCCESS) rc = setDwordValue(pin, flag, 0);
        if (rc == ERROR_SUCCESS) rc = setDwordValue(pin, "Direction", direction);
        RegCloseKey(pin);
        if (rc != ERROR_SUCCESS) return rc;
        rc = createKeyWithDefault(pinKey + "\\Types\\" + guidString(MEDIATYPE_Audio) + "\\" +
                                      guidString(GUID_NULL),
                                  nullptr);
        if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
}

HRESULT registerClass(const ClassEntry& entry, const std::string& libraryPath) {
    const std::string classKey = "CLSID\\" + guidString(entry.classId);
    HKEY key = nullptr;
    LONG rc = createKeyWithDefault(classKey, entry.name.c_str(), &key);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    if (entry.filter && thisModule().merit != 0)
        rc = setDwordValue(key, "Merit", thisModule().merit);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    HKEY server = nullptr;
    rc = createKeyWithDefault(classKey + "\\InprocServer32", libraryPath.c_str(), &server);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    rc = setStringValue(server, "ThreadingModel", "Both");
    RegCloseKey(server);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    if (!entry.filter) return S_OK;
    rc = createKeyWithDefault(classKey, entry.name.c_str());
    if (rc == ERROR_SUCCESS) rc = registerPins(classKey);
    if (rc == ERROR_SUCCESS)
        rc = createKeyWithDefault("Filter\\" + guidString(entry.classId), entry.name.c_str());
    return HRESULT_FROM_WIN32(rc);
}

// Removes the filter's and the property page's entries, the filter's own registrations first.
HRESULT unregisterClasses() {
    std::vector<ClassEntry> table = classTable();
    for (auto entry = table.rbegin(); entry != table.rend(); ++entry) {
        IAMovieSetup* setup = nullptr;
        HRESULT hr = CoCreateInstance(entry->classId, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IAMovieSetup, reinterpret_cast<void**>(&setup));
        if (SUCCEEDED(hr)) {
            hr = setup->Unregister();
            setup->Release();
        }
        if (FAILED(hr) && hr != E_NOINTERFACE && hr != kFilterNotRegistered &&
            hr != REGDB_E_CLASSNOTREG)
            return hr;
        const LONG rc = deleteKeyTree("CLSID\\" + guidString(entry->classId));
        if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

// Holds the registry's lock across one library's registration or unregistration, so that a
// concurrent one of the same library sees its entry whole or not at all. Nothing is written
// unless the whole operation succeeded.
class RegistryTransaction {
  public:
    RegistryTransaction() : rc_(PlatformRegistryBeginTransaction()) {}
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;
    ~RegistryTransaction() {
        if (rc_ == ERROR_SUCCESS && !ended_) PlatformRegistryEndTransaction(FALSE);
    }
    LONG began() const { return rc_; }
    // Ends and writes when result succeeded; the write's failure becomes the result.
    HRESULT end(HRESULT result) {
        ended_ = true;
        const LONG rc = PlatformRegistryEndTransaction(SUCCEEDED(result) ? TRUE : FALSE);
        return SUCCEEDED(result) && rc != ERROR_SUCCESS ? HRESULT_FROM_WIN32(rc) : result;
    }

  private:
    LONG rc_;
    bool ended_ = false;
};

// Loading and unloading let nothing out: a library without a default set starts every instance
// from its own defaults.
__attribute__((constructor)) void attachLibrary() {
    setModuleHandle(PlatformModuleFromAddress(reinterpret_cast<const void*>(&attachLibrary)));
    runOrStop([] { setDefaultParameterSet(thisModule().createParameters()); });
}

__attribute__((destructor)) void detachLibrary() {
    if (ParameterSet* defaults = defaultParameterSet()) {
        setDefaultParameterSet(nullptr);
        runOrStop([&] { defaults->release(); });
    }
}

} // namespace
} // namespace orq

using namespace orq;

// The exports. None lets an exception out: the component server's answer E_OUTOFMEMORY or
// E_FAIL, the Vc... family's 0 ("nothing found", "not done"). Thread tags and allocation are
// given with their types in runtime/host_extension.h.

// [any-thread] allocates the class factory. Failure: E_OUTOFMEMORY or E_FAIL.
DX_EXPORT HRESULT DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    return componentResult([&]() -> HRESULT {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        const PluginModule& m = thisModule();
        const bool filter = classId == m.filterClassId;
        if (!filter && classId != m.pageClassId) return CLASS_E_CLASSNOTAVAILABLE;
        if (iid != IID_IClassFactory && iid != IID_IUnknown) return E_NOINTERFACE;
        auto* factory = new (std::nothrow) ClassFactory(filter);
        if (factory == nullptr) return E_OUTOFMEMORY;
        return GetInterface<IClassFactory>(factory, object);
    });
}

// [any-thread] no allocation.
DX_EXPORT HRESULT DllCanUnloadNow() {
    return InterlockedExchangeAdd(&serverLocks, 0) > 0 ||
                   InterlockedExchangeAdd(&componentObjects, 0) > 0
               ? S_FALSE
               : S_OK;
}

// [ui-thread] allocates. Failure: E_OUTOFMEMORY or E_FAIL.
DX_EXPORT HRESULT DllRegisterServer() {
    return componentResult([&]() -> HRESULT {
        char path[4096];
        if (GetModuleFileNameA(moduleHandle(), path, sizeof path) == 0) return E_FAIL;
        RegistryTransaction transaction;
        if (transaction.began() != ERROR_SUCCESS) return HRESULT_FROM_WIN32(transaction.began());
        HRESULT result = S_OK;
        for (const ClassEntry& entry : classTable())
            if (SUCCEEDED(result)) result = registerClass(entry, path);
        return transaction.end(result);
    });
}

// [ui-thread] allocates. Failure: E_OUTOFMEMORY or E_FAIL.
DX_EXPORT HRESULT DllUnregisterServer() {
    return componentResult([&]() -> HRESULT {
        RegistryTransaction transaction;
        if (transaction.began() != ERROR_SUCCESS) return HRESULT_FROM_WIN32(transaction.began());
        return transaction.end(unregisterClasses());
    });
}

// [any-thread] no allocation.
DX_EXPORT int32_t VcGetNumberOfPlugIns() {
    return kPluginRows;
}

// [any-thread] no allocation. Failure: 0.
DX_EXPORT int32_t VcGetPlugInNameFromDll(int32_t index, char* name, int32_t length, int32_t* kind) {
    return answerOrFailure(0, [&]() -> int32_t {
        if (index < 0 || index >= kPluginRows) return 0;
        const PluginModule& m = thisModule();
        if (name != nullptr && length > 0) {
            const size_t n = std::strlen(m.name);
            const size_t copied =
                n < size_t(length) ? n + 1 : size_t(length); // no terminator when full
            std::memcpy(name, m.name, copied < n ? copied : n);
            if (copied > n) name[n] = '\0';
        }
        if (kind != nullptr) *kind = m.vcKind;
        return 1;
    });
}

// [any-thread] no allocation. Failure: 0.
DX_EXPORT int32_t VcGetCreatorOfPlugIn(const char* name, int32_t kind, CreateEffectFn* effect,
                                       CreateEditorFn* editor, CreateParametersFn* parameters) {
    return answerOrFailure(0, [&]() -> int32_t {
        const PluginModule& m = thisModule();
        if (name == nullptr || std::strcmp(name, m.name) != 0 || kind != m.vcKind) return 0;
        if (effect != nullptr) *effect = createEffect;
        if (editor != nullptr) *editor = createEditor;
        if (parameters != nullptr) *parameters = createParameters;
        return 1;
    });
}

// [ui-thread] no allocation here (the host's register function may allocate). Failure: 0.
DX_EXPORT int32_t VcRegisterAllPlugIn(const HostCallbackRecord* record) {
    return answerOrFailure(0, [&]() -> int32_t {
        if (record == nullptr) return 1;
        storeCallbacks(record);
        if (record->registerPlugin != nullptr)
            record->registerPlugin(thisModule().name, createEffect, createEditor, createParameters,
                                   thisModule().vcKind);
        return 1;
    });
}

// [ui-thread] no allocation. Failure: 0.
DX_EXPORT int32_t VcSetCallbacks(const HostCallbackRecord* record) {
    return answerOrFailure(0, [&]() -> int32_t {
        if (record != nullptr) storeCallbacks(record);
        return 1;
    });
}

// [ui-thread] no allocation.
DX_EXPORT HWND VcSetApplicationWindow(HWND window) {
    setApplicationWindow(window);
    return window;
}

// [any-thread] no allocation.
DX_EXPORT int32_t VcIsAdditionalPlugInDll() {
    return 1;
}

// [any-thread] no allocation; answers a count, nothing in it can fail.
DX_EXPORT int32_t VcCanUnloadDll() {
    return liveObjectCount();
}
