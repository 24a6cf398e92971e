// Part of the platform's Windows interfaces; included by windows.h, not on its own.
// The window system beyond the basics in windows.h: geometry, painting, the non-client area,
// input, focus, timers, accelerators, cursors, the clipboard, help and system metrics.
#pragma once

#include "windows.h"

using SHORT = int16_t;

#ifndef LOWORD
#define LOWORD(value) (static_cast<WORD>(static_cast<uintptr_t>(value) & 0xffff))
#endif
#ifndef HIWORD
#define HIWORD(value) (static_cast<WORD>((static_cast<uintptr_t>(value) >> 16) & 0xffff))
#endif
#ifndef MAKELONG
#define MAKELONG(low, high)                                                                        \
    (static_cast<LONG>(static_cast<DWORD>(static_cast<WORD>(low)) |                                \
                       (static_cast<DWORD>(static_cast<WORD>(high)) << 16)))
#endif
#ifndef MAKEWPARAM
#define MAKEWPARAM(low, high) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(low, high))))
#endif
#ifndef MAKELPARAM
#define MAKELPARAM(low, high) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(low, high))))
#endif
#ifndef MAKELRESULT
#define MAKELRESULT(low, high) (static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(low, high))))
#endif
#ifndef GET_X_LPARAM
#define GET_X_LPARAM(lParam) (static_cast<int>(static_cast<SHORT>(LOWORD(lParam))))
#endif
#ifndef GET_Y_LPARAM
#define GET_Y_LPARAM(lParam) (static_cast<int>(static_cast<SHORT>(HIWORD(lParam))))
#endif

// Error codes of the window system.

// Messages (those of windows.h and these).
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000a;
constexpr UINT WM_SETTEXT = 0x000c;
constexpr UINT WM_GETTEXT = 0x000d;
constexpr UINT WM_GETTEXTLENGTH = 0x000e;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004e;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_NCMOUSEMOVE = 0x00a0;
constexpr UINT WM_NCLBUTTONDOWN = 0x00a1;
constexpr UINT WM_NCLBUTTONUP = 0x00a2;
constexpr UINT WM_NCLBUTTONDBLCLK = 0x00a3;
constexpr UINT WM_NCRBUTTONDOWN = 0x00a4;
constexpr UINT WM_NCRBUTTONUP = 0x00a5;
constexpr UINT WM_NCRBUTTONDBLCLK = 0x00a6;
constexpr UINT WM_NCMBUTTONDOWN = 0x00a7;
constexpr UINT WM_NCMBUTTONUP = 0x00a8;
constexpr UINT WM_NCMBUTTONDBLCLK = 0x00a9;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_SYSCHAR = 0x0106;
constexpr UINT WM_KEYLAST = 0x0109;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEFIRST = 0x0200;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
constexpr UINT WM_MOUSEWHEEL = 0x020a; // wParam: MK_* keys, the wheel's turn (WHEEL_DELTA a notch) above
constexpr UINT WM_MOUSELAST = 0x020a;
constexpr int WHEEL_DELTA = 120;
constexpr UINT WM_PARENTNOTIFY = 0x0210;
constexpr UINT WM_CAPTURECHANGED = 0x0215;

// Window styles.
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00c00000; // WS_BORDER | WS_DLGFRAME
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_SIZEBOX = WS_THICKFRAME;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_ICONIC = WS_MINIMIZE;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;
constexpr DWORD WS_CHILDWINDOW = WS_CHILD;

// Extended window styles.
constexpr DWORD WS_EX_DLGMODALFRAME = 0x00000001;
constexpr DWORD WS_EX_NOPARENTNOTIFY = 0x00000004;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
constexpr DWORD WS_EX_CONTEXTHELP = 0x00000400;
constexpr DWORD WS_EX_STATICEDGE = 0x00020000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

// Class styles.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;
constexpr UINT CS_CLASSDC = 0x0040;
constexpr UINT CS_PARENTDC = 0x0080;
constexpr UINT CS_NOCLOSE = 0x0200;
constexpr UINT CS_SAVEBITS = 0x0800;
constexpr UINT CS_BYTEALIGNCLIENT = 0x1000;
constexpr UINT CS_BYTEALIGNWINDOW = 0x2000;
constexpr UINT CS_GLOBALCLASS = 0x4000;

