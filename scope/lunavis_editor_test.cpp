// The phase scope's editor: the meter's ballistics, the points of mono and inverted signals
// as pixels with the meter at +1 and -1, the mono switch, the range reset and the clipboard
// copy. The editor runs inside a window of the test's (the property page road), so its timer
// and its painting run on the test's thread when asked.
#include "controls/bitmap_test_support.h"
#include "controls/clipboard_test_support.h"
#include "runtime/editor_host.h"
#include "runtime/page_editor_test_support.h"
#include "scope/lunavis_editor.h"
#include "scope/lunavis_parameters.h"
#include "scope/lunavis_plugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <vector>

namespace orq::scope {
namespace {

TEST(CorrelationBallistics, first_value_after_a_reset_is_taken_whole_then_falls_in_limited_steps) {
    CorrelationBallistics b;
    b.update(0.9f, false);
    EXPECT_FLOAT_EQ(b.value(), 0.9f);
    EXPECT_FLOAT_EQ(b.minimum(), 0.9f);
    EXPECT_FLOAT_EQ(b.maximum(), 0.9f);
    b.update(0.1f, false);
    EXPECT_FLOAT_EQ(b.value(), 0.86f);
    EXPECT_FLOAT_EQ(b.minimum(), 0.86f);
    b.update(0.84f, false); // within the step: taken as it is
    EXPECT_FLOAT_EQ(b.value(), 0.84f);
    b.update(1.0f, false); // rising: limited too
    EXPECT_FLOAT_EQ(b.value(), 0.88f);
    EXPECT_FLOAT_EQ(b.maximum(), 0.9f);
    EXPECT_FLOAT_EQ(b.minimum(), 0.84f);
}

TEST(CorrelationBallistics, in_mono_a_rise_jumps_and_the_range_closes_on_its_maximum) {
    CorrelationBallistics b;
    b.update(0.5f, false);
    b.update(0.2f, false);
    b.update(1.0f, true);
    EXPECT_FLOAT_EQ(b.value(), 1.0f);
    EXPECT_FLOAT_EQ(b.minimum(), b.maximum());
    b.reset();
    EXPECT_TRUE(b.resetPending());
    b.update(0.3f, false);
    EXPECT_FLOAT_EQ(b.value(), 0.3f);
    EXPECT_FLOAT_EQ(b.minimum(), 0.3f);
    EXPECT_FLOAT_EQ(b.maximum(), 0.3f);
}

void* createEditorForTest(ParameterInterface* given) {
    return createEditorRecord(&createLunavisEditor, createLunavisParameters(), given);
}

class ScopeEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        plugin_ = createLunavisPlugin(createLunavisParameters(), nullptr, nullptr);
        ASSERT_NE(plugin_, nullptr);
        record_ = &plugin_->record();
        OpenFormat format{44100, 2, 0};
        ASSERT_EQ(record_->dispatcher(record_, kCmdOpen, &format, 0), 0);
        record_->dispatcher(record_, kCmdStart, nullptr, 0);
        editorRecord_ = static_cast<EditorRecord*>(createEditorForTest(nullptr));
        ASSERT_NE(editorRecord_, nullptr);
        editorRecord_->dispatch(editorRecord_, kEdAttachRecord, record_, 0);
        editorRecord_->dispatch(editorRecord_, kEdAttachParent, window_.hwnd(), 0);
        editor_ = dynamic_cast<LunavisEditor*>(EditorHost::fromRecord(editorRecord_));
        ASSERT_NE(editor_, nullptr);
        window_.pump();
    }
    void TearDown() override {
        if (editorRecord_ != nullptr) {
            editorRecord_->dispatch(editorRecord_, kEdDetachParent, nullptr, 0);
            editorRecord_->dispatch(editorRecord_, kEdDestroy, nullptr, 0);
        }
        if (record_ != nullptr) record_->dispatcher(record_, kCmdCloseAll, nullptr, 0);
    }
    // Blocks of a sine (no sample exactly 0) on the left and rightSign times it on the right;
    // a frame of the output is kept (the output is one block late).
    void feed(float rightSign, int blocks = 4) {
        AudioBuffers buffers(2, 2, kScopeBlockFrames, BufferLayout::Separate);
        for (int b = 0; b < blocks; ++b) {
            buffers.setFrames(kScopeBlockFrames);
            buffers.frames = kScopeBlockFrames;
            for (int i = 0; i < kScopeBlockFrames; ++i) {
                const float v = 0.5f * float(std::sin(2.0 * std::numbers::pi * 7.0 * (i + 0.5) / 512.0));
                buffers.inputs()[0][i] = v;
                buffers.inputs()[1][i] = rightSign * v;
            }
            record_->process(record_, &buffers);
            lastOutput_[0] = buffers.outputs()[0][100];
            lastOutput_[1] = buffers.outputs()[1][100];
        }
    }
    void tick() {
        SendMessageA(editor_->clientWindow(), WM_TIMER, LunavisEditor::kCollectTimer, 0);
        window_.pump();
    }
    // The scope's yellow pixels (columns and rows, relative to the scope).
    void pointPixels(std::set<int>* columns, std::set<int>* rows) const {
        const RECT s = LunavisEditor::kScopeArea;
        for (int y = s.top; y < s.bottom; ++y)
            for (int x = s.left; x < s.right; ++x)
                if (PlatformWindowPixel(window_.hwnd(), x, y) == kPointColour) {
                    columns->insert(x - s.left);
                    rows->insert(y - s.top);
                }
    }
    // The meter's marker: the column of the tip (the narrowest row) in the zone colour.
    int markerColumn() const {
        const RECT m = LunavisEditor::kMeterArea;
        const int tipRow = m.top + (m.bottom - m.top) / 2 + 3;
        for (int x = m.left; x < m.right; ++x) {
            const COLORREF c = PlatformWindowPixel(window_.hwnd(), x, tipRow);
            if (c == kZoneLowColour || c == kZoneMidColour || c == kZoneHighColour)
                return x - m.left;
        }
        return -1;
    }

