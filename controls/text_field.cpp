#include "controls/text_field.h"

#include "controls/control_support.h"
#include "controls/double_buffer.h"
#include "controls/palette.h"

#include <cmath>
#include <cstdio>

namespace orq::controls {
namespace {

constexpr char kFace[] = "Arial";

HFONT createFieldFont(int height) {
    return CreateFontA(height, 0, 0, 0, FW_MEDIUM, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH,
                       kFace);
}

} // namespace

TextField::TextField(HWND parent, int left, int top, int right, int bottom, int id,
                     COLORREF background, COLORREF text, int fontHeight, HINSTANCE instance,
                     HPALETTE palette)
    : WObject(parent, id, kControlStyle, 0, instanceOrControls(instance)), palette_(palette),
      font_(createFieldFont(fontHeight)), size_{right - left, bottom - top},
      backgroundColour_(background), textColour_(text) {
    place(left, top, size_.cx, size_.cy);
    setReady();
}

TextField::TextField(HWND parent, int x, int y, int id, HBITMAP background, COLORREF text,
                     int fontHeight, HINSTANCE instance, HPALETTE palette)
    : WObject(parent, id, kControlStyle, 0, instanceOrControls(instance)), background_(background),
      palette_(palette), font_(createFieldFont(fontHeight)), size_(bitmapSize(background)),
      textColour_(text) {
    place(x, y, size_.cx, size_.cy);
    setReady();
}

TextField::~TextField() {
    if (font_ != nullptr) DeleteObject(font_);
}

void TextField::text(const char* s) {
    std::snprintf(buffer_, sizeof buffer_, "%s", s != nullptr ? s : "");
    repaint();
}

void TextField::number(const char* format, float value) {
    if (format == nullptr) return;
    std::snprintf(buffer_, sizeof buffer_, format, static_cast<double>(mappedNumber(value)));
    repaint();
}

void TextField::decibels(const char* format, float value) {
    if (format == nullptr) return;
    std::snprintf(buffer_, sizeof buffer_, format, 20.0 * std::log10(static_cast<double>(value)));
    repaint();
}

void TextField::integer(const char* format, int value) {
    if (format == nullptr) return;
    const double mapped = (static_cast<double>(value) + offset_) * scale_;
    std::snprintf(buffer_, sizeof buffer_, format, static_cast<int>(std::trunc(mapped)));
    repaint();
}

bool TextField::setRange(float min, float max) {
    if (!(max != min)) return false;
    scale_ = max - min;
    offset_ = min / scale_;
    return true;
}

bool TextField::setMapping(float a, float b, float c, float d) {
    if (!(b != a) || !(d != c)) return false;
    scale_ = (d - c) / (b - a);
    offset_ = c / scale_ - a;
    return true;
}

void TextField::setBorder(int widthPixels) {
    borderPixels_ = widthPixels > 0 ? widthPixels : 0;
    repaint();
}

void TextField::paint(HDC dc) const {
    DoubleBuffer buffer(dc, size_.cx, size_.cy);
    HDC target = buffer.dc();
    RECT area{0, 0, size_.cx, size_.cy};
    if (background_ != nullptr) {
        drawBitmap(target, 0, 0, background_, palette_);
        SetBkMode(target, TRANSPARENT);
    } else {
        if (borderPixels_ > 0) {
            HBRUSH border = CreateSolidBrush(textColour_);
            FillRect(target, &area, border);
            DeleteObject(border);
            area = RECT{area.left + borderPixels_, area.top + borderPixels_,
                        area.right - borderPixels_, area.bottom - borderPixels_};
        }
        HBRUSH fill = CreateSolidBrush(backgroundColour_);
        FillRect(target, &area, fill);
        DeleteObject(fill);
        area = RECT{area.left + 1, area.top + 1, area.right - 1, area.bottom - 1};
        SetBkMode(target, OPAQUE);
        SetBkColor(target, backgroundColour_);
    }
    SetTextColor(target, textColour_);
    HGDIOBJ previousFont = font_ != nullptr ? SelectObject(target, font_) : nullptr;
    DrawTextA(target, buffer_, -1, &area, kDrawFormat);
    if (previousFont != nullptr) SelectObject(target, previousFont);
    buffer.present();
}

void TextField::repaint() const {
    paintNow(hwnd(), [this](HDC dc) { paint(dc); });
}

LRESULT TextField::handleMessage(HWND window, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paintCycle(window, [this](HDC dc) { paint(dc); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
        if (id() != 0) sendCommand(parent(), id(), lParam);
        return 0;
    default:
        return 0;
    }
}

} // namespace orq::controls
