// Component object model: GUIDs, IUnknown, class factories, streams, task memory and
// in-process object creation.
#pragma once

#include <windows.h>

#include <cstring>

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !IsEqualGUID(a, b);
}

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

  protected:
    ~IClassFactory() = default;
};

// Sequential byte streams (the subset persistence uses).
struct IStream : IUnknown {
    virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;

  protected:
    ~IStream() = default;
};

union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    };
    ULONGLONG QuadPart;
};

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* classId) = 0;

  protected:
    ~IPersist() = default;
};

struct IPersistStream : IPersist {
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(IStream* stream) = 0;
    virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0;
    virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;

  protected:
    ~IPersistStream() = default;
};

// OLE property pages (the subset a page and its frame use).
using LCID = DWORD;
struct PROPPAGEINFO {
    ULONG cb;
    LPWSTR pszTitle; // task memory, freed by the caller
    SIZE size;
    LPWSTR pszDocString;
    LPWSTR pszHelpFile;
    DWORD dwHelpContext;
};

struct IPropertyPageSite : IUnknown {
    virtual HRESULT OnStatusChange(DWORD flags) = 0;
    virtual HRESULT GetLocaleID(LCID* locale) = 0;
    virtual HRESULT GetPageContainer(IUnknown** container) = 0;
    virtual HRESULT TranslateAccelerator(MSG* message) = 0;

  protected:
    ~IPropertyPageSite() = default;
};

struct IPropertyPage : IUnknown {
    virtual HRESULT SetPageSite(IPropertyPageSite* site) = 0;
    virtual HRESULT Activate(HWND parent, const RECT* rect, BOOL modal) = 0;
    virtual HRESULT Deactivate() = 0;
    virtual HRESULT GetPageInfo(PROPPAGEINFO* info) = 0;
    virtual HRESULT SetObjects(ULONG count, IUnknown** objects) = 0;
    virtual HRESULT Show(UINT command) = 0;
    virtual HRESULT Move(const RECT* rect) = 0;
    virtual HRESULT IsPageDirty() = 0;
    virtual HRESULT Apply() = 0;
    virtual HRESULT Help(LPCWSTR helpDirectory) = 0;
    virtual HRESULT TranslateAccelerator(MSG* message) = 0;

  protected:
    ~IPropertyPage() = default;
};

extern "C" {
WINAPI_EXPORT extern const IID IID_IPropertyPage;
WINAPI_EXPORT extern const IID IID_IPropertyPageSite;
WINAPI_EXPORT extern const IID IID_IUnknown;
WINAPI_EXPORT extern const IID IID_IClassFactory;
WINAPI_EXPORT extern const IID IID_IStream;
WINAPI_EXPORT extern const IID IID_IPersist;
WINAPI_EXPORT extern const IID IID_IPersistStream;
WINAPI_EXPORT extern const GUID GUID_NULL;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" into buffer (39 characters with the terminator);
// returns the characters written including the terminator, 0 when the buffer is too small.
WINAPI_EXPORT int StringFromGUID2(REFGUID guid, LPWSTR buffer, int size);
// The same in 8-bit characters (platform helper for file names and the registry).
WINAPI_EXPORT int PlatformStringFromGUID(REFGUID guid, char* buffer, int size);
WINAPI_EXPORT HRESULT CLSIDFromString(LPCWSTR text, CLSID* classId);
WINAPI_EXPORT HRESULT PlatformGUIDFromString(const char* text, GUID* guid);

WINAPI_EXPORT void* CoTaskMemAlloc(size_t size);
WINAPI_EXPORT void CoTaskMemFree(void* memory);
WINAPI_EXPORT HRESULT CoInitialize(void* reserved);
WINAPI_EXPORT void CoUninitialize();
// Finds the class's InprocServer32 library through the registry, loads it and asks its
// DllGetClassObject for the class factory.
WINAPI_EXPORT HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID iid,
                                       void** object);
WINAPI_EXPORT HRESULT CoGetClassObject(REFCLSID classId, DWORD context, void* reserved, REFIID iid,
                                       void** object);
}

// Hands out an interface pointer with a reference added.
template <class I> HRESULT GetInterface(I* object, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = object;
    object->AddRef();
    return S_OK;
}
