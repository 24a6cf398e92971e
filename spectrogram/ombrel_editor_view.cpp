#include "spectrogram/ombrel_editor_view.h"

#include "controls/control_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace orq::spectrogram {

const std::array<COLORREF, kScaleColourCount> kScaleColours = {
    0x0000AB, 0x0000C6, 0x0000DE, 0x0000F7, 0x1818FF, 0x0032FF, 0x0047FF, 0x0057FF,
    0x0064FF, 0x0074FF, 0x007EFF, 0x0088FF, 0x0092FF, 0x009EFF, 0x00ACFF, 0x00BAFF,
    0x00C8FF, 0x00D5FF, 0x00E0FF, 0x00EAFF, 0x00F5FF, 0x00FFFD, 0x00FFF3, 0x00FFE7,
    0x00FFDC, 0x00FFD2, 0x00FFC5, 0x00FFB7, 0x00FFA8, 0x00FF98, 0x00FF88, 0x00FF74,
    0x00FF5B, 0x00FF37, 0x2AFF00, 0x4FFF00, 0x6BFF00, 0x81FF00, 0x94FF00, 0xA5FF00,
    0xB3FF00, 0xC0FF00, 0xCDFF00, 0xD9FF00, 0xE5FF00, 0xFAF400, 0xF2E200, 0xEAD100,
    0xE2BF00, 0xDAAF00, 0xD29E00, 0xCA8C00, 0xC27B00, 0xBA6A00, 0xB25800, 0xAA4700,
    0xA23200, 0x9B1500, 0x8A0033, 0x7A0041, 0x6B0047, 0x5B0046, 0x4A0040, 0x3B0038,
};

namespace {

constexpr int kQuietest = kScaleColourCount - 1;
constexpr float kFloorDb = -100.0f;

// Views alive in this library: the first registers the window class, the last unregisters it.
int liveViews = 0;

int truncated(double v) {
    return static_cast<int>(v);
}

} // namespace

int scaleIndex(float levelDb, float lowDb, float highDb) {
    // Levels of a range that has closed (both sliders at their meeting point) fall on one side
    // of it: the division below would have no span.
    if (!(highDb > lowDb)) return levelDb >= highDb ? 0 : kQuietest;
    const double scaled = double(levelDb - lowDb) / double(highDb - lowDb) * kQuietest;
    if (!(scaled > -1.0e6)) return kQuietest; // NaN and far below
    if (scaled > 1.0e6) return 0;
    return std::clamp(kQuietest - truncated(scaled), 0, kQuietest);
}

void legendIndices(float lowDb, float highDb, int heightPixels, int* indices) {
    const int yHigh = truncated(double(highDb) * heightPixels / kLegendSpanDb);
    const int yLow = truncated(double(lowDb) * heightPixels / kLegendSpanDb);
    for (int y = 0; y < heightPixels; ++y) {
        if (y < yHigh)
            indices[y] = 0;
        else if (y >= yLow || yLow <= yHigh)
            indices[y] = kQuietest;
        else
            indices[y] =
                std::clamp(truncated(double(y - yHigh) * kQuietest / (yLow - yHigh) + 0.5), 0,
                           kQuietest);
    }
}

// The view --------------------------------------------------------------------------------------

SpectrogramDisplay::SpectrogramDisplay(HWND parent, int x, int y, int width, int height, int id,
                                 HINSTANCE instance)
    : parent_(parent), id_(id), instance_(instance) {
    WNDCLASSA existing{};
    if (!GetClassInfoA(instance, kWindowClass, &existing)) {
        WNDCLASSA wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &SpectrogramDisplay::windowProcedure;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorA(instance, kCursorName);
        if (wc.hCursor == nullptr) wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClass;
        if (RegisterClassA(&wc) == 0)
            throw std::runtime_error("the spectrogram's window class cannot be registered");
    }
    ++liveViews;
    window_ = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_CHILD | WS_VISIBLE, x, y, width,
                              height, parent, reinterpret_cast<HMENU>(intptr_t(id)), instance,
                              this);
    if (window_ == nullptr) {
        if (--liveViews == 0) UnregisterClassA(kWindowClass, instance_);
        throw std::runtime_error("the spectrogram's window cannot be created");
    }
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    geometry_.widthPixels = width;
    geometry_.heightPixels = height;
    makePicture();
    clear();
}

