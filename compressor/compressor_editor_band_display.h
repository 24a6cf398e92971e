// The compressor editor's band display: frequency on a logarithmic axis from 25 Hz to half the
// sample rate (at most 24 kHz), gain on a linear axis from -12 to +12 dB; one gain handle per
// band, one border handle per crossover, and the active band marked. A left press on a handle
// takes it for the drag; a press elsewhere makes the band under the pointer the active one. A
// double click inside a band splits it at the pointer; a double click on a border handle removes
// that border. Every change is reported to the parent as WM_COMMAND(id, &BandDisplayReport).
#pragma once

#include "controls/wobject.h"

#include <array>
#include <string>

namespace orq::compressor {

constexpr int kMaxDisplayBands = 5;

enum class BandChange {
    ActiveBand,  // index: the band pressed (the active band)
    Gain,        // index: the band whose gain handle moved
    Border,      // index: the border moved (1 ... bandCount - 1)
    BandAdded,   // index: the new border (the band above it is the new one)
    BandRemoved, // index: the border removed (the bands on both sides became one)
};

// What a report means as the compressor's band-count signal: -2 for a band added, -1 for a
// band removed (the display reports these instead of a band index).
constexpr int kBandAddedSignal = -2;
constexpr int kBandRemovedSignal = -1;

struct BandDisplayReport {
    BandChange change;
    int index;
};

class BandDisplay : public controls::WObject {
  public:
    static constexpr double kLowestHz = 25.0;
    static constexpr double kHighestTopHz = 24000.0;
    static constexpr float kGainRangeDb = 12.0f;
    // Handles keep this many octaves between neighbouring borders.
    static constexpr double kMinimumGapOctaves = 0.1;
    // Pointer positions stay this far from the top and left edges.
    static constexpr int kEdgePixels = 5;
    // A gain handle is hit within this many pixels of its centre (a 7 x 7 square), a border
    // handle within this many pixels of its line.
    static constexpr int kHandleReachPixels = 3;
    // Moves with CTRL held: gain in dB per pixel (downwards), border in octaves per pixel.
    static constexpr float kFineGainDbPerPixel = -0.01f;
    static constexpr double kFineOctavesPerPixel = 0.001;
    // Pointer jumps beyond this count as no movement; moves of this many pixels or fewer are not
    // taken.
    static constexpr int kJumpLimitPixels = 1000;
    static constexpr int kMoveThresholdPixels = 1;
    static constexpr COLORREF kGridColour = 0x828282;

    // The window at (x, y) of width x height in the parent. [ui-thread]
    BandDisplay(HWND parent, int id, int x, int y, int width, int height);

    // The axis follows the sample rate (its top is half of it, at most 24 kHz). Repaints.
    void setSampleRate(int sampleRate);
    // The band count (kept in 1 ... 5); the active band is cleared. Repaints.
    void setBandCount(int count);
    // Border i = lower edge of band i in Hz, entries 0 ... bandCount (the top is the axis end
    // whatever entry bandCount holds); kept in order with the minimum gap. Repaints.
    void setBorders(const float* bordersHz, int entries);
    // Gains of bands 0 ... count - 1 in dB, kept within +-12 dB. Repaints.
    void setGains(const float* gainsDb, int count);
    // -1 for none; other values outside the bands are taken as none. Repaints.
    void setActiveBand(int band);
    void setSolo(bool solo);

    int bandCount() const { return bandCount_; }
    int activeBand() const { return activeBand_; }
    bool solo() const { return solo_; }
    double topHz() const;
    double borderHz(int index) const;
    float gainDb(int band) const { return gainsDb_[static_cast<size_t>(band)]; }
    // The text shown beside the handle dragged or pointed at; empty when none.
    const std::string& handleText() const { return handleText_; }

    // Geometry (window coordinates): the plot area (the whole window), the axes' mappings, the
    // handles.
    RECT plot() const;
    int xOfHz(double hz) const;
    double hzOfX(int x) const;
    int yOfGain(float gainDb) const;
    float gainOfY(int y) const;
    POINT gainHandle(int band) const;
    POINT borderHandle(int index) const;

    // The texts of the handles: " %4.1f dB"; " %3.0f Hz" below 1000 Hz, else " %2.1f kHz".
    static std::string gainText(float gainDb);
    static std::string frequencyText(double hz);
    // The default place of border i of count bands: 25 x (top / 25)^(i / count) Hz.
    static double defaultBorderHz(int index, int count, double topHz);

  protected:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    enum class HandleKind { None, Gain, Border };
    struct Handle {
        HandleKind kind = HandleKind::None;
        int index = -1;
    };

    Handle handleAt(int x, int y) const;
    int bandAt(int x) const;
    void press(int x, int y);
    void doubleClick(int x, int y);
    void move(int x, int y, WPARAM keys);
    void release();
    void hover(int x, int y);
    void moveGain(int band, int y, int dy, WPARAM keys);
    void moveBorder(int index, int x, int dx, WPARAM keys);
    void setBorderLog(int index, double log2Hz);
    void keepBordersInOrder();
    void showTextFor(const Handle& handle);
    void report(BandChange change, int index);
    void repaint();
    void paint(HDC dc) const;

    int width_;
    int height_;
    int sampleRate_ = 44100;
    int bandCount_ = 3;
    int activeBand_ = -1;
    bool solo_ = false;
    // Borders as base-2 logarithms of their frequencies; entry bandCount_ is the axis top.
    std::array<double, kMaxDisplayBands + 1> borderLog2_{};
    std::array<float, kMaxDisplayBands> gainsDb_{};
    Handle dragged_;
    Handle shown_; // the handle whose text is shown
    bool pressed_ = false;
    POINT lastTaken_{};
    std::string handleText_;
    BandDisplayReport report_{BandChange::ActiveBand, -1};
};

} // namespace orq::compressor
