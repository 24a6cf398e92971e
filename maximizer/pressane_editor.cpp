#include "maximizer/pressane_editor.h"

#include "controls/control_messages.h"
#include "maximizer/pressane_meter_scales.h"
#include "maximizer/pressane_parameters.h"
#include "runtime/module_version.h"
#include "runtime/plugin_glue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <vector>

namespace orq::maximizer {
namespace {

// Resource numbers of the editor's bitmaps (113 is not one of them).
enum Bitmap : int {
    kBackgroundBitmap = 101,
    kAboutBitmap = 102,
    kSliderTrackBitmap = 103,
    kSliderThumbBitmap = 104,
    kOutputFullBitmap = 105,
    kOutputEmptyBitmap = 106,
    kHeadroomFullBitmap = 107,
    kHeadroomEmptyBitmap = 108,
    kGainReachedFullBitmap = 109,
    kGainReachedEmptyBitmap = 110,
    kBoostOnBitmap = 111,
    kBoostOffBitmap = 112,
    kMemoryAOnBitmap = 114,
    kMemoryAOffBitmap = 115,
    kMemoryBOnBitmap = 116,
    kMemoryBOffBitmap = 117,
    kStoreOnBitmap = 118,
    kStoreOffBitmap = 119,
    kRockerLeftBitmap = 120,
    kRockerIdleBitmap = 121,
    kRockerRightBitmap = 122,
    kInputFullBitmap = 124,
    kInputEmptyBitmap = 125,
    kLampOnBitmap = 126,
    kLampOffBitmap = 127,
    kAboutTextBitmap = 128,
};
constexpr int kBitmapIds[] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 114, 115,
                              116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128};

// Places of the controls in the window (top-left corners).
constexpr POINT kDesiredGainSliderAt{99, 64};
constexpr POINT kDensitySliderAt{280, 64};
constexpr POINT kRockerAt{198, 107};
constexpr POINT kBoostAt{202, 55};
constexpr POINT kMemoryAAt{195, 169};
constexpr POINT kMemoryBAt{225, 169};
constexpr POINT kStoreAt{202, 189};
constexpr POINT kHeadroomMeterAt{157, 64};
constexpr POINT kGainReachedMeterAt{339, 64};
// Input 0, input 1, output 0, output 1.
constexpr POINT kBarsAt[4] = {{54, 60}, {62, 60}, {382, 59}, {390, 59}};
constexpr POINT kLampsAt[4] = {{54, 50}, {62, 50}, {382, 50}, {390, 50}};
constexpr RECT kDesiredGainFieldRect{97, 42, 118, 52};
constexpr RECT kDensityFieldRect{278, 42, 299, 52};
constexpr RECT kHeadroomFieldRect{210, 133, 231, 142};
constexpr RECT kInputFieldRect{55, 174, 69, 184};
constexpr RECT kOutputFieldRect{384, 174, 399, 184};

constexpr int kSliderSteps = 24;
constexpr float kDesiredGainMaxDb = 12.0f;
constexpr float kDensityMax = 1.0f;
constexpr int kFieldFontHeight = 12;
constexpr COLORREF kFieldBackground = RGB(0, 0, 0);
constexpr COLORREF kValueColour = RGB(255, 255, 255);
constexpr COLORREF kPeakColour = RGB(0, 255, 0);
constexpr const char* kGainFieldFormat = "%3.1f";
constexpr const char* kHeadroomFieldFormat = "%3d";

// The meters' scales: thresholds and the fractions they show.
constexpr float kHeadroomBreakpointsDb[] = {-3, -2, -1, 0, 1, 2, 3, 4, 5, 6};
constexpr float kGainReachedBreakpoints[] = {0.0f, 0.1f, 0.2f, 0.3f, 0.4f,
                                             0.5f, 0.6f, 0.7f, 0.8f, 0.9f};
constexpr float kTenthFractions[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};

// The level bars: the first two show the input, the last two the output.
constexpr int kBarCount = 4;
constexpr int kFirstOutputBar = 2;

// Posted to the client window: values changed from outside, processing started, stopped.
constexpr UINT kMsgSyncValues = 0x8000 + 2; // WM_APP + 2
constexpr UINT kMsgStartTimers = 0x8000 + 3;
constexpr UINT kMsgStopTimers = 0x8000 + 4;

constexpr const char* kTooMuchTimer = "Too much timer!";

TableParameterSet& tableSet(ParameterSet* set) {
    return *static_cast<TableParameterSet*>(set);
}

std::vector<float> levelFractions() {
    std::vector<float> fractions(kLevelSteps);
    for (int n = 0; n < kLevelSteps; ++n)
        fractions[size_t(n)] = float(n + 1) / float(kLevelSteps);
    return fractions;
}

} // namespace

