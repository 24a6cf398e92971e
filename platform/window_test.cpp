#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// What window procedures saw, across threads.
struct Event {
    HWND window;
    UINT message;
    WPARAM wParam;
    DWORD thread;
};
std::mutex eventMutex;
std::vector<Event> events;

void record(HWND window, UINT message, WPARAM wParam) {
    std::lock_guard<std::mutex> guard(eventMutex);
    events.push_back({window, message, wParam, GetCurrentThreadId()});
}

std::vector<Event> takeEvents() {
    std::lock_guard<std::mutex> guard(eventMutex);
    std::vector<Event> taken;
    taken.swap(events);
    return taken;
}

constexpr UINT kAdd = WM_USER + 1;    // returns wParam + lParam
constexpr UINT kRelay = WM_USER + 2;  // sends kAdd to the window in lParam, returns that + 1
constexpr UINT kRefuse = WM_USER + 3; // create parameter asking WM_CREATE to refuse
constexpr UINT kArm = WM_USER + 4;    // starts timer 1 with a period of wParam ms
void* createParameterSeen = nullptr;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    record(window, message, wParam);
    switch (message) {
    case WM_CREATE: {
        void* parameter = *reinterpret_cast<void**>(lParam); // first field: lpCreateParams
        createParameterSeen = parameter;
        return parameter == reinterpret_cast<void*>(static_cast<uintptr_t>(kRefuse)) ? -1 : 0;
    }
    case kAdd:
        return static_cast<LRESULT>(wParam) + lParam;
    case kRelay:
        return SendMessageA(reinterpret_cast<HWND>(lParam), kAdd, wParam, 1) + 1;
    case kArm:
        return static_cast<LRESULT>(SetTimer(window, 1, static_cast<UINT>(wParam), nullptr));
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Registers a class for the test and removes it (with any windows left) afterwards.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        takeEvents();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = recordingProc;
        windowClass.cbWndExtra = 2 * sizeof(LONG_PTR);
        windowClass.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&windowClass), 0);
    }
    void TearDown() override {
        while (HWND left = FindWindowA(kClass, nullptr))
            if (!DestroyWindow(left)) break; // another thread's window: not ours to end
        EXPECT_TRUE(UnregisterClassA(kClass, nullptr));
    }
    static HWND create(const char* title, DWORD style = WS_OVERLAPPED, HWND parent = nullptr,
                       void* parameter = nullptr) {
        return CreateWindowExA(0, kClass, title, style, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, parent,
                               nullptr, nullptr, parameter);
    }
    static constexpr const char* kClass = "OrqTestWindow";
};

std::vector<UINT> messagesOf(const std::vector<Event>& seen) {
    std::vector<UINT> messages;
    for (const Event& event : seen)
        messages.push_back(event.message);
    return messages;
}

// The events of the given messages only, in order.
std::vector<Event> only(const std::vector<Event>& seen, std::initializer_list<UINT> wanted) {
    std::vector<Event> kept;
    for (const Event& event : seen)
        if (std::find(wanted.begin(), wanted.end(), event.message) != wanted.end())
            kept.push_back(event);
    return kept;
}
const std::initializer_list<UINT> kLifeMessages = {WM_CREATE, WM_DESTROY, WM_NCDESTROY, WM_CLOSE};

// ----------------------------------------------------------------------------------------------
// Classes

