// "Orq Compressor"'s editor: the band display and the transfer-curve editor, the Solo and
// SoftClip switches, the compression-type selector, the Output knob with its value, and the
// about button. Every control change goes to the engine one parameter per exchange, in a fixed
// order; the active band's meter comes back on a 55 ms timer through a ballistics stage.
#pragma once

#include "compressor/compressor_editor_band_display.h"
#include "compressor/compressor_editor_curve.h"
#include "compressor/compressor_engine.h"
#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "controls/knob.h"
#include "controls/selector.h"
#include "controls/text_field.h"
#include "runtime/editor_host.h"

#include <memory>
#include <string>

namespace orq::compressor {

// The meter's ballistics, once per tick: the shown value falls by at most 0.03 and rises by at
// most 0.3 towards the new one. A negative value (no level) is shown as such and the next level
// rises from 0.
class MeterBallistics {
  public:
    static constexpr float kRiseLimit = 0.3f;
    static constexpr float kFallLimit = 0.03f;
    float step(float value);
    float shown() const { return shown_; }

  private:
    float shown_ = 0.0f;
};

class CompressorEditor final : public EditorHost {
  public:
    // Control identifiers.
    static constexpr int kAboutId = 0x400;
    static constexpr int kBandDisplayId = 0x404;
    static constexpr int kCurveId = 0x405;
    static constexpr int kSoloId = 0x407;
    static constexpr int kOutputKnobId = 0x408;
    static constexpr int kCompTypeId = 0x410;
    static constexpr int kSoftClipId = 0x412;
    // Resource numbers.
    static constexpr int kBackgroundBitmap = 101;
    static constexpr int kAboutBitmap = 103;
    static constexpr int kSoftClipOffBitmap = 104;
    static constexpr int kSoftClipOnBitmap = 105;
    static constexpr int kTwoStagesOffBitmap = 106;
    static constexpr int kOneStageOffBitmap = 107;
    static constexpr int kTwoStagesOnBitmap = 108;
    static constexpr int kOneStageOnBitmap = 109;
    static constexpr int kSoloOffBitmap = 110;
    static constexpr int kSoloOnBitmap = 111;
    static constexpr int kKnobMaskBitmap = 112;
    static constexpr int kKnobDotBitmap = 113;
    static constexpr int kKnobBitmap = 114;
    static constexpr int kOutputFieldBitmap = 115;
    static constexpr int kAboutDialog = 160;
    static constexpr int kAboutVersionLine = 1000;
    // The meter.
    static constexpr UINT_PTR kMeterTimer = 1000;
    static constexpr UINT kMeterPeriodMs = 55;
    // The Output knob: -12 ... +12 dB in tenths.
    static constexpr int kOutputSteps = 240;
    static constexpr double kOutputStartAngleDegrees = 30.0;

    explicit CompressorEditor(ParameterSet* parameters);

    // Editor protocol: the base's, and a format change moves the band display's axis.
    intptr_t command(int32_t command, void* arg, intptr_t value) override;

    // The controls while the content is open (null otherwise). [editor's thread]
    BandDisplay* bandDisplay() const { return bandDisplay_.get(); }
    CurveEditor* curveEditor() const { return curve_.get(); }
    controls::Button* soloSwitch() const { return solo_.get(); }
    controls::Button* softClipSwitch() const { return softClip_.get(); }
    controls::Selector* compTypeSelector() const { return compType_.get(); }
    controls::Knob* outputKnob() const { return outputKnob_.get(); }
    controls::TextField* outputField() const { return outputField_.get(); }
    const MeterBallistics& ballistics() const { return ballistics_; }
    // The sample rate the editor works with (the plug-in's, 44100 without one).
    int editorSampleRate() const { return editorSampleRate_; }

    // " Version: <ProductVersion>" from the version resource of a module (the dialog's line).
    static std::string versionLine(HINSTANCE module);

  protected:
    void openContent(HWND client, SIZE* clientSize) override;
    void closeContent() override;
    void loadValues() override;
    bool paint(HWND window, HDC dc) override;
    bool message(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void timer(UINT_PTR id) override;
    HPALETTE palette() override { return bitmaps_.palette(); }

  private:
    // One exchange: parameter `index` of the editor's set to the plug-in (mode = the index).
    void send(int32_t index);
    void bandDisplayChanged(const BandDisplayReport& report);
    void bandCountChanged(const BandDisplayReport& report);
    void curveChanged();
    void soloClicked(int state);
    void outputTurned(float outputDb);
    void compTypeChosen(int position);
    void softClipClicked(int state);
    void showActiveBand(int band);
    // Reads the editor's set and sets every control from it. [editor's thread]
    void syncControls();
    void readSampleRate();
    void showAbout();

    controls::BitmapSet bitmaps_;
    std::unique_ptr<BandDisplay> bandDisplay_;
    std::unique_ptr<CurveEditor> curve_;
    std::unique_ptr<controls::Button> about_;
    std::unique_ptr<controls::Button> solo_;
    std::unique_ptr<controls::Button> softClip_;
    std::unique_ptr<controls::Selector> compType_;
    std::unique_ptr<controls::Knob> outputKnob_;
    std::unique_ptr<controls::TextField> outputField_;
    MeterBallistics ballistics_;
    int editorSampleRate_ = 44100;
    float lastOutputDb_ = 0.0f;
};

} // namespace orq::compressor

namespace orq {
// The compressor's create-editor factory: takes ownership of parameters (released on failure).
EditorHost* createCompressorEditor(ParameterSet* parameters);
} // namespace orq
