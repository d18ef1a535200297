// Worker threads below the main thread: the nice value each thread of this process has after the call.
#include "platform/ThreadPriority.hpp"

#include "support/Environment.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace {

int niceOf(pid_t thread) {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
}

struct WorkerNice {
    bool lowered = false;
    int worker = 0;
    int innerInherited = 0; // a thread the worker starts, before its own call
    int inner = 0;
};

// A worker that lowers itself and starts a thread that does the same, as the file worker starts its checkers.
WorkerNice runWorkers() {
    WorkerNice seen;
    std::thread worker([&] {
        seen.lowered = platform::LowerThreadPriority();
        seen.worker = niceOf(gettid());
        std::thread inner([&] {
            seen.innerInherited = niceOf(gettid());
            (void)platform::LowerThreadPriority();
            seen.inner = niceOf(gettid());
        });
        inner.join();
    });
    worker.join();
    return seen;
}

TEST(ThreadPriority, WorkersSitOneStepAboveTheMainThreadsNiceValueWhoeverStartedThem) {
    const int mainNice = niceOf(getpid());
    const WorkerNice seen = runWorkers();
    EXPECT_TRUE(seen.lowered);
    EXPECT_EQ(seen.worker, std::min(19, mainNice + 1));
    EXPECT_EQ(seen.innerInherited, seen.worker);
    EXPECT_EQ(seen.inner, seen.worker) << "a worker's worker must not sink further";
    EXPECT_EQ(niceOf(getpid()), mainNice) << "the main thread keeps its own";

    const testing_support::EnvironmentGuard normal(platform::workerPriorityVariable, "normal");
    const WorkerNice kept = runWorkers();
    EXPECT_FALSE(kept.lowered);
    EXPECT_EQ(kept.worker, mainNice);
}

} // namespace