// Window and class data indices.
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GCLP_MENUNAME = -8;
constexpr int GCLP_HBRBACKGROUND = -10;
constexpr int GCLP_HCURSOR = -12;
constexpr int GCLP_HICON = -14;
constexpr int GCLP_HMODULE = -16;
constexpr int GCL_CBWNDEXTRA = -18;
constexpr int GCL_CBCLSEXTRA = -20;
constexpr int GCLP_WNDPROC = -24;
constexpr int GCL_STYLE = -26;
constexpr int GCW_ATOM = -32;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// WM_SIZE kinds.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// SetWindowPos.
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOCOPYBITS = 0x0100;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
constexpr UINT SWP_NOSENDCHANGING = 0x0400;
// Set by the system in WM_WINDOWPOSCHANGED when the client area kept its size or place.
constexpr UINT SWP_NOCLIENTSIZE = 0x0800;
constexpr UINT SWP_NOCLIENTMOVE = 0x1000;
#define HWND_TOP (static_cast<HWND>(nullptr))
#define HWND_BOTTOM (reinterpret_cast<HWND>(static_cast<intptr_t>(1)))
#define HWND_TOPMOST (reinterpret_cast<HWND>(static_cast<intptr_t>(-1)))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(static_cast<intptr_t>(-2)))

// GetWindow and GetAncestor.
constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;
constexpr UINT GA_PARENT = 1;
constexpr UINT GA_ROOT = 2;
constexpr UINT GA_ROOTOWNER = 3;

// WM_ACTIVATE states.
constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM WA_CLICKACTIVE = 2;

// Hit-test codes (WM_NCHITTEST).
constexpr LRESULT HTERROR = -2;
constexpr LRESULT HTTRANSPARENT = -1;
constexpr LRESULT HTNOWHERE = 0;
constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;
constexpr LRESULT HTSYSMENU = 3;
constexpr LRESULT HTMENU = 5;
constexpr LRESULT HTMINBUTTON = 8;
constexpr LRESULT HTMAXBUTTON = 9;
constexpr LRESULT HTLEFT = 10;
constexpr LRESULT HTRIGHT = 11;
constexpr LRESULT HTTOP = 12;
constexpr LRESULT HTTOPLEFT = 13;
constexpr LRESULT HTTOPRIGHT = 14;
constexpr LRESULT HTBOTTOM = 15;
constexpr LRESULT HTBOTTOMLEFT = 16;
constexpr LRESULT HTBOTTOMRIGHT = 17;
constexpr LRESULT HTBORDER = 18;
constexpr LRESULT HTCLOSE = 20;
constexpr LRESULT HTHELP = 21;

// WM_SYSCOMMAND commands.
constexpr WPARAM SC_MINIMIZE = 0xf020;
constexpr WPARAM SC_MAXIMIZE = 0xf030;
constexpr WPARAM SC_CLOSE = 0xf060;
constexpr WPARAM SC_RESTORE = 0xf120;
constexpr WPARAM SC_CONTEXTHELP = 0xf180;

// Mouse key states (wParam of client mouse messages).
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Virtual keys.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_CANCEL = 0x03;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0d;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_PAUSE = 0x13;
constexpr int VK_CAPITAL = 0x14;
constexpr int VK_ESCAPE = 0x1b;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_INSERT = 0x2d;
constexpr int VK_DELETE = 0x2e;
constexpr int VK_HELP = 0x2f;
constexpr int VK_NUMPAD0 = 0x60;
constexpr int VK_NUMPAD9 = 0x69;
constexpr int VK_MULTIPLY = 0x6a;
constexpr int VK_ADD = 0x6b;
constexpr int VK_SEPARATOR = 0x6c;
constexpr int VK_SUBTRACT = 0x6d;
constexpr int VK_DECIMAL = 0x6e;
constexpr int VK_DIVIDE = 0x6f;
constexpr int VK_F1 = 0x70;
constexpr int VK_F10 = 0x79;
constexpr int VK_F12 = 0x7b;
constexpr int VK_LSHIFT = 0xa0;
constexpr int VK_RSHIFT = 0xa1;
constexpr int VK_LCONTROL = 0xa2;
constexpr int VK_RCONTROL = 0xa3;
constexpr int VK_LMENU = 0xa4;
constexpr int VK_RMENU = 0xa5;
constexpr int VK_OEM_1 = 0xba;
constexpr int VK_OEM_PLUS = 0xbb;
constexpr int VK_OEM_COMMA = 0xbc;
constexpr int VK_OEM_MINUS = 0xbd;
constexpr int VK_OEM_PERIOD = 0xbe;
constexpr int VK_OEM_2 = 0xbf;
constexpr int VK_OEM_3 = 0xc0;
constexpr int VK_OEM_4 = 0xdb;
constexpr int VK_OEM_5 = 0xdc;
constexpr int VK_OEM_6 = 0xdd;
constexpr int VK_OEM_7 = 0xde;

