#include "compressor/compressor_editor.h"

#include "compressor/compressor_parameters.h"
#include "runtime/plugin_glue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace orq::compressor {

namespace {

constexpr int kBitmapIds[] = {
    CompressorEditor::kBackgroundBitmap,  CompressorEditor::kAboutBitmap,
    CompressorEditor::kSoftClipOffBitmap, CompressorEditor::kSoftClipOnBitmap,
    CompressorEditor::kTwoStagesOffBitmap, CompressorEditor::kOneStageOffBitmap,
    CompressorEditor::kTwoStagesOnBitmap, CompressorEditor::kOneStageOnBitmap,
    CompressorEditor::kSoloOffBitmap,     CompressorEditor::kSoloOnBitmap,
    CompressorEditor::kKnobMaskBitmap,    CompressorEditor::kKnobDotBitmap,
    CompressorEditor::kKnobBitmap,        CompressorEditor::kOutputFieldBitmap,
};

// Places of the controls in the editor's window (the background bitmap's coordinates).
constexpr RECT kBandDisplayRect{35, 67, 359, 172};
constexpr RECT kCurveRect{387, 70, 577, 258};
constexpr POINT kAboutAt{500, 267};
constexpr POINT kSoloAt{204, 186};
constexpr POINT kSoftClipAt{260, 186};
constexpr int kCompTypeX[] = {35, 91};
constexpr int kCompTypeY[] = {186, 186};
constexpr POINT kKnobAt{200, 229};
constexpr POINT kOutputFieldAt{243, 237};
constexpr COLORREF kOutputTextColour = RGB(255, 255, 255);
constexpr int kOutputFontHeight = 14;
constexpr const char* kOutputFormat = "%.1f dB";
constexpr const char* kVersionFormat = " Version: %s";
constexpr int kDefaultSampleRate = 44100;
// A top crossover left by a band-count change stays at or below this part of the sample rate.
constexpr double kTopCrossoverRateFraction = 0.25;

// Messages of the editor's client window: values changed from outside, and a new sample rate
// (wParam), shown on the editor's thread.
constexpr UINT kMsgSyncValues = 0x8000 + 2;  // WM_APP + 2
constexpr UINT kMsgSampleRate = 0x8000 + 3;  // WM_APP + 3

TableParameterSet* tableSet(ParameterSet* set) {
    return static_cast<TableParameterSet*>(set);
}

// The editor's values, read in one go under its lock.
struct Values {
    int bandCount = 3;
    int activeBand = -1;
    bool solo = false;
    float outputDb = 0.0f;
    bool softClip = false;
    int compType = 0;
    BorderArray borders{};
    BandGainArray gains{};
    ShapeArray shapes{};
};

int integerOf(float value, int low, int high) {
    if (!std::isfinite(value)) return low;
    return std::clamp(static_cast<int>(value), low, high);
}

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        if (const auto* line = reinterpret_cast<const std::string*>(lParam))
            SetDlgItemTextA(dialog, CompressorEditor::kAboutVersionLine, line->c_str());
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

// Ballistics ---------------------------------------------------------------------------------

float MeterBallistics::step(float value) {
    if (!(value >= 0.0f)) { // no level (also NaN): shown as none, the next level rises from 0
        shown_ = 0.0f;
        return -1.0f;
    }
    if (shown_ - value > kFallLimit)
        shown_ -= kFallLimit;
    else if (value - shown_ > kRiseLimit)
        shown_ += kRiseLimit;
    else
        shown_ = value;
    return shown_;
}

// The editor ---------------------------------------------------------------------------------

CompressorEditor::CompressorEditor(ParameterSet* parameters) : EditorHost(parameters) {}

intptr_t CompressorEditor::command(int32_t command, void* arg, intptr_t value) {
    const intptr_t result = EditorHost::command(command, arg, value);
    if (command == kEdFormatChanged && clientWindow() != nullptr)
        PostMessageA(clientWindow(), kMsgSampleRate, WPARAM(sampleRate()), 0);
    return result;
}

std::string CompressorEditor::versionLine(HINSTANCE module) {
    std::string version;
    char path[MAX_PATH] = {};
    if (GetModuleFileNameA(module, path, sizeof path) != 0) {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &handle);
        std::vector<char> block(size);
        void* translation = nullptr;
        UINT length = 0;
        if (size != 0 && GetFileVersionInfoA(path, handle, size, block.data()) &&
            VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length) &&
            length >= 2 * sizeof(WORD)) {
            const auto* pair = static_cast<const WORD*>(translation);
            char key[64];
            std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\ProductVersion",
                          unsigned(pair[0]), unsigned(pair[1]));
            void* text = nullptr;
            if (VerQueryValueA(block.data(), key, &text, &length) && text != nullptr)
                version = static_cast<const char*>(text);
        }
    }
    char line[128];
    std::snprintf(line, sizeof line, kVersionFormat, version.c_str());
    return line;
}

