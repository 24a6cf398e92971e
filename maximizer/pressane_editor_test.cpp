// The maximizer's editor driven as a user drives it: real mouse messages into its window, the
// real plug-in behind it processing audio, and its timers on the platform's manual clock. Most
// cases show the editor inside a window of the test's own thread (the property page road), so
// every message is handled before the next line; the last ones open it through command 0x40 on
// a thread of its own.
#include "maximizer/pressane_editor.h"

#include "maximizer/pressane_parameters.h"
#include "maximizer/pressane_plugin.h"
#include "runtime/plugin_glue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace orq::maximizer {
namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlockFrames = 4096;
// A sine of this period has a sample at its crest, so its peak is its amplitude exactly.
constexpr int kSinePeriodFrames = 64;
constexpr float kTolerance = 1e-6f;
constexpr const char* kHostClass = "PressaneTestHost";

// Where the controls are (client coordinates): a point inside each.
constexpr POINT kRockerLeftHalf{198 + 5, 107 + 11};
constexpr POINT kBoostSwitch{202 + 10, 55 + 8};
constexpr POINT kMemoryA{195 + 10, 169 + 8};
constexpr POINT kMemoryB{225 + 10, 169 + 8};
constexpr POINT kStoreSwitch{202 + 10, 189 + 7};
// Three pixels below the desired-gain slider's top: its highest position.
constexpr POINT kDesiredGainTop{99 + 9, 64 + 3};
constexpr POINT kAboutArea{400, 240};

float pluginValue(PluginRecord* record, int32_t index, int32_t mode = kModeAll) {
    ParameterSet* store = createPressaneParameters();
    record->saveToStore(record, store->iface(), mode);
    const float value = static_cast<TableParameterSet*>(store)->value(index);
    store->release();
    return value;
}

void setPluginValue(PluginRecord* record, int32_t index, float value) {
    ParameterSet* store = createPressaneParameters();
    store->setFloat(index, value);
    record->loadFromStore(record, store->iface(), kModeChanged);
    store->release();
}

// One block of a stereo sine of the given peak through the plug-in.
void play(PluginRecord* record, float peak) {
    AudioBuffers buffers(2, 2, kBlockFrames, BufferLayout::Separate);
    buffers.setFrames(kBlockFrames);
    buffers.frames = kBlockFrames;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kBlockFrames; ++i)
            buffers.inputs()[c][i] =
                peak * float(std::sin(2.0 * M_PI * double(i) / double(kSinePeriodFrames)));
    ASSERT_EQ(record->process(record, &buffers), kBlockFrames);
}

AudioPlugin* openPlugin() {
    AudioPlugin* plugin = createPressanePlugin(nullptr, nullptr, nullptr);
    OpenFormat format{kRate, 2, 0};
    EXPECT_EQ(plugin->record().dispatcher(&plugin->record(), kCmdOpen, &format, 0), kStatusOk);
    return plugin;
}

void* createEditor(ParameterInterface* given) {
    return createEditorRecord(&createPressaneEditor, createPressaneParameters(), given);
}

