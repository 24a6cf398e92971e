// Part of the platform's Windows interfaces; included by windows.h, not on its own.
//
// Resources and version information. Every library (and the main program) carries its own
// resource table, compiled in from the resource list in its folder (orq_resources in
// cmake/Orq.cmake) and registered with the platform when the library is loaded, keyed by its
// module handle; a null module means the main program.
#pragma once

#include "windows.h"

// A resource type or name is a string or a 16-bit number carried in the pointer.
inline LPSTR MAKEINTRESOURCEA(WORD id) {
    return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(id));
}
inline bool IS_INTRESOURCE(LPCSTR name) {
    return (reinterpret_cast<uintptr_t>(name) >> 16) == 0;
}
#define MAKEINTRESOURCE MAKEINTRESOURCEA

// Resource types.
#define RT_CURSOR MAKEINTRESOURCEA(1)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_MENU MAKEINTRESOURCEA(4)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_ACCELERATOR MAKEINTRESOURCEA(9)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_GROUP_CURSOR MAKEINTRESOURCEA(12)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
#define RT_VERSION MAKEINTRESOURCEA(16)

// Win32 error codes of resource lookups.

// The platform's own bitmaps (LoadBitmapA with a null module): the caption zoom button, normal
// and pressed.
constexpr WORD OBM_ZOOMD = 32745;
constexpr WORD OBM_ZOOM = 32748;

// LoadImageA.
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT IMAGE_CURSOR = 2;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_MONOCHROME = 0x0001;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_CREATEDIBSECTION = 0x2000;
constexpr UINT LR_SHARED = 0x8000;

// Version information (the VS_VERSIONINFO block of a library's version resource).
struct VS_FIXEDFILEINFO {
    DWORD dwSignature; // VS_FFI_SIGNATURE
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS; // major << 16 | minor
    DWORD dwFileVersionLS; // patch << 16 | build
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BDu;
constexpr DWORD VS_FFI_STRUCVERSION = 0x00010000u;
constexpr DWORD VOS_NT_WINDOWS32 = 0x00040004u;
constexpr DWORD VFT_APP = 1;
constexpr DWORD VFT_DLL = 2;

extern "C" {

// Finding and reading resources. `name` and `type` are strings (compared without regard to
// case; "#123" stands for the number 123) or MAKEINTRESOURCEA numbers. A module without
// resources fails with ERROR_RESOURCE_DATA_NOT_FOUND, a missing type with
// ERROR_RESOURCE_TYPE_NOT_FOUND, a missing name with ERROR_RESOURCE_NAME_NOT_FOUND.
WINAPI_EXPORT HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
// The resource's bytes stay valid while its library is loaded; FreeResource does nothing.
WINAPI_EXPORT HGLOBAL LoadResource(HMODULE module, HRSRC resource);
WINAPI_EXPORT LPVOID LockResource(HGLOBAL data);
WINAPI_EXPORT DWORD SizeofResource(HMODULE module, HRSRC resource);
WINAPI_EXPORT BOOL FreeResource(HGLOBAL data);

// A device-dependent bitmap made from a bitmap resource (CreateDIBitmap on the screen); with a
// null module the platform's own bitmaps (OBM_*) come first, then the main program's.
WINAPI_EXPORT HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name);
// IMAGE_BITMAP (LR_CREATEDIBSECTION: a DIB section), IMAGE_ICON or IMAGE_CURSOR from the
// module's resources at the resource's own size. LR_LOADFROMFILE is not supported.
WINAPI_EXPORT HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height,
                                UINT flags);
// Shared icons and cursors from the module's icon and cursor groups (the image nearest 32 x
// 32); the same resource gives the same handle. LoadCursorA with a null module gives the
// window system's cursors (IDC_ARROW, ...).
WINAPI_EXPORT HICON LoadIconA(HINSTANCE instance, LPCSTR name);
WINAPI_EXPORT HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
// Frees an icon or cursor made by LoadImageA without LR_SHARED; shared ones stay.
WINAPI_EXPORT BOOL DestroyIcon(HICON icon);
WINAPI_EXPORT BOOL DestroyCursor(HCURSOR cursor);
// An accelerator table built from the module's accelerator resource.
WINAPI_EXPORT HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name);
// Copies string `id` of the module's string table (UTF-8) into `buffer`, cut to size - 1
// bytes; returns the length copied, 0 when the string is missing or size is 0.
WINAPI_EXPORT int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);

// Version information of a loaded library (or the main program), named by its file path as
// GetModuleFileNameA gives it (or by its file name alone). The block holds the library's
// VS_VERSIONINFO followed by room for the 8-bit copies of the strings VerQueryValueA returns.
WINAPI_EXPORT DWORD GetFileVersionInfoSizeA(LPCSTR fileName, DWORD* handle);
WINAPI_EXPORT BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data);
// "\\" gives the VS_FIXEDFILEINFO, "\\VarFileInfo\\Translation" the language and code page
// pairs, "\\StringFileInfo\\040904b0\\ProductVersion" (and the other keys) a string (UTF-8;
// *length counts its characters with the terminating zero).
WINAPI_EXPORT BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length);

// A module's resource table, as the source generated by orq_resources holds it. `typeName` and
// `name` are null for numbered types and resources; the bytes are aligned to 4.
struct PlatformResource {
    const char* typeName;
    WORD typeId;
    const char* name;
    WORD id;
    const BYTE* data;
    DWORD size;
};
// Registers (or, with count 0, removes) the resource table of `module`; called from the static
// initializer and finalizer of the generated source. A module has one table; registering again
// replaces it. FALSE for a null module.
WINAPI_EXPORT BOOL PlatformRegisterResources(HMODULE module, const PlatformResource* table,
                                             DWORD count);

} // extern "C"
