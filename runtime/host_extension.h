// Types of the host extension exports (the Vc... family) shared by the libraries and hosts.
#pragma once

#include "runtime/audio_plugin.h"
#include "runtime/parameter_set.h"

#include <objbase.h>
#include <windows.h>

namespace orq {

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

// Passed by a host; read field by field.
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
