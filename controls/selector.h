// A selector of n positions anywhere in the parent, each painted from an on and an off bitmap;
// at most one is selected. A click on another position selects it and sends its index; a
// click on the selected one does nothing unless the deselect flag is set (then it sends
// 0x10000 + index and selects nothing).
#pragma once

#include "controls/wobject.h"

#include <vector>

namespace orq::controls {

constexpr int kDeselectedFlag = 0x10000;

class Selector : public WObject {
  public:
    // Positions (x[i], y[i]) in the parent; the window covers their union. [ui-thread,
    // allocates]
    Selector(HWND parent, int id, int count, const int* x, const int* y, const HBITMAP* on,
             const HBITMAP* off, bool deselectOnSecondClick, HINSTANCE instance, HPALETTE palette);

    // Selects position `index` and repaints the positions that changed; an index outside
    // 0 ... count - 1 changes nothing and answers false. Sends nothing. [ui-thread]
    bool select(int index);
    void selectNone();
    // The selected position, -1 for none.
    int selected() const { return selected_; }
    int count() const { return static_cast<int>(positions_.size()); }
    // Position i's rectangle in the window.
    RECT rectangle(int index) const;
    void disable() { enabled_ = false; }
    void enable(bool enabled) { enabled_ = enabled; }
    bool enabled() const { return enabled_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    struct Position {
        RECT rect;
        HBITMAP on;
        HBITMAP off;
    };
    void paintPosition(HDC dc, int index) const;
    void paintAll(HDC dc) const;
    void repaintPositions(int first, int second) const;
    void click(int x, int y);

    std::vector<Position> positions_;
    HPALETTE palette_;
    int selected_ = -1;
    int previous_ = -1;
    bool enabled_ = true;
    bool deselect_;
};

} // namespace orq::controls
