// The spectrogram display: a child window of the class "CSpectrogram" holding a scrolling
// time-frequency picture. Each collection of spectra becomes a strip of new columns at the
// right edge, coloured by a heat scale of 64 colours between a low and a high level; low
// frequencies are at the bottom. The display keeps the last spectra it drew (in dB) for the
// readouts under the mouse.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <vector>

namespace orq::spectrogram {

// The heat scale: index 0 the loudest level (dark red) to 63 the quietest (dark violet).
constexpr int kScaleColourCount = 64;
extern const std::array<COLORREF, kScaleColourCount> kScaleColours;
// Index of the colour a level gets between low and high (dB): 63 − trunc((L − lo)/(hi − lo)·63),
// clamped to 0 … 63. [any-thread]
int scaleIndex(float levelDb, float lowDb, float highDb);

// The legend beside the picture spans this scale; its top is 0 dB.
constexpr float kLegendSpanDb = -100.0f;
// Rows of a legend of the given height: the colour index each row shows for a range. [any-thread]
void legendIndices(float lowDb, float highDb, int heightPixels, int* indices);

// What configure computes from its arguments.
struct ViewGeometry {
    int widthPixels = 0;
    int heightPixels = 0;
    int bins = 0;             // B: bins shown per spectrum
    int columnsKept = 0;      // K: spectra across the picture
    double pixelsPerSpectrum = 0; // w = W / K
    double rowsPerBin = 0;    // r = (H − 1) / (B − 1)
    int stripWidth = 0;       // W' for the most spectra one collection can bring
    double topFrequencyHz = 0;
    double timeSpanSeconds = 0; // T
};

// What the mouse reads at a point of the picture.
struct ViewReadout {
    double timeSeconds = 0; // before the newest column
    int frequencyHz = 0;
    float levelDb = 0;
    int column = 0;
};

class SpectrogramDisplay {
  public:
    static constexpr const char* kWindowClass = "CSpectrogram";
    static constexpr const char* kWindowTitle = "Spectrogram";
    static constexpr const char* kCursorName = "Spectrogram";
    // Most spectra one collection brings (the engine's ring).
    static constexpr int kMostSpectraPerCollection = 40;
    // The background, as the picture is cleared to.
    static constexpr COLORREF kBackground = RGB(0x14, 0x16, 0x1A);
    // Notification codes of WM_COMMAND(MAKEWPARAM(id, code), column) to the parent.
    static constexpr WORD kMouseMovedCode = 1;

    // A child window of parent at (x, y), width × height pixels; instance holds the cursor.
    // [ui-thread, allocates] Throws std::runtime_error when the window cannot be made.
    SpectrogramDisplay(HWND parent, int x, int y, int width, int height, int id, HINSTANCE instance);
    ~SpectrogramDisplay();
    SpectrogramDisplay(const SpectrogramDisplay&) = delete;
    SpectrogramDisplay& operator=(const SpectrogramDisplay&) = delete;

    // fftLength: the transform; bins: those shown (the lowest of fftLength / 2 + 1);
    // analysisRateHz: twice the top row's frequency; columnsKept: spectra across the picture
    // (K); timeSpanSeconds: what they cover. Discards the history when bins or the rate
    // changed, restarts every bin at colour 63 and clears the picture. [ui-thread, allocates]
    void configure(int fftLength, int bins, double analysisRateHz, int columnsKept,
                   double timeSpanSeconds);
    // A new width (the height stays); the picture is cleared. [ui-thread, allocates]
    void resize(int widthPixels);
    // Levels below which everything is the quietest colour and above which the loudest; −1
    // leaves a level as it is.
    void setRange(float lowDb, float highDb);
    // Interpolates colours across the columns of one spectrum (on) or fills them flat (off).
    void setSmoothing(bool on) { smoothing_ = on; }
    // Paints count spectra (rowStride floats apart, at least bins() levels in dB each) as new
    // columns at the right edge and shows them at once. [ui-thread] no allocation.
    void drawSpectra(const float* rowsDb, int count, int rowStride);
    // Fills the picture with the background (bitmap null) or paints the bitmap. [ui-thread]
    void clear(HBITMAP bitmap = nullptr);

    // The readout at a point of the window's client area. [ui-thread]
    ViewReadout readoutAt(int x, int y) const;
    const ViewReadout& lastReadout() const { return readout_; }

    HWND hwnd() const { return window_; }
    const ViewGeometry& geometry() const { return geometry_; }
    float lowDb() const { return lowDb_; }
    float highDb() const { return highDb_; }
    bool smoothing() const { return smoothing_; }
    // The level the history keeps for a column (0 = oldest) and bin. [ui-thread]
    float historyLevel(int column, int bin) const;
    // The picture (the off-screen bitmap), for tests and pictures.
    HBITMAP picture() const { return picture_; }

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void makePicture();
    void makeStrip();
    void present() const;
    // The off-screen picture onto dc (the paint cycle and painting at once share it).
    void showPicture(HDC dc) const;
    void mouseMoved(int x, int y);

    HWND window_ = nullptr;
    HWND parent_ = nullptr;
    int id_ = 0;
    HINSTANCE instance_ = nullptr;
    HCURSOR cursor_ = nullptr;
    ViewGeometry geometry_{};
    int fftLength_ = 0;
    double analysisRateHz_ = 0;
    float lowDb_ = -100.0f;
    float highDb_ = 0.0f;
    bool smoothing_ = false;
    HDC pictureDc_ = nullptr;
    HBITMAP picture_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    // The strip: an 8-bit DIB of stripWidth columns whose colour table is the scale.
    std::vector<uint8_t> stripInfo_;
    std::vector<uint8_t> stripBits_;
    int stripStride_ = 0;
    // The rows each bin reaches: [begin, end). A bin that reaches no new row joins the row it
    // falls on.
    std::vector<int> binRowBegin_;
    std::vector<int> binRowEnd_;
    std::vector<int> rowIndex_;      // scratch: the colour index of each row of a spectrum
    std::vector<int> previousIndex_; // per row: the index last drawn
    std::vector<float> history_;     // columnsKept × bins, a ring
    int historyHead_ = 0;            // the oldest spectrum's row
    ViewReadout readout_{};
};

} // namespace orq::spectrogram