void CompressorEditor::openContent(HWND client, SIZE* clientSize) {
    bitmaps_.load(instance(), kBitmapIds, int(std::size(kBitmapIds)));
    *clientSize = bitmaps_.size(kBackgroundBitmap);
    if (clientSize->cx <= 0 || clientSize->cy <= 0) *clientSize = SIZE{600, 300};
    readSampleRate();
    // The plug-in's values: every parameter, read once so nothing stays marked changed.
    if (parameters() != nullptr) {
        pullValues(kModeAll);
        ScopedLock lock(*this->lock());
        ParameterSet* set = parameters();
        std::vector<uint8_t> scratch(sizeof(ShapeArray));
        for (int32_t i = 0; i < set->count(); ++i) {
            int32_t count = 0, elementSize = 0;
            if (set->arrayInfo(i, &count, &elementSize) == 0) {
                scratch.resize(std::max<size_t>(scratch.size(), size_t(count) * size_t(elementSize)));
                set->getArray(i, scratch.data(), count);
            } else {
                set->getFloat(i);
            }
        }
    }
    HINSTANCE module = instance();
    HPALETTE palette = bitmaps_.palette();
    auto bitmap = [&](int number) { return bitmaps_.bitmap(number); };
    bandDisplay_ = std::make_unique<BandDisplay>(
        client, kBandDisplayId, kBandDisplayRect.left, kBandDisplayRect.top,
        kBandDisplayRect.right - kBandDisplayRect.left,
        kBandDisplayRect.bottom - kBandDisplayRect.top);
    curve_ = std::make_unique<CurveEditor>(client, kCurveId, kCurveRect.left, kCurveRect.top,
                                           kCurveRect.right - kCurveRect.left,
                                           kCurveRect.bottom - kCurveRect.top);
    about_ = std::make_unique<controls::Button>(
        client, kAboutAt.x, kAboutAt.y, controls::kMomentary, kAboutId, bitmap(kAboutBitmap),
        bitmap(kAboutBitmap), bitmap(kAboutBitmap), module, palette);
    solo_ = std::make_unique<controls::Button>(client, kSoloAt.x, kSoloAt.y, controls::kPlainSwitch,
                                               kSoloId, bitmap(kSoloOnBitmap),
                                               bitmap(kSoloOffBitmap), nullptr, module, palette);
    softClip_ = std::make_unique<controls::Button>(
        client, kSoftClipAt.x, kSoftClipAt.y, controls::kPlainSwitch, kSoftClipId,
        bitmap(kSoftClipOnBitmap), bitmap(kSoftClipOffBitmap), nullptr, module, palette);
    const HBITMAP on[] = {bitmap(kTwoStagesOnBitmap), bitmap(kOneStageOnBitmap)};
    const HBITMAP off[] = {bitmap(kTwoStagesOffBitmap), bitmap(kOneStageOffBitmap)};
    compType_ = std::make_unique<controls::Selector>(client, kCompTypeId, 2, kCompTypeX, kCompTypeY,
                                                     on, off, false, module, palette);
    outputKnob_ = std::make_unique<controls::Knob>(
        client, kKnobAt.x, kKnobAt.y, kOutputKnobId, bitmap(kKnobBitmap), bitmap(kKnobDotBitmap),
        bitmap(kKnobMaskBitmap), kOutputSteps, kOutputStartAngleDegrees, module, palette);
    outputKnob_->setRange(-kGainRangeDb, kGainRangeDb);
    outputField_ = std::make_unique<controls::TextField>(
        client, kOutputFieldAt.x, kOutputFieldAt.y, 0, bitmap(kOutputFieldBitmap),
        kOutputTextColour, kOutputFontHeight, module, palette);
    syncControls();
    SetTimer(client, kMeterTimer, kMeterPeriodMs, nullptr);
}