TEST_F(WindowTest, class_names_are_registered_once_ignoring_case) {
    WNDCLASSA duplicate{};
    duplicate.lpfnWndProc = recordingProc;
    duplicate.lpszClassName = "ORQTESTWINDOW";
    SetLastError(0);
    EXPECT_EQ(RegisterClassA(&duplicate), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    WNDCLASSA info{};
    ASSERT_TRUE(GetClassInfoA(nullptr, "orqtestwindow", &info));
    EXPECT_EQ(info.lpfnWndProc, &recordingProc);
    EXPECT_EQ(info.cbWndExtra, static_cast<int>(2 * sizeof(LONG_PTR)));

    SetLastError(0);
    EXPECT_FALSE(UnregisterClassA("NoSuchClass", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
    EXPECT_FALSE(GetClassInfoA(nullptr, "NoSuchClass", &info));
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
        nullptr);
}

// ----------------------------------------------------------------------------------------------
// Creation and destruction

TEST_F(WindowTest, create_runs_wm_create_with_the_create_parameter_before_returning) {
    int marker = 0;
    HWND window = create("Main", WS_OVERLAPPED, nullptr, &marker);
    ASSERT_NE(window, nullptr);
    const std::vector<Event> seen = only(takeEvents(), kLifeMessages);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, WM_CREATE);
    EXPECT_EQ(seen[0].window, window);
    EXPECT_EQ(createParameterSeen, &marker);
    EXPECT_TRUE(IsWindow(window));
    DWORD process = 0;
    EXPECT_EQ(GetWindowThreadProcessId(window, &process), GetCurrentThreadId());
    EXPECT_EQ(process, static_cast<DWORD>(getpid()));

    // A window whose WM_CREATE answers -1 is not made (and is cleaned up).
    HWND refused = create("No", WS_OVERLAPPED, nullptr,
                          reinterpret_cast<void*>(static_cast<uintptr_t>(kRefuse)));
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(messagesOf(only(takeEvents(), kLifeMessages)),
              (std::vector<UINT>{WM_CREATE, WM_DESTROY, WM_NCDESTROY}));

    EXPECT_EQ(create("Orphan", WS_CHILD), nullptr) << "a child window needs a parent";
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(IsWindow(window));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, destroy_tells_the_parent_first_and_frees_children_first) {
    HWND parent = create("Parent");
    HWND first = create("", WS_CHILD, parent);
    HWND grandchild = create("", WS_CHILD, first);
    HWND second = create("", WS_CHILD, parent);
    ASSERT_TRUE(parent && first && grandchild && second);
    takeEvents();

    ASSERT_TRUE(DestroyWindow(parent));
    const std::vector<Event> seen = only(takeEvents(), kLifeMessages);
    const std::vector<std::pair<HWND, UINT>> expected = {
        {parent, WM_DESTROY},   {first, WM_DESTROY},        {grandchild, WM_DESTROY},
        {second, WM_DESTROY},   {grandchild, WM_NCDESTROY}, {first, WM_NCDESTROY},
        {second, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i].window, expected[i].first) << "event " << i;
        EXPECT_EQ(seen[i].message, expected[i].second) << "event " << i;
    }
    for (HWND window : {parent, first, grandchild, second})
        EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowTest, owned_windows_go_before_their_owner_and_close_destroys_by_default) {
    HWND owner = create("Owner");
    HWND owned = create("Owned", WS_OVERLAPPED, owner);
    ASSERT_TRUE(owner && owned);
    takeEvents();
    ASSERT_TRUE(DestroyWindow(owner));
    const std::vector<Event> seen = only(takeEvents(), kLifeMessages);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].window, owned);
    EXPECT_EQ(seen[1].window, owned);
    EXPECT_EQ(seen[2].window, owner);
    EXPECT_EQ(messagesOf(seen),
              (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY, WM_DESTROY, WM_NCDESTROY}));

    HWND closing = create("Closing");
    takeEvents();
    EXPECT_EQ(SendMessageA(closing, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(closing));
    EXPECT_EQ(messagesOf(only(takeEvents(), kLifeMessages)),
              (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(WindowTest, user_data_and_extra_bytes_hold_values_per_window) {
    HWND a = create("A");
    HWND b = create("B");
    EXPECT_EQ(SetWindowLongPtrA(a, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(SetWindowLongPtrA(a, GWLP_USERDATA, 99), 1234) << "returns the previous value";
    EXPECT_EQ(GetWindowLongPtrA(a, GWLP_USERDATA), 99);
    EXPECT_EQ(GetWindowLongPtrA(b, GWLP_USERDATA), 0);
    EXPECT_EQ(SetWindowLongPtrA(a, sizeof(LONG_PTR), -5), 0);
    EXPECT_EQ(GetWindowLongPtrA(a, sizeof(LONG_PTR)), -5);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(a, 2 * sizeof(LONG_PTR)), 0) << "past the class's extra bytes";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DestroyWindow(a);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(a, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(b);
}

TEST_F(WindowTest, find_window_sees_top_level_windows_by_class_and_optional_title) {
    HWND first = create("First");
    HWND child = create("Child", WS_CHILD, first);
    HWND messageOnly = create("Hidden", WS_OVERLAPPED, HWND_MESSAGE);
    ASSERT_TRUE(first && child && messageOnly);
    EXPECT_EQ(FindWindowA("orqtestWINDOW", nullptr), first);
    EXPECT_EQ(FindWindowA(kClass, "first"), first);
    EXPECT_EQ(FindWindowA(kClass, "Child"), nullptr) << "child windows are not top-level";
    EXPECT_EQ(FindWindowA(kClass, "Hidden"), nullptr) << "message-only windows are not listed";
    EXPECT_EQ(FindWindowA("OtherClass", nullptr), nullptr);
    HWND second = create("Second");
    EXPECT_EQ(FindWindowA(kClass, nullptr), second) << "the newest window is on top";
    EXPECT_EQ(FindWindowA(nullptr, "First"), first);
    DestroyWindow(second);
    DestroyWindow(first);
    EXPECT_EQ(FindWindowA(kClass, nullptr), nullptr);
    DestroyWindow(messageOnly);
}

// ----------------------------------------------------------------------------------------------
// Queues on one thread

TEST_F(WindowTest, posted_messages_arrive_in_order_and_quit_ends_get_message) {
    HWND window = create("Queue");
    takeEvents();
    PostQuitMessage(42); // delivered only after the posted messages
    ASSERT_TRUE(PostMessageA(window, WM_USER + 10, 1, 0));
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 11, 2, 0));
    ASSERT_TRUE(PostMessageA(window, WM_USER + 12, 3, 0));
    MSG message{};
    std::vector<UINT> got;
    BOOL result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        got.push_back(message.message);
        EXPECT_FALSE(TranslateMessage(&message));
        DispatchMessageA(&message);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(message.wParam, 42u);
    EXPECT_EQ(got, (std::vector<UINT>{WM_USER + 10, WM_USER + 11, WM_USER + 12}));
    // The thread message has no window and is not dispatched.
    EXPECT_EQ(messagesOf(takeEvents()), (std::vector<UINT>{WM_USER + 10, WM_USER + 12}));
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "quit is taken once";
    DestroyWindow(window);
}

TEST_F(WindowTest, peek_filters_by_window_and_range_and_no_remove_keeps_the_message) {
    HWND a = create("A");
    HWND b = create("B");
    PostMessageA(a, WM_USER + 1, 0, 0);
    PostMessageA(b, WM_USER + 2, 0, 0);
    PostMessageA(a, WM_TIMER, 0, 0);
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, WM_USER + 2);
    ASSERT_TRUE(PeekMessageA(&message, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_USER + 2);
    EXPECT_FALSE(PeekMessageA(&message, b, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(message.message, WM_TIMER);
    EXPECT_EQ(message.hwnd, a);
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_USER + 1);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));

    // Messages posted to a window die with it.
    PostMessageA(a, WM_USER + 5, 0, 0);
    DestroyWindow(a);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(a, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetMessageA(&message, a, 0, 0), -1) << "a bad window filter";
    EXPECT_EQ(SendMessageA(a, kAdd, 1, 2), 0);
    DestroyWindow(b);
}

// ----------------------------------------------------------------------------------------------
// Across threads

// A thread that owns one window and runs a message loop until WM_QUIT.
class WindowThread {
  public:
    explicit WindowThread(const char* className) {
        std::promise<HWND> made;
        std::future<HWND> ready = made.get_future();
        thread_ = std::thread([this, className, &made] {
            threadId_ = GetCurrentThreadId();
            HWND window = CreateWindowExA(0, className, "Engine", 0, 0, 0, 0, 0, nullptr, nullptr,
                                          nullptr, nullptr);
            made.set_value(window);
            MSG message{};
            while (GetMessageA(&message, nullptr, 0, 0) > 0)
                DispatchMessageA(&message);
            exitCode_ = static_cast<int>(message.wParam);
            if (IsWindow(window)) DestroyWindow(window);
        });
        window_ = ready.get();
    }
    ~WindowThread() { stop(0); }
    void stop(int code) {
        if (thread_.joinable()) {
            PostThreadMessageA(threadId_, WM_QUIT, static_cast<WPARAM>(code), 0);
            thread_.join();
        }
    }
    HWND window() const { return window_; }
    DWORD threadId() const { return threadId_; }
    int exitCode() const { return exitCode_; }

  private:
    std::thread thread_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    int exitCode_ = -1;
};

TEST_F(WindowTest, send_to_another_threads_window_runs_there_and_returns_its_result) {
    WindowThread engine(kClass);
    ASSERT_NE(engine.window(), nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(engine.window(), nullptr), engine.threadId());
    EXPECT_EQ(FindWindowA(kClass, "Engine"), engine.window());
    takeEvents();
    EXPECT_EQ(SendMessageA(engine.window(), kAdd, 40, 2), 42);
    const std::vector<Event> seen = takeEvents();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].thread, engine.threadId());
    EXPECT_NE(seen[0].thread, GetCurrentThreadId());
    engine.stop(7);
    EXPECT_EQ(engine.exitCode(), 7);
    EXPECT_FALSE(IsWindow(engine.window()));
}

