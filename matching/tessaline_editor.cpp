#include "matching/tessaline_editor.h"

#include "controls/control_messages.h"
#include "controls/double_buffer.h"
#include "matching/spectrum_learner.h"
#include "matching/tessaline_parameters.h"
#include "runtime/module_version.h"
#include "runtime/plugin_glue.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace orq::matching {

namespace {

// Resource numbers of the editor's bitmaps.
constexpr int kBackgroundBitmap = 101;
constexpr int kSwitchOffBitmap = 110;
constexpr int kSwitchPressedBitmap = 111;
constexpr int kSwitchOnBitmap = 112;
constexpr int kButtonOffBitmap = 113;
constexpr int kButtonPressedBitmap = 114;
constexpr int kButtonOnBitmap = 115;
constexpr int kSliderTrackBitmap = 120;
constexpr int kSliderThumbBitmap = 121;
constexpr int kKnobBackgroundBitmap = 130;
constexpr int kKnobDotBitmap = 131;
constexpr int kKnobMaskBitmap = 132;
constexpr int kDrawModeFirstBitmap = 140; // on, off per mode: rubber band, niveau, bone
constexpr int kMarkOffBitmap = 150;
constexpr int kMarkOnBitmap = 151;
constexpr int kBitmapIds[] = {
    kBackgroundBitmap,     kSwitchOffBitmap,      kSwitchPressedBitmap,  kSwitchOnBitmap,
    kButtonOffBitmap,      kButtonPressedBitmap,  kButtonOnBitmap,       kSliderTrackBitmap,
    kSliderThumbBitmap,    kKnobBackgroundBitmap, kKnobDotBitmap,        kKnobMaskBitmap,
    kDrawModeFirstBitmap,  kDrawModeFirstBitmap + 1, kDrawModeFirstBitmap + 2,
    kDrawModeFirstBitmap + 3, kDrawModeFirstBitmap + 4, kDrawModeFirstBitmap + 5,
    kMarkOffBitmap,        kMarkOnBitmap,
};

// Layout (client pixels). The sliders stand in 30 columns under the display, each column under
// its band's centre on the display's axis.
constexpr int kColumnPixels = 17;
constexpr int kSliderTop = 214;
constexpr int kSliderInset = 1;
constexpr int kMarkTop = 317;
constexpr int kMarkInset = 2;
constexpr int kSliderSteps = 60; // 0.5 dB
constexpr int kButtonRow = 328;
constexpr int kLearnX = 25;
constexpr int kTargetX = 70;
constexpr int kMatchX = 115;
constexpr int kKnobX = 162;
constexpr int kKnobY = 323;
constexpr RECT kAmountFieldArea{194, 330, 240, 346};
constexpr int kBandModeX = 250;
constexpr int kFreezeX = 295;
constexpr int kResetX = 340;
constexpr int kToolsX = 400;
constexpr int kDrawModeX[] = {446, 474, 502};
constexpr int kKnobSteps = 200;        // 1 %
constexpr double kKnobStartDegrees = 30.0;
constexpr float kAmountDefault = 1.0f; // 100 %
constexpr float kAmountPercent = 100.0f;
constexpr int kFieldFontHeight = 12;
constexpr COLORREF kFieldBackground = RGB(0, 0, 0);
constexpr COLORREF kFieldText = RGB(255, 255, 255);
constexpr COLORREF kStatusBackground = RGB(0x14, 0x16, 0x1A);
constexpr COLORREF kStatusText = RGB(0xE8, 0xEA, 0xED);

// The display's colours.
constexpr COLORREF kWellColour = RGB(0x14, 0x16, 0x1A);
constexpr COLORREF kGridColour = RGB(0x3A, 0x3F, 0x47);
constexpr COLORREF kScaleColour = RGB(0x9A, 0xA0, 0xA6);
constexpr COLORREF kInputColour = RGB(0x6B, 0x72, 0x7C);
constexpr COLORREF kOutputColour = RGB(0x1E, 0x7F, 0x74);
constexpr COLORREF kCurveColour = RGB(0x2B, 0xB3, 0xA3);
constexpr COLORREF kGroupColour = RGB(0x4A, 0x50, 0x5A);
constexpr int kCurvePenPixels = 2;
constexpr int kScaleFontHeight = 10;
constexpr float kGridStepDb = 5.0f;

// Private messages to the client window.
constexpr UINT kMsgSyncValues = 0x8000 + 2; // values changed from outside
constexpr UINT kMsgHover = 0x8000 + 3;      // wParam: the control under the pointer
constexpr UINT kMsgHostValues = 0x8000 + 4; // the frame's bypass changed
constexpr UINT kMsgFormat = 0x8000 + 5;     // the stream's format changed

constexpr const char* kHelpFile = "..\\PlugIns\\Tessaline.hlp";
constexpr const char* kAboutFormat = "\nVersion: %.1f Orq";

bool on(float v) {
    return v >= 0.5f;
}

int width(const RECT& r) {
    return r.right - r.left;
}
int height(const RECT& r) {
    return r.bottom - r.top;
}
bool inside(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

TableParameterSet* tableSet(ParameterSet* set) {
    return static_cast<TableParameterSet*>(set);
}

// The controls report the pointer to the editor: each control's window is subclassed, and a
// mouse move over it is told to its parent (the client window) before the control sees it.
// Every control of the toolkit has the same window procedure, kept here once.
std::atomic<WNDPROC> controlProcedure{nullptr};

LRESULT CALLBACK hoverProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEMOVE)
        SendMessageA(GetParent(window), kMsgHover, WPARAM(GetDlgCtrlID(window)), 0);
    return CallWindowProcA(controlProcedure.load(), window, message, wParam, lParam);
}