// Accelerator flags.
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;

// System metrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CYVSCROLL = 20;
constexpr int SM_CXHSCROLL = 21;
constexpr int SM_CXMIN = 28;
constexpr int SM_CYMIN = 29;
constexpr int SM_CXSIZE = 30;
constexpr int SM_CYSIZE = 31;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CXFIXEDFRAME = SM_CXDLGFRAME;
constexpr int SM_CYFIXEDFRAME = SM_CYDLGFRAME;
constexpr int SM_CXSIZEFRAME = SM_CXFRAME;
constexpr int SM_CYSIZEFRAME = SM_CYFRAME;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_CYSMCAPTION = 51;
constexpr int SM_CXSMSIZE = 52;
constexpr int SM_CYSMSIZE = 53;
constexpr int SM_CMOUSEBUTTONS = 43;

// System colours.
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_DESKTOP = COLOR_BACKGROUND;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_3DSHADOW = COLOR_BTNSHADOW;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;

// System cursors (LoadCursorA with a null instance).
#define IDC_ARROW (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32512)))
#define IDC_IBEAM (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32513)))
#define IDC_WAIT (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32514)))
#define IDC_CROSS (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32515)))
#define IDC_UPARROW (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32516)))
#define IDC_SIZENWSE (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32642)))
#define IDC_SIZENESW (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32643)))
#define IDC_SIZEWE (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32644)))
#define IDC_SIZENS (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32645)))
#define IDC_SIZEALL (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32646)))
#define IDC_NO (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32648)))
#define IDC_HAND (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32649)))
#define IDC_APPSTARTING (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32650)))
#define IDC_HELP (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(32651)))

// Clipboard formats.
constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_DIB = 8;

// WinHelpA commands.
constexpr UINT HELP_CONTEXT = 0x0001;
constexpr UINT HELP_QUIT = 0x0002;
constexpr UINT HELP_INDEX = 0x0003;
constexpr UINT HELP_CONTENTS = 0x0003;
constexpr UINT HELP_HELPONHELP = 0x0004;
constexpr UINT HELP_CONTEXTPOPUP = 0x0008;
constexpr UINT HELP_FINDER = 0x000b;

// Timers: the shortest and longest periods a timer takes.
constexpr UINT USER_TIMER_MINIMUM = 0x0000000a;
constexpr UINT USER_TIMER_MAXIMUM = 0x7fffffff;

// MessageBeep sounds (the MB_ICON values of windows.h also serve).
constexpr UINT MB_SIMPLEBEEP = 0xffffffffu;

extern "C" {

struct CREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

struct WINDOWPOS {
    HWND hwnd;
    HWND hwndInsertAfter;
    int x;
    int y;
    int cx;
    int cy;
    UINT flags;
};

struct NCCALCSIZE_PARAMS {
    RECT rgrc[3];
    WINDOWPOS* lppos;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};

struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};

using TIMERPROC = void (*)(HWND window, UINT message, UINT_PTR id, DWORD time);
using WNDENUMPROC = BOOL (*)(HWND window, LPARAM lParam);

// Geometry and visibility.
WINAPI_EXPORT BOOL ShowWindow(HWND window, int command);
WINAPI_EXPORT BOOL IsWindowVisible(HWND window);
WINAPI_EXPORT BOOL IsIconic(HWND window);
WINAPI_EXPORT BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
WINAPI_EXPORT BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height,
                                UINT flags);
WINAPI_EXPORT BOOL GetWindowRect(HWND window, RECT* rect);
WINAPI_EXPORT BOOL GetClientRect(HWND window, RECT* rect);
WINAPI_EXPORT BOOL ClientToScreen(HWND window, POINT* point);
WINAPI_EXPORT BOOL ScreenToClient(HWND window, POINT* point);
WINAPI_EXPORT int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
WINAPI_EXPORT BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
WINAPI_EXPORT BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
WINAPI_EXPORT HWND WindowFromPoint(POINT point);

