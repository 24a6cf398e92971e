// A rotary knob: a square background with a dot sprite (mask ANDed, dot ORed) on a circle,
// turned through steps 0 ... N by dragging vertically. Step 0 sits at the start angle left of
// straight down, step N at the start angle right of it (angles are measured from straight down,
// so pi is straight up).
#pragma once

#include "controls/wobject.h"

namespace orq::controls {

class Knob : public WObject {
  public:
    // Drag sensitivities in pixels per step.
    static constexpr double kLeftDragPixelsPerStep = 5.0;
    static constexpr double kBothButtonsPixelsPerStep = 10.0;
    static constexpr double kRightDragPixelsPerStep = 0.1;

    // `steps` below 1 is taken as 1. The window takes the background's size. [ui-thread]
    Knob(HWND parent, int x, int y, int id, HBITMAP background, HBITMAP dot, HBITMAP mask,
         int steps, double startAngleDegrees, HINSTANCE instance, HPALETTE palette);

    // Values from min (step 0) to max (step N); min == max changes nothing, answers false.
    bool setRange(float min, float max);
    // Turns to the value's step and repaints; sends nothing. [ui-thread]
    void setValue(float value);
    // (step / N + offset) x scale.
    float value() const;
    int step() const { return step_; }
    int steps() const { return steps_; }
    // The angle of a step, in radians from straight down.
    double angleOf(int step) const;
    double angle() const { return angle_; }
    double anglePerStep() const { return anglePerStep_; }
    // The dot sprite's top-left corner in the window for the current angle.
    POINT dotOrigin() const;
    double sensitivity() const { return sensitivity_; }
    bool dragging() const { return dragging_; }
    void disable() { enabled_ = false; }
    void enable(bool enabled) { enabled_ = enabled; }
    bool enabled() const { return enabled_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    void repaint() const;
    void press(int x, int y);
    void move(int y, WPARAM keys);
    void endDrag();
    int stepOf(float value) const;

    HBITMAP background_;
    HBITMAP dot_;
    HBITMAP mask_;
    HPALETTE palette_;
    SIZE size_{};
    SIZE dotSize_{};
    int radius_ = 0;
    int steps_;
    double startAngle_;
    double anglePerStep_;
    int step_ = 0;
    double angle_ = 0.0;
    float offset_ = 0.0f;
    float scale_ = 1.0f;
    double sensitivity_ = kLeftDragPixelsPerStep;
    int referenceRow_ = 0;
    int referenceStep_ = 0;
    bool dragging_ = false;
    bool enabled_ = true;
    HCURSOR previousCursor_ = nullptr;
    float block_ = 0.0f; // the value a notification points to
};

} // namespace orq::controls
