// Fonts and text on FreeType.
//
// A font object keeps the LOGFONTA it was made from; the face file and the pixel size are found
// when the font is first used (and again after PlatformSetFontRoot). Faces are TrueType files of
// Debian's font packages at fixed paths under /usr/share/fonts/truetype; there is no font
// configuration to consult. Sizes follow Windows: a negative height is the em height in pixels, a
// positive one the cell height (ascent + descent, from the face's Windows ascent and descent),
// for which the largest em height whose cell fits is taken.
//
// Glyphs are rendered once per (face, em height, character) with FreeType's hinting and
// grayscale anti-aliasing and kept for the life of the process (at most kMaxSizesPerFace sizes
// per face). Advances are whole pixels and no kerning is applied, as GDI does. One mutex guards
// the FreeType library, the faces and the glyph cache; every call holds it while it measures and
// draws.
//
// Pixels: on a 32-bit surface each glyph pixel blends the text colour over what is there by the
// glyph's coverage; on a palette (8-bit) or monochrome surface a pixel takes the text colour's
// pixel value when the coverage reaches one half and is left alone otherwise (no blending
// between palette entries).
//
// Locks: the text mutex is taken before the drawing code's (surfacePixel, and the tracking of
// every new GDI object), never after it; what the drawing code calls while holding its own
// (defaultFont, fontObjectInfo) takes no text lock. The default and caption fonts are made
// while the library loads, so no thread ever waits for their construction.
#include "platform/surface.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace platform {

