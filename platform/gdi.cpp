// Drawing on pixels in memory: device contexts, bitmaps, block transfers, palettes and the
// palette display, pens, brushes and shapes.
//
// Every handle points to its object (a GdiObject or a DeviceContext) and is checked against
// the sets of live objects before use. All state sits behind one recursive mutex; the window
// system is called only with it released (its lock comes first when both are taken).
//
// Pixels: a Surface holds 0x00RRGGBB (32 bits), a system palette index (8 bits, a palette
// display's window surfaces and device-dependent bitmaps) or 0/1 (monochrome bitmaps). A
// raster operation works bitwise on the destination's pixel values, as a display driver does.
// A DIB section keeps its bits as the caller sees them and a 32-bit surface beside them; the
// two are brought together around every operation that touches the bitmap.
#include "platform/surface.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

using platform::DeviceContext;
using platform::GdiKind;
using platform::GdiObject;
using platform::Surface;

constexpr DWORD kErrorInvalidWindowHandle = 1400; // ERROR_INVALID_WINDOW_HANDLE
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kDotsPerInch = 96;
constexpr int kMaxBitmapSide = 32768;
constexpr int64_t kMaxBitmapPixels = int64_t{1} << 26;
constexpr int kSystemPaletteSize = 256;
constexpr int kStaticColoursEachEnd = 10;
constexpr int kStaticColours = 2 * kStaticColoursEachEnd;
constexpr WORD kPaletteVersion = 0x300;
constexpr int kMaxPaletteEntries = 4096;
constexpr uint32_t kWhite32 = 0x00ffffff;
// Coordinates beyond this are outside every surface; clamping keeps arithmetic in range.
constexpr int64_t kCoordinateLimit = int64_t{1} << 30;

// The 20 colours a palette display keeps in its first and last 10 entries.
constexpr std::array<PALETTEENTRY, kStaticColours> kStaticPalette = {{
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
}};
// The 16 colours of a 4-bit colour table.
constexpr std::array<COLORREF, 16> kFourBitColours = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};

int systemIndexOfStatic(int i) {
    return i < kStaticColoursEachEnd ? i : kSystemPaletteSize - kStaticColours + i;
}

uint32_t packedFromColour(COLORREF colour) {
    return (static_cast<uint32_t>(GetRValue(colour)) << 16) |
           (static_cast<uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}
COLORREF colourFromPacked(uint32_t pixel) {
    return RGB(static_cast<BYTE>(pixel >> 16), static_cast<BYTE>(pixel >> 8),
               static_cast<BYTE>(pixel));
}
COLORREF colourOfEntry(const PALETTEENTRY& entry) {
    return RGB(entry.peRed, entry.peGreen, entry.peBlue);
}
int colourDistance(COLORREF a, COLORREF b) {
    const int red = GetRValue(a) - GetRValue(b);
    const int green = GetGValue(a) - GetGValue(b);
    const int blue = GetBValue(a) - GetBValue(b);
    return red * red + green * green + blue * blue;
}
bool isBright(COLORREF colour) {
    constexpr int kHalfOfFullSum = 382;
    return GetRValue(colour) + GetGValue(colour) + GetBValue(colour) > kHalfOfFullSum;
}
uint32_t pixelMask(int bitsPerPixel) {
    return bitsPerPixel == 32 ? kWhite32 : bitsPerPixel == 8 ? 0xffu : 1u;
}

std::recursive_mutex& gdiMutex() {
    static std::recursive_mutex* mutex = new std::recursive_mutex;
    return *mutex;
}
using Lock = std::lock_guard<std::recursive_mutex>;

// ---------------------------------------------------------------------------------------------
// Objects.

struct Pen : GdiObject {
    Pen() : GdiObject(GdiKind::Pen) {}
    LOGPEN log{};
};

struct Brush : GdiObject {
    Brush() : GdiObject(GdiKind::Brush) {}
    UINT style = BS_SOLID;
    COLORREF colour = 0;
    Surface pattern; // BS_PATTERN: a copy of the bitmap (32- or 1-bit)
};

struct Palette : GdiObject {
    Palette() : GdiObject(GdiKind::Palette) {}
    std::vector<PALETTEENTRY> entries;
    std::vector<uint8_t> systemIndex; // per entry, after the last realisation (8-bit display)
};

struct Bitmap : GdiObject {
    Bitmap() : GdiObject(GdiKind::Bitmap) {}
    ~Bitmap() override { std::free(sectionBits); }
    Surface surface;
    int bitsPixel = 32; // what GetObjectA reports
    // DIB section: the caller's bits, the header they follow, and their last state we know.
    bool section = false;
    BITMAPINFOHEADER header{};
    std::vector<COLORREF> colourTable;
    DWORD masks[3] = {0, 0, 0};
    uint8_t* sectionBits = nullptr;
    size_t sectionBytes = 0;
    std::vector<uint8_t> knownBits;
};

struct SavedState {
    GdiObject* pen;
    GdiObject* brush;
    GdiObject* font;
    GdiObject* palette;
    GdiObject* bitmap;
    COLORREF textColour;
    COLORREF backgroundColour;
    int backgroundMode;
    POINT position;
    POINT viewportOrigin;
    POINT windowOrigin;
    bool hasOwnClip;
    RECT ownClip;
    int stretchMode;
    bool paletteBackground;
};

enum class DcKind { Memory, Window, Screen };
struct DC : DeviceContext {
    DcKind kind = DcKind::Memory;
    POINT deviceOrigin{}; // surface position of device (0, 0)
    RECT deviceClip{};    // the window's visible part or the bitmap (surface coordinates)
    bool hasOwnClip = false;
    RECT ownClip{}; // surface coordinates
    POINT viewportOrigin{};
    POINT windowOrigin{};
    int stretchMode = BLACKONWHITE;
    bool paletteBackground = false;
    std::vector<SavedState> saved;
};

std::unordered_set<const void*>& liveObjects() {
    static auto* objects = new std::unordered_set<const void*>;
    return *objects;
}
std::unordered_set<const void*>& liveDCs() {
    static auto* dcs = new std::unordered_set<const void*>;
    return *dcs;
}

DC* dcFromHandle(HDC handle) {
    if (handle == nullptr || liveDCs().count(handle) == 0) return nullptr;
    return static_cast<DC*>(reinterpret_cast<DeviceContext*>(handle));
}
GdiObject* objectFromHandle(const void* handle) {
    if (handle == nullptr || liveObjects().count(handle) == 0) return nullptr;
    return static_cast<GdiObject*>(const_cast<void*>(handle));
}
template <class T> T* objectOfKind(const void* handle, GdiKind kind) {
    GdiObject* object = objectFromHandle(handle);
    return object != nullptr && object->kind == kind ? static_cast<T*>(object) : nullptr;
}
HDC handleOf(DC* dc) {
    return reinterpret_cast<HDC>(static_cast<DeviceContext*>(dc));
}
HGDIOBJ handleOf(GdiObject* object) {
    return reinterpret_cast<HGDIOBJ>(object);
}
template <class Handle> Handle handleAs(GdiObject* object) {
    return reinterpret_cast<Handle>(object);
}

template <class Result> Result invalidHandle(Result result) {
    SetLastError(ERROR_INVALID_HANDLE);
    return result;
}
template <class Result> Result invalidParameter(Result result) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return result;
}

// ---------------------------------------------------------------------------------------------
// The display and its system palette.

struct DisplayState {
    int bitsPerPixel = 32;
    std::array<PALETTEENTRY, kSystemPaletteSize> system{};
    std::array<bool, kSystemPaletteSize> taken{}; // free entries given to realised palettes
    Surface screen;
};

void resetSystemPalette(DisplayState& display) {
    display.system.fill(PALETTEENTRY{0, 0, 0, 0});
    display.taken.fill(false);
    for (int i = 0; i < kStaticColours; ++i) {
        display.system[systemIndexOfStatic(i)] = kStaticPalette[i];
        display.taken[systemIndexOfStatic(i)] = true;
    }
}

DisplayState& displayState() {
    static DisplayState* state = [] {
        auto* made = new DisplayState;
        resetSystemPalette(*made);
        return made;
    }();
    return *state;
}

int nearestStaticIndex(COLORREF colour) {
    int best = 0;
    int bestDistance = INT32_MAX;
    for (int i = 0; i < kStaticColours; ++i) {
        const int distance = colourDistance(colour, colourOfEntry(kStaticPalette[i]));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = systemIndexOfStatic(i);
        }
    }
    return best;
}

int nearestEntry(const std::vector<PALETTEENTRY>& entries, COLORREF colour) {
    int best = 0;
    int bestDistance = INT32_MAX;
    for (size_t i = 0; i < entries.size(); ++i) {
        const int distance = colourDistance(colour, colourOfEntry(entries[i]));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
            if (distance == 0) break;
        }
    }
    return best;
}

int nearestColourIndex(const std::vector<COLORREF>& table, COLORREF colour) {
    int best = 0;
    int bestDistance = INT32_MAX;
    for (size_t i = 0; i < table.size(); ++i) {
        const int distance = colourDistance(colour, table[i]);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
            if (distance == 0) break;
        }
    }
    return best;
}

int explicitIndex(const PALETTEENTRY& entry) {
    return (entry.peRed | (entry.peGreen << 8)) % kSystemPaletteSize;
}

// The system palette index a palette entry draws with: its realised place, or (never
// realised) its explicit index or the nearest static colour.
int systemIndexOfEntry(const Palette& palette, size_t i) {
    if (i < palette.systemIndex.size()) return palette.systemIndex[i];
    const PALETTEENTRY& entry = palette.entries[i];
    if ((entry.peFlags & PC_EXPLICIT) != 0) return explicitIndex(entry);
    return nearestStaticIndex(colourOfEntry(entry));
}

COLORREF colourOfPaletteEntry(const Palette& palette, size_t i) {
    const PALETTEENTRY& entry = palette.entries[i];
    if ((entry.peFlags & PC_EXPLICIT) != 0)
        return colourOfEntry(displayState().system[explicitIndex(entry)]);
    return colourOfEntry(entry);
}

// ---------------------------------------------------------------------------------------------
// Stock objects.

struct StockObjects {
    Brush whiteBrush, lightGreyBrush, greyBrush, darkGreyBrush, blackBrush, nullBrush;
    Pen whitePen, blackPen, nullPen;
    Palette defaultPalette;
    Bitmap defaultBitmap; // the 1 x 1 monochrome bitmap a memory device context starts with
};

StockObjects& stock() {
    static StockObjects* objects = [] {
        auto* made = new StockObjects;
        made->whiteBrush.colour = RGB(255, 255, 255);
        made->lightGreyBrush.colour = RGB(192, 192, 192);
        made->greyBrush.colour = RGB(128, 128, 128);
        made->darkGreyBrush.colour = RGB(64, 64, 64);
        made->blackBrush.colour = RGB(0, 0, 0);
        made->nullBrush.style = BS_NULL;
        made->whitePen.log = {PS_SOLID, {1, 0}, RGB(255, 255, 255)};
        made->blackPen.log = {PS_SOLID, {1, 0}, RGB(0, 0, 0)};
        made->nullPen.log = {PS_NULL, {1, 0}, RGB(0, 0, 0)};
        made->defaultPalette.entries.assign(kStaticPalette.begin(), kStaticPalette.end());
        for (int i = 0; i < kStaticColours; ++i)
            made->defaultPalette.systemIndex.push_back(
                static_cast<uint8_t>(systemIndexOfStatic(i)));
        made->defaultBitmap.surface = {1, 1, 1, {1}};
        made->defaultBitmap.bitsPixel = 1;
        return made;
    }();
    return *objects;
}

bool isStock(const GdiObject* object) {
    const StockObjects& s = stock();
    const auto* begin = reinterpret_cast<const char*>(&s);
    const auto* at = reinterpret_cast<const char*>(object);
    return (at >= begin && at < begin + sizeof(StockObjects)) || object == platform::defaultFont();
}

const Palette& paletteOf(const DeviceContext& dc) {
    return dc.palette != nullptr ? *static_cast<const Palette*>(dc.palette)
                                 : stock().defaultPalette;
}

// ---------------------------------------------------------------------------------------------
// Colours on a device context.

COLORREF resolveColour(const DeviceContext& dc, COLORREF colour) {
    const Palette& palette = paletteOf(dc);
    const uint32_t kindByte = colour >> 24;
    if (kindByte == 1) {
        const size_t index = colour & 0xffffu;
        return index < palette.entries.size() ? colourOfPaletteEntry(palette, index) : RGB(0, 0, 0);
    }
    if (kindByte == 2)
        return colourOfPaletteEntry(palette, nearestEntry(palette.entries, colour & 0xffffffu));
    return colour & 0xffffffu;
}

// Maps colours to the system palette indices a device context on a palette display can show:
// the static colours and the entries its realised palette holds.
class PaletteMatcher {
  public:
    explicit PaletteMatcher(const DeviceContext& dc) {
        for (int i = 0; i < kStaticColours; ++i)
            candidates_.push_back(systemIndexOfStatic(i));
        const Palette& palette = paletteOf(dc);
        for (size_t i = 0; i < palette.entries.size(); ++i)
            candidates_.push_back(systemIndexOfEntry(palette, i));
        std::sort(candidates_.begin(), candidates_.end());
        candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
        cacheKeys_.fill(UINT32_MAX);
    }
    uint32_t operator()(COLORREF colour) {
        const uint32_t key = colour & 0xffffffu;
        const size_t slot = (key ^ (key >> 11) ^ (key >> 19)) % kCacheSize;
        if (cacheKeys_[slot] == key) return cacheValues_[slot];
        const auto& system = displayState().system;
        int best = 0;
        int bestDistance = INT32_MAX;
        for (int index : candidates_) {
            const int distance = colourDistance(key, colourOfEntry(system[index]));
            if (distance < bestDistance) {
                bestDistance = distance;
                best = index;
                if (distance == 0) break;
            }
        }
        cacheKeys_[slot] = key;
        cacheValues_[slot] = static_cast<uint8_t>(best);
        return static_cast<uint32_t>(best);
    }

