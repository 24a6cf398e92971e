#include "testplugins/passthrough_editor.h"

#include "runtime/plugin_glue.h"
#include "testplugins/passthrough_plugin.h"

namespace orq {
namespace {

constexpr int kBitmapIds[] = {
    PassthroughEditor::kBackgroundBitmap,    PassthroughEditor::kSwitchOffBitmap,
    PassthroughEditor::kSwitchPressedBitmap, PassthroughEditor::kSwitchOnBitmap,
    PassthroughEditor::kMeterEmptyBitmap,    PassthroughEditor::kMeterFullBitmap,
};
constexpr int kSwitchX = 16;
constexpr int kSwitchY = 16;
constexpr int kMeterX = 16;
constexpr int kMeterY = 64;
constexpr int kNoMarker = 0;
// The values changed from outside are shown on the editor's thread.
constexpr UINT kMsgSyncValues = 0x8000 + 2; // WM_APP + 2
// F1 opens the test plug-in's help file at its contents (orq names it, carrying no text for it).
constexpr const char* kHelpFile = "..\\PlugIns\\Passthrough.hlp";

TableParameterSet* tableSet(ParameterSet* set) {
    return static_cast<TableParameterSet*>(set);
}

} // namespace

PassthroughEditor::PassthroughEditor(ParameterSet* parameters) : EditorHost(parameters) {}

void PassthroughEditor::openContent(HWND client, SIZE* clientSize) {
    bitmaps_.load(instance(), kBitmapIds, int(std::size(kBitmapIds)));
    *clientSize = bitmaps_.size(kBackgroundBitmap);
    if (clientSize->cx <= 0 || clientSize->cy <= 0)
        *clientSize = SIZE{kDefaultWidth, kDefaultHeight};
    switch_ = std::make_unique<controls::Button>(
        client, kSwitchX, kSwitchY, controls::kPlainSwitch, kSwitchId,
        bitmaps_.bitmap(kSwitchOnBitmap), bitmaps_.bitmap(kSwitchOffBitmap),
        bitmaps_.bitmap(kSwitchPressedBitmap), instance(), bitmaps_.palette());
    meter_ = std::make_unique<controls::BarMeter>(
        client, kMeterX, kMeterY, kNoMarker, bitmaps_.bitmap(kMeterEmptyBitmap),
        bitmaps_.bitmap(kMeterFullBitmap), instance(), bitmaps_.palette());
    syncSwitch();
    SetTimer(client, kMeterTimer, kMeterPeriodMs, nullptr);
}

void PassthroughEditor::closeContent() {
    KillTimer(clientWindow(), kMeterTimer);
    switch_.reset();
    meter_.reset();
    bitmaps_.destroy();
}

void PassthroughEditor::loadValues() {
    // Called on the host's thread: the controls follow on the editor's.
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgSyncValues, 0, 0);
}

void PassthroughEditor::syncSwitch() {
    if (switch_ == nullptr || parameters() == nullptr) return;
    float gain = 1.0f;
    {
        ScopedLock lock(*this->lock());
        gain = tableSet(parameters())->value(kPassthroughGainIndex);
    }
    switch_->setState(gain == 0.0f ? controls::Button::kOn : controls::Button::kOff);
}

bool PassthroughEditor::paint(HWND window, HDC dc) {
    if (window != clientWindow() || bitmaps_.bitmap(kBackgroundBitmap) == nullptr) return false;
    bitmaps_.draw(dc, 0, 0, kBackgroundBitmap);
    return true;
}

bool PassthroughEditor::message(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
    if (message == kMsgSyncValues) {
        syncSwitch();
        *result = 0;
        return true;
    }
    if (message == WM_KEYDOWN && wParam == VK_F1) {
        WinHelpA(frameWindow(), kHelpFile, HELP_CONTENTS, 0);
        *result = 0;
        return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == kSwitchId && switch_ != nullptr &&
        parameters() != nullptr) {
        {
            ScopedLock lock(*this->lock());
            // The switch's argument is its new state: on silences.
            parameters()->setFloat(kPassthroughGainIndex,
                                   switch_->state() == controls::Button::kOn ? 0.0f : 1.0f);
        }
        pushChanges();
        *result = 0;
        return true;
    }
    return false;
}

void PassthroughEditor::timer(UINT_PTR id) {
    if (id != kMeterTimer || meter_ == nullptr || parameters() == nullptr) return;
    pullValues(kPassthroughOutputPeakIndex);
    float peak = 0.0f;
    {
        ScopedLock lock(*this->lock());
        peak = tableSet(parameters())->value(kPassthroughOutputPeakIndex);
    }
    meter_->setValue(peak);
}

EditorHost* createPassthroughEditor(ParameterSet* parameters) {
    return makeEditor<PassthroughEditor>(parameters);
}

} // namespace orq