int steppedHeadroom(int headroom, int rockerArgument) {
    if (rockerArgument == kRockerDown && headroom > kRockerHeadroomMin) return headroom - 1;
    if (rockerArgument == kRockerUp && headroom < kRockerHeadroomMax) return headroom + 1;
    return headroom;
}

float clampedPeak(float peak) {
    if (!(peak >= 0.0f)) return 0.0f;
    return std::min(peak, kPeakCeiling);
}

float heldPeak(float held, float reading) {
    if (reading >= held) return reading;
    return kPeakHoldKeep * held + (1.0f - kPeakHoldKeep) * reading;
}

std::string peakFieldText(float held, float threshold) {
    if (!(held >= threshold)) return kPeakFieldQuiet;
    char text[32];
    std::snprintf(text, sizeof text, kPeakFieldFormat, 20.0 * std::log10(double(held)));
    return text;
}

PressaneEditor::PressaneEditor(ParameterSet* parameters) : EditorHost(parameters) {}

PressaneSettings PressaneEditor::current() const {
    PressaneSettings s;
    if (parameters() == nullptr) return s;
    ScopedLock lock(*const_cast<PressaneEditor*>(this)->lock());
    const TableParameterSet& set = tableSet(parameters());
    s.desiredGainDb = set.value(kPressaneDesiredGain);
    s.density = set.value(kPressaneDensity);
    s.headroom = int(std::lround(set.value(kPressaneHeadroom)));
    s.boost = set.value(kPressaneBoost) != 0.0f ? 1 : 0;
    s.audition = set.value(kPressaneAudition) != 0.0f ? 1 : 0;
    return s;
}

// Content -------------------------------------------------------------------------------------

