// An extra button in the title bar of an editor's frame window, drawn with the system's zoom
// button bitmaps. The frame's window procedure gives it every message first.
#pragma once

#include <windows.h>

namespace orq::controls {

// Non-client hit code of the button.
constexpr LRESULT kCaptionButtonHit = 10000;

class CaptionButtonOwner {
  public:
    // The press ended: true when the button was released inside it (a click).
    virtual void captionButtonClicked(bool releasedInside) = 0;

  protected:
    ~CaptionButtonOwner() = default;
};

class CaptionButton {
  public:
    // `slot`: position counted from the right among the title-bar buttons.
    CaptionButton(CaptionButtonOwner* owner, HWND frame, int slot);
    CaptionButton(const CaptionButton&) = delete;
    CaptionButton& operator=(const CaptionButton&) = delete;
    ~CaptionButton();

    // A frame message; true when consumed (the result in *result).
    bool handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Window coordinates of the button; empty when the frame has no caption.
    RECT rect() const;
    // Draws the button in the frame's whole-window context.
    void draw(bool pressed) const;
    HWND frame() const { return frame_; }

  private:
    void track();
    bool insideScreen(POINT screen) const;

    CaptionButtonOwner* owner_;
    int slot_;
    HWND frame_ = nullptr; // null when the window has no caption
    HBITMAP normal_ = nullptr;
    HBITMAP pressed_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

} // namespace orq::controls
