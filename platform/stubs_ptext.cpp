// Stand-ins until merge: the drawing code's pixel value of a colour, for the text tests' surfaces.
// 32-bit surfaces hold 0x00RRGGBB; an 8-bit surface here holds a 3-3-2 colour index.
#include "platform/surface.h"

namespace platform {

uint32_t surfacePixel(const DeviceContext& dc, COLORREF colour) {
    if (dc.surface != nullptr && dc.surface->bitsPerPixel == 8)
        return (GetRValue(colour) & 0xe0u) | ((GetGValue(colour) >> 3) & 0x1cu) |
               (GetBValue(colour) >> 6);
    return (static_cast<uint32_t>(GetRValue(colour)) << 16) |
           (static_cast<uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}

} // namespace platform
