// The phase scope's displays: the point display (goniometer) with its axes, the correlation
// meter with its marker, the range bar, and the meter's ballistics. Each display is a control
// of the toolkit's base (WObject) that paints itself double buffered.
#pragma once

#include "controls/wobject.h"

#include <vector>

namespace orq::scope {

// Colours as the displays draw them.
constexpr COLORREF kPointColour = RGB(0xFF, 0xFF, 0x00);  // yellow
constexpr COLORREF kZoneLowColour = RGB(0xFF, 0x00, 0x00);  // below 0.4
constexpr COLORREF kZoneMidColour = RGB(0xFF, 0xFF, 0x00);  // from 0.4
constexpr COLORREF kZoneHighColour = RGB(0x00, 0xFF, 0x00); // from 0.6
constexpr COLORREF kMeterLineColour = RGB(0xC0, 0xC0, 0xC0);
constexpr float kZoneMid = 0.4f;
constexpr float kZoneHigh = 0.6f;
// The colour of a correlation value's zone.
COLORREF zoneColour(float value);

// The meter's value and range after each collection.
class CorrelationBallistics {
  public:
    static constexpr float kNeutral = 0.5f;
    static constexpr float kMaxStep = 0.04f; // per collection, unless just reset

    // One collection's mean correlation; mono is the mono switch's state.
    void update(float mean, bool mono);
    // The next update sets the range to the value; the range shows 0.5 … 0.5 until then.
    void reset();
    // Back to the state of a fresh editor (value, range 0.5, reset raised).
    void restart();

    float value() const { return value_; }
    float minimum() const { return minimum_; }
    float maximum() const { return maximum_; }
    bool resetPending() const { return reset_; }

  private:
    float value_ = kNeutral;
    float minimum_ = kNeutral;
    float maximum_ = kNeutral;
    bool reset_ = true;
};

// The goniometer: both axes span −1.5 … +1.5, mid up, side to the right; the last row given
// is shown as single yellow pixels over the background (a bitmap, or the axes drawn here).
class ScopeDisplay : public controls::WObject {
  public:
    static constexpr float kAxisSpan = 1.5f;
    // [ui-thread, allocates] background may be null; the window is width × height at (x, y).
    ScopeDisplay(HWND parent, int x, int y, int width, int height, int id, HBITMAP background,
                 HINSTANCE instance, HPALETTE palette);
    ~ScopeDisplay() override;

    // Replaces the shown points by one row (side values, mid values) and repaints.
    // [ui-thread] no allocation for up to kPointsPerRow points.
    void setPoints(const float* side, const float* mid, int count);
    void clearPoints();
    // The pixel a point maps to; false when it falls outside the display.
    bool pixelOf(float side, float mid, POINT* at) const;
    int pointCount() const { return static_cast<int>(points_.size()); }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    void paintAxes(HDC dc) const;

    HBITMAP background_;
    HPALETTE palette_;
    HFONT font_ = nullptr;
    int width_;
    int height_;
    std::vector<POINT> points_;
};

// A horizontal meter for a value 0 … 1: a grey line across the middle, broken five pixels
// either side of a marker of eight short lines narrowing to its tip, in the value's zone
// colour. A left click tells the parent (WM_COMMAND with the id).
class CorrelationMeterDisplay : public controls::WObject {
  public:
    CorrelationMeterDisplay(HWND parent, int x, int y, int width, int height, int id,
                            HINSTANCE instance);
    void setValue(float value);
    float value() const { return value_; }
    // The marker's column for a value.
    int columnOf(float value) const;

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    int width_;
    int height_;
    float value_ = CorrelationBallistics::kNeutral;
};

// A horizontal bar filled from a minimum to a maximum (0 … 1), split into the zone colours at
// 0.4 and 0.6. A left click tells the parent (WM_COMMAND with the id).
class RangeBarDisplay : public controls::WObject {
  public:
    RangeBarDisplay(HWND parent, int x, int y, int width, int height, int id, HINSTANCE instance);
    void setRange(float minimum, float maximum);
    float minimum() const { return minimum_; }
    float maximum() const { return maximum_; }
    // Pixel boundaries: round(k · (v − lo)) with k = (width − 1) / (hi − lo).
    int columnOf(float value) const;

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    int width_;
    int height_;
    float minimum_ = CorrelationBallistics::kNeutral;
    float maximum_ = CorrelationBallistics::kNeutral;
};

} // namespace orq::scope
