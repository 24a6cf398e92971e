#include "enhancer/brisquet_editor.h"

#include "controls/control_messages.h"
#include "enhancer/brisquet_parameters.h"
#include "runtime/module_version.h"
#include "runtime/plugin_glue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <vector>

namespace orq::enhancer {

namespace {

// Resource numbers of the editor's bitmaps.
constexpr int kBackgroundBitmap = 101;
constexpr int kCompactBackgroundBitmap = 102;
constexpr int kSliderTrackBitmap = 110;
constexpr int kSliderThumbBitmap = 111;
constexpr int kSwitchOffBitmap = 120;
constexpr int kSwitchPressedBitmap = 121;
constexpr int kSwitchOnBitmap = 122;
constexpr int kDownOffBitmap = 123;
constexpr int kDownPressedBitmap = 124;
constexpr int kUpOffBitmap = 125;
constexpr int kUpPressedBitmap = 126;
constexpr int kMeterEmptyBitmap = 130;
constexpr int kMeterFullBitmap = 131;
constexpr int kClipOffBitmap = 132;
constexpr int kClipOnBitmap = 133;
constexpr int kBitmapIds[] = {
    kBackgroundBitmap, kCompactBackgroundBitmap, kSliderTrackBitmap, kSliderThumbBitmap,
    kSwitchOffBitmap,  kSwitchPressedBitmap,     kSwitchOnBitmap,    kDownOffBitmap,
    kDownPressedBitmap, kUpOffBitmap,            kUpPressedBitmap,   kMeterEmptyBitmap,
    kMeterFullBitmap,  kClipOffBitmap,           kClipOnBitmap,
};

// The sliders: parameter, range, and place in each layout (x of the track; -1: hidden).
struct SliderRow {
    int id;
    int32_t index;
    float minimum;
    float maximum;
    int steps;
    int fullX;
    int compactX;
};
constexpr SliderRow kSliderRows[BrisquetEditor::kSliderCount] = {
    {BrisquetEditor::kInputSlider, kInputGainIndex, -20.0f, 6.0f, 26, 20, 20},
    {BrisquetEditor::kGainSlider, kGainIndex, 0.0f, 1.0f, 100, 70, -1},
    {BrisquetEditor::kSecondSlider, kSecondIndex, 0.0f, 1.0f, 100, 120, -1},
    {BrisquetEditor::kThirdSlider, kThirdIndex, 0.0f, 1.0f, 100, 170, -1},
    {BrisquetEditor::kMixSlider, kMixIndex, 0.0f, 1.0f, 100, 220, 70},
};
constexpr int kSliderTop = 40;
constexpr int kTrackWidth = 14;
constexpr int kReadoutTop = 166;
constexpr int kReadoutWidth = 40;
constexpr int kReadoutHeight = 14;
constexpr const char* kSliderFormat = "%2.1f";

// Place of a control in the full and the compact layout (-1: hidden).
struct Place {
    int fullX, fullY, compactX, compactY;
};
constexpr Place kFrequencyDownPlace{270, 44, -1, -1};
constexpr Place kFrequencyUpPlace{300, 44, -1, -1};
constexpr Place kFrequencyFieldPlace{270, 64, -1, -1};
constexpr Place kDensityDownPlace{270, 96, -1, -1};
constexpr Place kDensityUpPlace{300, 96, -1, -1};
constexpr Place kDensityFieldPlace{270, 116, -1, -1};
constexpr Place kKickPlace{270, 150, -1, -1};
constexpr Place kSoloPlace{300, 150, 10, 200};
constexpr Place kMonoPlace{270, 186, 55, 200};
constexpr Place kLayoutPlace{300, 186, 100, 200};
constexpr Place kClipPlace{352, 24, 122, 24};
constexpr Place kMeterPlaces[2] = {{352, 40, 122, 40}, {372, 40, 142, 40}};
constexpr int kStepperFieldWidth = 54;
constexpr int kFieldFontHeight = 12;
constexpr COLORREF kFieldBackground = RGB(0, 0, 0);
constexpr COLORREF kFieldText = RGB(255, 255, 255);
constexpr int kNoMarker = 0;
// The level meters' segments: 28 thresholds 2 dB apart, the last at -2 dBFS.
constexpr int kMeterSegments = 28;
constexpr float kMeterTopDb = -2.0f;
constexpr float kMeterStepDb = 2.0f;

constexpr float kFrequencyStepHz = 1000.0f;
constexpr float kFrequencyMinHz = 1000.0f;
constexpr float kFrequencyMaxHz = 7000.0f;
constexpr float kDensityMax = 6.0f;
constexpr float kHzPerKhz = 1000.0f;

constexpr UINT kMsgSyncValues = 0x8000 + 2; // values changed from outside

TableParameterSet* tableSet(ParameterSet* set) {
    return static_cast<TableParameterSet*>(set);
}

bool on(float v) {
    return v >= kSwitchOnThreshold;
}

void place(controls::WObject* control, const Place& p, bool compact) {
    if (control == nullptr) return;
    const int x = compact ? p.compactX : p.fullX, y = compact ? p.compactY : p.fullY;
    if (x < 0) {
        control->hide();
        return;
    }
    RECT r{};
    GetWindowRect(control->hwnd(), &r);
    MoveWindow(control->hwnd(), x, y, r.right - r.left, r.bottom - r.top, TRUE);
    control->show();
}

} // namespace

MeterReading meterReading(float peak) {
    if (!(peak >= 0.0f)) return MeterReading{0.0f, false};
    return MeterReading{std::min(peak, 1.0f), peak > 1.0f};
}

float meterLevel(float shown, float reading) {
    if (reading >= shown) return reading;
    return kMeterKeep * shown + (1.0f - kMeterKeep) * reading;
}

float steppedFrequency(float hz, int direction) {
    const float base = std::isfinite(hz) ? std::round(hz / kFrequencyStepHz) * kFrequencyStepHz
                                         : kDefaultSettings.cornerHz;
    return std::clamp(base + float(direction) * kFrequencyStepHz, kFrequencyMinHz,
                      kFrequencyMaxHz);
}

float steppedDensity(float density, int direction) {
    const float base = std::isfinite(density) ? std::round(density) : kDefaultSettings.density;
    return std::clamp(base + float(direction), 0.0f, kDensityMax);
}

std::string stepperText(float shownValue, bool afterPress) {
    char text[16];
    std::snprintf(text, sizeof text, afterPress ? "%3d" : "%2d", int(std::lround(shownValue)));
    return text;
}

BrisquetEditor::BrisquetEditor(ParameterSet* parameters) : EditorHost(parameters) {}

controls::Button* BrisquetEditor::switchOf(int id) const {
    switch (id) {
    case kKickSwitch:
        return kick_.get();
    case kSoloSwitch:
        return solo_.get();
    case kMonoSwitch:
        return mono_.get();
    case kLayoutButton:
        return layout_.get();
    case kClipLamp:
        return clip_.get();
    case kFrequencyDown:
        return frequencyDown_.get();
    case kFrequencyUp:
        return frequencyUp_.get();
    case kDensityDown:
        return densityDown_.get();
    case kDensityUp:
        return densityUp_.get();
    default:
        return nullptr;
    }
}

SIZE BrisquetEditor::clientSize() const {
    return SIZE{compact_ ? kCompactWidthPixels : kFullWidthPixels, kHeightPixels};
}

void BrisquetEditor::openContent(HWND client, SIZE* size) {
    bitmaps_.load(instance(), kBitmapIds, int(std::size(kBitmapIds)));
    const HINSTANCE module = instance();
    const HPALETTE pal = bitmaps_.palette();
    auto bitmap = [&](int n) { return bitmaps_.bitmap(n); };
    for (int n = 0; n < kSliderCount; ++n) {
        const SliderRow& row = kSliderRows[n];
        sliders_[size_t(n)] = std::make_unique<controls::Slider>(
            client, row.fullX, kSliderTop, row.id, bitmap(kSliderTrackBitmap),
            bitmap(kSliderThumbBitmap), row.steps, module, pal);
        sliders_[size_t(n)]->setRange(row.minimum, row.maximum);
        const int left = row.fullX + kTrackWidth / 2 - kReadoutWidth / 2;
        readouts_[size_t(n)] = std::make_unique<controls::TextField>(
            client, left, kReadoutTop, left + kReadoutWidth, kReadoutTop + kReadoutHeight, 0,
            kFieldBackground, kFieldText, kFieldFontHeight, module, pal);
    }
    auto button = [&](const Place& p, int behaviour, int id, int onBitmap, int offBitmap,
                      int pressedBitmap) {
        return std::make_unique<controls::Button>(client, p.fullX, p.fullY, behaviour, id,
                                                  bitmap(onBitmap), bitmap(offBitmap),
                                                  bitmap(pressedBitmap), module, pal);
    };
    frequencyDown_ = button(kFrequencyDownPlace, controls::kMomentary, kFrequencyDown,
                            kDownPressedBitmap, kDownOffBitmap, kDownPressedBitmap);
    frequencyUp_ = button(kFrequencyUpPlace, controls::kMomentary, kFrequencyUp, kUpPressedBitmap,
                          kUpOffBitmap, kUpPressedBitmap);
    densityDown_ = button(kDensityDownPlace, controls::kMomentary, kDensityDown,
                          kDownPressedBitmap, kDownOffBitmap, kDownPressedBitmap);
    densityUp_ = button(kDensityUpPlace, controls::kMomentary, kDensityUp, kUpPressedBitmap,
                        kUpOffBitmap, kUpPressedBitmap);
    kick_ = button(kKickPlace, controls::kPlainSwitch, kKickSwitch, kSwitchOnBitmap,
                   kSwitchOffBitmap, kSwitchPressedBitmap);
    solo_ = button(kSoloPlace, controls::kPlainSwitch, kSoloSwitch, kSwitchOnBitmap,
                   kSwitchOffBitmap, kSwitchPressedBitmap);
    mono_ = button(kMonoPlace, controls::kPlainSwitch, kMonoSwitch, kSwitchOnBitmap,
                   kSwitchOffBitmap, kSwitchPressedBitmap);
    layout_ = button(kLayoutPlace, controls::kMomentary, kLayoutButton, kSwitchOnBitmap,
                     kSwitchOffBitmap, kSwitchPressedBitmap);
    clip_ = button(kClipPlace, controls::kPlainSwitch, kClipLamp, kClipOnBitmap, kClipOffBitmap,
                   kClipOffBitmap);
    clip_->disable(); // a lamp: a click on it says 1032, which puts it out
    frequencyField_ = std::make_unique<controls::TextField>(
        client, kFrequencyFieldPlace.fullX, kFrequencyFieldPlace.fullY,
        kFrequencyFieldPlace.fullX + kStepperFieldWidth, kFrequencyFieldPlace.fullY + kReadoutHeight,
        0, kFieldBackground, kFieldText, kFieldFontHeight, module, pal);
    densityField_ = std::make_unique<controls::TextField>(
        client, kDensityFieldPlace.fullX, kDensityFieldPlace.fullY,
        kDensityFieldPlace.fullX + kStepperFieldWidth, kDensityFieldPlace.fullY + kReadoutHeight, 0,
        kFieldBackground, kFieldText, kFieldFontHeight, module, pal);
    float db[kMeterSegments], fractions[kMeterSegments];
    for (int i = 0; i < kMeterSegments; ++i) {
        db[i] = kMeterTopDb - kMeterStepDb * float(kMeterSegments - 1 - i);
        fractions[i] = float(i + 1) / float(kMeterSegments);
    }
    for (int c = 0; c < 2; ++c) {
        meters_[size_t(c)] = std::make_unique<controls::BarMeter>(
            client, kMeterPlaces[c].fullX, kMeterPlaces[c].fullY, kNoMarker,
            bitmap(kMeterEmptyBitmap), bitmap(kMeterFullBitmap), module, pal);
        meters_[size_t(c)]->setDbBreakpoints(db, fractions, kMeterSegments);
    }
    // The plug-in's values, all of them; what the pull marked is the editor's own view now.
    pullValues(kModeAll);
    if (parameters() != nullptr) {
        ScopedLock lock(*this->lock());
        for (int32_t i = 0; i < parameters()->count(); ++i)
            parameters()->getFloat(i);
    }
    syncControls(true);
    applyLayout();
    *size = clientSize();
    if (SetTimer(client, kMeterTimer, kMeterPeriodMs, nullptr) == 0) {
        MessageBoxA(client, "Too many timers!", kBrisquetName, MB_OK | MB_ICONERROR);
        timerRunning_ = false;
    } else {
        timerRunning_ = true;
    }
}

void BrisquetEditor::closeContent() {
    if (timerRunning_) KillTimer(clientWindow(), kMeterTimer);
    timerRunning_ = false;
    for (auto& s : sliders_)
        s.reset();
    for (auto& r : readouts_)
        r.reset();
    for (auto* b : {&frequencyDown_, &frequencyUp_, &densityDown_, &densityUp_, &kick_, &solo_,
                    &mono_, &layout_, &clip_})
        b->reset();
    frequencyField_.reset();
    densityField_.reset();
    for (auto& m : meters_)
        m.reset();
    bitmaps_.destroy();
}

float BrisquetEditor::value(int32_t index) const {
    if (parameters() == nullptr) return kEnhancerParameters[size_t(index)].defaultValue;
    ScopedLock lock(*const_cast<BrisquetEditor*>(this)->lock());
    return tableSet(parameters())->value(index);
}

void BrisquetEditor::send(int32_t index, float v) {
    if (parameters() == nullptr) return;
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(index, clampParameter(index, v));
    }
    pushChanges();
}

