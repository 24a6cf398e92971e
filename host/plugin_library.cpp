#include "host/plugin_library.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace orq::host {

namespace fs = std::filesystem;

namespace {

std::string registryFailure(LONG rc) {
    char text[1024] = {};
    PlatformRegistryError(text, sizeof text);
    std::string message = text[0] != '\0' ? text : "registry error " + std::to_string(rc);
    if (rc == ERROR_BADDB) {
        // The file cannot be read at all (corrupt, not a file, unreadable): no call gets past
        // it until it is mended or gone, and a removed registry is an empty one.
        char path[4096] = {};
        PlatformRegistryPath(path, sizeof path);
        message += std::string("; repair it, or remove it (rm '") + path +
                   "') and register the plug-in libraries again";
    }
    return message;
}

std::optional<std::string> readString(HKEY root, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    char value[4096];
    DWORD size = sizeof value, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    value[sizeof value - 1] = '\0';
    return std::string(value);
}

std::optional<DWORD> readDword(const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0, size = sizeof value, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
    return value;
}

template <class F> F symbol(void* handle, const char* name) {
    return reinterpret_cast<F>(dlsym(handle, name));
}

std::string executableFolder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    return fs::path(path).parent_path().string();
}

} // namespace

namespace {

// Calls visit(id, classId) for every key under Filter until it returns true. Every registry
// call reads the registry file, so callers read only the values they need.
template <class Visit> void forEachFilterKey(Visit visit) {
    HKEY root = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, "Filter", 0, KEY_READ, &root);
    if (rc == ERROR_FILE_NOT_FOUND) return;
    if (rc != ERROR_SUCCESS) throw std::runtime_error(registryFailure(rc));
    std::vector<std::string> ids;
    char id[MAX_PATH + 1];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof id;
        rc = RegEnumKeyExA(root, i, id, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) {
            RegCloseKey(root);
            throw std::runtime_error(registryFailure(rc));
        }
        ids.emplace_back(id);
    }
    RegCloseKey(root);
    for (const std::string& key : ids) {
        CLSID classId{};
        if (FAILED(PlatformGUIDFromString(key.c_str(), &classId))) continue;
        if (visit(key, classId)) return;
    }
}

std::string filterName(const std::string& id) {
    return readString(HKEY_CLASSES_ROOT, "Filter\\" + id, nullptr).value_or("");
}

std::string filterLibrary(const std::string& id) {
    return readString(HKEY_CLASSES_ROOT, "CLSID\\" + id + "\\InprocServer32", nullptr).value_or("");
}

} // namespace

std::optional<std::string> registryProblem() {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    return registryFailure(rc);
}

std::vector<RegisteredFilter> registeredFilters() {
    std::vector<RegisteredFilter> filters;
    forEachFilterKey([&](const std::string& id, const CLSID& classId) {
        RegisteredFilter f;
        f.classId = classId;
        f.name = filterName(id);
        f.libraryPath = filterLibrary(id);
        f.merit = readDword("CLSID\\" + id, "Merit");
        filters.push_back(f);
        return false;
    });
    return filters;
}

PluginLibrary loadLibrary(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) throw std::runtime_error("no plug-in library '" + path + "'");
    PluginLibrary lib;
    lib.path = fs::absolute(path, ec).string();
    lib.handle = dlopen(lib.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib.handle == nullptr) throw std::runtime_error("cannot load '" + path + "': " + dlerror());
    lib.getNumberOfPlugIns = symbol<VcGetNumberOfPlugInsFn>(lib.handle, "VcGetNumberOfPlugIns");
    lib.getPlugInName = symbol<VcGetPlugInNameFromDllFn>(lib.handle, "VcGetPlugInNameFromDll");
    lib.getCreator = symbol<VcGetCreatorOfPlugInFn>(lib.handle, "VcGetCreatorOfPlugIn");
    lib.canUnload = symbol<VcCanUnloadDllFn>(lib.handle, "VcCanUnloadDll");
    lib.getClassObject = symbol<DllGetClassObjectFn>(lib.handle, "DllGetClassObject");
    lib.canUnloadNow = symbol<DllCanUnloadNowFn>(lib.handle, "DllCanUnloadNow");
    lib.registerServer = symbol<DllRegisterServerFn>(lib.handle, "DllRegisterServer");
    lib.unregisterServer = symbol<DllRegisterServerFn>(lib.handle, "DllUnregisterServer");
    if (lib.getNumberOfPlugIns == nullptr || lib.getPlugInName == nullptr ||
        lib.getCreator == nullptr)
        throw std::runtime_error("'" + path + "' is not a plug-in library of this suite");
    char name[64] = {};
    if (lib.getNumberOfPlugIns() > 0 && lib.getPlugInName(0, name, sizeof name - 1, &lib.kind) == 1)
        lib.name = name;
    return lib;
}

std::string pluginFolder() {
    if (const char* path = std::getenv("ORQ_PLUGIN_PATH"); path != nullptr && *path != '\0')
        return path;
    return (fs::path(executableFolder()).parent_path() / "plugins").string();
}

std::vector<std::string> libraryFilesInFolder() {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(pluginFolder(), ec)) {
        const std::string file = entry.path().filename().string();
        if (file.size() > 6 && file.ends_with("_dx.so")) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

PluginTarget findPlugin(const std::string& nameOrPath) {
    const bool isPath = nameOrPath.find('/') != std::string::npos || nameOrPath.ends_with(".so");
    std::string libraryPath;
    if (isPath) {
        std::error_code ec;
        libraryPath = fs::canonical(nameOrPath, ec).string();
        if (ec) throw std::runtime_error("no plug-in library '" + nameOrPath + "'");
    }
    // A library named by its path runs on the host extension road without the registry, so
    // a registry that cannot be read stops only the component road.
    if (isPath) {
        if (std::optional<std::string> problem = registryProblem()) {
            PluginTarget target{loadLibrary(libraryPath), std::nullopt, {}};
            target.registryProblem = *problem;
            return target;
        }
    }
    // By name, only the names are read until one matches.
    std::optional<PluginTarget> found;
    forEachFilterKey([&](const std::string& id, const CLSID& classId) {
        std::error_code ec;
        if (isPath) {
            const std::string library = filterLibrary(id);
            if (!fs::equivalent(library, libraryPath, ec)) return false;
            found = PluginTarget{loadLibrary(library), classId, {}};
        } else {
            if (filterName(id) != nameOrPath) return false;
            found = PluginTarget{loadLibrary(filterLibrary(id)), classId, {}};
        }
        return true;
    });
    if (found) return *found;
    if (isPath) return {loadLibrary(libraryPath), std::nullopt, {}};
    for (const std::string& file : libraryFilesInFolder()) {
        PluginLibrary lib = loadLibrary(file);
        if (lib.name == nameOrPath) return {lib, std::nullopt, {}};
    }
    throw std::runtime_error("no plug-in named '" + nameOrPath + "' (see 'orq list')");
}

std::optional<CLSID> registeredPropertyPage(const PluginLibrary& library) {
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &root) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::string> ids;
    char id[MAX_PATH + 1];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof id;
        if (RegEnumKeyExA(root, i, id, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        ids.emplace_back(id);
    }
    RegCloseKey(root);
    const std::string pageName = library.name + " PropertyPage";
    for (const std::string& key : ids) {
        if (readString(HKEY_CLASSES_ROOT, "CLSID\\" + key, nullptr) != pageName) continue;
        CLSID classId{};
        if (SUCCEEDED(PlatformGUIDFromString(key.c_str(), &classId))) return classId;
    }
    return std::nullopt;
}

} // namespace orq::host