  private:
    static constexpr size_t kCacheSize = 4099;
    std::vector<int> candidates_;
    std::array<uint32_t, kCacheSize> cacheKeys_{};
    std::array<uint8_t, kCacheSize> cacheValues_{};
};

} // namespace

namespace platform {

// Exported: a test that deletes a font object itself runs this from its inline destructor.
WINAPI_EXPORT void trackGdiObject(GdiObject* object, bool live) {
    Lock lock(gdiMutex());
    if (live)
        liveObjects().insert(object);
    else
        liveObjects().erase(object);
}

DeviceContext* deviceContextFromHandle(HDC dc) {
    Lock lock(gdiMutex());
    return dcFromHandle(dc);
}

GdiObject* gdiObjectFromHandle(HGDIOBJ object) {
    Lock lock(gdiMutex());
    return objectFromHandle(object);
}

int displayBitsPerPixel() {
    Lock lock(gdiMutex());
    return displayState().bitsPerPixel;
}

__attribute__((weak)) int fontObjectInfo(GdiObject*, int, void*) {
    return 0;
}

void systemPaletteChanged(HWND cause) {
    HWND root = GetAncestor(cause, GA_ROOT);
    if (root == nullptr) return;
    const DWORD thisThread = GetCurrentThreadId();
    std::vector<HWND> windows;
    for (HWND window = GetWindow(root, GW_HWNDFIRST); window != nullptr;
         window = GetWindow(window, GW_HWNDNEXT))
        windows.push_back(window);
    const auto wParam = reinterpret_cast<WPARAM>(cause);
    for (HWND window : windows) {
        if (GetWindowThreadProcessId(window, nullptr) == thisThread)
            SendMessageA(window, WM_PALETTECHANGED, wParam, 0);
        else
            PostMessageA(window, WM_PALETTECHANGED, wParam, 0);
    }
}

uint32_t surfacePixel(const DeviceContext& dc, COLORREF colour) {
    const int bits = dc.surface != nullptr ? dc.surface->bitsPerPixel : 32;
    if (bits == 8) {
        const Palette& palette = paletteOf(dc);
        const uint32_t kindByte = colour >> 24;
        if (kindByte == 1) {
            const size_t index = colour & 0xffffu;
            return index < palette.entries.size() ? systemIndexOfEntry(palette, index) : 0;
        }
        if (kindByte == 2)
            return systemIndexOfEntry(palette, nearestEntry(palette.entries, colour & 0xffffffu));
        return nearestStaticIndex(colour & 0xffffffu);
    }
    const COLORREF resolved = resolveColour(dc, colour);
    if (bits == 1) return isBright(resolved) ? 1 : 0;
    return packedFromColour(resolved);
}

COLORREF pixelColour(const Surface& surface, uint32_t pixel) {
    if (surface.bitsPerPixel == 8) return colourOfEntry(displayState().system[pixel & 0xffu]);
    if (surface.bitsPerPixel == 1) return (pixel & 1) != 0 ? RGB(255, 255, 255) : RGB(0, 0, 0);
    return colourFromPacked(pixel);
}

} // namespace platform

namespace {

using platform::pixelColour;
using platform::surfacePixel;

// ---------------------------------------------------------------------------------------------
// Rectangles and the window system's notification.

struct Box {
    int64_t left, top, right, bottom;
    bool empty() const { return left >= right || top >= bottom; }
};
Box boxOf(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
Box intersect(const Box& a, const Box& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}
RECT rectOf(const Box& b) {
    auto clamp = [](int64_t v) {
        return static_cast<LONG>(std::clamp(v, -kCoordinateLimit, kCoordinateLimit));
    };
    return {clamp(b.left), clamp(b.top), clamp(b.right), clamp(b.bottom)};
}

// Where a device context may write, in surface coordinates.
Box writableBox(const DC& dc) {
    if (dc.surface == nullptr) return {0, 0, 0, 0};
    Box box = intersect(boxOf(dc.clip), {0, 0, dc.surface->width, dc.surface->height});
    return box;
}

void updateClip(DC& dc) {
    Box box = boxOf(dc.deviceClip);
    if (dc.hasOwnClip) box = intersect(box, boxOf(dc.ownClip));
    if (box.empty()) box = {0, 0, 0, 0};
    dc.clip = rectOf(box);
}

// The window system narrows a painting context's clip to the update region itself
// (BeginPaint); the narrowing stays when the context's own clip changes later.
void keepOutsideNarrowing(DC& dc) {
    if (!dc.hasOwnClip) dc.deviceClip = dc.clip;
}

void updateOrigin(DC& dc) {
    dc.origin.x = dc.deviceOrigin.x + dc.viewportOrigin.x - dc.windowOrigin.x;
    dc.origin.y = dc.deviceOrigin.y + dc.viewportOrigin.y - dc.windowOrigin.y;
}

// Pixels changed on a window's surface; the window system hears of it once the drawing lock is
// released (the declaration order puts its destructor after the lock's).
class PendingChange {
  public:
    PendingChange() = default;
    PendingChange(const PendingChange&) = delete;
    PendingChange& operator=(const PendingChange&) = delete;
    ~PendingChange() {
        if (window_ != nullptr && !dirty_.empty())
            platform::surfaceChanged(window_, rectOf(dirty_));
    }
    void add(const DC& dc, const Box& box) {
        if (dc.window == nullptr || box.empty()) return;
        if (window_ == nullptr || dirty_.empty()) {
            dirty_ = box;
        } else {
            dirty_ = {std::min(dirty_.left, box.left), std::min(dirty_.top, box.top),
                      std::max(dirty_.right, box.right), std::max(dirty_.bottom, box.bottom)};
        }
        window_ = dc.window;
    }

  private:
    HWND window_ = nullptr;
    Box dirty_{0, 0, 0, 0};
};

// ---------------------------------------------------------------------------------------------
// Device-independent bitmaps.

struct DibLayout {
    int width = 0;
    int height = 0; // rows
    bool topDown = false;
    int bits = 0;
    DWORD compression = BI_RGB;
    DWORD masks[3] = {0, 0, 0};
    std::vector<COLORREF> table;
    size_t stride = 0;
    size_t imageBytes() const { return stride * static_cast<size_t>(height); }
};

size_t dibStride(int width, int bits) {
    return ((static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32) * 4;
}

bool isSupportedDibDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

int tableEntries(const BITMAPINFOHEADER& header) {
    if (header.biBitCount > 8) return 0;
    const int full = 1 << header.biBitCount;
    return header.biClrUsed != 0 && header.biClrUsed < static_cast<DWORD>(full)
               ? static_cast<int>(header.biClrUsed)
               : full;
}

// Reads a header (and colour table, DIB_PAL_COLORS through dc's palette).
bool readLayout(const BITMAPINFO* info, UINT usage, const DeviceContext* dc, DibLayout& layout) {
    if (info == nullptr) return false;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biWidth > kMaxBitmapSide || std::abs(header.biHeight) > kMaxBitmapSide ||
        !isSupportedDibDepth(header.biBitCount) ||
        (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS))
        return false;
    const bool bitfields = header.biCompression == BI_BITFIELDS;
    if (header.biCompression != BI_RGB &&
        !(bitfields && (header.biBitCount == 16 || header.biBitCount == 32)))
        return false;
    layout.width = header.biWidth;
    layout.height = std::abs(header.biHeight);
    layout.topDown = header.biHeight < 0;
    layout.bits = header.biBitCount;
    layout.compression = header.biCompression;
    layout.stride = dibStride(layout.width, layout.bits);
    const auto* after = reinterpret_cast<const uint8_t*>(info) + header.biSize;
    if (bitfields) {
        std::memcpy(layout.masks,
                    header.biSize == sizeof(BITMAPINFOHEADER)
                        ? after
                        : reinterpret_cast<const uint8_t*>(info) + 40,
                    sizeof(layout.masks));
        if (header.biSize == sizeof(BITMAPINFOHEADER)) after += sizeof(layout.masks);
        for (DWORD mask : layout.masks)
            if (mask == 0) return false;
    } else if (layout.bits == 16) {
        layout.masks[0] = 0x7c00;
        layout.masks[1] = 0x03e0;
        layout.masks[2] = 0x001f;
    }
    const int entries = tableEntries(header);
    if (entries > 0) {
        layout.table.resize(static_cast<size_t>(1) << layout.bits, RGB(0, 0, 0));
        for (int i = 0; i < entries; ++i) {
            if (usage == DIB_PAL_COLORS) {
                WORD index;
                std::memcpy(&index, after + i * sizeof(WORD), sizeof(index));
                const Palette& palette = dc != nullptr ? paletteOf(*dc) : stock().defaultPalette;
                layout.table[i] = index < palette.entries.size()
                                      ? colourOfPaletteEntry(palette, index)
                                      : RGB(0, 0, 0);
            } else {
                RGBQUAD quad;
                std::memcpy(&quad, after + i * sizeof(RGBQUAD), sizeof(quad));
                layout.table[i] = RGB(quad.rgbRed, quad.rgbGreen, quad.rgbBlue);
            }
        }
    }
    return true;
}

uint32_t maskShift(DWORD mask) {
    uint32_t shift = 0;
    while (((mask >> shift) & 1) == 0)
        ++shift;
    return shift;
}
uint32_t fromMask(uint32_t value, DWORD mask) {
    const uint32_t shift = maskShift(mask);
    const uint32_t top = mask >> shift;
    return ((value & mask) >> shift) * 255 / top;
}

// One row of a DIB as 0x00RRGGBB.
void decodeRow(const DibLayout& layout, const uint8_t* row, uint32_t* out) {
    const int width = layout.width;
    switch (layout.bits) {
    case 1:
    case 4:
    case 8: {
        const int perByte = 8 / layout.bits;
        const uint32_t mask = (1u << layout.bits) - 1;
        for (int x = 0; x < width; ++x) {
            const int shift = 8 - layout.bits * (x % perByte + 1);
            const uint32_t index = (row[x / perByte] >> shift) & mask;
            out[x] = packedFromColour(layout.table[index]);
        }
        break;
    }
    case 16:
        for (int x = 0; x < width; ++x) {
            const uint32_t value = row[2 * x] | (row[2 * x + 1] << 8);
            out[x] = (fromMask(value, layout.masks[0]) << 16) |
                     (fromMask(value, layout.masks[1]) << 8) | fromMask(value, layout.masks[2]);
        }
        break;
    case 24:
        for (int x = 0; x < width; ++x)
            out[x] =
                (static_cast<uint32_t>(row[3 * x + 2]) << 16) | (row[3 * x + 1] << 8) | row[3 * x];
        break;
    case 32:
        for (int x = 0; x < width; ++x) {
            uint32_t value;
            std::memcpy(&value, row + 4 * x, sizeof(value));
            out[x] = layout.compression == BI_BITFIELDS
                         ? (fromMask(value, layout.masks[0]) << 16) |
                               (fromMask(value, layout.masks[1]) << 8) |
                               fromMask(value, layout.masks[2])
                         : value & kWhite32;
        }
        break;
    default:
        break;
    }
}

// Colours to table indices, remembering the colours seen.
class TableMatcher {
  public:
    explicit TableMatcher(const std::vector<COLORREF>& table) : table_(table) {
        keys_.fill(UINT32_MAX);
    }
    uint32_t operator()(uint32_t packed) {
        const size_t slot = (packed ^ (packed >> 11) ^ (packed >> 19)) % kCacheSize;
        if (keys_[slot] == packed) return values_[slot];
        const auto index =
            static_cast<uint8_t>(nearestColourIndex(table_, colourFromPacked(packed)));
        keys_[slot] = packed;
        values_[slot] = index;
        return index;
    }

  private:
    static constexpr size_t kCacheSize = 4099;
    const std::vector<COLORREF>& table_;
    std::array<uint32_t, kCacheSize> keys_{};
    std::array<uint8_t, kCacheSize> values_{};
};

uint32_t toMask(uint32_t component, DWORD mask) {
    const uint32_t shift = maskShift(mask);
    const uint32_t top = mask >> shift;
    return ((component * top + 127) / 255) << shift;
}

// One row of 0x00RRGGBB into a DIB row (the row's padding is zeroed).
void encodeRow(const DibLayout& layout, const uint32_t* in, uint8_t* row, TableMatcher* matcher) {
    std::memset(row, 0, layout.stride);
    const int width = layout.width;
    switch (layout.bits) {
    case 1:
    case 4:
    case 8: {
        const int perByte = 8 / layout.bits;
        for (int x = 0; x < width; ++x) {
            const int shift = 8 - layout.bits * (x % perByte + 1);
            row[x / perByte] |= static_cast<uint8_t>((*matcher)(in[x]) << shift);
        }
        break;
    }
    case 16:
        for (int x = 0; x < width; ++x) {
            const uint32_t value = toMask((in[x] >> 16) & 0xff, layout.masks[0]) |
                                   toMask((in[x] >> 8) & 0xff, layout.masks[1]) |
                                   toMask(in[x] & 0xff, layout.masks[2]);
            row[2 * x] = static_cast<uint8_t>(value);
            row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
        }
        break;
    case 24:
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(in[x]);
            row[3 * x + 1] = static_cast<uint8_t>(in[x] >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(in[x] >> 16);
        }
        break;
    case 32:
        for (int x = 0; x < width; ++x) {
            const uint32_t value = layout.compression == BI_BITFIELDS
                                       ? toMask((in[x] >> 16) & 0xff, layout.masks[0]) |
                                             toMask((in[x] >> 8) & 0xff, layout.masks[1]) |
                                             toMask(in[x] & 0xff, layout.masks[2])
                                       : in[x] & kWhite32;
            std::memcpy(row + 4 * x, &value, sizeof(value));
        }
        break;
    default:
        break;
    }
}

// The surface row a DIB row (counted from the start of its bits) lands on.
int surfaceRowOfDibRow(const DibLayout& layout, int dibRow) {
    return layout.topDown ? dibRow : layout.height - 1 - dibRow;
}

void importSection(Bitmap& bitmap) {
    if (!bitmap.section) return;
    if (std::memcmp(bitmap.sectionBits, bitmap.knownBits.data(), bitmap.sectionBytes) == 0) return;
    DibLayout layout;
    layout.width = bitmap.header.biWidth;
    layout.height = std::abs(bitmap.header.biHeight);
    layout.topDown = bitmap.header.biHeight < 0;
    layout.bits = bitmap.header.biBitCount;
    layout.compression = bitmap.header.biCompression;
    std::memcpy(layout.masks, bitmap.masks, sizeof(layout.masks));
    layout.table = bitmap.colourTable;
    layout.stride = dibStride(layout.width, layout.bits);
    for (int row = 0; row < layout.height; ++row)
        decodeRow(layout, bitmap.sectionBits + row * layout.stride,
                  &bitmap.surface.pixels[static_cast<size_t>(surfaceRowOfDibRow(layout, row)) *
                                         layout.width]);
    std::memcpy(bitmap.knownBits.data(), bitmap.sectionBits, bitmap.sectionBytes);
}

void exportSection(Bitmap& bitmap) {
    if (!bitmap.section) return;
    DibLayout layout;
    layout.width = bitmap.header.biWidth;
    layout.height = std::abs(bitmap.header.biHeight);
    layout.topDown = bitmap.header.biHeight < 0;
    layout.bits = bitmap.header.biBitCount;
    layout.compression = bitmap.header.biCompression;
    std::memcpy(layout.masks, bitmap.masks, sizeof(layout.masks));
    layout.table = bitmap.colourTable;
    layout.stride = dibStride(layout.width, layout.bits);
    TableMatcher matcher(layout.table);
    for (int row = 0; row < layout.height; ++row)
        encodeRow(layout,
                  &bitmap.surface
                       .pixels[static_cast<size_t>(surfaceRowOfDibRow(layout, row)) * layout.width],
                  bitmap.sectionBits + row * layout.stride, &matcher);
    std::memcpy(bitmap.knownBits.data(), bitmap.sectionBits, bitmap.sectionBytes);
}

Bitmap* sectionOf(const DC& dc) {
    auto* bitmap = static_cast<Bitmap*>(dc.bitmap);
    return bitmap != nullptr && bitmap->section ? bitmap : nullptr;
}
void beforeDrawing(const DC& dc) {
    if (Bitmap* section = sectionOf(dc)) importSection(*section);
}
void afterDrawing(const DC& dc) {
    if (Bitmap* section = sectionOf(dc)) exportSection(*section);
}

// ---------------------------------------------------------------------------------------------
// Pixel conversion between surfaces and raster operations.

// Turns a source surface's pixel into a pixel of the destination's kind.
class PixelConverter {
  public:
    PixelConverter(const Surface& source, const DeviceContext* sourceDc, const DeviceContext& dest)
        : sourceBits_(source.bitsPerPixel), destBits_(dest.surface->bitsPerPixel),
          matcher_(destBits_ == 8 && sourceBits_ == 32 ? std::make_unique<PaletteMatcher>(dest)
                                                       : nullptr) {
        if (sourceBits_ == 1) {
            zero_ = surfacePixel(dest, dest.textColour);
            one_ = surfacePixel(dest, dest.backgroundColour);
        } else if (destBits_ == 1) {
            hasBackground_ = sourceDc != nullptr;
            if (hasBackground_) background_ = surfacePixel(*sourceDc, sourceDc->backgroundColour);
        }
    }
    bool identity() const { return sourceBits_ == destBits_; }
    uint32_t operator()(uint32_t pixel) {
        if (sourceBits_ == destBits_) return pixel;
        if (sourceBits_ == 1) return (pixel & 1) != 0 ? one_ : zero_;
        if (destBits_ == 1) {
            if (hasBackground_) return pixel == background_ ? 1 : 0;
            return isBright(sourceColour(pixel)) ? 1 : 0;
        }
        if (destBits_ == 32) return packedFromColour(sourceColour(pixel));
        return (*matcher_)(colourFromPacked(pixel));
    }

  private:
    COLORREF sourceColour(uint32_t pixel) const {
        return sourceBits_ == 8 ? colourOfEntry(displayState().system[pixel & 0xffu])
                                : colourFromPacked(pixel);
    }
    int sourceBits_;
    int destBits_;
    std::unique_ptr<PaletteMatcher> matcher_;
    uint32_t zero_ = 0;
    uint32_t one_ = 0;
    bool hasBackground_ = false;
    uint32_t background_ = 0;
};

uint8_t ropIndex(DWORD rop) {
    return static_cast<uint8_t>((rop >> 16) & 0xff);
}
bool ropUsesSource(uint8_t rop) {
    return (((rop >> 2) ^ rop) & 0x33) != 0;
}
bool ropUsesPattern(uint8_t rop) {
    return (((rop >> 4) ^ rop) & 0x0f) != 0;
}

uint32_t applyRop(uint8_t rop, uint32_t p, uint32_t s, uint32_t d, uint32_t mask) {
    switch (rop) {
    case 0x00:
        return 0;
    case 0xff:
        return mask;
    case 0xcc:
        return s;
    case 0x88:
        return s & d;
    case 0xee:
        return s | d;
    case 0x66:
        return s ^ d;
    case 0x44:
        return s & ~d & mask;
    case 0x33:
        return ~s & mask;
    case 0x11:
        return ~(s | d) & mask;
    case 0xbb:
        return (~s | d) & mask;
    case 0xf0:
        return p;
    case 0x55:
        return ~d & mask;
    case 0x5a:
        return p ^ d;
    case 0xc0:
        return p & s;
    case 0xaa:
        return d;
    default:
        break;
    }
    uint32_t result = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (((rop >> bit) & 1) == 0) continue;
        const uint32_t pp = (bit & 4) != 0 ? p : ~p;
        const uint32_t ss = (bit & 2) != 0 ? s : ~s;
        const uint32_t dd = (bit & 1) != 0 ? d : ~d;
        result |= pp & ss & dd;
    }
    return result & mask;
}

// The brush of a device context as pixels of its surface's kind.
class PatternSource {
  public:
    PatternSource(const DC& dc) {
        const auto* brush = static_cast<const Brush*>(dc.brush);
        if (brush == nullptr || brush->style == BS_NULL) {
            empty_ = true;
            return;
        }
        if (brush->style == BS_PATTERN && brush->pattern.width > 0) {
            pattern_ = &brush->pattern;
            if (pattern_->bitsPerPixel == 1) {
                zero_ = surfacePixel(dc, dc.textColour);
                one_ = surfacePixel(dc, dc.backgroundColour);
            } else {
                matcher_ =
                    dc.surface->bitsPerPixel == 8 ? std::make_unique<PaletteMatcher>(dc) : nullptr;
            }
            destBits_ = dc.surface->bitsPerPixel;
            return;
        }
        solid_ = surfacePixel(dc, brush->colour);
    }
    bool empty() const { return empty_; }
    uint32_t at(int64_t x, int64_t y) {
        if (pattern_ == nullptr) return solid_;
        const int64_t px = ((x % pattern_->width) + pattern_->width) % pattern_->width;
        const int64_t py = ((y % pattern_->height) + pattern_->height) % pattern_->height;
        const uint32_t pixel = pattern_->pixels[static_cast<size_t>(py * pattern_->width + px)];
        if (pattern_->bitsPerPixel == 1) return (pixel & 1) != 0 ? one_ : zero_;
        if (destBits_ == 32) return pixel;
        if (destBits_ == 1) return isBright(colourFromPacked(pixel)) ? 1 : 0;
        return (*matcher_)(colourFromPacked(pixel));
    }

