#include <critical_section_fast.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
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
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, long(kThreads) * kRounds);
    DeleteCriticalSection(&cs);
}

namespace {

// A thread that runs jobs one at a time on request, so a test can enter a section on it, keep
// it held across jobs, and interleave its entries with the test thread's.
class Worker {
  public:
    Worker() : thread_([this] { loop(); }) {
        run([this] { id_ = GetCurrentThreadId(); });
    }
    ~Worker() {
        start(nullptr);
        thread_.join();
    }
    void start(std::function<void()> job) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !pending_; });
        job_ = std::move(job);
        pending_ = true;
        stop_ = job_ == nullptr;
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !pending_; });
    }
    void run(std::function<void()> job) {
        start(std::move(job));
        wait();
    }
    DWORD id() const { return id_; }

  private:
    void loop() {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return pending_; });
            if (stop_) return;
            lock.unlock();
            job_();
            lock.lock();
            pending_ = false;
            changed_.notify_all();
        }
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool pending_ = false;
    bool stop_ = false;
    DWORD id_ = 0;
    std::thread thread_;
};

// Well past the run of consecutive entries after which a section is biased to a thread.
constexpr int kRunToBias = 200;
// Well short of that run.
constexpr int kShortRun = 8;

void enterAndLeave(CRITICAL_SECTION* cs, int times) {
    for (int i = 0; i < times; ++i) {
        EnterCriticalSection(cs);
        LeaveCriticalSection(cs);
    }
}

DWORD biasOf(CRITICAL_SECTION* cs) {
    return PlatformCriticalSectionBias(cs, TRUE);
}

// Every entry checks that no other thread is inside and bumps an unsynchronised counter, which
// stays exact only if the section excludes and orders the threads' accesses.
struct ExclusionProbe {
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    long counter = 0;
    void visit() {
        if (inside.fetch_add(1, std::memory_order_relaxed) != 0) overlaps.fetch_add(1);
        ++counter;
        inside.fetch_sub(1, std::memory_order_relaxed);
    }
};

// Entering and leaving through the platform's calls or through the inline fast path.
enum class Way { Calls, Inline };
void enter(CRITICAL_SECTION* cs, Way way) {
    if (way == Way::Inline)
        platform::enterCriticalSectionFast(cs);
    else
        EnterCriticalSection(cs);
}
void leave(CRITICAL_SECTION* cs, Way way) {
    if (way == Way::Inline)
        platform::leaveCriticalSectionFast(cs);
    else
        LeaveCriticalSection(cs);
}

// The biased thread hammers the section (by the given way, re-entering it every seventh round)
// while the others enter, try to enter and re-enter it.
void runContention(CRITICAL_SECTION* cs, ExclusionProbe& probe, Worker& biased, int others,
                   int roundsPerOther, long* biasedRounds, Way way = Way::Calls) {
    std::atomic<int> othersDone{0};
    std::atomic<bool> go{false};
    biased.start([&] {
        while (!go.load())
            std::this_thread::yield();
        long rounds = 0;
        long nested = 0;
        while (othersDone.load(std::memory_order_relaxed) < others || rounds < 100000) {
            enter(cs, way);
            probe.visit();
            if (way == Way::Inline && rounds % 7 == 0) {
                enter(cs, way);
                probe.visit();
                ++nested;
                leave(cs, way);
            }
            leave(cs, way);
            ++rounds;
        }
        *biasedRounds = rounds + nested;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < others; ++t)
        threads.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < roundsPerOther; ++i) {
                if ((i + t) % 3 == 0) {
                    while (!TryEnterCriticalSection(cs))
                        std::this_thread::yield();
                } else {
                    EnterCriticalSection(cs);
                }
                probe.visit();
                if (i % 5 == 0) { // recursion on the general path
                    EnterCriticalSection(cs);
                    probe.visit();
                    LeaveCriticalSection(cs);
                }
                LeaveCriticalSection(cs);
            }
            othersDone.fetch_add(1);
        });
    go = true;
    for (auto& t : threads)
        t.join();
    biased.wait();
}

long expectedVisits(int others, int roundsPerOther, long biasedRounds) {
    long recursive = 0;
    for (int i = 0; i < roundsPerOther; ++i)
        recursive += i % 5 == 0 ? 1 : 0;
    return biasedRounds + long(others) * (roundsPerOther + recursive);
}

} // namespace

TEST(CriticalSectionBias, section_biases_to_the_thread_that_keeps_entering_it) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EXPECT_EQ(biasOf(&cs), 0u) << "a new section has no bias";
    Worker worker;
    worker.run([&] { enterAndLeave(&cs, kShortRun); });
    EXPECT_EQ(biasOf(&cs), 0u) << "a short run does not bias";
    worker.run([&] { enterAndLeave(&cs, kRunToBias); });
    EXPECT_EQ(biasOf(&cs), worker.id());
    DeleteCriticalSection(&cs);
}

