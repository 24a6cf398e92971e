// What the drawing tests share: memory canvases, device-independent bitmaps built from a
// colour function, and a top-level window to draw on.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace gdi_test {

// A memory device context with a bitmap compatible with the screen selected into it.
class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        previous_ = SelectObject(dc_, bitmap_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void fill(COLORREF colour) const {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    void paint(const std::function<COLORREF(int, int)>& colourAt) const {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                SetPixel(dc_, x, y, colourAt(x, y));
    }

  private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// A device-independent bitmap in memory: header, colour table and bits.
struct Dib {
    std::vector<uint8_t> info; // BITMAPINFOHEADER and the colour table
    std::vector<uint8_t> bits;
    BITMAPINFO* header() { return reinterpret_cast<BITMAPINFO*>(info.data()); }
    int stride = 0;
};

inline int dibStride(int width, int bits) {
    return (width * bits + 31) / 32 * 4;
}

// Pixels given as colour table indices (1, 4, 8 bits) or colours (16, 24, 32 bits); rows are
// stored bottom-up unless topDown. 16 bits are 5-5-5.
inline Dib makeDib(int width, int height, int bits, bool topDown,
                   const std::vector<COLORREF>& table,
                   const std::function<uint32_t(int, int)>& valueAt) {
    Dib dib;
    dib.info.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    BITMAPINFOHEADER& header = dib.header()->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = topDown ? -height : height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bits);
    header.biCompression = BI_RGB;
    header.biClrUsed = static_cast<DWORD>(table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        RGBQUAD quad{GetBValue(table[i]), GetGValue(table[i]), GetRValue(table[i]), 0};
        std::memcpy(dib.info.data() + sizeof(BITMAPINFOHEADER) + i * sizeof(RGBQUAD), &quad,
                    sizeof(quad));
    }
    dib.stride = dibStride(width, bits);
    dib.bits.assign(static_cast<size_t>(dib.stride) * height, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row =
            dib.bits.data() + static_cast<size_t>(topDown ? y : height - 1 - y) * dib.stride;
        for (int x = 0; x < width; ++x) {
            const uint32_t value = valueAt(x, y);
            switch (bits) {
            case 1:
                row[x / 8] |= static_cast<uint8_t>(value << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<uint8_t>(value << (x % 2 == 0 ? 4 : 0));
                break;
            case 8:
                row[x] = static_cast<uint8_t>(value);
                break;
            case 16: {
                const uint16_t packed =
                    static_cast<uint16_t>(((GetRValue(value) >> 3) << 10) |
                                          ((GetGValue(value) >> 3) << 5) | (GetBValue(value) >> 3));
                std::memcpy(row + 2 * x, &packed, 2);
                break;
            }
            case 24:
                row[3 * x] = GetBValue(value);
                row[3 * x + 1] = GetGValue(value);
                row[3 * x + 2] = GetRValue(value);
                break;
            default: {
                const uint32_t packed =
                    (GetRValue(value) << 16) | (GetGValue(value) << 8) | GetBValue(value);
                std::memcpy(row + 4 * x, &packed, 4);
            }
            }
        }
    }
    return dib;
}

// A palette holding the colours given.
inline HPALETTE makePalette(const std::vector<COLORREF>& colours, BYTE flags = 0) {
    std::vector<uint8_t> block(sizeof(LOGPALETTE) + colours.size() * sizeof(PALETTEENTRY));
    auto* log = reinterpret_cast<LOGPALETTE*>(block.data());
    log->palVersion = 0x300;
    log->palNumEntries = static_cast<WORD>(colours.size());
    for (size_t i = 0; i < colours.size(); ++i)
        log->palPalEntry[i] = {GetRValue(colours[i]), GetGValue(colours[i]), GetBValue(colours[i]),
                               flags};
    return CreatePalette(log);
}

// A visible top-level window without a frame, drawn through its whole-window context.
class TestWindow {
  public:
    static constexpr DWORD kPopupStyle = 0x80000000u; // WS_POPUP
    TestWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "GdiTestWindow";
        RegisterClassA(&windowClass); // may exist already
        window_ = CreateWindowExA(0, "GdiTestWindow", "drawing", kPopupStyle | WS_VISIBLE, 0, 0,
                                  160, 120, nullptr, nullptr, nullptr, nullptr);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    ~TestWindow() { DestroyWindow(window_); }
    HWND window() const { return window_; }

  private:
    HWND window_ = nullptr;
};

} // namespace gdi_test