  private:
    bool empty_ = false;
    uint32_t solid_ = 0;
    const Surface* pattern_ = nullptr;
    uint32_t zero_ = 0, one_ = 0;
    int destBits_ = 32;
    std::unique_ptr<PaletteMatcher> matcher_;
};

// One axis of a transfer: destination coordinates inside [low, high) paired with the source
// coordinates inside [0, sourceLimit) they take (nearest pixel when the lengths differ; a
// negative length runs the other way from its start).
struct AxisPair {
    int64_t dest;
    int64_t source;
};
std::vector<AxisPair> mapAxis(int64_t destStart, int64_t destLength, int64_t sourceStart,
                              int64_t sourceLength, int64_t sourceLimit, int64_t low,
                              int64_t high) {
    std::vector<AxisPair> pairs;
    const int64_t n = std::llabs(destLength);
    const int64_t m = std::llabs(sourceLength);
    if (n == 0 || m == 0 || low >= high) return pairs;
    int64_t first, last; // range of i, inclusive
    if (destLength > 0) {
        first = std::max<int64_t>(0, low - destStart);
        last = std::min<int64_t>(n - 1, high - 1 - destStart);
    } else {
        first = std::max<int64_t>(0, destStart - high);
        last = std::min<int64_t>(n - 1, destStart - 1 - low);
    }
    for (int64_t i = first; i <= last; ++i) {
        const int64_t d = destLength > 0 ? destStart + i : destStart - 1 - i;
        const int64_t j =
            n == m ? i : static_cast<int64_t>((static_cast<__int128>(2 * i + 1) * m) / (2 * n));
        const int64_t s = sourceLength > 0 ? sourceStart + j : sourceStart - 1 - j;
        if (s < 0 || s >= sourceLimit) continue;
        pairs.push_back({d, s});
    }
    return pairs;
}

int64_t clampCoordinate(int64_t v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

// The general transfer: a source rectangle (surface coordinates of `source`, or none) onto a
// destination rectangle (surface coordinates of dc's surface) with a raster operation.
Box transfer(DC& dc, int64_t xDest, int64_t yDest, int64_t destWidth, int64_t destHeight,
             const Surface* source, const DeviceContext* sourceDc, int64_t xSrc, int64_t ySrc,
             int64_t srcWidth, int64_t srcHeight, uint8_t rop) {
    Surface& dest = *dc.surface;
    const Box clip = writableBox(dc);
    const bool usesSource = ropUsesSource(rop) && source != nullptr;
    const int64_t sourceLimitX = usesSource ? source->width : kCoordinateLimit * 4;
    const int64_t sourceLimitY = usesSource ? source->height : kCoordinateLimit * 4;
    const int64_t sx0 = usesSource ? xSrc : 0, sy0 = usesSource ? ySrc : 0;
    const std::vector<AxisPair> columns =
        mapAxis(clampCoordinate(xDest), destWidth, sx0, usesSource ? srcWidth : destWidth,
                sourceLimitX, clip.left, clip.right);
    const std::vector<AxisPair> rows =
        mapAxis(clampCoordinate(yDest), destHeight, sy0, usesSource ? srcHeight : destHeight,
                sourceLimitY, clip.top, clip.bottom);
    if (columns.empty() || rows.empty()) return {0, 0, 0, 0};

    // A source that is the destination is read from a copy, so overlapping moves work.
    Surface copy;
    if (usesSource && source == &dest) {
        copy = dest;
        source = &copy;
    }
    const uint32_t mask = pixelMask(dest.bitsPerPixel);
    std::unique_ptr<PixelConverter> converter;
    if (usesSource) converter = std::make_unique<PixelConverter>(*source, sourceDc, dc);
    PatternSource pattern(dc);
    if (ropUsesPattern(rop) && pattern.empty()) return {0, 0, 0, 0};
    const bool plainCopy = usesSource && rop == ropIndex(SRCCOPY) && converter->identity();
    // Unscaled and forwards: whole runs of columns copy at once.
    const bool contiguous =
        columns.back().dest - columns.front().dest == static_cast<int64_t>(columns.size()) - 1 &&
        columns.back().source - columns.front().source == static_cast<int64_t>(columns.size()) - 1;

    for (const AxisPair& row : rows) {
        uint32_t* destRow = &dest.pixels[static_cast<size_t>(row.dest * dest.width)];
        const uint32_t* sourceRow =
            usesSource ? &source->pixels[static_cast<size_t>(row.source * source->width)] : nullptr;
        if (plainCopy && contiguous) {
            std::copy_n(sourceRow + columns.front().source, columns.size(),
                        destRow + columns.front().dest);
            continue;
        }
        if (plainCopy) {
            for (const AxisPair& column : columns)
                destRow[column.dest] = sourceRow[column.source];
            continue;
        }
        for (const AxisPair& column : columns) {
            const uint32_t s = usesSource ? (*converter)(sourceRow[column.source]) : 0;
            const uint32_t p = pattern.empty() ? 0 : pattern.at(column.dest, row.dest);
            destRow[column.dest] = applyRop(rop, p, s, destRow[column.dest], mask);
        }
    }
    Box dirty{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};
    for (const AxisPair& column : columns) {
        dirty.left = std::min(dirty.left, column.dest);
        dirty.right = std::max(dirty.right, column.dest + 1);
    }
    for (const AxisPair& row : rows) {
        dirty.top = std::min(dirty.top, row.dest);
        dirty.bottom = std::max(dirty.bottom, row.dest + 1);
    }
    return dirty;
}

// Fills a rectangle (surface coordinates) with a raster operation on pattern and destination.
Box fillBox(DC& dc, const Box& box, uint8_t rop) {
    if (dc.surface == nullptr || box.empty()) return {0, 0, 0, 0};
    return transfer(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, nullptr,
                    nullptr, 0, 0, 0, 0, rop);
}

Box logicalBox(const DC& dc, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    Box box{clampCoordinate(left + dc.origin.x), clampCoordinate(top + dc.origin.y),
            clampCoordinate(right + dc.origin.x), clampCoordinate(bottom + dc.origin.y)};
    if (box.left > box.right) std::swap(box.left, box.right);
    if (box.top > box.bottom) std::swap(box.top, box.bottom);
    return box;
}

Box fillWithBrush(DC& dc, const Box& box, GdiObject* brush, uint8_t rop) {
    GdiObject* previous = dc.brush;
    dc.brush = brush;
    const Box dirty = fillBox(dc, box, rop);
    dc.brush = previous;
    return dirty;
}

Box merge(const Box& a, const Box& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// ---------------------------------------------------------------------------------------------
// Device contexts.

void select(GdiObject*& slot, GdiObject* object) {
    if (slot != nullptr) --slot->selectedInto;
    slot = object;
    if (object != nullptr) ++object->selectedInto;
}

DC* newDC(DcKind kind) {
    auto dc = std::make_unique<DC>();
    dc->kind = kind;
    select(dc->pen, &stock().blackPen);
    select(dc->brush, &stock().whiteBrush);
    select(dc->font, platform::defaultFont());
    select(dc->palette, &stock().defaultPalette);
    liveDCs().insert(static_cast<DeviceContext*>(dc.get()));
    return dc.release();
}

void setMemoryTarget(DC& dc, Bitmap* bitmap) {
    select(dc.bitmap, bitmap);
    dc.surface = &bitmap->surface;
    dc.deviceOrigin = {0, 0};
    dc.deviceClip = {0, 0, bitmap->surface.width, bitmap->surface.height};
    updateOrigin(dc);
    updateClip(dc);
}

void releaseSaved(SavedState& state) {
    for (GdiObject* object : {state.pen, state.brush, state.font, state.palette, state.bitmap})
        if (object != nullptr) --object->selectedInto;
}

void destroyDC(DC* dc) {
    afterDrawing(*dc);
    for (SavedState& state : dc->saved)
        releaseSaved(state);
    GdiObject* none = nullptr;
    select(dc->pen, none);
    select(dc->brush, none);
    select(dc->font, none);
    select(dc->palette, none);
    select(dc->bitmap, none);
    liveDCs().erase(static_cast<DeviceContext*>(dc));
    delete dc;
}

Surface& screenSurface() {
    DisplayState& state = displayState();
    if (state.screen.width != kScreenWidth || state.screen.bitsPerPixel != state.bitsPerPixel) {
        state.screen.width = kScreenWidth;
        state.screen.height = kScreenHeight;
        state.screen.bitsPerPixel = state.bitsPerPixel;
        state.screen.pixels.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight,
                                   state.bitsPerPixel == 8 ? kSystemPaletteSize - 1 : kWhite32);
    }
    return state.screen;
}

// A window surface made before the display changed depth takes the display's.
void matchDisplayDepth(Surface& surface) {
    const int bits = displayState().bitsPerPixel;
    if (surface.bitsPerPixel == bits || surface.bitsPerPixel == 1) return;
    if (bits == 8) {
        for (uint32_t& pixel : surface.pixels) {
            pixel = static_cast<uint32_t>(nearestStaticIndex(colourFromPacked(pixel)));
        }
    } else {
        for (uint32_t& pixel : surface.pixels)
            pixel = packedFromColour(colourOfEntry(displayState().system[pixel & 0xffu]));
    }
    surface.bitsPerPixel = bits;
}

HDC openDC(HWND window, bool wholeWindow) {
    platform::WindowDrawArea area;
    const bool visible = platform::windowDrawArea(window, wholeWindow, &area);
    Lock lock(gdiMutex());
    DC* dc = newDC(DcKind::Window);
    dc->window = window;
    if (visible && area.surface != nullptr) {
        matchDisplayDepth(*area.surface);
        dc->surface = area.surface;
        dc->deviceOrigin = area.origin;
        dc->deviceClip = area.clip;
    }
    updateOrigin(*dc);
    updateClip(*dc);
    return handleOf(dc);
}

int bitmapFormatOf(const DC* dc) {
    if (dc == nullptr || dc->kind != DcKind::Memory) return displayState().bitsPerPixel;
    const auto* bitmap = static_cast<const Bitmap*>(dc->bitmap);
    if (bitmap == nullptr) return displayState().bitsPerPixel;
    return bitmap->surface.bitsPerPixel;
}

Bitmap* newBitmap(int width, int height, int bitsPerPixel) {
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->surface.width = width;
    bitmap->surface.height = height;
    bitmap->surface.bitsPerPixel = bitsPerPixel;
    // A new bitmap is black (palette index 0 is black too).
    bitmap->surface.pixels.assign(static_cast<size_t>(width) * height, 0);
    bitmap->bitsPixel = bitsPerPixel;
    return bitmap.release();
}

bool acceptableSize(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
           width * height <= kMaxBitmapPixels;
}

// Colours (0x00RRGGBB) into a surface of the kind of `target`, mapped through dc's palette.
void storeColours(const std::vector<uint32_t>& colours, Surface& target, const DeviceContext* dc) {
    if (target.bitsPerPixel == 32) {
        target.pixels = colours;
        return;
    }
    if (target.bitsPerPixel == 1) {
        for (size_t i = 0; i < colours.size(); ++i)
            target.pixels[i] = isBright(colourFromPacked(colours[i])) ? 1 : 0;
        return;
    }
    DeviceContext none;
    PaletteMatcher matcher(dc != nullptr ? *dc : none);
    for (size_t i = 0; i < colours.size(); ++i)
        target.pixels[i] = matcher(colourFromPacked(colours[i]));
}

// A DIB's rows [firstRow, firstRow + rows) (counted as its bits are) into 0x00RRGGBB, top-down,
// full size; rows not given stay `fill`.
std::vector<uint32_t> decodeDib(const DibLayout& layout, const void* bits, int firstRow, int rows,
                                uint32_t fill) {
    std::vector<uint32_t> colours(static_cast<size_t>(layout.width) * layout.height, fill);
    const auto* data = static_cast<const uint8_t*>(bits);
    for (int i = 0; i < rows; ++i) {
        const int dibRow = firstRow + i;
        if (dibRow < 0 || dibRow >= layout.height) continue;
        decodeRow(layout, data + static_cast<size_t>(i) * layout.stride,
                  &colours[static_cast<size_t>(surfaceRowOfDibRow(layout, dibRow)) * layout.width]);
    }
    return colours;
}

// Draws decoded DIB colours through a device context (SetDIBitsToDevice, StretchDIBits).
Box drawColours(DC& dc, std::vector<uint32_t> colours, int width, int height,
                const std::vector<bool>* rowPresent, int64_t xDest, int64_t yDest,
                int64_t destWidth, int64_t destHeight, int64_t xSrc, int64_t ySrc, int64_t srcWidth,
                int64_t srcHeight, uint8_t rop) {
    if (dc.surface == nullptr) return {0, 0, 0, 0};
    Surface source{width, height, 32, std::move(colours)};
    if (rowPresent == nullptr)
        return transfer(dc, xDest, yDest, destWidth, destHeight, &source, nullptr, xSrc, ySrc,
                        srcWidth, srcHeight, rop);
    // Only the rows that were given are drawn: run the transfer per present band.
    Box dirty{0, 0, 0, 0};
    for (int64_t i = 0; i < std::llabs(destHeight); ++i) {
        const int64_t sourceRow = ySrc + (destHeight > 0 ? i : -1 - i);
        if (sourceRow < 0 || sourceRow >= height || !(*rowPresent)[sourceRow]) continue;
        const int64_t destRow = destHeight > 0 ? yDest + i : yDest - 1 - i;
        dirty = merge(dirty, transfer(dc, xDest, destRow, destWidth, 1, &source, nullptr, xSrc,
                                      sourceRow, srcWidth, 1, rop));
    }
    return dirty;
}

// ---------------------------------------------------------------------------------------------
// Lines and shapes (surface coordinates).

class PenPlotter {
  public:
    PenPlotter(DC& dc) : dc_(dc), clip_(writableBox(dc)) {
        const auto* pen = static_cast<const Pen*>(dc.pen);
        style_ = pen != nullptr ? static_cast<int>(pen->log.lopnStyle) : PS_NULL;
        width_ = pen != nullptr ? std::max<int>(1, pen->log.lopnWidth.x) : 1;
        if (pen != nullptr) colour_ = surfacePixel(dc, pen->log.lopnColor);
        gap_ = surfacePixel(dc, dc.backgroundColour);
    }
    bool visible() const { return style_ != PS_NULL && dc_.surface != nullptr; }
    void plot(int64_t x, int64_t y) {
        uint32_t value = colour_;
        if (style_ == PS_DOT || style_ == PS_DASH) {
            const bool on = style_ == PS_DOT ? step_ % 2 == 0 : step_ % 9 < 6;
            ++step_;
            if (!on) {
                if (dc_.backgroundMode != OPAQUE) return;
                value = gap_;
            }
        }
        const int64_t half = (width_ - 1) / 2;
        const Box box =
            intersect({x - half, y - half, x - half + width_, y - half + width_}, clip_);
        for (int64_t py = box.top; py < box.bottom; ++py)
            for (int64_t px = box.left; px < box.right; ++px)
                dc_.surface->pixels[static_cast<size_t>(py * dc_.surface->width + px)] = value;
        if (!box.empty()) dirty_ = merge(dirty_, box);
    }
    // From (x0, y0) towards (x1, y1), the last point left out: one pixel per step along the
    // longer axis, the other coordinate rounded to the nearest pixel. Only the steps that can
    // reach the clip are walked.
    void line(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
        const int64_t dx = x1 - x0, dy = y1 - y0;
        if (dx == 0 && dy == 0) return;
        const bool xMajor = std::llabs(dx) >= std::llabs(dy);
        const int64_t length = xMajor ? std::llabs(dx) : std::llabs(dy);
        const int64_t majorStart = xMajor ? x0 : y0;
        const int64_t majorStep = (xMajor ? dx : dy) > 0 ? 1 : -1;
        const int64_t minorStart = xMajor ? y0 : x0;
        const int64_t minorDelta = xMajor ? dy : dx;
        const int64_t low = (xMajor ? clip_.left : clip_.top) - width_;
        const int64_t high = (xMajor ? clip_.right : clip_.bottom) + width_;
        int64_t first = majorStep > 0 ? low - majorStart : majorStart - (high - 1);
        int64_t last = majorStep > 0 ? high - 1 - majorStart : majorStart - low;
        first = std::max<int64_t>(first, 0);
        last = std::min<int64_t>(last, length - 1);
        if (first > 0 && (style_ == PS_DOT || style_ == PS_DASH)) step_ += first;
        for (int64_t t = first; t <= last; ++t) {
            const __int128 twice = static_cast<__int128>(2) * t * minorDelta + length;
            const __int128 twiceLength = static_cast<__int128>(2) * length;
            __int128 offset = twice / twiceLength;
            if (twice % twiceLength != 0 && twice < 0) --offset; // floor
            const int64_t major = majorStart + majorStep * t;
            const int64_t minor = minorStart + static_cast<int64_t>(offset);
            if (xMajor)
                plot(major, minor);
            else
                plot(minor, major);
        }
    }
    Box dirty() const { return dirty_; }

  private:
    DC& dc_;
    Box clip_;
    int style_ = PS_SOLID;
    int width_ = 1;
    uint32_t colour_ = 0;
    uint32_t gap_ = 0;
    int64_t step_ = 0;
    Box dirty_{0, 0, 0, 0};
};

SavedState stateOf(const DC& dc) {
    return {dc.pen,
            dc.brush,
            dc.font,
            dc.palette,
            dc.bitmap,
            dc.textColour,
            dc.backgroundColour,
            dc.backgroundMode,
            dc.position,
            dc.viewportOrigin,
            dc.windowOrigin,
            dc.hasOwnClip,
            dc.ownClip,
            dc.stretchMode,
            dc.paletteBackground};
}

// ---------------------------------------------------------------------------------------------
// Pictures.

// Appends what libpng writes to a byte vector.
void appendPngBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + length);
}
void flushPngBytes(png_structp) {}

