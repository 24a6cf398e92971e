// A deliverable as hosts see it: loaded with dlopen, used only through its exports.
#include "runtime/audio_transform_filter.h"
#include "runtime/host_extension.h"
#include "runtime/window_messages.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace orq;

namespace {

constexpr CLSID kFilterId = {
    0x7a1c3e50, 0x6b2e, 0x4e8a, {0x9d, 0x13, 0x47, 0xc0, 0xb8, 0xe2, 0x1a, 0x7f}};
constexpr CLSID kPageId = {
    0x7a1c3e51, 0x6b2e, 0x4e8a, {0x9d, 0x13, 0x47, 0xc0, 0xb8, 0xe2, 0x1a, 0x7f}};
const std::string kLibrary = ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so";

template <class F> F exported(void* library, const char* name) {
    auto f = reinterpret_cast<F>(dlsym(library, name));
    EXPECT_NE(f, nullptr) << name;
    return f;
}

// The host's "AudioEngine" window: counts the messages the library posts.
struct EngineWindow {
    static inline int idleMessages = 0;
    static inline LPARAM lastModule = 0;
    HWND window = nullptr;
    EngineWindow() {
        WNDCLASSA wc{};
        wc.lpszClassName = "AudioEngine";
        wc.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == kMsgLibraryIdle) {
                ++idleMessages;
                lastModule = lp;
                return 0;
            }
            return DefWindowProcA(w, m, wp, lp);
        };
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "AudioEngine", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                 nullptr);
        idleMessages = 0;
    }
    ~EngineWindow() {
        DestroyWindow(window);
        UnregisterClassA("AudioEngine", nullptr);
    }
    int pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        return idleMessages;
    }
};

class Deliverable : public ::testing::Test {
  protected:
    void SetUp() override {
        registry_ = fs::temp_directory_path() / ("orq-module-" + std::to_string(::getpid()));
        fs::create_directories(registry_);
        setenv("ORQ_REGISTRY", (registry_ / "registry").c_str(), 1);
        library_ = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
    }
    void TearDown() override { fs::remove_all(registry_); }

    static DWORD readDword(const std::string& key, const char* name) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return 0xdead;
        DWORD v = 0, size = sizeof v, type = 0;
        LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
        RegCloseKey(k);
        return rc == ERROR_SUCCESS ? v : 0xdead;
    }
    static std::string readString(const std::string& key, const char* name) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return "<no key>";
        char value[4096] = {};
        DWORD size = sizeof value, type = 0;
        LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(k);
        return rc == ERROR_SUCCESS && type == REG_SZ ? value : "<no value>";
    }
    static bool keyExists(const std::string& key) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return false;
        RegCloseKey(k);
        return true;
    }
    static std::string id(const CLSID& c) {
        char text[40];
        PlatformStringFromGUID(c, text, sizeof text);
        return text;
    }

    fs::path registry_;
    void* library_ = nullptr;
};

} // namespace

