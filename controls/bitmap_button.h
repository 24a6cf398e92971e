// A button painted from bitmaps: a push button (pressed while held, a click on release inside)
// or a toggle (each click flips it on or off).
#pragma once

#include "controls/wobject.h"

namespace orq::controls {

class BitmapButton : public WObject {
  public:
    enum class Mode { Push, Toggle };

    // `normal` is shown off, `pressed` while held (null: `normal`), `on` when a toggle is on
    // (null: `pressed`). The window takes the largest size of the bitmaps. A click sends the
    // parent WM_COMMAND(MAKEWPARAM(id, BN_CLICKED), window).
    BitmapButton(HWND parent, int id, int x, int y, HBITMAP normal, HBITMAP pressed, HBITMAP on,
                 Mode mode, HPALETTE palette = nullptr);

    bool isOn() const { return on_; }
    void setOn(bool on);
    bool isPressed() const { return pressed_; }
    Mode mode() const { return mode_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    void repaint();
    HBITMAP currentBitmap() const;
    bool inside(LPARAM lParam) const;

    HBITMAP normal_;
    HBITMAP pressed_bitmap_;
    HBITMAP on_bitmap_;
    Mode mode_;
    HPALETTE palette_;
    SIZE size_{};
    bool on_ = false;
    bool pressed_ = false;
    bool captured_ = false;
};

} // namespace orq::controls