// The surface as an 8-bit RGB PNG. Call with the drawing lock held.
bool encodePng(const Surface& surface, std::vector<uint8_t>* bytes) {
    bytes->clear();
    if (surface.width <= 0 || surface.height <= 0) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(surface.width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        bytes->clear();
        return false;
    }
    png_set_write_fn(png, bytes, appendPngBytes, flushPngBytes);
    png_set_IHDR(png, info, static_cast<png_uint_32>(surface.width),
                 static_cast<png_uint_32>(surface.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < surface.height; ++y) {
        for (int x = 0; x < surface.width; ++x) {
            const COLORREF colour =
                pixelColour(surface, surface.pixels[static_cast<size_t>(y) * surface.width + x]);
            row[3 * x] = GetRValue(colour);
            row[3 * x + 1] = GetGValue(colour);
            row[3 * x + 2] = GetBValue(colour);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool writePng(const Surface& surface, const char* path) {
    if (path == nullptr) return false;
    std::vector<uint8_t> bytes;
    if (!encodePng(surface, &bytes)) return false;
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::remove(path);
        return false;
    }
    return true;
}

} // namespace

namespace {

// Maps the device context's palette into the system palette (see RealizePalette).
UINT realizeInto(DC* dc) {
    auto* palette = static_cast<Palette*>(dc->palette);
    DisplayState& state = displayState();
    if (palette == nullptr || palette == &stock().defaultPalette || state.bitsPerPixel != 8)
        return 0;
    if (!dc->paletteBackground)
        for (int i = kStaticColoursEachEnd; i < kSystemPaletteSize - kStaticColoursEachEnd; ++i)
            state.taken[i] = false;
    UINT changed = 0;
    palette->systemIndex.assign(palette->entries.size(), 0);
    int nextFree = kStaticColoursEachEnd;
    for (size_t i = 0; i < palette->entries.size(); ++i) {
        const PALETTEENTRY& entry = palette->entries[i];
        if ((entry.peFlags & PC_EXPLICIT) != 0) {
            palette->systemIndex[i] = static_cast<uint8_t>(explicitIndex(entry));
            continue;
        }
        const COLORREF colour = colourOfEntry(entry);
        int found = -1;
        if ((entry.peFlags & (PC_RESERVED | PC_NOCOLLAPSE)) == 0) {
            for (int index = 0; index < kSystemPaletteSize && found < 0; ++index)
                if (state.taken[index] && colourOfEntry(state.system[index]) == colour)
                    found = index;
        }
        if (found < 0) {
            while (nextFree < kSystemPaletteSize - kStaticColoursEachEnd && state.taken[nextFree])
                ++nextFree;
            if (nextFree < kSystemPaletteSize - kStaticColoursEachEnd) {
                found = nextFree;
                state.taken[found] = true;
                if (colourOfEntry(state.system[found]) != colour) ++changed;
                state.system[found] = {entry.peRed, entry.peGreen, entry.peBlue, 0};
            }
        }
        if (found < 0) {
            int bestDistance = INT32_MAX;
            for (int index = 0; index < kSystemPaletteSize; ++index) {
                if (!state.taken[index]) continue;
                const int distance = colourDistance(colour, colourOfEntry(state.system[index]));
                if (distance < bestDistance) {
                    bestDistance = distance;
                    found = index;
                }
            }
        }
        palette->systemIndex[i] = static_cast<uint8_t>(found);
    }
    return changed;
}

} // namespace

namespace platform {

HDC openWindowDC(HWND window, bool wholeWindow) {
    return openDC(window, wholeWindow);
}

void closeWindowDC(HDC handle) {
    Lock lock(gdiMutex());
    if (DC* dc = dcFromHandle(handle)) destroyDC(dc);
}

} // namespace platform

extern "C" {

// ---------------------------------------------------------------------------------------------
// Device contexts.

HDC GetDC(HWND window) {
    if (window == nullptr) {
        Lock lock(gdiMutex());
        DC* dc = newDC(DcKind::Screen);
        dc->surface = &screenSurface();
        dc->deviceClip = {0, 0, kScreenWidth, kScreenHeight};
        updateOrigin(*dc);
        updateClip(*dc);
        return handleOf(dc);
    }
    if (!IsWindow(window)) {
        SetLastError(kErrorInvalidWindowHandle);
        return nullptr;
    }
    return openDC(window, false);
}

HDC GetWindowDC(HWND window) {
    if (window == nullptr) return GetDC(nullptr);
    if (!IsWindow(window)) {
        SetLastError(kErrorInvalidWindowHandle);
        return nullptr;
    }
    return openDC(window, true);
}

int ReleaseDC(HWND window, HDC handle) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr || dc->kind == DcKind::Memory || dc->window != window) return 0;
    destroyDC(dc);
    return 1;
}

HDC CreateCompatibleDC(HDC handle) {
    Lock lock(gdiMutex());
    if (handle != nullptr && dcFromHandle(handle) == nullptr) return invalidHandle<HDC>(nullptr);
    DC* dc = newDC(DcKind::Memory);
    setMemoryTarget(*dc, &stock().defaultBitmap);
    return handleOf(dc);
}

BOOL DeleteDC(HDC handle) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    destroyDC(dc);
    return TRUE;
}