TEST_F(Deliverable, registration_writes_the_class_keys_and_unregistration_removes_them) {
    auto registerServer = exported<DllRegisterServerFn>(library_, "DllRegisterServer");
    auto unregisterServer = exported<DllRegisterServerFn>(library_, "DllUnregisterServer");
    ASSERT_EQ(registerServer(), S_OK);
    const std::string filter = "CLSID\\" + id(kFilterId), page = "CLSID\\" + id(kPageId);
    EXPECT_EQ(readDword(filter + "\\Pins\\Output", "Direction"), 1u);
    EXPECT_EQ(readDword(filter + "\\Pins\\Input", "Direction"), 0u);
    EXPECT_EQ(readDword(filter + "\\Pins\\Input", "AllowedMany"), 0u);
    EXPECT_TRUE(keyExists(filter + "\\Pins\\Input\\Types\\{73647561-0000-0010-8000-00AA00389B71}\\"
                                   "{00000000-0000-0000-0000-000000000000}"));
    EXPECT_EQ(readDword(filter, "Merit"), 0xdeadu) << "this library writes no merit";
    EXPECT_TRUE(keyExists("Filter\\" + id(kFilterId)));
    EXPECT_EQ(readString(filter, nullptr), "Orq Passthrough");
    EXPECT_EQ(readString(page, nullptr), "Orq Passthrough PropertyPage");
    EXPECT_EQ(readString(page + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(readString(filter + "\\InprocServer32", nullptr), fs::canonical(kLibrary).string());
    EXPECT_EQ(readString("Filter\\" + id(kFilterId), nullptr), "Orq Passthrough");
    EXPECT_FALSE(keyExists(page + "\\Pins"));
    EXPECT_FALSE(keyExists("Filter\\" + id(kPageId)));

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_FALSE(keyExists(filter));
    EXPECT_FALSE(keyExists(page));
    EXPECT_FALSE(keyExists("Filter\\" + id(kFilterId)))
        << "the filter's own unregistration removes it";
    EXPECT_EQ(unregisterServer(), S_OK) << "keys already gone count as removed";
}

// Two processes, one registering and one unregistering the same library, released at once:
// afterwards every key the registration writes is there, or none is.
TEST_F(Deliverable, concurrent_register_and_unregister_leave_the_entry_whole_or_absent) {
    auto registerServer = exported<DllRegisterServerFn>(library_, "DllRegisterServer");
    auto unregisterServer = exported<DllRegisterServerFn>(library_, "DllUnregisterServer");
    const std::string filter = "CLSID\\" + id(kFilterId), page = "CLSID\\" + id(kPageId);
    const std::string libraryPath = fs::canonical(kLibrary).string();
    constexpr int kRounds = 30;
    int partialRounds = 0, completeRounds = 0;
    for (int round = 0; round < kRounds; ++round) {
        int start[2];
        ASSERT_EQ(pipe(start), 0);
        pid_t children[2];
        for (int which = 0; which < 2; ++which) {
            children[which] = fork();
            ASSERT_GE(children[which], 0);
            if (children[which] == 0) {
                close(start[1]);
                char go = 0;
                if (read(start[0], &go, 1) != 1) _exit(3);
                const HRESULT hr = which == 0 ? registerServer() : unregisterServer();
                _exit(hr == S_OK ? 0 : 1);
            }
        }
        close(start[0]);
        ASSERT_EQ(write(start[1], "gg", 2), 2); // both children start at once
        close(start[1]);
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "round " << round << ": a registration call failed, status " << status;
        }
        const bool complete =
            readString(filter, nullptr) == "Orq Passthrough" &&
            readString(filter + "\\InprocServer32", nullptr) == libraryPath &&
            readString(filter + "\\InprocServer32", "ThreadingModel") == "Both" &&
            readDword(filter + "\\Pins\\Input", "Direction") == 0u &&
            readDword(filter + "\\Pins\\Output", "Direction") == 1u &&
            readString("Filter\\" + id(kFilterId), nullptr) == "Orq Passthrough" &&
            readString(page, nullptr) == "Orq Passthrough PropertyPage" &&
            readString(page + "\\InprocServer32", nullptr) == libraryPath;
        const bool absent =
            !keyExists(filter) && !keyExists(page) && !keyExists("Filter\\" + id(kFilterId));
        if (complete) ++completeRounds;
        if (!complete && !absent) {
            ++partialRounds;
            ADD_FAILURE() << "round " << round << ": partial entry, library path \""
                          << readString(filter + "\\InprocServer32", nullptr) << "\"";
        }
        ASSERT_EQ(unregisterServer(), S_OK); // the next round starts from nothing
    }
    EXPECT_EQ(partialRounds, 0) << "of " << kRounds << " rounds (" << completeRounds
                                << " ended registered)";
}

TEST_F(Deliverable, class_factory_and_unloading_follow_the_live_filter) {
    auto getClassObject = exported<DllGetClassObjectFn>(library_, "DllGetClassObject");
    auto canUnloadNow = exported<DllCanUnloadNowFn>(library_, "DllCanUnloadNow");
    auto canUnload = exported<VcCanUnloadDllFn>(library_, "VcCanUnloadDll");
    void* object = nullptr;
    EXPECT_EQ(getClassObject(GUID_NULL, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject(kFilterId, IID_IStream, &object), E_NOINTERFACE);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(kFilterId, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(canUnload(), 1);
    factory->LockServer(TRUE);
    filter->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the server lock holds it";
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow(), S_OK);
    EXPECT_EQ(canUnload(), 0);
    factory->Release();
}

TEST_F(Deliverable, host_extension_exports_answer_by_index_name_and_kind) {
    auto count = exported<VcGetNumberOfPlugInsFn>(library_, "VcGetNumberOfPlugIns");
    auto name = exported<VcGetPlugInNameFromDllFn>(library_, "VcGetPlugInNameFromDll");
    auto creator = exported<VcGetCreatorOfPlugInFn>(library_, "VcGetCreatorOfPlugIn");
    EXPECT_EQ(count(), 1);
    char text[64] = "untouched";
    int32_t kind = -7;
    EXPECT_EQ(name(-1, text, sizeof text, &kind), 0);
    EXPECT_EQ(name(1, text, sizeof text, &kind), 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(kind, -7);
    ASSERT_EQ(name(0, text, sizeof text, &kind), 1);
    EXPECT_STREQ(text, "Orq Passthrough");
    EXPECT_EQ(kind, 1);
    char tight[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(name(0, tight, 3, &kind), 1);
    EXPECT_EQ(std::string(tight, 4), "Orqx")
        << "at most length characters, no terminator when full";
    CreateEffectFn effect = nullptr;
    CreateEditorFn editor = nullptr;
    CreateParametersFn parameters = nullptr;
    EXPECT_EQ(creator("Orq Passthrough", 6, &effect, &editor, &parameters), 0)
        << "right name, wrong kind";
    EXPECT_EQ(creator("orq passthrough", 1, &effect, &editor, &parameters), 0)
        << "names are case-sensitive";
    EXPECT_EQ(creator("Orq Passthrough", 1, &effect, &editor, &parameters), 1);
    EXPECT_NE(effect, nullptr);
}

TEST_F(Deliverable, last_object_gone_posts_library_idle_once_whichever_road_created_it) {
    EngineWindow engine;
    auto creator = exported<VcGetCreatorOfPlugInFn>(library_, "VcGetCreatorOfPlugIn");
    auto canUnload = exported<VcCanUnloadDllFn>(library_, "VcCanUnloadDll");
    auto getClassObject = exported<DllGetClassObjectFn>(library_, "DllGetClassObject");
    CreateEffectFn effect = nullptr;
    CreateEditorFn editor = nullptr;
    CreateParametersFn parameters = nullptr;
    ASSERT_EQ(creator("Orq Passthrough", 1, &effect, &editor, &parameters), 1);

    PluginRecord* plugin = effect(nullptr, nullptr, nullptr);
    ParameterInterface* set = parameters();
    ASSERT_NE(plugin, nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(canUnload(), 2);
    plugin->dispatcher(plugin, kCmdCloseAll, nullptr, 0); // releases the plug-in
    EXPECT_EQ(engine.pump(), 0) << "a parameter set is still alive";
    ParameterInterface* clone = set->clone(set);
    set->release(set);
    EXPECT_EQ(canUnload(), 1);
    clone->release(clone);
    EXPECT_EQ(engine.pump(), 1);
    EXPECT_EQ(canUnload(), 0);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(kFilterId, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    factory->Release();
    EXPECT_EQ(canUnload(), 1);
    filter->Release();
    EXPECT_EQ(canUnload(), 0);
    EXPECT_EQ(engine.pump(), 2) << "once more for the filter";
}

// The editor road of a host of the Vc family: create-editor gives a record of the library's
// editor (counted live), the plug-in's command 0x40 opens it in an "AudioUI" window owned by the
// application window, 0x41 closes and destroys it.
TEST_F(Deliverable, create_editor_and_open_editor_command_build_the_plugins_editor_window) {
    EngineWindow engine;
    auto creator = exported<VcGetCreatorOfPlugInFn>(library_, "VcGetCreatorOfPlugIn");
    auto canUnload = exported<VcCanUnloadDllFn>(library_, "VcCanUnloadDll");
    auto setApplication = exported<VcSetApplicationWindowFn>(library_, "VcSetApplicationWindow");
    CreateEffectFn effect = nullptr;
    CreateEditorFn editor = nullptr;
    CreateParametersFn parameters = nullptr;
    ASSERT_EQ(creator("Orq Passthrough", 1, &effect, &editor, &parameters), 1);
    HWND application = CreateWindowExA(0, "AudioEngine", "application", WS_OVERLAPPED, 0, 0, 10, 10,
                                       nullptr, nullptr, nullptr, nullptr);
    setApplication(application);

    auto* record = static_cast<EditorRecord*>(editor(nullptr));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, kEditorRecordMagic);
    EXPECT_EQ(canUnload(), 1) << "the editor is a live object";
    RECT size{};
    record->dispatch(record, kEdGetSize, &size, 0);
    EXPECT_GT(size.right, 0);
    record->dispatch(record, kEdDestroy, nullptr, 0);
    EXPECT_EQ(canUnload(), 0);

    PluginRecord* plugin = effect(nullptr, nullptr, nullptr);
    ASSERT_NE(plugin, nullptr);
    OpenFormat format{44100, 2, 0};
    plugin->dispatcher(plugin, kCmdOpen, &format, 0);
    ASSERT_EQ(plugin->dispatcher(plugin, kCmdOpenEditor, reinterpret_cast<void*>(editor), 0), 1);
    EXPECT_EQ(canUnload(), 2);
    HWND frame = FindWindowA("AudioUI", nullptr);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(GetWindow(frame, GW_OWNER), application);
    EXPECT_TRUE(IsWindowVisible(frame));
    plugin->dispatcher(plugin, kCmdCloseEditor, nullptr, 0);
    EXPECT_EQ(FindWindowA("AudioUI", nullptr), nullptr);
    EXPECT_EQ(canUnload(), 1);
    plugin->dispatcher(plugin, kCmdCloseAll, nullptr, 0);
    EXPECT_EQ(canUnload(), 0);
    setApplication(nullptr);
    DestroyWindow(application);
    engine.pump();
}

// The property page shows the editor of the filter it is given inside the page frame's window,
// attached to the filter's plug-in, and removes it on deactivation.
TEST_F(Deliverable, property_page_shows_the_filters_editor_inside_the_frame_window) {
    auto getClassObject = exported<DllGetClassObjectFn>(library_, "DllGetClassObject");
    auto canUnload = exported<VcCanUnloadDllFn>(library_, "VcCanUnloadDll");
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(kFilterId, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              S_OK);
    factory->Release();
    ASSERT_EQ(getClassObject(kPageId, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IPropertyPage* page = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page)),
              S_OK);
    factory->Release();

    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.lpszClassName = "PageFrame";
    RegisterClassA(&wc);
    HWND frame = CreateWindowExA(0, "PageFrame", "page", WS_OVERLAPPED, 0, 0, 400, 300, nullptr,
                                 nullptr, nullptr, nullptr);
    IUnknown* objects[] = {filter};
    EXPECT_EQ(page->SetObjects(1, objects), S_OK);
    ASSERT_EQ(page->Activate(frame, nullptr, FALSE), S_OK);
    HWND client = GetWindow(frame, GW_CHILD);
    ASSERT_NE(client, nullptr) << "the editor's content is a child of the frame window";
    char className[32] = {};
    GetClassNameA(client, className, sizeof className);
    EXPECT_STREQ(className, "AudioUI");
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_GT(info.size.cx, 0);
    EXPECT_EQ(info.pszTitle[0], u'O');
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(canUnload(), 3) << "filter, page and the page's editor";
    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(client));
    EXPECT_EQ(canUnload(), 2);
    page->Release();
    filter->Release();
    EXPECT_EQ(canUnload(), 0);
    DestroyWindow(frame);
    UnregisterClassA("PageFrame", nullptr);
}

TEST_F(Deliverable, carries_its_own_resources_and_version) {
    HMODULE module = PlatformModuleFromAddress(
        reinterpret_cast<const void*>(dlsym(library_, "DllGetClassObject")));
    ASSERT_NE(module, nullptr);
    HRSRC background = FindResourceA(module, MAKEINTRESOURCEA(101), RT_BITMAP);
    ASSERT_NE(background, nullptr) << "error " << GetLastError();
    EXPECT_GT(SizeofResource(module, background), 40u);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), RT_GROUP_ICON), nullptr);

    // The about boxes' road: the library's file name, its version block, the product version.
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(module, path, sizeof path), 0u);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u) << path << ": error " << GetLastError();
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path, handle, size, block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion", &value,
                               &length));
    EXPECT_STREQ(static_cast<const char*>(value), ORQ_PROJECT_VERSION);
}