void PressaneEditor::openContent(HWND client, SIZE* clientSize) {
    *clientSize = SIZE{kWidthPixels, kHeightPixels};
    const HINSTANCE module = instance();
    bitmaps_.load(module, kBitmapIds, int(std::size(kBitmapIds)));
    const HPALETTE colours = bitmaps_.palette();
    auto bitmap = [&](int number) { return bitmaps_.bitmap(number); };

    desiredGain_ = std::make_unique<controls::Slider>(
        client, kDesiredGainSliderAt.x, kDesiredGainSliderAt.y, kDesiredGainCommand,
        bitmap(kSliderTrackBitmap), bitmap(kSliderThumbBitmap), kSliderSteps, module, colours);
    desiredGain_->setRange(0.0f, kDesiredGainMaxDb);
    density_ = std::make_unique<controls::Slider>(
        client, kDensitySliderAt.x, kDensitySliderAt.y, kDensityCommand,
        bitmap(kSliderTrackBitmap), bitmap(kSliderThumbBitmap), kSliderSteps, module, colours);
    density_->setRange(0.0f, kDensityMax);
    headroom_ = std::make_unique<controls::Rocker>(
        client, kRockerAt.x, kRockerAt.y, kHeadroomCommand, bitmap(kRockerLeftBitmap),
        bitmap(kRockerIdleBitmap), bitmap(kRockerRightBitmap), module, colours);
    boost_ = std::make_unique<controls::Button>(
        client, kBoostAt.x, kBoostAt.y, controls::kPlainSwitch, kBoostCommand,
        bitmap(kBoostOnBitmap), bitmap(kBoostOffBitmap), bitmap(kBoostOnBitmap), module, colours);
    memoryA_ = std::make_unique<controls::Button>(
        client, kMemoryAAt.x, kMemoryAAt.y, controls::kMomentary, kMemoryACommand,
        bitmap(kMemoryAOnBitmap), bitmap(kMemoryAOffBitmap), bitmap(kMemoryAOnBitmap), module,
        colours);
    memoryB_ = std::make_unique<controls::Button>(
        client, kMemoryBAt.x, kMemoryBAt.y, controls::kMomentary, kMemoryBCommand,
        bitmap(kMemoryBOnBitmap), bitmap(kMemoryBOffBitmap), bitmap(kMemoryBOnBitmap), module,
        colours);
    store_ = std::make_unique<controls::Button>(
        client, kStoreAt.x, kStoreAt.y, controls::kPlainSwitch, kStoreCommand,
        bitmap(kStoreOnBitmap), bitmap(kStoreOffBitmap), nullptr, module, colours);

    headroomMeter_ = std::make_unique<controls::BarMeter>(
        client, kHeadroomMeterAt.x, kHeadroomMeterAt.y, 0, bitmap(kHeadroomEmptyBitmap),
        bitmap(kHeadroomFullBitmap), module, colours);
    headroomMeter_->setBreakpoints(kHeadroomBreakpointsDb, kTenthFractions,
                                   int(std::size(kTenthFractions)));
    gainReachedMeter_ = std::make_unique<controls::BarMeter>(
        client, kGainReachedMeterAt.x, kGainReachedMeterAt.y, 0, bitmap(kGainReachedEmptyBitmap),
        bitmap(kGainReachedFullBitmap), module, colours);
    gainReachedMeter_->setBreakpoints(kGainReachedBreakpoints, kTenthFractions,
                                      int(std::size(kTenthFractions)));
    const std::vector<float> fractions = levelFractions();
    for (int b = 0; b < kBarCount; ++b) {
        const bool output = b >= kFirstOutputBar;
        bars_[size_t(b)] = std::make_unique<controls::BarMeter>(
            client, kBarsAt[b].x, kBarsAt[b].y, 0,
            bitmap(output ? kOutputEmptyBitmap : kInputEmptyBitmap),
            bitmap(output ? kOutputFullBitmap : kInputFullBitmap), module, colours);
        bars_[size_t(b)]->setDbBreakpoints(output ? kOutputBreakpointsDb : kInputBreakpointsDb,
                                           fractions.data(), kLevelSteps);
        // A lamp is a disabled button: clicks only tell the parent.
        lamps_[size_t(b)] = std::make_unique<controls::Button>(
            client, kLampsAt[b].x, kLampsAt[b].y, controls::kPlainSwitch, 0,
            bitmap(kLampOnBitmap), bitmap(kLampOffBitmap), nullptr, module, colours);
        lamps_[size_t(b)]->disable();
    }

    auto field = [&](const RECT& r, COLORREF text) {
        return std::make_unique<controls::TextField>(client, r.left, r.top, r.right, r.bottom, 0,
                                                     kFieldBackground, text, kFieldFontHeight,
                                                     module, colours);
    };
    desiredGainField_ = field(kDesiredGainFieldRect, kValueColour);
    densityField_ = field(kDensityFieldRect, kValueColour);
    headroomField_ = field(kHeadroomFieldRect, kValueColour);
    inputField_ = field(kInputFieldRect, kPeakColour);
    outputField_ = field(kOutputFieldRect, kPeakColour);

    showSettings();
    rest();
    float headroomDb = kHeadroomMeterRestDb, gainReached = kGainReachedMeterRest;
    if (parameters() != nullptr) {
        ScopedLock hold(*lock());
        headroomDb = tableSet(parameters()).value(kPressaneHeadroomMeter);
        gainReached = tableSet(parameters()).value(kPressaneGainReachedMeter);
    }
    headroomMeter_->setValue(headroomDb);
    gainReachedMeter_->setValue(gainReached);
    if (running()) startTimers();
}