void CompressorEditor::closeContent() {
    KillTimer(clientWindow(), kMeterTimer);
    bandDisplay_.reset();
    curve_.reset();
    about_.reset();
    solo_.reset();
    softClip_.reset();
    compType_.reset();
    outputKnob_.reset();
    outputField_.reset();
    bitmaps_.destroy();
}

void CompressorEditor::readSampleRate() {
    PluginRecord* record = pluginRecord();
    const int32_t rate = record != nullptr ? record->dispatcher(record, kCmdSampleRate, nullptr, 0) : 0;
    editorSampleRate_ = rate > 0 ? rate : kDefaultSampleRate;
}

void CompressorEditor::loadValues() {
    // Under the editor's lock, on the host's thread or the editor's. A new active band makes
    // the editor's band count count as changed again (it goes with the next full exchange).
    ParameterSet* set = parameters();
    if (set != nullptr)
        set->setFloat(kParamBandCount, tableSet(set)->value(kParamBandCount));
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgSyncValues, 0, 0);
}

void CompressorEditor::syncControls() {
    if (bandDisplay_ == nullptr || parameters() == nullptr) return;
    Values v;
    {
        ScopedLock lock(*this->lock());
        TableParameterSet* set = tableSet(parameters());
        v.bandCount = integerOf(set->value(kParamBandCount), 1, kMaxDisplayBands);
        v.activeBand = integerOf(set->value(kParamActiveBand), -1, v.bandCount - 1);
        v.solo = set->value(kParamSolo) != 0.0f;
        v.outputDb = std::clamp(set->value(kParamOutputDb), -kGainRangeDb, kGainRangeDb);
        if (!std::isfinite(v.outputDb)) v.outputDb = 0.0f;
        v.softClip = set->value(kParamSoftClip) != 0.0f;
        v.compType = set->value(kParamCompType) != 0.0f ? 1 : 0;
        std::memcpy(v.borders.data(), set->arrayData(kParamBorder), sizeof v.borders);
        std::memcpy(v.gains.data(), set->arrayData(kParamBandGain), sizeof v.gains);
        std::memcpy(v.shapes.data(), set->arrayData(kParamShape), sizeof v.shapes);
    }
    bandDisplay_->setSampleRate(editorSampleRate_);
    bandDisplay_->setBandCount(v.bandCount);
    bandDisplay_->setBorders(v.borders.data(), kBorderEntries);
    bandDisplay_->setGains(v.gains.data(), kMaxDisplayBands);
    bandDisplay_->setSolo(v.solo);
    curve_->setSolo(v.solo);
    if (v.activeBand >= 0) curve_->setShape(v.shapes[size_t(v.activeBand)]);
    bandDisplay_->setActiveBand(v.activeBand);
    curve_->setActiveBand(v.activeBand);
    solo_->setState(v.solo ? controls::Button::kOn : controls::Button::kOff);
    softClip_->setState(v.softClip ? controls::Button::kOn : controls::Button::kOff);
    compType_->select(v.compType);
    outputKnob_->setValue(v.outputDb);
    outputField_->number(kOutputFormat, v.outputDb);
    lastOutputDb_ = v.outputDb;
}

bool CompressorEditor::paint(HWND window, HDC dc) {
    if (window != clientWindow() || bitmaps_.bitmap(kBackgroundBitmap) == nullptr) return false;
    bitmaps_.draw(dc, 0, 0, kBackgroundBitmap);
    return true;
}

