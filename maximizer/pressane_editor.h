// The editor of "Orq Pressane": a 444 x 262 window painted from the library's bitmaps with the
// desired-gain and density sliders, the headroom rocker, the boost switch, two memory buttons
// and their store switch, the headroom and gain-reached meters, input and output level bars
// with their clip lamps, and five number fields. It keeps its own copy of the plug-in's set,
// hands every change to the plug-in (changed values, mode -1) and, while the plug-in runs,
// polls the gain meters every 100 ms and the frame's level peaks every 33 ms.
//
// Threads: the controls, the timers and the about box live on the editor's thread (its own on
// the host-extension road, the host's inside a property page). loadValues/started/stopped
// arrive on the host's (or streaming) thread and only post to the client window.
#pragma once

#include "controls/bar_meter.h"
#include "controls/bitmap_set.h"
#include "controls/button.h"
#include "controls/rocker.h"
#include "controls/slider.h"
#include "controls/text_field.h"
#include "runtime/editor_host.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string>

namespace orq::maximizer {

// The five settings a memory slot holds.
struct PressaneSettings {
    float desiredGainDb = 0.0f;
    float density = 0.0f;
    int headroom = 0;
    int boost = 0;
    int audition = 0;
    bool operator==(const PressaneSettings&) const = default;
};
constexpr PressaneSettings kMemoryADefaults{6.0f, 0.3f, 0, 0, 0};
constexpr PressaneSettings kMemoryBDefaults{8.0f, 0.2f, 3, 1, 0};

// The rocker's reach: one step per press, held inside this range.
constexpr int kRockerHeadroomMin = -9;
constexpr int kRockerHeadroomMax = 9;
// The rocker's notification arguments.
constexpr int kRockerDown = 1;
constexpr int kRockerUp = 2;
// The headroom after one rocker press (argument kRockerDown or kRockerUp; others change nothing).
int steppedHeadroom(int headroom, int rockerArgument);

// Level peaks as the 33 ms timer reads them: clamped to 0 ... 2 (anything not >= 0, such as
// not-a-number, is 0).
constexpr float kPeakCeiling = 2.0f;
float clampedPeak(float peak);
// The held peak after one reading: a reading at or above the held one replaces it, a lower one
// lets it fall to 0.8 held + 0.2 reading.
constexpr float kPeakHoldKeep = 0.8f;
float heldPeak(float held, float reading);
// A clip lamp is lit while its held peak exceeds full scale.
constexpr float kClipLampThreshold = 1.0f;
// The peak fields: below their threshold " - ", else "%2.0f" of the level in dB; idle "  -".
constexpr float kInputFieldThreshold = 0.01f;
constexpr float kOutputFieldThreshold = 0.36162278f;
constexpr const char* kPeakFieldFormat = "%2.0f";
constexpr const char* kPeakFieldQuiet = " - ";
constexpr const char* kPeakFieldIdle = "  -";
std::string peakFieldText(float held, float threshold);

// The meters' resting values (shown when the plug-in stops) and what the gain-meter timer adds
// to each reading before showing it.
constexpr float kHeadroomMeterRestDb = 7.0f;
constexpr float kGainReachedMeterRest = 1.0f;
constexpr float kGainMeterBias = 0.0001f;

class PressaneEditor final : public EditorHost {
  public:
    static constexpr int kWidthPixels = 444;
    static constexpr int kHeightPixels = 262;

    // Command identifiers of the controls (WM_COMMAND to the client window).
    static constexpr int kDensityCommand = 100;
    static constexpr int kHeadroomCommand = 101;
    static constexpr int kBoostCommand = 102;
    static constexpr int kAuditionCommand = 103;
    static constexpr int kAboutCommand = 104;
    static constexpr int kMemoryACommand = 105;
    static constexpr int kMemoryBCommand = 106;
    static constexpr int kStoreCommand = 107;
    static constexpr int kDesiredGainCommand = 108;

    static constexpr UINT_PTR kGainMeterTimer = 1000;
    static constexpr UINT_PTR kLevelTimer = 1001;
    static constexpr UINT kGainMeterPeriodMs = 100;
    static constexpr UINT kLevelPeriodMs = 33;

    // The about box: dialog 0x83 on bitmap 102, the version on bitmap 128.
    static constexpr int kAboutDialog = 0x83;
    // The area that opens it, from its corner to the window's (see docs/compatibility.md).
    static constexpr RECT kAboutArea{365, 222, kWidthPixels, kHeightPixels};
    static constexpr int kAboutTextX = 340;
    static constexpr int kAboutTextY = 26;
    static constexpr int kAboutTextId = 1;
    static constexpr int kAboutFontHeight = 14;
    static constexpr COLORREF kAboutTextColour = RGB(254, 248, 250);