void BrisquetEditor::syncControls(bool fromEngine) {
    if (kick_ == nullptr) return;
    for (int n = 0; n < kSliderCount; ++n) {
        const float v = value(kSliderRows[n].index);
        sliders_[size_t(n)]->setValue(v);
        readouts_[size_t(n)]->number(kSliderFormat, v);
    }
    frequencyField_->text(stepperText(value(kFrequencyIndex) / kHzPerKhz, !fromEngine).c_str());
    densityField_->text(stepperText(value(kDensityIndex), !fromEngine).c_str());
    kick_->setState(on(value(kKickIndex)) ? 1 : 0);
    // Solo is lit when the dry signal is off.
    solo_->setState(on(value(kSoloIndex)) ? 0 : 1);
    mono_->setState(on(value(kMonoIndex)) ? 1 : 0);
}

void BrisquetEditor::step(int32_t index, int direction) {
    const float now = value(index);
    const float next =
        index == kFrequencyIndex ? steppedFrequency(now, direction) : steppedDensity(now, direction);
    send(index, next);
    if (index == kFrequencyIndex)
        frequencyField_->text(stepperText(next / kHzPerKhz, true).c_str());
    else
        densityField_->text(stepperText(next, true).c_str());
}

void BrisquetEditor::applyLayout() {
    for (int n = 0; n < kSliderCount; ++n) {
        const SliderRow& row = kSliderRows[n];
        const int x = compact_ ? row.compactX : row.fullX;
        const int left = x + kTrackWidth / 2 - kReadoutWidth / 2;
        place(sliders_[size_t(n)].get(), Place{row.fullX, kSliderTop, row.compactX, kSliderTop},
              compact_);
        place(readouts_[size_t(n)].get(),
              Place{row.fullX + kTrackWidth / 2 - kReadoutWidth / 2, kReadoutTop,
                    row.compactX < 0 ? -1 : left, kReadoutTop},
              compact_);
    }
    place(frequencyDown_.get(), kFrequencyDownPlace, compact_);
    place(frequencyUp_.get(), kFrequencyUpPlace, compact_);
    place(frequencyField_.get(), kFrequencyFieldPlace, compact_);
    place(densityDown_.get(), kDensityDownPlace, compact_);
    place(densityUp_.get(), kDensityUpPlace, compact_);
    place(densityField_.get(), kDensityFieldPlace, compact_);
    place(kick_.get(), kKickPlace, compact_);
    place(solo_.get(), kSoloPlace, compact_);
    place(mono_.get(), kMonoPlace, compact_);
    place(layout_.get(), kLayoutPlace, compact_);
    place(clip_.get(), kClipPlace, compact_);
    for (int c = 0; c < 2; ++c)
        place(meters_[size_t(c)].get(), kMeterPlaces[c], compact_);
}

