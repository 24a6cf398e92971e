// Stand-ins until merge: the window system's and the text code's parts that drawing calls.
// Every existing window gets a 200 x 150 surface of its own with the window at its top-left.
#include "platform/surface.h"

#include <map>
#include <memory>
#include <mutex>

namespace platform {

namespace {
constexpr int kStandInWidth = 200;
constexpr int kStandInHeight = 150;
std::mutex standInMutex;
std::map<HWND, std::unique_ptr<Surface>> standInSurfaces;
} // namespace

bool windowDrawArea(HWND window, bool, WindowDrawArea* area) {
    if (window == nullptr || !IsWindow(window) || area == nullptr) return false;
    std::lock_guard<std::mutex> lock(standInMutex);
    std::unique_ptr<Surface>& surface = standInSurfaces[window];
    if (!surface) {
        surface = std::make_unique<Surface>();
        surface->width = kStandInWidth;
        surface->height = kStandInHeight;
        surface->bitsPerPixel = displayBitsPerPixel();
        surface->pixels.assign(static_cast<size_t>(kStandInWidth) * kStandInHeight,
                               surface->bitsPerPixel == 8 ? 255u : 0x00ffffffu);
    }
    area->surface = surface.get();
    area->origin = {0, 0};
    area->clip = {0, 0, kStandInWidth, kStandInHeight};
    return true;
}

void surfaceChanged(HWND, const RECT&) {}

} // namespace platform