TEST(CriticalSectionBias, bias_moves_only_when_another_thread_becomes_the_frequent_user) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    Worker worker;
    worker.run([&] { enterAndLeave(&cs, kRunToBias); });
    ASSERT_EQ(biasOf(&cs), worker.id());
    // Interleaved entries: each of the worker's entries breaks the test thread's run.
    for (int i = 0; i < kRunToBias; ++i) {
        enterAndLeave(&cs, 1);
        worker.run([&] { enterAndLeave(&cs, 1); });
    }
    EXPECT_EQ(biasOf(&cs), worker.id()) << "interleaved entries keep the bias";
    enterAndLeave(&cs, kRunToBias);
    EXPECT_EQ(biasOf(&cs), GetCurrentThreadId()) << "a long run by another thread takes it";
    worker.run([&] { enterAndLeave(&cs, kRunToBias); });
    EXPECT_EQ(biasOf(&cs), worker.id()) << "and the first thread takes it back";
    // More threads than the section keeps fast-path records for: each still gets the bias
    // while it is alive, since an ended thread's record is reused.
    for (int t = 0; t < 8; ++t) {
        DWORD id = 0;
        std::thread([&] {
            enterAndLeave(&cs, kRunToBias);
            id = biasOf(&cs) == GetCurrentThreadId() ? GetCurrentThreadId() : 0;
        }).join();
        EXPECT_NE(id, 0u) << "short-lived thread " << t;
    }
    DeleteCriticalSection(&cs);
}

TEST(CriticalSectionBias, bias_is_dropped_when_its_thread_stops_and_others_take_turns) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    Worker idle, other;
    idle.run([&] { enterAndLeave(&cs, kRunToBias); });
    ASSERT_EQ(biasOf(&cs), idle.id());
    for (int i = 0; i < kShortRun; ++i) {
        enterAndLeave(&cs, 1);
        other.run([&] { enterAndLeave(&cs, 1); });
    }
    EXPECT_EQ(biasOf(&cs), idle.id()) << "a few turns keep the bias";
    for (int i = 0; i < kRunToBias; ++i) {
        enterAndLeave(&cs, 1);
        other.run([&] { enterAndLeave(&cs, 1); });
    }
    EXPECT_EQ(biasOf(&cs), 0u) << "many turns with no fast entry drop it";
    DeleteCriticalSection(&cs);
}

// A section biased to one thread that enters it by the given way while three others contend.
void checkBiasedContention(Way way) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    ExclusionProbe probe;
    Worker biased;
    biased.run([&] { enterAndLeave(&cs, kRunToBias); });
    ASSERT_EQ(biasOf(&cs), biased.id());
    constexpr int kOthers = 3, kRoundsPerOther = 3000;
    long biasedRounds = 0;
    runContention(&cs, probe, biased, kOthers, kRoundsPerOther, &biasedRounds, way);
    EXPECT_EQ(probe.overlaps.load(), 0) << "threads seen inside together";
    EXPECT_EQ(probe.counter, expectedVisits(kOthers, kRoundsPerOther, biasedRounds));
    DeleteCriticalSection(&cs);
}

// Three threads by the given way, in runs long enough to take the bias, separated by yields
// that let the others in.
void checkBiasChangingHands(Way way) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    ExclusionProbe probe;
    constexpr int kThreads = 3, kBursts = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int burst = 0; burst < kBursts; ++burst) {
                for (int i = 0; i < kRunToBias; ++i) {
                    enter(&cs, way);
                    probe.visit();
                    leave(&cs, way);
                }
                std::this_thread::yield();
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(probe.overlaps.load(), 0);
    EXPECT_EQ(probe.counter, long(kThreads) * kBursts * kRunToBias);
    DeleteCriticalSection(&cs);
}

TEST(CriticalSectionBias, biased_and_other_threads_exclude_each_other_under_contention) {
    checkBiasedContention(Way::Calls);
}

TEST(CriticalSectionBias, exclusion_holds_while_the_bias_changes_hands) {
    checkBiasChangingHands(Way::Calls);
}

// The inline fast path (critical_section_fast.h) is the same protocol as the calls: the bias
// thread entering it that way excludes and orders the other threads' entries and re-enters,
// and threads that take the bias from each other by the inline way exclude each other too.
// (A fault in its protocol shows as a data race in the thread-sanitizer build.)
TEST(CriticalSectionBias, inline_fast_path_excludes_like_the_calls) {
    checkBiasedContention(Way::Inline);
    checkBiasChangingHands(Way::Inline);
}

