// Colour management on an 8-bit palette display with a host frame window: slots, the frame's
// subclassing, the seventeenth editor, and the palette messages.
#include "runtime/colour_management.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orq {
namespace {

// An editor as colour management sees it: a top-level window and a count of realisations.
class FakeEditor final : public ColourClient {
  public:
    FakeEditor() {
        static const ATOM registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &DefWindowProcA;
            wc.lpszClassName = "TestEditor";
            return RegisterClassA(&wc);
        }();
        (void)registered;
        window_ = CreateWindowExA(0, "TestEditor", "editor", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                  nullptr, nullptr, nullptr);
    }
    ~FakeEditor() override { DestroyWindow(window_); }
    HWND colourWindow() const override { return window_; }
    LRESULT realizePalette(bool foreground) override {
        (foreground ? foreground_ : background_) += 1;
        return 7;
    }
    void setColourSlot(int slot) override { slot_ = slot; }
    HWND window_;
    int slot_ = -1;
    int foreground_ = 0;
    int background_ = 0;
};

std::vector<UINT> frameMessages;
LRESULT CALLBACK hostFrameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    frameMessages.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
}

class ColourManagement : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(PlatformSetDisplayBits(8));
        WNDCLASSA wc{};
        wc.lpfnWndProc = &hostFrameProcedure;
        wc.lpszClassName = kHostFrameClass;
        RegisterClassA(&wc);
        frame_ = CreateWindowExA(0, kHostFrameClass, "host", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(frame_, nullptr);
        frameMessages.clear();
        PlatformSetMessageBoxAnswer(0);
    }
    void TearDown() override {
        DestroyWindow(frame_);
        UnregisterClassA(kHostFrameClass, nullptr);
        PlatformSetDisplayBits(32);
    }
    WNDPROC frameProcedure() const {
        return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(frame_, GWLP_WNDPROC));
    }
    HWND frame_ = nullptr;
};

TEST_F(ColourManagement, closing_the_first_of_two_moves_the_second_to_slot_one_and_keeps_subclass) {
    FakeEditor first, second;
    EXPECT_EQ(colourEditorOpened(&first), 1);
    EXPECT_EQ(colourEditorOpened(&second), 2);
    EXPECT_TRUE(colourActive());
    EXPECT_NE(frameProcedure(), &hostFrameProcedure) << "the first editor subclasses the frame";
    colourEditorClosed(&first);
    EXPECT_EQ(colourSlotEditor(1), &second);
    EXPECT_EQ(second.slot_, 1);
    EXPECT_EQ(colourSlotEditor(2), nullptr);
    EXPECT_NE(frameProcedure(), &hostFrameProcedure) << "still subclassed for the second";
    colourEditorClosed(&second);
    EXPECT_EQ(frameProcedure(), &hostFrameProcedure);
    EXPECT_FALSE(colourActive());
    EXPECT_EQ(colourOpenCount(), 0);
}

TEST_F(ColourManagement, frame_palette_change_realises_every_other_editor_in_the_background) {
    FakeEditor first, second;
    colourEditorOpened(&first);
    colourEditorOpened(&second);
    // The frame procedure forwards the change to the other editors' windows; their procedures
    // (here the test's) take it to colourEditorMessage.
    SendMessageA(frame_, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(first.window_), 0);
    EXPECT_FALSE(frameMessages.empty()) << "the host's own procedure still runs";
    EXPECT_EQ(frameMessages.back(), WM_PALETTECHANGED);
    LRESULT result = 0;
    colourEditorMessage(&second, second.window_, WM_PALETTECHANGED,
                        reinterpret_cast<WPARAM>(first.window_), 0, &result);
    EXPECT_EQ(second.background_, 1);
    colourEditorMessage(&first, first.window_, WM_PALETTECHANGED,
                        reinterpret_cast<WPARAM>(first.window_), 0, &result);
    EXPECT_EQ(first.background_, 0) << "its own change realises nothing";
    EXPECT_TRUE(colourEditorMessage(&first, first.window_, WM_QUERYNEWPALETTE, 0, 0, &result));
    EXPECT_EQ(result, 7);
    EXPECT_EQ(first.foreground_, 1);
    NMHDR click{first.window_, 1, UINT(kNotifyClick)};
    EXPECT_TRUE(colourEditorMessage(&first, first.window_, WM_NOTIFY, 0,
                                    reinterpret_cast<LPARAM>(&click), &result));
    EXPECT_EQ(first.foreground_, 2);
    colourEditorMessage(&first, first.window_, WM_LBUTTONDOWN, 0, 0, &result);
    EXPECT_EQ(first.background_, 1);
    colourEditorClosed(&second);
    colourEditorClosed(&first);
}

TEST_F(ColourManagement, seventeenth_editor_warns_and_stays_out_of_the_table) {
    std::vector<std::unique_ptr<FakeEditor>> editors;
    for (int i = 0; i < kColourSlots; ++i) {
        editors.push_back(std::make_unique<FakeEditor>());
        ASSERT_EQ(colourEditorOpened(editors.back().get()), i + 1);
    }
    const WNDPROC subclassed = frameProcedure();
    FakeEditor extra;
    EXPECT_EQ(colourEditorOpened(&extra), 0);
    EXPECT_EQ(extra.slot_, 0);
    EXPECT_EQ(colourOpenCount(), kColourSlots + 1);
    EXPECT_EQ(frameProcedure(), subclassed);
    for (int slot = 1; slot <= kColourSlots; ++slot)
        EXPECT_EQ(colourSlotEditor(slot), editors[size_t(slot - 1)].get());
    colourEditorClosed(&extra);
    EXPECT_EQ(colourOpenCount(), kColourSlots);
    EXPECT_EQ(colourSlotEditor(kColourSlots), editors.back().get());
    for (auto it = editors.rbegin(); it != editors.rend(); ++it)
        colourEditorClosed(it->get());
    EXPECT_EQ(frameProcedure(), &hostFrameProcedure);
}

TEST(ColourManagementOff, true_colour_display_keeps_editors_out_and_the_frame_untouched) {
    FakeEditor editor;
    EXPECT_EQ(colourEditorOpened(&editor), 0);
    EXPECT_FALSE(colourActive());
    EXPECT_EQ(colourOpenCount(), 1);
    colourEditorClosed(&editor);
    EXPECT_EQ(colourOpenCount(), 0);
}

} // namespace
} // namespace orq
