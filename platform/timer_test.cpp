// Timers on the manual and the real clock, and a user-interface thread with its own message loop
// driven from another thread.
#include "platform/user_test_support.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

using usertest::only;
using usertest::pump;
using usertest::recorder;
using usertest::Seen;

class TimerTest : public usertest::UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        PlatformSetClock(TRUE);
    }
    void TearDown() override {
        PlatformSetTimerLimit(0);
        PlatformSetClock(FALSE);
        UserTest::TearDown();
    }
    static std::vector<Seen> timersAfter(DWORD advanceMs) {
        PlatformAdvanceClock(advanceMs);
        recorder().take();
        pump();
        return only(recorder().take(), {WM_TIMER});
    }
};

TEST_F(TimerTest, with_the_manual_clock_timers_fire_only_as_the_clock_advances) {
    HWND window = topLevel(0, 0, 50, 50, WS_POPUP);
    pump();
    const DWORD start = GetTickCount();
    EXPECT_EQ(SetTimer(window, 1, 55, nullptr), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(70));
    EXPECT_EQ(GetTickCount(), start) << "the manual clock stands still";
    EXPECT_TRUE(timersAfter(0).empty());
    EXPECT_TRUE(timersAfter(54).empty());
    std::vector<Seen> fired = timersAfter(1);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].window, window);
    EXPECT_EQ(fired[0].wParam, 1u);
    EXPECT_EQ(GetTickCount(), start + 55);
    EXPECT_TRUE(timersAfter(0).empty()) << "fired once per period";
    EXPECT_EQ(timersAfter(165).size(), 1u) << "missed periods are not made up";
    EXPECT_TRUE(timersAfter(54).empty()) << "the period grid is kept: next at 275";
    EXPECT_EQ(timersAfter(1).size(), 1u);

    // Two timers fire in the order they fall due.
    ASSERT_EQ(SetTimer(window, 2, 20, nullptr), 2u);
    ASSERT_EQ(SetTimer(window, 1, 30, nullptr), 1u) << "the same id replaces the timer";
    fired = timersAfter(40);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[0].wParam, 2u);
    EXPECT_EQ(fired[1].wParam, 1u);
    EXPECT_TRUE(KillTimer(window, 2));
    EXPECT_FALSE(KillTimer(window, 2)) << "already gone";
    DestroyWindow(window);
    SetLastError(0);
    EXPECT_FALSE(KillTimer(window, 1)) << "the window's timers went with it";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0);
    EXPECT_EQ(SetTimer(window, 1, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

std::vector<std::pair<HWND, UINT_PTR>> procedureCalls;
void CALLBACK timerProcedure(HWND window, UINT message, UINT_PTR id, DWORD) {
    EXPECT_EQ(message, static_cast<UINT>(WM_TIMER));
    procedureCalls.emplace_back(window, id);
}

TEST_F(TimerTest, timer_procedures_run_instead_of_the_window_procedure) {
    HWND window = topLevel(0, 0, 50, 50, WS_POPUP);
    pump();
    procedureCalls.clear();
    const UINT_PTR threadTimer = SetTimer(nullptr, 0, 10, timerProcedure);
    ASSERT_NE(threadTimer, 0u);
    ASSERT_EQ(SetTimer(window, 9, 10, timerProcedure), 9u);
    EXPECT_TRUE(timersAfter(10).empty()) << "the window procedure sees none";
    ASSERT_EQ(procedureCalls.size(), 2u);
    EXPECT_TRUE((procedureCalls[0] == std::pair<HWND, UINT_PTR>{nullptr, threadTimer}) ||
                (procedureCalls[1] == std::pair<HWND, UINT_PTR>{nullptr, threadTimer}));
    // A WM_TIMER naming a procedure that is no timer's is not called.
    MSG forged{window, WM_TIMER, 9, reinterpret_cast<LPARAM>(&timerProcedure) + 1, 0, {}};
    procedureCalls.clear();
    DispatchMessageA(&forged);
    EXPECT_TRUE(procedureCalls.empty());
    EXPECT_TRUE(KillTimer(nullptr, threadTimer));
    EXPECT_TRUE(KillTimer(window, 9));
}

TEST_F(TimerTest, the_timer_limit_refuses_more_timers) {
    HWND window = topLevel(0, 0, 50, 50, WS_POPUP);
    PlatformSetTimerLimit(2);
    EXPECT_EQ(SetTimer(window, 1, 10, nullptr), 1u);
    EXPECT_EQ(SetTimer(window, 2, 10, nullptr), 2u);
    EXPECT_EQ(SetTimer(window, 2, 20, nullptr), 2u) << "replacing needs no new timer";
    SetLastError(0);
    EXPECT_EQ(SetTimer(window, 3, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
    KillTimer(window, 1);
    EXPECT_EQ(SetTimer(window, 3, 10, nullptr), 3u);
    DestroyWindow(window);
    const UINT_PTR threadTimer = SetTimer(nullptr, 0, 10, timerProcedure);
    EXPECT_NE(threadTimer, 0u) << "destroying the window released its timers";
    KillTimer(nullptr, threadTimer);
}

TEST_F(TimerTest, on_the_real_clock_get_message_wakes_for_a_timer) {
    PlatformSetClock(FALSE);
    HWND window = topLevel(0, 0, 50, 50, WS_POPUP);
    pump();
    ASSERT_EQ(SetTimer(window, 4, 20, nullptr), 4u);
    MSG message{};
    ASSERT_GT(GetMessageA(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(message.wParam, 4u);
    KillTimer(window, 4);
}

// A user-interface thread: one window, a 55 ms timer, its own loop until WM_QUIT.
struct UiThread {
    std::thread thread;
    HWND window = nullptr;
    DWORD id = 0;
    std::atomic<int> ticks{0};
    std::atomic<DWORD> sizeThread{0};
    std::atomic<int> lastWidth{0};
};
UiThread* running = nullptr;
constexpr UINT kTicks = WM_USER + 40;

LRESULT CALLBACK uiProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        ++running->ticks;
        return 0;
    case kTicks:
        return running->ticks.load();
    case WM_SIZE:
        running->sizeThread = GetCurrentThreadId();
        running->lastWidth = LOWORD(lParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

TEST_F(TimerTest, a_ui_thread_runs_its_timers_and_the_changes_other_threads_ask_for) {
    WNDCLASSA uiClass{};
    uiClass.lpfnWndProc = uiProc;
    uiClass.lpszClassName = "OrqUiThread";
    ASSERT_NE(RegisterClassA(&uiClass), 0);
    UiThread ui;
    running = &ui;
    std::promise<void> ready;
    ui.thread = std::thread([&] {
        ui.id = GetCurrentThreadId();
        ui.window = CreateWindowExA(0, "OrqUiThread", "UI", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                    nullptr, nullptr, nullptr, nullptr);
        SetTimer(ui.window, 1, 55, nullptr);
        ready.set_value();
        MSG message{};
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
        DestroyWindow(ui.window);
    });
    ready.get_future().wait();
    EXPECT_EQ(SendMessageA(ui.window, kTicks, 0, 0), 0);
    PlatformAdvanceClock(55);
    // The send is queued behind the timer's wake-up; poll until the loop has run the tick.
    int ticks = 0;
    for (int i = 0; i < 1000 && ticks == 0; ++i) {
        ticks = static_cast<int>(SendMessageA(ui.window, kTicks, 0, 0));
        if (ticks == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(ticks, 1);
    PlatformAdvanceClock(55 * 2);
    for (int i = 0; i < 1000 && ticks < 2; ++i) {
        ticks = static_cast<int>(SendMessageA(ui.window, kTicks, 0, 0));
        if (ticks < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(ticks, 2) << "one message for two missed periods";

    // A size change asked from here runs on the window's own thread.
    ASSERT_TRUE(MoveWindow(ui.window, 0, 0, 140, 100, TRUE));
    EXPECT_EQ(ui.sizeThread.load(), ui.id);
    EXPECT_EQ(ui.lastWidth.load(), 140);
    ASSERT_TRUE(SetWindowTextA(ui.window, "Renamed"));
    char title[32] = {};
    EXPECT_EQ(GetWindowTextA(ui.window, title, sizeof title), 7);
    EXPECT_STREQ(title, "Renamed");
    EXPECT_TRUE(ShowWindow(ui.window, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(ui.window));

    PostThreadMessageA(ui.id, WM_QUIT, 0, 0);
    ui.thread.join();
    running = nullptr;
    EXPECT_FALSE(IsWindow(ui.window));
    EXPECT_TRUE(UnregisterClassA("OrqUiThread", nullptr));
}

} // namespace
