// The spectrogram analyser's editor: the scrolling picture (SpectrogramDisplay) with its
// frequency and time scales and the colour legend, the level range sliders, the low-band
// switch, the channel selector, the readouts under the mouse and the logo with the about box.
// Every 55 ms it collects the spectra the plug-in measured and draws them; a right click copies
// the picture with its scales to the clipboard (inverted onto white with Control).
#pragma once

#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "controls/selector.h"
#include "controls/slider.h"
#include "controls/text_field.h"
#include "runtime/editor_host.h"
#include "spectrogram/ombrel_editor_view.h"

#include <memory>
#include <vector>

namespace orq::spectrogram {

class OmbrelEditor final : public EditorHost {
  public:
    // Resource numbers.
    static constexpr int kBackgroundBitmap = 101;
    static constexpr int kLogoBitmap = 102;
    static constexpr int kSliderTrackBitmap = 103;
    static constexpr int kSliderThumbBitmap = 104;
    static constexpr int kSwitchOffBitmap = 105;
    static constexpr int kSwitchOnBitmap = 106;
    static constexpr int kSwitchPressedBitmap = 107;
    static constexpr int kChannelOnBitmap = 108;
    static constexpr int kChannelOffBitmap = 109;
    static constexpr int kAboutDialog = 160;
    static constexpr int kAboutVersionId = 1000;
    // Control ids.
    static constexpr int kViewId = 1;
    static constexpr int kHighSliderId = 2;
    static constexpr int kLowSliderId = 3;
    static constexpr int kLowBandSwitchId = 4;
    static constexpr int kChannelSelectorId = 5;
    static constexpr int kLogoId = 6;
    static constexpr UINT_PTR kCollectTimer = 1000;
    static constexpr UINT kCollectPeriodMs = 55;
    // Layout (client pixels) at the usual width.
    static constexpr int kClientWidth = 480;
    static constexpr int kClientHeight = 300;
    static constexpr RECT kPicture{62, 50, 62 + 256, 50 + 200};
    // The copy: the picture with its scales and the legend.
    static constexpr RECT kCopyArea{23, 35, 23 + 343, 35 + 244};
    // A picture asked to span more than its usual time grows up to this width.
    static constexpr int kWidestPicturePixels = 2400;
    // Level range.
    static constexpr float kLowestLowDb = -101.0f;
    static constexpr float kMeetingDb = -51.0f; // the low level's top and the high level's bottom
    static constexpr float kHighestHighDb = 0.0f;

    explicit OmbrelEditor(ParameterSet* parameters);

    // While the content is open (null otherwise). [editor's thread]
    SpectrogramDisplay* view() const { return view_.get(); }
    controls::Slider* highSlider() const { return highSlider_.get(); }
    controls::Slider* lowSlider() const { return lowSlider_.get(); }
    controls::Button* lowBandSwitch() const { return lowBandSwitch_.get(); }
    controls::Selector* channelSelector() const { return channelSelector_.get(); }
    controls::TextField* timeReadout() const { return readouts_[0].get(); }
    controls::TextField* frequencyReadout() const { return readouts_[1].get(); }
    controls::TextField* levelReadout() const { return readouts_[2].get(); }
    bool lowBand() const { return lowBand_; }
    // The picture's place in the client and the copy area, at the current width.
    RECT pictureRect() const;
    RECT copyRect() const;
    // Copies the picture with its scales to the clipboard (inverted onto white when inverted).
    // [editor's thread] false when the clipboard refuses.
    bool copyToClipboard(bool inverted);

  protected:
    void openContent(HWND client, SIZE* clientSize) override;
    void closeContent() override;
    void loadValues() override;
    bool paint(HWND window, HDC dc) override;
    bool message(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void timer(UINT_PTR id) override;
    void special(WPARAM wParam, LPARAM lParam) override;
    HPALETTE palette() override { return bitmaps_.palette(); }

  private:
    void configureView();
    void collect();
    void syncControls();
    void setLevels(float lowDb, float highDb);
    void setSetting(int32_t index, float value);
    void paintContent(HDC dc, const RECT& area);
    void paintBackground(HDC dc);
    void paintScales(HDC dc);
    void openAboutBox();
    static INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam);
    int extraWidth() const { return extraWidth_; }

    controls::BitmapSet bitmaps_;
    std::unique_ptr<SpectrogramDisplay> view_;
    std::unique_ptr<controls::Slider> highSlider_;
    std::unique_ptr<controls::Slider> lowSlider_;
    std::unique_ptr<controls::TextField> highReadout_;
    std::unique_ptr<controls::TextField> lowReadout_;
    std::unique_ptr<controls::Button> lowBandSwitch_;
    std::unique_ptr<controls::Selector> channelSelector_;
    std::unique_ptr<controls::Button> logo_;
    std::unique_ptr<controls::TextField> readouts_[3];
    HFONT font_ = nullptr;
    bool lowBand_ = false;
    bool running_ = true;
    int channels_ = 2;
    int channelView_ = 1;
    float lowDb_ = -100.0f;
    float highDb_ = 0.0f;
    int extraWidth_ = 0;   // beyond the usual picture width
    long spanMs_ = 0;      // asked by a host; 0: the usual span
    std::vector<float> levels_; // the collected spectra in dB
};

} // namespace orq::spectrogram
