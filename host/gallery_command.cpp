// orq gallery: every kind of control in each of its states on one sheet, painted from orq's own
// bitmaps (resources 20000 ... 20060) with a caption under each, written as a PNG picture. The
// sheet shows the skin's control pieces together, the way the editors put them.
#include "host/commands.h"
#include "host/output_files.h"

#include "controls/bar_meter.h"
#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "controls/knob.h"
#include "controls/rocker.h"
#include "controls/selector.h"
#include "controls/slider.h"
#include "controls/text_field.h"

#include <windows.h>

#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace orq::host {

GalleryOptions parseGallery(const std::vector<std::string>& args) {
    GalleryOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--png") {
            if (i + 1 >= args.size()) throw UsageError("--png needs a value");
            o.png = args[++i];
        } else {
            throw UsageError("gallery takes only --png OUT.png, not '" + args[i] + "'");
        }
    }
    if (o.png.empty()) throw UsageError("gallery needs --png OUT.png");
    return o;
}

namespace {

using namespace orq::controls;

// Resource numbers of the gallery's bitmaps.
enum GalleryBitmap : int {
    kSwitchOff = 20000,
    kSwitchOn = 20001,
    kSwitchPressed = 20002,
    kLampOff = 20003,
    kLampOn = 20004,
    kRockerLeft = 20010,
    kRockerIdle = 20011,
    kRockerRight = 20012,
    kVerticalTrack = 20020,
    kVerticalThumb = 20021,
    kHorizontalTrack = 20022,
    kHorizontalThumb = 20023,
    kKnobBackground = 20030,
    kKnobDot = 20031,
    kKnobMask = 20032,
    kSelectorOn = 20040,
    kSelectorOff = 20041,
    kVerticalMeterEmpty = 20050,
    kVerticalMeterFull = 20051,
    kHorizontalMeterEmpty = 20052,
    kHorizontalMeterFull = 20053,
    kFieldBackground = 20060,
};
constexpr int kBitmapIds[] = {
    kSwitchOff,
    kSwitchOn,
    kSwitchPressed,
    kLampOff,
    kLampOn,
    kRockerLeft,
    kRockerIdle,
    kRockerRight,
    kVerticalTrack,
    kVerticalThumb,
    kHorizontalTrack,
    kHorizontalThumb,
    kKnobBackground,
    kKnobDot,
    kKnobMask,
    kSelectorOn,
    kSelectorOff,
    kVerticalMeterEmpty,
    kVerticalMeterFull,
    kHorizontalMeterEmpty,
    kHorizontalMeterFull,
    kFieldBackground,
};

constexpr char kClassName[] = "OrqGallery";
constexpr char kTitle[] = "Tarvelle control gallery";
constexpr int kSheetWidth = 720;
constexpr int kSheetHeight = 520;
constexpr int kMarginPixels = 16;
constexpr int kTitleHeight = 24;
constexpr int kCaptionGapPixels = 4;
constexpr int kCaptionHeight = 14;
constexpr int kRowGapPixels = 14;
constexpr int kCaptionFontHeight = 11;
constexpr int kTitleFontHeight = 16;
// The skin's panel, primary and secondary text: the pieces sit on the sheet as on an editor.
constexpr COLORREF kSheetColour = RGB(0x1E, 0x21, 0x26);
constexpr COLORREF kTitleColour = RGB(0xE8, 0xEA, 0xED);
constexpr COLORREF kCaptionColour = RGB(0x9A, 0xA0, 0xA6);
// Steps of the gallery's sliders and knobs.
constexpr int kSliderSteps = 24;
constexpr int kKnobSteps = 100;
constexpr double kKnobStartDegrees = 30.0;
constexpr int kMarkerThicknessPixels = 2;
constexpr int kSelectorPositions = 3;
constexpr int kSelectorGapPixels = 4; // between the positions' pictures
constexpr int kMultiBars = 2;
// The text fields' colours.
constexpr COLORREF kFieldBlack = RGB(0, 0, 0);
constexpr COLORREF kFieldGreen = RGB(0, 255, 0);
constexpr COLORREF kFieldWhite = RGB(255, 255, 255);
constexpr int kFieldFontHeight = 12;
// The bitmap field's background is the compressor's output value, drawn for 14-pixel text.
constexpr int kValueFontHeight = 14;

HFONT arial(int height, int weight) {
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH,
                       "Arial");
}

class Gallery {
  public:
    explicit Gallery(HINSTANCE resources);
    Gallery(const Gallery&) = delete;
    Gallery& operator=(const Gallery&) = delete;
    ~Gallery();
    HWND window() const { return window_; }
    bool complete() const { return complete_; }