bool CompressorEditor::message(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == kMsgSyncValues) {
        syncControls();
        *result = 0;
        return true;
    }
    if (message == kMsgSampleRate) {
        editorSampleRate_ = wParam > 0 ? int(wParam) : kDefaultSampleRate;
        if (bandDisplay_ != nullptr) bandDisplay_->setSampleRate(editorSampleRate_);
        *result = 0;
        return true;
    }
    if (message != WM_COMMAND || bandDisplay_ == nullptr || parameters() == nullptr) return false;
    switch (LOWORD(wParam)) {
    case kBandDisplayId:
        if (lParam != 0) bandDisplayChanged(*reinterpret_cast<const BandDisplayReport*>(lParam));
        break;
    case kCurveId:
        curveChanged();
        break;
    case kSoloId:
        soloClicked(int(lParam));
        break;
    case kSoftClipId:
        softClipClicked(int(lParam));
        break;
    case kCompTypeId:
        compTypeChosen(int(lParam));
        break;
    case kOutputKnobId:
        if (lParam != 0) outputTurned(*reinterpret_cast<const float*>(lParam));
        break;
    case kAboutId:
        showAbout();
        break;
    default:
        return false;
    }
    *result = 0;
    return true;
}

// Editor to engine ---------------------------------------------------------------------------

void CompressorEditor::send(int32_t index) {
    setDirty();
    PluginRecord* record = pluginRecord();
    if (record == nullptr) return; // the editor's own set keeps the change
    ScopedLock lock(*this->lock());
    record->loadFromStore(record, parameters()->iface(), index);
}

void CompressorEditor::bandDisplayChanged(const BandDisplayReport& report) {
    if (report.change == BandChange::BandAdded || report.change == BandChange::BandRemoved) {
        bandCountChanged(report);
    } else if (report.change == BandChange::Border) {
        {
            ScopedLock lock(*this->lock());
            TableParameterSet* set = tableSet(parameters());
            BorderArray borders{};
            std::memcpy(borders.data(), set->arrayData(kParamBorder), sizeof borders);
            for (int i = 1; i < bandDisplay_->bandCount(); ++i)
                borders[size_t(i)] = float(bandDisplay_->borderHz(i));
            set->setArray(kParamBorder, borders.data(), kBorderEntries);
            set->setFloat(kParamBorderMoved, float(report.index));
        }
        send(kParamBorder);
        send(kParamBorderMoved);
    } else if (report.change == BandChange::Gain) {
        {
            ScopedLock lock(*this->lock());
            TableParameterSet* set = tableSet(parameters());
            BandGainArray gains{};
            std::memcpy(gains.data(), set->arrayData(kParamBandGain), sizeof gains);
            for (int b = 0; b < kMaxDisplayBands; ++b)
                gains[size_t(b)] = bandDisplay_->gainDb(b);
            set->setArray(kParamBandGain, gains.data(), kBandGainEntries);
            set->setFloat(kParamGainChangedBand, float(report.index));
        }
        send(kParamBandGain);
        send(kParamGainChangedBand);
    }
    // After every change of the display: the band selected there is the active band.
    const int active = bandDisplay_->activeBand();
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(kParamActiveBand, float(active));
    }
    send(kParamActiveBand);
    showActiveBand(active);
}

void CompressorEditor::bandCountChanged(const BandDisplayReport& report) {
    const int count = bandDisplay_->bandCount();
    BorderArray borders{};
    for (int i = 0; i < kBorderEntries; ++i)
        borders[size_t(i)] = float(bandDisplay_->borderHz(std::min(i, count)));
    // The lowest edge of the top band stays at or below a quarter of the sample rate; the
    // crossovers below it keep their order.
    if (count >= 2) {
        const double limit = kTopCrossoverRateFraction * editorSampleRate_;
        borders[size_t(count - 1)] = float(std::min<double>(borders[size_t(count - 1)], limit));
        const double gap = std::exp2(-BandDisplay::kMinimumGapOctaves);
        for (int i = count - 2; i >= 1; --i)
            borders[size_t(i)] = float(std::min<double>(borders[size_t(i)], borders[size_t(i + 1)] * gap));
        bandDisplay_->setBorders(borders.data(), kBorderEntries);
    }
    {
        ScopedLock lock(*this->lock());
        TableParameterSet* set = tableSet(parameters());
        ShapeArray shapes{};
        std::memcpy(shapes.data(), set->arrayData(kParamShape), sizeof shapes);
        const int border = report.index;
        if (report.change == BandChange::BandAdded && border >= 1) {
            // The split band's upper part is the new band; it starts with the split band's curve.
            for (int k = kShapeEntries - 1; k > border; --k)
                shapes[size_t(k)] = shapes[size_t(k - 1)];
            shapes[size_t(border)] = shapes[size_t(border - 1)];
        } else if (report.change == BandChange::BandRemoved && border >= 1) {
            // The merged band keeps the lower band's curve; the bands above move down.
            for (int k = border; k + 1 < kShapeEntries; ++k)
                shapes[size_t(k)] = shapes[size_t(k + 1)];
        }
        for (int k = count; k < kShapeEntries; ++k)
            shapes[size_t(k)] = defaultBandShape();
        BandGainArray gains{};
        std::memcpy(gains.data(), set->arrayData(kParamBandGain), sizeof gains);
        for (int b = 0; b < kMaxDisplayBands; ++b)
            gains[size_t(b)] = bandDisplay_->gainDb(b);
        set->setArray(kParamBorder, borders.data(), kBorderEntries);
        set->setArray(kParamShape, shapes.data(), kShapeEntries);
        set->setArray(kParamBandGain, gains.data(), kBandGainEntries);
        set->setFloat(kParamBandCount, float(count));
    }
    send(kParamBorder);
    send(kParamShape);
    send(kParamBandGain);
    send(kParamBandCount);
}

