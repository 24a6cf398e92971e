// The editor of pressane_plax: the Pressane window (desired gain and density sliders with
// their value fields, the headroom rocker and field, boost, memory A and B with their store
// switch, headroom and gain-reached meters, level bars, clip lamps, peak fields, the splash)
// built on the Plax editor library from bitmaps 1000 … 1017 of the library.
#pragma once

#include "plax/plax_editor.h"
#include "plax/plax_gui.h"

#include <array>
#include <memory>
#include <string>

namespace orq::plax {

// The effect's parameter indices the editor uses.
enum PressanePlaxIndex : int {
    kPlaxDesiredGain = 0,
    kPlaxDensity = 1,
    kPlaxHeadroom = 2,
    kPlaxBoost = 3,
    kPlaxGainReachedMeter = 4,
    kPlaxHeadroomMeter = 5,
    kPlaxInputPeaks = 6,  // block: two floats, dB
    kPlaxOutputPeaks = 7, // block: two floats, dB
};
constexpr int kPressanePlaxHostParameters = 4;

// The value fields' texts, from raw values.
std::string desiredGainText(float desiredGainDb);
std::string densityText(float density);
std::string headroomText(float headroom);
using gui::peakText;
constexpr float kInputPeakFloorDb = -40.0f;
constexpr float kOutputPeakFloorDb = -10.0f;
// A level bar's fraction: n/28 for the highest of the 28 breakpoints the value exceeds.
float inputBarFraction(float peakDb);
float outputBarFraction(float peakDb);

class PressanePlaxEditor final : public Editor, private gui::ControlListener {
  public:
    static constexpr int kWidthPixels = 446;
    static constexpr int kHeightPixels = 263;

    // Control tags.
    enum Tag : int {
        kRockerTag = 1,
        kDesiredGainSliderTag = 2,
        kDesiredGainFieldTag = 3,
        kDensityFieldTag = 4,
        kHeadroomFieldTag = 5,
        kStoreTag = 6,
        kMemoryATag = 7,
        kMemoryBTag = 8,
        kBoostTag = 9,
        kDensitySliderTag = 10,
    };

    // Bitmaps come from `module`'s resources; the memory slots take the effect's current values.
    PressanePlaxEditor(EditorEffect& effect, HINSTANCE module);
    ~PressanePlaxEditor() override;

    int widthPixels() const override { return kWidthPixels; }
    int heightPixels() const override { return kHeightPixels; }
    bool open(HWND parent) override;
    void close() override;
    bool isOpen() const override { return frame_ != nullptr; }
    void idle() override;
    void parameterChanged(int index) override;

    // For tests and pictures. [ui-thread]
    HWND frameWindow() const { return frame_ != nullptr ? frame_->window() : nullptr; }
    const gui::Frame* frame() const { return frame_.get(); }
    const std::array<float, kPressanePlaxHostParameters>& memory(int slot) const {
        return memory_[size_t(slot)];
    }
    gui::VerticalSlider* desiredGainSlider() const { return desiredGain_; }
    gui::VerticalSlider* densitySlider() const { return density_; }
    gui::ValueField* desiredGainField() const { return desiredGainField_; }
    gui::ValueField* densityField() const { return densityField_; }
    gui::ValueField* headroomField() const { return headroomField_; }
    gui::OnOffSwitch* boostSwitch() const { return boost_; }
    gui::OnOffSwitch* storeSwitch() const { return store_; }
    gui::TextLabel* inputPeakField() const { return inputPeak_; }
    gui::TextLabel* outputPeakField() const { return outputPeak_; }
    // Input 0, input 1, output 0, output 1.
    gui::SegmentMeter* levelBar(int n) const { return bars_[size_t(n)]; }
    gui::Lamp* lamp(int n) const { return lamps_[size_t(n)]; }
    gui::SegmentMeter* headroomMeter() const { return headroomMeter_; }
    gui::SegmentMeter* gainReachedMeter() const { return gainReachedMeter_; }
    gui::Splash* splash() const { return splash_; }

  private:
    void valueChanged(gui::Control& control) override;
    void refreshMeters();
    void showParameter(int index);
    float normalizedOf(int index, float raw);

    EditorEffect& effect_;
    HINSTANCE module_;
    std::array<std::array<float, kPressanePlaxHostParameters>, 2> memory_{};
    std::string version_;

    // While open: the bitmaps, then the frame that draws with them.
    std::unique_ptr<gui::BitmapRange> bitmaps_;
    std::unique_ptr<gui::Frame> frame_;
    gui::VerticalSlider* desiredGain_ = nullptr;
    gui::VerticalSlider* density_ = nullptr;
    gui::ValueField* desiredGainField_ = nullptr;
    gui::ValueField* densityField_ = nullptr;
    gui::ValueField* headroomField_ = nullptr;
    gui::Rocker* rocker_ = nullptr;
    gui::OnOffSwitch* boost_ = nullptr;
    gui::OnOffSwitch* store_ = nullptr;
    gui::KickButton* memoryA_ = nullptr;
    gui::KickButton* memoryB_ = nullptr;
    std::array<gui::Lamp*, 4> lamps_{};
    std::array<gui::SegmentMeter*, 4> bars_{};
    gui::SegmentMeter* headroomMeter_ = nullptr;
    gui::SegmentMeter* gainReachedMeter_ = nullptr;
    gui::TextLabel* inputPeak_ = nullptr;
    gui::TextLabel* outputPeak_ = nullptr;
    gui::Splash* splash_ = nullptr;
};

using gui::moduleVersion;

} // namespace orq::plax
