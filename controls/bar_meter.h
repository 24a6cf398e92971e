// A one-bar level meter: the empty bitmap with the filled part copied from the full bitmap,
// vertical (filling upwards) when the bitmaps are narrower than tall, else horizontal.
#pragma once

#include "controls/wobject.h"

namespace orq::controls {

class BarMeter : public WObject {
  public:
    BarMeter(HWND parent, int id, int x, int y, HBITMAP empty, HBITMAP full,
             HPALETTE palette = nullptr);

    // Level 0..1 (clamped); repaints only when the drawn length changes.
    void setLevel(float level);
    float level() const { return level_; }
    bool vertical() const { return vertical_; }
    // Pixels of the bar drawn from the full bitmap.
    int filledPixels() const { return filled_; }
    // Repaints done (for tests and measurements).
    int paints() const { return paints_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    int lengthFor(float level) const;
    void paint(HDC dc);

    HBITMAP empty_;
    HBITMAP full_;
    HPALETTE palette_;
    SIZE size_{};
    bool vertical_ = false;
    float level_ = 0.0f;
    int filled_ = 0;
    int paints_ = 0;
};

} // namespace orq::controls
