// A button painted from three bitmaps (on, off, pressed). Its behaviour word decides when it
// notifies: a plain switch (0) toggles and notifies on a release inside; a momentary button (1)
// shows pressed while held and notifies 0 on a release inside; notify-on-press (2) notifies
// when pressed and ignores the release; toggle-on-press (4) toggles and notifies when pressed
// and notifies again on the release. A disabled button with state 0 serves as a lamp: clicks
// only tell the parent kDisabledClickCommand.
#pragma once

#include "controls/wobject.h"

namespace orq::controls {

// Behaviour bits.
constexpr int kPlainSwitch = 0;
constexpr int kMomentary = 1;
constexpr int kNotifyOnPress = 2;
constexpr int kToggleOnPress = 4;

class Button : public WObject {
  public:
    static constexpr int kMomentary = controls::kMomentary;
    static constexpr int kNotifyOnPress = controls::kNotifyOnPress;
    static constexpr int kToggleOnPress = controls::kToggleOnPress;
    // States: off and on, and pressed with the state the press came from.
    static constexpr int kOff = 0;
    static constexpr int kOn = 1;
    static constexpr int kPressedFromOff = 2;
    static constexpr int kPressedFromOn = 3;

    // The window is moved to (x, y) and sized to the largest width and height of the three
    // bitmaps; `pressed` may be null (the pressed states then paint nothing). The bitmaps stay
    // the caller's (a bitmap set's). A null `instance` means controlsModule(). [ui-thread]
    Button(HWND parent, int x, int y, int behaviour, int id, HBITMAP on, HBITMAP off,
           HBITMAP pressed, HINSTANCE instance, HPALETTE palette);

    // Stores the state (0 ... 3) and paints at once; any other number changes nothing and
    // answers false. [ui-thread]
    bool setState(int state);
    int state() const { return state_; }
    void disable() { enabled_ = false; }
    void enable(bool enabled) { enabled_ = enabled; }
    bool enabled() const { return enabled_; }
    int behaviour() const { return behaviour_; }
    bool captured() const { return captured_; }

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void paint(HDC dc) const;
    void repaint() const;
    bool inside(int x, int y) const;
    void leftDown(int x, int y);
    void leftUp(int x, int y);
    void notify(LPARAM argument) const;

    HBITMAP on_;
    HBITMAP off_;
    HBITMAP pressed_;
    HPALETTE palette_;
    int behaviour_;
    SIZE size_{};
    int state_ = kOff;
    bool enabled_ = true;
    bool captured_ = false;
    POINT lastClick_{};
};

} // namespace orq::controls