void watchHover(HWND control) {
    if (control == nullptr) return;
    const auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&hoverProcedure)));
    if (previous != nullptr && previous != &hoverProcedure) controlProcedure.store(previous);
}

double productVersion(HINSTANCE module) {
    const std::string version = moduleProductVersion(module);
    return version.empty() ? 0.0 : std::atof(version.c_str());
}

} // namespace

TessalineEditor::TessalineEditor(ParameterSet* parameters) : EditorHost(parameters) {}

controls::Button* TessalineEditor::button(int id) const {
    switch (id) {
    case kLearnControl:
        return learn_.get();
    case kLearnTargetControl:
        return target_.get();
    case kMatchControl:
        return match_.get();
    case kBandModeControl:
        return bandMode_.get();
    case kFreezeControl:
        return freeze_.get();
    case kResetControl:
        return reset_.get();
    case kToolsControl:
        return tools_.get();
    default:
        return nullptr;
    }
}

// Content --------------------------------------------------------------------------------------

void TessalineEditor::openContent(HWND client, SIZE* clientSize) {
    bitmaps_.load(instance(), kBitmapIds, int(std::size(kBitmapIds)));
    *clientSize = SIZE{kWidthPixels, kHeightPixels};
    createControls(client);
    // The filter's values, all of them, then the controls follow.
    pullValues(kModeAll);
    readAll();
    syncControls();
    if (SetTimer(client, kDisplayTimer, kDisplayPeriodMs, nullptr) == 0) {
        MessageBoxA(client, "Too much Timer!", "Error", MB_OK | MB_ICONERROR);
        timerRunning_ = false;
    } else {
        timerRunning_ = true;
    }
    showLearnedStatus();
}

void TessalineEditor::createControls(HWND client) {
    const HINSTANCE module = instance();
    const HPALETTE pal = bitmaps_.palette();
    auto bitmap = [&](int n) { return bitmaps_.bitmap(n); };
    for (int k = 0; k < kEditorSliderCount; ++k) {
        const int column = kDisplayArea.left + k * kColumnPixels;
        sliders_[size_t(k)] = std::make_unique<controls::Slider>(
            client, column + kSliderInset, kSliderTop, kFirstSliderControl + k,
            bitmap(kSliderTrackBitmap), bitmap(kSliderThumbBitmap), kSliderSteps, module, pal);
        sliders_[size_t(k)]->setRange(kSliderMinDb, kSliderMaxDb);
        marks_[size_t(k)] = std::make_unique<controls::Button>(
            client, column + kMarkInset, kMarkTop, controls::kPlainSwitch, kFirstMarkControl + k,
            bitmap(kMarkOnBitmap), bitmap(kMarkOffBitmap), nullptr, module, pal);
        marks_[size_t(k)]->disable(); // a lamp: it shows the group, clicks only say 1032
        watchHover(sliders_[size_t(k)]->hwnd());
        watchHover(marks_[size_t(k)]->hwnd());
    }
    auto makeSwitch = [&](int x, int id, int behaviour, int onBitmap, int offBitmap,
                          int pressedBitmap) {
        auto b = std::make_unique<controls::Button>(client, x, kButtonRow, behaviour, id,
                                                    bitmap(onBitmap), bitmap(offBitmap),
                                                    bitmap(pressedBitmap), module, pal);
        watchHover(b->hwnd());
        return b;
    };
    learn_ = makeSwitch(kLearnX, kLearnControl, controls::kPlainSwitch, kSwitchOnBitmap,
                        kSwitchOffBitmap, kSwitchPressedBitmap);
    target_ = makeSwitch(kTargetX, kLearnTargetControl, controls::kPlainSwitch, kSwitchOnBitmap,
                         kSwitchOffBitmap, kSwitchPressedBitmap);
    match_ = makeSwitch(kMatchX, kMatchControl, controls::kPlainSwitch, kSwitchOnBitmap,
                        kSwitchOffBitmap, kSwitchPressedBitmap);
    bandMode_ = makeSwitch(kBandModeX, kBandModeControl, controls::kPlainSwitch, kSwitchOnBitmap,
                           kSwitchOffBitmap, kSwitchPressedBitmap);
    freeze_ = makeSwitch(kFreezeX, kFreezeControl, controls::kPlainSwitch, kSwitchOnBitmap,
                         kSwitchOffBitmap, kSwitchPressedBitmap);
    reset_ = makeSwitch(kResetX, kResetControl, controls::kMomentary, kButtonOnBitmap,
                        kButtonOffBitmap, kButtonPressedBitmap);
    tools_ = makeSwitch(kToolsX, kToolsControl, controls::kPlainSwitch, kSwitchOnBitmap,
                        kSwitchOffBitmap, kSwitchPressedBitmap);
    amount_ = std::make_unique<controls::Knob>(
        client, kKnobX, kKnobY, kMatchAmountControl, bitmap(kKnobBackgroundBitmap),
        bitmap(kKnobDotBitmap), bitmap(kKnobMaskBitmap), kKnobSteps, kKnobStartDegrees, module,
        pal);
    amount_->setRange(0.0f, kMorphMax);
    watchHover(amount_->hwnd());
    amountField_ = std::make_unique<controls::TextField>(
        client, kAmountFieldArea.left, kAmountFieldArea.top, kAmountFieldArea.right,
        kAmountFieldArea.bottom, 0, kFieldBackground, kFieldText, kFieldFontHeight, module, pal);
    amountField_->setRange(0.0f, kAmountPercent); // shown in percent
    int ys[3] = {kButtonRow, kButtonRow, kButtonRow};
    HBITMAP onBitmaps[3], offBitmaps[3];
    for (int m = 0; m < 3; ++m) {
        onBitmaps[m] = bitmap(kDrawModeFirstBitmap + 2 * m);
        offBitmaps[m] = bitmap(kDrawModeFirstBitmap + 2 * m + 1);
    }
    drawModes_ = std::make_unique<controls::Selector>(client, kDrawModeControl, 3, kDrawModeX, ys,
                                                      onBitmaps, offBitmaps, false, module, pal);
    watchHover(drawModes_->hwnd());
    statusField_ = std::make_unique<controls::TextField>(
        client, kStatusArea.left, kStatusArea.top, kStatusArea.right, kStatusArea.bottom, 0,
        kStatusBackground, kStatusText, kFieldFontHeight, module, pal);
}

