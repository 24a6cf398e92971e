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

// Graphics handles and colours, shared by the window system (winuser.h) and drawing (wingdi.h).
using HDC = struct HDC__*;
using HGDIOBJ = struct HGDIOBJ__*;
using HBITMAP = struct HBITMAP__*;
using HPALETTE = struct HPALETTE__*;
using HPEN = struct HPEN__*;
using HFONT = struct HFONT__*;
using HRSRC = struct HRSRC__*;
using HGLOBAL = void*;
using HACCEL = struct HACCEL__*;
using COLORREF = DWORD; // 0x00BBGGRR
constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue) {
    return static_cast<COLORREF>(red) | (static_cast<COLORREF>(green) << 8) |
           (static_cast<COLORREF>(blue) << 16);
}
constexpr BYTE GetRValue(COLORREF colour) {
    return static_cast<BYTE>(colour & 0xff);
}
constexpr BYTE GetGValue(COLORREF colour) {
    return static_cast<BYTE>((colour >> 8) & 0xff);
}
constexpr BYTE GetBValue(COLORREF colour) {
    return static_cast<BYTE>((colour >> 16) & 0xff);
}

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
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr HRESULT HRESULT_FROM_WIN32(LONG error) {
    return error <= 0
               ? static_cast<HRESULT>(error)
               : static_cast<HRESULT>((static_cast<uint32_t>(error) & 0xffffu) | 0x80070000u);
}

// Win32 error codes used by the platform's interfaces.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_NOT_READY = 21;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_NOT_SUPPORTED = 50;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr LONG ERROR_INVALID_ACCEL_HANDLE = 1403;
constexpr LONG ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr LONG ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr LONG ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr LONG ERROR_CLIPBOARD_NOT_OPEN = 1418;
constexpr LONG ERROR_CONTROL_ID_NOT_FOUND = 1421;
constexpr LONG ERROR_NO_SYSTEM_RESOURCES = 1450;
constexpr LONG ERROR_TIMEOUT = 1460;
constexpr LONG ERROR_RESOURCE_DATA_NOT_FOUND = 1812; // the module has no resources
constexpr LONG ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr LONG ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

extern "C" {

// Critical sections. A section that one thread enters again and again is biased to it: that
// thread enters and leaves with plain loads and stores; any other thread with one atomic
// operation each way, plus a process-wide memory barrier while the section is biased.
struct CRITICAL_SECTION {
    void* impl; // owned by the platform
    int32_t spin;
};
WINAPI_EXPORT void InitializeCriticalSection(CRITICAL_SECTION* cs);
WINAPI_EXPORT void DeleteCriticalSection(CRITICAL_SECTION* cs);
WINAPI_EXPORT void EnterCriticalSection(CRITICAL_SECTION* cs);
WINAPI_EXPORT void LeaveCriticalSection(CRITICAL_SECTION* cs);
WINAPI_EXPORT BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs);
// Test hook: allows or forbids biasing sections (forbidden acts as a kernel without the
// barrier the bias needs; biased sections drop their bias at their next general entry) and
// returns the id of the thread `cs` is biased to, 0 for none or a null `cs`.
WINAPI_EXPORT DWORD PlatformCriticalSectionBias(CRITICAL_SECTION* cs, BOOL allow);

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

// Message boxes. Headless: the caption and text go to stderr. Nobody is there to answer, so a box
// answers with its default button (MB_DEFBUTTON1..3 of its buttons), unless a caller (a test)
// set an answer through PlatformSetMessageBoxAnswer that is one of the box's own buttons; 0
// (the start) sets none. A question whose default answer carries on is therefore never
// answered otherwise in a process nobody watches.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xf;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_DEFBUTTON1 = 0x000;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_DEFMASK = 0xf00;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
WINAPI_EXPORT int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
// The answer the next boxes get when it is one of their buttons; 0: none (default buttons).
WINAPI_EXPORT void PlatformSetMessageBoxAnswer(int answer);
// The last box shown: its text, caption, style and the answer it got (for tests).
struct PlatformMessageBoxRecord {
    char text[1024];
    char caption[256];
    UINT type;
    int count; // boxes shown since the process started
    int answer;
};
WINAPI_EXPORT void PlatformLastMessageBox(PlatformMessageBoxRecord* record);
WINAPI_EXPORT void FatalAppExitA(UINT action, LPCSTR message);