// Relations, identity, text, state.
WINAPI_EXPORT HWND GetParent(HWND window);
WINAPI_EXPORT HWND SetParent(HWND child, HWND newParent);
WINAPI_EXPORT HWND GetAncestor(HWND window, UINT kind);
WINAPI_EXPORT HWND GetWindow(HWND window, UINT relation);
WINAPI_EXPORT BOOL IsChild(HWND parent, HWND window);
WINAPI_EXPORT BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM lParam);
WINAPI_EXPORT int GetDlgCtrlID(HWND window);
WINAPI_EXPORT HWND GetDlgItem(HWND parent, int id);
WINAPI_EXPORT BOOL SetWindowTextA(HWND window, LPCSTR text);
WINAPI_EXPORT int GetWindowTextA(HWND window, LPSTR text, int size);
WINAPI_EXPORT int GetWindowTextLengthA(HWND window);
WINAPI_EXPORT int GetClassNameA(HWND window, LPSTR name, int size);
WINAPI_EXPORT BOOL EnableWindow(HWND window, BOOL enable);
WINAPI_EXPORT BOOL IsWindowEnabled(HWND window);
WINAPI_EXPORT LONG GetWindowLongA(HWND window, int index);
WINAPI_EXPORT LONG SetWindowLongA(HWND window, int index, LONG value);
WINAPI_EXPORT LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                                      LPARAM lParam);
WINAPI_EXPORT uintptr_t GetClassLongPtrA(HWND window, int index);
WINAPI_EXPORT uintptr_t SetClassLongPtrA(HWND window, int index, LONG_PTR value);

// Painting.
WINAPI_EXPORT BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
WINAPI_EXPORT BOOL ValidateRect(HWND window, const RECT* rect);
WINAPI_EXPORT BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase);
WINAPI_EXPORT BOOL UpdateWindow(HWND window);
WINAPI_EXPORT HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
WINAPI_EXPORT BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);

// Metrics and colours (one classic look at 96 dots per inch; docs/platform.md lists it).
WINAPI_EXPORT int GetSystemMetrics(int index);
WINAPI_EXPORT DWORD GetSysColor(int index);
WINAPI_EXPORT HBRUSH GetSysColorBrush(int index);
WINAPI_EXPORT UINT GetDoubleClickTime();

// Mouse, keyboard, focus and activation.
WINAPI_EXPORT HWND SetCapture(HWND window);
WINAPI_EXPORT BOOL ReleaseCapture();
WINAPI_EXPORT HWND GetCapture();
WINAPI_EXPORT BOOL GetCursorPos(POINT* point);
WINAPI_EXPORT BOOL SetCursorPos(int x, int y);
WINAPI_EXPORT HWND SetFocus(HWND window);
WINAPI_EXPORT HWND GetFocus();
WINAPI_EXPORT HWND SetActiveWindow(HWND window);
WINAPI_EXPORT HWND GetActiveWindow();
WINAPI_EXPORT BOOL SetForegroundWindow(HWND window);
WINAPI_EXPORT HWND GetForegroundWindow();
WINAPI_EXPORT SHORT GetKeyState(int virtualKey);
WINAPI_EXPORT SHORT GetAsyncKeyState(int virtualKey);
WINAPI_EXPORT DWORD GetMessagePos();
WINAPI_EXPORT LONG GetMessageTime();
WINAPI_EXPORT BOOL WaitMessage();

// Accelerators.
WINAPI_EXPORT HACCEL CreateAcceleratorTableA(ACCEL* entries, int count);
WINAPI_EXPORT BOOL DestroyAcceleratorTable(HACCEL table);
WINAPI_EXPORT int CopyAcceleratorTableA(HACCEL table, ACCEL* entries, int count);
WINAPI_EXPORT int TranslateAcceleratorA(HWND window, HACCEL table, MSG* message);

// Timers.
WINAPI_EXPORT UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC procedure);
WINAPI_EXPORT BOOL KillTimer(HWND window, UINT_PTR id);

// Cursors.
WINAPI_EXPORT HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
WINAPI_EXPORT HCURSOR SetCursor(HCURSOR cursor);
WINAPI_EXPORT HCURSOR GetCursor();

// Clipboard: the data handles are kept as given.
WINAPI_EXPORT BOOL OpenClipboard(HWND owner);
WINAPI_EXPORT BOOL CloseClipboard();
WINAPI_EXPORT BOOL EmptyClipboard();
WINAPI_EXPORT HANDLE SetClipboardData(UINT format, HANDLE data);
WINAPI_EXPORT HANDLE GetClipboardData(UINT format);
WINAPI_EXPORT BOOL IsClipboardFormatAvailable(UINT format);

