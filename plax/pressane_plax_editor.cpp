#include "plax/pressane_plax_editor.h"

#include "maximizer/pressane_meter_scales.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace orq::plax {
namespace {

enum Bitmap : int {
    kBackgroundBitmap = 1000,
    kSplashBitmap = 1001,
    kBoostBitmap = 1002,
    kStoreBitmap = 1003,
    kMemoryABitmap = 1004,
    kMemoryBBitmap = 1005,
    kRockerBitmap = 1006,
    kSliderTrackBitmap = 1007,
    kSliderThumbBitmap = 1008,
    kHeadroomEmptyBitmap = 1009,
    kHeadroomFullBitmap = 1010,
    kReachedEmptyBitmap = 1011,
    kReachedFullBitmap = 1012,
    kClipLampBitmap = 1013,
    kInputEmptyBitmap = 1014,
    kInputFullBitmap = 1015,
    kOutputEmptyBitmap = 1016,
    kOutputFullBitmap = 1017,
};
constexpr int kFirstBitmap = kBackgroundBitmap;
constexpr int kLastBitmap = kOutputFullBitmap;

constexpr POINT kDesiredGainSliderAt{99, 64};
constexpr POINT kDensitySliderAt{280, 64};
constexpr RECT kDesiredGainFieldRect{97, 41, 118, 52};
constexpr RECT kDensityFieldRect{278, 41, 300, 52};
constexpr RECT kHeadroomFieldRect{212, 132, 233, 143};
constexpr POINT kRockerAt{198, 107};
constexpr POINT kBoostAt{202, 55};
constexpr POINT kStoreAt{202, 189};
constexpr POINT kMemoryAAt{195, 169};
constexpr POINT kMemoryBAt{225, 169};
// Input 0, input 1, output 0, output 1.
constexpr POINT kLampsAt[4] = {{54, 50}, {62, 50}, {382, 50}, {390, 50}};
constexpr POINT kBarsAt[4] = {{54, 60}, {62, 60}, {382, 59}, {390, 59}};
constexpr int kFirstOutput = 2;
constexpr POINT kHeadroomMeterAt{157, 64};
constexpr POINT kReachedMeterAt{339, 64};
constexpr int kGainMeterSegments = 10;
constexpr RECT kInputPeakRect{56, 174, 68, 184};
constexpr RECT kOutputPeakRect{385, 174, 397, 184};
constexpr RECT kAboutArea{342, 220, 425, 245};
constexpr RECT kVersionLine{330, 26, 430, 38};
// The second line with the version (its place is ours): under the first.
constexpr RECT kSecondVersionLine{330, 40, 430, 52};
// The gain meters show the normalised meter value less this.
constexpr float kGainMeterOffset = 0.1f;
constexpr float kClipDb = 0.0f;


std::string formatted(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::string desiredGainText(float desiredGainDb) {
    return formatted("%.1f", std::trunc(2.0 * double(desiredGainDb)) * 0.5);
}

std::string densityText(float density) { return formatted("%.2f", double(density)); }

std::string headroomText(float headroom) {
    if (headroom > 0.5f) return formatted("+%1.f", double(headroom));
    if (headroom >= -0.5f) return "0";
    return formatted("%1.f", double(headroom));
}

float inputBarFraction(float peakDb) {
    return gui::breakpointFraction(peakDb, maximizer::kInputBreakpointsDb, maximizer::kLevelSteps);
}

float outputBarFraction(float peakDb) {
    return gui::breakpointFraction(peakDb, maximizer::kOutputBreakpointsDb, maximizer::kLevelSteps);
}

PressanePlaxEditor::PressanePlaxEditor(EditorEffect& effect, HINSTANCE module)
    : effect_(effect), module_(module) {
    for (auto& slot : memory_)
        for (int i = 0; i < kPressanePlaxHostParameters; ++i)
            slot[size_t(i)] = effect_.normalizedParameter(i);
}

PressanePlaxEditor::~PressanePlaxEditor() { close(); }

bool PressanePlaxEditor::open(HWND parent) {
    if (frame_ != nullptr) return true;
    bitmaps_ = std::make_unique<gui::BitmapRange>(module_, kFirstBitmap, kLastBitmap);
    const gui::BitmapRange& bitmap = *bitmaps_;
    frame_ = std::make_unique<gui::Frame>(parent, module_, bitmap(kBackgroundBitmap));
    if (frame_->window() == nullptr) {
        close();
        return false;
    }
    gui::Frame& f = *frame_;
    gui::ControlListener* const self = this;
    const gui::Bitmap& track = bitmap(kSliderTrackBitmap);
    const gui::Bitmap& thumb = bitmap(kSliderThumbBitmap);
    desiredGain_ = f.add(std::make_unique<gui::VerticalSlider>(
        kDesiredGainSliderAt.x, kDesiredGainSliderAt.y, self, kDesiredGainSliderTag, track, thumb));
    density_ = f.add(std::make_unique<gui::VerticalSlider>(
        kDensitySliderAt.x, kDensitySliderAt.y, self, kDensitySliderTag, track, thumb));
    auto field = [&](const RECT& area, int tag, int index, gui::ValueField::Format format) {
        auto* made = f.add(
            std::make_unique<gui::ValueField>(area, self, tag, gui::kValueFieldStyle, std::move(format)));
        made->setRange(effect_.minimum(index), effect_.maximum(index));
        return made;
    };
    desiredGainField_ = field(kDesiredGainFieldRect, kDesiredGainFieldTag, kPlaxDesiredGain,
                              desiredGainText);
    densityField_ = field(kDensityFieldRect, kDensityFieldTag, kPlaxDensity, densityText);
    headroomField_ = field(kHeadroomFieldRect, kHeadroomFieldTag, kPlaxHeadroom, headroomText);
    rocker_ = f.add(
        std::make_unique<gui::Rocker>(kRockerAt.x, kRockerAt.y, self, kRockerTag,
                                      bitmap(kRockerBitmap)));
    boost_ = f.add(std::make_unique<gui::OnOffSwitch>(kBoostAt.x, kBoostAt.y, self, kBoostTag,
                                                      bitmap(kBoostBitmap)));
    store_ = f.add(std::make_unique<gui::OnOffSwitch>(kStoreAt.x, kStoreAt.y, self, kStoreTag,
                                                      bitmap(kStoreBitmap)));
    memoryA_ = f.add(std::make_unique<gui::KickButton>(kMemoryAAt.x, kMemoryAAt.y, self,
                                                       kMemoryATag, bitmap(kMemoryABitmap)));
    memoryB_ = f.add(std::make_unique<gui::KickButton>(kMemoryBAt.x, kMemoryBAt.y, self,
                                                       kMemoryBTag, bitmap(kMemoryBBitmap)));
    for (int n = 0; n < 4; ++n) {
        const bool output = n >= kFirstOutput;
        lamps_[size_t(n)] = f.add(
            std::make_unique<gui::Lamp>(kLampsAt[n].x, kLampsAt[n].y, bitmap(kClipLampBitmap)));
        bars_[size_t(n)] = f.add(std::make_unique<gui::SegmentMeter>(
            kBarsAt[n].x, kBarsAt[n].y, maximizer::kLevelSteps,
            bitmap(output ? kOutputEmptyBitmap : kInputEmptyBitmap),
            bitmap(output ? kOutputFullBitmap : kInputFullBitmap)));
    }
    headroomMeter_ = f.add(std::make_unique<gui::SegmentMeter>(
        kHeadroomMeterAt.x, kHeadroomMeterAt.y, kGainMeterSegments,
        bitmap(kHeadroomEmptyBitmap), bitmap(kHeadroomFullBitmap)));
    gainReachedMeter_ = f.add(std::make_unique<gui::SegmentMeter>(
        kReachedMeterAt.x, kReachedMeterAt.y, kGainMeterSegments, bitmap(kReachedEmptyBitmap),
        bitmap(kReachedFullBitmap)));
    inputPeak_ = f.add(std::make_unique<gui::TextLabel>(kInputPeakRect, gui::kPeakFieldStyle));
    outputPeak_ = f.add(std::make_unique<gui::TextLabel>(kOutputPeakRect, gui::kPeakFieldStyle));
    if (version_.empty()) version_ = moduleVersion(module_);
    splash_ = f.add(gui::versionSplash(kAboutArea, bitmap(kSplashBitmap), kVersionLine,
                                       kSecondVersionLine, version_));

    for (int i = 0; i < kPressanePlaxHostParameters; ++i)
        showParameter(i);
    refreshMeters();
    InvalidateRect(f.window(), nullptr, FALSE);
    UpdateWindow(f.window());
    return true;
}

void PressanePlaxEditor::close() {
    frame_.reset();
    bitmaps_.reset();
    desiredGain_ = density_ = nullptr;
    desiredGainField_ = densityField_ = headroomField_ = nullptr;
    rocker_ = nullptr;
    boost_ = store_ = nullptr;
    memoryA_ = memoryB_ = nullptr;
    lamps_.fill(nullptr);
    bars_.fill(nullptr);
    headroomMeter_ = gainReachedMeter_ = nullptr;
    inputPeak_ = outputPeak_ = nullptr;
    splash_ = nullptr;
}

void PressanePlaxEditor::idle() {
    if (frame_ == nullptr) return;
    refreshMeters();
    frame_->idle();
}

void PressanePlaxEditor::showParameter(int index) {
    switch (index) {
    case kPlaxDesiredGain:
        desiredGain_->setValue(effect_.normalizedParameter(index));
        desiredGainField_->setValue(effect_.rawValue(index));
        break;
    case kPlaxDensity:
        density_->setValue(effect_.normalizedParameter(index));
        densityField_->setValue(effect_.rawValue(index));
        break;
    case kPlaxHeadroom:
        headroomField_->setValue(effect_.rawValue(index));
        break;
    case kPlaxBoost:
        boost_->setValue(effect_.normalizedParameter(index));
        break;
    default:
        break;
    }
}

void PressanePlaxEditor::parameterChanged(int index) {
    if (frame_ == nullptr) return;
    showParameter(index);
    frame_->redrawDirty();
}

float PressanePlaxEditor::normalizedOf(int index, float raw) {
    const float minimum = effect_.minimum(index), maximum = effect_.maximum(index);
    return (raw - minimum) / (maximum - minimum);
}

void PressanePlaxEditor::valueChanged(gui::Control& control) {
    switch (control.tag()) {
    case kDesiredGainSliderTag:
    case kDesiredGainFieldTag:
        effect_.setParameterAutomated(kPlaxDesiredGain, control.normalizedValue());
        break;
    case kDensitySliderTag:
    case kDensityFieldTag:
        effect_.setParameterAutomated(kPlaxDensity, control.normalizedValue());
        break;
    case kHeadroomFieldTag:
        effect_.setRawValue(kPlaxHeadroom, control.value());
        effect_.setParameterAutomated(kPlaxHeadroom,
                                      normalizedOf(kPlaxHeadroom, control.value()));
        break;
    case kRockerTag: {
        float headroom = effect_.rawValue(kPlaxHeadroom);
        if (headroom < 0.0f) headroom = std::floor(headroom);
        if (control.value() >= 1.0f && headroom < effect_.maximum(kPlaxHeadroom))
            headroom += 1.0f;
        else if (control.value() < 0.0f && headroom > effect_.minimum(kPlaxHeadroom))
            headroom -= 1.0f;
        effect_.setParameterAutomated(kPlaxHeadroom, normalizedOf(kPlaxHeadroom, headroom));
        break;
    }
    case kBoostTag:
        effect_.setParameterAutomated(kPlaxBoost, control.value());
        break;
    case kMemoryATag:
    case kMemoryBTag: {
        auto& slot = memory_[size_t(control.tag() == kMemoryATag ? 0 : 1)];
        if (store_->value() >= 0.5f) {
            for (int i = 0; i < kPressanePlaxHostParameters; ++i)
                slot[size_t(i)] = effect_.normalizedParameter(i);
            store_->setValue(0.0f);
        } else {
            for (int i = 0; i < kPressanePlaxHostParameters; ++i) {
                effect_.setParameterAutomated(i, slot[size_t(i)]);
                // An effect that does not call back still shows the recalled values.
                showParameter(i);
            }
        }
        break;
    }
    default: // the store switch is only read by the memory buttons
        break;
    }
}

void PressanePlaxEditor::refreshMeters() {
    float peaks[2] = {};
    for (int side = 0; side < 2; ++side) {
        const int index = side == 0 ? kPlaxInputPeaks : kPlaxOutputPeaks;
        if (effect_.readBlock(index, peaks, int(sizeof peaks)) != int(sizeof peaks)) continue;
        for (int channel = 0; channel < 2; ++channel) {
            const int n = side * kFirstOutput + channel;
            const float db = peaks[channel];
            bars_[size_t(n)]->setValue(side == 0 ? inputBarFraction(db) : outputBarFraction(db));
            lamps_[size_t(n)]->setValue(db >= kClipDb ? 1.0f : 0.0f);
        }
        const float loudest = std::max(peaks[0], peaks[1]);
        (side == 0 ? inputPeak_ : outputPeak_)
            ->setText(peakText(loudest, side == 0 ? kInputPeakFloorDb : kOutputPeakFloorDb));
    }
    gainReachedMeter_->setValue(effect_.normalizedParameter(kPlaxGainReachedMeter) -
                                kGainMeterOffset);
    headroomMeter_->setValue(effect_.normalizedParameter(kPlaxHeadroomMeter) - kGainMeterOffset);
}

} // namespace orq::plax