void BrisquetEditor::setClip(bool lit) {
    if (lit == clipLit_) return;
    clipLit_ = lit;
    if (clip_ != nullptr) clip_->setState(lit ? 1 : 0);
}

void BrisquetEditor::showPeaks(const float* peaks, int channels) {
    bool clipped = false;
    for (int c = 0; c < 2; ++c) {
        // One channel shows on both meters.
        const MeterReading r = meterReading(peaks[channels >= 2 ? c : 0]);
        clipped = clipped || r.clipped;
        shown_[size_t(c)] = meterLevel(shown_[size_t(c)], r.level);
        if (meters_[size_t(c)] != nullptr) meters_[size_t(c)]->setValue(shown_[size_t(c)]);
    }
    // The indicator stays lit until it is clicked.
    if (clipped) setClip(true);
}

void BrisquetEditor::tick() {
    PluginRecord* record = pluginRecord();
    if (record == nullptr) return;
    float peaks[8] = {};
    const int32_t channels = record->dispatcher(record, kCmdReadOutputPeaks, peaks, 0);
    if (channels <= 0) return;
    showPeaks(peaks, std::min(channels, 2));
}

void BrisquetEditor::timer(UINT_PTR id) {
    if (id == kMeterTimer) tick();
}

void BrisquetEditor::loadValues() {
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgSyncValues, 0, 0);
}

