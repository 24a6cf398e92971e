// Resources: each module's table (registered by the source orq_resources generates), lookups by
// type and name, and the objects made from resources (bitmaps, icons, cursors, accelerator
// tables, strings), plus the platform's own caption-button bitmaps.
#include "platform/resource_internal.h"

#if __has_include("platform/stubs_pres.h")
#include "platform/stubs_pres.h"
#endif

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace platform {
namespace {

struct ModuleTable {
    const PlatformResource* entries = nullptr;
    DWORD count = 0;
    std::string path;     // as GetModuleFileNameA gives it
    std::string realPath; // resolved, for matching other spellings of the same file
};

// Lookups come from every editor thread; tables change when libraries load and unload.
struct Registry {
    std::mutex lock;
    std::map<HMODULE, ModuleTable> tables;
    // Shared icons and cursors by module, type and name ("#12" or the upper-case name).
    std::map<std::tuple<HMODULE, int, std::string>, IconImage*> sharedIcons;
    std::set<const void*> icons; // every live IconImage
};
Registry& registry() {
    static auto* instance = new Registry; // never destroyed: libraries unregister at exit
    return *instance;
}

HMODULE mainModule() {
    static const HMODULE module =
        PlatformModuleFromAddress(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
    return module;
}

std::string modulePath(HMODULE module) {
    if (module == mainModule()) {
        char buffer[PATH_MAX];
        ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
    }
    Dl_info info{};
    if (dladdr(module, &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

std::string resolvedPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (path.empty() || realpath(path.c_str(), buffer) == nullptr) return path;
    return buffer;
}

// "#123" names the number 123.
bool numberFromName(LPCSTR name, WORD* number) {
    if (name[0] != '#' || name[1] == '\0') return false;
    unsigned long value = 0;
    for (const char* c = name + 1; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(*c - '0');
        if (value > 0xffff) return false;
    }
    *number = static_cast<WORD>(value);
    return true;
}

bool matches(const char* entryName, WORD entryId, LPCSTR wanted) {
    WORD number = 0;
    if (IS_INTRESOURCE(wanted)) {
        number = static_cast<WORD>(reinterpret_cast<uintptr_t>(wanted));
    } else if (!numberFromName(wanted, &number)) {
        return entryName != nullptr && strcasecmp(entryName, wanted) == 0;
    }
    return entryName == nullptr && entryId == number;
}

std::string nameKey(LPCSTR name) {
    WORD number = 0;
    // Built by appending: GCC 12 at -O3 warns falsely about "#" + std::to_string(...).
    std::string numbered = "#";
    if (IS_INTRESOURCE(name)) return numbered.append(std::to_string(reinterpret_cast<uintptr_t>(name)));
    if (numberFromName(name, &number)) return numbered.append(std::to_string(number));
    std::string key = name;
    for (char& c : key)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return key;
}

const PlatformResource* find(HMODULE module, LPCSTR name, LPCSTR type) {
    if (name == nullptr || type == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (module == nullptr) module = mainModule();
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto table = r.tables.find(module);
    if (table == r.tables.end()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool typeFound = false;
    for (DWORD i = 0; i < table->second.count; ++i) {
        const PlatformResource& entry = table->second.entries[i];
        if (!matches(entry.typeName, entry.typeId, type)) continue;
        typeFound = true;
        if (matches(entry.name, entry.id, name)) return &entry;
    }
    SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

template <typename T> T readAt(const BYTE* data, size_t offset) {
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

// A packed device-independent bitmap: header, colour table (or the three masks of
// BI_BITFIELDS) and bits. False for anything else or one cut short.
struct PackedDib {
    BITMAPINFOHEADER header{};
    const BITMAPINFO* info = nullptr;
    const BYTE* bits = nullptr;
    size_t colourCount = 0;
    size_t stride = 0;
};
constexpr DWORD kBitFields = 3; // BI_BITFIELDS
bool readPackedDib(const BYTE* data, size_t size, PackedDib* dib, bool doubledHeight = false) {
    if (size < sizeof(BITMAPINFOHEADER)) return false;
    std::memcpy(&dib->header, data, sizeof(BITMAPINFOHEADER));
    const BITMAPINFOHEADER& h = dib->header;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size || h.biWidth <= 0 ||
        h.biHeight == 0 || h.biPlanes != 1)
        return false;
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (h.biCompression != BI_RGB && h.biCompression != kBitFields) return false;
    dib->colourCount = h.biClrUsed != 0 ? h.biClrUsed : (bits <= 8 ? size_t{1} << bits : 0);
    // The masks follow a 40-byte header; longer headers hold them.
    const bool masksFollow = h.biCompression == kBitFields && h.biSize == sizeof(BITMAPINFOHEADER);
    size_t tableBytes = dib->colourCount * 4 + (masksFollow ? 12 : 0);
    dib->stride = (static_cast<size_t>(h.biWidth) * bits + 31) / 32 * 4;
    size_t rows =
        static_cast<size_t>(h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight);
    size_t bitsBytes = dib->stride * (doubledHeight ? rows / 2 : rows);
    if (h.biSize + tableBytes + bitsBytes > size) return false;
    dib->info = reinterpret_cast<const BITMAPINFO*>(data);
    dib->bits = data + h.biSize + tableBytes;
    return true;
}

HBITMAP bitmapFromDib(const BYTE* data, size_t size, bool dibSection) {
    PackedDib dib;
    if (!readPackedDib(data, size, &dib)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = nullptr;
    if (dibSection) {
        void* bits = nullptr;
        bitmap = CreateDIBSection(screen, dib.info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap != nullptr) {
            size_t rows = static_cast<size_t>(std::abs(dib.header.biHeight));
            std::memcpy(bits, dib.bits, dib.stride * rows);
        }
    } else {
        bitmap = CreateDIBitmap(screen, &dib.header, CBM_INIT, dib.bits, dib.info, DIB_RGB_COLORS);
    }
    ReleaseDC(nullptr, screen);
    return bitmap;
}

// The platform's caption zoom button, normal and pressed: 16 x 14 pixels (the classic caption
// button at the default metrics), a raised or sunken button face with a window glyph.
constexpr int kZoomWidth = 16;
constexpr int kZoomHeight = 14;
std::vector<BYTE> zoomButtonDib(bool pressed) {
    constexpr COLORREF kFace = RGB(192, 192, 192), kHighlight = RGB(255, 255, 255),
                       kLight = RGB(223, 223, 223), kShadow = RGB(128, 128, 128),
                       kDarkShadow = RGB(0, 0, 0), kGlyph = RGB(0, 0, 0);
    COLORREF pixels[kZoomHeight][kZoomWidth];
    for (auto& row : pixels)
        for (COLORREF& p : row)
            p = kFace;
    auto frame = [&](int inset, COLORREF topLeft, COLORREF bottomRight) {
        int right = kZoomWidth - 1 - inset, bottom = kZoomHeight - 1 - inset;
        for (int x = inset; x <= right; ++x) {
            pixels[inset][x] = topLeft;
            pixels[bottom][x] = bottomRight;
        }
        for (int y = inset; y <= bottom; ++y) {
            pixels[y][inset] = topLeft;
            pixels[y][right] = bottomRight;
        }
        pixels[bottom][inset] = bottomRight;
        pixels[inset][right] = bottomRight;
    };
    if (pressed) {
        frame(0, kDarkShadow, kHighlight);
        frame(1, kShadow, kLight);
    } else {
        frame(0, kLight, kDarkShadow);
        frame(1, kHighlight, kShadow);
    }
    // The window glyph: a 9 x 9 outline with a two-pixel title bar.
    const int shift = pressed ? 1 : 0;
    const int left = 3 + shift, top = 2 + shift, right = left + 8, bottom = top + 8;
    for (int x = left; x <= right; ++x) {
        pixels[top][x] = pixels[top + 1][x] = kGlyph;
        pixels[bottom][x] = kGlyph;
    }
    for (int y = top; y <= bottom; ++y)
        pixels[y][left] = pixels[y][right] = kGlyph;

    const size_t stride = (kZoomWidth * 3 + 3) / 4 * 4;
    std::vector<BYTE> dib(sizeof(BITMAPINFOHEADER) + stride * kZoomHeight);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = kZoomWidth;
    header.biHeight = kZoomHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(stride * kZoomHeight);
    std::memcpy(dib.data(), &header, sizeof header);
    for (int y = 0; y < kZoomHeight; ++y) {
        BYTE* row = dib.data() + sizeof header + stride * (kZoomHeight - 1 - y); // bottom-up
        for (int x = 0; x < kZoomWidth; ++x) {
            row[3 * x] = GetBValue(pixels[y][x]);
            row[3 * x + 1] = GetGValue(pixels[y][x]);
            row[3 * x + 2] = GetRValue(pixels[y][x]);
        }
    }
    return dib;
}

const std::vector<BYTE>* oemBitmap(LPCSTR name) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    static const std::vector<BYTE> zoom = zoomButtonDib(false);
    static const std::vector<BYTE> zoomPressed = zoomButtonDib(true);
    switch (reinterpret_cast<uintptr_t>(name)) {
    case OBM_ZOOM:
        return &zoom;
    case OBM_ZOOMD:
        return &zoomPressed;
    default:
        return nullptr;
    }
}

HBITMAP loadBitmap(HMODULE module, LPCSTR name, bool dibSection) {
    if (module == nullptr && name != nullptr) {
        if (const std::vector<BYTE>* oem = oemBitmap(name))
            return bitmapFromDib(oem->data(), oem->size(), dibSection);
    }
    const PlatformResource* resource = find(module, name, RT_BITMAP);
    if (resource == nullptr) return nullptr;
    return bitmapFromDib(resource->data, resource->size, dibSection);
}

// One image of an icon or cursor resource: a DIB of twice the image's height (colours, then
// the 1-bit mask where 1 is transparent); a cursor's starts with its hotspot.
IconImage* iconFromResource(const PlatformResource& resource, bool cursor) {
    const BYTE* data = resource.data;
    size_t size = resource.size;
    IconImage image;
    image.cursor = cursor;
    if (cursor) {
        if (size < 4) return nullptr;
        image.hotspot = {readAt<WORD>(data, 0), readAt<WORD>(data, 2)};
        data += 4;
        size -= 4;
    }
    PackedDib dib;
    if (!readPackedDib(data, size, &dib, true) || dib.header.biHeight < 2) return nullptr;
    const int width = dib.header.biWidth, height = dib.header.biHeight / 2;
    const int bits = dib.header.biBitCount;
    const size_t maskStride = (static_cast<size_t>(width) + 31) / 32 * 4;
    const BYTE* mask = dib.bits + dib.stride * height;
    const bool hasMask =
        static_cast<size_t>(mask - data) + maskStride * static_cast<size_t>(height) <= size;
    const BYTE* colours = data + dib.header.biSize;
    bool anyAlpha = false;
    image.width = width;
    image.height = height;
    if (!cursor) image.hotspot = {width / 2, height / 2};
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const BYTE* row = dib.bits + dib.stride * (height - 1 - y);
        const BYTE* maskRow = mask + maskStride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            uint32_t argb = 0;
            if (bits <= 8) {
                int shift = 8 - bits - (x * bits) % 8;
                unsigned index = (row[x * bits / 8] >> shift) & ((1u << bits) - 1);
                if (index < dib.colourCount) {
                    const BYTE* quad = colours + 4 * index;
                    argb = 0xff000000u | (uint32_t{quad[2]} << 16) | (uint32_t{quad[1]} << 8) |
                           quad[0];
                }
            } else if (bits == 24 || bits == 32) {
                const BYTE* p = row + x * (bits / 8);
                uint32_t alpha = bits == 32 ? p[3] : 0xff;
                anyAlpha = anyAlpha || (bits == 32 && alpha != 0);
                argb = (alpha << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
            } else {
                return nullptr; // 16-bit icons are not made by our tools
            }
            bool transparent = hasMask && ((maskRow[x / 8] >> (7 - x % 8)) & 1) != 0;
            if (transparent) argb &= 0x00ffffffu;
            image.pixels[static_cast<size_t>(y) * width + x] = argb;
        }
    }
    if (bits == 32 && !anyAlpha) { // no alpha channel after all: the mask decides
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const BYTE* maskRow = mask + maskStride * (height - 1 - y);
                bool transparent = hasMask && ((maskRow[x / 8] >> (7 - x % 8)) & 1) != 0;
                if (!transparent) image.pixels[static_cast<size_t>(y) * width + x] |= 0xff000000u;
            }
    }
    return new IconImage(std::move(image));
}

constexpr int kDefaultIconSize = 32; // SM_CXICON, SM_CXCURSOR

// Picks the image of an icon or cursor group nearest the wanted size (the deepest colours among
// equals) and makes it.
IconImage* loadIcon(HMODULE module, LPCSTR name, bool cursor, int width, int height) {
    const PlatformResource* group = find(module, name, cursor ? RT_GROUP_CURSOR : RT_GROUP_ICON);
    if (group == nullptr) return nullptr;
    const BYTE* data = group->data;
    if (group->size < 6 || readAt<WORD>(data, 2) != (cursor ? 2 : 1)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    const WORD count = readAt<WORD>(data, 4);
    constexpr size_t kEntryBytes = 14;
    if (group->size < 6 + kEntryBytes * count || count == 0) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    int bestScore = INT_MAX, bestBits = -1;
    WORD bestId = 0;
    for (WORD i = 0; i < count; ++i) {
        const size_t at = 6 + kEntryBytes * i;
        int entryWidth, entryHeight;
        if (cursor) { // cursor entries: 16-bit width and doubled height
            entryWidth = readAt<WORD>(data, at);
            entryHeight = readAt<WORD>(data, at + 2) / 2;
        } else {
            entryWidth = data[at] == 0 ? 256 : data[at];
            entryHeight = data[at + 1] == 0 ? 256 : data[at + 1];
        }
        const int entryBits = readAt<WORD>(data, at + 6);
        const int score = std::abs(entryWidth - width) + std::abs(entryHeight - height);
        if (score < bestScore || (score == bestScore && entryBits > bestBits)) {
            bestScore = score;
            bestBits = entryBits;
            bestId = readAt<WORD>(data, at + 12);
        }
    }
    const PlatformResource* image =
        find(module, MAKEINTRESOURCEA(bestId), cursor ? RT_CURSOR : RT_ICON);
    if (image == nullptr) return nullptr;
    IconImage* icon = iconFromResource(*image, cursor);
    if (icon == nullptr) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.icons.insert(icon);
    return icon;
}

// Shared: one handle per module and resource, made on first use.
IconImage* loadSharedIcon(HMODULE module, LPCSTR name, bool cursor, int width, int height) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto key =
        std::make_tuple(module == nullptr ? mainModule() : module, cursor ? 1 : 0, nameKey(name));
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        auto found = r.sharedIcons.find(key);
        if (found != r.sharedIcons.end()) return found->second;
    }
    IconImage* icon = loadIcon(module, name, cursor, width, height);
    if (icon == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(r.lock);
    auto [slot, added] = r.sharedIcons.emplace(key, icon);
    if (added) {
        icon->shared = true;
    } else { // another thread made it first
        r.icons.erase(icon);
        delete icon;
    }
    return slot->second;
}

BOOL destroyIcon(void* handle) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.icons.count(handle) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* icon = static_cast<IconImage*>(handle);
    if (icon->shared) return TRUE;
    r.icons.erase(handle);
    delete icon;
    return TRUE;
}

} // namespace

bool isResourceIcon(const void* handle) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.icons.count(handle) != 0;
}

HMODULE moduleOfFile(const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0') return nullptr;
    const std::string wanted = fileName;
    const std::string wantedReal = resolvedPath(wanted);
    const bool bareName = wanted.find('/') == std::string::npos;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const auto& [module, table] : r.tables) {
        if (table.path == wanted || table.realPath == wantedReal) return module;
        if (bareName) {
            size_t slash = table.path.rfind('/');
            if (table.path.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos,
                                   wanted) == 0)
                return module;
        }
    }
    return nullptr;
}

std::string utf8FromUtf16(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = text[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < length && text[i + 1] >= 0xdc00 &&
            text[i + 1] < 0xe000) {
            c = 0x10000 + ((c - 0xd800) << 10) + (text[i + 1] - 0xdc00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xe0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

namespace {

// Reads the parts of a dialog template in order, each WORD-aligned; `ok` turns false once the
// block is cut short.
struct TemplateReader {
    const BYTE* data;
    size_t size;
    size_t at = 0;
    bool ok = true;

    template <typename T> T take() {
        if (at + sizeof(T) > size) {
            ok = false;
            return T{};
        }
        T value = readAt<T>(data, at);
        at += sizeof(T);
        return value;
    }
    void alignTo(size_t bytes) { at = (at + bytes - 1) / bytes * bytes; }
    std::string text() {
        std::u16string units;
        for (char16_t c = take<char16_t>(); ok && c != 0; c = take<char16_t>())
            units += c;
        return utf8FromUtf16(units.data(), units.size());
    }
    // A name or a number: 0 (none), 0xFFFF followed by a number, or a string.
    void nameOrNumber(std::string* name, WORD* number) {
        WORD first = readAhead();
        if (first == 0) {
            take<WORD>();
        } else if (first == 0xffff) {
            take<WORD>();
            *number = take<WORD>();
        } else {
            *name = text();
        }
    }
    WORD readAhead() { return at + 2 <= size ? readAt<WORD>(data, at) : (ok = false, 0); }
};

} // namespace

bool readDialogTemplate(const void* block, size_t size, DialogTemplate* dialog) {
    if (block == nullptr || dialog == nullptr) return false;
    TemplateReader in{static_cast<const BYTE*>(block), size};
    *dialog = DialogTemplate{};
    if (in.readAhead() == 1 && size >= 4 && readAt<WORD>(in.data, 2) == 0xffff)
        return false; // DLGTEMPLATEEX
    dialog->style = in.take<DWORD>();
    dialog->exStyle = in.take<DWORD>();
    const WORD itemCount = in.take<WORD>();
    dialog->x = in.take<int16_t>();
    dialog->y = in.take<int16_t>();
    dialog->cx = in.take<int16_t>();
    dialog->cy = in.take<int16_t>();
    in.nameOrNumber(&dialog->menu, &dialog->menuId);
    in.nameOrNumber(&dialog->className, &dialog->classAtom);
    dialog->title = in.text();
    if (dialog->style & kDialogSetFont) {
        dialog->pointSize = in.take<WORD>();
        dialog->font = in.text();
    }
    for (WORD i = 0; i < itemCount && in.ok; ++i) {
        in.alignTo(4);
        DialogItemTemplate item;
        item.style = in.take<DWORD>();
        item.exStyle = in.take<DWORD>();
        item.x = in.take<int16_t>();
        item.y = in.take<int16_t>();
        item.cx = in.take<int16_t>();
        item.cy = in.take<int16_t>();
        item.id = in.take<WORD>();
        in.nameOrNumber(&item.className, &item.classAtom);
        in.nameOrNumber(&item.title, &item.titleId);
        const WORD extraBytes = in.take<WORD>();
        if (in.at + extraBytes > size) return false;
        item.creationData.assign(in.data + in.at, in.data + in.at + extraBytes);
        in.at += extraBytes;
        dialog->items.push_back(std::move(item));
    }
    return in.ok;
}

} // namespace platform

using namespace platform;

extern "C" {

BOOL PlatformRegisterResources(HMODULE module, const PlatformResource* table, DWORD count) {
    if (module == nullptr || (count != 0 && table == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Paths first: dladdr takes the loader's lock, which a loading library's thread holds.
    ModuleTable entry;
    if (count != 0) {
        entry.entries = table;
        entry.count = count;
        entry.path = modulePath(module);
        entry.realPath = resolvedPath(entry.path);
    }
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    // Shared icons made from an earlier table of this module are forgotten (their handles stay
    // valid: the images are copies).
    for (auto it = r.sharedIcons.begin(); it != r.sharedIcons.end();) {
        it = std::get<0>(it->first) == module ? r.sharedIcons.erase(it) : std::next(it);
    }
    if (count == 0) {
        r.tables.erase(module);
    } else {
        r.tables[module] = std::move(entry);
    }
    return TRUE;
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    return reinterpret_cast<HRSRC>(const_cast<PlatformResource*>(find(module, name, type)));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    if (resource == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<BYTE*>(reinterpret_cast<const PlatformResource*>(resource)->data);
}

LPVOID LockResource(HGLOBAL data) {
    return data;
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    if (resource == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return reinterpret_cast<const PlatformResource*>(resource)->size;
}

BOOL FreeResource(HGLOBAL) {
    return FALSE; // nothing to free; Windows answers FALSE as well
}

HBITMAP LoadBitmapA(HINSTANCE instance, LPCSTR name) {
    return loadBitmap(instance, name, false);
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags) {
    if (flags & LR_LOADFROMFILE) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    switch (type) {
    case IMAGE_BITMAP:
        return loadBitmap(instance, name, (flags & LR_CREATEDIBSECTION) != 0);
    case IMAGE_ICON:
    case IMAGE_CURSOR: {
        const bool cursor = type == IMAGE_CURSOR;
        if (width == 0) width = kDefaultIconSize;
        if (height == 0) height = kDefaultIconSize;
        if (flags & LR_SHARED) return loadSharedIcon(instance, name, cursor, width, height);
        if (name == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        return loadIcon(instance, name, cursor, width, height);
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    return loadSharedIcon(instance, name, false, kDefaultIconSize, kDefaultIconSize);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance == nullptr) return systemCursor(name);
    return loadSharedIcon(instance, name, true, kDefaultIconSize, kDefaultIconSize);
}

BOOL DestroyIcon(HICON icon) {
    return destroyIcon(icon);
}

BOOL DestroyCursor(HCURSOR cursor) {
    return destroyIcon(cursor);
}

HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
    const PlatformResource* resource = find(instance, name, RT_ACCELERATOR);
    if (resource == nullptr) return nullptr;
    // Entries of 8 bytes: flags, key, command, padding; the last one's flags carry 0x80.
    constexpr size_t kEntryBytes = 8;
    constexpr WORD kLastEntry = 0x80;
    std::vector<ACCEL> entries;
    for (size_t at = 0; at + kEntryBytes <= resource->size; at += kEntryBytes) {
        const WORD flags = readAt<WORD>(resource->data, at);
        entries.push_back(ACCEL{static_cast<BYTE>(flags & 0x7f),
                                readAt<WORD>(resource->data, at + 2),
                                readAt<WORD>(resource->data, at + 4)});
        if (flags & kLastEntry) break;
    }
    if (entries.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return CreateAcceleratorTableA(entries.data(), static_cast<int>(entries.size()));
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    if (id > 0xffff) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    // Strings come in blocks of 16 (block id / 16 + 1), each a length and UTF-16 characters.
    const PlatformResource* block =
        find(instance, MAKEINTRESOURCEA(static_cast<WORD>(id / 16 + 1)), RT_STRING);
    if (block == nullptr) return 0;
    size_t at = 0;
    for (UINT i = 0; i < id % 16; ++i) {
        if (at + 2 > block->size) break;
        at += 2 + 2 * size_t{readAt<WORD>(block->data, at)};
    }
    const WORD length = at + 2 <= block->size ? readAt<WORD>(block->data, at) : 0;
    if (length == 0 || at + 2 + 2 * size_t{length} > block->size) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    std::u16string units(length, u'\0');
    std::memcpy(units.data(), block->data + at + 2, 2 * size_t{length});
    const std::string text = utf8FromUtf16(units.data(), units.size());
    const size_t copied = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
    return static_cast<int>(copied);
}

} // extern "C"
