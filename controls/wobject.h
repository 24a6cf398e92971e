// The base of every skinned control: one child window of the shared class "WObject", painted
// from bitmaps, reporting to its parent (the editor window).
#pragma once

#include <windows.h>

namespace orq::controls {

// The module whose resources and window class the controls use: the library this code is
// linked into (each deliverable carries its own copy of the controls).
HINSTANCE controlsModule();

// Click notifications (WM_NOTIFY codes) sent to the parent before a control with a non-zero id
// handles the press.
constexpr UINT kNotifyLeftDown = static_cast<UINT>(-2);
constexpr UINT kNotifyLeftDoubleClick = static_cast<UINT>(-3);
constexpr UINT kNotifyRightDown = static_cast<UINT>(-5);
constexpr UINT kNotifyRightDoubleClick = static_cast<UINT>(-6);

// The class style used when a control gives none: redraw on resize, double clicks and
// byte-aligned client areas (0x100B).
constexpr UINT kDefaultClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_BYTEALIGNCLIENT;
constexpr DWORD kControlStyle = WS_CHILD | WS_VISIBLE;

class WObject {
  public:
    WObject(HWND parent, int id, DWORD style = kControlStyle, UINT classStyle = 0,
            HINSTANCE instance = controlsModule());
    WObject(const WObject&) = delete;
    WObject& operator=(const WObject&) = delete;
    virtual ~WObject();

    HWND hwnd() const { return hwnd_; }
    int id() const { return id_; }
    HWND parent() const { return parent_; }
    HINSTANCE instance() const { return instance_; }
    bool ready() const { return ready_; }
    virtual void show();
    virtual void hide();

    // Live controls of this library (the window class is registered while there are any).
    static int liveControls();

  protected:
    // The control's own handling of a message, after the click notification; default
    // processing follows unless the notification skipped it. Not called before setReady().
    virtual LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void setReady() { ready_ = true; }
    // Moves and sizes the window (parent coordinates).
    void place(int x, int y, int width, int height);

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    int id_;
    bool ready_ = false;
    HWND hwnd_ = nullptr;
    HWND parent_;
    HINSTANCE instance_;
};

} // namespace orq::controls