bool BrisquetEditor::paint(HWND window, HDC dc) {
    if (window != clientWindow()) return false;
    const int background = compact_ ? kCompactBackgroundBitmap : kBackgroundBitmap;
    if (bitmaps_.bitmap(background) == nullptr) return false;
    bitmaps_.draw(dc, 0, 0, background);
    return true;
}

std::string BrisquetEditor::aboutText(HINSTANCE module) {
    const std::string version = moduleProductVersion(module);
    char text[128];
    std::snprintf(text, sizeof text, "Version %s ", version.c_str());
    return text;
}

bool BrisquetEditor::message(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT* result) {
    if (window != clientWindow()) return false;
    *result = 0;
    if (message == kMsgSyncValues) {
        // The host loaded values into the editor's set: the plug-in's now.
        syncControls(true);
        return true;
    }
    if (message == WM_LBUTTONDOWN) {
        const POINT at{short(LOWORD(lParam)), short(HIWORD(lParam))};
        if (at.x >= kAboutArea.left && at.x < kAboutArea.right && at.y >= kAboutArea.top &&
            at.y < kAboutArea.bottom)
            MessageBoxA(clientWindow(), aboutText(instance()).c_str(), kBrisquetName,
                        MB_OK | MB_ICONINFORMATION);
        return true;
    }
    if (message == WM_KEYDOWN) return false;
    if (message != WM_COMMAND || kick_ == nullptr) return false;
    const int id = int(LOWORD(wParam));
    if (id == controls::kDisabledClickCommand) {
        if (int(lParam) == kClipLamp) setClip(false);
        return true;
    }
    for (int n = 0; n < kSliderCount; ++n) {
        if (id != kSliderRows[n].id) continue;
        if (const auto* v = reinterpret_cast<const controls::SliderValue*>(lParam)) {
            send(kSliderRows[n].index, v->value);
            readouts_[size_t(n)]->number(kSliderFormat, v->value);
        }
        return true;
    }
    switch (id) {
    case kFrequencyDown:
    case kFrequencyUp:
    case kDensityDown:
    case kDensityUp:
        // Momentary: the release inside is the press that counts.
        step(id == kFrequencyDown || id == kFrequencyUp ? kFrequencyIndex : kDensityIndex,
             id == kFrequencyUp || id == kDensityUp ? 1 : -1);
        return true;
    case kKickSwitch:
        send(kKickIndex, lParam != 0 ? 1.0f : 0.0f);
        return true;
    case kSoloSwitch:
        send(kSoloIndex, lParam != 0 ? 0.0f : 1.0f); // lit: the dry signal off
        return true;
    case kMonoSwitch:
        send(kMonoIndex, lParam != 0 ? 1.0f : 0.0f); // the plug-in rebuilds its engine
        return true;
    case kLayoutButton:
        compact_ = !compact_;
        applyLayout();
        resizeContent(clientSize());
        InvalidateRect(clientWindow(), nullptr, TRUE);
        return true;
    default:
        return false;
    }
}

} // namespace orq::enhancer

namespace orq {

EditorHost* createBrisquetEditor(ParameterSet* parameters) {
    return makeEditor<enhancer::BrisquetEditor>(parameters);
}

} // namespace orq