void TessalineEditor::closeContent() {
    if (timerRunning_) KillTimer(clientWindow(), kDisplayTimer);
    timerRunning_ = false;
    for (auto& s : sliders_)
        s.reset();
    for (auto& m : marks_)
        m.reset();
    learn_.reset();
    target_.reset();
    match_.reset();
    bandMode_.reset();
    freeze_.reset();
    reset_.reset();
    tools_.reset();
    amount_.reset();
    drawModes_.reset();
    statusField_.reset();
    amountField_.reset();
    bitmaps_.destroy();
}

// Values ---------------------------------------------------------------------------------------

float TessalineEditor::read(int32_t index) {
    ScopedLock lock(*this->lock());
    // Reading through the set clears the changed flag a pull left, so the value is not sent
    // back with the next change.
    return parameters()->getFloat(index);
}

void TessalineEditor::send(int32_t index, float value) {
    if (parameters() == nullptr) return;
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(index, value);
    }
    pushChanges();
}

int32_t TessalineEditor::activeSliderIndex() const {
    return state_.match ? kParamMatchSliders : kParamSliders;
}

void TessalineEditor::sendGains() {
    if (parameters() == nullptr) return;
    {
        ScopedLock lock(*this->lock());
        parameters()->setArray(activeSliderIndex(), gains_.data(), kEditorSliderCount);
    }
    pushChanges();
}

void TessalineEditor::readAll() {
    if (parameters() == nullptr) return;
    ScopedLock lock(*this->lock());
    TableParameterSet* set = tableSet(parameters());
    // Everything pulled is now the editor's own view: no flag may send it back.
    for (int32_t i = 0; i < set->count(); ++i)
        set->getFloat(i);
    state_.frozen = !on(set->value(kParamDisplay));
    state_.learn = on(set->value(kParamLearn));
    state_.match = on(set->value(kParamMatch));
    state_.sourceLearned = set->value(kParamSourceLearned) != 0.0f;
    state_.destLearned = set->value(kParamDestLearned) != 0.0f;
    learnTargetSource_ = on(set->value(kParamLearnTarget));
    const float rate = set->value(kParamSampleRate);
    rateHz_ = rate >= 1.0f && rate < 2.0e9f ? int32_t(rate) : sampleRate();
    const auto* gains = static_cast<const float*>(set->arrayData(activeSliderIndex()));
    for (int k = 0; k < kEditorSliderCount; ++k)
        gains_[size_t(k)] = clampSliderDb(gains[k]);
    axis_ = axisFor(on(set->value(kParamThirdOctave)), rateHz_);
}

void TessalineEditor::syncControls() {
    if (learn_ == nullptr || parameters() == nullptr) return;
    for (int k = 0; k < kEditorSliderCount; ++k) {
        sliders_[size_t(k)]->setValue(gains_[size_t(k)]);
        marks_[size_t(k)]->setState(group_.contains(k) ? controls::Button::kOn
                                                       : controls::Button::kOff);
    }
    float amount = kAmountDefault, third = 0.0f;
    {
        ScopedLock lock(*this->lock());
        amount = tableSet(parameters())->value(kParamMorph);
        third = tableSet(parameters())->value(kParamThirdOctave);
    }
    learn_->setState(state_.learn ? 1 : 0);
    target_->setState(learnTargetSource_ ? 1 : 0);
    match_->setState(state_.match ? 1 : 0);
    bandMode_->setState(on(third) ? 1 : 0);
    freeze_->setState(state_.frozen ? 1 : 0);
    tools_->setState(toolsShown_ ? 1 : 0);
    amount_->setValue(amount);
    amountField_->number("%.1f", amount);
    drawModes_->select(int(drawMode_));
    if (toolsShown_)
        drawModes_->show();
    else
        drawModes_->hide();
    updateEnabling();
    invalidateDisplay();
}

