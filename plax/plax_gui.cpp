#include "plax/plax_gui.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace orq::plax::gui {
namespace {

constexpr const char* kClassNameFormat = "Plugin%08x";
constexpr const char* kFontFace = "Arial";
constexpr UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
// A meter lights a segment when its value reaches within this share of a segment of its edge,
// so that n/n and k/n computed in floats light what they name.
constexpr float kSegmentAllowance = 0.001f;

HFONT makeFont(int heightPixels) {
    return CreateFontA(heightPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, kFontFace);
}

void fill(HDC dc, const RECT& area, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

void drawText(HDC dc, RECT area, const std::string& text, HFONT font, COLORREF colour) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    DrawTextA(dc, text.c_str(), -1, &area, kTextFormat);
    if (previous != nullptr) SelectObject(dc, previous);
}

POINT pointOf(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

RECT areaAt(int x, int y, int width, int height) { return RECT{x, y, x + width, y + height}; }

// The frame's number in its class name: the frame's address folded to 32 bits, so that frames
// alive at one time have classes of their own.
uint32_t classNumber(const void* frame) {
    const auto address = reinterpret_cast<uintptr_t>(frame);
    return static_cast<uint32_t>(address ^ (uint64_t(address) >> 32));
}

} // namespace

// Bitmap -----------------------------------------------------------------------------------------

Bitmap::Bitmap(HINSTANCE module, int number) : number_(number) {
    handle_ = LoadBitmapA(module, MAKEINTRESOURCEA(static_cast<WORD>(number)));
    BITMAP info{};
    if (handle_ != nullptr && GetObjectA(handle_, sizeof info, &info) == int(sizeof info)) {
        width_ = info.bmWidth;
        height_ = info.bmHeight;
    }
}

Bitmap::~Bitmap() {
    if (handle_ != nullptr) DeleteObject(handle_);
}

void Bitmap::draw(HDC dc, int x, int y, int sourceX, int sourceY, int width, int height) const {
    if (handle_ == nullptr || width <= 0 || height <= 0) return;
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, handle_);
    BitBlt(dc, x, y, width, height, memory, sourceX, sourceY, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}

// Control ----------------------------------------------------------------------------------------

Control::Control(const RECT& area, ControlListener* listener, int tag)
    : area_(area), listener_(listener), tag_(tag) {}

void Control::setValue(float value) {
    const float clamped = std::isnan(value) ? minimum_ : std::clamp(value, minimum_, maximum_);
    if (clamped == value_) return;
    value_ = clamped;
    dirty_ = true;
}

bool Control::setRange(float minimum, float maximum) {
    if (!(minimum < maximum)) return false;
    minimum_ = minimum;
    maximum_ = maximum;
    value_ = std::clamp(value_, minimum_, maximum_);
    dirty_ = true;
    return true;
}

float Control::normalizedValue() const { return (value_ - minimum_) / (maximum_ - minimum_); }

bool Control::contains(POINT where) const {
    return where.x >= area_.left && where.x < area_.right && where.y >= area_.top &&
           where.y < area_.bottom;
}

void Control::notify() {
    if (listener_ != nullptr) listener_->valueChanged(*this);
}

// Frame ------------------------------------------------------------------------------------------

Frame::Frame(HWND parent, HINSTANCE module, const Bitmap& background)
    : module_(module), background_(background) {
    char name[32];
    std::snprintf(name, sizeof name, kClassNameFormat, classNumber(this));
    className_ = name;
    WNDCLASSA windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = &Frame::procedure;
    windowClass.hInstance = module_;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = className_.c_str();
    if (RegisterClassA(&windowClass) == 0) return;
    window_ = CreateWindowExA(0, className_.c_str(), "", WS_CHILD | WS_VISIBLE, 0, 0,
                              background_.widthPixels(), background_.heightPixels(), parent,
                              nullptr, module_, this);
    if (window_ == nullptr) UnregisterClassA(className_.c_str(), module_);
}

Frame::~Frame() {
    if (window_ != nullptr) {
        // The controls go first: a value field's entry window is a child of the frame's.
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        tracking_ = nullptr;
        modal_ = nullptr;
        controls_.clear();
        if (GetCapture() == window_) ReleaseCapture();
        DestroyWindow(window_);
        UnregisterClassA(className_.c_str(), module_);
    }
}

void Frame::adopt(std::unique_ptr<Control> control) {
    control->frame_ = this;
    controls_.push_back(std::move(control));
}

void Frame::redrawDirty() {
    if (window_ == nullptr) return;
    bool any = false;
    for (const auto& control : controls_) {
        if (!control->dirty()) continue;
        InvalidateRect(window_, &control->area(), FALSE);
        any = true;
    }
    if (any) UpdateWindow(window_);
}

void Frame::setModalView(Control* view) {
    if (view == modal_) return;
    modal_ = view;
    if (window_ != nullptr) {
        InvalidateRect(window_, nullptr, FALSE);
        UpdateWindow(window_);
    }
}

void Frame::endTextEntry(bool commit) {
    for (const auto& control : controls_)
        if (auto* field = dynamic_cast<ValueField*>(control.get());
            field != nullptr && field->entryWindow() != nullptr)
            field->endEntry(commit);
    redrawDirty();
}

Control* Frame::controlAt(POINT where) const {
    // The last added lies on top.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if ((*it)->takesMouse() && (*it)->contains(where)) return it->get();
    return nullptr;
}

void Frame::paint(HDC dc, const RECT& area) {
    const int width = background_.widthPixels(), height = background_.heightPixels();
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP canvas = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ previous = SelectObject(memory, canvas);
    background_.draw(memory, 0, 0);
    for (const auto& control : controls_) {
        if (control.get() == modal_) continue;
        control->draw(memory);
        control->dirty_ = false;
    }
    if (modal_ != nullptr) {
        modal_->draw(memory);
        modal_->dirty_ = false;
    }
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory,
           area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(canvas);
    DeleteDC(memory);
}

LRESULT CALLBACK Frame::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* frame = reinterpret_cast<Frame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (frame == nullptr || frame->window_ != window)
        return DefWindowProcA(window, message, wParam, lParam);
    return frame->handle(message, wParam, lParam);
}

