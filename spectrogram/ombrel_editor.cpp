#include "spectrogram/ombrel_editor.h"

#include "controls/clipboard.h"
#include "controls/control_messages.h"
#include "runtime/module_version.h"
#include "runtime/plugin_glue.h"
#include "spectrogram/display_level.h"
#include "spectrogram/ombrel_parameters.h"
#include "spectrogram/ombrel_plugin.h"
#include "spectrogram/spectrum_analysis_design.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace orq::spectrogram {
namespace {

constexpr int kBitmapIds[] = {
    OmbrelEditor::kBackgroundBitmap, OmbrelEditor::kLogoBitmap,
    OmbrelEditor::kSliderTrackBitmap, OmbrelEditor::kSliderThumbBitmap,
    OmbrelEditor::kSwitchOffBitmap,  OmbrelEditor::kSwitchOnBitmap,
    OmbrelEditor::kSwitchPressedBitmap, OmbrelEditor::kChannelOnBitmap,
    OmbrelEditor::kChannelOffBitmap,
};

// Colours of the skin.
constexpr COLORREF kLabelColour = RGB(0x9A, 0xA0, 0xA6);
constexpr COLORREF kEdgeColour = RGB(0x3A, 0x3F, 0x47);
constexpr COLORREF kValueText = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kValueBackground = RGB(0x00, 0x00, 0x00);
constexpr int kLabelFontHeight = 11;
constexpr int kValueFontHeight = 12;

// Right of the picture (these move with its width).
constexpr int kLegendX = 326;
constexpr int kLegendWidth = 12;
constexpr int kLegendLabelX = 342;
constexpr int kHighSliderX = 386;
constexpr int kLowSliderX = 432;
constexpr int kSliderY = 68;
constexpr int kLevelReadoutY = 224;
constexpr int kLevelReadoutWidth = 30;
constexpr int kSwitchX = 380;
constexpr int kSwitchY = 244;
constexpr int kChannelX[3] = {380, 408, 436};
constexpr int kChannelY = 278;
constexpr int kLogoX = 400;
constexpr int kLogoY = 8;
constexpr const char* kChannelLabels[3] = {"L", "L+R", "R"};
// The readouts under the mouse, below the copy area (they stay where they are).
constexpr int kReadoutY = 283;
constexpr int kReadoutHeight = 14;
struct ReadoutPlace {
    const char* label;
    const char* unit;
    int labelX, fieldLeft, fieldRight;
};
constexpr ReadoutPlace kReadouts[3] = {
    {"Time", "s", 23, 52, 94},
    {"Freq", "Hz", 112, 140, 188},
    {"Level", "dB", 214, 246, 288},
};
// Pixels per spectrum at the usual width: one in full band, four in the slower low band.
constexpr int kFullBandPixelsPerSpectrum = 1;
constexpr int kLowBandPixelsPerSpectrum = 4;
constexpr double kLowBandViewRateHz = 2000.0; // its top row reads 1000 Hz
constexpr int kDefaultRateHz = 44100;
// The values changed from outside are shown on the editor's thread.
constexpr UINT kMsgSyncValues = 0x8000 + 2; // WM_APP + 2
// Code of a right press in a control's WM_NOTIFY.
constexpr int kRightPressNotify = -5;

OmbrelParameters* ombrelSet(ParameterSet* set) {
    return static_cast<OmbrelParameters*>(set);
}

int rounded(float value) {
    return static_cast<int>(std::floor(value + 0.5f));
}

// A step between scale labels of at least minPixels on an axis of span units over pixels.
double labelStep(double span, int pixels, int minPixels) {
    static constexpr double kSteps[] = {0.1, 0.2, 0.25, 0.5, 1,    2,    2.5,  5,     10,    20,
                                        25,  50,  100,  200, 250,  500,  1000, 2000,  2500,  5000,
                                        10000, 20000, 30, 60};
    double best = 0;
    for (double step : kSteps) {
        if (span <= 0 || pixels <= 0) break;
        if (step / span * pixels >= minPixels && (best == 0 || step < best)) best = step;
    }
    return best > 0 ? best : span;
}

void drawText(HDC dc, const char* text, RECT box, UINT format) {
    DrawTextA(dc, text, -1, &box, format | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
}

} // namespace

OmbrelEditor::OmbrelEditor(ParameterSet* parameters) : EditorHost(parameters) {}

RECT OmbrelEditor::pictureRect() const {
    RECT r = kPicture;
    r.right += extraWidth_;
    return r;
}

RECT OmbrelEditor::copyRect() const {
    RECT r = kCopyArea;
    r.right += extraWidth_;
    return r;
}

void OmbrelEditor::openContent(HWND client, SIZE* clientSize) {
    bitmaps_.load(instance(), kBitmapIds, int(std::size(kBitmapIds)));
    *clientSize = SIZE{kClientWidth, kClientHeight};
    font_ = CreateFontA(kLabelFontHeight, 0, 0, 0, FW_MEDIUM, FALSE, FALSE, FALSE, ANSI_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH,
                        "Arial");
    HINSTANCE module = instance();
    HPALETTE pal = bitmaps_.palette();
    extraWidth_ = 0;
    view_ = std::make_unique<SpectrogramDisplay>(client, kPicture.left, kPicture.top,
                                              kPicture.right - kPicture.left,
                                              kPicture.bottom - kPicture.top, kViewId, module);
    highSlider_ = std::make_unique<controls::Slider>(
        client, kHighSliderX, kSliderY, kHighSliderId, bitmaps_.bitmap(kSliderTrackBitmap),
        bitmaps_.bitmap(kSliderThumbBitmap), int(kHighestHighDb - kMeetingDb), module, pal);
    highSlider_->setRange(kMeetingDb, kHighestHighDb);
    lowSlider_ = std::make_unique<controls::Slider>(
        client, kLowSliderX, kSliderY, kLowSliderId, bitmaps_.bitmap(kSliderTrackBitmap),
        bitmaps_.bitmap(kSliderThumbBitmap), int(kMeetingDb - kLowestLowDb), module, pal);
    lowSlider_->setRange(kLowestLowDb, kMeetingDb);
    highReadout_ = std::make_unique<controls::TextField>(
        client, kHighSliderX - 7, kLevelReadoutY, kHighSliderX - 7 + kLevelReadoutWidth,
        kLevelReadoutY + kReadoutHeight, 0, kValueBackground, kValueText, kValueFontHeight, module,
        pal);
    lowReadout_ = std::make_unique<controls::TextField>(
        client, kLowSliderX - 7, kLevelReadoutY, kLowSliderX - 7 + kLevelReadoutWidth,
        kLevelReadoutY + kReadoutHeight, 0, kValueBackground, kValueText, kValueFontHeight, module,
        pal);
    lowBandSwitch_ = std::make_unique<controls::Button>(
        client, kSwitchX, kSwitchY, controls::kPlainSwitch, kLowBandSwitchId,
        bitmaps_.bitmap(kSwitchOnBitmap), bitmaps_.bitmap(kSwitchOffBitmap),
        bitmaps_.bitmap(kSwitchPressedBitmap), module, pal);
    const HBITMAP on[3] = {bitmaps_.bitmap(kChannelOnBitmap), bitmaps_.bitmap(kChannelOnBitmap),
                           bitmaps_.bitmap(kChannelOnBitmap)};
    const HBITMAP off[3] = {bitmaps_.bitmap(kChannelOffBitmap),
                            bitmaps_.bitmap(kChannelOffBitmap),
                            bitmaps_.bitmap(kChannelOffBitmap)};
    const int channelY[3] = {kChannelY, kChannelY, kChannelY};
    channelSelector_ = std::make_unique<controls::Selector>(
        client, kChannelSelectorId, 3, kChannelX, channelY, on, off, false, module, pal);
    logo_ = std::make_unique<controls::Button>(client, kLogoX, kLogoY, controls::kMomentary,
                                               kLogoId, bitmaps_.bitmap(kLogoBitmap),
                                               bitmaps_.bitmap(kLogoBitmap),
                                               bitmaps_.bitmap(kLogoBitmap), module, pal);
    for (int i = 0; i < 3; ++i) {
        readouts_[i] = std::make_unique<controls::TextField>(
            client, kReadouts[i].fieldLeft, kReadoutY, kReadouts[i].fieldRight,
            kReadoutY + kReadoutHeight, 0, kValueBackground, kValueText, kValueFontHeight, module,
            pal);
        readouts_[i]->text("0.0");
    }
    levels_.assign(size_t(kRingStorageRows) * size_t(kSpectrumBins), kDisplayFloorDb);

    // The plug-in's settings as they are now; the spectra it holds start the picture.
    pullValues(kModeAll);
    syncControls();
    configureView();
    SetTimer(client, kCollectTimer, kCollectPeriodMs, nullptr);
}

void OmbrelEditor::closeContent() {
    KillTimer(clientWindow(), kCollectTimer);
    view_.reset();
    highSlider_.reset();
    lowSlider_.reset();
    highReadout_.reset();
    lowReadout_.reset();
    lowBandSwitch_.reset();
    channelSelector_.reset();
    logo_.reset();
    for (auto& readout : readouts_)
        readout.reset();
    if (font_ != nullptr) DeleteObject(font_);
    font_ = nullptr;
    bitmaps_.destroy();
    extraWidth_ = 0;
}

void OmbrelEditor::loadValues() {
    // Called on the host's thread: the controls follow on the editor's.
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgSyncValues, 0, 0);
}

