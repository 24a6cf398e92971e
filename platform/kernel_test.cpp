#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(CriticalSection, is_recursive_and_excludes_other_threads) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs); // same thread enters again
    std::atomic<bool> entered{false};
    std::thread other([&] {
        EXPECT_FALSE(TryEnterCriticalSection(&cs));
        EnterCriticalSection(&cs);
        entered = true;
        LeaveCriticalSection(&cs);
    });
    Sleep(20);
    LeaveCriticalSection(&cs);
    Sleep(20);
    EXPECT_FALSE(entered.load()) << "released after one leave of two enters";
    LeaveCriticalSection(&cs);
    other.join();
    EXPECT_TRUE(entered.load());
    DeleteCriticalSection(&cs);
}

TEST(CriticalSection, counts_stay_exact_under_contention) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    long counter = 0;
    constexpr int kThreads = 4, kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                EnterCriticalSection(&cs);
                ++counter;
                LeaveCriticalSection(&cs);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, long(kThreads) * kRounds);
    DeleteCriticalSection(&cs);
}

TEST(Interlocked, operations_return_what_windows_returns) {
    LONG v = 5;
    EXPECT_EQ(InterlockedIncrement(&v), 6);
    EXPECT_EQ(InterlockedDecrement(&v), 5);
    EXPECT_EQ(InterlockedExchange(&v, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 8), 9); // no swap
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(InterlockedExchangeAdd(&v, 3), 1);
    EXPECT_EQ(v, 4);
}

TEST(Events, manual_and_auto_reset_and_timeout) {
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_TIMEOUT);
    SetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "manual reset stays set";
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT) << "auto reset clears on wait";
    EXPECT_TRUE(CloseHandle(manual));
    EXPECT_TRUE(CloseHandle(automatic));
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

namespace {
unsigned endsEarly(void*) {
    _endthreadex(42);
    return 7; // never reached
}
DWORD returnsArgument(void* argument) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(argument)); }
} // namespace

TEST(Threads, exit_codes_from_return_and_endthreadex) {
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, returnsArgument, reinterpret_cast<void*>(uintptr_t(17)), 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, 17u);
    CloseHandle(t);

    unsigned crtId = 0;
    HANDLE c = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, endsEarly, nullptr, 0, &crtId));
    ASSERT_NE(c, nullptr);
    WaitForSingleObject(c, INFINITE);
    GetExitCodeThread(c, &code);
    EXPECT_EQ(code, 42u);
    CloseHandle(c);
}

TEST(MessageBox, headless_box_records_text_and_returns_the_set_answer) {
    PlatformSetMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_YESNO | MB_ICONHAND), IDNO);
    PlatformMessageBoxRecord box{};
    PlatformLastMessageBox(&box);
    EXPECT_STREQ(box.text, "text");
    EXPECT_STREQ(box.caption, "caption");
    EXPECT_EQ(box.type, MB_YESNO | MB_ICONHAND);
    PlatformSetMessageBoxAnswer(IDOK);
}