int SaveDC(HDC handle) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(0);
    keepOutsideNarrowing(*dc);
    SavedState state = stateOf(*dc);
    for (GdiObject* object : {state.pen, state.brush, state.font, state.palette, state.bitmap})
        if (object != nullptr) ++object->selectedInto;
    dc->saved.push_back(state);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC handle, int savedDC) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    const int count = static_cast<int>(dc->saved.size());
    const int level = savedDC < 0 ? count + 1 + savedDC : savedDC;
    if (savedDC == 0 || level < 1 || level > count) return FALSE;
    SavedState state = dc->saved[level - 1];
    for (int i = count - 1; i >= level - 1; --i) {
        if (i != level - 1) releaseSaved(dc->saved[i]);
    }
    dc->saved.resize(level - 1);
    afterDrawing(*dc);
    // The saved references become the selections again.
    GdiObject* slots[] = {dc->pen, dc->brush, dc->font, dc->palette, dc->bitmap};
    for (GdiObject* object : slots)
        if (object != nullptr) --object->selectedInto;
    dc->pen = state.pen;
    dc->brush = state.brush;
    dc->font = state.font;
    dc->palette = state.palette;
    dc->bitmap = state.bitmap;
    if (dc->kind == DcKind::Memory && dc->bitmap != nullptr) {
        auto* bitmap = static_cast<Bitmap*>(dc->bitmap);
        dc->surface = &bitmap->surface;
        dc->deviceClip = {0, 0, bitmap->surface.width, bitmap->surface.height};
    }
    dc->textColour = state.textColour;
    dc->backgroundColour = state.backgroundColour;
    dc->backgroundMode = state.backgroundMode;
    dc->position = state.position;
    dc->viewportOrigin = state.viewportOrigin;
    dc->windowOrigin = state.windowOrigin;
    dc->hasOwnClip = state.hasOwnClip;
    dc->ownClip = state.ownClip;
    dc->stretchMode = state.stretchMode;
    dc->paletteBackground = state.paletteBackground;
    updateOrigin(*dc);
    updateClip(*dc);
    return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ objectHandle) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    GdiObject* object = objectFromHandle(objectHandle);
    if (dc == nullptr || object == nullptr) return invalidHandle<HGDIOBJ>(nullptr);
    GdiObject** slot = nullptr;
    switch (object->kind) {
    case GdiKind::Pen:
        slot = &dc->pen;
        break;
    case GdiKind::Brush:
        slot = &dc->brush;
        break;
    case GdiKind::Font:
        slot = &dc->font;
        break;
    case GdiKind::Palette:
        return invalidParameter<HGDIOBJ>(nullptr); // SelectPalette's
    case GdiKind::Bitmap: {
        auto* bitmap = static_cast<Bitmap*>(object);
        if (dc->kind != DcKind::Memory) return invalidParameter<HGDIOBJ>(nullptr);
        if (dc->bitmap == object) return objectHandle;
        // A bitmap lives in one device context at a time (the stock one excepted).
        if (object->selectedInto > 0 && object != &stock().defaultBitmap)
            return invalidParameter<HGDIOBJ>(nullptr);
        afterDrawing(*dc);
        GdiObject* previous = dc->bitmap;
        setMemoryTarget(*dc, bitmap);
        return handleOf(previous);
    }
    }
    GdiObject* previous = *slot;
    select(*slot, object);
    return handleOf(previous);
}

BOOL DeleteObject(HGDIOBJ handle) {
    Lock lock(gdiMutex());
    GdiObject* object = objectFromHandle(handle);
    if (object == nullptr) return invalidHandle(FALSE);
    if (isStock(object)) return TRUE;
    if (object->selectedInto > 0) return FALSE;
    delete object;
    return TRUE;
}

int GetObjectA(HANDLE handle, int size, LPVOID buffer) {
    Lock lock(gdiMutex());
    GdiObject* object = objectFromHandle(handle);
    if (object == nullptr) return invalidHandle(0);
    auto copyOut = [&](const void* data, int dataSize) {
        if (buffer == nullptr) return dataSize;
        if (size <= 0) return 0;
        const int copied = std::min(size, dataSize);
        std::memcpy(buffer, data, static_cast<size_t>(copied));
        return copied;
    };
    switch (object->kind) {
    case GdiKind::Pen:
        return copyOut(&static_cast<Pen*>(object)->log, sizeof(LOGPEN));
    case GdiKind::Brush: {
        const auto* brush = static_cast<Brush*>(object);
        LOGBRUSH log{brush->style, brush->colour, 0};
        return copyOut(&log, sizeof(log));
    }
    case GdiKind::Palette: {
        const WORD count = static_cast<WORD>(static_cast<Palette*>(object)->entries.size());
        return copyOut(&count, sizeof(count));
    }
    case GdiKind::Font:
        return platform::fontObjectInfo(object, size, buffer);
    case GdiKind::Bitmap: {
        auto* bitmap = static_cast<Bitmap*>(object);
        DIBSECTION section{};
        BITMAP& info = section.dsBm;
        info.bmWidth = bitmap->surface.width;
        info.bmHeight = bitmap->surface.height;
        info.bmPlanes = 1;
        info.bmBitsPixel = static_cast<WORD>(bitmap->bitsPixel);
        if (bitmap->section) {
            info.bmWidthBytes = static_cast<LONG>(dibStride(info.bmWidth, bitmap->bitsPixel));
            info.bmBits = bitmap->sectionBits;
            section.dsBmih = bitmap->header;
            section.dsBmih.biSizeImage = static_cast<DWORD>(bitmap->sectionBytes);
            std::memcpy(section.dsBitfields, bitmap->masks, sizeof(section.dsBitfields));
            if (buffer != nullptr && size >= static_cast<int>(sizeof(DIBSECTION)))
                return copyOut(&section, sizeof(DIBSECTION));
        } else {
            info.bmWidthBytes = (info.bmWidth * bitmap->bitsPixel + 15) / 16 * 2;
        }
        return copyOut(&info, sizeof(BITMAP));
    }
    }
    return 0;
}

DWORD GetObjectType(HGDIOBJ handle) {
    Lock lock(gdiMutex());
    if (DC* dc = dcFromHandle(reinterpret_cast<HDC>(handle)))
        return dc->kind == DcKind::Memory ? OBJ_MEMDC : OBJ_DC;
    GdiObject* object = objectFromHandle(handle);
    if (object == nullptr) return invalidHandle(0u);
    switch (object->kind) {
    case GdiKind::Pen:
        return OBJ_PEN;
    case GdiKind::Brush:
        return OBJ_BRUSH;
    case GdiKind::Bitmap:
        return OBJ_BITMAP;
    case GdiKind::Palette:
        return OBJ_PAL;
    case GdiKind::Font:
        return OBJ_FONT;
    }
    return 0;
}

HGDIOBJ GetStockObject(int index) {
    Lock lock(gdiMutex());
    StockObjects& s = stock();
    switch (index) {
    case WHITE_BRUSH:
        return handleOf(&s.whiteBrush);
    case LTGRAY_BRUSH:
        return handleOf(&s.lightGreyBrush);
    case GRAY_BRUSH:
        return handleOf(&s.greyBrush);
    case DKGRAY_BRUSH:
        return handleOf(&s.darkGreyBrush);
    case BLACK_BRUSH:
        return handleOf(&s.blackBrush);
    case NULL_BRUSH:
        return handleOf(&s.nullBrush);
    case WHITE_PEN:
        return handleOf(&s.whitePen);
    case BLACK_PEN:
        return handleOf(&s.blackPen);
    case NULL_PEN:
        return handleOf(&s.nullPen);
    case DEFAULT_PALETTE:
        return handleOf(&s.defaultPalette);
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case ANSI_VAR_FONT:
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
    case SYSTEM_FIXED_FONT:
    case DEFAULT_GUI_FONT:
        return handleOf(platform::defaultFont());
    default:
        return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC handle, UINT type) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle<HGDIOBJ>(nullptr);
    switch (type) {
    case OBJ_PEN:
        return handleOf(dc->pen);
    case OBJ_BRUSH:
        return handleOf(dc->brush);
    case OBJ_PAL:
        return handleOf(dc->palette);
    case OBJ_FONT:
        return handleOf(dc->font);
    case OBJ_BITMAP:
        return handleOf(dc->bitmap);
    default:
        return invalidParameter<HGDIOBJ>(nullptr);
    }
}

BOOL SetViewportOrgEx(HDC handle, int x, int y, POINT* previous) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    if (previous != nullptr) *previous = dc->viewportOrigin;
    dc->viewportOrigin = {x, y};
    updateOrigin(*dc);
    return TRUE;
}

BOOL GetViewportOrgEx(HDC handle, POINT* origin) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr || origin == nullptr) return invalidHandle(FALSE);
    *origin = dc->viewportOrigin;
    return TRUE;
}

BOOL SetWindowOrgEx(HDC handle, int x, int y, POINT* previous) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    if (previous != nullptr) *previous = dc->windowOrigin;
    dc->windowOrigin = {x, y};
    updateOrigin(*dc);
    return TRUE;
}

BOOL GetWindowOrgEx(HDC handle, POINT* origin) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr || origin == nullptr) return invalidHandle(FALSE);
    *origin = dc->windowOrigin;
    return TRUE;
}

