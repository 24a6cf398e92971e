// A bar meter: the empty bitmap with the filled part copied from the full bitmap (the same
// size), vertical (filling upwards) when narrower than tall, else horizontal (filling from the
// left). A value turns into the drawn fraction through no scale (the value is the fraction), a
// stepped table or a breakpoint table. An optional marker (a strip of the full bitmap) shows a
// second value. A multi-bar meter draws several values side by side, each in its slice.
#pragma once

#include "controls/wobject.h"

#include <vector>

namespace orq::controls {

class BarMeter : public WObject {
  public:
    // `markerThicknessPixels` 0: no marker. `bars` below 1 is taken as 1. The window takes the
    // empty bitmap's size. [ui-thread, allocates]
    BarMeter(HWND parent, int x, int y, int markerThicknessPixels, HBITMAP empty, HBITMAP full,
             HINSTANCE instance, HPALETTE palette, int bars = 1);

    // Stores value / scale - offset (bar 0) and repaints at once. [ui-thread]
    void setValue(float value);
    // One value per bar, then repaints at once. [ui-thread]
    void setValues(const float* values);
    // The marker's value (mapped as the values); repaints when the marker is on. [ui-thread]
    void setMarker(float value);
    // Switches the marker on or off (only with a marker thickness above 0); repaints.
    void setMarkerOn(bool on);
    // Values from min (fraction 0) to max (fraction 1) before the scale. min == max changes
    // nothing and answers false.
    bool setRange(float min, float max);
    // Breakpoint scales: the fraction of the last threshold below the value (strictly), 0 when
    // none. Thresholds ascending; in dB they become linear magnitudes 10^(dB/20). Both reset
    // the range. n below 1 or a null table changes nothing and answers false. [allocates]
    bool setDbBreakpoints(const float* db, const float* fractions, int n);
    bool setBreakpoints(const float* thresholds, const float* fractions, int n);
    // A stepped scale of n fractions. [allocates]
    bool setSteps(const float* fractions, int n);
    // No scale: the value is the fraction.
    void clearScale();

    // The fraction bar `bar` shows (0 ... 1).
    float fraction(int bar = 0) const;
    float fractionOf(float value) const;
    float value(int bar = 0) const;
    bool markerOn() const { return markerOn_; }
    int bars() const { return static_cast<int>(values_.size()); }
    bool vertical() const { return vertical_; }
    // Repaints done (for tests and measurements).
    int paints() const { return paints_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    enum class Scale { None, Stepped, Breakpoints };
    float mapped(float value) const { return value / scale_ - offset_; }
    void paint(HDC dc);
    void repaint();
    bool takeValues(const float* values);

    HBITMAP empty_;
    HBITMAP full_;
    HPALETTE palette_;
    SIZE size_{};
    bool vertical_ = true;
    int markerThickness_;
    bool markerOn_ = false;
    float marker_ = 0.0f;
    std::vector<float> values_;
    float offset_ = 0.0f;
    float scale_ = 1.0f;
    Scale kind_ = Scale::None;
    std::vector<float> thresholds_;
    std::vector<float> fractions_;
    int paints_ = 0;
};

} // namespace orq::controls