    test::PopupTestWindow window_{400, 320};
    AudioPlugin* plugin_ = nullptr;
    PluginRecord* record_ = nullptr;
    EditorRecord* editorRecord_ = nullptr;
    LunavisEditor* editor_ = nullptr;
    float lastOutput_[2] = {};
};

TEST_F(ScopeEditorTest, equal_channels_draw_a_vertical_line_with_the_meter_at_plus_one) {
    feed(1.0f);
    tick();
    std::set<int> columns, rows;
    pointPixels(&columns, &rows);
    const int width = LunavisEditor::kScopeArea.right - LunavisEditor::kScopeArea.left;
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(*columns.begin(), width / 2);
    EXPECT_GT(rows.size(), 100u); // the peak reaches ±1.414 of ±1.5
    EXPECT_FLOAT_EQ(editor_->ballistics().value(), 1.0f);
    EXPECT_EQ(markerColumn(), editor_->meter()->columnOf(1.0f));
    EXPECT_EQ(editor_->meter()->columnOf(1.0f), width - 1);
}

TEST_F(ScopeEditorTest, the_scope_paints_its_axes_bitmap_under_the_points) {
    int width = 0, height = 0;
    const std::vector<COLORREF> axes =
        controls_test::resourceBitmapPixels(LunavisEditor::kScopeDisplayBitmap, &width, &height);
    const RECT s = LunavisEditor::kScopeArea;
    ASSERT_EQ(width, s.right - s.left);
    ASSERT_EQ(height, s.bottom - s.top);
    // The picture has lines to show (not one flat colour) and no pixel in the points' colour.
    EXPECT_GT(std::set<COLORREF>(axes.begin(), axes.end()).size(), 3u);
    EXPECT_EQ(std::count(axes.begin(), axes.end(), kPointColour), 0);
    feed(1.0f);
    tick();
    int points = 0, differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF shown = PlatformWindowPixel(window_.hwnd(), s.left + x, s.top + y);
            if (shown == kPointColour)
                ++points;
            else if (shown != axes[size_t(y) * size_t(width) + size_t(x)] && differing++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y << ": shown " << std::hex << shown
                              << ", the bitmap's " << axes[size_t(y) * size_t(width) + size_t(x)];
        }
    EXPECT_GT(points, 100);
    EXPECT_EQ(differing, 0);
}

TEST_F(ScopeEditorTest, opposite_channels_draw_a_horizontal_line_with_the_meter_at_minus_one) {
    feed(-1.0f);
    tick();
    std::set<int> columns, rows;
    pointPixels(&columns, &rows);
    const int height = LunavisEditor::kScopeArea.bottom - LunavisEditor::kScopeArea.top;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(*rows.begin(), height / 2);
    EXPECT_GT(columns.size(), 100u);
    EXPECT_FLOAT_EQ(editor_->ballistics().value(), 0.0f);
    EXPECT_EQ(markerColumn(), 0);
}

TEST_F(ScopeEditorTest, mono_switch_folds_the_output_and_restarts_the_range) {
    feed(1.0f);
    tick();
    SendMessageA(editor_->clientWindow(), WM_COMMAND, LunavisEditor::kMonoCommand,
                 controls::Button::kOn);
    EXPECT_TRUE(editor_->ballistics().resetPending());
    feed(-1.0f, 2);
    EXPECT_FLOAT_EQ(lastOutput_[0], 0.0f); // the mean of opposite channels
    EXPECT_FLOAT_EQ(lastOutput_[1], 0.0f);
    tick();
    EXPECT_FLOAT_EQ(editor_->ballistics().minimum(), editor_->ballistics().maximum());
}

TEST_F(ScopeEditorTest, click_on_the_meter_shows_the_range_at_the_middle_until_the_next_draw) {
    feed(1.0f);
    tick();
    feed(-1.0f);
    tick();
    ASSERT_LT(editor_->rangeBar()->minimum(), editor_->rangeBar()->maximum());
    SendMessageA(editor_->meter()->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_FLOAT_EQ(editor_->rangeBar()->minimum(), 0.5f);
    EXPECT_FLOAT_EQ(editor_->rangeBar()->maximum(), 0.5f);
    EXPECT_TRUE(editor_->ballistics().resetPending());
}

TEST_F(ScopeEditorTest, right_click_copies_the_scope_as_the_window_shows_it) {
    feed(1.0f);
    tick();
    const RECT area = LunavisEditor::kScopeArea;
    for (bool control : {false, true}) {
        SendMessageA(editor_->clientWindow(), WM_RBUTTONDOWN, control ? MK_CONTROL : 0,
                     MAKELPARAM(250, 150));
        window_.pump();
        EXPECT_EQ(controls_test::clipboardDifferencesFromWindow(window_.hwnd(), area, control), 0)
            << (control ? "inverted copy" : "copy");
    }
}

} // namespace
} // namespace orq::scope