LRESULT Frame::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window_, &ps);
        if (dc != nullptr) paint(dc, ps.rcPaint);
        EndPaint(window_, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const POINT where = pointOf(lParam);
        Control* target = modal_ != nullptr ? modal_ : controlAt(where);
        if (target == nullptr) return 0;
        tracking_ = target;
        SetCapture(window_);
        target->mouseDown(where, wParam);
        redrawDirty();
        return 0;
    }
    case WM_MOUSEMOVE:
        if (tracking_ != nullptr && (wParam & MK_LBUTTON) != 0) {
            tracking_->mouseMove(pointOf(lParam), wParam);
            redrawDirty();
        }
        return 0;
    case WM_LBUTTONUP:
        if (tracking_ != nullptr) {
            Control* target = tracking_;
            tracking_ = nullptr;
            if (GetCapture() == window_) ReleaseCapture();
            target->mouseUp(pointOf(lParam));
            redrawDirty();
        }
        return 0;
    case WM_CAPTURECHANGED:
        tracking_ = nullptr;
        return 0;
    case kEndTextEntryMessage:
        endTextEntry(wParam != 0);
        return 0;
    default:
        return DefWindowProcA(window_, message, wParam, lParam);
    }
}

// VerticalSlider ---------------------------------------------------------------------------------

VerticalSlider::VerticalSlider(int x, int y, ControlListener* listener, int tag,
                               const Bitmap& track, const Bitmap& thumb)
    : Control(areaAt(x, y, track.widthPixels(), track.heightPixels()), listener, tag),
      track_(track), thumb_(thumb),
      travel_(std::max(0, track.heightPixels() - thumb.heightPixels())) {}

int VerticalSlider::thumbTop() const {
    return area_.top + int(std::lround((1.0f - normalizedValue()) * float(travel_)));
}

void VerticalSlider::draw(HDC dc) {
    track_.draw(dc, area_.left, area_.top);
    const int x = area_.left + (track_.widthPixels() - thumb_.widthPixels()) / 2;
    thumb_.draw(dc, x, thumbTop());
}

void VerticalSlider::follow(int y) {
    if (travel_ == 0) return;
    const int fromTop = std::clamp(y - grabOffset_ - area_.top, 0, travel_);
    // The thumb's own row keeps the value it shows (which may lie between two rows).
    if (area_.top + fromTop == thumbTop()) return;
    const float before = value();
    setValue(minimum() + (maximum() - minimum()) * (1.0f - float(fromTop) / float(travel_)));
    if (value() != before) notify();
}

void VerticalSlider::mouseDown(POINT where, WPARAM) {
    const int top = thumbTop();
    // Taken on the thumb it keeps its place under the pointer; elsewhere its middle jumps there.
    grabOffset_ = where.y >= top && where.y < top + thumb_.heightPixels()
                      ? where.y - top
                      : thumb_.heightPixels() / 2;
    follow(where.y);
}

void VerticalSlider::mouseMove(POINT where, WPARAM) { follow(where.y); }

// OnOffSwitch ------------------------------------------------------------------------------------

OnOffSwitch::OnOffSwitch(int x, int y, ControlListener* listener, int tag, const Bitmap& frames)
    : Control(areaAt(x, y, frames.widthPixels(), frames.heightPixels() / 2), listener, tag),
      frames_(frames) {}