namespace {

constexpr int kDefaultCellHeightPx = 16;
constexpr int kMaxEmHeightPx = 1024;
constexpr LONG kBoldWeight = 600;
constexpr LONG kNormalWeight = 400;
constexpr int kTabStopChars = 8;
constexpr int kTransparentMode = 1; // SetBkMode's TRANSPARENT (OPAQUE is 2)
constexpr UINT kGdiError = 0xffffffffu;
constexpr size_t kMaxSizesPerFace = 64;
constexpr unsigned kMonochromeCoverage = 128; // palette pixels from half coverage on
constexpr int kBlendedBitsPerPixel = 32;
constexpr int kScreenDpi = 96;
constexpr LONG kCoordinateLimit = 1 << 29; // keeps surface coordinates far from overflow
constexpr UINT kHorizontalAlignMask = TA_CENTER;
constexpr UINT kVerticalAlignMask = TA_BASELINE;
constexpr BYTE kFirstChar = 0x20;
constexpr BYTE kLastChar = 0xff;
constexpr BYTE kDefaultChar = 0x1f;
constexpr BYTE kBreakChar = 0x20;
const char* const kDefaultFontRoot = "/usr/share/fonts/truetype";
const char* const kFontPackages = "fonts-liberation2 and fonts-dejavu-core";
const char* const kEllipsis = "...";

enum class Family { Sans, Serif, Mono, Small };

// The average character width is the weighted average of the lower-case letters and the blank
// by their frequency in English text (per thousand), as Arial's OS/2 table gives it (Liberation's
// own is the plain average of all its glyphs, far wider).
struct CharacterWeight {
    char character;
    int perThousand;
};
constexpr std::array<CharacterWeight, 27> kAverageWidthWeights = {{
    {'a', 64}, {'b', 14}, {'c', 27}, {'d', 35}, {'e', 100}, {'f', 20},  {'g', 14},
    {'h', 42}, {'i', 63}, {'j', 3},  {'k', 6},  {'l', 35},  {'m', 20},  {'n', 56},
    {'o', 56}, {'p', 17}, {'q', 4},  {'r', 49}, {'s', 56},  {'t', 71},  {'u', 31},
    {'v', 10}, {'w', 18}, {'x', 3},  {'y', 18}, {'z', 2},   {' ', 166},
}};

struct Glyph {
    int advancePx = 0;
    int left = 0; // bitmap's left column from the pen position
    int top = 0;  // bitmap's top row above the baseline
    int width = 0;
    int rows = 0;
    std::vector<uint8_t> coverage; // rows * width
};

struct Face;
struct SizedFace;

// A font: its description, and the face and size it was found at while `generation` matches the
// text state's.
struct FontObject final : GdiObject {
    explicit FontObject(const LOGFONTA& made) : GdiObject(GdiKind::Font), description(made) {}
    LOGFONTA description;
    uint64_t generation = 0;
    SizedFace* sized = nullptr;
};

struct SizedFace {
    Face* face = nullptr;
    int emPx = 0;
    int ascentPx = 0;
    int descentPx = 0;
    int externalLeadingPx = 0;
    int averageWidthPx = 0;
    int maxWidthPx = 0;
    std::array<std::unique_ptr<Glyph>, 256> glyphs;
};

struct Face {
    std::string path;
    FT_Face ft = nullptr;
    long unitsPerEm = 0;
    long winAscent = 0;
    long winDescent = 0;
    long externalLeadingUnits = 0;
    long averageWidthUnits = 0;
    long digitHeightUnits = 0; // top of the digit zero above the baseline
    bool fixedPitch = false;
    int activeEmPx = 0;
    std::map<int, std::unique_ptr<SizedFace>> sizes;
    ~Face() {
        if (ft != nullptr) FT_Done_Face(ft);
    }
};

struct TextState {
    std::mutex mutex;
    FT_Library library = nullptr;
    std::string root = kDefaultFontRoot;
    uint64_t generation = 1;
    std::map<std::string, std::unique_ptr<Face>> faces; // by path
    std::set<std::string> reported;                     // failures already written to stderr
};

// Never destroyed: fonts may be used while the process exits.
TextState& textState() {
    static TextState* instance = new TextState();
    return *instance;
}

using Guard = std::lock_guard<std::mutex>;

thread_local std::string lastFontError;

// Records a failure for PlatformFontError and writes it to stderr once per process.
void fail(TextState& state, const std::string& message) {
    lastFontError = message;
    SetLastError(ERROR_FILE_NOT_FOUND);
    if (state.reported.insert(message).second) std::fprintf(stderr, "%s\n", message.c_str());
}

// Windows-1252 characters 0x80 ... 0x9f in Unicode; the rest map to themselves.
constexpr std::array<uint16_t, 32> kWindows1252High = {
    0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

FT_ULong unicodeOf(unsigned char c) {
    return c >= 0x80 && c < 0xa0 ? kWindows1252High[c - 0x80] : c;
}

std::string lowerCase(const char* text, size_t limit) {
    std::string lower;
    for (size_t i = 0; i < limit && text[i] != '\0'; ++i) {
        const char c = text[i];
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower;
}

Family familyOf(const LOGFONTA& description) {
    const std::string name = lowerCase(description.lfFaceName, LF_FACESIZE);
    if (name == "small fonts") return Family::Small;
    if (name == "courier new" || name == "courier" || name == "lucida console") return Family::Mono;
    if (name == "times new roman" || name == "times" || name == "ms serif") return Family::Serif;
    if (name.empty()) {
        const int familyBits = description.lfPitchAndFamily & 0xf0;
        if (familyBits == FF_ROMAN) return Family::Serif;
        if (familyBits == FF_MODERN || (description.lfPitchAndFamily & 0x3) == FIXED_PITCH)
            return Family::Mono;
    }
    return Family::Sans; // "Arial", "MS Sans Serif", "System" and every face we do not have
}

const char* familyName(Family family) {
    switch (family) {
    case Family::Serif:
        return "Liberation Serif";
    case Family::Mono:
        return "Liberation Mono";
    case Family::Small:
        return "DejaVu Sans";
    case Family::Sans:
        break;
    }
    return "Liberation Sans";
}

// Font files for a family and style, best first, relative to the font root.
void addCandidates(std::vector<std::string>& files, Family family, bool bold, bool italic) {
    const char* liberationStyle =
        bold ? (italic ? "BoldItalic" : "Bold") : (italic ? "Italic" : "Regular");
    const char* dejavuStyle =
        bold ? (italic ? "-BoldOblique" : "-Bold") : (italic ? "-Oblique" : "");
    auto liberation = [&](const char* name) {
        for (const char* folder : {"liberation2", "liberation"})
            files.push_back(std::string(folder) + "/Liberation" + name + "-" + liberationStyle +
                            ".ttf");
    };
    auto dejavu = [&](const char* name) {
        files.push_back(std::string("dejavu/") + name + dejavuStyle + ".ttf");
    };
    switch (family) {
    case Family::Small:
        dejavu("DejaVuSans");
        liberation("Sans");
        break;
    case Family::Mono:
        liberation("Mono");
        dejavu("DejaVuSansMono");
        liberation("Sans");
        break;
    case Family::Serif:
        liberation("Serif");
        dejavu("DejaVuSerif");
        liberation("Sans");
        break;
    case Family::Sans:
        liberation("Sans");
        dejavu("DejaVuSans");
        break;
    }
}

std::vector<std::string> candidateFiles(Family family, bool bold, bool italic) {
    std::vector<std::string> files;
    addCandidates(files, family, bold, italic);
    if (italic) addCandidates(files, family, bold, false); // a missing style falls back
    if (bold) addCandidates(files, family, false, false);
    std::vector<std::string> unique;
    for (const std::string& file : files)
        if (std::find(unique.begin(), unique.end(), file) == unique.end()) unique.push_back(file);
    return unique;
}

long roundedScale(long units, int emPx, long unitsPerEm) {
    return (2 * units * emPx + unitsPerEm) / (2 * unitsPerEm);
}

int cellHeightPx(const Face& face, int emPx) {
    return static_cast<int>(roundedScale(face.winAscent, emPx, face.unitsPerEm) +
                            roundedScale(face.winDescent, emPx, face.unitsPerEm));
}

// The em height for a LOGFONTA height. "Small Fonts" stands for a bitmap face whose digits are
// one pixel less than its cell: an outline face scaled to its cell would have digits of 3 pixels
// at the height 6 the curve labels ask for, too small to read, so its em is the one at which
// the face's digits are cell - 1 pixels tall.
int emHeightPx(const Face& face, Family family, LONG height) {
    if (family == Family::Small && height > 0 && face.digitHeightUnits > 0) {
        const long digitPx = std::min<long>(height, kMaxEmHeightPx) - 1;
        return static_cast<int>(std::clamp<long>(
            (2 * digitPx * face.unitsPerEm + face.digitHeightUnits) / (2 * face.digitHeightUnits),
            1, kMaxEmHeightPx));
    }
    if (height < 0)
        return static_cast<int>(
            std::clamp<int64_t>(-static_cast<int64_t>(height), 1, kMaxEmHeightPx));
    const long cellPx =
        height == 0 ? kDefaultCellHeightPx : std::min<long>(height, 2 * kMaxEmHeightPx);
    const long unitsPerCell = face.winAscent + face.winDescent;
    int emPx = static_cast<int>(std::clamp<long>(
        (2 * cellPx * face.unitsPerEm + unitsPerCell) / (2 * unitsPerCell) + 1, 1, kMaxEmHeightPx));
    while (emPx > 1 && cellHeightPx(face, emPx) > cellPx)
        --emPx;
    return emPx;
}

Face* openFace(TextState& state, const std::string& path) {
    auto found = state.faces.find(path);
    if (found != state.faces.end()) return found->second.get();
    if (state.library == nullptr && FT_Init_FreeType(&state.library) != 0) {
        state.library = nullptr;
        fail(state, "platform: the FreeType library cannot be initialised");
        return nullptr;
    }
    auto face = std::make_unique<Face>();
    face->path = path;
    const FT_Error error = FT_New_Face(state.library, path.c_str(), 0, &face->ft);
    if (error != 0 || !FT_IS_SCALABLE(face->ft)) {
        fail(state, "platform: font file " + path + " cannot be read (FreeType error " +
                        std::to_string(error) + ")");
        return nullptr;
    }
    face->unitsPerEm = face->ft->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face->ft, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face->ft, FT_SFNT_HHEA));
    if (os2 != nullptr && os2->version != 0xffff && os2->usWinAscent + os2->usWinDescent > 0) {
        face->winAscent = os2->usWinAscent;
        face->winDescent = os2->usWinDescent;
    } else {
        face->winAscent = face->ft->ascender;
        face->winDescent = -face->ft->descender;
    }
    long weightedWidth = 0;
    for (const CharacterWeight& weight : kAverageWidthWeights) {
        FT_Fixed advance = 0;
        const FT_UInt index = FT_Get_Char_Index(face->ft, static_cast<FT_ULong>(weight.character));
        if (FT_Get_Advance(face->ft, index, FT_LOAD_NO_SCALE, &advance) == 0)
            weightedWidth += advance * weight.perThousand;
    }
    face->averageWidthUnits = (weightedWidth + 500) / 1000;
    if (hhea != nullptr) {
        const long hheaCell = hhea->Ascender - hhea->Descender;
        face->externalLeadingUnits =
            std::max<long>(0, hhea->Line_Gap - ((face->winAscent + face->winDescent) - hheaCell));
    }
    const FT_UInt zero = FT_Get_Char_Index(face->ft, '0');
    if (zero != 0 && FT_Load_Glyph(face->ft, zero, FT_LOAD_NO_SCALE) == 0)
        face->digitHeightUnits = face->ft->glyph->metrics.horiBearingY;
    face->fixedPitch = FT_IS_FIXED_WIDTH(face->ft);
    Face* opened = face.get();
    state.faces.emplace(path, std::move(face));
    return opened;
}

SizedFace* sizedFace(TextState& state, Face& face, int emPx) {
    auto found = face.sizes.find(emPx);
    if (found != face.sizes.end()) return found->second.get();
    if (face.sizes.size() >= kMaxSizesPerFace) {
        face.sizes.clear(); // fonts holding one of them find their size again
        ++state.generation;
    }
    auto sized = std::make_unique<SizedFace>();
    sized->face = &face;
    sized->emPx = emPx;
    sized->ascentPx = static_cast<int>(roundedScale(face.winAscent, emPx, face.unitsPerEm));
    sized->descentPx = static_cast<int>(roundedScale(face.winDescent, emPx, face.unitsPerEm));
    sized->externalLeadingPx =
        static_cast<int>(roundedScale(face.externalLeadingUnits, emPx, face.unitsPerEm));
    sized->averageWidthPx =
        std::max(1, static_cast<int>(roundedScale(face.averageWidthUnits, emPx, face.unitsPerEm)));
    sized->maxWidthPx =
        static_cast<int>(roundedScale(face.ft->max_advance_width, emPx, face.unitsPerEm));
    SizedFace* made = sized.get();
    face.sizes.emplace(emPx, std::move(sized));
    return made;
}

// The face and size `font` draws with; null (the failure recorded) when no file is there.
SizedFace* resolve(TextState& state, FontObject& font) {
    if (font.generation == state.generation && font.sized != nullptr) return font.sized;
    const LOGFONTA& description = font.description;
    const Family family = familyOf(description);
    const bool bold = description.lfWeight >= kBoldWeight;
    const bool italic = description.lfItalic != 0;
    const std::vector<std::string> candidates = candidateFiles(family, bold, italic);
    std::string path;
    for (const std::string& candidate : candidates) {
        const std::string full = state.root + "/" + candidate;
        if (access(full.c_str(), R_OK) == 0) {
            path = full;
            break;
        }
    }
    if (path.empty()) {
        std::string message = "platform: no font file for \"" +
                              lowerCase(description.lfFaceName, LF_FACESIZE) + "\" (" +
                              familyName(family) + "): none of";
        for (const std::string& candidate : candidates)
            message += " " + state.root + "/" + candidate;
        message += std::string(" exists; install ") + kFontPackages;
        fail(state, message);
        return nullptr;
    }
    Face* face = openFace(state, path);
    if (face == nullptr) return nullptr;
    SizedFace* sized = sizedFace(state, *face, emHeightPx(*face, family, description.lfHeight));
    font.generation = state.generation;
    font.sized = sized;
    return sized;
}

std::unique_ptr<Glyph> renderGlyph(SizedFace& sized, unsigned char c) {
    auto glyph = std::make_unique<Glyph>();
    if (c < kFirstChar) return glyph; // control characters take no room and leave no ink
    Face& face = *sized.face;
    if (face.activeEmPx != sized.emPx) {
        if (FT_Set_Pixel_Sizes(face.ft, 0, static_cast<FT_UInt>(sized.emPx)) != 0) return glyph;
        face.activeEmPx = sized.emPx;
    }
    // A character the face lacks shows its missing-glyph box (glyph 0), as GDI shows the
    // default character; a glyph FreeType cannot load or render leaves no ink.
    const FT_UInt index = FT_Get_Char_Index(face.ft, unicodeOf(c));
    if (FT_Load_Glyph(face.ft, index, FT_LOAD_DEFAULT) != 0) return glyph;
    FT_GlyphSlot slot = face.ft->glyph;
    glyph->advancePx = static_cast<int>((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return glyph;
    glyph->left = slot->bitmap_left;
    glyph->top = slot->bitmap_top;
    glyph->width = static_cast<int>(bitmap.width);
    glyph->rows = static_cast<int>(bitmap.rows);
    glyph->coverage.resize(static_cast<size_t>(glyph->width) * glyph->rows);
    for (int row = 0; row < glyph->rows; ++row)
        std::memcpy(glyph->coverage.data() + static_cast<size_t>(row) * glyph->width,
                    bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch,
                    static_cast<size_t>(glyph->width));
    return glyph;
}

const Glyph& glyphOf(SizedFace& sized, unsigned char c) {
    std::unique_ptr<Glyph>& slot = sized.glyphs[c];
    if (!slot) slot = renderGlyph(sized, c);
    return *slot;
}

// A piece of text laid out on one line. Tabs take no room unless tabWidthPx is set (stops
// every tabWidthPx from the run's start); `advances` (ExtTextOutA) replaces the glyphs' own.
struct Run {
    const char* text = nullptr;
    size_t count = 0;
    const INT* advances = nullptr;
    int tabWidthPx = 0;
};

template <typename Visit> int64_t walk(SizedFace& sized, const Run& run, Visit visit) {
    int64_t pen = 0;
    for (size_t i = 0; i < run.count; ++i) {
        const auto c = static_cast<unsigned char>(run.text[i]);
        const Glyph& glyph = glyphOf(sized, c);
        visit(glyph, pen);
        if (run.advances != nullptr)
            pen += run.advances[i];
        else if (c == '\t' && run.tabWidthPx > 0)
            pen = (pen / run.tabWidthPx + 1) * run.tabWidthPx;
        else
            pen += glyph.advancePx;
    }
    return pen;
}

int64_t runWidth(SizedFace& sized, const Run& run) {
    return walk(sized, run, [](const Glyph&, int64_t) {});
}

int64_t clampCoordinate(int64_t value) {
    return std::clamp<int64_t>(value, -kCoordinateLimit, kCoordinateLimit);
}

RECT intersection(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

bool isEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

// Where text goes: a surface, the clip in surface coordinates (inside the surface) and the
// logical-to-surface offset.
struct Target {
    DeviceContext* dc = nullptr;
    Surface* surface = nullptr;
    RECT clip{};
    POINT origin{};
};

Target targetOf(DeviceContext& dc) {
    Target target;
    target.dc = &dc;
    target.surface = dc.surface;
    target.origin = dc.origin;
    if (dc.surface != nullptr)
        target.clip = intersection(dc.clip, RECT{0, 0, dc.surface->width, dc.surface->height});
    return target;
}

// A logical rectangle in surface coordinates.
RECT toSurface(const Target& target, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    return RECT{static_cast<LONG>(clampCoordinate(left + target.origin.x)),
                static_cast<LONG>(clampCoordinate(top + target.origin.y)),
                static_cast<LONG>(clampCoordinate(right + target.origin.x)),
                static_cast<LONG>(clampCoordinate(bottom + target.origin.y))};
}

void fill(const Target& target, const RECT& area, COLORREF colour) {
    if (target.surface == nullptr) return;
    const RECT r = intersection(area, target.clip);
    if (isEmpty(r)) return;
    const uint32_t pixel = surfacePixel(*target.dc, colour);
    for (LONG y = r.top; y < r.bottom; ++y) {
        uint32_t* row =
            target.surface->pixels.data() + static_cast<size_t>(y) * target.surface->width;
        std::fill(row + r.left, row + r.right, pixel);
    }
}

uint32_t blend(uint32_t under, uint32_t over, unsigned coverage) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const unsigned u = (under >> shift) & 0xff;
        const unsigned o = (over >> shift) & 0xff;
        result |= ((u * (255 - coverage) + o * coverage + 127) / 255) << shift;
    }
    return result;
}

// Draws a run with its origin at logical x and the baseline at logical y, inside `clip`
// (surface coordinates).
void drawRun(const Target& target, SizedFace& sized, const Run& run, int64_t x, int64_t baseline,
             const RECT& clip) {
    if (target.surface == nullptr || isEmpty(clip)) return;
    Surface& surface = *target.surface;
    const uint32_t textPixel = surfacePixel(*target.dc, target.dc->textColour);
    const bool blended = surface.bitsPerPixel == kBlendedBitsPerPixel;
    const int64_t originX = x + target.origin.x;
    const int64_t baselineY = baseline + target.origin.y;
    walk(sized, run, [&](const Glyph& glyph, int64_t pen) {
        if (glyph.coverage.empty()) return;
        const int64_t left = originX + pen + glyph.left;
        const int64_t top = baselineY - glyph.top;
        const int64_t firstRow = std::max<int64_t>(0, clip.top - top);
        const int64_t endRow = std::min<int64_t>(glyph.rows, clip.bottom - top);
        const int64_t firstColumn = std::max<int64_t>(0, clip.left - left);
        const int64_t endColumn = std::min<int64_t>(glyph.width, clip.right - left);
        for (int64_t row = firstRow; row < endRow; ++row) {
            const uint8_t* coverage = glyph.coverage.data() + row * glyph.width;
            uint32_t* pixels = surface.pixels.data() + (top + row) * surface.width + left;
            for (int64_t column = firstColumn; column < endColumn; ++column) {
                const unsigned a = coverage[column];
                if (a == 0) continue;
                if (blended)
                    pixels[column] = a == 255 ? textPixel : blend(pixels[column], textPixel, a);
                else if (a >= kMonochromeCoverage)
                    pixels[column] = textPixel;
            }
        }
    });
}

// The device context and the face and size of its font; null (with the error set) when the
// context is null or the font has no file.
struct TextCall {
    DeviceContext* dc = nullptr;
    SizedFace* sized = nullptr;
};

FontObject& fontOf(const DeviceContext& dc) {
    auto* font = dynamic_cast<FontObject*>(dc.font);
    return font != nullptr ? *font : *static_cast<FontObject*>(defaultFont());
}

// An HDC points to its DeviceContext.
DeviceContext* contextOf(HDC handle) {
    return reinterpret_cast<DeviceContext*>(handle);
}

bool beginCall(TextState& state, HDC handle, TextCall& call) {
    if (handle == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    call.dc = contextOf(handle);
    call.sized = resolve(state, fontOf(*call.dc));
    return call.sized != nullptr;
}

LOGFONTA makeDescription(int height, int weight, bool italic, const char* face) {
    LOGFONTA description{};
    description.lfHeight = height;
    description.lfWeight = weight;
    description.lfItalic = italic ? 1 : 0;
    description.lfQuality = PROOF_QUALITY;
    std::snprintf(description.lfFaceName, LF_FACESIZE, "%s", face);
    return description;
}

// Text output at (x, y) with the context's alignment; `rect` and `options` as ExtTextOutA's.
void textOut(TextCall& call, int x, int y, UINT options, const RECT* rect, const Run& run) {
    DeviceContext& dc = *call.dc;
    SizedFace& sized = *call.sized;
    const Target target = targetOf(dc);
    const UINT align = dc.textAlign;
    int64_t left = x;
    int64_t baseline = y;
    if ((align & TA_UPDATECP) != 0) {
        left = dc.position.x;
        baseline = dc.position.y;
    }
    const int64_t width = runWidth(sized, run);
    const UINT horizontal = align & kHorizontalAlignMask;
    if (horizontal == TA_CENTER)
        left -= width / 2;
    else if (horizontal == TA_RIGHT)
        left -= width;
    const UINT vertical = align & kVerticalAlignMask;
    if (vertical == TA_BOTTOM)
        baseline -= sized.descentPx;
    else if (vertical != TA_BASELINE)
        baseline += sized.ascentPx;
    if ((align & TA_UPDATECP) != 0) {
        if (horizontal == TA_LEFT)
            dc.position.x = static_cast<LONG>(clampCoordinate(left + width));
        else if (horizontal == TA_RIGHT)
            dc.position.x = static_cast<LONG>(clampCoordinate(left));
    }

    RECT clip = target.clip;
    if (rect != nullptr) {
        const RECT area = toSurface(target, rect->left, rect->top, rect->right, rect->bottom);
        if ((options & ETO_OPAQUE) != 0) fill(target, area, dc.backgroundColour);
        if ((options & ETO_CLIPPED) != 0) clip = intersection(clip, area);
    }
    if (dc.backgroundMode != kTransparentMode) {
        const RECT cell = toSurface(target, left, baseline - sized.ascentPx, left + width,
                                    baseline + sized.descentPx);
        fill(Target{target.dc, target.surface, clip, target.origin}, cell, dc.backgroundColour);
    }
    drawRun(target, sized, run, left, baseline, clip);
}

// DrawTextA's lines: the text after prefix processing, split at line ends and, with
// DT_WORDBREAK, at the blanks that keep each line inside `widthPx`.
std::vector<std::string> layoutLines(SizedFace& sized, const std::string& text, UINT format,
                                     int64_t widthPx, int tabWidthPx) {
    auto width = [&](const std::string& line) {
        return runWidth(sized, Run{line.data(), line.size(), nullptr, tabWidthPx});
    };
    std::vector<std::string> paragraphs;
    if ((format & DT_SINGLELINE) != 0) {
        paragraphs.push_back(text);
    } else {
        std::string current;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' || text[i] == '\n') {
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                paragraphs.push_back(current);
                current.clear();
            } else {
                current += text[i];
            }
        }
        paragraphs.push_back(current);
    }
    if ((format & DT_WORDBREAK) == 0 || (format & DT_SINGLELINE) != 0) return paragraphs;
    std::vector<std::string> lines;
    for (const std::string& paragraph : paragraphs) {
        std::string line;
        size_t i = 0;
        do {
            const size_t blanksStart = i;
            while (i < paragraph.size() && paragraph[i] == ' ')
                ++i;
            const size_t wordStart = i;
            while (i < paragraph.size() && paragraph[i] != ' ')
                ++i;
            const std::string word = paragraph.substr(wordStart, i - wordStart);
            std::string candidate =
                line + paragraph.substr(blanksStart, wordStart - blanksStart) + word;
            if (!line.empty() && !word.empty() && width(candidate) > widthPx) {
                lines.push_back(line); // the blanks at the break go
                line = word;
            } else {
                line = std::move(candidate);
            }
        } while (i < paragraph.size());
        lines.push_back(line);
    }
    return lines;
}

std::string withoutPrefixes(const char* text, size_t count) {
    std::string result;
    for (size_t i = 0; i < count; ++i) {
        if (text[i] == '&' && i + 1 < count) ++i; // "&&" is one '&'; "&x" is x (not underlined)
        result += text[i];
    }
    return result;
}

std::string withEllipsis(SizedFace& sized, const std::string& line, int64_t widthPx,
                         int tabWidthPx) {
    auto width = [&](const std::string& text) {
        return runWidth(sized, Run{text.data(), text.size(), nullptr, tabWidthPx});
    };
    if (width(line) <= widthPx) return line;
    std::string kept = line;
    while (!kept.empty() && width(kept + kEllipsis) > widthPx)
        kept.pop_back();
    return kept + kEllipsis;
}

int drawText(TextCall& call, const char* text, size_t count, RECT& rect, UINT format) {
    DeviceContext& dc = *call.dc;
    SizedFace& sized = *call.sized;
    const int tabWidthPx = (format & DT_EXPANDTABS) != 0 ? kTabStopChars * sized.averageWidthPx : 0;
    const int64_t rectWidth = static_cast<int64_t>(rect.right) - rect.left;
    const std::string source =
        (format & DT_NOPREFIX) != 0 ? std::string(text, count) : withoutPrefixes(text, count);
    std::vector<std::string> lines = layoutLines(sized, source, format, rectWidth, tabWidthPx);
    if ((format & DT_END_ELLIPSIS) != 0 && (format & DT_CALCRECT) == 0)
        for (std::string& line : lines)
            line = withEllipsis(sized, line, rectWidth, tabWidthPx);

    const int lineHeight = sized.ascentPx + sized.descentPx +
                           ((format & DT_EXTERNALLEADING) != 0 ? sized.externalLeadingPx : 0);
    const int64_t textHeight =
        static_cast<int64_t>(lineHeight) * static_cast<int64_t>(lines.size());
    std::vector<int64_t> widths;
    int64_t widest = 0;
    for (const std::string& line : lines) {
        widths.push_back(runWidth(sized, Run{line.data(), line.size(), nullptr, tabWidthPx}));
        widest = std::max(widest, widths.back());
    }
    if ((format & DT_CALCRECT) != 0) {
        rect.right = static_cast<LONG>(clampCoordinate(rect.left + widest));
        rect.bottom = static_cast<LONG>(clampCoordinate(rect.top + textHeight));
        return static_cast<int>(std::min<int64_t>(textHeight, kCoordinateLimit));
    }

    const bool singleLine = (format & DT_SINGLELINE) != 0;
    int64_t top = rect.top;
    if (singleLine && (format & DT_VCENTER) != 0)
        top = rect.top + (static_cast<int64_t>(rect.bottom) - rect.top - lineHeight) / 2;
    else if (singleLine && (format & DT_BOTTOM) != 0)
        top = static_cast<int64_t>(rect.bottom) - lineHeight;

    const Target target = targetOf(dc);
    RECT clip = target.clip;
    if ((format & DT_NOCLIP) == 0)
        clip = intersection(clip, toSurface(target, rect.left, rect.top, rect.right, rect.bottom));
    const Target clipped{target.dc, target.surface, clip, target.origin};
    for (size_t i = 0; i < lines.size(); ++i) {
        int64_t left = rect.left;
        if ((format & DT_CENTER) != 0)
            left = rect.left + (rectWidth - widths[i]) / 2;
        else if ((format & DT_RIGHT) != 0)
            left = rect.right - widths[i];
        const int64_t lineTop = top + static_cast<int64_t>(i) * lineHeight;
        if (dc.backgroundMode != kTransparentMode)
            fill(clipped, toSurface(target, left, lineTop, left + widths[i], lineTop + lineHeight),
                 dc.backgroundColour);
        drawRun(target, sized, Run{lines[i].data(), lines[i].size(), nullptr, tabWidthPx}, left,
                lineTop + sized.ascentPx, clip);
    }
    const int64_t result = singleLine && (format & (DT_VCENTER | DT_BOTTOM)) != 0
                               ? top - rect.top + lineHeight
                               : textHeight;
    return static_cast<int>(std::clamp<int64_t>(result, 0, kCoordinateLimit));
}

FontObject* captionFont() {
    static FontObject* font =
        new FontObject(makeDescription(-12, FW_BOLD, false, "Arial")); // never deleted
    return font;
}

void copyText(const std::string& text, char* buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return;
    std::snprintf(buffer, size, "%s", text.c_str());
}

} // namespace

