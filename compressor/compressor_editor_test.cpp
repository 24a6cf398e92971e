// The compressor editor with its plug-in: built inside a window of the test (the property-page
// road, on this thread) and through command 0x40 (a thread of its own), driven by mouse
// messages. Checks what reaches the plug-in, in which order, and what comes back.
#include "compressor/compressor_editor.h"
#include "compressor/compressor_editor_test_support.h"
#include "compressor/compressor_parameters.h"
#include "compressor/compressor_plugin.h"
#include "runtime/live_objects.h"
#include "runtime/plugin_glue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace orq::compressor {
namespace {

using testing::Mouse;
using testing::ParentWindow;
using testing::pump;

// Every exchange the editor starts, by the parameter index it selects.
std::vector<int32_t>& sentIndices() {
    static std::vector<int32_t> log;
    return log;
}
void (*realLoadFromStore)(PluginRecord*, ParameterInterface*, int32_t) = nullptr;
void spyLoadFromStore(PluginRecord* record, ParameterInterface* store, int32_t value) {
    sentIndices().push_back(value);
    realLoadFromStore(record, store, value);
}

void* createTestEditor(ParameterInterface* given) {
    return createEditorRecord(&createCompressorEditor, createCompressorParameters(), given);
}

class CompressorEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        plugin_ = createCompressorPlugin(createCompressorParameters(), nullptr, nullptr);
        ASSERT_NE(plugin_, nullptr);
        record_ = &plugin_->record();
        OpenFormat format{44100, 2, 0};
        ASSERT_EQ(record_->dispatcher(record_, kCmdOpen, &format, 0), 0);
        realLoadFromStore = record_->loadFromStore;
        record_->loadFromStore = spyLoadFromStore;
        sentIndices().clear();
    }
    void TearDown() override {
        closeEditor();
        record_->loadFromStore = realLoadFromStore;
        record_->dispatcher(record_, kCmdCloseAll, nullptr, 0);
        pump();
        EXPECT_EQ(liveObjectCount(), 0);
    }
    // The editor inside the test's window, as a property page holds it.
    void openEditor() {
        editorRecord_ = static_cast<EditorRecord*>(createTestEditor(record_->parameters));
        ASSERT_NE(editorRecord_, nullptr);
        editorRecord_->dispatch(editorRecord_, kEdAttachRecord, record_, 0);
        editorRecord_->dispatch(editorRecord_, kEdAttachParent, parent_.hwnd(), 0);
        editor_ = static_cast<CompressorEditor*>(EditorHost::fromRecord(editorRecord_));
        ASSERT_NE(editor_, nullptr);
        ASSERT_NE(editor_->bandDisplay(), nullptr);
        pump();
        sentIndices().clear();
    }
    void closeEditor() {
        if (editorRecord_ == nullptr) return;
        editorRecord_->dispatch(editorRecord_, kEdDetachParent, nullptr, 0);
        editorRecord_->dispatch(editorRecord_, kEdDestroy, nullptr, 0);
        editorRecord_ = nullptr;
        editor_ = nullptr;
    }
    Mouse mouseOn(HWND control) const { return Mouse(parent_.hwnd(), control); }
    // A value of the plug-in's own set.
    float pluginValue(int32_t index) {
        ScopedLock lock(plugin_->lock());
        return static_cast<TableParameterSet&>(plugin_->parameters()).value(index);
    }
    template <class Array> Array pluginArray(int32_t index) {
        Array values{};
        ScopedLock lock(plugin_->lock());
        std::memcpy(values.data(),
                    static_cast<TableParameterSet&>(plugin_->parameters()).arrayData(index),
                    sizeof values);
        return values;
    }
    // Values given to the plug-in as a host would, before the editor opens.
    void setPluginValue(int32_t index, float value) {
        ParameterSet* store = createCompressorParameters();
        store->setFloat(index, value);
        store->setMode(index);
        realLoadFromStore(record_, store->iface(), index); // not one of the editor's exchanges
        store->release();
    }

    ParentWindow parent_{640, 340};
    AudioPlugin* plugin_ = nullptr;
    PluginRecord* record_ = nullptr;
    EditorRecord* editorRecord_ = nullptr;
    CompressorEditor* editor_ = nullptr;
};