void PressaneEditor::closeContent() {
    stopTimers();
    desiredGain_.reset();
    density_.reset();
    headroom_.reset();
    boost_.reset();
    memoryA_.reset();
    memoryB_.reset();
    store_.reset();
    headroomMeter_.reset();
    gainReachedMeter_.reset();
    for (auto& bar : bars_)
        bar.reset();
    for (auto& lamp : lamps_)
        lamp.reset();
    desiredGainField_.reset();
    densityField_.reset();
    headroomField_.reset();
    inputField_.reset();
    outputField_.reset();
    bitmaps_.destroy();
}

bool PressaneEditor::paint(HWND window, HDC dc) {
    if (window != clientWindow() || bitmaps_.bitmap(kBackgroundBitmap) == nullptr) return false;
    bitmaps_.draw(dc, 0, 0, kBackgroundBitmap);
    return true;
}

// Values ----------------------------------------------------------------------------------------

void PressaneEditor::loadValues() {
    // Under the editor's lock on the host's thread: the controls follow on the editor's.
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgSyncValues, 0, 0);
}

void PressaneEditor::showSettings() {
    if (desiredGain_ == nullptr) return;
    const PressaneSettings s = current();
    desiredGain_->setValue(s.desiredGainDb);
    desiredGainField_->number(kGainFieldFormat, s.desiredGainDb);
    density_->setValue(s.density);
    densityField_->number(kGainFieldFormat, s.density);
    headroomField_->integer(kHeadroomFieldFormat, s.headroom);
    boost_->setState(s.boost != 0 ? controls::Button::kOn : controls::Button::kOff);
}

void PressaneEditor::writeSettings(const PressaneSettings& s) {
    if (parameters() == nullptr) return;
    ScopedLock hold(*lock());
    ParameterSet& set = *parameters();
    set.setFloat(kPressaneDesiredGain, s.desiredGainDb);
    set.setFloat(kPressaneDensity, s.density);
    set.setFloat(kPressaneHeadroom, float(s.headroom));
    set.setFloat(kPressaneBoost, float(s.boost));
    set.setFloat(kPressaneAudition, float(s.audition));
}

void PressaneEditor::command(int id, LPARAM argument) {
    if (parameters() == nullptr) return;
    switch (id) {
    case kDesiredGainCommand:
    case kDensityCommand: {
        const auto* slider = reinterpret_cast<const controls::SliderValue*>(argument);
        if (slider == nullptr) return;
        const bool gain = id == kDesiredGainCommand;
        {
            ScopedLock hold(*lock());
            parameters()->setFloat(gain ? kPressaneDesiredGain : kPressaneDensity, slider->value);
        }
        (gain ? desiredGainField_ : densityField_)->number(kGainFieldFormat, slider->value);
        break;
    }
    case kHeadroomCommand: {
        // At either end the value stays, and the set is still sent.
        const int headroom = steppedHeadroom(current().headroom, int(argument));
        {
            ScopedLock hold(*lock());
            parameters()->setFloat(kPressaneHeadroom, float(headroom));
        }
        headroomField_->integer(kHeadroomFieldFormat, headroom);
        break;
    }
    case kBoostCommand:
    case kAuditionCommand: {
        ScopedLock hold(*lock());
        parameters()->setFloat(id == kBoostCommand ? kPressaneBoost : kPressaneAudition,
                               argument != 0 ? 1.0f : 0.0f);
        break;
    }
    case kAboutCommand:
        openAboutBox();
        break;
    case kMemoryACommand:
    case kMemoryBCommand: {
        PressaneSettings& slot = memory_[size_t(id - kMemoryACommand)];
        if (storeArmed_) {
            slot = current();
            storeArmed_ = false;
            store_->setState(controls::Button::kOff);
        } else {
            writeSettings(slot);
            showSettings();
        }
        break;
    }
    case kStoreCommand:
        storeArmed_ = argument != 0;
        break;
    default:
        return; // clicks on lamps, right clicks: nothing to send
    }
    pushChanges();
}

// Timers ----------------------------------------------------------------------------------------

void PressaneEditor::started() {
    // Told on the host's (or streaming) thread: the timers belong to the editor's.
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgStartTimers, 0, 0);
}

void PressaneEditor::stopped() {
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgStopTimers, 0, 0);
}