// The editor inside a host window of this thread, attached to a running maximizer.
class PressaneEditorPage : public ::testing::Test {
  protected:
    void SetUp() override {
        PlatformSetClock(TRUE);
        plugin_ = openPlugin();
        record_ = &plugin_->record();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = kHostClass;
        RegisterClassA(&wc);
        host_ = CreateWindowExA(0, kHostClass, "", WS_POPUP | WS_VISIBLE, 0, 0,
                                PressaneEditor::kWidthPixels, PressaneEditor::kHeightPixels,
                                nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(host_, nullptr);
        editorRecord_ = static_cast<EditorRecord*>(createEditor(record_->parameters));
        ASSERT_NE(editorRecord_, nullptr);
        editorRecord_->dispatch(editorRecord_, kEdAttachRecord, record_, 0);
        record_->dispatcher(record_, kCmdAttachEditor, editorRecord_, 0);
        editorRecord_->dispatch(editorRecord_, kEdAttachParent, host_, 0);
        editor_ = dynamic_cast<PressaneEditor*>(EditorHost::fromRecord(editorRecord_));
        ASSERT_NE(editor_, nullptr);
        pump();
    }
    void TearDown() override {
        record_->dispatcher(record_, kCmdAttachEditor, nullptr, 0);
        editorRecord_->dispatch(editorRecord_, kEdDestroy, nullptr, 0);
        record_->dispatcher(record_, kCmdCloseAll, nullptr, 0);
        DestroyWindow(host_);
        UnregisterClassA(kHostClass, nullptr);
        PlatformSetClock(FALSE);
    }
    static void pump() {
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    void click(POINT at) const {
        PlatformInjectMouse(host_, WM_MOUSEMOVE, at.x, at.y, 0);
        PlatformInjectMouse(host_, WM_LBUTTONDOWN, at.x, at.y, MK_LBUTTON);
        PlatformInjectMouse(host_, WM_LBUTTONUP, at.x, at.y, 0);
        pump();
    }
    // Moves the clock on by whole timer periods; due timers run.
    static void wait(UINT milliseconds) {
        PlatformAdvanceClock(milliseconds);
        pump();
    }
    void start() {
        record_->dispatcher(record_, kCmdStart, nullptr, 0);
        pump();
        ASSERT_TRUE(editor_->timersRunning());
    }
    float plugin(int32_t index) const { return pluginValue(record_, index); }
    POINT placeOf(HWND child) const {
        RECT r{};
        GetWindowRect(child, &r);
        POINT p{r.left, r.top};
        ScreenToClient(editor_->clientWindow(), &p);
        return p;
    }

    AudioPlugin* plugin_ = nullptr;
    PluginRecord* record_ = nullptr;
    HWND host_ = nullptr;
    EditorRecord* editorRecord_ = nullptr;
    PressaneEditor* editor_ = nullptr;
};

TEST_F(PressaneEditorPage, the_window_holds_every_control_at_its_place) {
    RECT client{};
    GetClientRect(editor_->clientWindow(), &client);
    EXPECT_EQ(client.right, 444);
    EXPECT_EQ(client.bottom, 262);
    struct Placed {
        int id;
        POINT at;
    };
    for (const Placed& p : {Placed{108, {99, 64}}, Placed{100, {280, 64}}, Placed{101, {198, 107}},
                            Placed{102, {202, 55}}, Placed{105, {195, 169}},
                            Placed{106, {225, 169}}, Placed{107, {202, 189}}}) {
        HWND control = GetDlgItem(editor_->clientWindow(), p.id);
        ASSERT_NE(control, nullptr) << "command " << p.id;
        const POINT at = placeOf(control);
        EXPECT_EQ(at.x, p.at.x) << "command " << p.id;
        EXPECT_EQ(at.y, p.at.y) << "command " << p.id;
    }
    const POINT lampAt[4] = {{54, 50}, {62, 50}, {382, 50}, {390, 50}};
    const POINT barAt[4] = {{54, 60}, {62, 60}, {382, 59}, {390, 59}};
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(placeOf(editor_->lamp(b)->hwnd()).x, lampAt[b].x);
        EXPECT_EQ(placeOf(editor_->lamp(b)->hwnd()).y, lampAt[b].y);
        EXPECT_EQ(placeOf(editor_->levelBar(b)->hwnd()).x, barAt[b].x);
        EXPECT_EQ(placeOf(editor_->levelBar(b)->hwnd()).y, barAt[b].y);
        EXPECT_FALSE(editor_->lamp(b)->enabled()) << "a lamp takes no clicks";
    }
    EXPECT_EQ(placeOf(editor_->headroomMeter()->hwnd()).x, 157);
    EXPECT_EQ(placeOf(editor_->gainReachedMeter()->hwnd()).x, 339);
    EXPECT_EQ(placeOf(editor_->inputField()->hwnd()).x, 55);
    EXPECT_EQ(placeOf(editor_->outputField()->hwnd()).y, 174);
    EXPECT_STREQ(editor_->inputField()->buffer(), "  -") << "idle before any audio";
    EXPECT_STREQ(editor_->desiredGainField()->buffer(), "0.0");
    EXPECT_STREQ(editor_->headroomField()->buffer(), "  0");
    EXPECT_FALSE(editor_->timersRunning()) << "the timers wait for the plug-in to start";
}

TEST_F(PressaneEditorPage, rocker_left_half_at_minus_9_stays_at_minus_9_and_still_sends_the_set) {
    for (int press = 0; press < 9; ++press)
        click(kRockerLeftHalf);
    ASSERT_EQ(plugin(kPressaneHeadroom), -9.0f);
    EXPECT_STREQ(editor_->headroomField()->buffer(), " -9");
    // The plug-in's value moves behind the editor's back; the next press sends the editor's
    // unchanged -9 again.
    setPluginValue(record_, kPressaneHeadroom, -4.0f);
    ASSERT_EQ(plugin(kPressaneHeadroom), -4.0f);
    click(kRockerLeftHalf);
    EXPECT_EQ(plugin(kPressaneHeadroom), -9.0f) << "the set was sent";
    EXPECT_EQ(editor_->current().headroom, -9);
    EXPECT_STREQ(editor_->headroomField()->buffer(), " -9");
    EXPECT_EQ(editorRecord_->dispatch(editorRecord_, kEdTakeDirty, nullptr, 0), 1);
}

TEST_F(PressaneEditorPage, store_then_memory_b_stores_and_switches_store_off_and_b_recalls) {
    EXPECT_EQ(editor_->memory(0), kMemoryADefaults);
    EXPECT_EQ(editor_->memory(1), kMemoryBDefaults);
    click(kDesiredGainTop);
    click(kBoostSwitch);
    ASSERT_EQ(plugin(kPressaneDesiredGain), 12.0f);
    ASSERT_EQ(plugin(kPressaneBoost), 1.0f);
    click(kStoreSwitch);
    ASSERT_TRUE(editor_->storeArmed());
    ASSERT_EQ(editor_->storeSwitch()->state(), controls::Button::kOn);
    click(kMemoryB);
    EXPECT_EQ(editor_->memory(1), (PressaneSettings{12.0f, 0.0f, 0, 1, 0}));
    EXPECT_FALSE(editor_->storeArmed());
    EXPECT_EQ(editor_->storeSwitch()->state(), controls::Button::kOff);
    EXPECT_EQ(plugin(kPressaneDesiredGain), 12.0f) << "storing changes no value";

    click(kMemoryA); // recalls A's defaults
    EXPECT_EQ(plugin(kPressaneDesiredGain), 6.0f);
    EXPECT_NEAR(plugin(kPressaneDensity), 0.3f, kTolerance);
    EXPECT_EQ(plugin(kPressaneBoost), 0.0f);
    EXPECT_STREQ(editor_->desiredGainField()->buffer(), "6.0");
    EXPECT_STREQ(editor_->densityField()->buffer(), "0.3");
    EXPECT_EQ(editor_->boostSwitch()->state(), controls::Button::kOff);
    EXPECT_EQ(editor_->desiredGainSlider()->value(), 6.0f);

    click(kMemoryB);
    EXPECT_EQ(plugin(kPressaneDesiredGain), 12.0f);
    EXPECT_EQ(plugin(kPressaneDensity), 0.0f);
    EXPECT_EQ(plugin(kPressaneBoost), 1.0f);
    EXPECT_EQ(editor_->boostSwitch()->state(), controls::Button::kOn);
    EXPECT_EQ(editor_->desiredGainSlider()->value(), 12.0f);
}

TEST_F(PressaneEditorPage, peak_fields_show_a_dash_below_their_thresholds_and_the_level_above) {
    start();
    play(record_, 0.005f);
    wait(PressaneEditor::kLevelPeriodMs);
    EXPECT_STREQ(editor_->inputField()->buffer(), " - ") << "0.005 is below 0.01";
    // The maximizer at 0 dB passes a quiet signal at 0.99866 of its level (after its delay).
    play(record_, 0.3f);
    wait(PressaneEditor::kLevelPeriodMs);
    EXPECT_STREQ(editor_->outputField()->buffer(), " - ") << "0.3 is below 0.36";
    EXPECT_STREQ(editor_->inputField()->buffer(), "-10");
    play(record_, 0.5f);
    wait(PressaneEditor::kLevelPeriodMs);
    EXPECT_STREQ(editor_->outputField()->buffer(), "-6") << "held " << editor_->held(2);
    EXPECT_STREQ(editor_->inputField()->buffer(), "-6");
    EXPECT_NEAR(editor_->held(2), 0.5f * 0.99866f, 1e-4f);
    // The bars show the held peaks on their scales: 0.5 (-6.02 dB) is above the eleventh
    // breakpoint (-7 dB), not the twelfth (-6 dB).
    EXPECT_NEAR(editor_->levelBar(0)->fraction(), 11.0f / 28.0f, kTolerance);
}

TEST_F(PressaneEditorPage, a_held_peak_of_1_2_decays_by_a_fifth_per_tick_and_its_lamp_goes_out) {
    start();
    play(record_, 1.2f);
    wait(PressaneEditor::kLevelPeriodMs);
    EXPECT_NEAR(editor_->held(0), 1.2f, kTolerance);
    EXPECT_EQ(editor_->lamp(0)->state(), controls::Button::kOn);
    EXPECT_EQ(editor_->lamp(1)->state(), controls::Button::kOn);
    const float expected[] = {0.96f, 0.768f, 0.6144f};
    for (float held : expected) {
        wait(PressaneEditor::kLevelPeriodMs); // silence: the frame's peaks read 0
        EXPECT_NEAR(editor_->held(0), held, kTolerance);
        EXPECT_EQ(editor_->lamp(0)->state(), controls::Button::kOff) << "held " << held;
    }
}

TEST_F(PressaneEditorPage, the_gain_meters_show_what_the_plug_in_measures_plus_a_ten_thousandth) {
    // A twin of the plug-in with the same setting and audio tells what the meters read.
    setPluginValue(record_, kPressaneDesiredGain, 9.0f);
    AudioPlugin* twin = openPlugin();
    PluginRecord* twinRecord = &twin->record();
    setPluginValue(twinRecord, kPressaneDesiredGain, 9.0f);
    twinRecord->dispatcher(twinRecord, kCmdStart, nullptr, 0);
    start();
    for (PluginRecord* r : {record_, twinRecord})
        play(r, 0.8f);
    // One meter request reads both (and starts the plug-in's next measurement).
    ParameterSet* meters = createPressaneParameters();
    twinRecord->saveToStore(twinRecord, meters->iface(), kModeUnnamed);
    const float headroomDb = static_cast<TableParameterSet*>(meters)->value(kPressaneHeadroomMeter);
    const float gainReached =
        static_cast<TableParameterSet*>(meters)->value(kPressaneGainReachedMeter);
    meters->release();
    ASSERT_LT(gainReached, 0.99f) << "the twin reached less than all of 9 dB";
    ASSERT_NE(headroomDb, kHeadroomMeterRestDb) << "the twin measured something";
    wait(PressaneEditor::kGainMeterPeriodMs);
    EXPECT_NEAR(editor_->headroomMeter()->value(), headroomDb + 0.0001f, 1e-5f);
    EXPECT_NEAR(editor_->gainReachedMeter()->value(), gainReached + 0.0001f, 1e-5f);
    twinRecord->dispatcher(twinRecord, kCmdCloseAll, nullptr, 0);
}

TEST_F(PressaneEditorPage, stop_empties_bars_and_lamps_idles_the_fields_and_rests_the_meters) {
    start();
    play(record_, 1.5f);
    wait(2 * PressaneEditor::kGainMeterPeriodMs);
    ASSERT_GT(editor_->levelBar(3)->fraction(), 0.0f);
    ASSERT_EQ(editor_->lamp(0)->state(), controls::Button::kOn);
    record_->dispatcher(record_, kCmdStop, nullptr, 0);
    pump();
    EXPECT_FALSE(editor_->timersRunning());
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(editor_->levelBar(b)->fraction(), 0.0f) << "bar " << b;
        EXPECT_EQ(editor_->lamp(b)->state(), controls::Button::kOff) << "lamp " << b;
        EXPECT_EQ(editor_->held(b), 0.0f);
    }
    EXPECT_STREQ(editor_->inputField()->buffer(), "  -");
    EXPECT_STREQ(editor_->outputField()->buffer(), "  -");
    EXPECT_EQ(editor_->headroomMeter()->value(), 7.0f);
    EXPECT_EQ(editor_->gainReachedMeter()->value(), 1.0f);
    play(record_, 0.5f);
    wait(PressaneEditor::kGainMeterPeriodMs);
    EXPECT_STREQ(editor_->inputField()->buffer(), "  -") << "no timer runs after the stop";
}