int GetDeviceCaps(HDC handle, int index) {
    Lock lock(gdiMutex());
    if (dcFromHandle(handle) == nullptr) return invalidHandle(0);
    const bool palette = displayState().bitsPerPixel == 8;
    constexpr double kMillimetresPerInch = 25.4;
    switch (index) {
    case TECHNOLOGY:
        return DT_RASDISPLAY;
    case HORZSIZE:
        return static_cast<int>(std::lround(kScreenWidth * kMillimetresPerInch / kDotsPerInch));
    case VERTSIZE:
        return static_cast<int>(std::lround(kScreenHeight * kMillimetresPerInch / kDotsPerInch));
    case HORZRES:
        return kScreenWidth;
    case VERTRES:
        return kScreenHeight;
    case BITSPIXEL:
        return displayState().bitsPerPixel;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return palette ? kStaticColours : -1;
    case RASTERCAPS:
        return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT |
               RC_STRETCHDIB | (palette ? RC_PALETTE : 0);
    case LOGPIXELSX:
    case LOGPIXELSY:
        return kDotsPerInch;
    case SIZEPALETTE:
        return palette ? kSystemPaletteSize : 0;
    case NUMRESERVED:
        return palette ? kStaticColours : 0;
    case COLORRES:
        return palette ? 18 : 24;
    default:
        return 0;
    }
}

BOOL GdiFlush() {
    Lock lock(gdiMutex());
    for (const void* dcPointer : liveDCs())
        afterDrawing(*static_cast<const DC*>(static_cast<const DeviceContext*>(dcPointer)));
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Clipping.

int IntersectClipRect(HDC handle, int left, int top, int right, int bottom) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(ERROR);
    keepOutsideNarrowing(*dc);
    Box box = logicalBox(*dc, left, top, right, bottom);
    if (dc->hasOwnClip) box = intersect(box, boxOf(dc->ownClip));
    if (box.empty()) box = {0, 0, 0, 0};
    dc->hasOwnClip = true;
    dc->ownClip = rectOf(box);
    updateClip(*dc);
    return boxOf(dc->clip).empty() ? NULLREGION : SIMPLEREGION;
}

int ExcludeClipRect(HDC handle, int left, int top, int right, int bottom) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(ERROR);
    keepOutsideNarrowing(*dc);
    const Box current = boxOf(dc->clip);
    const Box cut = intersect(logicalBox(*dc, left, top, right, bottom), current);
    if (cut.empty()) return current.empty() ? NULLREGION : SIMPLEREGION;
    // One rectangle is kept: the largest part of the clip beside the excluded rectangle.
    const Box parts[] = {{current.left, current.top, current.right, cut.top},
                         {current.left, cut.bottom, current.right, current.bottom},
                         {current.left, current.top, cut.left, current.bottom},
                         {cut.right, current.top, current.right, current.bottom}};
    Box best{0, 0, 0, 0};
    int64_t bestArea = 0;
    int nonEmpty = 0;
    for (const Box& part : parts) {
        if (part.empty()) continue;
        ++nonEmpty;
        const int64_t area = (part.right - part.left) * (part.bottom - part.top);
        if (area > bestArea) {
            bestArea = area;
            best = part;
        }
    }
    dc->hasOwnClip = true;
    dc->ownClip = rectOf(best);
    updateClip(*dc);
    if (best.empty()) return NULLREGION;
    return nonEmpty > 1 ? COMPLEXREGION : SIMPLEREGION;
}

int SelectClipRgn(HDC handle, HRGN region) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(ERROR);
    keepOutsideNarrowing(*dc);
    if (region != nullptr) return invalidParameter(ERROR);
    dc->hasOwnClip = false;
    updateClip(*dc);
    return boxOf(dc->clip).empty() ? NULLREGION : SIMPLEREGION;
}

int GetClipBox(HDC handle, RECT* box) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr || box == nullptr) return invalidHandle(ERROR);
    const Box clip = boxOf(dc->clip);
    if (clip.empty()) {
        *box = {0, 0, 0, 0};
        return NULLREGION;
    }
    *box = {static_cast<LONG>(clip.left - dc->origin.x), static_cast<LONG>(clip.top - dc->origin.y),
            static_cast<LONG>(clip.right - dc->origin.x),
            static_cast<LONG>(clip.bottom - dc->origin.y)};
    return SIMPLEREGION;
}

// ---------------------------------------------------------------------------------------------
// Bitmaps and block transfers.

HBITMAP CreateCompatibleBitmap(HDC handle, int width, int height) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle<HBITMAP>(nullptr);
    if (width == 0 || height == 0) return handleAs<HBITMAP>(newBitmap(1, 1, 1));
    if (!acceptableSize(width, height)) return invalidParameter<HBITMAP>(nullptr);
    try {
        const int bits = bitmapFormatOf(dc);
        return handleAs<HBITMAP>(newBitmap(width, height, bits == 1 ? 1 : bits));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    Lock lock(gdiMutex());
    if (!acceptableSize(width, height) || planes != 1 ||
        (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 &&
         bitsPerPixel != 32))
        return invalidParameter<HBITMAP>(nullptr);
    try {
        const int displayBits = displayState().bitsPerPixel;
        const int stored = bitsPerPixel == 1 ? 1 : bitsPerPixel == 8 && displayBits == 8 ? 8 : 32;
        Bitmap* bitmap = newBitmap(width, height, stored);
        bitmap->bitsPixel = static_cast<int>(bitsPerPixel);
        if (bits != nullptr) {
            // Device-dependent rows are padded to 16 bits and run top-down.
            const size_t stride = (static_cast<size_t>(width) * bitsPerPixel + 15) / 16 * 2;
            const auto* data = static_cast<const uint8_t*>(bits);
            for (int y = 0; y < height; ++y) {
                const uint8_t* row = data + static_cast<size_t>(y) * stride;
                uint32_t* out = &bitmap->surface.pixels[static_cast<size_t>(y) * width];
                for (int x = 0; x < width; ++x) {
                    switch (bitsPerPixel) {
                    case 1:
                        out[x] = (row[x / 8] >> (7 - x % 8)) & 1;
                        break;
                    case 8:
                        out[x] =
                            stored == 8
                                ? row[x]
                                : packedFromColour(colourOfEntry(displayState().system[row[x]]));
                        break;
                    case 16: {
                        const uint32_t value = row[2 * x] | (row[2 * x + 1] << 8);
                        out[x] = (fromMask(value, 0x7c00) << 16) | (fromMask(value, 0x03e0) << 8) |
                                 fromMask(value, 0x001f);
                        break;
                    }
                    case 24:
                        out[x] = (static_cast<uint32_t>(row[3 * x + 2]) << 16) |
                                 (row[3 * x + 1] << 8) | row[3 * x];
                        break;
                    default: {
                        uint32_t value;
                        std::memcpy(&value, row + 4 * x, sizeof(value));
                        out[x] = value & kWhite32;
                    }
                    }
                }
            }
        }
        return handleAs<HBITMAP>(bitmap);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HBITMAP CreateDIBitmap(HDC handle, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (handle != nullptr && dc == nullptr) return invalidHandle<HBITMAP>(nullptr);
    if (header == nullptr || header->biSize < sizeof(BITMAPINFOHEADER) ||
        !acceptableSize(header->biWidth, std::abs(header->biHeight)))
        return invalidParameter<HBITMAP>(nullptr);
    DibLayout layout;
    const bool initialise = (init & CBM_INIT) != 0;
    if (initialise && (bits == nullptr || !readLayout(info, usage, dc, layout)))
        return invalidParameter<HBITMAP>(nullptr);
    try {
        const int format = bitmapFormatOf(dc);
        Bitmap* bitmap = newBitmap(header->biWidth, std::abs(header->biHeight), format);
        if (initialise) {
            if (layout.width != bitmap->surface.width || layout.height != bitmap->surface.height) {
                // The info block describes the bits; the header the bitmap's size.
                const std::vector<uint32_t> colours = decodeDib(layout, bits, 0, layout.height, 0);
                std::vector<uint32_t> fitted(bitmap->surface.pixels.size(), 0);
                for (int y = 0; y < std::min(layout.height, bitmap->surface.height); ++y)
                    for (int x = 0; x < std::min(layout.width, bitmap->surface.width); ++x)
                        fitted[static_cast<size_t>(y) * bitmap->surface.width + x] =
                            colours[static_cast<size_t>(y) * layout.width + x];
                storeColours(fitted, bitmap->surface, dc);
            } else {
                storeColours(decodeDib(layout, bits, 0, layout.height, 0), bitmap->surface, dc);
            }
        }
        return handleAs<HBITMAP>(bitmap);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HBITMAP CreateDIBSection(HDC handle, const BITMAPINFO* info, UINT usage, void** bits,
                         HANDLE section, DWORD offset) {
    Lock lock(gdiMutex());
    if (bits != nullptr) *bits = nullptr;
    DC* dc = dcFromHandle(handle);
    if (handle != nullptr && dc == nullptr) return invalidHandle<HBITMAP>(nullptr);
    DibLayout layout;
    if (section != nullptr || offset != 0 || !readLayout(info, usage, dc, layout) ||
        !acceptableSize(layout.width, layout.height))
        return invalidParameter<HBITMAP>(nullptr);
    try {
        std::unique_ptr<Bitmap> bitmap(newBitmap(layout.width, layout.height, 32));
        bitmap->bitsPixel = layout.bits;
        bitmap->section = true;
        bitmap->header = info->bmiHeader;
        bitmap->header.biSize = sizeof(BITMAPINFOHEADER);
        bitmap->header.biClrUsed = static_cast<DWORD>(layout.table.size());
        bitmap->colourTable = layout.table;
        std::memcpy(bitmap->masks, layout.masks, sizeof(bitmap->masks));
        bitmap->sectionBytes = layout.imageBytes();
        bitmap->sectionBits = static_cast<uint8_t*>(std::calloc(bitmap->sectionBytes, 1));
        if (bitmap->sectionBits == nullptr) throw std::bad_alloc();
        bitmap->knownBits.assign(bitmap->sectionBytes, 0xff); // differs: the first import runs
        importSection(*bitmap);
        if (bits != nullptr) *bits = bitmap->sectionBits;
        return handleAs<HBITMAP>(bitmap.release());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

int GetDIBits(HDC handle, HBITMAP bitmapHandle, UINT startScan, UINT scanLines, LPVOID bits,
              BITMAPINFO* info, UINT usage) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    auto* bitmap = objectOfKind<Bitmap>(bitmapHandle, GdiKind::Bitmap);
    if (dc == nullptr || bitmap == nullptr) return invalidHandle(0);
    if (info == nullptr || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) ||
        (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS))
        return invalidParameter(0);
    importSection(*bitmap);
    const Surface& surface = bitmap->surface;
    BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biBitCount == 0) {
        // The format query: the bitmap's own size and depth, no bits, no colour table.
        if (bits != nullptr) return invalidParameter(0);
        header.biWidth = surface.width;
        header.biHeight = bitmap->section ? bitmap->header.biHeight : surface.height;
        header.biPlanes = 1;
        header.biBitCount = static_cast<WORD>(bitmap->bitsPixel);
        header.biCompression = bitmap->section ? bitmap->header.biCompression : BI_RGB;
        header.biSizeImage = static_cast<DWORD>(dibStride(surface.width, header.biBitCount) *
                                                static_cast<size_t>(surface.height));
        header.biClrUsed = 0;
        header.biClrImportant = 0;
        return 1;
    }
    if (header.biWidth <= 0 || header.biHeight == 0) {
        header.biWidth = surface.width;
        header.biHeight = surface.height;
    }
    if (!isSupportedDibDepth(header.biBitCount) || header.biWidth != surface.width ||
        std::abs(header.biHeight) != surface.height)
        return invalidParameter(0);
    if (header.biBitCount != 16 && header.biBitCount != 32) header.biCompression = BI_RGB;
    if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS)
        return invalidParameter(0);
    header.biPlanes = 1;
    DibLayout layout;
    layout.width = surface.width;
    layout.height = surface.height;
    layout.topDown = header.biHeight < 0;
    layout.bits = header.biBitCount;
    layout.compression = header.biCompression;
    layout.stride = dibStride(layout.width, layout.bits);
    auto* after = reinterpret_cast<uint8_t*>(info) + header.biSize;
    if (layout.compression == BI_BITFIELDS) {
        if (layout.bits == 16) {
            layout.masks[0] = 0xf800;
            layout.masks[1] = 0x07e0;
            layout.masks[2] = 0x001f;
        } else {
            layout.masks[0] = 0xff0000;
            layout.masks[1] = 0x00ff00;
            layout.masks[2] = 0x0000ff;
        }
        std::memcpy(after, layout.masks, sizeof(layout.masks));
    } else if (layout.bits == 16) {
        layout.masks[0] = 0x7c00;
        layout.masks[1] = 0x03e0;
        layout.masks[2] = 0x001f;
    }
    header.biSizeImage = static_cast<DWORD>(layout.imageBytes());
    // The colour table of 1, 4 and 8 bits: the device context's palette when one is selected
    // and fits, else the bitmap's own (DIB section), the system palette of a palette display or
    // a fixed table.
    if (layout.bits <= 8) {
        const size_t full = size_t{1} << layout.bits;
        const Palette& palette = paletteOf(*dc);
        const bool ownPalette = dc->palette != &stock().defaultPalette &&
                                !palette.entries.empty() && palette.entries.size() <= full;
        if (ownPalette) {
            for (size_t i = 0; i < palette.entries.size(); ++i)
                layout.table.push_back(colourOfPaletteEntry(palette, i));
        } else if (bitmap->section && bitmap->colourTable.size() == full) {
            layout.table = bitmap->colourTable;
        } else if (layout.bits == 1) {
            layout.table = {RGB(0, 0, 0), RGB(255, 255, 255)};
        } else if (layout.bits == 4) {
            layout.table.assign(kFourBitColours.begin(), kFourBitColours.end());
        } else if (displayState().bitsPerPixel == 8) {
            for (const PALETTEENTRY& entry : displayState().system)
                layout.table.push_back(colourOfEntry(entry));
        } else {
            for (int i = 0; i < kStaticColoursEachEnd; ++i)
                layout.table.push_back(colourOfEntry(kStaticPalette[i]));
            constexpr int kCubeSteps = 6;
            for (int r = 0; r < kCubeSteps; ++r)
                for (int g = 0; g < kCubeSteps; ++g)
                    for (int b = 0; b < kCubeSteps; ++b)
                        layout.table.push_back(RGB(static_cast<BYTE>(r * 51),
                                                   static_cast<BYTE>(g * 51),
                                                   static_cast<BYTE>(b * 51)));
            while (layout.table.size() < full - kStaticColoursEachEnd) {
                const auto grey = static_cast<BYTE>((layout.table.size() - 226) * 12 + 6);
                layout.table.push_back(RGB(grey, grey, grey));
            }
            for (int i = kStaticColoursEachEnd; i < kStaticColours; ++i)
                layout.table.push_back(colourOfEntry(kStaticPalette[i]));
        }
        layout.table.resize(full, RGB(0, 0, 0));
        for (size_t i = 0; i < full; ++i) {
            if (usage == DIB_PAL_COLORS) {
                const WORD index = static_cast<WORD>(i);
                std::memcpy(after + i * sizeof(WORD), &index, sizeof(index));
            } else {
                const RGBQUAD quad{GetBValue(layout.table[i]), GetGValue(layout.table[i]),
                                   GetRValue(layout.table[i]), 0};
                std::memcpy(after + i * sizeof(RGBQUAD), &quad, sizeof(quad));
            }
        }
        header.biClrUsed = 0;
    }
    if (bits == nullptr) return 1;
    if (startScan >= static_cast<UINT>(layout.height)) return 0;
    const UINT lines = std::min<UINT>(scanLines, static_cast<UINT>(layout.height) - startScan);
    TableMatcher matcher(layout.table);
    std::vector<uint32_t> colours(static_cast<size_t>(layout.width));
    auto* out = static_cast<uint8_t*>(bits);
    for (UINT i = 0; i < lines; ++i) {
        const int row = surfaceRowOfDibRow(layout, static_cast<int>(startScan + i));
        const uint32_t* in = &surface.pixels[static_cast<size_t>(row) * layout.width];
        uint8_t* outRow = out + static_cast<size_t>(i) * layout.stride;
        if (surface.bitsPerPixel == 32 && layout.bits == 32 && layout.compression == BI_RGB) {
            // 0x00RRGGBB in memory is the DIB's blue, green, red, 0.
            std::memcpy(outRow, in, layout.stride);
            continue;
        }
        for (int x = 0; x < layout.width; ++x)
            colours[x] = packedFromColour(pixelColour(surface, in[x]));
        encodeRow(layout, colours.data(), outRow, &matcher);
    }
    return static_cast<int>(lines);
}

int SetDIBitsToDevice(HDC handle, int xDest, int yDest, DWORD width, DWORD height, int xSrc,
                      int ySrc, UINT startScan, UINT scanLines, const void* bits,
                      const BITMAPINFO* info, UINT usage) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(0);
    DibLayout layout;
    if (bits == nullptr || !readLayout(info, usage, dc, layout) ||
        width > static_cast<DWORD>(kMaxBitmapSide) || height > static_cast<DWORD>(kMaxBitmapSide))
        return invalidParameter(0);
    const int lines = static_cast<int>(std::min<UINT>(scanLines, static_cast<UINT>(layout.height)));
    const int first = static_cast<int>(std::min<UINT>(startScan, static_cast<UINT>(layout.height)));
    if (dc->surface == nullptr) return lines;
    beforeDrawing(*dc);
    std::vector<uint32_t> colours = decodeDib(layout, bits, first, lines, 0);
    std::vector<bool> present(static_cast<size_t>(layout.height), false);
    for (int i = 0; i < lines; ++i)
        if (first + i < layout.height) present[surfaceRowOfDibRow(layout, first + i)] = true;
    // A bottom-up DIB counts the source's y from its last row.
    const int64_t top =
        layout.topDown ? ySrc
                       : static_cast<int64_t>(layout.height) - ySrc - static_cast<int64_t>(height);
    const bool everyRow = first == 0 && lines == layout.height;
    const Box dirty = drawColours(*dc, std::move(colours), layout.width, layout.height,
                                  everyRow ? nullptr : &present, int64_t{xDest} + dc->origin.x,
                                  int64_t{yDest} + dc->origin.y, width, height, xSrc, top, width,
                                  height, ropIndex(SRCCOPY));
    afterDrawing(*dc);
    change.add(*dc, dirty);
    return lines;
}

int StretchDIBits(HDC handle, int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                  int ySrc, int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  UINT usage, DWORD rop) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(0);
    DibLayout layout;
    const uint8_t index = ropIndex(rop);
    if ((ropUsesSource(index) && bits == nullptr) ||
        (bits != nullptr && !readLayout(info, usage, dc, layout)))
        return invalidParameter(0);
    if (dc->surface == nullptr) return layout.height;
    beforeDrawing(*dc);
    std::vector<uint32_t> colours;
    if (bits != nullptr) colours = decodeDib(layout, bits, 0, layout.height, 0);
    const int64_t top =
        layout.topDown ? ySrc : static_cast<int64_t>(layout.height) - ySrc - srcHeight;
    const Box dirty = drawColours(*dc, std::move(colours), layout.width, layout.height, nullptr,
                                  int64_t{xDest} + dc->origin.x, int64_t{yDest} + dc->origin.y,
                                  destWidth, destHeight, xSrc, top, srcWidth, srcHeight, index);
    afterDrawing(*dc);
    change.add(*dc, dirty);
    return layout.height;
}