// The three functions the window system and the drawing code call are exported for the
// platform's tests.
WINAPI_EXPORT GdiObject* defaultFont() {
    // The system font: a bold sans serif face with a 16-pixel cell. Never deleted (a stock
    // object).
    static FontObject* font =
        new FontObject(makeDescription(kDefaultCellHeightPx, FW_BOLD, false, "System"));
    return font;
}

WINAPI_EXPORT void drawCaptionText(Surface& surface, const RECT& clip, int x, int y,
                                   const char* text, COLORREF colour) {
    if (text == nullptr) return;
    DeviceContext dc;
    dc.surface = &surface;
    dc.clip = clip;
    dc.font = captionFont();
    dc.textColour = colour;
    dc.backgroundMode = kTransparentMode;
    TextState& state = textState();
    Guard guard(state.mutex);
    TextCall call;
    if (!beginCall(state, reinterpret_cast<HDC>(&dc), call)) return;
    textOut(call, x, y, 0, nullptr, Run{text, std::strlen(text), nullptr, 0});
}

WINAPI_EXPORT bool fontDescription(const GdiObject& font, LOGFONTA* description) {
    const auto* made = dynamic_cast<const FontObject*>(&font);
    if (made == nullptr || description == nullptr) return false;
    *description = made->description;
    return true;
}