TEST(MeterBallisticsTest, falls_by_at_most_0_03_and_rises_by_at_most_0_3_per_tick) {
    MeterBallistics meter;
    EXPECT_FLOAT_EQ(meter.step(0.9f), 0.3f);
    EXPECT_FLOAT_EQ(meter.step(0.9f), 0.6f);
    EXPECT_FLOAT_EQ(meter.step(0.8f), 0.8f) << "within the rise limit: taken as it is";
    EXPECT_FLOAT_EQ(meter.step(0.0f), 0.77f);
    EXPECT_FLOAT_EQ(meter.step(0.75f), 0.75f) << "within the fall limit";
    EXPECT_FLOAT_EQ(meter.step(-1.0f), -1.0f) << "no level";
    EXPECT_FLOAT_EQ(meter.step(0.2f), 0.2f) << "after no level the meter rises from 0";
}

TEST_F(CompressorEditorTest, opening_reads_the_plugins_values_into_the_controls) {
    setPluginValue(kParamOutputDb, -4.5f);
    setPluginValue(kParamSoftClip, 1.0f);
    setPluginValue(kParamCompType, 1.0f);
    setPluginValue(kParamActiveBand, 2.0f);
    openEditor();
    EXPECT_EQ(editor_->bandDisplay()->bandCount(), 3);
    EXPECT_EQ(editor_->bandDisplay()->activeBand(), 2);
    EXPECT_EQ(editor_->curveEditor()->activeBand(), 2);
    EXPECT_NEAR(editor_->bandDisplay()->borderHz(1), 239.75, 0.01);
    EXPECT_STREQ(editor_->outputField()->buffer(), "-4.5 dB");
    EXPECT_NEAR(editor_->outputKnob()->value(), -4.5f, 1e-4f);
    EXPECT_EQ(editor_->softClipSwitch()->state(), controls::Button::kOn);
    EXPECT_EQ(editor_->compTypeSelector()->selected(), 1);
    EXPECT_EQ(editor_->soloSwitch()->state(), controls::Button::kOff);
    EXPECT_EQ(editor_->editorSampleRate(), 44100);
    EXPECT_TRUE(sentIndices().empty()) << "opening sends nothing";
}

TEST_F(CompressorEditorTest, a_band_added_sends_border_shape_gain_count_then_active_band_and_caps_the_top_crossover) {
    openEditor();
    BandDisplay* display = editor_->bandDisplay();
    // Splitting the top band at 15 kHz: the new top crossover lies above a quarter of 44100 Hz.
    mouseOn(display->hwnd()).doubleClick(display->xOfHz(15000.0), 20);
    EXPECT_EQ(sentIndices(), (std::vector<int32_t>{kParamActiveBand, kParamBorder, kParamShape,
                                                   kParamBandGain, kParamBandCount,
                                                   kParamActiveBand}))
        << "the first click made its band active";
    EXPECT_FLOAT_EQ(pluginValue(kParamBandCount), 4.0f);
    const auto borders = pluginArray<BorderArray>(kParamBorder);
    EXPECT_FLOAT_EQ(borders[3], 11025.0f);
    EXPECT_NEAR(borders[2], 2299.25f, 0.01f);
    EXPECT_NEAR(display->borderHz(3), 11025.0, 0.01) << "the display shows the limited border";
    auto* compressor = static_cast<CompressorPlugin*>(plugin_);
    ASSERT_NE(compressor->engine(), nullptr);
    EXPECT_EQ(compressor->engine()->bandCount(), 4);
    EXPECT_FLOAT_EQ(pluginValue(kParamActiveBand), 2.0f);
    EXPECT_EQ(editor_->editorRecord()->dispatch(editor_->editorRecord(), kEdTakeDirty, nullptr, 0), 1);
}