    // Takes ownership of parameters (the editor's own set).
    explicit PressaneEditor(ParameterSet* parameters);

    // The editor's view, for tests and measurements. [editor's thread]
    PressaneSettings current() const;
    const PressaneSettings& memory(int slot) const { return memory_[size_t(slot)]; }
    bool storeArmed() const { return storeArmed_; }
    bool timersRunning() const { return timersRunning_; }
    // Held peaks: input channels 0 and 1, then output channels 0 and 1.
    float held(int bar) const { return held_[size_t(bar)]; }
    controls::Slider* desiredGainSlider() const { return desiredGain_.get(); }
    controls::Slider* densitySlider() const { return density_.get(); }
    controls::Button* boostSwitch() const { return boost_.get(); }
    controls::Button* storeSwitch() const { return store_.get(); }
    controls::Button* lamp(int bar) const { return lamps_[size_t(bar)].get(); }
    controls::BarMeter* levelBar(int bar) const { return bars_[size_t(bar)].get(); }
    controls::BarMeter* headroomMeter() const { return headroomMeter_.get(); }
    controls::BarMeter* gainReachedMeter() const { return gainReachedMeter_.get(); }
    controls::TextField* desiredGainField() const { return desiredGainField_.get(); }
    controls::TextField* densityField() const { return densityField_.get(); }
    controls::TextField* headroomField() const { return headroomField_.get(); }
    controls::TextField* inputField() const { return inputField_.get(); }
    controls::TextField* outputField() const { return outputField_.get(); }

    // One tick of the level timer with these readings (two input, two output channels): hold,
    // bars, lamps and fields, repainting only what changed. [editor's thread]
    void showLevels(const std::array<float, 2>& input, const std::array<float, 2>& output);
    // One tick of the gain-meter timer with the plug-in's meter values. [editor's thread]
    void showGainMeters(float headroomDb, float gainReached);

    // The about box's text: "Version " and the library's product version. [any-thread]
    static std::string aboutText(HINSTANCE module);

  protected:
    void openContent(HWND client, SIZE* clientSize) override;
    void closeContent() override;
    void loadValues() override;
    void started() override;
    void stopped() override;
    void timer(UINT_PTR id) override;
    bool paint(HWND window, HDC dc) override;
    bool message(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    HPALETTE palette() override { return bitmaps_.palette(); }

  private:
    void command(int id, LPARAM argument);
    void writeSettings(const PressaneSettings& settings);
    void showSettings();
    void startTimers();
    void stopTimers();
    void rest();
    void levelTick();
    void gainMeterTick();
    void openAboutBox();
    static INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam);

    controls::BitmapSet bitmaps_;
    std::unique_ptr<controls::Slider> desiredGain_;
    std::unique_ptr<controls::Slider> density_;
    std::unique_ptr<controls::Rocker> headroom_;
    std::unique_ptr<controls::Button> boost_;
    std::unique_ptr<controls::Button> memoryA_;
    std::unique_ptr<controls::Button> memoryB_;
    std::unique_ptr<controls::Button> store_;
    std::unique_ptr<controls::BarMeter> headroomMeter_;
    std::unique_ptr<controls::BarMeter> gainReachedMeter_;
    // Input 0, input 1, output 0, output 1.
    std::array<std::unique_ptr<controls::BarMeter>, 4> bars_;
    std::array<std::unique_ptr<controls::Button>, 4> lamps_;
    std::unique_ptr<controls::TextField> desiredGainField_;
    std::unique_ptr<controls::TextField> densityField_;
    std::unique_ptr<controls::TextField> headroomField_;
    std::unique_ptr<controls::TextField> inputField_;
    std::unique_ptr<controls::TextField> outputField_;

    std::array<PressaneSettings, 2> memory_{kMemoryADefaults, kMemoryBDefaults};
    bool storeArmed_ = false;
    bool timersRunning_ = false;
    std::array<float, 4> held_{};
    // What the bars, lamps and fields show, so a tick repaints only what changed.
    std::array<float, 4> shownFraction_{};
    std::array<bool, 4> shownLit_{};
    std::string shownInput_;
    std::string shownOutput_;
    // The about box's version text while the box is open.
    std::unique_ptr<controls::TextField> aboutField_;
};

} // namespace orq::maximizer

namespace orq {

// The editor factory of the plug-in table (create-editor and command 0x40): takes ownership of
// parameters; null on any failure, with parameters released.
EditorHost* createPressaneEditor(ParameterSet* parameters);

} // namespace orq
