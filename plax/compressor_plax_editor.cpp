#include "plax/compressor_plax_editor.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace orq::plax {
namespace {

enum Bitmap : int {
    kBackgroundBitmap = 1100,
    kSplashBitmap = 1101,
    kSliderTrackBitmap = 1102,
    kSliderThumbBitmap = 1103,
    kSoloBitmap = 1104,
    kFirstBandButtonBitmap = 1105, // … 1109
    kMeterEmptyBitmap = 1110,
    kMeterFullBitmap = 1111,
    kInUseBitmap = 1112,
};
constexpr int kFirstBitmap = kBackgroundBitmap;
constexpr int kLastBitmap = kInUseBitmap;

// Band b's column: its slider's left edge; its field, LED and button are placed from it.
constexpr int kFirstBandX = 44;
constexpr int kBandSpacing = 44;
constexpr int kSliderY = 64;
constexpr int kOutputX = 336;
constexpr int kInUseY = 56;
constexpr int kBandButtonY = 186;
constexpr POINT kSoloAt{252, 185};
constexpr POINT kMeterAt{412, 64};
constexpr RECT kPeakRect{406, 182, 432, 193};
constexpr RECT kBandsRect{84, 221, 98, 232};
constexpr RECT kAboutArea{380, 220, 463, 245};
constexpr RECT kVersionLine{364, 26, 464, 38};
constexpr RECT kSecondVersionLine{364, 40, 464, 52};

// The level meter's breakpoints (dB), one per segment.
constexpr float kLevelBreakpointsDb[kLevelMeterSegments] = {
    -40, -36, -32, -28, -24, -21, -18, -15, -12, -10, -8, -6, -5, -4, -3, -2.5f, -2, -1.5f, -1,
    -0.5f};


int bandX(int band) { return kFirstBandX + kBandSpacing * band; }
// A gain field over the slider at column x: 28 wide, centred on the track.
RECT fieldOver(int x) { return RECT{x - 5, 41, x + 23, 52}; }

} // namespace

std::string compressorGainText(float gainDb) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(gainDb));
    // No "-0.0" for a value that rounds to zero.
    return std::string(text) == "-0.0" ? "0.0" : text;
}

float levelDb(float level) {
    return level > 0.0f ? 20.0f * std::log10(level) : -std::numeric_limits<float>::infinity();
}

float levelMeterFraction(float db) {
    return gui::breakpointFraction(db, kLevelBreakpointsDb, kLevelMeterSegments);
}

CompressorPlaxEditor::CompressorPlaxEditor(EditorEffect& effect, HINSTANCE module)
    : effect_(effect), module_(module) {}

CompressorPlaxEditor::~CompressorPlaxEditor() { close(); }

bool CompressorPlaxEditor::open(HWND parent) {
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
    auto field = [&](int x, int tag, int index) {
        auto* made = f.add(std::make_unique<gui::ValueField>(fieldOver(x), self, tag, gui::kValueFieldStyle,
                                                             compressorGainText));
        made->setRange(effect_.minimum(index), effect_.maximum(index));
        return made;
    };
    for (int b = 0; b < kCompBandCount; ++b) {
        const int x = bandX(b);
        bandSliders_[size_t(b)] = f.add(std::make_unique<gui::VerticalSlider>(
            x, kSliderY, self, kBandSliderTag + b, track, thumb));
        bandFields_[size_t(b)] = field(x, kBandFieldTag + b, kCompBandGain1 + b);
        inUse_[size_t(b)] =
            f.add(std::make_unique<gui::Lamp>(x + 3, kInUseY, bitmap(kInUseBitmap)));
        bandButtons_[size_t(b)] = f.add(std::make_unique<gui::OnOffSwitch>(
            x - 4, kBandButtonY, self, kBandButtonTag + b, bitmap(kFirstBandButtonBitmap + b)));
    }
    gain_ = f.add(std::make_unique<gui::VerticalSlider>(kOutputX, kSliderY, self, kGainSliderTag,
                                                        track, thumb));
    gainField_ = field(kOutputX, kGainFieldTag, kCompGain);
    solo_ = f.add(std::make_unique<gui::OnOffSwitch>(kSoloAt.x, kSoloAt.y, self, kSoloTag,
                                                     bitmap(kSoloBitmap)));
    levelMeter_ = f.add(std::make_unique<gui::SegmentMeter>(
        kMeterAt.x, kMeterAt.y, kLevelMeterSegments, bitmap(kMeterEmptyBitmap),
        bitmap(kMeterFullBitmap)));
    peakField_ = f.add(std::make_unique<gui::TextLabel>(kPeakRect, gui::kPeakFieldStyle));
    bandsField_ = f.add(std::make_unique<gui::TextLabel>(kBandsRect, gui::kValueFieldStyle));
    if (version_.empty()) version_ = gui::moduleVersion(module_);
    splash_ = f.add(gui::versionSplash(kAboutArea, bitmap(kSplashBitmap), kVersionLine,
                                       kSecondVersionLine, version_));

    for (int i = 0; i < kCompHostParameters; ++i)
        showParameter(i);
    showBands();
    refreshMeter();
    InvalidateRect(f.window(), nullptr, FALSE);
    UpdateWindow(f.window());
    return true;
}