TEST_F(PressaneEditorPage, values_loaded_from_outside_move_the_controls) {
    ParameterSet* store = createPressaneParameters();
    store->setFloat(kPressaneDesiredGain, 9.5f);
    store->setFloat(kPressaneDensity, 0.5f);
    store->setFloat(kPressaneHeadroom, -3.0f);
    store->setFloat(kPressaneBoost, 1.0f);
    editorRecord_->dispatch(editorRecord_, kEdLoad, store->iface(), kModeAll);
    store->release();
    pump();
    EXPECT_EQ(editor_->desiredGainSlider()->value(), 9.5f);
    EXPECT_STREQ(editor_->desiredGainField()->buffer(), "9.5");
    EXPECT_EQ(editor_->densitySlider()->value(), 0.5f);
    EXPECT_STREQ(editor_->densityField()->buffer(), "0.5");
    EXPECT_STREQ(editor_->headroomField()->buffer(), " -3");
    EXPECT_EQ(editor_->boostSwitch()->state(), controls::Button::kOn);
}

TEST_F(PressaneEditorPage, a_timer_that_cannot_be_made_shows_too_much_timer_and_the_other_runs) {
    PlatformMessageBoxRecord before{};
    PlatformLastMessageBox(&before);
    PlatformSetTimerLimit(1);
    record_->dispatcher(record_, kCmdStart, nullptr, 0);
    pump();
    PlatformSetTimerLimit(0);
    PlatformMessageBoxRecord box{};
    PlatformLastMessageBox(&box);
    EXPECT_EQ(box.count, before.count + 1);
    EXPECT_STREQ(box.text, "Too much timer!");
    EXPECT_STREQ(box.caption, "Orq Pressane");
    // The gain-meter timer came first and runs; the level timer is missing.
    play(record_, 0.5f);
    wait(PressaneEditor::kGainMeterPeriodMs);
    EXPECT_NE(editor_->headroomMeter()->value(), 7.0f);
    EXPECT_STREQ(editor_->inputField()->buffer(), "  -");
}