TEST_F(CompressorEditorTest, crossovers_below_a_capped_top_one_move_down_and_keep_their_order) {
    {
        ParameterSet* store = createCompressorParameters();
        const float borders[] = {25.0f, 2000.0f, 12000.0f, 16000.0f, 22050.0f, 22050.0f};
        store->setArray(kParamBorder, borders, kBorderEntries);
        store->setFloat(kParamBandCount, 4.0f);
        store->setMode(kModeAll);
        realLoadFromStore(record_, store->iface(), kModeAll);
        store->release();
    }
    openEditor();
    BandDisplay* display = editor_->bandDisplay();
    mouseOn(display->hwnd()).doubleClick(display->xOfHz(19000.0), 20);
    ASSERT_FLOAT_EQ(pluginValue(kParamBandCount), 5.0f);
    const auto borders = pluginArray<BorderArray>(kParamBorder);
    EXPECT_FLOAT_EQ(borders[4], 11025.0f);
    for (int i = 1; i < 4; ++i)
        EXPECT_LT(borders[size_t(i)], borders[size_t(i + 1)]) << "border " << i;
    EXPECT_FLOAT_EQ(borders[1], 2000.0f) << "far enough below: unchanged";
}

TEST_F(CompressorEditorTest, removing_a_band_moves_the_curves_above_it_down_and_resets_the_last) {
    openEditor();
    // Band 2 gets a curve of its own first.
    BandShape shape = defaultBandShape();
    shape.y[1] = 0.5f;
    {
        ParameterSet* store = createCompressorParameters();
        ShapeArray shapes{};
        for (auto& s : shapes)
            s = defaultBandShape();
        shapes[2] = shape;
        store->setArray(kParamShape, shapes.data(), kShapeEntries);
        store->setMode(kParamShape);
        realLoadFromStore(record_, store->iface(), kParamShape);
        editorRecord_->dispatch(editorRecord_, kEdLoad, store->iface(), kModeAll);
        store->release();
    }
    pump();
    BandDisplay* display = editor_->bandDisplay();
    const POINT border = display->borderHandle(1);
    mouseOn(display->hwnd()).doubleClick(border.x, border.y);
    EXPECT_FLOAT_EQ(pluginValue(kParamBandCount), 2.0f);
    const auto shapes = pluginArray<ShapeArray>(kParamShape);
    EXPECT_FLOAT_EQ(shapes[1].y[1], 0.5f) << "band 2 became band 1";
    EXPECT_FLOAT_EQ(shapes[2].y[1], 1.0f) << "beyond the count: the default curve";
}

TEST_F(CompressorEditorTest, a_gain_drag_sends_gains_then_the_band_then_the_active_band) {
    openEditor();
    BandDisplay* display = editor_->bandDisplay();
    const POINT h = display->gainHandle(0);
    mouseOn(display->hwnd()).drag(h.x, h.y, h.x, display->yOfGain(-6.0f));
    ASSERT_GE(sentIndices().size(), 4u);
    EXPECT_EQ(sentIndices()[0], kParamActiveBand) << "the press selects the handle's band";
    EXPECT_EQ(sentIndices()[1], kParamBandGain);
    EXPECT_EQ(sentIndices()[2], kParamGainChangedBand);
    EXPECT_EQ(sentIndices()[3], kParamActiveBand);
    EXPECT_NEAR(pluginArray<BandGainArray>(kParamBandGain)[0], -6.0f, 0.3f);
    EXPECT_FLOAT_EQ(pluginValue(kParamGainChangedBand), 0.0f);
}

TEST_F(CompressorEditorTest, a_border_drag_sends_borders_then_the_border_then_the_active_band) {
    openEditor();
    BandDisplay* display = editor_->bandDisplay();
    const POINT h = display->borderHandle(2);
    mouseOn(display->hwnd()).drag(h.x, h.y, display->xOfHz(4000.0), h.y);
    ASSERT_GE(sentIndices().size(), 3u);
    EXPECT_EQ(sentIndices()[0], kParamBorder);
    EXPECT_EQ(sentIndices()[1], kParamBorderMoved);
    EXPECT_EQ(sentIndices()[2], kParamActiveBand);
    EXPECT_NEAR(std::log2(pluginArray<BorderArray>(kParamBorder)[2] / 4000.0), 0.0, 0.05);
    EXPECT_FLOAT_EQ(pluginValue(kParamBorderMoved), 2.0f);
}