// GetObjectA on a font (declared by the drawing code): the LOGFONTA, or its size when `buffer`
// is null; the bytes copied, 0 for an object that is no font of ours.
int fontObjectInfo(GdiObject* font, int size, void* buffer) {
    LOGFONTA description{};
    if (font == nullptr || !fontDescription(*font, &description)) return 0;
    constexpr int kDescriptionBytes = static_cast<int>(sizeof(LOGFONTA));
    if (buffer == nullptr) return kDescriptionBytes;
    const int copied = std::clamp(size, 0, kDescriptionBytes);
    std::memcpy(buffer, &description, static_cast<size_t>(copied));
    return copied;
}

namespace {
// The stock fonts are made while the library loads (see Locks at the top).
[[maybe_unused]] const bool kStockFontsMade = (defaultFont(), captionFont(), true);
} // namespace

} // namespace platform

using platform::FontObject;
using platform::GdiObject;

extern "C" {

HFONT CreateFontIndirectA(const LOGFONTA* description) {
    if (description == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTA made = *description;
    made.lfFaceName[LF_FACESIZE - 1] = '\0';
    GdiObject* font = new FontObject(made);
    return reinterpret_cast<HFONT>(font);
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR faceName) {
    LOGFONTA description{};
    description.lfHeight = height;
    description.lfWidth = width;
    description.lfEscapement = escapement;
    description.lfOrientation = orientation;
    description.lfWeight = weight;
    description.lfItalic = italic != 0 ? 1 : 0;
    description.lfUnderline = underline != 0 ? 1 : 0;
    description.lfStrikeOut = strikeOut != 0 ? 1 : 0;
    description.lfCharSet = static_cast<BYTE>(charSet);
    description.lfOutPrecision = static_cast<BYTE>(outPrecision);
    description.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    description.lfQuality = static_cast<BYTE>(quality);
    description.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (faceName != nullptr) std::snprintf(description.lfFaceName, LF_FACESIZE, "%s", faceName);
    return CreateFontIndirectA(&description);
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
    platform::TextState& state = platform::textState();
    platform::Guard guard(state.mutex);
    platform::TextCall call;
    if (!platform::beginCall(state, dc, call)) return FALSE;
    if (metrics == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const platform::SizedFace& sized = *call.sized;
    const LOGFONTA& description = platform::fontOf(*call.dc).description;
    *metrics = TEXTMETRICA{};
    metrics->tmAscent = sized.ascentPx;
    metrics->tmDescent = sized.descentPx;
    metrics->tmHeight = sized.ascentPx + sized.descentPx;
    metrics->tmInternalLeading = metrics->tmHeight - sized.emPx;
    metrics->tmExternalLeading = sized.externalLeadingPx;
    metrics->tmAveCharWidth = sized.averageWidthPx;
    metrics->tmMaxCharWidth = sized.maxWidthPx;
    metrics->tmWeight =
        description.lfWeight == FW_DONTCARE ? platform::kNormalWeight : description.lfWeight;
    metrics->tmDigitizedAspectX = platform::kScreenDpi;
    metrics->tmDigitizedAspectY = platform::kScreenDpi;
    metrics->tmFirstChar = platform::kFirstChar;
    metrics->tmLastChar = platform::kLastChar;
    metrics->tmDefaultChar = platform::kDefaultChar;
    metrics->tmBreakChar = platform::kBreakChar;
    metrics->tmItalic = description.lfItalic;
    metrics->tmUnderlined = description.lfUnderline;
    metrics->tmStruckOut = description.lfStrikeOut;
    BYTE familyBits = FF_SWISS;
    const platform::Family family = platform::familyOf(description);
    if (family == platform::Family::Mono) familyBits = FF_MODERN;
    if (family == platform::Family::Serif) familyBits = FF_ROMAN;
    metrics->tmPitchAndFamily = static_cast<BYTE>(familyBits | TMPF_VECTOR | TMPF_TRUETYPE |
                                                  (sized.face->fixedPitch ? 0 : TMPF_FIXED_PITCH));
    metrics->tmCharSet = ANSI_CHARSET;
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size) {
    platform::TextState& state = platform::textState();
    platform::Guard guard(state.mutex);
    platform::TextCall call;
    if (!platform::beginCall(state, dc, call)) return FALSE;
    if (count < 0 || size == nullptr || (text == nullptr && count > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int64_t width = platform::runWidth(
        *call.sized, platform::Run{text, static_cast<size_t>(count), nullptr, 0});
    size->cx = static_cast<LONG>(platform::clampCoordinate(width));
    size->cy = call.sized->ascentPx + call.sized->descentPx;
    return TRUE;
}

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const INT* advances) {
    platform::TextState& state = platform::textState();
    platform::Guard guard(state.mutex);
    platform::TextCall call;
    if (!platform::beginCall(state, dc, call)) return FALSE;
    if (text == nullptr && count > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::textOut(call, x, y, options, rect, platform::Run{text, count, advances, 0});
    return TRUE;
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
    if (count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutA(dc, x, y, 0, nullptr, text, static_cast<UINT>(count), nullptr);
}

int DrawTextA(HDC dc, LPCSTR text, int count, RECT* rect, UINT format) {
    platform::TextState& state = platform::textState();
    platform::Guard guard(state.mutex);
    platform::TextCall call;
    if (!platform::beginCall(state, dc, call)) return 0;
    if (text == nullptr || rect == nullptr || count < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = count == -1 ? std::strlen(text) : static_cast<size_t>(count);
    return platform::drawText(call, text, length, *rect, format);
}

UINT SetTextAlign(HDC dc, UINT align) {
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return platform::kGdiError;
    }
    platform::DeviceContext* context = platform::contextOf(dc);
    const UINT previous = context->textAlign;
    context->textAlign =
        align & (TA_UPDATECP | platform::kHorizontalAlignMask | platform::kVerticalAlignMask);
    return previous;
}

UINT GetTextAlign(HDC dc) {
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return platform::kGdiError;
    }
    return platform::contextOf(dc)->textAlign;
}

void PlatformSetFontRoot(LPCSTR root) {
    platform::TextState& state = platform::textState();
    platform::Guard guard(state.mutex);
    state.root = root != nullptr ? root : platform::kDefaultFontRoot;
    state.faces.clear();
    state.reported.clear();
    ++state.generation;
}

void PlatformFontError(char* text, DWORD size) {
    platform::copyText(platform::lastFontError, text, size);
}

void PlatformFontFile(HFONT font, char* path, DWORD size) {
    platform::TextState& state = platform::textState();
    platform::Guard guard(state.mutex);
    auto* made = dynamic_cast<FontObject*>(reinterpret_cast<GdiObject*>(font));
    platform::SizedFace* sized = made != nullptr ? platform::resolve(state, *made) : nullptr;
    platform::copyText(sized != nullptr ? sized->face->path : std::string(), path, size);
}

} // extern "C"
