// Worker threads below the main thread: the priority each thread has after the call.
#include "platform/ThreadPriority.hpp"

#include "support/Environment.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace {

// The worker's priority after the call, and that of a thread it starts and that calls it too.
std::pair<int, int> workerPriorities(bool& lowered) {
    std::pair<int, int> seen;
    std::thread worker([&] {
        lowered = platform::LowerThreadPriority();
        seen.first = GetThreadPriority(GetCurrentThread());
        std::thread inner([&] {
            (void)platform::LowerThreadPriority();
            seen.second = GetThreadPriority(GetCurrentThread());
        });
        inner.join();
    });
    worker.join();
    return seen;
}

TEST(ThreadPriority, WorkersRunOneStepBelowNormal) {
    bool lowered = false;
    EXPECT_EQ(workerPriorities(lowered), std::make_pair(THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_TRUE(lowered);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL) << "the main thread keeps its own";

    const testing_support::EnvironmentGuard normal(platform::workerPriorityVariable, "normal");
    EXPECT_EQ(workerPriorities(lowered).first, THREAD_PRIORITY_NORMAL);
    EXPECT_FALSE(lowered);
}

} // namespace
