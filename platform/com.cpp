// Component object model: interface ids, GUID strings, task memory.
#include <objbase.h>

#include <cstdio>
#include <cstdlib>

extern "C" {

// {00000000-0000-0000-C000-000000000046} and its relatives: the well-known interface ids.
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IStream = {0x0000000c, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersist = {0x0000010c, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistStream = {0x00000109, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPropertyPage = {
    0xB196B28D, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IPropertyPageSite = {
    0xB196B28C, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

int PlatformStringFromGUID(REFGUID g, char* buffer, int size) {
    constexpr int kGuidChars = 39; // braces, 32 digits, 4 dashes and the terminator
    if (buffer == nullptr || size < kGuidChars) return 0;
    std::snprintf(buffer, static_cast<size_t>(size),
                  "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return kGuidChars;
}

int StringFromGUID2(REFGUID guid, LPWSTR buffer, int size) {
    char narrow[39];
    if (buffer == nullptr || PlatformStringFromGUID(guid, narrow, sizeof narrow) == 0 || size < 39)
        return 0;
    for (int i = 0; i < 39; ++i)
        buffer[i] = static_cast<WCHAR>(narrow[i]);
    return 39;
}

HRESULT PlatformGUIDFromString(const char* text, GUID* guid) {
    if (text == nullptr || guid == nullptr) return E_INVALIDARG;
    unsigned d1 = 0, d2 = 0, d3 = 0, b[8] = {};
    int consumed = 0;
    if (std::sscanf(text, "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &d1, &d2, &d3, &b[0], &b[1],
                    &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &consumed) != 11 ||
        consumed != 38 || text[38] != '\0')
        return E_INVALIDARG;
    guid->Data1 = d1;
    guid->Data2 = static_cast<uint16_t>(d2);
    guid->Data3 = static_cast<uint16_t>(d3);
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = static_cast<uint8_t>(b[i]);
    return S_OK;
}

HRESULT CLSIDFromString(LPCWSTR text, CLSID* classId) {
    if (text == nullptr) return E_INVALIDARG;
    char narrow[40] = {};
    int i = 0;
    for (; i < 39 && text[i] != 0; ++i) {
        if (text[i] > 0x7f) return E_INVALIDARG;
        narrow[i] = static_cast<char>(text[i]);
    }
    return PlatformGUIDFromString(narrow, classId);
}

void* CoTaskMemAlloc(size_t size) {
    return std::malloc(size);
}
void CoTaskMemFree(void* memory) {
    std::free(memory);
}
HRESULT CoInitialize(void*) {
    return S_OK;
}
void CoUninitialize() {}

} // extern "C"

// In-process object creation ----------------------------------------------------------------------

#include <dlfcn.h>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);

// Libraries stay loaded for the life of the process once an object came from them, as an
// in-process server may not be unloaded while it serves.
std::mutex loadedMutex;
std::unordered_map<std::string, void*> loadedLibraries;

HRESULT inprocServerPath(REFCLSID classId, std::string* path) {
    char id[40];
    PlatformStringFromGUID(classId, id, sizeof id);
    const std::string keyName = std::string("CLSID\\") + id + "\\InprocServer32";
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    char value[4096];
    DWORD size = sizeof value, type = REG_NONE;
    rc = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ || size == 0) return REGDB_E_CLASSNOTREG;
    value[sizeof value - 1] = '\0';
    *path = value;
    return S_OK;
}

} // namespace

extern "C" HRESULT CoGetClassObject(REFCLSID classId, DWORD context, void*, REFIID iid,
                                    void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    std::string path;
    HRESULT hr = inprocServerPath(classId, &path);
    if (FAILED(hr)) return hr;
    void* library = nullptr;
    {
        std::lock_guard<std::mutex> guard(loadedMutex);
        auto found = loadedLibraries.find(path);
        if (found != loadedLibraries.end()) {
            library = found->second;
        } else {
            library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (library == nullptr) return CO_E_DLLNOTFOUND;
            loadedLibraries.emplace(path, library);
        }
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(library, "DllGetClassObject"));
    if (getClassObject == nullptr) return CO_E_ERRORINDLL;
    return getClassObject(classId, iid, object);
}

extern "C" HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID iid,
                                    void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(classId, context, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, iid, object);
    factory->Release();
    return hr;
}
