// Drawing helpers shared by the compressor editor's two displays: the skin's colours and small
// owners of GDI objects selected into a context for the span of a paint.
#pragma once

#include <windows.h>

namespace orq::compressor::drawing {

constexpr COLORREF kWellColour = RGB(0x14, 0x16, 0x1a);
constexpr COLORREF kEdgeColour = RGB(0x3a, 0x3f, 0x47);
constexpr COLORREF kAccentColour = RGB(0xf2, 0xa9, 0x3b);
constexpr COLORREF kAccentShadeColour = RGB(0x5a, 0x45, 0x24); // the accent at 30 % on the well
constexpr COLORREF kDimShadeColour = RGB(0x0c, 0x0d, 0x10);    // bands muted by solo
constexpr COLORREF kTextColour = RGB(0xe8, 0xea, 0xed);
constexpr COLORREF kScaleTextColour = RGB(0x9a, 0xa0, 0xa6);
constexpr COLORREF kTipColour = RGB(0x2a, 0x2e, 0x35);
constexpr COLORREF kMeterColour = RGB(0x3f, 0xbf, 0x5a);

// A font, pen or brush made for a paint and selected into a context; deselected and deleted
// when it goes.
class Selected {
  public:
    Selected(HDC dc, void* object) : dc_(dc), object_(static_cast<HGDIOBJ>(object)) {
        previous_ = object_ != nullptr ? SelectObject(dc, object_) : nullptr;
    }
    ~Selected() {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        if (object_ != nullptr) DeleteObject(object_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ object_;
    HGDIOBJ previous_ = nullptr;
};

// A font of the given face and cell height (weight 500, proof quality).
HFONT makeFont(const char* face, int heightPixels);
void fillRect(HDC dc, const RECT& rect, COLORREF colour);
void frameRect(HDC dc, const RECT& rect, COLORREF colour);
void line(HDC dc, int x0, int y0, int x1, int y1);
// A small filled square handle centred on (x, y), 2 × reach + 1 pixels wide.
void handle(HDC dc, int x, int y, int reach, COLORREF fill, COLORREF edge);
// Lines of text separated by '\n', each cut into columns at its tab characters; column k
// starts at left + tabs[k - 1]. Drawn transparently from the rectangle's top.
void tabbedLines(HDC dc, const char* text, const RECT& box, const int* tabs, int tabCount,
                 int lineHeightPixels);

} // namespace orq::compressor::drawing
