// The compressor editor's transfer-curve editor: the active band's curve drawn through its
// points on linear level axes (input across, output up, 1e-6 ... 1.0), with the band's meter.
// A strip of 24 pixels at the right and at the bottom holds the scale labels; the plot is the
// rest inset by 5 pixels. Left button: a press on a point selects it (with SHIFT deletes it);
// a press near the curve inserts a point; a press elsewhere starts a selection rectangle;
// moving drags the selected points. Every change of the curve is reported to the parent as
// WM_COMMAND(id, 0).
#pragma once

#include "compressor/gain_curve.h"
#include "controls/wobject.h"

#include <array>
#include <string>

namespace orq::compressor {

class CurveEditor : public controls::WObject {
  public:
    static constexpr int kScaleStripPixels = 24;
    static constexpr int kInsetPixels = 5;
    // A point is hit inside a 7 x 7 square around it; the curve within this many pixels above
    // or below it.
    static constexpr int kPointReachPixels = 3;
    static constexpr int kCurveReachPixels = 5;
    static constexpr double kLevelFloor = 1e-6;
    // CTRL moves the points by this fraction of the pointer's movement.
    static constexpr double kFineMoveFraction = 0.02;
    static constexpr int kJumpLimitPixels = 1000;
    // The In/Out/Gain box beside a point.
    static constexpr int kTipWidthPixels = 63;
    static constexpr int kTipHeightPixels = 30;

    // [ui-thread]
    CurveEditor(HWND parent, int id, int x, int y, int width, int height);
    ~CurveEditor() override;

    // The curve shown (an unusable count is taken as the default curve); the selection is
    // cleared. Repaints.
    void setShape(const BandShape& shape);
    const BandShape& shape() const { return shape_; }
    // The band the curve belongs to; -1: no band, nothing to edit. Repaints.
    void setActiveBand(int band);
    int activeBand() const { return activeBand_; }
    void setSolo(bool solo);
    // The meter: a level 0 ... 1 (negative: no level). Repaints only when its pixel changes.
    void setMeter(float level);
    float meter() const { return meter_; }
    int meterPaints() const { return meterPaints_; }

    bool isSelected(int point) const { return selected_[size_t(point)]; }
    // The In/Out/Gain text of the point pressed, dragged or pointed at; empty when none.
    const std::string& pointText() const { return pointText_; }
    // The three lines for a point at these levels (tabs inside, lines joined by '\n').
    static std::string textFor(double inLevel, double outLevel);

    // Geometry (window coordinates).
    RECT plot() const;
    int xOfLevel(double level) const;
    int yOfLevel(double level) const;
    double levelOfX(int x) const;
    double levelOfY(int y) const;
    POINT pointAt(int index) const;

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    int pointNear(int x, int y) const;
    bool nearCurve(int x, int y) const;
    void press(int x, int y, WPARAM keys);
    void move(int x, int y, WPARAM keys);
    void release(int x, int y);
    void hover(int x, int y);
    void moveSelection(double dxLevel, double dyLevel);
    void showTextFor(int point);
    void reportChange();
    void repaint();
    void paint(HDC dc) const;

    int width_;
    int height_;
    BandShape shape_;
    std::array<bool, kShapeMaxPoints> selected_{};
    int activeBand_ = -1;
    bool solo_ = false;
    float meter_ = -1.0f;
    int meterPaints_ = 0;
    // The press: its kind, where the pointer was last, whether the selection came from it.
    enum class Drag { None, Points, Rectangle };
    Drag drag_ = Drag::None;
    POINT last_{};
    POINT rectangleStart_{};
    POINT rectangleEnd_{};
    bool selectionFromPress_ = false;
    int textPoint_ = -1;
    std::string pointText_;
    HFONT scaleFont_ = nullptr;
    HFONT tipFont_ = nullptr;
};

} // namespace orq::compressor