void OmbrelEditor::syncControls() {
    if (parameters() == nullptr) return;
    bool lowBand = false;
    {
        ScopedLock lock(*this->lock());
        OmbrelParameters* set = ombrelSet(parameters());
        lowBand = settingValue(set->value(kOmbrelLowBand)) != 0;
        channelView_ = std::clamp(settingValue(set->value(kOmbrelView)), 0, 2);
        channels_ = settingValue(set->value(kOmbrelChannels)) == 1 ? 1 : 2;
        running_ = settingValue(set->value(kOmbrelRunning)) != 0;
    }
    if (channels_ == 1) channelView_ = 0;
    if (lowBandSwitch_) lowBandSwitch_->setState(lowBand ? controls::Button::kOn : controls::Button::kOff);
    if (channelSelector_) {
        channelSelector_->select(channelView_);
        channelSelector_->enable(channels_ == 2);
    }
    if (highSlider_) highSlider_->setValue(highDb_);
    if (lowSlider_) lowSlider_->setValue(lowDb_);
    if (highReadout_) highReadout_->integer("%d", int(highDb_));
    if (lowReadout_) lowReadout_->integer("%d", int(lowDb_));
    if (lowBand != lowBand_ && view_ != nullptr) {
        lowBand_ = lowBand;
        configureView();
    }
    lowBand_ = lowBand;
}

