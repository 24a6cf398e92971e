// pressane_plax.so and compressor_plax.so as a host meets them: loaded from disk, `main` called,
// the editor opened in a window of the host's through the dispatcher's editor opcodes.
#include "plax/plax.h"
#include "plax/plax_editor_test_support.h"
#include "plax/plax_test_support.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

using namespace orq::plax::testing;

namespace {

constexpr int kBackgroundBitmap = 1000;
constexpr int kClipLampBitmap = 1013;
constexpr POINT kInputLampAt{54, 50};
constexpr int kLampFrameHeightPixels = 6;

// A pixel of a bitmap resource of `module`, drawn as it is into a memory context.
COLORREF bitmapPixel(HINSTANCE module, int number, int x, int y) {
    HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(number));
    if (bitmap == nullptr) return CLR_INVALID;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return colour;
}

class PlaxLibraryTest : public ::testing::Test {
  protected:
    void load(const char* name) {
        const std::string path = std::string(ORQ_PLUGIN_DIR) + "/" + name;
        library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<PlaxMainProc>(dlsym(library, "main"));
        ASSERT_NE(entry, nullptr);
        module = PlatformModuleFromAddress(reinterpret_cast<const void*>(entry));
        effect = entry(testHost);
        ASSERT_NE(effect, nullptr);
        call(effect, kPlaxOpen);
        call(effect, kPlaxSetSampleRate, 0, 0, nullptr, 44100.0f);
        call(effect, kPlaxSetBlockSize, 0, 512);
        call(effect, kPlaxMainsChanged, 0, 1);
    }
    void TearDown() override {
        if (effect != nullptr) call(effect, kPlaxClose);
        if (library != nullptr) dlclose(library);
    }

    // One block of a constant level on both channels.
    void process(float level) {
        std::vector<float> left(512, level), right(512, level), outLeft(512), outRight(512);
        float* inputs[] = {left.data(), right.data()};
        float* outputs[] = {outLeft.data(), outRight.data()};
        effect->processReplacing(effect, inputs, outputs, 512);
    }

    void* library = nullptr;
    HINSTANCE module = nullptr;
    PlaxEffect* effect = nullptr;
};

class PressanePlaxLibraryTest : public PlaxLibraryTest {
  protected:
    void SetUp() override { load("pressane_plax.so"); }
};

class CompressorPlaxLibraryTest : public PlaxLibraryTest {
  protected:
    void SetUp() override { load("compressor_plax.so"); }
};

TEST_F(PressanePlaxLibraryTest, editor_opens_through_the_dispatcher_and_shows_the_library_bitmaps) {
    ASSERT_TRUE(effect->flags & kPlaxFlagHasEditor);
    PlaxRect* rect = nullptr;
    ASSERT_EQ(call(effect, kPlaxEditorGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 446);
    EXPECT_EQ(rect->bottom - rect->top, 263);

    plax_test::HostWindow host;
    // A corner of the background no control covers.
    const COLORREF background = bitmapPixel(module, kBackgroundBitmap, 4, 4);
    ASSERT_NE(background, CLR_INVALID) << "the library carries no bitmap " << kBackgroundBitmap;
    EXPECT_EQ(call(effect, kPlaxEditorOpen, 0, 0, host.hwnd()), 1);
    plax_test::pump();
    EXPECT_EQ(PlatformWindowPixel(host.hwnd(), 4, 4), background);

    // A full-scale block lights the input clip lamp once the host's idle call comes.
    const int x = kInputLampAt.x + 3, y = kInputLampAt.y + 2;
    const COLORREF unlit = bitmapPixel(module, kClipLampBitmap, 3, 2);
    const COLORREF lit = bitmapPixel(module, kClipLampBitmap, 3, 2 + kLampFrameHeightPixels);
    ASSERT_NE(unlit, lit);
    EXPECT_EQ(PlatformWindowPixel(host.hwnd(), x, y), unlit);
    process(1.5f);
    call(effect, kPlaxEditorIdle);
    plax_test::pump();
    EXPECT_EQ(PlatformWindowPixel(host.hwnd(), x, y), lit);

    call(effect, kPlaxEditorClose);
    plax_test::pump();
    EXPECT_EQ(GetWindow(host.hwnd(), GW_CHILD), nullptr) << "the frame outlived closing";
}

TEST_F(PressanePlaxLibraryTest, editor_moves_a_host_parameter_through_automation) {
    plax_test::HostWindow host;
    ASSERT_EQ(call(effect, kPlaxEditorOpen, 0, 0, host.hwnd()), 1);
    plax_test::pump();
    // The rocker's right half: Headroom one step up, from 0 (0.5 normalised) to +1.
    plax_test::click(host.hwnd(), 238, 115);
    EXPECT_NEAR(effect->getParameter(effect, 2), 10.0f / 18.0f, 1e-6f);
    EXPECT_EQ(text(effect, kPlaxGetParameterDisplay, 2), "1.00");
    call(effect, kPlaxEditorClose);
}

TEST_F(CompressorPlaxLibraryTest, editor_opens_with_the_library_bitmaps_and_automates_solo) {
    ASSERT_TRUE(effect->flags & kPlaxFlagHasEditor);
    PlaxRect* rect = nullptr;
    ASSERT_EQ(call(effect, kPlaxEditorGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right - rect->left, 480);
    EXPECT_EQ(rect->bottom - rect->top, 263);

    plax_test::HostWindow host(480, 263);
    constexpr int kCompressorBackgroundBitmap = 1100;
    constexpr int kInUseBitmap = 1112; // two 5-row frames: off, on
    const COLORREF background = bitmapPixel(module, kCompressorBackgroundBitmap, 4, 4);
    ASSERT_NE(background, CLR_INVALID) << "the library carries no bitmap 1100";
    ASSERT_EQ(call(effect, kPlaxEditorOpen, 0, 0, host.hwnd()), 1);
    plax_test::pump();
    EXPECT_EQ(PlatformWindowPixel(host.hwnd(), 4, 4), background);
    // Program "Init" uses three bands: band 3's LED lit, band 4's dark.
    const COLORREF lit = bitmapPixel(module, kInUseBitmap, 5, 5 + 2);
    const COLORREF dark = bitmapPixel(module, kInUseBitmap, 5, 2);
    ASSERT_NE(lit, dark);
    EXPECT_EQ(PlatformWindowPixel(host.hwnd(), 132 + 3 + 5, 56 + 2), lit);
    EXPECT_EQ(PlatformWindowPixel(host.hwnd(), 176 + 3 + 5, 56 + 2), dark);

    plax_test::click(host.hwnd(), 273, 192); // Solo
    EXPECT_FLOAT_EQ(effect->getParameter(effect, 1), 1.0f);
    call(effect, kPlaxEditorClose);
    plax_test::pump();
    EXPECT_EQ(GetWindow(host.hwnd(), GW_CHILD), nullptr) << "the frame outlived closing";
}

} // namespace