void TessalineEditor::updateEnabling() {
    if (learn_ == nullptr) return;
    for (int id : {kLearnControl, kLearnTargetControl, kMatchControl, kBandModeControl,
                   kToolsControl}) {
        button(id)->enable(controlEnabled(id, state_));
    }
    amount_->enable(controlEnabled(kMatchAmountControl, state_));
    drawModes_->enable(controlEnabled(kDrawModeControl, state_));
    for (int k = 0; k < kEditorSliderCount; ++k)
        sliders_[size_t(k)]->enable(controlEnabled(kFirstSliderControl + k, state_));
    // The status line follows a change of the control under the pointer.
    if (hovered_ != 0) hover(hovered_);
}

void TessalineEditor::showStatus(const std::string& text) {
    if (text == status_ && statusField_ != nullptr) return;
    status_ = text;
    if (statusField_ != nullptr) statusField_->text(status_.c_str());
}

void TessalineEditor::showLearnedStatus() {
    showStatus(learnedStatus(state_.sourceLearned, state_.destLearned));
}

void TessalineEditor::hover(int controlId) {
    hovered_ = controlId;
    if (controlId == 0) return;
    if (const char* reason = disabledReason(controlId, state_)) {
        showStatus(reason);
        return;
    }
    const std::string help = controlHelp(controlId);
    if (!help.empty()) showStatus(help);
}

void TessalineEditor::loadValues() {
    // On the host's thread: the controls follow on the editor's.
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgSyncValues, 0, 0);
}

void TessalineEditor::hostValuesChanged() {
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgHostValues, 0, 0);
}

intptr_t TessalineEditor::command(int32_t command, void* arg, intptr_t value) {
    const int previousRate = sampleRate();
    const intptr_t result = EditorHost::command(command, arg, value);
    if (command == kEdFormatChanged && sampleRate() != previousRate && clientWindow() != nullptr)
        PostMessageA(clientWindow(), kMsgFormat, 0, 0);
    return result;
}

// The controls' rules ------------------------------------------------------------------------

void TessalineEditor::onSlider(int k, float valueDb) {
    if (!moveSlider(gains_, k, valueDb, group_)) {
        sliders_[size_t(k)]->setValue(gains_[size_t(k)]); // held at the range's end
        return;
    }
    for (int j = 0; j < kEditorSliderCount; ++j)
        if (j != k || group_.contains(k)) sliders_[size_t(j)]->setValue(gains_[size_t(j)]);
    sendGains();
    invalidateDisplay();
}

void TessalineEditor::onSliderReset(int k) {
    if (!controlEnabled(kFirstSliderControl + k, state_)) return;
    resetSlider(gains_, k, group_);
    for (int j = 0; j < kEditorSliderCount; ++j)
        sliders_[size_t(j)]->setValue(gains_[size_t(j)]);
    sendGains();
    invalidateDisplay();
}

void TessalineEditor::setLearn(bool learnOn) {
    if (learnOn) {
        target_->setState(learnTargetSource_ ? 1 : 0);
        if (state_.match) setMatch(false);
        {
            ScopedLock lock(*this->lock());
            parameters()->setFloat(kParamLearnTarget, learnTargetSource_ ? 1.0f : 0.0f);
        }
        state_.learn = true;
        send(kParamLearn, 1.0f);
    } else {
        state_.learn = false;
        send(kParamLearn, 0.0f);
        for (int k = 0; k < kEditorSliderCount; ++k)
            sliders_[size_t(k)]->setValue(gains_[size_t(k)]);
    }
    learn_->setState(state_.learn ? 1 : 0);
    updateEnabling();
    showLearnedStatus();
}

void TessalineEditor::setLearnTarget(bool source) {
    learnTargetSource_ = source;
    target_->setState(source ? 1 : 0);
    send(kParamLearnTarget, source ? 1.0f : 0.0f);
    if (!state_.learn) setLearn(true);
}

void TessalineEditor::bringSpectraToOneFrameCount() {
    // Learned spectra are sums of frame powers: two passes of different lengths are compared as
    // means by bringing the source's sum to the destination's frame count (its count with it,
    // so a later learn pass of the source goes on from a consistent sum).
    const float target = learnTargetSource_ ? 1.0f : 0.0f;
    send(kParamLearnTarget, 1.0f);
    pullValues(kParamLearnedFrames);
    const float sourceFrames = read(kParamLearnedFrames);
    send(kParamLearnTarget, 0.0f);
    pullValues(kParamLearnedFrames);
    const float destFrames = read(kParamLearnedFrames);
    if (sourceFrames > 0.0f && destFrames > 0.0f && sourceFrames != destFrames) {
        pullValues(kParamSourceSpectrum);
        {
            ScopedLock lock(*this->lock());
            TableParameterSet* set = tableSet(parameters());
            auto* source = static_cast<float*>(set->arrayData(kParamSourceSpectrum));
            const double scale = double(destFrames) / double(sourceFrames);
            for (int32_t i = 0; i < kMaxLearnedBins; ++i)
                source[i] = float(double(source[i]) * scale);
            set->getFloat(kParamSourceSpectrum); // the pulled flag
            set->setArray(kParamSourceSpectrum, source, kMaxLearnedBins);
            set->setFloat(kParamLearnTarget, 1.0f);
            set->setFloat(kParamLearnedFrames, destFrames);
        }
        pushChanges();
    }
    send(kParamLearnTarget, target);
}