// Help and sounds: recorded (headless).
WINAPI_EXPORT BOOL WinHelpA(HWND window, LPCSTR helpFile, UINT command, uintptr_t data);
WINAPI_EXPORT BOOL MessageBeep(UINT type);

// Test and display hooks.
// Mouse input at (x, y) in window coordinates of the top-level `window`: a client mouse message
// (WM_MOUSEMOVE, WM_L/R/MBUTTONDOWN/UP) with the MK_* key state. Queued to the window's thread
// and routed when taken from the queue (capture, hit test, double clicks). WM_MOUSEWHEEL carries
// the keys in the low word of `keys` and the wheel's turn in the high word, and goes to the
// thread's focus window (the top-level window when none) with the pointer in screen coordinates.
WINAPI_EXPORT BOOL PlatformInjectMouse(HWND window, UINT message, int x, int y, WPARAM keys);
// A key message (WM_KEYDOWN/UP, WM_SYSKEYDOWN/UP, WM_CHAR) typed into the top-level `window`:
// delivered to its thread's focus window (the window itself when none). lParam 0 gets a repeat
// count of 1 (and the transition bits of a key release).
WINAPI_EXPORT BOOL PlatformInjectKey(HWND window, UINT message, WPARAM virtualKey, LPARAM lParam);
// Manual clock: GetTickCount stands still and timers fire only as the clock is advanced.
WINAPI_EXPORT void PlatformSetClock(BOOL manual);
WINAPI_EXPORT void PlatformAdvanceClock(DWORD milliseconds);
// The most timers the process may hold (SetTimer fails beyond); 0 restores the default.
WINAPI_EXPORT void PlatformSetTimerLimit(UINT limit);
// Waits until the thread that owns `window` (another thread) waits in GetMessageA/WaitMessage
// with nothing to take: no sent, posted or input message, nothing to paint, no due timer.
// Messages sent to the caller meanwhile are run. FALSE (last error ERROR_TIMEOUT) when the
// time runs out first; FALSE for no window or a window of the calling thread.
WINAPI_EXPORT BOOL PlatformWaitForIdle(HWND window, DWORD timeoutMs);
// Messages sent from other threads that wait in the queue of the thread owning `window` (not
// yet run); -1 for no window. For tests that must know a cross-thread send has arrived.
WINAPI_EXPORT int PlatformSentMessagesWaiting(HWND window);
// What the headless display knows of a top-level window.
struct PlatformDisplayWindowState {
    BOOL known;     // reported created and not yet destroyed
    BOOL destroyed; // reported destroyed
    BOOL visible;
    int width;
    int height;
    UINT changes;  // windowChanged reports
    UINT presents; // present reports
    RECT dirty;    // union of the presented rectangles since the last clear
};
WINAPI_EXPORT BOOL PlatformDisplayWindow(HWND window, PlatformDisplayWindowState* state,
                                         BOOL clearDirty);