  private:
    struct Caption {
        RECT rect;
        std::string text;
    };
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc) const;
    void build();
    // Rows of cells: each control centred in its cell, its caption under the row.
    void beginRow(int heightPixels);
    POINT cell(int widthPixels, SIZE control, const char* caption);
    void endRow();
    HBITMAP bitmap(int number) const { return bitmaps_.bitmap(number); }
    SIZE size(int number) const { return bitmaps_.size(number); }
    template <typename Control> Control* keep(std::unique_ptr<Control> control) {
        Control* raw = control.get();
        controls_.push_back(std::move(control));
        return raw;
    }

    HINSTANCE resources_;
    BitmapSet bitmaps_;
    bool complete_ = false;
    HWND window_ = nullptr;
    HFONT captionFont_ = nullptr;
    HFONT titleFont_ = nullptr;
    std::vector<std::unique_ptr<WObject>> controls_;
    std::vector<Caption> captions_;
    int rowTop_ = kMarginPixels + kTitleHeight;
    int rowHeight_ = 0;
    int cellLeft_ = kMarginPixels;
};

Gallery::Gallery(HINSTANCE resources) : resources_(resources) {
    complete_ = bitmaps_.load(resources, kBitmapIds, int(std::size(kBitmapIds)));
    captionFont_ = arial(kCaptionFontHeight, FW_NORMAL);
    titleFont_ = arial(kTitleFontHeight, FW_BOLD);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &Gallery::procedure;
    windowClass.hInstance = resources;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, kClassName, kTitle, WS_POPUP | WS_VISIBLE, 0, 0, kSheetWidth,
                              kSheetHeight, nullptr, nullptr, resources, this);
    if (window_ != nullptr) build();
}

Gallery::~Gallery() {
    // Every press the gallery made holds the mouse: give it back before the controls go.
    ReleaseCapture();
    controls_.clear();
    if (window_ != nullptr) DestroyWindow(window_);
    UnregisterClassA(kClassName, resources_);
    if (captionFont_ != nullptr) DeleteObject(captionFont_);
    if (titleFont_ != nullptr) DeleteObject(titleFont_);
}

void Gallery::beginRow(int heightPixels) {
    rowHeight_ = heightPixels;
    cellLeft_ = kMarginPixels;
}

POINT Gallery::cell(int widthPixels, SIZE control, const char* caption) {
    const POINT origin{cellLeft_ + (widthPixels - control.cx) / 2,
                       rowTop_ + (rowHeight_ - control.cy) / 2};
    const int captionTop = rowTop_ + rowHeight_ + kCaptionGapPixels;
    captions_.push_back(
        Caption{RECT{cellLeft_, captionTop, cellLeft_ + widthPixels, captionTop + kCaptionHeight},
                caption});
    cellLeft_ += widthPixels;
    return origin;
}

void Gallery::endRow() {
    rowTop_ += rowHeight_ + kCaptionGapPixels + kCaptionHeight + kRowGapPixels;
}