BOOL StretchBlt(HDC destHandle, int xDest, int yDest, int destWidth, int destHeight,
                HDC sourceHandle, int xSrc, int ySrc, int srcWidth, int srcHeight, DWORD rop) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(destHandle);
    if (dc == nullptr) return invalidHandle(FALSE);
    const uint8_t index = ropIndex(rop);
    DC* source = nullptr;
    if (ropUsesSource(index)) {
        source = dcFromHandle(sourceHandle);
        if (source == nullptr) return invalidHandle(FALSE);
    }
    if (dc->surface == nullptr || (source != nullptr && source->surface == nullptr)) return TRUE;
    beforeDrawing(*dc);
    if (source != nullptr) beforeDrawing(*source);
    const Box dirty = transfer(*dc, int64_t{xDest} + dc->origin.x, int64_t{yDest} + dc->origin.y,
                               destWidth, destHeight, source != nullptr ? source->surface : nullptr,
                               source, source != nullptr ? int64_t{xSrc} + source->origin.x : 0,
                               source != nullptr ? int64_t{ySrc} + source->origin.y : 0, srcWidth,
                               srcHeight, index);
    afterDrawing(*dc);
    change.add(*dc, dirty);
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int xSrc, int ySrc,
            DWORD rop) {
    return StretchBlt(dest, x, y, width, height, source, xSrc, ySrc, width, height, rop);
}

BOOL PatBlt(HDC handle, int x, int y, int width, int height, DWORD rop) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    const uint8_t index = ropIndex(rop);
    if (ropUsesSource(index)) return invalidParameter(FALSE);
    if (dc->surface == nullptr) return TRUE;
    beforeDrawing(*dc);
    const Box dirty =
        fillBox(*dc, logicalBox(*dc, x, y, int64_t{x} + width, int64_t{y} + height), index);
    afterDrawing(*dc);
    change.add(*dc, dirty);
    return TRUE;
}

int SetStretchBltMode(HDC handle, int mode) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(0);
    if (mode < BLACKONWHITE || mode > HALFTONE) return invalidParameter(0);
    const int previous = dc->stretchMode;
    dc->stretchMode = mode;
    return previous;
}

int GetStretchBltMode(HDC handle) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    return dc != nullptr ? dc->stretchMode : invalidHandle(0);
}

// ---------------------------------------------------------------------------------------------
// Palettes.

HPALETTE CreatePalette(const LOGPALETTE* log) {
    Lock lock(gdiMutex());
    if (log == nullptr || log->palVersion != kPaletteVersion || log->palNumEntries == 0 ||
        log->palNumEntries > kMaxPaletteEntries)
        return invalidParameter<HPALETTE>(nullptr);
    auto* palette = new Palette;
    palette->entries.assign(log->palPalEntry, log->palPalEntry + log->palNumEntries);
    return handleAs<HPALETTE>(palette);
}

HPALETTE SelectPalette(HDC handle, HPALETTE paletteHandle, BOOL forceBackground) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    auto* palette = objectOfKind<Palette>(paletteHandle, GdiKind::Palette);
    if (dc == nullptr || palette == nullptr) return invalidHandle<HPALETTE>(nullptr);
    GdiObject* previous = dc->palette;
    select(dc->palette, palette);
    dc->paletteBackground = forceBackground != FALSE;
    return reinterpret_cast<HPALETTE>(previous);
}

// Maps the device context's palette into the system palette. A foreground palette first takes
// back every free entry; then each entry is an explicit index, an exact colour already there
// (unless it asks for an entry of its own), a free entry given its colour, or, with none left,
// the nearest colour there. Returns how many system palette entries changed colour.
UINT RealizePalette(HDC handle) {
    HWND cause = nullptr;
    UINT changed = 0;
    {
        Lock lock(gdiMutex());
        DC* dc = dcFromHandle(handle);
        if (dc == nullptr) return invalidHandle(GDI_ERROR);
        changed = realizeInto(dc);
        cause = dc->window;
    }
    if (changed > 0 && cause != nullptr) platform::systemPaletteChanged(cause);
    return changed;
}

UINT GetPaletteEntries(HPALETTE handle, UINT start, UINT count, PALETTEENTRY* entries) {
    Lock lock(gdiMutex());
    auto* palette = objectOfKind<Palette>(handle, GdiKind::Palette);
    if (palette == nullptr) return invalidHandle(0u);
    const auto size = static_cast<UINT>(palette->entries.size());
    if (entries == nullptr) return size;
    if (start >= size) return 0;
    const UINT copied = std::min(count, size - start);
    std::copy_n(palette->entries.begin() + start, copied, entries);
    return copied;
}

UINT SetPaletteEntries(HPALETTE handle, UINT start, UINT count, const PALETTEENTRY* entries) {
    Lock lock(gdiMutex());
    auto* palette = objectOfKind<Palette>(handle, GdiKind::Palette);
    if (palette == nullptr || palette == &stock().defaultPalette) return invalidHandle(0u);
    const auto size = static_cast<UINT>(palette->entries.size());
    if (entries == nullptr || start >= size) return invalidParameter(0u);
    const UINT copied = std::min(count, size - start);
    std::copy_n(entries, copied, palette->entries.begin() + start);
    return copied;
}

UINT GetSystemPaletteEntries(HDC handle, UINT start, UINT count, PALETTEENTRY* entries) {
    Lock lock(gdiMutex());
    if (dcFromHandle(handle) == nullptr) return invalidHandle(0u);
    if (displayState().bitsPerPixel != 8) return 0;
    if (entries == nullptr) return kSystemPaletteSize;
    if (start >= static_cast<UINT>(kSystemPaletteSize)) return 0;
    const UINT copied = std::min(count, static_cast<UINT>(kSystemPaletteSize) - start);
    std::copy_n(displayState().system.begin() + start, copied, entries);
    return copied;
}

UINT GetNearestPaletteIndex(HPALETTE handle, COLORREF colour) {
    Lock lock(gdiMutex());
    auto* palette = objectOfKind<Palette>(handle, GdiKind::Palette);
    if (palette == nullptr) return invalidHandle(CLR_INVALID);
    return static_cast<UINT>(nearestEntry(palette->entries, colour & 0xffffffu));
}

COLORREF GetNearestColor(HDC handle, COLORREF colour) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(CLR_INVALID);
    if (dc->surface == nullptr) return resolveColour(*dc, colour);
    return pixelColour(*dc->surface, surfacePixel(*dc, colour));
}

BOOL UnrealizeObject(HGDIOBJ handle) {
    Lock lock(gdiMutex());
    GdiObject* object = objectFromHandle(handle);
    if (object == nullptr) return invalidHandle(FALSE);
    if (object->kind == GdiKind::Palette && !isStock(object))
        static_cast<Palette*>(object)->systemIndex.clear();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Pens, brushes, colours and shapes.

HPEN CreatePen(int style, int width, COLORREF colour) {
    Lock lock(gdiMutex());
    if (style != PS_SOLID && style != PS_DASH && style != PS_DOT && style != PS_NULL)
        return invalidParameter<HPEN>(nullptr);
    auto* pen = new Pen;
    // Patterned pens are one pixel wide.
    const int drawnWidth = style == PS_SOLID ? std::max(width, 0) : 1;
    pen->log = {static_cast<UINT>(style), {drawnWidth, 0}, colour};
    return handleAs<HPEN>(pen);
}

HPEN CreatePenIndirect(const LOGPEN* log) {
    if (log == nullptr) return invalidParameter<HPEN>(nullptr);
    return CreatePen(static_cast<int>(log->lopnStyle), log->lopnWidth.x, log->lopnColor);
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    Lock lock(gdiMutex());
    auto* brush = new Brush;
    brush->colour = colour;
    return static_cast<GdiObject*>(brush);
}

HBRUSH CreatePatternBrush(HBITMAP handle) {
    Lock lock(gdiMutex());
    auto* bitmap = objectOfKind<Bitmap>(handle, GdiKind::Bitmap);
    if (bitmap == nullptr) return invalidHandle<HBRUSH>(nullptr);
    importSection(*bitmap);
    auto* brush = new Brush;
    brush->style = BS_PATTERN;
    brush->pattern = bitmap->surface;
    if (brush->pattern.bitsPerPixel == 8) {
        for (uint32_t& pixel : brush->pattern.pixels)
            pixel = packedFromColour(colourOfEntry(displayState().system[pixel & 0xffu]));
        brush->pattern.bitsPerPixel = 32;
    }
    return static_cast<GdiObject*>(brush);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* log) {
    if (log == nullptr) return invalidParameter<HBRUSH>(nullptr);
    if (log->lbStyle == BS_SOLID) return CreateSolidBrush(log->lbColor);
    if (log->lbStyle == BS_NULL) return GetStockObject(NULL_BRUSH);
    if (log->lbStyle == BS_PATTERN)
        return CreatePatternBrush(reinterpret_cast<HBITMAP>(log->lbHatch));
    return invalidParameter<HBRUSH>(nullptr);
}

COLORREF SetTextColor(HDC handle, COLORREF colour) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(CLR_INVALID);
    const COLORREF previous = dc->textColour;
    dc->textColour = colour;
    return previous;
}