// The live display (x11_display.cpp): top-level windows shown as windows of an X server, their
// input taken from it. The headless display stays in use until PlatformUseLiveDisplay connects
// (a null name: $DISPLAY); FALSE, with PlatformLiveDisplayError telling why, when libX11
// cannot be loaded, no X server answers, or windows are shown on another server already.
// Windows made before the call appear once they are next shown or changed.
WINAPI_EXPORT BOOL PlatformUseLiveDisplay(const char* displayName);
WINAPI_EXPORT const char* PlatformLiveDisplayError();
// Disconnects and puts back the headless display (the windows' X windows go away).
WINAPI_EXPORT void PlatformCloseLiveDisplay();
// FALSE once the X server has gone away (or before any connection).
WINAPI_EXPORT BOOL PlatformLiveDisplayConnected();
// TRUE while the windows' pixels reach the server through MIT-SHM shared memory (offered by a
// local server), FALSE while they are sent in the requests (XPutImage) or without a connection.
WINAPI_EXPORT BOOL PlatformLiveDisplaySharedMemory();
// `message` is posted to `window` when the X server goes away (null window: nobody told).
WINAPI_EXPORT void PlatformLiveDisplayWatch(HWND window, UINT message);
// Until the X server has shown everything presented for `topLevel` so far (a visible window
// waits to be mapped first). FALSE (ERROR_TIMEOUT) when the time runs out, FALSE without a
// connection or for a window the display does not show.
WINAPI_EXPORT BOOL PlatformLiveDisplaySync(HWND topLevel, DWORD timeoutMs);
// The X window showing `topLevel` (0 while it has none: never shown, or no live display).
WINAPI_EXPORT unsigned long PlatformLiveWindowId(HWND topLevel);
// Shows `topLevel` inside the foreign X window `xParent` (at its top left corner, at the
// window's own size) instead of as a window of its own. FALSE: no live display, no such
// top-level window (ERROR_INVALID_WINDOW_HANDLE), or no such X window (ERROR_INVALID_PARAMETER).
WINAPI_EXPORT BOOL PlatformEmbedWindow(HWND topLevel, unsigned long xParent);
// The pixels the live display showed last for `topLevel` (kept while it is hidden) as PNG.
WINAPI_EXPORT BOOL PlatformSaveLiveWindowPng(HWND topLevel, const char* path);
// The last WinHelpA call.
struct PlatformHelpRecord {
    char file[MAX_PATH];
    UINT command;
    uintptr_t data;
    HWND window;
    int count; // calls since the process started
};
WINAPI_EXPORT void PlatformLastHelp(PlatformHelpRecord* record);
// MessageBeep calls since the process started, and the last sound asked for.
WINAPI_EXPORT int PlatformBeepCount(UINT* lastType);

} // extern "C"

// ---------------------------------------------------------------------------------------------
// Dialogs: modal and modeless dialogs from DLGTEMPLATE resources, the dialog keys, dialog
// units, and the predefined controls "STATIC", "BUTTON" and "EDIT" that templates name.

using INT_PTR = intptr_t;

constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT WM_INITDIALOG = 0x0110;
// Sent to a modal box's owner each time the box's loop has handled what it had and waits:
// wParam MSGF_DIALOGBOX, lParam the box (not sent for a box of style DS_NOIDLEMSG).
constexpr UINT WM_ENTERIDLE = 0x0121;
constexpr WPARAM MSGF_DIALOGBOX = 0;
constexpr UINT WM_CTLCOLORMSGBOX = 0x0132;
constexpr UINT WM_CTLCOLOREDIT = 0x0133;
constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
constexpr UINT WM_CTLCOLORBTN = 0x0135;
constexpr UINT WM_CTLCOLORDLG = 0x0136;
constexpr UINT WM_CTLCOLORSCROLLBAR = 0x0137;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT DM_GETDEFID = WM_USER + 0;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534b;

// Dialog result ids beyond those of windows.h.
constexpr int IDCLOSE = 8;

// Dialog styles.
constexpr DWORD DS_ABSALIGN = 0x01;
constexpr DWORD DS_SYSMODAL = 0x02;
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_NOIDLEMSG = 0x100;
constexpr DWORD DS_SETFOREGROUND = 0x200;
constexpr DWORD DS_3DLOOK = 0x0004;
constexpr DWORD DS_FIXEDSYS = 0x0008;
constexpr DWORD DS_NOFAILCREATE = 0x0010;
constexpr DWORD DS_CONTROL = 0x0400;
constexpr DWORD DS_CENTER = 0x0800;
constexpr DWORD DS_CENTERMOUSE = 0x1000;

// Window extra bytes of the dialog class.
constexpr int DWLP_MSGRESULT = 0;
constexpr int DWLP_DLGPROC = DWLP_MSGRESULT + static_cast<int>(sizeof(LRESULT));
constexpr int DWLP_USER = DWLP_DLGPROC + static_cast<int>(sizeof(void*));
constexpr int DLGWINDOWEXTRA = DWLP_USER + static_cast<int>(sizeof(LONG_PTR));

// WM_GETDLGCODE answers.
constexpr LRESULT DLGC_WANTARROWS = 0x0001;
constexpr LRESULT DLGC_WANTTAB = 0x0002;
constexpr LRESULT DLGC_WANTALLKEYS = 0x0004;
constexpr LRESULT DLGC_HASSETSEL = 0x0008;
constexpr LRESULT DLGC_DEFPUSHBUTTON = 0x0010;
constexpr LRESULT DLGC_UNDEFPUSHBUTTON = 0x0020;
constexpr LRESULT DLGC_WANTCHARS = 0x0080;
constexpr LRESULT DLGC_STATIC = 0x0100;
constexpr LRESULT DLGC_BUTTON = 0x2000;

