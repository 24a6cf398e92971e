// Stand-ins until merge: the drawing and text functions the window system calls, enough for
// its own tests. Nothing else belongs here.
#include "platform/surface.h"

namespace {
struct StandInBrush : platform::GdiObject {
    explicit StandInBrush(COLORREF c) : GdiObject(platform::GdiKind::Brush), colour(c) {}
    COLORREF colour;
};
} // namespace

namespace platform {

HDC openWindowDC(HWND window, bool wholeWindow) {
    auto* dc = new DeviceContext();
    WindowDrawArea area;
    if (windowDrawArea(window, wholeWindow, &area)) {
        dc->surface = area.surface;
        dc->origin = area.origin;
        dc->clip = area.clip;
    }
    dc->window = window;
    return reinterpret_cast<HDC>(dc);
}

void closeWindowDC(HDC dc) {
    delete reinterpret_cast<DeviceContext*>(dc);
}

uint32_t surfacePixel(const DeviceContext&, COLORREF colour) {
    return (static_cast<uint32_t>(GetRValue(colour)) << 16) |
           (static_cast<uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}

COLORREF pixelColour(const Surface&, uint32_t pixel) {
    return RGB(static_cast<BYTE>(pixel >> 16), static_cast<BYTE>(pixel >> 8),
               static_cast<BYTE>(pixel));
}

void drawCaptionText(Surface&, const RECT&, int, int, const char*, COLORREF) {}

} // namespace platform

extern "C" {

HBRUSH CreateSolidBrush(COLORREF colour) {
    return reinterpret_cast<HBRUSH>(static_cast<platform::GdiObject*>(new StandInBrush(colour)));
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    auto* dc = reinterpret_cast<platform::DeviceContext*>(hdc);
    auto* object = reinterpret_cast<platform::GdiObject*>(brush);
    if (dc == nullptr || rect == nullptr || object == nullptr || dc->surface == nullptr) return 0;
    const COLORREF colour = static_cast<StandInBrush*>(object)->colour;
    platform::Surface& surface = *dc->surface;
    for (LONG y = rect->top + dc->origin.y; y < rect->bottom + dc->origin.y; ++y) {
        if (y < dc->clip.top || y >= dc->clip.bottom || y < 0 || y >= surface.height) continue;
        for (LONG x = rect->left + dc->origin.x; x < rect->right + dc->origin.x; ++x) {
            if (x < dc->clip.left || x >= dc->clip.right || x < 0 || x >= surface.width) continue;
            surface.pixels[static_cast<size_t>(y) * surface.width + x] =
                platform::surfacePixel(*dc, colour);
        }
    }
    return 1;
}

} // extern "C"