void OnOffSwitch::draw(HDC dc) {
    const int height = area_.bottom - area_.top;
    frames_.draw(dc, area_.left, area_.top, 0, value() >= 0.5f ? height : 0,
                 area_.right - area_.left, height);
}

void OnOffSwitch::mouseDown(POINT, WPARAM) {
    setValue(value() >= 0.5f ? minimum() : maximum());
    notify();
}

// KickButton -------------------------------------------------------------------------------------

KickButton::KickButton(int x, int y, ControlListener* listener, int tag, const Bitmap& frames)
    : Control(areaAt(x, y, frames.widthPixels(), frames.heightPixels() / 2), listener, tag),
      frames_(frames) {}

void KickButton::draw(HDC dc) {
    const int height = area_.bottom - area_.top;
    frames_.draw(dc, area_.left, area_.top, 0, held_ ? height : 0, area_.right - area_.left,
                 height);
}

void KickButton::mouseDown(POINT, WPARAM) {
    held_ = true;
    setDirty();
}

void KickButton::mouseMove(POINT where, WPARAM) {
    if (held_ != contains(where)) {
        held_ = contains(where);
        setDirty();
    }
}

void KickButton::mouseUp(POINT where) {
    held_ = false;
    setDirty();
    if (!contains(where)) return;
    setValue(maximum());
    notify();
    setValue(minimum());
}

// Rocker -----------------------------------------------------------------------------------------

Rocker::Rocker(int x, int y, ControlListener* listener, int tag, const Bitmap& frames)
    : Control(areaAt(x, y, frames.widthPixels(), frames.heightPixels() / 3), listener, tag),
      frames_(frames) {
    setRange(-1.0f, 1.0f);
    setValue(0.0f);
}

void Rocker::draw(HDC dc) {
    const int height = area_.bottom - area_.top;
    const int frame = value() < 0.0f ? 0 : value() > 0.0f ? 2 : 1;
    frames_.draw(dc, area_.left, area_.top, 0, frame * height, area_.right - area_.left, height);
}

void Rocker::mouseDown(POINT where, WPARAM) {
    const int middle = (area_.left + area_.right) / 2;
    setValue(where.x < middle ? -1.0f : 1.0f);
    notify();
}

void Rocker::mouseUp(POINT) { setValue(0.0f); }

// TextLabel --------------------------------------------------------------------------------------

TextLabel::TextLabel(const RECT& area, const TextStyle& style)
    : Control(area, nullptr, 0), style_(style), font_(makeFont(style.fontHeight)) {}

TextLabel::~TextLabel() {
    if (font_ != nullptr) DeleteObject(font_);
}

void TextLabel::setText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    setDirty();
}

void TextLabel::draw(HDC dc) {
    fill(dc, area_, style_.background);
    drawText(dc, area_, text_, font_, style_.text);
}

// ValueField -------------------------------------------------------------------------------------

ValueField::ValueField(const RECT& area, ControlListener* listener, int tag,
                       const TextStyle& style, Format format)
    : Control(area, listener, tag), style_(style), font_(makeFont(style.fontHeight)),
      format_(std::move(format)) {}

ValueField::~ValueField() {
    endEntry(false);
    if (font_ != nullptr) DeleteObject(font_);
}

void ValueField::draw(HDC dc) {
    fill(dc, area_, style_.background);
    drawText(dc, area_, text(), font_, style_.text);
}

void ValueField::mouseDown(POINT, WPARAM) {
    if (entry_ != nullptr || frame() == nullptr) return;
    HWND parent = frame()->window();
    entry_ = CreateWindowExA(0, "EDIT", text().c_str(), WS_CHILD | WS_VISIBLE | ES_CENTER,
                             area_.left, area_.top, area_.right - area_.left,
                             area_.bottom - area_.top, parent,
                             reinterpret_cast<HMENU>(static_cast<intptr_t>(tag())),
                             reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE)),
                             nullptr);
    if (entry_ == nullptr) return;
    SetWindowLongPtrA(entry_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    entryDefault_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        entry_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ValueField::entryProcedure)));
    // The entry starts empty: what is typed replaces the shown value.
    SetWindowTextA(entry_, "");
    SetFocus(entry_);
}

void ValueField::endEntry(bool commit) {
    if (entry_ == nullptr) return;
    HWND entry = entry_;
    entry_ = nullptr; // the focus leaving the window below must not end it twice
    char typed[64] = {};
    GetWindowTextA(entry, typed, int(sizeof typed));
    SetWindowLongPtrA(entry, GWLP_USERDATA, 0);
    DestroyWindow(entry);
    setDirty();
    if (!commit) return;
    char* end = nullptr;
    const float number = std::strtof(typed, &end);
    // Only a whole number (spaces around it allowed) is taken.
    while (end != nullptr && *end == ' ')
        ++end;
    if (end == typed || end == nullptr || *end != '\0' || !std::isfinite(number)) return;
    setValue(number);
    notify();
}

