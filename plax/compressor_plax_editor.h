// The editor of compressor_plax: five band-gain sliders with their value fields and in-use LEDs,
// the active-band buttons and Solo, the output gain slider and field, the active band's level
// meter with its peak field, the band count and the splash, built on the Plax editor library
// from bitmaps 1100 … 1112 of the library.
#pragma once

#include "plax/compressor_plax.h"
#include "plax/plax_editor.h"
#include "plax/plax_gui.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace orq::plax {

// A gain field's text from its raw value in dB.
std::string compressorGainText(float gainDb);
// The level meter: 20 breakpoints from -40 to -0.5 dB; the peak field shows "---" below -40 dB.
constexpr int kLevelMeterSegments = 20;
constexpr float kLevelFloorDb = -40.0f;
// The Peak record (the active band's level, linear 0 … 1) in dB; -inf for 0 and below.
float levelDb(float level);
// The meter's fraction for a level in dB.
float levelMeterFraction(float db);

class CompressorPlaxEditor final : public Editor, private gui::ControlListener {
  public:
    static constexpr int kWidthPixels = 480;
    static constexpr int kHeightPixels = 263;

    // Control tags.
    enum Tag : int {
        kGainSliderTag = 1,
        kGainFieldTag = 2,
        kSoloTag = 3,
        kBandSliderTag = 10, // … 14
        kBandFieldTag = 20,  // … 24
        kBandButtonTag = 30, // … 34
    };

    // Bitmaps come from `module`'s resources.
    CompressorPlaxEditor(EditorEffect& effect, HINSTANCE module);
    ~CompressorPlaxEditor() override;

    int widthPixels() const override { return kWidthPixels; }
    int heightPixels() const override { return kHeightPixels; }
    bool open(HWND parent) override;
    void close() override;
    bool isOpen() const override { return frame_ != nullptr; }
    void idle() override;
    void parameterChanged(int index) override;

    // For tests and pictures. [ui-thread]
    HWND frameWindow() const { return frame_ != nullptr ? frame_->window() : nullptr; }
    gui::VerticalSlider* bandSlider(int band) const { return bandSliders_[size_t(band)]; }
    gui::ValueField* bandField(int band) const { return bandFields_[size_t(band)]; }
    gui::OnOffSwitch* bandButton(int band) const { return bandButtons_[size_t(band)]; }
    gui::Lamp* inUseLamp(int band) const { return inUse_[size_t(band)]; }
    gui::VerticalSlider* gainSlider() const { return gain_; }
    gui::ValueField* gainField() const { return gainField_; }
    gui::OnOffSwitch* soloSwitch() const { return solo_; }
    gui::SegmentMeter* levelMeter() const { return levelMeter_; }
    gui::TextLabel* peakField() const { return peakField_; }
    gui::TextLabel* bandsField() const { return bandsField_; }
    gui::Splash* splash() const { return splash_; }

  private:
    void valueChanged(gui::Control& control) override;
    void showParameter(int index);
    // The band count and the active band (table records, not host parameters).
    void showBands();
    void refreshMeter();
    void chooseBand(int band);

    EditorEffect& effect_;
    HINSTANCE module_;
    std::string version_;

    // While open: the bitmaps, then the frame that draws with them.
    std::unique_ptr<gui::BitmapRange> bitmaps_;
    std::unique_ptr<gui::Frame> frame_;
    std::array<gui::VerticalSlider*, kCompBandCount> bandSliders_{};
    std::array<gui::ValueField*, kCompBandCount> bandFields_{};
    std::array<gui::OnOffSwitch*, kCompBandCount> bandButtons_{};
    std::array<gui::Lamp*, kCompBandCount> inUse_{};
    gui::VerticalSlider* gain_ = nullptr;
    gui::ValueField* gainField_ = nullptr;
    gui::OnOffSwitch* solo_ = nullptr;
    gui::SegmentMeter* levelMeter_ = nullptr;
    gui::TextLabel* peakField_ = nullptr;
    gui::TextLabel* bandsField_ = nullptr;
    gui::Splash* splash_ = nullptr;
};

} // namespace orq::plax