// Button styles, notifications and messages.
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_CHECKBOX = 0x2;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_RADIOBUTTON = 0x4;
constexpr DWORD BS_3STATE = 0x5;
constexpr DWORD BS_AUTO3STATE = 0x6;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_OWNERDRAW = 0xb;
constexpr DWORD BS_TYPEMASK = 0xf;
constexpr WORD BN_CLICKED = 0;
constexpr UINT BM_GETCHECK = 0x00f0;
constexpr UINT BM_SETCHECK = 0x00f1;
constexpr UINT BM_GETSTATE = 0x00f2;
constexpr UINT BM_SETSTATE = 0x00f3;
constexpr UINT BM_SETSTYLE = 0x00f4;
constexpr UINT BM_CLICK = 0x00f5;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;
constexpr LRESULT BST_PUSHED = 4;
constexpr LRESULT BST_FOCUS = 8;

// Static styles and messages.
constexpr DWORD SS_LEFT = 0x00;
constexpr DWORD SS_CENTER = 0x01;
constexpr DWORD SS_RIGHT = 0x02;
constexpr DWORD SS_ICON = 0x03;
constexpr DWORD SS_BLACKRECT = 0x04;
constexpr DWORD SS_GRAYRECT = 0x05;
constexpr DWORD SS_WHITERECT = 0x06;
constexpr DWORD SS_BLACKFRAME = 0x07;
constexpr DWORD SS_GRAYFRAME = 0x08;
constexpr DWORD SS_WHITEFRAME = 0x09;
constexpr DWORD SS_SIMPLE = 0x0b;
constexpr DWORD SS_LEFTNOWORDWRAP = 0x0c;
constexpr DWORD SS_BITMAP = 0x0e;
constexpr DWORD SS_ETCHEDHORZ = 0x10;
constexpr DWORD SS_ETCHEDVERT = 0x11;
constexpr DWORD SS_ETCHEDFRAME = 0x12;
constexpr DWORD SS_TYPEMASK = 0x1f;
constexpr DWORD SS_NOTIFY = 0x100;
constexpr DWORD SS_CENTERIMAGE = 0x200;
constexpr DWORD SS_NOPREFIX = 0x80;
constexpr UINT STM_SETICON = 0x0170;
constexpr UINT STM_GETICON = 0x0171;
constexpr UINT STM_SETIMAGE = 0x0172;
constexpr UINT STM_GETIMAGE = 0x0173;

// Edit styles and notifications.
constexpr DWORD ES_LEFT = 0x0;
constexpr DWORD ES_CENTER = 0x1;
constexpr DWORD ES_RIGHT = 0x2;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD ES_READONLY = 0x800;
constexpr DWORD ES_NUMBER = 0x2000;
constexpr WORD EN_CHANGE = 0x0300;

extern "C" {

using DLGPROC = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
struct DLGTEMPLATE; // the resource's bytes; only pointers to it are used

WINAPI_EXPORT HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                                      DLGPROC procedure, LPARAM initParam);
WINAPI_EXPORT HWND CreateDialogIndirectParamA(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate,
                                              HWND owner, DLGPROC procedure, LPARAM initParam);
WINAPI_EXPORT INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                                      DLGPROC procedure, LPARAM initParam);
WINAPI_EXPORT INT_PTR DialogBoxIndirectParamA(HINSTANCE instance,
                                              const DLGTEMPLATE* dialogTemplate, HWND owner,
                                              DLGPROC procedure, LPARAM initParam);
WINAPI_EXPORT BOOL EndDialog(HWND dialog, INT_PTR result);
WINAPI_EXPORT LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
WINAPI_EXPORT BOOL IsDialogMessageA(HWND dialog, MSG* message);
WINAPI_EXPORT BOOL MapDialogRect(HWND dialog, RECT* rect);
WINAPI_EXPORT LONG GetDialogBaseUnits();
WINAPI_EXPORT BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
WINAPI_EXPORT UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size);
WINAPI_EXPORT BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
WINAPI_EXPORT UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
WINAPI_EXPORT LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                          LPARAM lParam);
WINAPI_EXPORT BOOL CheckDlgButton(HWND dialog, int id, UINT check);
WINAPI_EXPORT UINT IsDlgButtonChecked(HWND dialog, int id);
WINAPI_EXPORT HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);

} // extern "C"
