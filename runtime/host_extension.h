// Types of the host extension exports (the Vc... family) shared by the libraries and hosts.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <objbase.h>
#include <windows.h>

namespace orq {

// The creators of a row of the plug-in table. [ui-thread] allocate; any failure is a null
// result. A foreign parameter set given to create-effect gives only what it names with the
// plug-in's own keys.
using CreateEffectFn = PluginRecord* (*)(HostCallback host, void* hostObject,
                                         ParameterInterface* parameters);
using CreateEditorFn = void* (*)(ParameterInterface* parameters);
using CreateParametersFn = ParameterInterface* (*)();
using RegisterPluginFn = void (*)(const char* name, CreateEffectFn effect, CreateEditorFn editor,
                                  CreateParametersFn parameters, int32_t kind);
using SettingsDialogFn = int32_t (*)(HWND owner, const char* pluginName,
                                     ParameterInterface* parameters, const char* programName);
using ThreadStartFn = uintptr_t (*)(void* security, unsigned stackSize, ThreadStartRoutine start,
                                    void* argument, unsigned flags, unsigned* threadId);
using ThreadEndFn = void (*)(unsigned exitCode);

// Passed by a host; read field by field. The library calls registerPlugin on the thread of
// VcRegisterAllPlugIn, messageHook and settingsDialog on an editor's user-interface thread,
// threadStart on the thread that opens an editor and threadEnd on the editor's own thread.
struct HostCallbackRecord {
    RegisterPluginFn registerPlugin;
    void (*messageHook)(void* message);
    SettingsDialogFn settingsDialog;
    ThreadStartFn threadStart;
    ThreadEndFn threadEnd;
    void* unused;
    uintptr_t hostValue; // the resource module handed to the editors' bitmap loading
};

} // namespace orq

// The exports. None lets an exception out; failures answer 0 (the component server's,
// E_OUTOFMEMORY or E_FAIL).
//   VcGetNumberOfPlugIns, VcGetPlugInNameFromDll, VcGetCreatorOfPlugIn, VcIsAdditionalPlugInDll,
//   VcCanUnloadDll: [any-thread] no allocation.
//   VcRegisterAllPlugIn, VcSetCallbacks, VcSetApplicationWindow: [ui-thread] no allocation in
//   the library (the host's register function may allocate).
//   DllGetClassObject: [any-thread] allocates the class factory. DllCanUnloadNow: [any-thread]
//   no allocation. DllRegisterServer, DllUnregisterServer: [ui-thread] allocate.
extern "C" {
using VcGetNumberOfPlugInsFn = int32_t (*)();
using VcGetPlugInNameFromDllFn = int32_t (*)(int32_t index, char* name, int32_t length,
                                             int32_t* kind);
using VcGetCreatorOfPlugInFn = int32_t (*)(const char* name, int32_t kind,
                                           orq::CreateEffectFn* effect, orq::CreateEditorFn* editor,
                                           orq::CreateParametersFn* parameters);
using VcRegisterAllPlugInFn = int32_t (*)(const orq::HostCallbackRecord* callbacks);
using VcSetCallbacksFn = int32_t (*)(const orq::HostCallbackRecord* callbacks);
using VcSetApplicationWindowFn = HWND (*)(HWND window);
using VcIsAdditionalPlugInDllFn = int32_t (*)();
using VcCanUnloadDllFn = int32_t (*)();
using DllGetClassObjectFn = HRESULT (*)(const CLSID& classId, const IID& iid, void** object);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
}