void Gallery::build() {
    HWND w = window_;
    HPALETTE palette = bitmaps_.palette();
    int id = 1;

    // Buttons, lamps and rockers.
    const SIZE switchSize = size(kSwitchOff);
    const SIZE rockerSize = size(kRockerIdle);
    beginRow(std::max(switchSize.cy, rockerSize.cy));
    constexpr int kButtonCell = 84;
    struct SwitchCase {
        int state;
        bool enabled;
        const char* caption;
    };
    const SwitchCase switches[] = {{Button::kOff, true, "switch off"},
                                   {Button::kOn, true, "switch on"},
                                   {Button::kPressedFromOff, true, "switch pressed"},
                                   {Button::kOff, false, "switch disabled"}};
    for (const SwitchCase& c : switches) {
        const POINT at = cell(kButtonCell, switchSize, c.caption);
        Button* button = keep(std::make_unique<Button>(
            w, at.x, at.y, kPlainSwitch, id++, bitmap(kSwitchOn), bitmap(kSwitchOff),
            bitmap(kSwitchPressed), resources_, palette));
        button->setState(c.state);
        if (!c.enabled) button->disable();
    }
    for (int lit = 0; lit <= 1; ++lit) {
        const POINT at = cell(kButtonCell - 26, size(kLampOff), lit ? "lamp on" : "lamp off");
        Button* lamp =
            keep(std::make_unique<Button>(w, at.x, at.y, kPlainSwitch, 0, bitmap(kLampOn),
                                          bitmap(kLampOff), nullptr, resources_, palette));
        lamp->disable();
        lamp->setState(lit);
    }
    const char* rockerCaptions[] = {"rocker idle", "rocker left", "rocker right"};
    for (int side = 0; side < 3; ++side) {
        const POINT at = cell(kButtonCell - 4, rockerSize, rockerCaptions[side]);
        Rocker* rocker = keep(std::make_unique<Rocker>(w, at.x, at.y, id++, bitmap(kRockerLeft),
                                                       bitmap(kRockerIdle), bitmap(kRockerRight),
                                                       resources_, palette));
        // A rocker shows a side only while it is pressed there.
        if (side != Rocker::kIdle) {
            const int x = side == Rocker::kLeft ? 1 : rockerSize.cx - 2;
            SendMessageA(rocker->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON,
                         MAKELPARAM(x, rockerSize.cy / 2));
        }
    }
    endRow();

    // Sliders: vertical and horizontal at the bottom, the middle and the top of their range.
    const SIZE verticalSize = size(kVerticalTrack);
    const SIZE horizontalSize = size(kHorizontalTrack);
    beginRow(std::max(verticalSize.cy, horizontalSize.cy));
    const float sliderValues[] = {0.0f, 0.5f, 1.0f};
    const char* verticalCaptions[] = {"vertical 0", "vertical 12", "vertical 24"};
    const char* horizontalCaptions[] = {"horizontal 0", "horizontal 12", "horizontal 24"};
    for (int i = 0; i < 3; ++i) {
        const POINT at = cell(70, verticalSize, verticalCaptions[i]);
        keep(std::make_unique<Slider>(w, at.x, at.y, id++, bitmap(kVerticalTrack),
                                      bitmap(kVerticalThumb), kSliderSteps, resources_, palette))
            ->setValue(sliderValues[i]);
    }
    for (int i = 0; i < 3; ++i) {
        const POINT at = cell(136, horizontalSize, horizontalCaptions[i]);
        keep(std::make_unique<Slider>(w, at.x, at.y, id++, bitmap(kHorizontalTrack),
                                      bitmap(kHorizontalThumb), kSliderSteps, resources_, palette))
            ->setValue(sliderValues[i]);
    }
    endRow();

    // Knobs at both stops and the middle; a selector with its middle position chosen.
    const SIZE knobSize = size(kKnobBackground);
    const SIZE selectorSize = size(kSelectorOn);
    beginRow(knobSize.cy);
    const char* knobCaptions[] = {"knob step 0", "knob step 50", "knob step 100"};
    for (int i = 0; i < 3; ++i) {
        const POINT at = cell(96, knobSize, knobCaptions[i]);
        keep(std::make_unique<Knob>(w, at.x, at.y, id++, bitmap(kKnobBackground), bitmap(kKnobDot),
                                    bitmap(kKnobMask), kKnobSteps, kKnobStartDegrees, resources_,
                                    palette))
            ->setValue(sliderValues[i]);
    }
    const int selectorSpacing = selectorSize.cx + kSelectorGapPixels;
    const SIZE selectorSpan{selectorSpacing * (kSelectorPositions - 1) + selectorSize.cx,
                            selectorSize.cy};
    const POINT selectorAt =
        cell(selectorSpan.cx + 2 * kMarginPixels, selectorSpan, "selector, second chosen");
    int xs[kSelectorPositions], ys[kSelectorPositions];
    HBITMAP on[kSelectorPositions], off[kSelectorPositions];
    for (int i = 0; i < kSelectorPositions; ++i) {
        xs[i] = selectorAt.x + i * selectorSpacing;
        ys[i] = selectorAt.y;
        on[i] = bitmap(kSelectorOn);
        off[i] = bitmap(kSelectorOff);
    }
    keep(std::make_unique<Selector>(w, id++, kSelectorPositions, xs, ys, on, off, false, resources_,
                                    palette))
        ->select(1);
    endRow();

    // Meters: empty, half, full, half with a marker at 0.8, two bars.
    const SIZE meterSize = size(kVerticalMeterEmpty);
    beginRow(meterSize.cy);
    struct MeterCase {
        float value;
        bool marker;
        const char* caption;
    };
    const MeterCase meters[] = {{0.0f, false, "meter empty"},
                                {0.5f, false, "meter half"},
                                {1.0f, false, "meter full"},
                                {0.5f, true, "meter + marker"}};
    for (const MeterCase& c : meters) {
        const POINT at = cell(92, meterSize, c.caption);
        BarMeter* meter = keep(std::make_unique<BarMeter>(
            w, at.x, at.y, c.marker ? kMarkerThicknessPixels : 0, bitmap(kVerticalMeterEmpty),
            bitmap(kVerticalMeterFull), resources_, palette));
        meter->setValue(c.value);
        if (c.marker) {
            meter->setMarker(0.8f);
            meter->setMarkerOn(true);
        }
    }
    {
        const POINT at = cell(92, meterSize, "two bars");
        const float values[kMultiBars] = {0.3f, 0.8f};
        keep(std::make_unique<BarMeter>(w, at.x, at.y, 0, bitmap(kVerticalMeterEmpty),
                                        bitmap(kVerticalMeterFull), resources_, palette,
                                        kMultiBars))
            ->setValues(values);
    }
    {
        const SIZE horizontalMeter = size(kHorizontalMeterEmpty);
        const POINT at = cell(170, horizontalMeter, "horizontal + marker");
        BarMeter* meter = keep(std::make_unique<BarMeter>(
            w, at.x, at.y, kMarkerThicknessPixels, bitmap(kHorizontalMeterEmpty),
            bitmap(kHorizontalMeterFull), resources_, palette));
        meter->setValue(0.6f);
        meter->setMarker(0.85f);
        meter->setMarkerOn(true);
    }
    endRow();

    // Text fields: solid, solid with a border, bitmap-backed.
    const SIZE fieldBitmap = size(kFieldBackground);
    beginRow(fieldBitmap.cy);
    {
        const SIZE solid{48, 14}; // room for 12-pixel text inside a 1-pixel border
        POINT at = cell(120, solid, "solid field");
        keep(std::make_unique<TextField>(w, at.x, at.y, at.x + solid.cx, at.y + solid.cy, 0,
                                         kFieldBlack, kFieldWhite, kFieldFontHeight, resources_,
                                         palette))
            ->number("%3.1f", 6.0f);
        at = cell(120, solid, "solid, border");
        TextField* bordered = keep(std::make_unique<TextField>(
            w, at.x, at.y, at.x + solid.cx, at.y + solid.cy, 0, kFieldBlack, kFieldGreen,
            kFieldFontHeight, resources_, palette));
        bordered->setBorder(1);
        bordered->decibels("%2.0f", 0.5f);
        at = cell(140, fieldBitmap, "bitmap field");
        keep(std::make_unique<TextField>(w, at.x, at.y, 0, bitmap(kFieldBackground), kFieldWhite,
                                         kValueFontHeight, resources_, palette))
            ->text("-12.0 dB");
    }
    endRow();
}