void TessalineEditor::setMatch(bool matchOn) {
    if (matchOn) {
        if (state_.learn) {
            state_.learn = false;
            send(kParamLearn, 0.0f);
            learn_->setState(0);
        }
        if (state_.sourceLearned && state_.destLearned) bringSpectraToOneFrameCount();
        state_.match = true;
        send(kParamMatch, 1.0f);
    } else {
        state_.match = false;
        send(kParamMatch, 0.0f);
    }
    match_->setState(state_.match ? 1 : 0);
    {
        ScopedLock lock(*this->lock());
        const auto* gains =
            static_cast<const float*>(tableSet(parameters())->arrayData(activeSliderIndex()));
        for (int k = 0; k < kEditorSliderCount; ++k)
            gains_[size_t(k)] = clampSliderDb(gains[k]);
    }
    for (int k = 0; k < kEditorSliderCount; ++k)
        sliders_[size_t(k)]->setValue(gains_[size_t(k)]);
    updateEnabling();
    invalidateDisplay();
}

void TessalineEditor::setAmount(float amount) {
    const float v = std::clamp(amount, 0.0f, kMorphMax);
    amount_->setValue(v);
    amountField_->number("%.1f", v);
    send(kParamMorph, v);
    invalidateDisplay();
}

void TessalineEditor::setBandMode(bool thirdOctave) {
    float current = 0.0f;
    {
        ScopedLock lock(*this->lock());
        current = tableSet(parameters())->value(kParamThirdOctave);
    }
    if (on(current) != thirdOctave) {
        // Learned data of the other layout are no longer valid.
        if (state_.sourceLearned || state_.destLearned) state_.droppedByMode = true;
        state_.sourceLearned = state_.destLearned = false;
        {
            ScopedLock lock(*this->lock());
            parameters()->setFloat(kParamSourceLearned, 0.0f);
            parameters()->setFloat(kParamDestLearned, 0.0f);
        }
        pushChanges();
    }
    send(kParamThirdOctave, thirdOctave ? 1.0f : 0.0f);
    pullValues(kParamLearnedBins);
    read(kParamLearnedBins);
    pullValues(kParamThirdOctave); // the mode in force (none at a rate without its tables)
    const bool inForce = on(read(kParamThirdOctave));
    bandMode_->setState(inForce ? 1 : 0);
    axis_ = axisFor(inForce, rateHz_);
    bins_ = 0; // the layout changed: wait for the next data
    updateEnabling();
    showLearnedStatus();
    invalidateDisplay();
}

void TessalineEditor::setFreeze(bool frozen) {
    state_.frozen = frozen;
    freeze_->setState(frozen ? 1 : 0);
    send(kParamDisplay, frozen ? 0.0f : 1.0f);
    updateEnabling();
}

void TessalineEditor::reset() {
    state_.frozen = false;
    freeze_->setState(0);
    send(kParamDisplay, 1.0f);
    amount_->setValue(kAmountDefault);
    amountField_->number("%.1f", kAmountDefault);
    send(kParamMorph, kAmountDefault);
    state_.sourceLearned = state_.destLearned = false;
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(kParamSourceLearned, 0.0f);
        parameters()->setFloat(kParamDestLearned, 0.0f);
    }
    pushChanges();
    if (state_.match) setMatch(false);
    if (state_.learn) setLearn(false);
    state_.droppedByRate = false;
    state_.droppedByMode = false;
    setGroup(SliderGroup{});
    storedGroup_ = SliderGroup{};
    updateEnabling();
    showLearnedStatus();
    invalidateDisplay();
}

void TessalineEditor::setGroup(const SliderGroup& group) {
    group_ = group;
    for (int k = 0; k < kEditorSliderCount; ++k)
        marks_[size_t(k)]->setState(group_.contains(k) ? controls::Button::kOn
                                                       : controls::Button::kOff);
    invalidateDisplay();
}

void TessalineEditor::setDrawMode(DrawMode mode) {
    if (mode == drawMode_) return;
    if (drawMode_ == DrawMode::RubberBand) storedGroup_ = group_;
    drawMode_ = mode;
    drawModes_->select(int(mode));
    if (mode == DrawMode::RubberBand)
        setGroup(storedGroup_.active() ? storedGroup_ : SliderGroup{});
    else
        setGroup(SliderGroup{});
}

void TessalineEditor::setTools(bool shown) {
    toolsShown_ = shown;
    tools_->setState(shown ? 1 : 0);
    if (shown)
        drawModes_->show();
    else
        drawModes_->hide();
}

void TessalineEditor::formatChanged() {
    const int32_t newRate = sampleRate();
    if (newRate == rateHz_) return;
    rateHz_ = newRate;
    send(kParamSampleRate, float(newRate));
    pullValues(kModeAll);
    readAll();
    // The plug-in moves learned spectra by frequency onto the new rate's bins; only spectra of a
    // third-octave layout the new rate cannot run are dropped.
    float third = 0.0f, bins = 0.0f, binCount = 0.0f;
    {
        ScopedLock lock(*this->lock());
        third = tableSet(parameters())->value(kParamThirdOctave);
        bins = tableSet(parameters())->value(kParamLearnedBins);
        binCount = tableSet(parameters())->value(kParamBinCount);
    }
    const bool dropped = on(third) && bins == binCount;
    if (dropped && (state_.sourceLearned || state_.destLearned)) {
        state_.droppedByRate = true;
        state_.sourceLearned = state_.destLearned = false;
        {
            ScopedLock lock(*this->lock());
            parameters()->setFloat(kParamSourceLearned, 0.0f);
            parameters()->setFloat(kParamDestLearned, 0.0f);
        }
        pushChanges();
    }
    axis_ = axisFor(on(third) && !dropped, rateHz_);
    bins_ = 0;
    syncControls();
    showLearnedStatus();
}