void OmbrelEditor::configureView() {
    if (view_ == nullptr) return;
    const int rate = sampleRate() > 0 ? sampleRate() : kDefaultRateHz;
    int bins = kSpectrumBins;
    double analysisRate = rate;
    double hopSeconds = double(kFullBandHop) / rate;
    int pixelsPerSpectrum = kFullBandPixelsPerSpectrum;
    if (lowBand_) {
        const AntiAliasSet* set = antiAliasSetForRate(rate);
        const int decimation = set != nullptr ? set->decimation : std::max(1, rate / 4000);
        bins = kLowBandShownBins;
        analysisRate = kLowBandViewRateHz;
        hopSeconds = double(kLowBandWindowLength) * decimation / rate;
        pixelsPerSpectrum = kLowBandPixelsPerSpectrum;
    }
    const int usualWidth = kPicture.right - kPicture.left;
    int columns = usualWidth / pixelsPerSpectrum;
    int width = usualWidth;
    if (spanMs_ > 0) {
        const int needed = int(std::ceil(spanMs_ / 1000.0 / hopSeconds));
        if (needed > columns) {
            columns = needed;
            width = std::min(needed * pixelsPerSpectrum, kWidestPicturePixels);
        }
    }
    const int extra = width - usualWidth;
    if (extra != extraWidth_) {
        extraWidth_ = extra;
        view_->resize(width);
        auto place = [&](HWND window, int x, int y) {
            if (window != nullptr)
                SetWindowPos(window, nullptr, x + extra, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        };
        place(highSlider_->hwnd(), kHighSliderX, kSliderY);
        place(lowSlider_->hwnd(), kLowSliderX, kSliderY);
        place(highReadout_->hwnd(), kHighSliderX - 7, kLevelReadoutY);
        place(lowReadout_->hwnd(), kLowSliderX - 7, kLevelReadoutY);
        place(lowBandSwitch_->hwnd(), kSwitchX, kSwitchY);
        place(channelSelector_->hwnd(), kChannelX[0], kChannelY);
        place(logo_->hwnd(), kLogoX, kLogoY);
        resizeContent(SIZE{kClientWidth + extra, kClientHeight});
    }
    view_->configure(kSpectrumFftLength, bins, analysisRate, columns, columns * hopSeconds);
    view_->setSmoothing(lowBand_);
    view_->setRange(lowDb_, highDb_);
    if (clientWindow() != nullptr) InvalidateRect(clientWindow(), nullptr, FALSE);
}

void OmbrelEditor::setLevels(float lowDb, float highDb) {
    lowDb_ = lowDb;
    highDb_ = highDb;
    if (view_) view_->setRange(lowDb_, highDb_);
    if (highReadout_) highReadout_->integer("%d", int(highDb_));
    if (lowReadout_) lowReadout_->integer("%d", int(lowDb_));
    // The legend shows the new range.
    const RECT picture = pictureRect();
    RECT legend{kLegendX + extraWidth_, picture.top, kLegendX + extraWidth_ + kLegendWidth,
                picture.bottom};
    InvalidateRect(clientWindow(), &legend, FALSE);
}

void OmbrelEditor::setSetting(int32_t index, float value) {
    if (parameters() == nullptr) return;
    {
        ScopedLock lock(*this->lock());
        parameters()->setFloat(index, value);
    }
    pushChanges();
}

void OmbrelEditor::collect() {
    if (view_ == nullptr || parameters() == nullptr) return;
    pullValues(kOmbrelSpectra);
    int count = 0;
    {
        ScopedLock lock(*this->lock());
        OmbrelParameters* set = ombrelSet(parameters());
        count = std::clamp(settingValue(set->value(kOmbrelSpectraCount)), 0,
                           std::min(set->spectraCapacity(), kRingStorageRows));
        const auto* powers = static_cast<const float*>(set->arrayData(kOmbrelSpectra));
        for (size_t i = 0; i < size_t(count) * size_t(kSpectrumBins); ++i)
            levels_[i] = displayLevelDb(powers[i]);
        // A plug-in that hands nothing back leaves no old block to draw twice.
        set->setValue(kOmbrelSpectraCount, 0.0f);
    }
    if (count > 0 && running_) view_->drawSpectra(levels_.data(), count, kSpectrumBins);
}

void OmbrelEditor::timer(UINT_PTR id) {
    if (id == kCollectTimer) collect();
}

void OmbrelEditor::special(WPARAM wParam, LPARAM lParam) {
    if (wParam != kOmbrelEditorSpanRequest || view_ == nullptr) return;
    spanMs_ = std::max<long>(0, long(lParam));
    configureView();
}

bool OmbrelEditor::copyToClipboard(bool inverted) {
    return controls::copyWindowAreaToClipboard(clientWindow(), copyRect(), inverted);
}

// Painting ------------------------------------------------------------------------------------

bool OmbrelEditor::paint(HWND window, HDC dc) {
    if (window != clientWindow()) return false;
    RECT area{};
    GetClientRect(window, &area);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP canvas = CreateCompatibleBitmap(dc, area.right, area.bottom);
    HGDIOBJ previous = SelectObject(memory, canvas);
    paintContent(memory, area);
    BitBlt(dc, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(canvas);
    DeleteDC(memory);
    return true;
}

void OmbrelEditor::paintBackground(HDC dc) {
    HBITMAP background = bitmaps_.bitmap(kBackgroundBitmap);
    const int split = kPicture.right;
    if (background == nullptr) {
        RECT all{0, 0, kClientWidth + extraWidth_, kClientHeight};
        HBRUSH panel = CreateSolidBrush(RGB(0x1E, 0x21, 0x26));
        FillRect(dc, &all, panel);
        DeleteObject(panel);
        return;
    }
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(source, background);
    // The background splits at the picture's right edge; a wider picture stretches the
    // column just left of it.
    BitBlt(dc, 0, 0, split, kClientHeight, source, 0, 0, SRCCOPY);
    if (extraWidth_ > 0)
        StretchBlt(dc, split, 0, extraWidth_, kClientHeight, source, split - 1, 0, 1,
                   kClientHeight, SRCCOPY);
    BitBlt(dc, split + extraWidth_, 0, kClientWidth - split, kClientHeight, source, split, 0,
           SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
}

void OmbrelEditor::paintContent(HDC dc, const RECT& area) {
    (void)area;
    paintBackground(dc);
    HGDIOBJ previousFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLabelColour);
    paintScales(dc);
    // Labels of the controls.
    const int x = extraWidth_;
    drawText(dc, "High", RECT{kHighSliderX - 8 + x, kSliderY - 14, kHighSliderX + 24 + x, kSliderY - 2},
             DT_CENTER | DT_BOTTOM);
    drawText(dc, "Low", RECT{kLowSliderX - 8 + x, kSliderY - 14, kLowSliderX + 24 + x, kSliderY - 2},
             DT_CENTER | DT_BOTTOM);
    SIZE switchSize = bitmaps_.size(kSwitchOffBitmap);
    drawText(dc, "Low band",
             RECT{kSwitchX + switchSize.cx + 6 + x, kSwitchY, kClientWidth + x, kSwitchY + switchSize.cy},
             DT_LEFT | DT_VCENTER);
    const SIZE channelSize = bitmaps_.size(kChannelOffBitmap);
    for (int i = 0; i < 3; ++i)
        drawText(dc, kChannelLabels[i],
                 RECT{kChannelX[i] + x, kChannelY - 14, kChannelX[i] + channelSize.cx + x, kChannelY - 2},
                 DT_CENTER | DT_BOTTOM);
    for (const ReadoutPlace& r : kReadouts) {
        drawText(dc, r.label, RECT{r.labelX, kReadoutY, r.fieldLeft - 4, kReadoutY + kReadoutHeight},
                 DT_RIGHT | DT_VCENTER);
        drawText(dc, r.unit,
                 RECT{r.fieldRight + 3, kReadoutY, r.fieldRight + 30, kReadoutY + kReadoutHeight},
                 DT_LEFT | DT_VCENTER);
    }
    SelectObject(dc, previousFont);
}

void OmbrelEditor::paintScales(HDC dc) {
    if (view_ == nullptr) return;
    const ViewGeometry& g = view_->geometry();
    const RECT picture = pictureRect();
    const int height = picture.bottom - picture.top;
    const int width = picture.right - picture.left;
    HPEN edge = CreatePen(PS_SOLID, 1, kEdgeColour);
    HPEN tick = CreatePen(PS_SOLID, 1, kLabelColour);
    HGDIOBJ previousPen = SelectObject(dc, edge);
    HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    // The well around the picture and the legend.
    Rectangle(dc, picture.left - 1, picture.top - 1, picture.right + 1, picture.bottom + 1);
    const int legendX = kLegendX + extraWidth_;
    Rectangle(dc, legendX - 1, picture.top - 1, legendX + kLegendWidth + 1, picture.bottom + 1);
    SelectObject(dc, tick);

    // Frequency: low at the bottom, the top row at half the analysis rate.
    const double top = g.topFrequencyHz;
    const bool kilo = top > 2000.0;
    const double fStep = labelStep(top, height, 28);
    char text[32];
    drawText(dc, kilo ? "kHz" : "Hz", RECT{kCopyArea.left, kCopyArea.top, picture.left - 4, picture.top - 2},
             DT_RIGHT | DT_BOTTOM);
    for (double f = 0; f <= top + 1e-9; f += fStep) {
        const int y = picture.bottom - 1 - int(f / top * (height - 1) + 0.5);
        MoveToEx(dc, picture.left - 4, y, nullptr);
        LineTo(dc, picture.left - 1, y);
        if (kilo)
            std::snprintf(text, sizeof text, fStep < 1000 ? "%.1f" : "%.0f", f / 1000.0);
        else
            std::snprintf(text, sizeof text, "%.0f", f);
        drawText(dc, text, RECT{kCopyArea.left, y - 7, picture.left - 6, y + 7}, DT_RIGHT | DT_VCENTER);
    }

    // Time: the newest column at the right edge, the picture's span at the left.
    const double span = g.timeSpanSeconds;
    const double tStep = labelStep(span, width, 44);
    for (double t = 0; t <= span + 1e-9; t += tStep) {
        const int x = picture.right - 1 - int(t / span * (width - 1) + 0.5);
        MoveToEx(dc, x, picture.bottom, nullptr);
        LineTo(dc, x, picture.bottom + 4);
        if (t == 0)
            std::snprintf(text, sizeof text, "0 s");
        else
            std::snprintf(text, sizeof text, "-%g", std::round(t * 10.0) / 10.0);
        RECT box{x - 30, picture.bottom + 5, x + 30, picture.bottom + 19};
        // The labels stay inside the copy.
        if (box.right > copyRect().right) {
            box.left -= box.right - copyRect().right;
            box.right = copyRect().right;
        }
        drawText(dc, text, box, DT_CENTER | DT_TOP);
    }

    // The legend: 0 dB at the top to −100 dB at the bottom, the colours stretched between the
    // two levels.
    std::vector<int> indices(size_t(std::max(height, 1)));
    legendIndices(lowDb_, highDb_, height, indices.data());
    for (int y = 0; y < height; ++y) {
        RECT row{legendX, picture.top + y, legendX + kLegendWidth, picture.top + y + 1};
        HBRUSH brush = CreateSolidBrush(kScaleColours[size_t(indices[size_t(y)])]);
        FillRect(dc, &row, brush);
        DeleteObject(brush);
    }
    drawText(dc, "dB", RECT{legendX - 4, kCopyArea.top, legendX + 40, picture.top - 2}, DT_LEFT | DT_BOTTOM);
    for (int db = 0; db >= -100; db -= 20) {
        const int y = picture.top + std::min(int(db * height / kLegendSpanDb), height - 1);
        MoveToEx(dc, legendX + kLegendWidth + 1, y, nullptr);
        LineTo(dc, legendX + kLegendWidth + 4, y);
        std::snprintf(text, sizeof text, "%d", db);
        drawText(dc, text, RECT{kLegendLabelX + extraWidth_ + 1, y - 7, copyRect().right, y + 7},
                 DT_LEFT | DT_VCENTER);
    }
    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);
    DeleteObject(edge);
    DeleteObject(tick);
}

// Messages ------------------------------------------------------------------------------------

bool OmbrelEditor::message(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT* result) {
    if (window != clientWindow()) return false;
    switch (message) {
    case kMsgSyncValues:
        syncControls();
        *result = 0;
        return true;
    case WM_RBUTTONDOWN:
        copyToClipboard((wParam & MK_CONTROL) != 0 || GetKeyState(VK_CONTROL) < 0);
        *result = 0;
        return true;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && int(header->code) == kRightPressNotify)
            copyToClipboard(GetKeyState(VK_CONTROL) < 0);
        *result = 0;
        return true;
    }
    case WM_COMMAND:
        break;
    default:
        return false;
    }
    *result = 0;
    const int id = LOWORD(wParam);
    switch (id) {
    case kHighSliderId:
    case kLowSliderId: {
        const auto* value = reinterpret_cast<const controls::SliderValue*>(lParam);
        if (value == nullptr) return true;
        if (id == kHighSliderId)
            setLevels(lowDb_, float(rounded(value->value)));
        else
            setLevels(float(rounded(value->value)), highDb_);
        return true;
    }
    case kLowBandSwitchId: {
        const bool lowBand = lParam == controls::Button::kOn;
        setSetting(kOmbrelLowBand, lowBand ? 1.0f : 0.0f);
        // The ring's size follows the mode: the exchange block follows the ring.
        pullValues(kOmbrelRingRows);
        lowBand_ = lowBand;
        configureView();
        return true;
    }
    case kChannelSelectorId:
        if (lParam >= 0 && lParam < 3) {
            channelView_ = int(lParam);
            setSetting(kOmbrelView, float(channelView_));
        }
        return true;
    case kLogoId:
        openAboutBox();
        return true;
    case kViewId:
        if (HIWORD(wParam) == SpectrogramDisplay::kMouseMovedCode && view_ != nullptr) {
            const ViewReadout& r = view_->lastReadout();
            readouts_[0]->number("%.1f", float(r.timeSeconds));
            readouts_[1]->integer("%d", r.frequencyHz);
            readouts_[2]->number("%.1f", r.levelDb);
        }
        return true;
    default:
        return false;
    }
}

// The about box -------------------------------------------------------------------------------

void OmbrelEditor::openAboutBox() {
    if (clientWindow() == nullptr) return;
    DialogBoxParamA(instance(), MAKEINTRESOURCEA(WORD(kAboutDialog)), clientWindow(),
                    &OmbrelEditor::aboutProcedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK OmbrelEditor::aboutProcedure(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG: {
        const std::string version =
            moduleProductVersion(reinterpret_cast<OmbrelEditor*>(lParam)->instance());
        char text[256];
        std::snprintf(text, sizeof text, "Version %s", version.c_str());
        SetDlgItemTextA(dialog, kAboutVersionId, text);
        return TRUE;
    }
    case WM_LBUTTONDOWN:
        EndDialog(dialog, IDOK);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDOK);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace orq::spectrogram

namespace orq {

EditorHost* createOmbrelEditor(ParameterSet* parameters) {
    return makeEditor<spectrogram::OmbrelEditor>(parameters);
}

} // namespace orq
