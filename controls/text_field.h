// A text field: a line of text centred in a rectangle, on a solid background (with an
// optional border in the text colour) or over a background bitmap. The setters format into the
// field's 256-character buffer and repaint at once; number() and integer() map their argument
// through an offset and a scale first.
#pragma once

#include "controls/wobject.h"

namespace orq::controls {

class TextField : public WObject {
  public:
    static constexpr int kBufferChars = 256;
    // Centred, vertically centred, single line, no clipping (293).
    static constexpr UINT kDrawFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;

    // Solid: the rectangle in the parent, background and text colours (the text colour also
    // draws the border). [ui-thread]
    TextField(HWND parent, int left, int top, int right, int bottom, int id, COLORREF background,
              COLORREF text, int fontHeight, HINSTANCE instance, HPALETTE palette);
    // Bitmap-backed: sized to the bitmap, text drawn transparently over it. [ui-thread]
    TextField(HWND parent, int x, int y, int id, HBITMAP background, COLORREF text, int fontHeight,
              HINSTANCE instance, HPALETTE palette);
    ~TextField() override;

    // Each formats into the buffer ("%s"; (v + offset) x scale; 20 log10(v);
    // trunc((i + offset) x scale)) and repaints at once. [ui-thread]
    void text(const char* s);
    void number(const char* format, float value);
    void decibels(const char* format, float value);
    void integer(const char* format, int value);
    // min maps to 0 and max to 1 ... as the slider's range; min == max changes nothing and
    // answers false.
    bool setRange(float min, float max);
    // a maps to c and b to d; a == b or c == d changes nothing and answers false.
    bool setMapping(float a, float b, float c, float d);
    // A border of this width in the text colour (solid form); 0: none. Repaints.
    void setBorder(int widthPixels);
    const char* buffer() const { return buffer_; }
    float mappedNumber(float value) const { return (value + offset_) * scale_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    void repaint() const;

    HBITMAP background_ = nullptr;
    HPALETTE palette_;
    HFONT font_;
    SIZE size_{};
    COLORREF backgroundColour_ = 0;
    COLORREF textColour_;
    int borderPixels_ = 0;
    float offset_ = 0.0f;
    float scale_ = 1.0f;
    char buffer_[kBufferChars] = {};
};

} // namespace orq::controls