TEST_F(WindowTest, waiting_for_idle_returns_after_posted_messages_and_due_timers_ran) {
    PlatformSetClock(TRUE);
    WindowThread engine(kClass);
    HWND mine = create("Mine");
    ASSERT_NE(SendMessageA(engine.window(), kArm, 20, 0), 0);
    takeEvents();
    for (int i = 0; i < 3; ++i)
        PostMessageA(engine.window(), kAdd, WPARAM(i), 0);
    // The engine's handling sends back to this thread: the wait runs it.
    PostMessageA(engine.window(), kRelay, 5, reinterpret_cast<LPARAM>(mine));
    PlatformAdvanceClock(20);
    EXPECT_TRUE(PlatformWaitForIdle(engine.window(), 5000));
    const std::vector<Event> seen = only(takeEvents(), {kAdd, kRelay, WM_TIMER});
    std::vector<std::pair<HWND, UINT>> order;
    for (const Event& event : seen)
        order.emplace_back(event.window, event.message);
    const std::vector<std::pair<HWND, UINT>> expected = {{engine.window(), kAdd},
                                                         {engine.window(), kAdd},
                                                         {engine.window(), kAdd},
                                                         {engine.window(), kRelay},
                                                         {mine, kAdd},
                                                         {engine.window(), WM_TIMER}};
    EXPECT_EQ(order, expected) << "events seen: " << seen.size();

    // A due timer alone is work; one not yet due is none.
    for (int period = 0; period < 5; ++period) {
        PlatformAdvanceClock(20);
        EXPECT_TRUE(PlatformWaitForIdle(engine.window(), 5000));
        EXPECT_EQ(only(takeEvents(), {WM_TIMER}).size(), 1u) << "period " << period;
    }
    PlatformAdvanceClock(10);
    EXPECT_TRUE(PlatformWaitForIdle(engine.window(), 5000));
    EXPECT_TRUE(only(takeEvents(), {WM_TIMER}).empty());
    engine.stop(0);
    PlatformSetClock(FALSE);
}

