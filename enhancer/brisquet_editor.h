// The editor of "Orq Brisquet": five sliders (Input, Gain, 2nd, 3rd, Mix) with "%2.1f"
// readouts, the Frequency and Density steppers with their readouts, the Kick, Solo and mono
// switches, two output level meters with a clip indicator fed by a 33 ms timer from the frame's
// output peaks, the logo (about box) and a layout button that switches between the full and the
// compact layout and resizes the window.
//
// Threads: controls, timer and about box run on the editor's thread (its own on the
// host-extension road, the host's inside a property page); loadValues arrives on the host's
// thread and only posts to the client window.
#pragma once

#include "controls/bar_meter.h"
#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "controls/slider.h"
#include "controls/text_field.h"
#include "runtime/editor_host.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string>

namespace orq::enhancer {

// One reading of the output peak as the meters show it: clamped to 0 ... 1 (not-a-number is 0);
// above 1 is a clip.
struct MeterReading {
    float level;
    bool clipped;
};
MeterReading meterReading(float peak);
// A falling level decays as 0.7 old + 0.3 new; a rising one jumps.
constexpr float kMeterKeep = 0.7f;
float meterLevel(float shown, float reading);
// The steppers: Frequency in 1000 Hz steps within 1000 ... 7000, Density in steps of 1 within
// 0 ... 6. direction -1 (down) or +1 (up).
float steppedFrequency(float hz, int direction);
float steppedDensity(float density, int direction);
// Readouts: "%3d" after a press, "%2d" when the value comes from the engine. Frequency in kHz.
std::string stepperText(float shownValue, bool afterPress);

class BrisquetEditor final : public EditorHost {
  public:
    static constexpr int kFullWidthPixels = 400;
    static constexpr int kCompactWidthPixels = 170;
    static constexpr int kHeightPixels = 240;
    static constexpr UINT_PTR kMeterTimer = 2000;
    static constexpr UINT kMeterPeriodMs = 33;

    // Control identifiers (WM_COMMAND to the client window).
    enum Control : int {
        kInputSlider = 100,
        kGainSlider = 101,
        kSecondSlider = 102,
        kThirdSlider = 103,
        kMixSlider = 104,
        kFrequencyDown = 110,
        kFrequencyUp = 111,
        kDensityDown = 112,
        kDensityUp = 113,
        kKickSwitch = 120,
        kSoloSwitch = 121,
        kMonoSwitch = 122,
        kLayoutButton = 123,
        kClipLamp = 130,
    };
    static constexpr int kSliderCount = 5;
    // The logo opens the about box.
    static constexpr RECT kAboutArea{0, 0, 150, 26};

    explicit BrisquetEditor(ParameterSet* parameters);

    // The editor's view, for tests and measurements. [editor's thread]
    bool compact() const { return compact_; }
    float shownLevel(int channel) const { return shown_[size_t(channel)]; }
    bool clipLit() const { return clipLit_; }
    controls::Slider* slider(int n) const { return sliders_[size_t(n)].get(); }
    controls::TextField* readout(int n) const { return readouts_[size_t(n)].get(); }
    controls::TextField* frequencyField() const { return frequencyField_.get(); }
    controls::TextField* densityField() const { return densityField_.get(); }
    controls::Button* switchOf(int id) const;
    controls::BarMeter* meter(int channel) const { return meters_[size_t(channel)].get(); }
    SIZE clientSize() const;
    // One tick of the meter timer: reads and clears the output peaks through the plug-in's
    // record and shows them. [editor's thread]
    void tick();
    // The same with given peaks (one per channel; channels 1 or 2). [editor's thread]
    void showPeaks(const float* peaks, int channels);
    static std::string aboutText(HINSTANCE module);

  protected:
    void openContent(HWND client, SIZE* clientSize) override;
    void closeContent() override;
    void loadValues() override;
    bool paint(HWND window, HDC dc) override;
    bool message(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void timer(UINT_PTR id) override;
    HPALETTE palette() override { return bitmaps_.palette(); }

  private:
    void syncControls(bool fromEngine);
    void send(int32_t index, float value);
    float value(int32_t index) const;
    void step(int32_t index, int direction);
    void applyLayout();
    void setClip(bool lit);

    controls::BitmapSet bitmaps_;
    std::array<std::unique_ptr<controls::Slider>, kSliderCount> sliders_;
    std::array<std::unique_ptr<controls::TextField>, kSliderCount> readouts_;
    std::unique_ptr<controls::Button> frequencyDown_, frequencyUp_, densityDown_, densityUp_;
    std::unique_ptr<controls::Button> kick_, solo_, mono_, layout_, clip_;
    std::unique_ptr<controls::TextField> frequencyField_, densityField_;
    std::array<std::unique_ptr<controls::BarMeter>, 2> meters_;
    std::array<float, 2> shown_{};
    bool clipLit_ = false;
    bool compact_ = false;
    bool timerRunning_ = false;
};

} // namespace orq::enhancer

namespace orq {
// The editor factory of the plug-in's table row; failures return null.
EditorHost* createBrisquetEditor(ParameterSet* parameters);
} // namespace orq
