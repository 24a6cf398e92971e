// The Plax standard's editor library: a frame window inside the host's window, painted from
// resource bitmaps, holding lightweight controls (no window of their own) that it draws and
// routes the mouse to. Each control has a tag and a value in its own range; a change made with
// the mouse or the keyboard is told to the control's listener.
//
// Multi-frame bitmaps are frames stacked top to bottom (a switch: off, on; a rocker: left
// pressed, idle, right pressed; a lamp: off, on).
//
// Threads: everything here runs on the host's user-interface thread. [ui-thread]; controls and
// the frame allocate when they are made, not while they paint or track the mouse.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orq::plax::gui {

// A bitmap resource of a module, loaded once and kept until destroyed.
class Bitmap {
  public:
    Bitmap(HINSTANCE module, int number);
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    int number() const { return number_; }
    int widthPixels() const { return width_; }
    int heightPixels() const { return height_; }
    // Copies the part (sourceX, sourceY, width, height) to (x, y); an unloaded bitmap draws
    // nothing.
    void draw(HDC dc, int x, int y, int sourceX, int sourceY, int width, int height) const;
    void draw(HDC dc, int x, int y) const { draw(dc, x, y, 0, 0, width_, height_); }

  private:
    int number_;
    HBITMAP handle_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Bitmaps first … last of a module, loaded together, by number.
class BitmapRange {
  public:
    BitmapRange(HINSTANCE module, int first, int last);
    // `number` in first … last.
    const Bitmap& operator()(int number) const { return *bitmaps_[size_t(number - first_)]; }

  private:
    int first_;
    std::vector<std::unique_ptr<Bitmap>> bitmaps_;
};

class Control;
class Frame;

class ControlListener {
  public:
    virtual ~ControlListener() = default;
    // A control's value was changed by the user. [ui-thread]
    virtual void valueChanged(Control& control) = 0;
};

class Control {
  public:
    Control(const RECT& area, ControlListener* listener, int tag);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    int tag() const { return tag_; }
    const RECT& area() const { return area_; }
    float value() const { return value_; }
    // Clamped to the range (not a number: the minimum); a change marks the control for redraw.
    void setValue(float value);
    float minimum() const { return minimum_; }
    float maximum() const { return maximum_; }
    // min < max; another range is refused (false) and changes nothing.
    bool setRange(float minimum, float maximum);
    // (value − minimum) / (maximum − minimum).
    float normalizedValue() const;
    bool dirty() const { return dirty_; }
    void setDirty() { dirty_ = true; }
    bool contains(POINT where) const;

    virtual void draw(HDC dc) = 0;
    // Whether presses on the control are given to it.
    virtual bool takesMouse() const { return listener_ != nullptr; }
    virtual void mouseDown(POINT /*where*/, WPARAM /*keys*/) {}
    virtual void mouseMove(POINT /*where*/, WPARAM /*keys*/) {}
    virtual void mouseUp(POINT /*where*/) {}

  protected:
    friend class Frame;
    void notify();
    Frame* frame() const { return frame_; }
    RECT area_;

  private:
    ControlListener* listener_;
    int tag_;
    float value_ = 0.0f;
    float minimum_ = 0.0f;
    float maximum_ = 1.0f;
    bool dirty_ = true;
    Frame* frame_ = nullptr;
};

// The editor's window: a child of the host's window, of its own class "Plugin%08x", the size of
// its background bitmap.
class Frame {
  public:
    // Creates the window; window() is null when the class or the window could not be made.
    Frame(HWND parent, HINSTANCE module, const Bitmap& background);
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    HWND window() const { return window_; }
    const std::string& className() const { return className_; }
    // Takes the control; it is drawn in the order added, the later over the earlier.
    template <class C> C* add(std::unique_ptr<C> control) {
        C* raw = control.get();
        adopt(std::move(control));
        return raw;
    }
    // Paints every control marked dirty, now.
    void redrawDirty();
    // The library's idle work (the host's idle call): redraws what changed.
    void idle() { redrawDirty(); }
    // A view over everything that takes every press until released (the splash); null ends it.
    void setModalView(Control* view);
    Control* modalView() const { return modal_; }
    // Text entry of a value field: the frame tells the field when it is over (commit or not).
    void endTextEntry(bool commit);

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void adopt(std::unique_ptr<Control> control);
    void paint(HDC dc, const RECT& area);
    Control* controlAt(POINT where) const;

    HINSTANCE module_;
    const Bitmap& background_;
    std::string className_;
    HWND window_ = nullptr;
    std::vector<std::unique_ptr<Control>> controls_;
    Control* tracking_ = nullptr;
    Control* modal_ = nullptr;
};

// Messages the frame's window takes (WM_USER range of the frame's own class).
constexpr UINT kEndTextEntryMessage = 0x0400 + 0x50; // wParam 1: commit, 0: cancel

// A vertical slider: track and thumb bitmaps, value 0 … 1 from the bottom. A press on the
// thumb drags it from where it was taken; a press elsewhere on the track puts the thumb's
// middle under the pointer. The resolution is one pixel of the travel.
class VerticalSlider final : public Control {
  public:
    VerticalSlider(int x, int y, ControlListener* listener, int tag, const Bitmap& track,
                   const Bitmap& thumb);
    void draw(HDC dc) override;
    void mouseDown(POINT where, WPARAM keys) override;
    void mouseMove(POINT where, WPARAM keys) override;
    int travelPixels() const { return travel_; }
    // The thumb's top row in the frame for the current value.
    int thumbTop() const;