LRESULT CALLBACK ValueField::entryProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* field = reinterpret_cast<ValueField*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (field == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    HWND frameWindow = GetParent(window);
    switch (message) {
    case WM_KEYDOWN:
        // The entry ends on the frame's turn: the window is not destroyed inside its own call.
        if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
            PostMessageA(frameWindow, kEndTextEntryMessage, wParam == VK_RETURN ? 1 : 0, 0);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == '\r' || wParam == 27) return 0;
        break;
    case WM_KILLFOCUS:
        PostMessageA(frameWindow, kEndTextEntryMessage, 0, 0);
        break;
    default:
        break;
    }
    return CallWindowProcA(field->entryDefault_, window, message, wParam, lParam);
}

// SegmentMeter -----------------------------------------------------------------------------------

SegmentMeter::SegmentMeter(int x, int y, int segments, const Bitmap& background,
                           const Bitmap& fill)
    : Control(areaAt(x, y, background.widthPixels(), background.heightPixels()), nullptr, 0),
      segments_(std::max(1, segments)), background_(background), fill_(fill) {}

int SegmentMeter::litSegments() const {
    const float lit = value() * float(segments_) + kSegmentAllowance;
    return std::clamp(int(std::floor(lit)), 0, segments_);
}

void SegmentMeter::draw(HDC dc) {
    background_.draw(dc, area_.left, area_.top);
    const int height = area_.bottom - area_.top;
    const int lit = litSegments();
    if (lit == 0) return;
    const int top = int(float(height) * (1.0f - float(lit) / float(segments_)));
    fill_.draw(dc, area_.left, area_.top + top, 0, top, area_.right - area_.left, height - top);
}

// Lamp -------------------------------------------------------------------------------------------

Lamp::Lamp(int x, int y, const Bitmap& frames)
    : Control(areaAt(x, y, frames.widthPixels(), frames.heightPixels() / 2), nullptr, 0),
      frames_(frames) {}

void Lamp::draw(HDC dc) {
    const int height = area_.bottom - area_.top;
    frames_.draw(dc, area_.left, area_.top, 0, lit() ? height : 0, area_.right - area_.left,
                 height);
}

// Splash -----------------------------------------------------------------------------------------

Splash::Splash(const RECT& area, const Bitmap& splash, std::vector<Line> lines,
               const TextStyle& style)
    : Control(area, nullptr, 0), splash_(splash), lines_(std::move(lines)), style_(style),
      font_(makeFont(style.fontHeight)) {}

Splash::~Splash() {
    if (font_ != nullptr) DeleteObject(font_);
}

void Splash::draw(HDC dc) {
    if (!shown_) return;
    splash_.draw(dc, 0, 0);
    for (const Line& line : lines_)
        drawText(dc, line.area, line.text, font_, style_.text);
}

void Splash::mouseDown(POINT, WPARAM) {
    shown_ = !shown_;
    if (frame() != nullptr) frame()->setModalView(shown_ ? this : nullptr);
}

BitmapRange::BitmapRange(HINSTANCE module, int first, int last) : first_(first) {
    for (int number = first; number <= last; ++number)
        bitmaps_.push_back(std::make_unique<Bitmap>(module, number));
}

std::unique_ptr<Splash> versionSplash(const RECT& aboutArea, const Bitmap& splash,
                                      const RECT& versionLine, const RECT& secondLine,
                                      const std::string& version) {
    char line[64];
    std::snprintf(line, sizeof line, "Version: %s", version.c_str());
    return std::make_unique<Splash>(
        aboutArea, splash, std::vector<Splash::Line>{{versionLine, line}, {secondLine, version}},
        kSplashTextStyle);
}

float breakpointFraction(float value, const float* breakpoints, int count) {
    int exceeded = 0;
    for (int n = 0; n < count; ++n)
        if (value > breakpoints[n]) exceeded = n + 1;
    return count > 0 ? float(exceeded) / float(count) : 0.0f;
}

std::string peakText(float peakDb, float floorDb) {
    if (peakDb > 0.0f) return "";
    if (!(peakDb >= floorDb)) return "---";
    char text[16];
    std::snprintf(text, sizeof text, "%2i", int(std::trunc(peakDb)));
    return text;
}

std::string moduleVersion(HINSTANCE module) {
    char path[1024] = {};
    if (GetModuleFileNameA(module, path, sizeof path) == 0) return "";
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return "";
    std::vector<uint8_t> block(size);
    void* value = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path, handle, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion", &value,
                        &length) ||
        value == nullptr)
        return "";
    return static_cast<const char*>(value);
}

} // namespace orq::plax::gui