TEST_F(PressaneEditorPage, content_opened_while_the_plug_in_runs_starts_the_timers_at_once) {
    // The page is taken down, the plug-in starts, and the page comes back (as a host shows the
    // page again while playing): the editor heard the start before it had a window.
    editorRecord_->dispatch(editorRecord_, kEdDetachParent, nullptr, 0);
    record_->dispatcher(record_, kCmdStart, nullptr, 0);
    pump();
    editorRecord_->dispatch(editorRecord_, kEdAttachParent, host_, 0);
    pump();
    EXPECT_TRUE(editor_->timersRunning());
    play(record_, 0.5f);
    wait(PressaneEditor::kLevelPeriodMs);
    EXPECT_STREQ(editor_->inputField()->buffer(), "-6");
}

// The editor through command 0x40, on a thread of its own ----------------------------------

class PressaneEditorWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        PlatformSetClock(TRUE);
        plugin_ = openPlugin();
        record_ = &plugin_->record();
        ASSERT_EQ(record_->dispatcher(record_, kCmdOpenEditor,
                                      reinterpret_cast<void*>(&createEditor), 0),
                  1);
        editor_ = dynamic_cast<PressaneEditor*>(record_->editor);
        ASSERT_NE(editor_, nullptr);
        frame_ = editor_->frameWindow();
        ASSERT_TRUE(PlatformWaitForIdle(frame_, kPatienceMs));
    }
    void TearDown() override {
        record_->dispatcher(record_, kCmdCloseAll, nullptr, 0);
        PlatformSetClock(FALSE);
    }
    void click(HWND window, POINT at) const {
        PlatformInjectMouse(window, WM_LBUTTONDOWN, at.x, at.y, MK_LBUTTON);
        PlatformInjectMouse(window, WM_LBUTTONUP, at.x, at.y, 0);
        ASSERT_TRUE(PlatformWaitForIdle(frame_, kPatienceMs));
    }
    // A client point in the frame's window coordinates.
    POINT inFrame(POINT at) const {
        ClientToScreen(editor_->clientWindow(), &at);
        RECT f{};
        GetWindowRect(frame_, &f);
        return POINT{at.x - f.left, at.y - f.top};
    }
    static constexpr DWORD kPatienceMs = 10000;
    AudioPlugin* plugin_ = nullptr;
    PluginRecord* record_ = nullptr;
    PressaneEditor* editor_ = nullptr;
    HWND frame_ = nullptr;
};