TEST_F(CompressorEditorTest, solo_with_no_active_band_stays_off_and_sends_nothing) {
    setPluginValue(kParamActiveBand, -1.0f);
    openEditor();
    controls::Button* solo = editor_->soloSwitch();
    mouseOn(solo->hwnd()).click(4, 4);
    EXPECT_EQ(solo->state(), controls::Button::kOff);
    EXPECT_FLOAT_EQ(pluginValue(kParamSolo), 0.0f);
    EXPECT_TRUE(sentIndices().empty());
    // With an active band the switch goes through and both displays show it.
    mouseOn(editor_->bandDisplay()->hwnd()).click(20, 90);
    sentIndices().clear();
    mouseOn(solo->hwnd()).click(4, 4);
    EXPECT_EQ(sentIndices(), std::vector<int32_t>{kParamSolo});
    EXPECT_FLOAT_EQ(pluginValue(kParamSolo), 1.0f);
    EXPECT_TRUE(editor_->bandDisplay()->solo());
}

TEST_F(CompressorEditorTest, switches_selector_and_knob_send_their_one_parameter) {
    openEditor();
    mouseOn(editor_->softClipSwitch()->hwnd()).click(4, 4);
    EXPECT_EQ(sentIndices(), std::vector<int32_t>{kParamSoftClip});
    EXPECT_FLOAT_EQ(pluginValue(kParamSoftClip), 1.0f);
    sentIndices().clear();
    controls::Selector* selector = editor_->compTypeSelector();
    const RECT second = selector->rectangle(1);
    mouseOn(selector->hwnd()).click(second.left + 3, second.top + 3);
    EXPECT_EQ(sentIndices(), std::vector<int32_t>{kParamCompType});
    EXPECT_FLOAT_EQ(pluginValue(kParamCompType), 1.0f);
    sentIndices().clear();
    // Dragging the knob up 25 pixels: 5 steps of 0.1 dB.
    mouseOn(editor_->outputKnob()->hwnd()).drag(18, 18, 18, -7);
    ASSERT_FALSE(sentIndices().empty());
    for (int32_t index : sentIndices())
        EXPECT_EQ(index, kParamOutputDb);
    EXPECT_NEAR(pluginValue(kParamOutputDb), 0.5f, 1e-4f);
    EXPECT_STREQ(editor_->outputField()->buffer(), "0.5 dB");
}

TEST_F(CompressorEditorTest, a_curve_drag_sends_the_active_bands_shape) {
    openEditor();
    CurveEditor* curve = editor_->curveEditor();
    ASSERT_EQ(curve->activeBand(), 1);
    const POINT end = curve->pointAt(1);
    mouseOn(curve->hwnd()).drag(end.x, end.y, end.x, curve->yOfLevel(0.5));
    ASSERT_FALSE(sentIndices().empty());
    for (int32_t index : sentIndices())
        EXPECT_EQ(index, kParamShape);
    const auto shapes = pluginArray<ShapeArray>(kParamShape);
    EXPECT_NEAR(shapes[1].y[1], 0.5f, 0.01f);
    EXPECT_FLOAT_EQ(shapes[0].y[1], 1.0f) << "other bands unchanged";
}

TEST_F(CompressorEditorTest, the_meter_timer_reads_the_band_meter_through_the_ballistics) {
    openEditor();
    record_->dispatcher(record_, kCmdStart, nullptr, 0);
    AudioBuffers buffers(2, 2, 4096, BufferLayout::Separate);
    for (int block = 0; block < 8; ++block) {
        buffers.setFrames(4096);
        buffers.frames = 4096;
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 4096; ++i)
                buffers.inputs()[c][i] = 0.9f * float(std::sin(0.05 * (block * 4096 + i)));
        record_->process(record_, &buffers);
    }
    std::vector<float> shown;
    for (int tick = 0; tick < 6; ++tick) {
        PlatformAdvanceClock(CompressorEditor::kMeterPeriodMs);
        pump();
        shown.push_back(editor_->curveEditor()->meter());
    }
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_LE(shown[i] - std::max(shown[i - 1], 0.0f), MeterBallistics::kRiseLimit + 1e-6f)
            << "tick " << i;
    EXPECT_GT(shown.back(), 0.0f) << "the band's level shows";
    record_->dispatcher(record_, kCmdStop, nullptr, 0);
}