TEST(CriticalSectionBias, fast_path_holder_blocks_others_until_its_last_leave) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    Worker biased;
    biased.run([&] { enterAndLeave(&cs, kRunToBias); });
    ASSERT_EQ(biasOf(&cs), biased.id());
    biased.run([&] {
        EnterCriticalSection(&cs);
        EnterCriticalSection(&cs);
        EXPECT_TRUE(TryEnterCriticalSection(&cs)) << "the holder re-enters";
    });
    EXPECT_FALSE(TryEnterCriticalSection(&cs)) << "held three deep";
    biased.run([&] {
        LeaveCriticalSection(&cs);
        LeaveCriticalSection(&cs);
    });
    EXPECT_FALSE(TryEnterCriticalSection(&cs)) << "still held one deep";
    // A blocking entry waits for the last leave.
    std::atomic<bool> released{false};
    std::atomic<bool> entered{false};
    std::thread waiter([&] {
        EnterCriticalSection(&cs);
        entered = true;
        EXPECT_TRUE(released.load()) << "entered before the holder's last leave";
        LeaveCriticalSection(&cs);
    });
    Sleep(20);
    EXPECT_FALSE(entered.load());
    biased.run([&] {
        released = true;
        LeaveCriticalSection(&cs);
    });
    waiter.join();
    EXPECT_TRUE(entered.load());
    EXPECT_TRUE(TryEnterCriticalSection(&cs)) << "free after the last leave";
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
}

TEST(CriticalSectionBias, bias_thread_waits_for_and_recurses_on_the_general_path) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    Worker biased;
    biased.run([&] { enterAndLeave(&cs, kRunToBias); });
    ASSERT_EQ(biasOf(&cs), biased.id());
    EnterCriticalSection(&cs); // the test thread holds it the general way
    biased.run(
        [&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)) << "bias thread must not barge in"; });
    std::atomic<bool> released{false};
    biased.start([&] {
        EnterCriticalSection(&cs); // blocks, then holds it through the general way
        EXPECT_TRUE(released.load());
        EnterCriticalSection(&cs);
        LeaveCriticalSection(&cs);
    });
    Sleep(20);
    released = true;
    LeaveCriticalSection(&cs);
    biased.wait();
    EXPECT_FALSE(TryEnterCriticalSection(&cs)) << "bias thread still holds it once";
    biased.run([&] { LeaveCriticalSection(&cs); });
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);
    biased.run([&] {
        EXPECT_TRUE(TryEnterCriticalSection(&cs)) << "fast path again once free";
        LeaveCriticalSection(&cs);
    });
    EXPECT_EQ(biasOf(&cs), biased.id());
    DeleteCriticalSection(&cs);
}

TEST(CriticalSectionBias, without_bias_sections_stay_unbiased_and_still_exclude) {
    CRITICAL_SECTION biasedBefore;
    InitializeCriticalSection(&biasedBefore);
    Worker worker;
    worker.run([&] { enterAndLeave(&biasedBefore, kRunToBias); });
    ASSERT_EQ(biasOf(&biasedBefore), worker.id());

    PlatformCriticalSectionBias(nullptr, FALSE);
    enterAndLeave(&biasedBefore, 1);
    EXPECT_EQ(PlatformCriticalSectionBias(&biasedBefore, FALSE), 0u)
        << "dropped at the next general entry";
    worker.run([&] { enterAndLeave(&biasedBefore, kRunToBias); });
    EXPECT_EQ(PlatformCriticalSectionBias(&biasedBefore, FALSE), 0u);

    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    ExclusionProbe probe;
    constexpr int kOthers = 2, kRoundsPerOther = 20000;
    long workerRounds = 0;
    runContention(&cs, probe, worker, kOthers, kRoundsPerOther, &workerRounds);
    EXPECT_EQ(PlatformCriticalSectionBias(&cs, FALSE), 0u);
    EXPECT_EQ(probe.overlaps.load(), 0);
    EXPECT_EQ(probe.counter, expectedVisits(kOthers, kRoundsPerOther, workerRounds));
    worker.run([&] {
        EnterCriticalSection(&cs);
        EnterCriticalSection(&cs);
        LeaveCriticalSection(&cs);
    });
    EXPECT_FALSE(TryEnterCriticalSection(&cs)) << "held once more than left";
    worker.run([&] { LeaveCriticalSection(&cs); });
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);

    PlatformCriticalSectionBias(nullptr, TRUE);
    worker.run([&] { enterAndLeave(&cs, kRunToBias); });
    EXPECT_EQ(biasOf(&cs), worker.id()) << "biased again once allowed";
    DeleteCriticalSection(&cs);
    DeleteCriticalSection(&biasedBefore);
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
DWORD returnsArgument(void* argument) {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(argument));
}
} // namespace

TEST(Threads, exit_codes_from_return_and_endthreadex) {
    DWORD id = 0;
    HANDLE t =
        CreateThread(nullptr, 0, returnsArgument, reinterpret_cast<void*>(uintptr_t(17)), 0, &id);
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

TEST(MessageBox, unanswered_box_gets_its_default_button_and_a_set_answer_only_if_it_has_it) {
    constexpr int kNoAnswer = 0;
    PlatformSetMessageBoxAnswer(kNoAnswer);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OKCANCEL), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_OK | MB_DEFBUTTON2), IDOK)
        << "a default the box does not have falls back to its first button";
    PlatformSetMessageBoxAnswer(IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDNO)
        << "OK is no answer to a Yes/No question";
    PlatformSetMessageBoxAnswer(IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDYES);
    PlatformMessageBoxRecord box{};
    PlatformLastMessageBox(&box);
    EXPECT_EQ(box.answer, IDYES);
    PlatformSetMessageBoxAnswer(kNoAnswer);
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
