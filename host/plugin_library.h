// Finding and loading the suite's libraries the way hosts do: by display name through the
// registry's Filter keys, or by library path; the host extension exports of a loaded library.
#pragma once

#include "runtime/host_extension.h"

#include <objbase.h>

#include <optional>
#include <string>
#include <vector>

namespace orq::host {

struct RegisteredFilter {
    std::string name;
    CLSID classId;
    std::string libraryPath;
    std::optional<DWORD> merit;
};

// Every filter registered under Filter\{id} with its class's library. Throws on a registry
// that cannot be read, naming its file and how to mend it.
std::vector<RegisteredFilter> registeredFilters();
// Why the registry cannot be read (one line naming its file and how to mend it), or nothing.
std::optional<std::string> registryProblem();

// A library loaded with dlopen; it stays loaded for the process's life.
struct PluginLibrary {
    std::string path;
    void* handle = nullptr;
    std::string name; // the first plug-in its host extension exports announce
    int32_t kind = 0;
    VcGetNumberOfPlugInsFn getNumberOfPlugIns = nullptr;
    VcGetPlugInNameFromDllFn getPlugInName = nullptr;
    VcGetCreatorOfPlugInFn getCreator = nullptr;
    VcCanUnloadDllFn canUnload = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
    DllRegisterServerFn registerServer = nullptr;
    DllRegisterServerFn unregisterServer = nullptr;
};
// Throws with one clear line when the file is missing or is not one of the suite's libraries.
PluginLibrary loadLibrary(const std::string& path);

// The folder the built libraries live in: $ORQ_PLUGIN_PATH, else ../plugins beside orq.
std::string pluginFolder();
// The *_dx.so libraries of the plug-in folder.
std::vector<std::string> libraryFilesInFolder();

// What `orq process NAME` runs: a registered filter (component road) or a library found by
// path or in the plug-in folder (host extension road only).
struct PluginTarget {
    PluginLibrary library;
    std::optional<CLSID> filterClassId;
    std::string registryProblem; // a library path found without the registry: why
};
PluginTarget findPlugin(const std::string& nameOrPath);

// The class id of the property page the library registered for its filter ("NAME
// PropertyPage" under CLSID), or none.
std::optional<CLSID> registeredPropertyPage(const PluginLibrary& library);

} // namespace orq::host