TEST_F(CompressorEditorTest, values_loaded_into_the_editor_update_its_controls) {
    openEditor();
    ParameterSet* store = createCompressorParameters();
    store->setFloat(kParamBandCount, 2.0f);
    store->setFloat(kParamActiveBand, 0.0f);
    store->setFloat(kParamOutputDb, 3.0f);
    store->setFloat(kParamSolo, 1.0f);
    editorRecord_->dispatch(editorRecord_, kEdLoad, store->iface(), kModeAll);
    store->release();
    pump();
    EXPECT_EQ(editor_->bandDisplay()->bandCount(), 2);
    EXPECT_EQ(editor_->bandDisplay()->activeBand(), 0);
    EXPECT_STREQ(editor_->outputField()->buffer(), "3.0 dB");
    EXPECT_EQ(editor_->soloSwitch()->state(), controls::Button::kOn);
    EXPECT_TRUE(sentIndices().empty()) << "loading sends nothing to the plug-in";
}

TEST_F(CompressorEditorTest, edits_survive_closing_reopening_and_a_format_change) {
    openEditor();
    mouseOn(editor_->softClipSwitch()->hwnd()).click(4, 4);
    CurveEditor* curve = editor_->curveEditor();
    const POINT end = curve->pointAt(1);
    mouseOn(curve->hwnd()).drag(end.x, end.y, end.x, curve->yOfLevel(0.4));
    const float edited = pluginArray<ShapeArray>(kParamShape)[1].y[1];
    closeEditor();
    openEditor();
    EXPECT_EQ(editor_->softClipSwitch()->state(), controls::Button::kOn);
    EXPECT_FLOAT_EQ(editor_->curveEditor()->shape().y[1], edited);
    OpenFormat format{48000, 2, 0};
    record_->dispatcher(record_, kCmdFormatChanged, &format, 0);
    pump();
    EXPECT_FLOAT_EQ(pluginValue(kParamSoftClip), 1.0f);
    EXPECT_FLOAT_EQ(pluginArray<ShapeArray>(kParamShape)[1].y[1], edited);
    // The persistent stream carries them to a new plug-in.
    std::vector<uint8_t> stream;
    {
        ScopedLock lock(plugin_->lock());
        stream = saveParameterStream(plugin_->parameters(), 0);
    }
    ParameterSet* fresh = createCompressorParameters();
    ASSERT_TRUE(loadParameterStream(*fresh, stream.data(), stream.size(), nullptr));
    auto* table = static_cast<TableParameterSet*>(fresh);
    EXPECT_FLOAT_EQ(table->value(kParamSoftClip), 1.0f);
    EXPECT_FLOAT_EQ(static_cast<const BandShape*>(table->arrayData(kParamShape))[1].y[1], edited);
    fresh->release();
}

TEST_F(CompressorEditorTest, the_about_line_names_the_product_version) {
    static const char anchor = 0;
    EXPECT_EQ(CompressorEditor::versionLine(PlatformModuleFromAddress(&anchor)),
              std::string(" Version: ") + ORQ_PROJECT_VERSION);
}

TEST_F(CompressorEditorTest, command_0x40_opens_the_editor_on_its_own_thread_and_0x41_closes_it) {
    ASSERT_EQ(record_->dispatcher(record_, kCmdOpenEditor, reinterpret_cast<void*>(&createTestEditor), 0), 1);
    auto* editor = dynamic_cast<CompressorEditor*>(record_->editor);
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(editor->frameWindow(), nullptr);
    HWND client = editor->clientWindow();
    ASSERT_NE(client, nullptr);
    EXPECT_NE(GetDlgItem(client, CompressorEditor::kBandDisplayId), nullptr);
    EXPECT_NE(GetDlgItem(client, CompressorEditor::kCurveId), nullptr);
    RECT size{};
    editor->editorRecord()->dispatch(editor->editorRecord(), kEdGetSize, &size, 0);
    EXPECT_EQ(size.right, 600);
    record_->dispatcher(record_, kCmdCloseEditor, nullptr, 0);
    EXPECT_EQ(record_->editor, nullptr);
}

} // namespace
} // namespace orq::compressor
