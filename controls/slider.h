// A stepped slider: a thumb bitmap moving over a track bitmap through positions 0 ... N,
// vertical when the track is narrower than tall (position 0 at the bottom), else horizontal
// (position 0 at the left). A position maps to a value through a range or a table of N + 1
// values.
#pragma once

#include "controls/wobject.h"

#include <vector>

namespace orq::controls {

// What a slider's notification points to (lParam of WM_COMMAND(id)).
struct SliderValue {
    float value;
    int keyFlags; // the MK_* flags of the press
};

class Slider : public WObject {
  public:
    // `steps` below 1 is taken as 1. The window takes the track's size. [ui-thread]
    Slider(HWND parent, int x, int y, int id, HBITMAP track, HBITMAP thumb, int steps,
           HINSTANCE instance, HPALETTE palette);

    // Values from min (position 0) to max (position N). min == max changes nothing and
    // answers false. [ui-thread]
    bool setRange(float min, float max);
    // A table of steps + 1 ascending values replaces the range; another count changes nothing
    // and answers false. The table is copied. [ui-thread, allocates]
    bool setValueTable(const float* values, int count);
    // Moves the thumb to the value's position and paints at once; sends nothing. [ui-thread]
    void setValue(float value);
    // The value of the current position.
    float value() const { return valueAt(position_); }
    int position() const { return position_; }
    float valueAt(int position) const;
    // The position a value selects (a value between two table entries selects the upper one;
    // values beyond either end select that end).
    int positionOf(float value) const;
    // The position a pointer coordinate along the axis (window pixels) selects.
    int positionAtPixel(int pixel) const;

    int steps() const { return steps_; }
    bool vertical() const { return vertical_; }
    int travelPixels() const { return travel_; }
    double pixelsPerStep() const { return pixelsPerStep_; }
    // The thumb's top-left corner in the window.
    POINT thumbOrigin() const;
    bool dragging() const { return dragging_; }
    void disable() { enabled_ = false; }
    void enable(bool enabled) { enabled_ = enabled; }
    bool enabled() const { return enabled_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    void repaint() const;
    void leftDown(int x, int y, int keyFlags);
    void mouseMove(int x, int y, int keyFlags);
    int thumbOffset(int position) const;

    HBITMAP track_;
    HBITMAP thumb_;
    HPALETTE palette_;
    SIZE trackSize_{};
    SIZE thumbSize_{};
    bool vertical_ = true;
    int steps_;
    int trackLength_ = 0;
    int thumbLength_ = 0;
    int travel_ = 0;
    double pixelsPerStep_ = 0.0;
    int position_ = 0;
    float offset_ = 0.0f;
    float scale_ = 1.0f;
    std::vector<float> table_; // empty: the range maps positions to values
    bool enabled_ = true;
    bool dragging_ = false;
    bool firstMove_ = false;
    float lastSent_ = 0.0f;
    int keyMask_ = ~0; // the press flags that make a click on the thumb a step
    SliderValue block_{0.0f, 0};
};

} // namespace orq::controls
