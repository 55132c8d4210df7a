// tests/ParallelTest.cpp
#include "Parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

TEST(ParallelFor, CoversEveryItemExactlyOnceWhateverTheWorkerCount)
{
    for (int workers : {1, 2, 3, 8}) {
        SetWorkerCount(workers);
        for (int n : {0, 1, 7, 1000, 12345}) {
            std::vector<int> hits(static_cast<std::size_t>(n), 0);
            ParallelFor(0, n, 10, [&](int lo, int hi) {
                for (int i = lo; i < hi; ++i)
                    ++hits[static_cast<std::size_t>(i)];
            });
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(hits[static_cast<std::size_t>(i)], 1) << workers << " workers, n " << n;
        }
    }
    SetWorkerCount(0);
}

TEST(ParallelFor, RunsBatchAfterBatchAndFromSeveralCallers)
{
    SetWorkerCount(4);
    std::atomic<long long> total{0};
    for (int round = 0; round < 200; ++round)
        ParallelFor(-50, 50, 1, [&](int lo, int hi) {
            for (int i = lo; i < hi; ++i)
                total += i + 100;
        });
    EXPECT_EQ(total.load(), 200LL * 100 * 100 - 200LL * 50);  // sum of i + 100 over -50..49
    SetWorkerCount(0);
}

TEST(ParallelFor, ANestedCallRunsOnItsOwnThreadInsteadOfWaiting)
{
    SetWorkerCount(3);
    std::vector<std::atomic<int>> hits(30 * 40);
    ParallelFor(0, 30, 1, [&](int lo, int hi) {
        for (int i = lo; i < hi; ++i)
            ParallelFor(0, 40, 1, [&](int a, int b) {
                for (int j = a; j < b; ++j)
                    ++hits[static_cast<std::size_t>(i * 40 + j)];
            });
    });
    for (const auto& h : hits)
        ASSERT_EQ(h.load(), 1);
    SetWorkerCount(0);
}