void PressaneEditor::startTimers() {
    if (timersRunning_ || clientWindow() == nullptr) return;
    timersRunning_ = true;
    for (const auto& [id, period] : {std::pair{kGainMeterTimer, kGainMeterPeriodMs},
                                     std::pair{kLevelTimer, kLevelPeriodMs}}) {
        // Without one timer the editor goes on with the other.
        if (SetTimer(clientWindow(), id, period, nullptr) == 0)
            MessageBoxA(clientWindow(), kTooMuchTimer, pressaneParameterTable().name,
                        MB_OK | MB_ICONWARNING);
    }
}

void PressaneEditor::stopTimers() {
    if (!timersRunning_) return;
    timersRunning_ = false;
    if (clientWindow() == nullptr) return;
    KillTimer(clientWindow(), kGainMeterTimer);
    KillTimer(clientWindow(), kLevelTimer);
}

void PressaneEditor::rest() {
    held_.fill(0.0f);
    shownFraction_.fill(0.0f);
    shownLit_.fill(false);
    shownInput_ = kPeakFieldIdle;
    shownOutput_ = kPeakFieldIdle;
    if (inputField_ == nullptr) return;
    for (int b = 0; b < kBarCount; ++b) {
        bars_[size_t(b)]->setValue(0.0f);
        lamps_[size_t(b)]->setState(controls::Button::kOff);
    }
    inputField_->text(kPeakFieldIdle);
    outputField_->text(kPeakFieldIdle);
    headroomMeter_->setValue(kHeadroomMeterRestDb);
    gainReachedMeter_->setValue(kGainReachedMeterRest);
}

void PressaneEditor::timer(UINT_PTR id) {
    if (id == kGainMeterTimer) gainMeterTick();
    if (id == kLevelTimer) levelTick();
}

void PressaneEditor::gainMeterTick() {
    if (parameters() == nullptr) return;
    pullValues(kModeUnnamed); // a meter request: the plug-in writes values 4 and 5
    float headroomDb = 0.0f, gainReached = 0.0f;
    {
        ScopedLock hold(*lock());
        headroomDb = tableSet(parameters()).value(kPressaneHeadroomMeter);
        gainReached = tableSet(parameters()).value(kPressaneGainReachedMeter);
    }
    showGainMeters(headroomDb, gainReached);
}

void PressaneEditor::showGainMeters(float headroomDb, float gainReached) {
    if (headroomMeter_ == nullptr) return;
    headroomMeter_->setValue(headroomDb + kGainMeterBias);
    gainReachedMeter_->setValue(gainReached + kGainMeterBias);
}

void PressaneEditor::levelTick() {
    // The maximizer refuses more than two channels, so the frame meters at most two.
    std::array<float, 2> input{}, output{};
    if (PluginRecord* record = pluginRecord()) {
        record->dispatcher(record, kCmdReadInputPeaks, input.data(), 0);
        record->dispatcher(record, kCmdReadOutputPeaks, output.data(), 0);
    }
    showLevels(input, output);
}

void PressaneEditor::showLevels(const std::array<float, 2>& input,
                                const std::array<float, 2>& output) {
    if (inputField_ == nullptr) return;
    // With one channel both bars, both lamps and each field of a side show channel 0.
    const int second = channels() == 1 ? 0 : 1;
    const float readings[kBarCount] = {input[0], input[size_t(second)], output[0],
                                       output[size_t(second)]};
    for (int b = 0; b < kBarCount; ++b) {
        float& held = held_[size_t(b)];
        held = heldPeak(held, clampedPeak(readings[b]));
        controls::BarMeter& bar = *bars_[size_t(b)];
        const float fraction = bar.fractionOf(held);
        if (fraction != shownFraction_[size_t(b)]) {
            bar.setValue(held);
            shownFraction_[size_t(b)] = fraction;
        }
        const bool lit = held > kClipLampThreshold;
        if (lit != shownLit_[size_t(b)]) {
            lamps_[size_t(b)]->setState(lit ? controls::Button::kOn : controls::Button::kOff);
            shownLit_[size_t(b)] = lit;
        }
    }
    const std::string inputText =
        peakFieldText(std::max(held_[0], held_[1]), kInputFieldThreshold);
    if (inputText != shownInput_) {
        inputField_->text(inputText.c_str());
        shownInput_ = inputText;
    }
    const std::string outputText = peakFieldText(
        std::max(held_[size_t(kFirstOutputBar)], held_[size_t(kFirstOutputBar + 1)]),
        kOutputFieldThreshold);
    if (outputText != shownOutput_) {
        outputField_->text(outputText.c_str());
        shownOutput_ = outputText;
    }
}