void TessalineEditor::openAbout() {
    char text[64];
    std::snprintf(text, sizeof text, kAboutFormat, productVersion(instance()));
    MessageBoxA(clientWindow(), text, "Orq Tessaline", MB_OK | MB_ICONINFORMATION);
}

// Timer and display ----------------------------------------------------------------------------

void TessalineEditor::timer(UINT_PTR id) {
    if (id == kDisplayTimer) tick();
}

void TessalineEditor::tick() {
    if (parameters() == nullptr || state_.frozen) return;
    // The learned flag of the target being learned.
    if (state_.learn) {
        bool& flag = learnTargetSource_ ? state_.sourceLearned : state_.destLearned;
        if (!flag) {
            flag = true;
            send(learnTargetSource_ ? kParamSourceLearned : kParamDestLearned, 1.0f);
            updateEnabling();
            showLearnedStatus();
        }
    }
    pullValues(kParamNewSpectra);
    if (read(kParamNewSpectra) <= 0.0f) return;
    pullValues(kParamSpectra);
    if (!state_.learn) pullValues(kParamCurve);
    pullValues(kParamLearnedBins);
    pullValues(kParamDisplayCount);
    {
        ScopedLock lock(*this->lock());
        TableParameterSet* set = tableSet(parameters());
        set->getFloat(kParamSpectra);
        set->getFloat(kParamCurve);
        const auto* spectra = static_cast<const float*>(set->arrayData(kParamSpectra));
        spectra_.assign(spectra, spectra + kSpectraElements);
        const auto* curve = static_cast<const float*>(set->arrayData(kParamCurve));
        curve_.assign(curve, curve + kMaxLearnedBins);
        bins_ = std::clamp(int32_t(set->getFloat(kParamLearnedBins)), 0, kMaxLearnedBins);
        displayCount_ =
            std::clamp(int32_t(set->getFloat(kParamDisplayCount)), 1, kMaxDisplayCount);
        const bool third = on(set->value(kParamThirdOctave));
        BinFrequencies f;
        binHz_.assign(size_t(bins_), 0.0);
        if (binFrequencies(rateHz_, third && bins_ != int32_t(set->value(kParamBinCount)),
                           2 * (int32_t(set->value(kParamBinCount)) - 1), &f)) {
            for (int32_t i = 0; i < bins_; ++i) {
                binHz_[size_t(i)] =
                    i <= f.layout.lowLastBin
                        ? i * f.lowBinHz
                        : (f.layout.highFirstBin + (i - f.layout.lowLastBin - 1)) * f.highBinHz;
            }
        }
    }
    invalidateDisplay();
}

void TessalineEditor::invalidateDisplay() const {
    if (clientWindow() == nullptr) return;
    InvalidateRect(clientWindow(), &kDisplayArea, FALSE);
}