TEST_F(WindowTest, waiting_for_idle_refuses_no_window_and_the_callers_own_window) {
    SetLastError(0);
    EXPECT_FALSE(PlatformWaitForIdle(nullptr, 10));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    HWND mine = create("Mine");
    SetLastError(0);
    EXPECT_FALSE(PlatformWaitForIdle(mine, 10));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(WindowTest, waiting_for_idle_times_out_while_the_thread_reads_no_messages) {
    std::promise<HWND> made;
    std::promise<void> finish;
    std::thread owner([&] {
        made.set_value(create("Busy"));
        finish.get_future().wait(); // busy: never in GetMessageA
    });
    HWND busy = made.get_future().get();
    SetLastError(0);
    EXPECT_FALSE(PlatformWaitForIdle(busy, 50));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    finish.set_value();
    owner.join();
}

TEST_F(WindowTest, cross_thread_send_blocks_until_the_owner_reads_its_queue) {
    std::promise<HWND> made;
    std::promise<void> pump;
    std::future<HWND> madeFuture = made.get_future();
    std::shared_future<void> pumpFuture = pump.get_future().share();
    std::thread owner([&] {
        HWND window = create("Lazy");
        made.set_value(window);
        pumpFuture.wait();
        MSG message{};
        EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            << "sent messages run inside the peek and are not returned";
        DestroyWindow(window);
    });
    HWND window = madeFuture.get();
    std::atomic<bool> returned{false};
    LRESULT result = 0;
    std::thread sender([&] {
        result = SendMessageA(window, kAdd, 5, 6);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load()) << "returned before the owner looked at its queue";
    pump.set_value();
    sender.join();
    owner.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(result, 11);
}

TEST_F(WindowTest, two_threads_sending_to_each_other_do_not_deadlock) {
    WindowThread engine(kClass);
    HWND local = create("Local");
    // The engine's procedure sends kAdd back to our window while we wait in SendMessageA.
    EXPECT_EQ(SendMessageA(engine.window(), kRelay, 10, reinterpret_cast<LPARAM>(local)), 12);
    bool sawLocalOnOwnThread = false;
    for (const Event& event : takeEvents())
        if (event.window == local && event.message == kAdd)
            sawLocalOnOwnThread = event.thread == GetCurrentThreadId();
    EXPECT_TRUE(sawLocalOnOwnThread);
    DestroyWindow(local);
}

TEST_F(WindowTest, posts_to_another_threads_window_are_delivered_by_its_get_message) {
    WindowThread engine(kClass);
    takeEvents();
    for (WPARAM i = 0; i < 20; ++i)
        ASSERT_TRUE(PostMessageA(engine.window(), WM_USER + 5, i, 0));
    engine.stop(3);
    EXPECT_EQ(engine.exitCode(), 3);
    std::vector<WPARAM> order;
    for (const Event& event : takeEvents()) {
        if (event.message != WM_USER + 5) continue;
        EXPECT_EQ(event.thread, engine.threadId());
        order.push_back(event.wParam);
    }
    ASSERT_EQ(order.size(), 20u);
    for (WPARAM i = 0; i < 20; ++i)
        EXPECT_EQ(order[i], i);
}

TEST_F(WindowTest, a_thread_that_ends_takes_its_windows_and_queue_with_it) {
    HWND window = nullptr;
    DWORD threadId = 0;
    std::thread([&] {
        window = create("Short-lived");
        threadId = GetCurrentThreadId();
    }).join();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(FindWindowA(kClass, "Short-lived"), nullptr);
    EXPECT_FALSE(PostThreadMessageA(threadId, WM_USER, 0, 0));
    EXPECT_EQ(SendMessageA(window, kAdd, 1, 1), 0);
}

TEST_F(WindowTest, a_send_pending_when_the_owner_thread_ends_returns_zero) {
    std::promise<HWND> made;
    std::future<HWND> madeFuture = made.get_future();
    std::promise<void> leave;
    std::thread owner([&] {
        made.set_value(create("Leaving"));
        leave.get_future().wait(); // ends without ever reading its queue
    });
    HWND window = madeFuture.get();
    auto sent =
        std::async(std::launch::async, [window] { return SendMessageA(window, kAdd, 1, 2); });
    EXPECT_EQ(sent.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    leave.set_value();
    owner.join();
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the sender still waits for a thread that is gone";
    EXPECT_EQ(sent.get(), 0);
}

TEST_F(WindowTest, only_the_owning_thread_destroys_a_window) {
    WindowThread engine(kClass);
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(engine.window()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(engine.window()));
    // Closing by message makes the owner destroy it.
    EXPECT_EQ(SendMessageA(engine.window(), WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(engine.window()));
}

} // namespace
