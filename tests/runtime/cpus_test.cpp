/*
 * The processors the process may use: the affinity mask bounds the count
 * (a process pinned to one CPU gets one worker), and cgroup quotas read
 * from cpu.max round up.
 */

#include <gtest/gtest.h>

#include <sched.h>

#include "runtime/cpus.h"

namespace {

TEST(Cpus, QuotaText)
{
    const struct {
        const char *text;
        int processors;
    } cases[] = {
        {"max 100000\n", 0},     {"200000 100000\n", 2}, {"150000 100000", 2}, {"50000 100000\n", 1},
        {" 400000 100000\n", 4}, {"", 0},                {"100000", 0},        {"0 100000", 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(quotaProcessors(c.text), c.processors) << c.text;
    }
}

TEST(Cpus, AffinityBoundsWorkers)
{
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    int first = 0;
    while (!CPU_ISSET(first, &saved)) {
        first++;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    int pinned = usableProcessors();
    int workers = workerThreads(4);
    sched_setaffinity(0, sizeof saved, &saved);
    EXPECT_EQ(pinned, 1);
    EXPECT_EQ(workers, 1);
    EXPECT_LE(workerThreads(4), CPU_COUNT(&saved));
    EXPECT_GE(workerThreads(4), 1);
}

} // namespace