void TessalineEditor::paintDisplay(HDC target) const {
    const int w = width(kDisplayArea), h = height(kDisplayArea);
    controls::DoubleBuffer buffer(target, w, h);
    HDC dc = buffer.dc();
    RECT all{0, 0, w, h};
    HBRUSH well = CreateSolidBrush(kWellColour);
    FillRect(dc, &all, well);
    DeleteObject(well);
    // The selected group behind everything.
    if (group_.active()) {
        RECT band{int(axisPositionOfSlider(group_.first - 0.5) * w), 0,
                  int(axisPositionOfSlider(group_.last + 0.5) * w), h};
        HBRUSH shade = CreateSolidBrush(kGroupColour);
        FillRect(dc, &band, shade);
        DeleteObject(shade);
    }
    auto rowOfDb = [&](double db) { return int(std::lround((0.5 - db / (2.0 * kCurveScaleDb)) * (h - 1))); };
    // Grid: every 5 dB of the curve's scale, and the decades or kHz of the axis.
    HPEN grid = CreatePen(PS_SOLID, 1, kGridColour);
    HGDIOBJ oldPen = SelectObject(dc, grid);
    for (float db = -kCurveScaleDb + kGridStepDb; db < kCurveScaleDb; db += kGridStepDb) {
        const int y = rowOfDb(db);
        MoveToEx(dc, 0, y, nullptr);
        LineTo(dc, w, y);
    }
    std::vector<std::pair<double, std::string>> ticks;
    if (axis_.logarithmic) {
        for (double hz : {31.5, 63.0, 125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0, 16000.0}) {
            char label[16];
            if (hz < 1000.0)
                std::snprintf(label, sizeof label, "%g", hz);
            else
                std::snprintf(label, sizeof label, "%gk", hz / 1000.0);
            ticks.emplace_back(hz, label);
        }
    } else {
        for (double khz = 2.0; khz < axis_.highKhz; khz += 2.0) {
            char label[16];
            std::snprintf(label, sizeof label, "%gk", khz);
            ticks.emplace_back(khz * 1000.0, label);
        }
    }
    for (const auto& [hz, label] : ticks) {
        const int x = int(axis_.position(hz) * w);
        MoveToEx(dc, x, 0, nullptr);
        LineTo(dc, x, h);
    }
    HFONT font = CreateFontA(kScaleFontHeight, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kScaleColour);
    for (const auto& [hz, label] : ticks)
        TextOutA(dc, int(axis_.position(hz) * w) + 2, h - kScaleFontHeight - 1, label.c_str(),
                 int(label.size()));
    for (float db : {-15.0f, -10.0f, -5.0f, 0.0f, 5.0f, 10.0f, 15.0f}) {
        char label[8];
        std::snprintf(label, sizeof label, "%+.0f", db);
        TextOutA(dc, 2, rowOfDb(db) - kScaleFontHeight / 2, label, int(std::strlen(label)));
    }
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, oldPen);
    DeleteObject(grid);

    // The spectra: the mean of the display slots per side, in dB below the loudest bin shown.
    curveRows_.clear();
    const bool haveData = bins_ > 0 && int32_t(binHz_.size()) == bins_ &&
                          spectra_.size() >= size_t(kSpectraElements);
    if (haveData) {
        std::vector<double> level[2];
        double loudest = -1e300;
        for (int side = 0; side < 2; ++side) {
            level[side].assign(size_t(bins_), 0.0);
            for (int32_t i = 0; i < bins_; ++i) {
                double sum = 0.0;
                for (int32_t slot = 0; slot < displayCount_; ++slot)
                    sum += spectra_[size_t((side * kMaxDisplayCount + slot) * kMaxLearnedBins + i)];
                const double mean = sum / displayCount_;
                level[side][size_t(i)] = mean > 0.0 ? 10.0 * std::log10(mean) : -1e300;
                if (i > 0) loudest = std::max(loudest, level[side][size_t(i)]);
            }
        }
        const double top = std::ceil(loudest / 10.0) * 10.0;
        for (int side = 0; side < 2; ++side) {
            HPEN pen = CreatePen(PS_SOLID, 1, side == 0 ? kInputColour : kOutputColour);
            HGDIOBJ previous = SelectObject(dc, pen);
            std::vector<POINT> points;
            for (int32_t i = 1; i < bins_; ++i) {
                const double x = axis_.position(binHz_[size_t(i)]);
                if (x < 0.0 || x > 1.0) continue;
                const double fraction =
                    std::clamp((top - level[side][size_t(i)]) / kSpectrumRangeDb, 0.0, 1.0);
                points.push_back(POINT{int(x * (w - 1)), int(fraction * (h - 1))});
            }
            if (points.size() > 1) Polyline(dc, points.data(), int(points.size()));
            SelectObject(dc, previous);
            DeleteObject(pen);
        }
    }
    // The filter curve: |H|^2 of the designed filter when the plug-in sent it, else the sliders.
    HPEN curvePen = CreatePen(PS_SOLID, kCurvePenPixels, kCurveColour);
    HGDIOBJ previous = SelectObject(dc, curvePen);
    std::vector<POINT> points;
    const bool haveCurve = haveData && curve_.size() >= size_t(bins_) &&
                           std::any_of(curve_.begin(), curve_.begin() + bins_,
                                       [](float v) { return v > 0.0f; });
    if (haveCurve) {
        for (int32_t i = 1; i < bins_; ++i) {
            const double x = axis_.position(binHz_[size_t(i)]);
            if (x < 0.0 || x > 1.0 || !(curve_[size_t(i)] > 0.0f)) continue;
            const double db = std::clamp(10.0 * std::log10(double(curve_[size_t(i)])),
                                         -double(kCurveScaleDb), double(kCurveScaleDb));
            points.push_back(POINT{int(x * (w - 1)), rowOfDb(db)});
        }
    } else {
        for (int k = 0; k < kEditorSliderCount; ++k)
            points.push_back(POINT{int(axisPositionOfSlider(k) * (w - 1)),
                                   rowOfDb(gains_[size_t(k)])});
    }
    for (const POINT& p : points)
        curveRows_.push_back(p.y);
    if (points.size() > 1) Polyline(dc, points.data(), int(points.size()));
    SelectObject(dc, previous);
    DeleteObject(curvePen);
    buffer.present(kDisplayArea.left, kDisplayArea.top);
}

bool TessalineEditor::paint(HWND window, HDC dc) {
    if (window != clientWindow()) return false;
    if (bitmaps_.bitmap(kBackgroundBitmap) != nullptr) {
        bitmaps_.draw(dc, 0, 0, kBackgroundBitmap);
    } else {
        RECT area{0, 0, kWidthPixels, kHeightPixels};
        FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    }
    paintDisplay(dc);
    return true;
}

// Gestures ---------------------------------------------------------------------------------------

bool TessalineEditor::gesturesAllowed() const {
    return toolsShown_ && !state_.frozen && !state_.bypassed && !state_.learn;
}

double TessalineEditor::sliderPositionOfPixel(int x) const {
    const double position = double(x - kDisplayArea.left) / double(width(kDisplayArea) - 1);
    return std::clamp(sliderPositionAt(position), 0.0, double(kEditorSliderCount - 1));
}

float TessalineEditor::dbOfPixel(int y) const {
    const double fraction = double(y - kDisplayArea.top) / double(height(kDisplayArea) - 1);
    return clampSliderDb(float((0.5 - fraction) * 2.0 * kCurveScaleDb));
}

