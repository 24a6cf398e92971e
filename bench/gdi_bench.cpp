// Cost of painting an editor: a 444 x 262 background of 24-bit colour and 20 small bitmaps
// composed in a memory context, then one copy to a window of the same size (time per frame).
// The second form draws every bitmap as the controls do, through its bits (format query,
// GetDIBits, SetDIBitsToDevice) instead of a block transfer.
#include <windows.h>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kWidth = 444;
constexpr int kHeight = 262;
constexpr int kSmallBitmaps = 20;
constexpr int kSmallSide = 24;

HBITMAP makeBitmap(HDC screen, int width, int height, int seed) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    const int stride = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * height);
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = static_cast<uint8_t>(i * 7 + seed * 13);
    return CreateDIBitmap(screen, &info.bmiHeader, CBM_INIT, bits.data(), &info, DIB_RGB_COLORS);
}

struct Editor {
    Editor() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "GdiBenchWindow";
        RegisterClassA(&windowClass);
        constexpr DWORD kPopupStyle = 0x80000000u; // WS_POPUP
        window = CreateWindowExA(0, "GdiBenchWindow", "bench", kPopupStyle | WS_VISIBLE, 0, 0,
                                 kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
        HDC screen = GetDC(nullptr);
        background = makeBitmap(screen, kWidth, kHeight, 0);
        for (int i = 0; i < kSmallBitmaps; ++i)
            small.push_back(makeBitmap(screen, kSmallSide, kSmallSide, i + 1));
        ReleaseDC(nullptr, screen);
    }
    ~Editor() {
        DeleteObject(background);
        for (HBITMAP bitmap : small)
            DeleteObject(bitmap);
        DestroyWindow(window);
    }
    HWND window = nullptr;
    HBITMAP background = nullptr;
    std::vector<HBITMAP> small;
};

int smallX(int i) {
    return 10 + (i % 10) * 42;
}
int smallY(int i) {
    return 40 + (i / 10) * 120;
}

void blitBitmap(HDC target, HDC memory, HBITMAP bitmap, int x, int y, int width, int height) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(target, x, y, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
}

void drawThroughBits(HDC target, HDC memory, HBITMAP bitmap, int x, int y,
                     std::vector<uint8_t>& block, std::vector<uint8_t>& bits) {
    std::fill(block.begin(), block.end(), 0);
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    BITMAP size{};
    GetObjectA(bitmap, sizeof(size), &size);
    GetDIBits(memory, bitmap, 0, size.bmHeight, nullptr, info, DIB_RGB_COLORS);
    bits.resize(info->bmiHeader.biSizeImage);
    GetDIBits(memory, bitmap, 0, size.bmHeight, bits.data(), info, DIB_RGB_COLORS);
    SetDIBitsToDevice(target, x, y, size.bmWidth, size.bmHeight, 0, 0, 0, size.bmHeight,
                      bits.data(), info, DIB_RGB_COLORS);
}

void editorFrameByBlockTransfers(benchmark::State& state) {
    Editor editor;
    HDC window = GetDC(editor.window);
    HDC frame = CreateCompatibleDC(window);
    HBITMAP frameBitmap = CreateCompatibleBitmap(window, kWidth, kHeight);
    HGDIOBJ oldFrame = SelectObject(frame, frameBitmap);
    HDC memory = CreateCompatibleDC(window);
    for (auto _ : state) {
        blitBitmap(frame, memory, editor.background, 0, 0, kWidth, kHeight);
        for (int i = 0; i < kSmallBitmaps; ++i)
            blitBitmap(frame, memory, editor.small[i], smallX(i), smallY(i), kSmallSide,
                       kSmallSide);
        BitBlt(window, 0, 0, kWidth, kHeight, frame, 0, 0, SRCCOPY);
    }
    DeleteDC(memory);
    SelectObject(frame, oldFrame);
    DeleteObject(frameBitmap);
    DeleteDC(frame);
    ReleaseDC(editor.window, window);
}
BENCHMARK(editorFrameByBlockTransfers)->Unit(benchmark::kMicrosecond);

void editorFrameThroughBits(benchmark::State& state) {
    Editor editor;
    HDC window = GetDC(editor.window);
    HDC frame = CreateCompatibleDC(window);
    HBITMAP frameBitmap = CreateCompatibleBitmap(window, kWidth, kHeight);
    HGDIOBJ oldFrame = SelectObject(frame, frameBitmap);
    HDC memory = CreateCompatibleDC(window);
    std::vector<uint8_t> block(1064);
    std::vector<uint8_t> bits;
    for (auto _ : state) {
        drawThroughBits(frame, memory, editor.background, 0, 0, block, bits);
        for (int i = 0; i < kSmallBitmaps; ++i)
            drawThroughBits(frame, memory, editor.small[i], smallX(i), smallY(i), block, bits);
        BitBlt(window, 0, 0, kWidth, kHeight, frame, 0, 0, SRCCOPY);
    }
    DeleteDC(memory);
    SelectObject(frame, oldFrame);
    DeleteObject(frameBitmap);
    DeleteDC(frame);
    ReleaseDC(editor.window, window);
}
BENCHMARK(editorFrameThroughBits)->Unit(benchmark::kMicrosecond);

} // namespace
