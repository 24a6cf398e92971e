// The pass-through plug-in's editor, for testing the editor host with real controls: a
// background bitmap, a switch that silences the output (gain 0) and a bar meter of the output
// peak, read on a 55 ms timer through the plug-in's saveSettings into the editor's set.
#pragma once

#include "controls/bar_meter.h"
#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "runtime/editor_host.h"

#include <memory>

namespace orq {

class PassthroughEditor final : public EditorHost {
  public:
    static constexpr int kSwitchId = 1;
    static constexpr UINT_PTR kMeterTimer = 1;
    static constexpr UINT kMeterPeriodMs = 55;
    // Resource numbers of the library's bitmaps.
    static constexpr int kBackgroundBitmap = 100;
    static constexpr int kSwitchOffBitmap = 110;
    static constexpr int kSwitchPressedBitmap = 111;
    static constexpr int kSwitchOnBitmap = 112;
    static constexpr int kMeterEmptyBitmap = 120;
    static constexpr int kMeterFullBitmap = 121;

    explicit PassthroughEditor(ParameterSet* parameters);

    // The controls while the content is open (null otherwise). [editor's thread]
    controls::Button* silenceSwitch() const { return switch_.get(); }
    controls::BarMeter* meter() const { return meter_.get(); }

  protected:
    void openContent(HWND client, SIZE* clientSize) override;
    void closeContent() override;
    void loadValues() override;
    bool paint(HWND window, HDC dc) override;
    bool message(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void timer(UINT_PTR id) override;
    HPALETTE palette() override { return bitmaps_.palette(); }

  private:
    void syncSwitch();

    controls::BitmapSet bitmaps_;
    std::unique_ptr<controls::Button> switch_;
    std::unique_ptr<controls::BarMeter> meter_;
};

} // namespace orq