SpectrogramDisplay::~SpectrogramDisplay() {
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (pictureDc_ != nullptr) {
        SelectObject(pictureDc_, previousBitmap_);
        DeleteDC(pictureDc_);
    }
    if (picture_ != nullptr) DeleteObject(picture_);
    if (--liveViews == 0) UnregisterClassA(kWindowClass, instance_);
}

void SpectrogramDisplay::makePicture() {
    if (pictureDc_ != nullptr) {
        SelectObject(pictureDc_, previousBitmap_);
        DeleteDC(pictureDc_);
        pictureDc_ = nullptr;
    }
    if (picture_ != nullptr) DeleteObject(picture_);
    HDC screen = GetDC(window_);
    pictureDc_ = CreateCompatibleDC(screen);
    picture_ = CreateCompatibleBitmap(screen, geometry_.widthPixels, geometry_.heightPixels);
    ReleaseDC(window_, screen);
    previousBitmap_ = SelectObject(pictureDc_, picture_);
}

void SpectrogramDisplay::makeStrip() {
    const int width = std::max(1, geometry_.stripWidth);
    const int height = std::max(1, geometry_.heightPixels);
    stripStride_ = (width + 3) / 4 * 4;
    stripBits_.assign(size_t(stripStride_) * size_t(height), uint8_t(kQuietest));
    stripInfo_.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    auto* info = reinterpret_cast<BITMAPINFO*>(stripInfo_.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height; // bottom-up: row 0 is the lowest frequency
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 8;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biClrUsed = 256;
    for (int i = 0; i < kScaleColourCount; ++i) {
        const COLORREF c = kScaleColours[size_t(i)];
        info->bmiColors[i] = RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
    }
}

void SpectrogramDisplay::configure(int fftLength, int bins, double analysisRateHz, int columnsKept,
                                double timeSpanSeconds) {
    bins = std::max(2, bins);
    columnsKept = std::max(2, columnsKept);
    const bool discard = bins != geometry_.bins || analysisRateHz != analysisRateHz_ ||
                         columnsKept != geometry_.columnsKept;
    fftLength_ = fftLength;
    analysisRateHz_ = analysisRateHz;
    ViewGeometry& g = geometry_;
    g.bins = bins;
    g.columnsKept = columnsKept;
    g.pixelsPerSpectrum = double(g.widthPixels) / columnsKept;
    g.rowsPerBin = double(g.heightPixels - 1) / (bins - 1);
    g.stripWidth = std::min(g.widthPixels,
                            truncated(kMostSpectraPerCollection * g.pixelsPerSpectrum + 0.5) + 1);
    g.topFrequencyHz = analysisRateHz / 2.0;
    g.timeSpanSeconds = timeSpanSeconds;

    // Rows and the bins they show. A bin takes the rows from the one after the last filled up
    // to trunc(b · r); a bin that reaches no new row joins the row it falls on, which then
    // shows the loudest of its bins.
    binRowBegin_.assign(size_t(bins), 0);
    binRowEnd_.assign(size_t(bins), 0);
    int lastFilled = -1;
    for (int b = 0; b < bins; ++b) {
        const int top = std::min(truncated(b * g.rowsPerBin), g.heightPixels - 1);
        binRowBegin_[size_t(b)] = top > lastFilled ? lastFilled + 1 : top;
        binRowEnd_[size_t(b)] = top + 1;
        lastFilled = std::max(lastFilled, top);
    }
    rowIndex_.assign(size_t(g.heightPixels), kQuietest);
    previousIndex_.assign(size_t(g.heightPixels), kQuietest);
    if (discard || history_.size() != size_t(columnsKept) * size_t(bins)) {
        history_.assign(size_t(columnsKept) * size_t(bins), kFloorDb);
        historyHead_ = 0;
    }
    makeStrip();
    clear();
}

void SpectrogramDisplay::resize(int widthPixels) {
    widthPixels = std::max(2, widthPixels);
    if (widthPixels == geometry_.widthPixels) return;
    geometry_.widthPixels = widthPixels;
    SetWindowPos(window_, nullptr, 0, 0, widthPixels, geometry_.heightPixels,
                 SWP_NOMOVE | SWP_NOZORDER);
    makePicture();
    clear();
}

void SpectrogramDisplay::setRange(float lowDb, float highDb) {
    if (lowDb != -1.0f) lowDb_ = lowDb;
    if (highDb != -1.0f) highDb_ = highDb;
}

void SpectrogramDisplay::drawSpectra(const float* rowsDb, int count, int rowStride) {
    const ViewGeometry& g = geometry_;
    if (rowsDb == nullptr || count <= 0 || g.bins < 2 || history_.empty()) return;
    const double w = g.pixelsPerSpectrum;
    const int stripWidth = std::min(truncated(count * w + 0.5), g.stripWidth);
    // Spectra beyond what the strip holds scroll off at once: only the newest are drawn.
    const int drawn = std::min(count, std::max(1, truncated(stripWidth / w)));
    const int skipped = count - drawn;
    if (stripWidth > 0) {
        const int height = g.heightPixels;
        for (int j = 1; j <= drawn; ++j) {
            const float* levels = rowsDb + size_t(skipped + j - 1) * size_t(rowStride);
            const int from = std::min(truncated((j - 1) * w + 0.5), stripWidth);
            const int to = j == drawn ? stripWidth : std::min(truncated(j * w + 0.5), stripWidth);
            // Each row shows the loudest of the bins it gathers.
            std::fill(rowIndex_.begin(), rowIndex_.end(), kQuietest);
            for (int b = 0; b < g.bins; ++b) {
                const int index = scaleIndex(levels[b], lowDb_, highDb_);
                for (int row = binRowBegin_[size_t(b)]; row < binRowEnd_[size_t(b)]; ++row)
                    rowIndex_[size_t(row)] = std::min(rowIndex_[size_t(row)], index);
            }
            const int columns = to - from;
            for (int row = 0; row < height; ++row) {
                const int index = rowIndex_[size_t(row)];
                const int previous = previousIndex_[size_t(row)];
                uint8_t* line = stripBits_.data() + size_t(row) * size_t(stripStride_) + from;
                if (smoothing_ && columns > 1) {
                    for (int c = 0; c < columns; ++c)
                        line[c] = uint8_t(truncated(
                            previous + double(index - previous) * double(c + 1) / columns + 0.5));
                } else {
                    std::memset(line, index, size_t(std::max(columns, 0)));
                }
                previousIndex_[size_t(row)] = index;
            }
        }
        // Scroll the picture left and put the strip at its right edge.
        const int width = g.widthPixels;
        if (stripWidth < width)
            BitBlt(pictureDc_, 0, 0, width - stripWidth, height, pictureDc_, stripWidth, 0,
                   SRCCOPY);
        SetDIBitsToDevice(pictureDc_, width - stripWidth, 0, DWORD(stripWidth), DWORD(height), 0,
                          0, 0, UINT(height), stripBits_.data(),
                          reinterpret_cast<const BITMAPINFO*>(stripInfo_.data()), DIB_RGB_COLORS);
        present();
    }
    // The history keeps the newest K spectra.
    const size_t bins = size_t(g.bins);
    for (int j = 0; j < count; ++j) {
        std::memcpy(history_.data() + size_t(historyHead_) * bins,
                    rowsDb + size_t(j) * size_t(rowStride), bins * sizeof(float));
        historyHead_ = (historyHead_ + 1) % g.columnsKept;
    }
}

void SpectrogramDisplay::clear(HBITMAP bitmap) {
    const RECT all{0, 0, geometry_.widthPixels, geometry_.heightPixels};
    if (bitmap != nullptr) {
        HDC source = CreateCompatibleDC(pictureDc_);
        HGDIOBJ previous = SelectObject(source, bitmap);
        BitBlt(pictureDc_, 0, 0, all.right, all.bottom, source, 0, 0, SRCCOPY);
        SelectObject(source, previous);
        DeleteDC(source);
    } else {
        HBRUSH brush = CreateSolidBrush(kBackground);
        FillRect(pictureDc_, &all, brush);
        DeleteObject(brush);
    }
    std::fill(previousIndex_.begin(), previousIndex_.end(), kQuietest);
    present();
}

float SpectrogramDisplay::historyLevel(int column, int bin) const {
    const ViewGeometry& g = geometry_;
    if (history_.empty() || column < 0 || column >= g.columnsKept || bin < 0 || bin >= g.bins)
        return kFloorDb;
    const int row = (historyHead_ + column) % g.columnsKept;
    return history_[size_t(row) * size_t(g.bins) + size_t(bin)];
}

ViewReadout SpectrogramDisplay::readoutAt(int x, int y) const {
    const ViewGeometry& g = geometry_;
    ViewReadout r;
    if (g.widthPixels < 2 || g.heightPixels < 2 || g.columnsKept < 2 || g.bins < 2) return r;
    const double span = g.timeSpanSeconds;
    r.timeSeconds = span > 0 ? std::fabs(span - x / ((g.widthPixels - 1) / span)) : 0.0;
    r.frequencyHz =
        truncated(g.topFrequencyHz - y * g.topFrequencyHz / (g.heightPixels - 1));
    r.column = std::min(truncated(x / (double(g.widthPixels - 1) / (g.columnsKept - 1)) + 0.5),
                        g.columnsKept - 1);
    r.column = std::max(r.column, 0);
    const int bin = std::max(
        1, std::min(truncated(double(g.heightPixels - y) * g.bins / g.heightPixels), g.bins));
    r.levelDb = historyLevel(r.column, bin - 1);
    return r;
}

void SpectrogramDisplay::present() const {
    if (window_ == nullptr || !IsWindowVisible(window_)) return;
    controls::paintNow(window_, [this](HDC dc) { showPicture(dc); });
}

void SpectrogramDisplay::showPicture(HDC dc) const {
    BitBlt(dc, 0, 0, geometry_.widthPixels, geometry_.heightPixels, pictureDc_, 0, 0, SRCCOPY);
}

void SpectrogramDisplay::mouseMoved(int x, int y) {
    readout_ = readoutAt(x, y);
    if (parent_ != nullptr)
        SendMessageA(parent_, WM_COMMAND, MAKEWPARAM(WORD(id_), kMouseMovedCode),
                     LPARAM(readout_.column));
}

LRESULT CALLBACK SpectrogramDisplay::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
    auto* view = reinterpret_cast<SpectrogramDisplay*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (view == nullptr || view->window_ != window)
        return DefWindowProcA(window, message, wParam, lParam);
    return view->handle(message, wParam, lParam);
}

LRESULT SpectrogramDisplay::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // the paint covers the whole window
    case WM_PAINT:
        controls::paintCycle(window_, [this](HDC dc) { showPicture(dc); });
        return 0;
    case WM_MOUSEMOVE:
        mouseMoved(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_RBUTTONDOWN: {
        // The editor copies the picture: it gets the press in its own coordinates.
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        MapWindowPoints(window_, parent_, &at, 1);
        SendMessageA(parent_, WM_RBUTTONDOWN, wParam, MAKELPARAM(at.x, at.y));
        return 0;
    }
    default:
        return DefWindowProcA(window_, message, wParam, lParam);
    }
}

} // namespace orq::spectrogram
