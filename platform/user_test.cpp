// The clipboard, help requests, beeps and message boxes' neighbours in user.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(ClipboardTest, data_is_kept_per_format_between_open_and_close) {
    int bitmap = 0;
    int text = 0;
    HANDLE bitmapHandle = &bitmap;
    HANDLE textHandle = &text;
    SetLastError(0);
    EXPECT_EQ(SetClipboardData(CF_BITMAP, bitmapHandle), nullptr) << "not open";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
    EXPECT_FALSE(EmptyClipboard());
    EXPECT_FALSE(CloseClipboard());

    ASSERT_TRUE(OpenClipboard(nullptr));
    ASSERT_TRUE(EmptyClipboard());
    EXPECT_EQ(SetClipboardData(CF_BITMAP, bitmapHandle), bitmapHandle);
    EXPECT_EQ(SetClipboardData(CF_TEXT, textHandle), textHandle);
    EXPECT_EQ(SetClipboardData(CF_DIB, nullptr), nullptr);
    ASSERT_TRUE(CloseClipboard());

    EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
    EXPECT_EQ(GetClipboardData(CF_BITMAP), nullptr) << "reading needs it open too";

    // Another thread cannot open it while this one holds it.
    ASSERT_TRUE(OpenClipboard(nullptr));
    BOOL otherOpened = TRUE;
    DWORD otherError = 0;
    std::thread([&] {
        otherOpened = OpenClipboard(nullptr);
        otherError = GetLastError();
    }).join();
    EXPECT_FALSE(otherOpened);
    EXPECT_EQ(otherError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetClipboardData(CF_BITMAP), bitmapHandle);
    EXPECT_EQ(GetClipboardData(CF_DIB), nullptr);
    ASSERT_TRUE(EmptyClipboard());
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));
    ASSERT_TRUE(CloseClipboard());
}

TEST(HelpTest, help_requests_and_beeps_are_recorded) {
    PlatformHelpRecord before{};
    PlatformLastHelp(&before);
    EXPECT_TRUE(WinHelpA(nullptr, "..\\PlugIns\\Tessaline.hlp", HELP_CONTEXT, 42));
    PlatformHelpRecord after{};
    PlatformLastHelp(&after);
    EXPECT_EQ(after.count, before.count + 1);
    EXPECT_STREQ(after.file, "..\\PlugIns\\Tessaline.hlp");
    EXPECT_EQ(after.command, HELP_CONTEXT);
    EXPECT_EQ(after.data, 42u);

    const int beeps = PlatformBeepCount(nullptr);
    EXPECT_TRUE(MessageBeep(MB_ICONEXCLAMATION));
    UINT last = 0;
    EXPECT_EQ(PlatformBeepCount(&last), beeps + 1);
    EXPECT_EQ(last, MB_ICONEXCLAMATION);
}

} // namespace
