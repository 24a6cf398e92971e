// The editor of "Orq Tessaline": the learned and live spectra with the filter curve over the
// frequency axis of the mode, 30 band sliders (-15 ... +15 dB) with their group marks, and the
// learn, learn target, match, match amount, band mode, freeze, reset, drawing-mode and tools
// controls. Every change is written into the editor's set and handed to the plug-in (changed
// values); a 600 ms timer pulls the display data back while the display runs. The status line
// under the display names the control under the pointer, or why it is disabled.
//
// Threads: controls, timer, gestures and F1 run on the editor's thread (its own on the
// host-extension road, the host's inside a property page). loadValues, the host values and a
// format change arrive on the host's (or streaming) thread and only post to the client window.
#pragma once

#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "controls/knob.h"
#include "controls/selector.h"
#include "controls/slider.h"
#include "controls/text_field.h"
#include "matching/tessaline_editor_model.h"
#include "runtime/editor_host.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace orq::matching {

class TessalineEditor final : public EditorHost {
  public:
    static constexpr int kWidthPixels = 560;
    static constexpr int kHeightPixels = 360;
    static constexpr UINT_PTR kDisplayTimer = 1;
    static constexpr UINT kDisplayPeriodMs = 600;
    // The display well and the status line, in client coordinates.
    static constexpr RECT kDisplayArea{25, 30, 535, 190};
    static constexpr RECT kStatusArea{25, 194, 535, 210};
    // The title that opens the about box, and the area of the drawing tools.
    static constexpr RECT kAboutArea{0, 0, 200, 26};
    static constexpr RECT kToolsArea{396, 320, 560, 360};
    // Curves are drawn on this dB scale (the sliders reach +-15 dB).
    static constexpr float kCurveScaleDb = 20.0f;
    // The spectra are drawn over this many dB below the loudest bin shown.
    static constexpr float kSpectrumRangeDb = 90.0f;

    explicit TessalineEditor(ParameterSet* parameters);

    // The editor's view, for tests and measurements. [editor's thread]
    const SliderGains& gains() const { return gains_; }
    const SliderGroup& group() const { return group_; }
    DrawMode drawMode() const { return drawMode_; }
    bool toolsShown() const { return toolsShown_; }
    const EditorState& state() const { return state_; }
    const std::string& statusText() const { return status_; }
    const FrequencyAxis& axis() const { return axis_; }
    controls::Slider* slider(int k) const { return sliders_[size_t(k)].get(); }
    controls::Button* mark(int k) const { return marks_[size_t(k)].get(); }
    controls::Button* button(int id) const;
    controls::Knob* amountKnob() const { return amount_.get(); }
    controls::Selector* drawModeSelector() const { return drawModes_.get(); }
    controls::TextField* amountField() const { return amountField_.get(); }
    // What the status line shows for the control under the pointer (0: none). [editor's thread]
    void hover(int controlId);
    // One tick of the display timer: the learned flags, then the display data. [editor's thread]
    void tick();
    // Draws the display into a device context at the display's place. [editor's thread]
    void paintDisplay(HDC dc) const;
    // Points of the traces drawn last (display pixels), for tests: the curve's y per column.
    const std::vector<int>& curveRows() const { return curveRows_; }

  protected:
    void openContent(HWND client, SIZE* clientSize) override;
    void closeContent() override;
    void loadValues() override;
    void hostValuesChanged() override;
    bool paint(HWND window, HDC dc) override;
    bool message(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void timer(UINT_PTR id) override;
    HPALETTE palette() override { return bitmaps_.palette(); }

  public:
    intptr_t command(int32_t command, void* arg, intptr_t value) override;

  private:
    void createControls(HWND client);
    void readAll();
    void syncControls();
    void updateEnabling();
    void showStatus(const std::string& text);
    void showLearnedStatus();
    void invalidateDisplay() const;

    // Values to the plug-in, in the order the controls' rules give.
    void send(int32_t index, float value);
    void sendGains();
    float read(int32_t index);
    int32_t activeSliderIndex() const;

    void onSlider(int k, float valueDb);
    void onSliderReset(int k);
    void setLearn(bool on);
    void setLearnTarget(bool source);
    void setMatch(bool on);
    void setAmount(float amount);
    void setBandMode(bool thirdOctave);
    void setFreeze(bool frozen);
    void reset();
    void setDrawMode(DrawMode mode);
    void setTools(bool shown);
    void setGroup(const SliderGroup& group);
    void formatChanged();
    void bringSpectraToOneFrameCount();
    void openAbout();

    // Gestures in the display.
    bool gesturesAllowed() const;
    void gestureAt(POINT at, bool finished);
    double sliderPositionOfPixel(int x) const;
    float dbOfPixel(int y) const;

    controls::BitmapSet bitmaps_;
    std::array<std::unique_ptr<controls::Slider>, kEditorSliderCount> sliders_;
    std::array<std::unique_ptr<controls::Button>, kEditorSliderCount> marks_;
    std::unique_ptr<controls::Button> learn_, target_, match_, bandMode_, freeze_, reset_, tools_;
    std::unique_ptr<controls::Knob> amount_;
    std::unique_ptr<controls::Selector> drawModes_;
    std::unique_ptr<controls::TextField> statusField_, amountField_;

    SliderGains gains_{};
    SliderGroup group_;
    SliderGroup storedGroup_; // kept while niveau or bone is drawn
    DrawMode drawMode_ = DrawMode::RubberBand;
    bool toolsShown_ = true;
    EditorState state_;
    bool learnTargetSource_ = true;
    std::string status_;
    int hovered_ = 0;
    FrequencyAxis axis_;
    int32_t rateHz_ = 44100;
    bool timerRunning_ = false;

    // The display data (learned-bin layout of the mode).
    std::vector<float> spectra_;
    std::vector<float> curve_;
    std::vector<double> binHz_;
    int32_t bins_ = 0;
    int32_t displayCount_ = 3;
    mutable std::vector<int> curveRows_;

    // A gesture in progress.
    bool dragging_ = false;
    POINT dragFrom_{};
    SliderGains gainsAtPress_{};
};

} // namespace orq::matching

namespace orq {
// The editor factory of the plug-in's table row; failures return null.
EditorHost* createTessalineEditor(ParameterSet* parameters);
} // namespace orq