TEST_F(PressaneEditorWindow, a_click_on_the_slider_reaches_the_plug_in) {
    click(frame_, inFrame(kDesiredGainTop));
    EXPECT_EQ(pluginValue(record_, kPressaneDesiredGain), 12.0f);
    RECT client{};
    GetClientRect(editor_->clientWindow(), &client);
    EXPECT_EQ(client.right - client.left, 444);
    EXPECT_EQ(client.bottom - client.top, 262);
}

TEST_F(PressaneEditorWindow, the_about_area_opens_the_version_box_and_a_click_closes_it) {
    click(frame_, inFrame(kAboutArea));
    HWND box = FindWindowA("#32770", nullptr);
    ASSERT_NE(box, nullptr) << "the about box is open";
    RECT client{};
    GetClientRect(box, &client);
    EXPECT_EQ(client.right, 440) << "sized to bitmap 102";
    EXPECT_EQ(client.bottom, 120);
    HWND text = GetDlgItem(box, PressaneEditor::kAboutTextId);
    ASSERT_NE(text, nullptr);
    RECT textRect{};
    GetWindowRect(text, &textRect);
    POINT textAt{textRect.left, textRect.top};
    ScreenToClient(box, &textAt);
    EXPECT_EQ(textAt.x, 340);
    EXPECT_EQ(textAt.y, 26);
    EXPECT_EQ(PressaneEditor::aboutText(nullptr), "Version " ORQ_PROJECT_VERSION);
    click(box, POINT{20, 20});
    EXPECT_FALSE(IsWindow(box)) << "any left click closes it";
    click(frame_, inFrame(kDesiredGainTop));
    EXPECT_EQ(pluginValue(record_, kPressaneDesiredGain), 12.0f) << "the editor goes on";
}

} // namespace
} // namespace orq::maximizer
