// The phase scope's editor: the point display (the scope), the correlation meter and its range
// bar, the mono switch and the logo with the about box. Every 55 ms it collects the point rows
// the plug-in measured, shows the newest row and moves the meter; a right click copies the
// scope to the clipboard (inverted onto white with Control).
#pragma once

#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "runtime/editor_host.h"
#include "scope/lunavis_editor_display.h"
#include "scope/scope_engine.h"

#include <memory>

namespace orq::scope {

class LunavisEditor final : public EditorHost {
  public:
    // Resource numbers.
    static constexpr int kBackgroundBitmap = 101;
    static constexpr int kLogoBitmap = 102;
    static constexpr int kMonoOffBitmap = 103;
    static constexpr int kMonoOnBitmap = 104;
    static constexpr int kAboutBitmap = 105;
    static constexpr int kScopeDisplayBitmap = 106; // the scope's axes, painted under its points
    static constexpr int kAboutDialog = 160;
    static constexpr int kAboutVersionId = 1000;
    // Commands and ids.
    static constexpr int kLogoCommand = 1024;
    static constexpr int kMonoCommand = 1025;
    static constexpr int kScopeId = 1;
    static constexpr int kMeterId = 2;
    static constexpr int kRangeId = 3;
    static constexpr UINT_PTR kCollectTimer = 1000;
    static constexpr UINT kCollectPeriodMs = 55;
    // Layout (client pixels).
    static constexpr int kClientWidth = 320;
    static constexpr int kClientHeight = 300;
    static constexpr RECT kScopeArea{12, 45, 12 + 195, 45 + 180}; // also the copy
    static constexpr RECT kMeterArea{12, 244, 12 + 195, 244 + 16};
    static constexpr RECT kRangeArea{12, 262, 12 + 195, 262 + 8};
    // A click in here (around the meter and the range bar) resets the range.
    static constexpr RECT kResetArea{6, 230, 213, 290};

    explicit LunavisEditor(ParameterSet* parameters);
    ~LunavisEditor() override;

    // While the content is open (null otherwise). [editor's thread]
    ScopeDisplay* scopeDisplay() const { return scope_.get(); }
    CorrelationMeterDisplay* meter() const { return meter_.get(); }
    RangeBarDisplay* rangeBar() const { return range_.get(); }
    controls::Button* monoSwitch() const { return mono_.get(); }
    const CorrelationBallistics& ballistics() const { return ballistics_; }
    // Copies the scope to the clipboard (inverted onto white when inverted). [editor's thread]
    bool copyToClipboard(bool inverted);

  protected:
    void openContent(HWND client, SIZE* clientSize) override;
    void closeContent() override;
    void loadValues() override;
    bool paint(HWND window, HDC dc) override;
    bool message(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void timer(UINT_PTR id) override;
    HPALETTE palette() override { return bitmaps_.palette(); }

  private:
    void collect();
    void syncMono();
    void resetRange();
    void openAboutBox();
    static INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam);

    controls::BitmapSet bitmaps_;
    std::unique_ptr<ScopeDisplay> scope_;
    std::unique_ptr<CorrelationMeterDisplay> meter_;
    std::unique_ptr<RangeBarDisplay> range_;
    std::unique_ptr<controls::Button> mono_;
    std::unique_ptr<controls::Button> logo_;
    std::unique_ptr<ScopeBlock> block_; // the editor's copy of the rows
    HFONT font_ = nullptr;
    CorrelationBallistics ballistics_;
    bool monoOn_ = false;
    float continuousRing_ = 0.0f; // index 3 as read at opening
    float scale_ = 0.0f;          // index 4 as read at opening
};

} // namespace orq::scope