void CompressorEditor::curveChanged() {
    const int band = curve_->activeBand();
    if (band < 0) return;
    {
        ScopedLock lock(*this->lock());
        TableParameterSet* set = tableSet(parameters());
        ShapeArray shapes{};
        std::memcpy(shapes.data(), set->arrayData(kParamShape), sizeof shapes);
        shapes[size_t(band)] = curve_->shape();
        set->setArray(kParamShape, shapes.data(), kShapeEntries);
    }
    send(kParamShape);
}

void CompressorEditor::soloClicked(int state) {
    int active = -1;
    {
        ScopedLock lock(*this->lock());
        active = integerOf(tableSet(parameters())->value(kParamActiveBand), -1, kMaxDisplayBands);
    }
    if (active < 0) { // no band to solo: the switch goes back
        solo_->setState(controls::Button::kOff);
        return;
    }
    const bool on = state == controls::Button::kOn;
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(kParamSolo, on ? 1.0f : 0.0f);
    }
    send(kParamSolo);
    bandDisplay_->setSolo(on);
    curve_->setSolo(on);
}

void CompressorEditor::outputTurned(float outputDb) {
    if (outputDb == lastOutputDb_) return;
    lastOutputDb_ = outputDb;
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(kParamOutputDb, outputDb);
    }
    send(kParamOutputDb);
    outputField_->number(kOutputFormat, outputDb);
}

void CompressorEditor::compTypeChosen(int position) {
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(kParamCompType, position == 1 ? 1.0f : 0.0f);
    }
    send(kParamCompType);
}

void CompressorEditor::softClipClicked(int state) {
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(kParamSoftClip, state == controls::Button::kOn ? 1.0f : 0.0f);
    }
    send(kParamSoftClip);
}

void CompressorEditor::showActiveBand(int band) {
    bandDisplay_->setActiveBand(band);
    if (band >= 0) {
        ShapeArray shapes{};
        {
            ScopedLock lock(*this->lock());
            std::memcpy(shapes.data(), tableSet(parameters())->arrayData(kParamShape), sizeof shapes);
        }
        if (curve_->activeBand() != band) curve_->setShape(shapes[size_t(band)]);
    }
    curve_->setActiveBand(band);
}

// Engine to editor ---------------------------------------------------------------------------

void CompressorEditor::timer(UINT_PTR id) {
    if (id != kMeterTimer || curve_ == nullptr || parameters() == nullptr ||
        pluginRecord() == nullptr)
        return;
    pullValues(kParamBandMeter);
    float meter = -1.0f;
    {
        ScopedLock lock(*this->lock());
        meter = tableSet(parameters())->value(kParamBandMeter);
    }
    curve_->setMeter(ballistics_.step(meter));
}

void CompressorEditor::showAbout() {
    const std::string line = versionLine(instance());
    DialogBoxParamA(instance(), MAKEINTRESOURCEA(kAboutDialog), clientWindow(), aboutProcedure,
                    reinterpret_cast<LPARAM>(&line));
}

} // namespace orq::compressor

namespace orq {

EditorHost* createCompressorEditor(ParameterSet* parameters) {
    return makeEditor<compressor::CompressorEditor>(parameters);
}

} // namespace orq