COLORREF GetTextColor(HDC handle) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    return dc != nullptr ? dc->textColour : invalidHandle(CLR_INVALID);
}

COLORREF SetBkColor(HDC handle, COLORREF colour) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(CLR_INVALID);
    const COLORREF previous = dc->backgroundColour;
    dc->backgroundColour = colour;
    return previous;
}

COLORREF GetBkColor(HDC handle) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    return dc != nullptr ? dc->backgroundColour : invalidHandle(CLR_INVALID);
}

int SetBkMode(HDC handle, int mode) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(0);
    if (mode != TRANSPARENT && mode != OPAQUE) return invalidParameter(0);
    const int previous = dc->backgroundMode;
    dc->backgroundMode = mode;
    return previous;
}

int GetBkMode(HDC handle) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    return dc != nullptr ? dc->backgroundMode : invalidHandle(0);
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF colour) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(CLR_INVALID);
    const int64_t sx = int64_t{x} + dc->origin.x, sy = int64_t{y} + dc->origin.y;
    const Box clip = writableBox(*dc);
    if (sx < clip.left || sx >= clip.right || sy < clip.top || sy >= clip.bottom)
        return CLR_INVALID;
    beforeDrawing(*dc);
    const uint32_t pixel = surfacePixel(*dc, colour);
    dc->surface->pixels[static_cast<size_t>(sy * dc->surface->width + sx)] = pixel;
    afterDrawing(*dc);
    change.add(*dc, {sx, sy, sx + 1, sy + 1});
    return pixelColour(*dc->surface, pixel);
}

COLORREF GetPixel(HDC handle, int x, int y) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(CLR_INVALID);
    const int64_t sx = int64_t{x} + dc->origin.x, sy = int64_t{y} + dc->origin.y;
    const Box clip = writableBox(*dc);
    if (sx < clip.left || sx >= clip.right || sy < clip.top || sy >= clip.bottom)
        return CLR_INVALID;
    beforeDrawing(*dc);
    return pixelColour(*dc->surface,
                       dc->surface->pixels[static_cast<size_t>(sy * dc->surface->width + sx)]);
}

BOOL MoveToEx(HDC handle, int x, int y, POINT* previous) {
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    if (previous != nullptr) *previous = dc->position;
    dc->position = {x, y};
    return TRUE;
}

BOOL LineTo(HDC handle, int x, int y) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    const POINT from = dc->position;
    dc->position = {x, y};
    PenPlotter plotter(*dc);
    if (!plotter.visible()) return TRUE;
    beforeDrawing(*dc);
    plotter.line(int64_t{from.x} + dc->origin.x, int64_t{from.y} + dc->origin.y,
                 int64_t{x} + dc->origin.x, int64_t{y} + dc->origin.y);
    afterDrawing(*dc);
    change.add(*dc, plotter.dirty());
    return TRUE;
}

BOOL Polyline(HDC handle, const POINT* points, int count) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    if (points == nullptr || count < 2) return invalidParameter(FALSE);
    PenPlotter plotter(*dc);
    if (!plotter.visible()) return TRUE;
    beforeDrawing(*dc);
    for (int i = 1; i < count; ++i)
        plotter.line(int64_t{points[i - 1].x} + dc->origin.x,
                     int64_t{points[i - 1].y} + dc->origin.y, int64_t{points[i].x} + dc->origin.x,
                     int64_t{points[i].y} + dc->origin.y);
    afterDrawing(*dc);
    change.add(*dc, plotter.dirty());
    return TRUE;
}

BOOL Rectangle(HDC handle, int left, int top, int right, int bottom) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    if (dc->surface == nullptr) return TRUE;
    const Box box = logicalBox(*dc, left, top, right, bottom);
    if (box.empty()) return TRUE;
    beforeDrawing(*dc);
    PenPlotter plotter(*dc);
    Box dirty{0, 0, 0, 0};
    if (plotter.visible()) {
        dirty = fillBox(*dc, {box.left + 1, box.top + 1, box.right - 1, box.bottom - 1},
                        ropIndex(PATCOPY));
        plotter.line(box.left, box.top, box.right - 1, box.top);
        plotter.line(box.right - 1, box.top, box.right - 1, box.bottom - 1);
        plotter.line(box.right - 1, box.bottom - 1, box.left, box.bottom - 1);
        plotter.line(box.left, box.bottom - 1, box.left, box.top);
        dirty = merge(dirty, plotter.dirty());
    } else {
        // Without a pen the filled area ends one pixel earlier on the right and at the bottom.
        dirty = fillBox(*dc, {box.left, box.top, box.right - 1, box.bottom - 1}, ropIndex(PATCOPY));
    }
    afterDrawing(*dc);
    change.add(*dc, dirty);
    return TRUE;
}

BOOL Ellipse(HDC handle, int left, int top, int right, int bottom) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    if (dc == nullptr) return invalidHandle(FALSE);
    if (dc->surface == nullptr) return TRUE;
    const Box box = logicalBox(*dc, left, top, right, bottom);
    if (box.empty()) return TRUE;
    beforeDrawing(*dc);
    const double centreX = (box.left + box.right) / 2.0, centreY = (box.top + box.bottom) / 2.0;
    const double radiusX = (box.right - box.left) / 2.0, radiusY = (box.bottom - box.top) / 2.0;
    auto inside = [&](int64_t x, int64_t y) {
        if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) return false;
        const double u = (x + 0.5 - centreX) / radiusX, v = (y + 0.5 - centreY) / radiusY;
        return u * u + v * v <= 1.0;
    };
    const Box clip = intersect(writableBox(*dc), box);
    PatternSource pattern(*dc);
    PenPlotter plotter(*dc);
    Box dirty{0, 0, 0, 0};
    for (int64_t y = clip.top; y < clip.bottom; ++y) {
        for (int64_t x = clip.left; x < clip.right; ++x) {
            if (!inside(x, y)) continue;
            const bool edge =
                !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
            if (edge && plotter.visible()) {
                plotter.plot(x, y);
            } else if (!pattern.empty()) {
                dc->surface->pixels[static_cast<size_t>(y * dc->surface->width + x)] =
                    pattern.at(x, y);
                dirty = merge(dirty, {x, y, x + 1, y + 1});
            }
        }
    }
    afterDrawing(*dc);
    change.add(*dc, merge(dirty, plotter.dirty()));
    return TRUE;
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brushHandle) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    GdiObject* brush = objectOfKind<Brush>(brushHandle, GdiKind::Brush);
    if (dc == nullptr || brush == nullptr) return invalidHandle(0);
    if (rect == nullptr) return invalidParameter(0);
    if (dc->surface == nullptr) return 1;
    beforeDrawing(*dc);
    // The rectangle as given: a reversed one fills nothing.
    const Box box{clampCoordinate(int64_t{rect->left} + dc->origin.x),
                  clampCoordinate(int64_t{rect->top} + dc->origin.y),
                  clampCoordinate(int64_t{rect->right} + dc->origin.x),
                  clampCoordinate(int64_t{rect->bottom} + dc->origin.y)};
    const Box dirty = fillWithBrush(*dc, box, brush, ropIndex(PATCOPY));
    afterDrawing(*dc);
    change.add(*dc, dirty);
    return 1;
}

int FrameRect(HDC handle, const RECT* rect, HBRUSH brushHandle) {
    PendingChange change;
    Lock lock(gdiMutex());
    DC* dc = dcFromHandle(handle);
    GdiObject* brush = objectOfKind<Brush>(brushHandle, GdiKind::Brush);
    if (dc == nullptr || brush == nullptr) return invalidHandle(0);
    if (rect == nullptr) return invalidParameter(0);
    if (dc->surface == nullptr) return 1;
    const Box box{clampCoordinate(int64_t{rect->left} + dc->origin.x),
                  clampCoordinate(int64_t{rect->top} + dc->origin.y),
                  clampCoordinate(int64_t{rect->right} + dc->origin.x),
                  clampCoordinate(int64_t{rect->bottom} + dc->origin.y)};
    if (box.empty()) return 1;
    beforeDrawing(*dc);
    const uint8_t copy = ropIndex(PATCOPY);
    Box dirty = fillWithBrush(*dc, {box.left, box.top, box.right, box.top + 1}, brush, copy);
    dirty = merge(
        dirty, fillWithBrush(*dc, {box.left, box.bottom - 1, box.right, box.bottom}, brush, copy));
    dirty = merge(dirty,
                  fillWithBrush(*dc, {box.left, box.top, box.left + 1, box.bottom}, brush, copy));
    dirty = merge(dirty,
                  fillWithBrush(*dc, {box.right - 1, box.top, box.right, box.bottom}, brush, copy));
    afterDrawing(*dc);
    change.add(*dc, dirty);
    return 1;
}

BOOL InvertRect(HDC handle, const RECT* rect) {
    if (rect == nullptr) return invalidParameter(FALSE);
    return PatBlt(handle, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                  DSTINVERT);
}

// ---------------------------------------------------------------------------------------------
// The display and pictures.

BOOL PlatformSetDisplayBits(int bitsPerPixel) {
    Lock lock(gdiMutex());
    if (bitsPerPixel != 32 && bitsPerPixel != 8) return invalidParameter(FALSE);
    DisplayState& state = displayState();
    state.bitsPerPixel = bitsPerPixel;
    resetSystemPalette(state);
    screenSurface();
    return TRUE;
}

int PlatformDisplayBits() {
    Lock lock(gdiMutex());
    return displayState().bitsPerPixel;
}

BOOL PlatformSaveBitmapPng(HBITMAP handle, const char* path) {
    Lock lock(gdiMutex());
    auto* bitmap = objectOfKind<Bitmap>(handle, GdiKind::Bitmap);
    if (bitmap == nullptr) return invalidHandle(FALSE);
    importSection(*bitmap);
    if (!writePng(bitmap->surface, path)) return invalidParameter(FALSE);
    return TRUE;
}

BOOL PlatformSaveWindowPng(HWND topLevel, const char* path) {
    platform::WindowDrawArea area;
    if (!platform::windowDrawArea(topLevel, true, &area) || area.surface == nullptr)
        return invalidHandle(FALSE);
    Lock lock(gdiMutex());
    if (!writePng(*area.surface, path)) return invalidParameter(FALSE);
    return TRUE;
}

COLORREF PlatformWindowPixel(HWND window, int x, int y) {
    platform::WindowDrawArea area;
    if (!platform::windowDrawArea(window, true, &area) || area.surface == nullptr)
        return CLR_INVALID;
    Lock lock(gdiMutex());
    const int64_t sx = int64_t{x} + area.origin.x, sy = int64_t{y} + area.origin.y;
    const Box visible =
        intersect(boxOf(area.clip), {0, 0, area.surface->width, area.surface->height});
    if (sx < visible.left || sx >= visible.right || sy < visible.top || sy >= visible.bottom)
        return CLR_INVALID;
    return pixelColour(*area.surface,
                       area.surface->pixels[static_cast<size_t>(sy * area.surface->width + sx)]);
}

} // extern "C"

namespace platform {

void copySurfaceColours(const Surface& surface, const RECT& area, uint32_t* target,
                        size_t targetStride) {
    Lock lock(gdiMutex());
    const Box box = intersect(boxOf(area), {0, 0, surface.width, surface.height});
    if (box.empty()) return;
    for (int64_t y = box.top; y < box.bottom; ++y) {
        const uint32_t* from = surface.pixels.data() + y * surface.width;
        uint32_t* to = target + static_cast<size_t>(y) * targetStride;
        for (int64_t x = box.left; x < box.right; ++x) {
            if (surface.bitsPerPixel == 32) {
                to[x] = from[x] & 0xffffffu;
            } else {
                const COLORREF colour = pixelColour(surface, from[x]);
                to[x] = (uint32_t{GetRValue(colour)} << 16) | (uint32_t{GetGValue(colour)} << 8) |
                        GetBValue(colour);
            }
        }
    }
}

bool surfacePng(const Surface& surface, std::vector<uint8_t>* png) {
    Lock lock(gdiMutex());
    return encodePng(surface, png);
}

bool bitmapPng(HBITMAP handle, std::vector<uint8_t>* png) {
    Lock lock(gdiMutex());
    auto* bitmap = objectOfKind<Bitmap>(handle, GdiKind::Bitmap);
    if (bitmap == nullptr) return false;
    importSection(*bitmap);
    return encodePng(bitmap->surface, png);
}

} // namespace platform
