// Inside the platform library only (not installed with include/): how the window system, the
// drawing code, the text code and the display meet.
//
// Every top-level window owns one Surface holding its whole window (non-client area included).
// A device context draws into a Surface: a window's (through the window system) or a memory
// bitmap's. Coordinates given to a device context are logical; `origin` turns them into the
// surface's pixel coordinates, and every pixel written is clipped to `clip` (surface
// coordinates). A Surface of a palette display (8 bits per pixel) stores system palette
// indices; otherwise 0x00RRGGBB.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct Surface {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;        // 32: 0x00RRGGBB per pixel; 8: a system palette index per pixel
    std::vector<uint32_t> pixels; // width * height, row 0 at the top
};

// Base of every GDI object; HGDIOBJ, HBITMAP, HPEN, HFONT, HPALETTE and HBRUSH point to one.
// Every object, whoever makes it, is known to the drawing code from construction to
// destruction (trackGdiObject), so a handle can be checked before it is used.
enum class GdiKind { Pen, Brush, Bitmap, Palette, Font };
struct GdiObject;
WINAPI_EXPORT void trackGdiObject(GdiObject* object, bool live); // implemented by the drawing code
struct GdiObject {
    explicit GdiObject(GdiKind objectKind) : kind(objectKind) { trackGdiObject(this, true); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    virtual ~GdiObject() { trackGdiObject(this, false); }
    GdiKind kind;
    int selectedInto = 0; // device contexts that hold the object selected
};

// The part of a window a device context draws on: the top-level window's surface, where the
// window's (client or whole-window) origin lies in it, and the visible part of the window in
// surface coordinates (the window's area cut by every ancestor's client area).
struct WindowDrawArea {
    Surface* surface = nullptr;
    POINT origin{};
    RECT clip{};
};
// Implemented by the window system. False for a window that does not exist or is hidden
// (nothing to draw on).
bool windowDrawArea(HWND window, bool wholeWindow, WindowDrawArea* area);
// Implemented by the window system: the surface of `window`'s top-level window changed inside
// `dirty` (surface coordinates); passes it on to the display.
void surfaceChanged(HWND window, const RECT& dirty);

// Implemented by the drawing code: a device context on a window (the client area or, for
// GetWindowDC and non-client painting, the whole window), and its release.
HDC openWindowDC(HWND window, bool wholeWindow);
void closeWindowDC(HDC dc);

// A device context (HDC points to one). Owned by the drawing code; the text code reads the
// target, the selected font and the text attributes, and writes pixels through
// surfacePixel/pixelColour below.
struct DeviceContext {
    Surface* surface = nullptr;  // where pixels go: a window's surface or the selected bitmap's
    POINT origin{};              // surface position of logical (0, 0)
    RECT clip{};                 // surface coordinates; nothing is written outside it
    HWND window = nullptr;       // the window of a window DC, null for a memory DC
    GdiObject* bitmap = nullptr; // selected bitmap (memory DC)
    GdiObject* pen = nullptr;
    GdiObject* brush = nullptr;
    GdiObject* font = nullptr;
    GdiObject* palette = nullptr;
    COLORREF textColour = RGB(0, 0, 0);
    COLORREF backgroundColour = RGB(255, 255, 255);
    int backgroundMode = 2; // OPAQUE
    POINT position{};       // current position (MoveToEx/LineTo)
    UINT textAlign = 0;     // SetTextAlign: TA_LEFT | TA_TOP | TA_NOUPDATECP
};
// Implemented by the drawing code: the pixel value `colour` takes on `dc`'s surface (the
// nearest system palette index on a palette display, honouring PALETTEINDEX and
// PALETTERGB through the selected palette), and the colour a stored pixel shows.
uint32_t surfacePixel(const DeviceContext& dc, COLORREF colour);
COLORREF pixelColour(const Surface& surface, uint32_t pixel);
// Implemented by the drawing code: the live device context or GDI object a handle names; null
// for a null, deleted or made-up handle. Surfaces also hold 1 bit per pixel (monochrome
// bitmaps: 0 black, 1 white).
DeviceContext* deviceContextFromHandle(HDC dc);
GdiObject* gdiObjectFromHandle(HGDIOBJ object);
// Implemented by the drawing code: the display's bits per pixel (32, or 8 for a palette
// display); a window surface is made with this depth.
int displayBitsPerPixel();
// The text code may define it (the drawing code's own answers 0): GetObjectA for a font.
int fontObjectInfo(GdiObject* font, int size, void* buffer);
// Implemented by the drawing code: a realisation in `cause`'s device context changed the
// system palette; every top-level window gets WM_PALETTECHANGED with `cause` as its first
// parameter (sent to the calling thread's windows, posted to the others'). Called without the
// drawing lock.
void systemPaletteChanged(HWND cause);

// Implemented by the text code: the font a device context starts with, and the caption text of
// a top-level window drawn by the window system's non-client painting (clipped to `clip`).
GdiObject* defaultFont();
void drawCaptionText(Surface& surface, const RECT& clip, int x, int y, const char* text,
                     COLORREF colour);
// Implemented by the text code: the description a font was made from (GetObjectA on a font);
// false for an object that is no font of the text code.
bool fontDescription(const GdiObject& font, LOGFONTA* description);

// The display a top-level window's pixels go to. The default keeps them in memory; a live
// display (windows on an X server, x11_display.cpp) implements the same interface. The window
// system calls it without its own lock held, on the thread that owns the window.
class Display {
  public:
    virtual ~Display() = default;
    // A top-level window appeared, changed size or title, was shown or hidden, or went away.
    virtual void windowCreated(HWND window, const Surface& surface) = 0;
    virtual void windowChanged(HWND window, const Surface& surface, bool visible) = 0;
    virtual void windowDestroyed(HWND window) = 0;
    // Pixels inside `dirty` (surface coordinates) changed.
    virtual void present(HWND window, const Surface& surface, const RECT& dirty) = 0;
    // The mouse capture moved to a window of `topLevel` (null: released). [any-thread]
    virtual void captureChanged(HWND /*topLevel*/) {}
    // SetCursor chose `cursor` (null: no cursor). [any-thread]
    virtual void cursorChanged(HCURSOR /*cursor*/) {}
    // The clipboard was emptied (format 0) or given `data` in `format`. [any-thread]
    virtual void clipboardChanged(UINT /*format*/, HANDLE /*data*/) {}
};
// Implemented by the window system, for a display: a window's title; the identifier of a
// system cursor (IDC_ARROW ...), 0 for any other cursor; and the keyboard focus of the display
// arriving at (true) or leaving (false) a top-level window, which activates or deactivates it
// on its own thread (the caller waits for that thread).
std::string windowTitle(HWND window);
uintptr_t systemCursorId(HCURSOR cursor);
void displayFocusChanged(HWND topLevel, bool focused);

// Implemented by the drawing code, for a display: the colours (0x00RRGGBB) of the pixels of
// `surface` inside `area`, written at the same places of `target` (rows of `targetStride`
// pixels, the surface's size); a surface or a bitmap as PNG bytes (false for no bitmap).
void copySurfaceColours(const Surface& surface, const RECT& area, uint32_t* target,
                        size_t targetStride);
bool surfacePng(const Surface& surface, std::vector<uint8_t>* png);
bool bitmapPng(HBITMAP bitmap, std::vector<uint8_t>* png);

// The display in use (the headless one unless another was installed).
Display& display();
void installDisplay(Display* replacement); // null puts back the headless display

} // namespace platform
