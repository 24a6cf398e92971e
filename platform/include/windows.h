// Kernel and user interfaces of the platform layer: the subset of the Windows API that the
// suite calls, with the same names, types and results. Linux implementation in platform/.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(PLATFORM_BUILD)
#define WINAPI_EXPORT __attribute__((visibility("default")))
#else
#define WINAPI_EXPORT
#endif
#define WINAPI
#define CALLBACK
#define STDMETHODCALLTYPE

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using BOOL = int32_t;
using INT = int32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using HRESULT = int32_t;
using WCHAR = char16_t;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;
using LPCVOID = const void*;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using HANDLE = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using HWND = struct HWND__*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr DWORD INFINITE = 0xffffffffu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xffffffffu;

// Result codes.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000ffffu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x8004015du);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401f9u);
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT HRESULT_FROM_WIN32(LONG error) {
    return error <= 0 ? static_cast<HRESULT>(error)
                      : static_cast<HRESULT>((static_cast<uint32_t>(error) & 0xffffu) | 0x80070000u);
}

// Win32 error codes used by the platform's interfaces.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr LONG ERROR_CLASS_DOES_NOT_EXIST = 1411;

extern "C" {

// Critical sections. The uncontended enter and leave are a single atomic operation each.
struct CRITICAL_SECTION {
    void* impl; // owned by the platform
    int32_t spin;
};
WINAPI_EXPORT void InitializeCriticalSection(CRITICAL_SECTION* cs);
WINAPI_EXPORT void DeleteCriticalSection(CRITICAL_SECTION* cs);
WINAPI_EXPORT void EnterCriticalSection(CRITICAL_SECTION* cs);
WINAPI_EXPORT void LeaveCriticalSection(CRITICAL_SECTION* cs);
WINAPI_EXPORT BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs);

// Interlocked operations (sequentially consistent).
WINAPI_EXPORT LONG InterlockedIncrement(LONG volatile* target);
WINAPI_EXPORT LONG InterlockedDecrement(LONG volatile* target);
WINAPI_EXPORT LONG InterlockedExchange(LONG volatile* target, LONG value);
WINAPI_EXPORT LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand);
WINAPI_EXPORT LONG InterlockedExchangeAdd(LONG volatile* target, LONG value);

// Events, threads and handles.
WINAPI_EXPORT HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, LPCSTR name);
WINAPI_EXPORT BOOL SetEvent(HANDLE event);
WINAPI_EXPORT BOOL ResetEvent(HANDLE event);
WINAPI_EXPORT DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
WINAPI_EXPORT BOOL CloseHandle(HANDLE handle);
using LPTHREAD_START_ROUTINE = DWORD (*)(void* argument);
WINAPI_EXPORT HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                                  void* argument, DWORD flags, DWORD* threadId);
WINAPI_EXPORT BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
WINAPI_EXPORT DWORD GetCurrentThreadId();
WINAPI_EXPORT void Sleep(DWORD milliseconds);
WINAPI_EXPORT DWORD GetLastError();
WINAPI_EXPORT void SetLastError(DWORD error);
WINAPI_EXPORT DWORD GetTickCount();
WINAPI_EXPORT BOOL QueryPerformanceCounter(int64_t* count);
WINAPI_EXPORT BOOL QueryPerformanceFrequency(int64_t* frequency);
WINAPI_EXPORT DWORD GetVersion();
WINAPI_EXPORT DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
// The module handle of the library that contains address (dladdr); null when none does.
WINAPI_EXPORT HMODULE PlatformModuleFromAddress(const void* address);

// C run-time thread start and end, as the editors use them.
using ThreadStartRoutine = unsigned (*)(void* argument);
WINAPI_EXPORT uintptr_t _beginthreadex(void* security, unsigned stackSize, ThreadStartRoutine start,
                                       void* argument, unsigned flags, unsigned* threadId);
WINAPI_EXPORT void _endthreadex(unsigned exitCode);

// Message boxes. Headless: the caption and text go to stderr and the answer is the one set by
// PlatformSetMessageBoxAnswer (IDOK by default), so both branches of a caller can be driven.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
WINAPI_EXPORT int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
WINAPI_EXPORT void PlatformSetMessageBoxAnswer(int answer);
// The last box shown: its text, caption and style (for tests).
struct PlatformMessageBoxRecord {
    char text[1024];
    char caption[256];
    UINT type;
    int count; // boxes shown since the process started
};
WINAPI_EXPORT void PlatformLastMessageBox(PlatformMessageBoxRecord* record);
WINAPI_EXPORT void FatalAppExitA(UINT action, LPCSTR message);

} // extern "C"