void Gallery::paint(HDC dc) const {
    RECT sheet{0, 0, kSheetWidth, kSheetHeight};
    HBRUSH background = CreateSolidBrush(kSheetColour);
    FillRect(dc, &sheet, background);
    DeleteObject(background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kTitleColour);
    HGDIOBJ previous = SelectObject(dc, titleFont_);
    RECT title{kMarginPixels, kMarginPixels / 2, kSheetWidth - kMarginPixels,
               kMarginPixels / 2 + kTitleHeight};
    DrawTextA(dc, kTitle, -1, &title, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP);
    SelectObject(dc, captionFont_);
    SetTextColor(dc, kCaptionColour);
    for (const Caption& caption : captions_) {
        RECT r = caption.rect;
        DrawTextA(dc, caption.text.c_str(), -1, &r, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOCLIP);
    }
    SelectObject(dc, previous);
}

LRESULT CALLBACK Gallery::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* gallery = reinterpret_cast<Gallery*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_PAINT && gallery != nullptr) {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (dc != nullptr) gallery->paint(dc);
        EndPaint(window, &ps);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

void pumpMessages() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HINSTANCE orqResources() {
    static const char anchor = 0;
    return PlatformModuleFromAddress(&anchor);
}

} // namespace

int commandGallery(const std::vector<std::string>& args) {
    const GalleryOptions o = parseGallery(args);
    OutputFiles files;
    files.add(o.png, "the picture");
    Gallery gallery(orqResources());
    if (gallery.window() == nullptr) throw std::runtime_error("cannot make the gallery's window");
    if (!gallery.complete())
        throw std::runtime_error("orq's resources lack some of the gallery's bitmaps "
                                 "(20000 ... 20060)");
    pumpMessages();
    files.write(o.png, windowPng(gallery.window()));
    files.commit();
    std::cout << "gallery: " << o.png << "\n";
    return 0;
}

} // namespace orq::host