void TessalineEditor::gestureAt(POINT at, bool finished) {
    const double x1 = sliderPositionOfPixel(dragFrom_.x), x2 = sliderPositionOfPixel(at.x);
    const float y1 = dbOfPixel(dragFrom_.y), y2 = dbOfPixel(at.y);
    switch (drawMode_) {
    case DrawMode::RubberBand:
        setGroup(groupBetween(x1, x2));
        if (finished) storedGroup_ = group_;
        return;
    case DrawMode::Niveau: {
        gains_ = gainsAtPress_;
        // The dragged line, carried on to both ends; a click without a drag sets one level.
        const double slope = std::fabs(x2 - x1) < 1e-9 ? 0.0 : double(y2 - y1) / (x2 - x1);
        drawNiveau(gains_, float(y1 - x1 * slope),
                   float(y1 + (double(kEditorSliderCount - 1) - x1) * slope));
        break;
    }
    case DrawMode::Bone:
        // On screen the ends snap to the nearest slider columns.
        gains_ = gainsAtPress_;
        drawBone(gains_, std::round(x1), y1, std::round(x2), y2);
        break;
    }
    for (int k = 0; k < kEditorSliderCount; ++k)
        sliders_[size_t(k)]->setValue(gains_[size_t(k)]);
    if (gains_ != gainsAtPress_ || finished) sendGains();
    invalidateDisplay();
}

bool TessalineEditor::message(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT* result) {
    if (window != clientWindow() && message != WM_KEYDOWN) return false;
    *result = 0;
    switch (message) {
    case kMsgSyncValues:
        pullValues(kModeAll);
        readAll();
        syncControls();
        showLearnedStatus();
        return true;
    case kMsgHostValues:
        state_.bypassed = bypassWithDelay();
        // Bypass hides the tools; leaving it shows what the controls' rules allow.
        if (state_.bypassed && toolsShown_ && tools_ != nullptr) setTools(false);
        updateEnabling();
        return true;
    case kMsgFormat:
        formatChanged();
        return true;
    case kMsgHover:
        hover(int(wParam));
        return true;
    case WM_KEYDOWN:
        if (wParam == VK_F1) {
            WinHelpA(frameWindow() != nullptr ? frameWindow() : clientWindow(), kHelpFile,
                     HELP_CONTENTS, 0);
            return true;
        }
        return false;
    case WM_MOUSEMOVE: {
        const POINT at{short(LOWORD(lParam)), short(HIWORD(lParam))};
        if (dragging_) {
            gestureAt(at, false);
            return true;
        }
        if (inside(kToolsArea, at))
            hover(kToolsControl);
        else if (hovered_ != 0) {
            hovered_ = 0;
            showLearnedStatus();
        }
        return true;
    }
    case WM_LBUTTONDOWN: {
        const POINT at{short(LOWORD(lParam)), short(HIWORD(lParam))};
        if (inside(kAboutArea, at)) {
            openAbout();
            return true;
        }
        if (inside(kDisplayArea, at) && gesturesAllowed()) {
            dragging_ = true;
            dragFrom_ = at;
            gainsAtPress_ = gains_;
            SetCapture(window);
        }
        return true;
    }
    case WM_LBUTTONUP:
        if (dragging_) {
            dragging_ = false;
            ReleaseCapture();
            gestureAt(POINT{short(LOWORD(lParam)), short(HIWORD(lParam))}, true);
        }
        return true;
    case WM_NOTIFY: {
        // A double click on the match amount knob sets it back to 100 %.
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && int(header->idFrom) == kMatchAmountControl &&
            header->code == controls::kNotifyLeftDoubleClick &&
            controlEnabled(kMatchAmountControl, state_))
            setAmount(kAmountDefault);
        return true;
    }
    case WM_COMMAND:
        break;
    default:
        return false;
    }
    // WM_COMMAND from the controls.
    const int id = int(LOWORD(wParam));
    if (id == controls::kRightClickCommand) {
        const int control = int(lParam);
        if (isSliderControl(control)) onSliderReset(control - kFirstSliderControl);
        return true;
    }
    if (id == controls::kDisabledClickCommand) {
        hover(int(lParam));
        return true;
    }
    if (learn_ == nullptr) return true;
    if (isSliderControl(id)) {
        const auto* v = reinterpret_cast<const controls::SliderValue*>(lParam);
        if (v != nullptr) onSlider(id - kFirstSliderControl, v->value);
        return true;
    }
    switch (id) {
    case kLearnControl:
        setLearn(lParam != 0);
        break;
    case kLearnTargetControl:
        setLearnTarget(lParam != 0);
        break;
    case kMatchControl:
        setMatch(lParam != 0);
        break;
    case kMatchAmountControl:
        if (const auto* v = reinterpret_cast<const float*>(lParam)) setAmount(*v);
        break;
    case kBandModeControl:
        setBandMode(lParam != 0);
        break;
    case kFreezeControl:
        setFreeze(lParam != 0);
        break;
    case kResetControl:
        reset();
        break;
    case kToolsControl:
        setTools(lParam != 0);
        break;
    case kDrawModeControl:
        if (lParam >= 0 && lParam <= 2) setDrawMode(DrawMode(int(lParam)));
        break;
    default:
        break;
    }
    return true;
}

} // namespace orq::matching

namespace orq {

EditorHost* createTessalineEditor(ParameterSet* parameters) {
    return makeEditor<matching::TessalineEditor>(parameters);
}

} // namespace orq