void CompressorPlaxEditor::close() {
    frame_.reset();
    bitmaps_.reset();
    bandSliders_.fill(nullptr);
    bandFields_.fill(nullptr);
    bandButtons_.fill(nullptr);
    inUse_.fill(nullptr);
    gain_ = nullptr;
    gainField_ = nullptr;
    solo_ = nullptr;
    levelMeter_ = nullptr;
    peakField_ = bandsField_ = nullptr;
    splash_ = nullptr;
}

void CompressorPlaxEditor::idle() {
    if (frame_ == nullptr) return;
    // A program the host loads changes the band count and the active band too.
    showBands();
    refreshMeter();
    frame_->idle();
}

void CompressorPlaxEditor::showParameter(int index) {
    if (index == kCompGain) {
        gain_->setValue(effect_.normalizedParameter(index));
        gainField_->setValue(effect_.rawValue(index));
    } else if (index == kCompSolo) {
        solo_->setValue(effect_.normalizedParameter(index));
    } else if (index >= kCompBandGain1 && index < kCompBandGain1 + kCompBandCount) {
        const size_t b = size_t(index - kCompBandGain1);
        bandSliders_[b]->setValue(effect_.normalizedParameter(index));
        bandFields_[b]->setValue(effect_.rawValue(index));
    }
}

void CompressorPlaxEditor::showBands() {
    const int bands = int(effect_.rawValue(kCompBands));
    const int active = int(effect_.rawValue(kCompActBand));
    for (int b = 0; b < kCompBandCount; ++b) {
        inUse_[size_t(b)]->setValue(b < bands ? 1.0f : 0.0f);
        bandButtons_[size_t(b)]->setValue(b == active ? 1.0f : 0.0f);
    }
    bandsField_->setText(std::to_string(bands));
}

void CompressorPlaxEditor::parameterChanged(int index) {
    if (frame_ == nullptr) return;
    showParameter(index);
    showBands();
    frame_->redrawDirty();
}

void CompressorPlaxEditor::chooseBand(int band) {
    // Only a band in use can be chosen; the buttons show the active band again either way.
    if (band < int(effect_.rawValue(kCompBands)) && band != int(effect_.rawValue(kCompActBand)))
        effect_.setRawValue(kCompActBand, float(band));
    showBands();
}

void CompressorPlaxEditor::valueChanged(gui::Control& control) {
    const int tag = control.tag();
    if (tag == kGainSliderTag || tag == kGainFieldTag) {
        effect_.setParameterAutomated(kCompGain, control.normalizedValue());
    } else if (tag == kSoloTag) {
        effect_.setParameterAutomated(kCompSolo, control.value());
    } else if (tag >= kBandSliderTag && tag < kBandSliderTag + kCompBandCount) {
        effect_.setParameterAutomated(kCompBandGain1 + tag - kBandSliderTag,
                                      control.normalizedValue());
    } else if (tag >= kBandFieldTag && tag < kBandFieldTag + kCompBandCount) {
        effect_.setParameterAutomated(kCompBandGain1 + tag - kBandFieldTag,
                                      control.normalizedValue());
    } else if (tag >= kBandButtonTag && tag < kBandButtonTag + kCompBandCount) {
        chooseBand(tag - kBandButtonTag);
    }
}

void CompressorPlaxEditor::refreshMeter() {
    const float db = levelDb(effect_.rawValue(kCompPeak));
    levelMeter_->setValue(levelMeterFraction(db));
    peakField_->setText(gui::peakText(db, kLevelFloorDb));
}

} // namespace orq::plax