// Registry (HKEY_CLASSES_ROOT only), persisted in one file: $ORQ_REGISTRY when set, otherwise
// $XDG_DATA_HOME/orq/registry (default ~/.local/share/orq/registry). Every change is written
// atomically under a file lock. A file that cannot be read or parsed makes every call fail with
// ERROR_BADDB and leaves the file as it is; PlatformRegistryError tells which file and why.
using HKEY = struct HKEY__*;
using REGSAM = DWORD;
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000u)))
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xf003f;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
constexpr DWORD MAX_PATH = 260;

WINAPI_EXPORT LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                   DWORD options, REGSAM access, void* security, HKEY* result,
                                   DWORD* disposition);
WINAPI_EXPORT LONG RegCreateKeyA(HKEY key, LPCSTR subKey, HKEY* result);
WINAPI_EXPORT LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                                 HKEY* result);
WINAPI_EXPORT LONG RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result);
// name null or "" is the key's default value.
WINAPI_EXPORT LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                  const BYTE* data, DWORD size);
// size in: the buffer's bytes; out: the value's bytes (ERROR_MORE_DATA when it does not fit).
WINAPI_EXPORT LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                                    DWORD* size);
// Subkeys in name order; ERROR_NO_MORE_ITEMS past the last.
WINAPI_EXPORT LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize,
                                 DWORD* reserved, LPSTR keyClass, DWORD* classSize,
                                 void* lastWrite);
WINAPI_EXPORT LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED while it has any).
WINAPI_EXPORT LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
WINAPI_EXPORT LONG RegDeleteValueA(HKEY key, LPCSTR name);
WINAPI_EXPORT LONG RegCloseKey(HKEY key);
// The last registry failure of this thread as one line naming the file; "" when none.
WINAPI_EXPORT void PlatformRegistryError(char* text, DWORD size);
// The registry file's path.
WINAPI_EXPORT void PlatformRegistryPath(char* path, DWORD size);
// A transaction holds the registry's exclusive lock from begin to end; the calls of the thread
// that began it work on one copy, written once by the outermost end when every end committed.
// Other threads wait for the end. Nested begins count. Begin fails as any call would (the file
// cannot be locked or read); the transaction is then not open.
WINAPI_EXPORT LONG PlatformRegistryBeginTransaction();
WINAPI_EXPORT LONG PlatformRegistryEndTransaction(BOOL commit);

// Windows and messages: classes, top-level and child windows, per-thread message queues.
struct POINT {
    LONG x;
    LONG y;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
using HICON = void*;
using HCURSOR = void*;
using HBRUSH = void*;
using HMENU = void*;
using ATOM = uint16_t;
struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_PAINT = 0x000f;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr int GWLP_USERDATA = -21;
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<intptr_t>(-3)))

WINAPI_EXPORT ATOM RegisterClassA(const WNDCLASSA* windowClass);
WINAPI_EXPORT BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
WINAPI_EXPORT BOOL GetClassInfoA(HINSTANCE instance, LPCSTR className, WNDCLASSA* windowClass);
WINAPI_EXPORT HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                                   int x, int y, int width, int height, HWND parent, HMENU menu,
                                   HINSTANCE instance, void* param);
WINAPI_EXPORT BOOL DestroyWindow(HWND window);
WINAPI_EXPORT BOOL IsWindow(HWND window);
// Top-level windows by class name (and title when given).
WINAPI_EXPORT HWND FindWindowA(LPCSTR className, LPCSTR windowName);
WINAPI_EXPORT LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WINAPI_EXPORT BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WINAPI_EXPORT BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
WINAPI_EXPORT void PostQuitMessage(int exitCode);
// Blocks for the next message of this thread's queue; 0 on WM_QUIT.
WINAPI_EXPORT BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax);
WINAPI_EXPORT BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                                UINT remove);
WINAPI_EXPORT BOOL TranslateMessage(const MSG* message);
WINAPI_EXPORT LRESULT DispatchMessageA(const MSG* message);
WINAPI_EXPORT LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WINAPI_EXPORT LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
WINAPI_EXPORT LONG_PTR GetWindowLongPtrA(HWND window, int index);
WINAPI_EXPORT DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);

} // extern "C"

// The other interface families, one header each.
#include "wingdi.h"    // drawing: device contexts, bitmaps, palettes, pens, brushes
#include "winfont.h"   // fonts and text
#include "winres.h"    // resources and version information
#include "winuser.h"   // window system beyond the basics above: paint, input, timers, dialogs

