// Composition off screen: a control draws its parts into a bitmap of its size and copies the
// result to its window in one transfer.
#pragma once

#include <windows.h>

namespace orq::controls {

class DoubleBuffer {
  public:
    // A memory context compatible with `target` holding a width x height bitmap.
    DoubleBuffer(HDC target, int width, int height);
    DoubleBuffer(const DoubleBuffer&) = delete;
    DoubleBuffer& operator=(const DoubleBuffer&) = delete;
    ~DoubleBuffer();

    HDC dc() const { return memory_; }
    // Copies the composed picture to (x, y) of the target.
    void present(int x = 0, int y = 0) const;

  private:
    HDC target_;
    HDC memory_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    int width_;
    int height_;
};

} // namespace orq::controls