  private:
    void follow(int y);
    const Bitmap& track_;
    const Bitmap& thumb_;
    int travel_;
    int grabOffset_ = 0;
};

// A switch of two stacked frames (off, on); each press turns it over and tells the listener.
class OnOffSwitch final : public Control {
  public:
    OnOffSwitch(int x, int y, ControlListener* listener, int tag, const Bitmap& frames);
    void draw(HDC dc) override;
    void mouseDown(POINT where, WPARAM keys) override;

  private:
    const Bitmap& frames_;
};

// A button of two stacked frames (up, pressed): shows pressed while held; released on it, it
// tells the listener once with the value 1 and returns to 0. Released elsewhere: nothing.
class KickButton final : public Control {
  public:
    KickButton(int x, int y, ControlListener* listener, int tag, const Bitmap& frames);
    void draw(HDC dc) override;
    void mouseDown(POINT where, WPARAM keys) override;
    void mouseMove(POINT where, WPARAM keys) override;
    void mouseUp(POINT where) override;

  private:
    const Bitmap& frames_;
    bool held_ = false;
};

// A rocker of three stacked frames (left pressed, idle, right pressed). A press on the left
// half sets −1, on the right half +1, and tells the listener; the release shows idle (0)
// without telling.
class Rocker final : public Control {
  public:
    Rocker(int x, int y, ControlListener* listener, int tag, const Bitmap& frames);
    void draw(HDC dc) override;
    void mouseDown(POINT where, WPARAM keys) override;
    void mouseUp(POINT where) override;

  private:
    const Bitmap& frames_;
};

// Text on a solid colour, centred in its rectangle.
struct TextStyle {
    COLORREF background = RGB(0, 0, 0);
    COLORREF text = RGB(255, 255, 255);
    int fontHeight = 11;
};

// A line of text that the editor sets; no value of its own.
class TextLabel final : public Control {
  public:
    TextLabel(const RECT& area, const TextStyle& style);
    ~TextLabel() override;
    void setText(const std::string& text);
    const std::string& text() const { return text_; }
    void draw(HDC dc) override;

  private:
    TextStyle style_;
    HFONT font_;
    std::string text_;
};

// Shows its value through a format and edits it: a press opens an "EDIT" window over the
// field with the shown text; Enter takes the typed number (clamped to the range) and tells the
// listener, Escape or leaving the window drops it. Text that is not a number changes nothing.
class ValueField final : public Control {
  public:
    using Format = std::function<std::string(float)>;
    ValueField(const RECT& area, ControlListener* listener, int tag, const TextStyle& style,
               Format format);
    ~ValueField() override;
    std::string text() const { return format_(value()); }
    void draw(HDC dc) override;
    void mouseDown(POINT where, WPARAM keys) override;
    // The entry window while one is open (null otherwise).
    HWND entryWindow() const { return entry_; }
    // Called by the frame: the entry is over.
    void endEntry(bool commit);

  private:
    static LRESULT CALLBACK entryProcedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam);
    TextStyle style_;
    HFONT font_;
    Format format_;
    HWND entry_ = nullptr;
    WNDPROC entryDefault_ = nullptr;
};

// A meter of n segments filling upwards from a background (unlit) and a fill (lit) bitmap of
// one size; value 0 … 1 lights trunc(value × n) segments (with a thousandth of a segment's
// allowance for rounding).
class SegmentMeter final : public Control {
  public:
    SegmentMeter(int x, int y, int segments, const Bitmap& background, const Bitmap& fill);
    void draw(HDC dc) override;
    int litSegments() const;

  private:
    int segments_;
    const Bitmap& background_;
    const Bitmap& fill_;
};

// A lamp of two stacked frames (off, on): value 0 or 1, set by the editor.
class Lamp final : public Control {
  public:
    Lamp(int x, int y, const Bitmap& frames);
    void draw(HDC dc) override;
    bool lit() const { return value() >= 0.5f; }

  private:
    const Bitmap& frames_;
};

// An area that opens the splash: a press on it shows the splash bitmap over the whole frame with
// lines of text; the next press anywhere closes it.
class Splash final : public Control {
  public:
    struct Line {
        RECT area;
        std::string text;
    };
    Splash(const RECT& area, const Bitmap& splash, std::vector<Line> lines,
           const TextStyle& style);
    ~Splash() override;
    bool takesMouse() const override { return true; }
    void draw(HDC dc) override;
    void mouseDown(POINT where, WPARAM keys) override;
    bool shown() const { return shown_; }

  private:
    const Bitmap& splash_;
    std::vector<Line> lines_;
    TextStyle style_;
    HFONT font_;
    bool shown_ = false;
};

// The editors' text styles: values white on black, peaks green on black, the splash's lines in
// the skin's primary text colour.
constexpr TextStyle kValueFieldStyle{RGB(0, 0, 0), RGB(255, 255, 255), 11};
constexpr TextStyle kPeakFieldStyle{RGB(0, 0, 0), RGB(0, 255, 0), 11};
constexpr TextStyle kSplashTextStyle{RGB(0, 0, 0), RGB(232, 234, 237), 11};

// The about area's splash with "Version: <version>" on `versionLine` and the version alone on
// `secondLine`. Added to a frame last, it lies over everything when shown.
std::unique_ptr<Splash> versionSplash(const RECT& aboutArea, const Bitmap& splash,
                                      const RECT& versionLine, const RECT& secondLine,
                                      const std::string& version);

// Meter scales and texts the editors share.
// n / count for the highest of `count` ascending breakpoints that `value` exceeds (0 for none).
float breakpointFraction(float value, const float* breakpoints, int count);
// A peak field: empty above 0 dB, the truncated dB ("%2i") from `floorDb` up, "---" below.
std::string peakText(float peakDb, float floorDb);
// The library's product version from its version resource ("" without one).
std::string moduleVersion(HINSTANCE module);

} // namespace orq::plax::gui