// Messages --------------------------------------------------------------------------------------

bool PressaneEditor::message(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT* result) {
    if (window != clientWindow()) return false;
    switch (message) {
    case kMsgSyncValues: {
        showSettings();
        float headroomDb = 0.0f, gainReached = 0.0f;
        {
            ScopedLock hold(*lock());
            headroomDb = tableSet(parameters()).value(kPressaneHeadroomMeter);
            gainReached = tableSet(parameters()).value(kPressaneGainReachedMeter);
        }
        if (headroomMeter_ != nullptr) {
            headroomMeter_->setValue(headroomDb);
            gainReachedMeter_->setValue(gainReached);
        }
        break;
    }
    case kMsgStartTimers:
        startTimers();
        break;
    case kMsgStopTimers:
        stopTimers();
        rest();
        break;
    case WM_COMMAND:
        command(LOWORD(wParam), lParam);
        break;
    case WM_LBUTTONDOWN: {
        const int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
        if (x < kAboutArea.left || x >= kAboutArea.right || y < kAboutArea.top ||
            y >= kAboutArea.bottom)
            return false;
        command(kAboutCommand, 0);
        break;
    }
    default:
        return false;
    }
    *result = 0;
    return true;
}

// The about box ---------------------------------------------------------------------------------

std::string PressaneEditor::aboutText(HINSTANCE module) {
    const std::string version = moduleProductVersion(module);
    char text[256];
    std::snprintf(text, sizeof text, "Version %s", version.c_str());
    return text;
}

void PressaneEditor::openAboutBox() {
    if (clientWindow() == nullptr) return;
    DialogBoxParamA(instance(), MAKEINTRESOURCEA(WORD(kAboutDialog)), clientWindow(),
                    &PressaneEditor::aboutProcedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK PressaneEditor::aboutProcedure(HWND dialog, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    auto* editor = reinterpret_cast<PressaneEditor*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (editor == nullptr) return FALSE;
    switch (message) {
    case WM_INITDIALOG: {
        // The client takes bitmap 102's size; the box sits in the middle of the screen.
        const SIZE size = editor->bitmaps_.size(kAboutBitmap);
        RECT outer{0, 0, size.cx, size.cy};
        AdjustWindowRectEx(&outer, DWORD(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                           DWORD(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
        const int width = outer.right - outer.left, height = outer.bottom - outer.top;
        SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER);
        editor->aboutField_ = std::make_unique<controls::TextField>(
            dialog, kAboutTextX, kAboutTextY, kAboutTextId, editor->bitmaps_.bitmap(kAboutTextBitmap),
            kAboutTextColour, kAboutFontHeight, editor->instance(), editor->bitmaps_.palette());
        editor->aboutField_->text(aboutText(editor->instance()).c_str());
        return FALSE; // no focus to set
    }
    case WM_ERASEBKGND:
        editor->bitmaps_.draw(reinterpret_cast<HDC>(wParam), 0, 0, kAboutBitmap);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(dialog, &ps);
        editor->bitmaps_.draw(dc, 0, 0, kAboutBitmap);
        EndPaint(dialog, &ps);
        return TRUE;
    }
    case WM_LBUTTONDOWN:
        EndDialog(dialog, IDOK);
        return TRUE;
    case WM_COMMAND:
        // The version text tells of a press on it; Escape and the close button cancel.
        if (LOWORD(wParam) == kAboutTextId || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDOK);
        return TRUE;
    case WM_DESTROY:
        editor->aboutField_.reset();
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace orq::maximizer

namespace orq {

EditorHost* createPressaneEditor(ParameterSet* parameters) {
    return makeEditor<maximizer::PressaneEditor>(parameters);
}

} // namespace orq
