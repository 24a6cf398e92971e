// The bitmaps of an editor, loaded once from the library's resources, with the palette of the
// first one (null when it has more than 8 bits per pixel).
#pragma once

#include <windows.h>

#include <vector>

namespace orq::controls {

class BitmapSet {
  public:
    BitmapSet() = default;
    BitmapSet(const BitmapSet&) = delete;
    BitmapSet& operator=(const BitmapSet&) = delete;
    ~BitmapSet() { destroy(); }

    // Loads the bitmap resources `ids` of `instance` (a set loaded before is destroyed first); a
    // number that is not found leaves its slot null. True when every bitmap was found.
    bool load(HINSTANCE instance, const int* ids, int count, int idOffset = 0);
    // The bitmap whose resource number is `number` + the offset; an unknown number gives slot 0.
    HBITMAP bitmap(int number) const;
    SIZE size(int number) const;
    // Draws the bitmap unscaled at (x, y) with the set's palette.
    void draw(HDC dc, int x, int y, int number) const;
    HPALETTE palette() const { return palette_; }
    int count() const { return static_cast<int>(bitmaps_.size()); }
    void destroy();

  private:
    std::vector<int> ids_;
    int idOffset_ = 0;
    std::vector<HBITMAP> bitmaps_;
    HPALETTE palette_ = nullptr;
};

} // namespace orq::controls
