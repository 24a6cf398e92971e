#include "dsp/nsp_tables.h"
#include "dsp/dsp_test_support.h"
#include "dsp/nsp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

namespace {

using namespace orq::dsp::testing;
namespace tables = orq::dsp::nsp_tables;
using orq::dsp::RealFftPlan;

class TableCache : public RecordingErrors {
  protected:
    void TearDown() override {
        tables::setByteBudgetForTesting(0);
        RecordingErrors::TearDown();
    }
};

std::vector<float> forwardOf(const std::vector<float>& signal, int order) {
    std::vector<float> x(signal.size() + 2, 0.0f), y(signal.size() + 2, 0.0f);
    std::copy(signal.begin(), signal.end(), x.begin());
    nspsReal2Fft(x.data(), y.data(), order, NSP_Forw);
    return x;
}

TEST_F(TableCache, initialise_flag_builds_once_and_free_flag_releases) {
    constexpr int kOrder = 7;
    nspsReal2Fft(nullptr, nullptr, kOrder, NSP_Free);
    ASSERT_FALSE(tables::isCached(kOrder));
    const int builds = tables::buildCount(kOrder);

    nspsCcs2Fft(nullptr, nullptr, kOrder, NSP_Init);
    EXPECT_TRUE(tables::isCached(kOrder));
    const auto signal = randomSignal(128, 1);
    forwardOf(signal, kOrder);
    forwardOf(signal, kOrder);
    EXPECT_EQ(tables::buildCount(kOrder), builds + 1);

    nspsReal2Fft(nullptr, nullptr, kOrder, NSP_Free);
    EXPECT_FALSE(tables::isCached(kOrder));
    forwardOf(signal, kOrder); // rebuilt on the next use
    EXPECT_EQ(tables::buildCount(kOrder), builds + 2);

    // Freeing orders out of range or never built is harmless and reports nothing.
    nspsReal2Fft(nullptr, nullptr, -3, NSP_Free);
    nspsReal2Fft(nullptr, nullptr, 40, NSP_Free);
    nspsReal2Fft(nullptr, nullptr, 30, NSP_Free);
    EXPECT_TRUE(records().empty());
}

TEST_F(TableCache, failed_build_empties_the_cache_and_retries_once) {
    tables::emptyCache();
    nspsReal2Fft(nullptr, nullptr, 8, NSP_Init);
    ASSERT_TRUE(tables::isCached(8));
    // Room for order 9 alone, not for 8 and 9 together.
    tables::setByteBudgetForTesting(RealFftPlan::tableBytes(9));
    nspsReal2Fft(nullptr, nullptr, 9, NSP_Init);
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(tables::isCached(9));
    EXPECT_FALSE(tables::isCached(8)) << "the cache was not emptied before the retry";
    EXPECT_EQ(tables::cachedBytes(), RealFftPlan::tableBytes(9));
}

TEST_F(TableCache, second_failed_build_reports_no_working_memory_and_leaves_data) {
    tables::emptyCache();
    tables::setByteBudgetForTesting(RealFftPlan::tableBytes(9) - 1);
    std::vector<float> x(514, 1.0f), y(514, 1.0f);
    nspsReal2Fft(x.data(), y.data(), 9, NSP_Forw);
    ASSERT_EQ(records().size(), 1u);
    EXPECT_EQ(records()[0].status, NSP_StsNoMem);
    EXPECT_EQ(records()[0].context, "No working Twd memory");
    EXPECT_EQ(nspGetErrStatus(), NSP_StsNoMem);
    EXPECT_FALSE(tables::isCached(9));
    EXPECT_EQ(x, std::vector<float>(514, 1.0f));
}

TEST_F(TableCache, orders_too_large_for_memory_fail_without_allocating) {
    for (int order : {tables::kMaxTableOrder + 1, 31}) {
        records().clear();
        nspSetErrStatus(NSP_StsOk);
        nspsCcs2Fft(nullptr, nullptr, order, NSP_Init);
        ASSERT_EQ(records().size(), 1u) << "order " << order;
        EXPECT_EQ(records()[0].status, NSP_StsNoMem);
        EXPECT_EQ(records()[0].context, "No working Twd memory");
    }
}

using TableCacheThreads = QuietErrors;

TEST_F(TableCacheThreads, concurrent_first_calls_build_an_order_exactly_once) {
    constexpr int kOrder = 14;
    constexpr int kThreads = 8;
    tables::release(kOrder);
    const int builds = tables::buildCount(kOrder);
    const auto signal = randomSignal(size_t{1} << kOrder, 2);

    std::vector<std::vector<float>> results(kThreads);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            results[t] = forwardOf(signal, kOrder);
        });
    }
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(tables::buildCount(kOrder), builds + 1);
    const auto expected = forwardOf(signal, kOrder);
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(results[t], expected) << "thread " << t;
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

TEST_F(TableCacheThreads, transforms_stay_correct_while_another_thread_frees_and_rebuilds) {
    constexpr int kOrder = 11;
    constexpr int kRounds = 300;
    const auto signal = randomSignal(size_t{1} << kOrder, 3);
    const auto expected = forwardOf(signal, kOrder);

    std::atomic<bool> done{false};
    std::thread churn([&] {
        while (!done.load()) {
            nspsReal2Fft(nullptr, nullptr, kOrder, NSP_Free);
            nspsReal2Fft(nullptr, nullptr, kOrder, NSP_Init);
        }
    });
    int mismatches = 0;
    for (int round = 0; round < kRounds; ++round) {
        if (forwardOf(signal, kOrder) != expected) ++mismatches;
    }
    done.store(true);
    churn.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
}

} // namespace
