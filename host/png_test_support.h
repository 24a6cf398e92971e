// Pictures for tests: the PNG files orq writes and the bitmaps of its resources, as RGB pixels.
#pragma once

#include "controls/bitmap_test_support.h"

#include <windows.h>

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace orq::host::testing {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
        const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
        return uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2];
    }
    // The bounding box of a colour; empty (right < left) when absent.
    RECT boxOf(uint32_t colour) const {
        RECT box{width, height, -1, -1};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (at(x, y) == colour) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x);
                    box.bottom = std::max<LONG>(box.bottom, y);
                }
        return box;
    }
    // Where a smaller picture appears pixel for pixel (its first place, row by row), as the
    // inclusive box it covers; empty (right < left) when it appears nowhere or is empty.
    RECT find(const Picture& piece) const {
        if (piece.width <= 0 || piece.height <= 0) return RECT{width, height, -1, -1};
        for (int top = 0; top + piece.height <= height; ++top)
            for (int left = 0; left + piece.width <= width; ++left)
                if (matches(piece, left, top))
                    return RECT{left, top, left + piece.width - 1, top + piece.height - 1};
        return RECT{width, height, -1, -1};
    }
    // Every place where it appears whole, as the top-left corners, row by row.
    std::vector<POINT> places(const Picture& piece) const {
        std::vector<POINT> found;
        for (int top = 0; piece.width > 0 && top + piece.height <= height; ++top)
            for (int left = 0; left + piece.width <= width; ++left)
                if (matches(piece, left, top)) found.push_back(POINT{left, top});
        return found;
    }
    bool matches(const Picture& piece, int left, int top) const {
        for (int y = 0; y < piece.height; ++y)
            for (int x = 0; x < piece.width; ++x)
                if (at(left + x, top + y) != piece.at(x, y)) return false;
        return true;
    }
};

// The picture of a PNG file; width 0 when it cannot be read.
inline Picture readPng(const std::string& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return picture;
    image.format = PNG_FORMAT_RGB;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) return picture;
    picture.width = int(image.width);
    picture.height = int(image.height);
    return picture;
}

// A bitmap of the test program's own resources (the host tests carry orq's resource list), read
// back through the platform as orq paints it: width 0 when there is none.
inline Picture resourcePicture(int number) {
    Picture picture;
    for (COLORREF colour : controls_test::resourceBitmapPixels(number, &picture.width, &picture.height))
        for (BYTE value : {GetRValue(colour), GetGValue(colour), GetBValue(colour)})
            picture.rgb.push_back(value);
    return picture;
}

} // namespace orq::host::testing
