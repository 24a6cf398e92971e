// A two-sided rocker: a press on the left half sends 1, on the right half 2 (the exact middle
// column sends both, 1 first); it shows the pressed side until the release.
#pragma once

#include "controls/wobject.h"

namespace orq::controls {

class Rocker : public WObject {
  public:
    static constexpr int kIdle = 0;
    static constexpr int kLeft = 1;
    static constexpr int kRight = 2;

    // The window takes the largest width and height of the three bitmaps. [ui-thread]
    Rocker(HWND parent, int x, int y, int id, HBITMAP leftPressed, HBITMAP idle,
           HBITMAP rightPressed, HINSTANCE instance, HPALETTE palette);

    int state() const { return state_; }
    void disable() { enabled_ = false; }
    void enable(bool enabled) { enabled_ = enabled; }
    bool enabled() const { return enabled_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    void repaint() const;
    void press(int side);

    HBITMAP bitmaps_[3];
    HPALETTE palette_;
    SIZE size_{};
    int state_ = kIdle;
    bool enabled_ = true;
    bool captured_ = false;
};

} // namespace orq::controls
