#include "scope/lunavis_editor.h"

#include "controls/clipboard.h"
#include "runtime/plugin_glue.h"
#include "scope/lunavis_parameters.h"
#include "scope/lunavis_plugin.h"

#include <cstdio>
#include <iterator>

namespace orq::scope {
namespace {

constexpr int kBitmapIds[] = {
    LunavisEditor::kBackgroundBitmap, LunavisEditor::kLogoBitmap, LunavisEditor::kMonoOffBitmap,
    LunavisEditor::kMonoOnBitmap,     LunavisEditor::kAboutBitmap,
    LunavisEditor::kScopeDisplayBitmap,
};
constexpr int kMonoX = 232;
constexpr int kMonoY = 60;
constexpr int kLogoX = 236;
constexpr int kLogoY = 8;
constexpr COLORREF kLabelColour = RGB(0x9A, 0xA0, 0xA6);
constexpr int kLabelFontHeight = 11;
// The about box's text.
constexpr double kAboutVersion = 1.5;
// The values changed from outside are shown on the editor's thread.
constexpr UINT kMsgSyncValues = 0x8000 + 2; // WM_APP + 2

LunavisParameters* lunavisSet(ParameterSet* set) {
    return static_cast<LunavisParameters*>(set);
}

void drawText(HDC dc, const char* text, RECT box, UINT format) {
    DrawTextA(dc, text, -1, &box, format | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
}

} // namespace

LunavisEditor::LunavisEditor(ParameterSet* parameters)
    : EditorHost(parameters), block_(std::make_unique<ScopeBlock>()) {}

LunavisEditor::~LunavisEditor() = default;

void LunavisEditor::openContent(HWND client, SIZE* clientSize) {
    bitmaps_.load(instance(), kBitmapIds, int(std::size(kBitmapIds)));
    *clientSize = SIZE{kClientWidth, kClientHeight};
    font_ = CreateFontA(kLabelFontHeight, 0, 0, 0, FW_MEDIUM, FALSE, FALSE, FALSE, ANSI_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH,
                        "Arial");
    HINSTANCE module = instance();
    HPALETTE pal = bitmaps_.palette();
    scope_ = std::make_unique<ScopeDisplay>(
        client, kScopeArea.left, kScopeArea.top, kScopeArea.right - kScopeArea.left,
        kScopeArea.bottom - kScopeArea.top, kScopeId, bitmaps_.bitmap(kScopeDisplayBitmap), module,
        pal);
    meter_ = std::make_unique<CorrelationMeterDisplay>(
        client, kMeterArea.left, kMeterArea.top, kMeterArea.right - kMeterArea.left,
        kMeterArea.bottom - kMeterArea.top, kMeterId, module);
    range_ = std::make_unique<RangeBarDisplay>(
        client, kRangeArea.left, kRangeArea.top, kRangeArea.right - kRangeArea.left,
        kRangeArea.bottom - kRangeArea.top, kRangeId, module);
    mono_ = std::make_unique<controls::Button>(client, kMonoX, kMonoY, controls::kPlainSwitch,
                                               kMonoCommand, bitmaps_.bitmap(kMonoOnBitmap),
                                               bitmaps_.bitmap(kMonoOffBitmap), nullptr, module,
                                               pal);
    logo_ = std::make_unique<controls::Button>(client, kLogoX, kLogoY, controls::kMomentary,
                                               kLogoCommand, bitmaps_.bitmap(kLogoBitmap),
                                               bitmaps_.bitmap(kLogoBitmap),
                                               bitmaps_.bitmap(kLogoBitmap), module, pal);
    // The plug-in's values once, and the rows it holds now.
    pullValues(kModeAll);
    if (parameters() != nullptr) {
        ScopedLock lock(*this->lock());
        LunavisParameters* set = lunavisSet(parameters());
        monoOn_ = set->value(kLunavisMono) != 0.0f;
        continuousRing_ = set->value(kLunavisContinuousRing);
        scale_ = set->value(kLunavisScale);
        copyScopeRows(set->block(), *block_);
    }
    mono_->setState(monoOn_ ? controls::Button::kOn : controls::Button::kOff);
    ballistics_.restart();
    meter_->setValue(ballistics_.value());
    range_->setRange(ballistics_.minimum(), ballistics_.maximum());
    SetTimer(client, kCollectTimer, kCollectPeriodMs, nullptr);
}

void LunavisEditor::closeContent() {
    KillTimer(clientWindow(), kCollectTimer);
    ballistics_.restart();
    if (scope_ != nullptr && continuousRing_ == 0.0f) scope_->clearPoints();
    scope_.reset();
    meter_.reset();
    range_.reset();
    mono_.reset();
    logo_.reset();
    if (font_ != nullptr) DeleteObject(font_);
    font_ = nullptr;
    bitmaps_.destroy();
}

void LunavisEditor::loadValues() {
    if (clientWindow() != nullptr) PostMessageA(clientWindow(), kMsgSyncValues, 0, 0);
}

void LunavisEditor::syncMono() {
    if (parameters() == nullptr || mono_ == nullptr) return;
    {
        ScopedLock lock(*this->lock());
        monoOn_ = lunavisSet(parameters())->value(kLunavisMono) != 0.0f;
    }
    mono_->setState(monoOn_ ? controls::Button::kOn : controls::Button::kOff);
}

void LunavisEditor::collect() {
    if (scope_ == nullptr || parameters() == nullptr) return;
    pullValues(kLunavisData);
    if (continuousRing_ != 0.0f) pullValues(kLunavisPeakData);
    int rows = 0;
    {
        ScopedLock lock(*this->lock());
        ScopeBlock& own = lunavisSet(parameters())->block();
        copyScopeRows(own, *block_);
        // Rows are drawn once: a plug-in that hands nothing back leaves nothing to draw again.
        own.count = 0.0f;
    }
    rows = scopeValidRows(*block_);
    if (rows == 0) return;
    // The display keeps the last row it is given: the newest.
    if (continuousRing_ == 0.0f)
        scope_->setPoints(block_->x[rows - 1], block_->y[rows - 1], kScopeBlockFrames);
    double sum = 0.0;
    for (int r = 0; r < rows; ++r)
        sum += block_->correlation[r];
    ballistics_.update(float(sum / rows), monoOn_);
    meter_->setValue(ballistics_.value());
    range_->setRange(ballistics_.minimum(), ballistics_.maximum());
}

void LunavisEditor::timer(UINT_PTR id) {
    if (id == kCollectTimer) collect();
}

void LunavisEditor::resetRange() {
    ballistics_.reset();
    if (range_ != nullptr)
        range_->setRange(CorrelationBallistics::kNeutral, CorrelationBallistics::kNeutral);
}

bool LunavisEditor::copyToClipboard(bool inverted) {
    return controls::copyWindowAreaToClipboard(clientWindow(), kScopeArea, inverted);
}

bool LunavisEditor::paint(HWND window, HDC dc) {
    if (window != clientWindow()) return false;
    RECT area{};
    GetClientRect(window, &area);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP canvas = CreateCompatibleBitmap(dc, area.right, area.bottom);
    HGDIOBJ previous = SelectObject(memory, canvas);
    if (HBITMAP background = bitmaps_.bitmap(kBackgroundBitmap)) {
        bitmaps_.draw(memory, 0, 0, kBackgroundBitmap);
        (void)background;
    } else {
        HBRUSH panel = CreateSolidBrush(RGB(0x1E, 0x21, 0x26));
        FillRect(memory, &area, panel);
        DeleteObject(panel);
    }
    HGDIOBJ previousFont = SelectObject(memory, font_);
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, kLabelColour);
    drawText(memory, "Correlation",
             RECT{kMeterArea.left, kMeterArea.top - 14, kMeterArea.right, kMeterArea.top - 2},
             DT_LEFT | DT_BOTTOM);
    const struct {
        float value;
        const char* text;
    } marks[] = {{0.0f, "-1"}, {0.5f, "0"}, {1.0f, "+1"}};
    for (const auto& mark : marks) {
        const int x = kRangeArea.left + (meter_ ? meter_->columnOf(mark.value) : 0);
        RECT box{x - 12, kRangeArea.bottom + 2, x + 12, kRangeArea.bottom + 14};
        if (box.left < kRangeArea.left - 4) box = RECT{kRangeArea.left, box.top, kRangeArea.left + 24, box.bottom};
        if (box.right > kRangeArea.right + 4) box = RECT{kRangeArea.right - 24, box.top, kRangeArea.right, box.bottom};
        drawText(memory, mark.text, box,
                 mark.value == 0.0f ? DT_LEFT : mark.value == 1.0f ? DT_RIGHT : DT_CENTER);
    }
    const SIZE monoSize = bitmaps_.size(kMonoOffBitmap);
    drawText(memory, "Mono",
             RECT{kMonoX + monoSize.cx + 6, kMonoY, kClientWidth, kMonoY + monoSize.cy},
             DT_LEFT | DT_VCENTER);
    SelectObject(memory, previousFont);
    BitBlt(dc, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(canvas);
    DeleteDC(memory);
    return true;
}

bool LunavisEditor::message(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT* result) {
    if (window != clientWindow()) return false;
    *result = 0;
    switch (message) {
    case kMsgSyncValues:
        syncMono();
        return true;
    case WM_RBUTTONDOWN:
        copyToClipboard((wParam & MK_CONTROL) != 0 || GetKeyState(VK_CONTROL) < 0);
        return true;
    case WM_NOTIFY: {
        // A right press on a control copies as a press on the editor does.
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->code == controls::kNotifyRightDown)
            copyToClipboard(GetKeyState(VK_CONTROL) < 0);
        return true;
    }
    case WM_LBUTTONDOWN: {
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (at.x >= kResetArea.left && at.x < kResetArea.right && at.y >= kResetArea.top &&
            at.y < kResetArea.bottom)
            resetRange();
        return true;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kMeterId:
        case kRangeId:
            resetRange();
            return true;
        case kMonoCommand:
            monoOn_ = lParam == controls::Button::kOn;
            if (parameters() != nullptr) {
                {
                    ScopedLock lock(*this->lock());
                    parameters()->setFloat(kLunavisMono, monoOn_ ? 1.0f : 0.0f);
                }
                pushChanges();
            }
            ballistics_.reset();
            return true;
        case kLogoCommand:
            openAboutBox();
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

void LunavisEditor::openAboutBox() {
    if (clientWindow() == nullptr) return;
    DialogBoxParamA(instance(), MAKEINTRESOURCEA(WORD(kAboutDialog)), clientWindow(),
                    &LunavisEditor::aboutProcedure, 0);
}

INT_PTR CALLBACK LunavisEditor::aboutProcedure(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        char text[64];
        std::snprintf(text, sizeof text, "Version: %.1f Orq.", kAboutVersion);
        SetDlgItemTextA(dialog, kAboutVersionId, text);
        return TRUE;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_COMMAND:
        // Any click closes it.
        EndDialog(dialog, IDOK);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace orq::scope

namespace orq {

EditorHost* createLunavisEditor(ParameterSet* parameters) {
    return makeEditor<scope::LunavisEditor>(parameters);
}

} // namespace orq
