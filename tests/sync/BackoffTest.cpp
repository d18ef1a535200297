// Backoff: growth, jitter, cap, reset, and a wait that a closing launcher cuts short.
#include "sync/Backoff.hpp"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

TEST(Backoff, DoublesUpToTheCapWithJitterBelowEachStep) {
    Backoff backoff(100ms, 1000ms);
    const milliseconds nominal[] = {100ms, 200ms, 400ms, 800ms, 1000ms, 1000ms, 1000ms};
    for (const milliseconds step : nominal) {
        const milliseconds pause = backoff.next();
        EXPECT_LE(pause, step);
        EXPECT_GE(pause, step * 3 / 4);
    }
    backoff.reset();
    EXPECT_LE(backoff.next(), 100ms);
    EXPECT_GT(backoff.next(), 100ms);

    Backoff defaults;
    milliseconds pause{};
    for (int i = 0; i < 20; ++i) {
        pause = defaults.next();
        EXPECT_LE(pause, Backoff::maxDelay);
    }
    EXPECT_GE(pause, Backoff::maxDelay * 3 / 4);
}

TEST(Backoff, ClientsThatFailTogetherDoNotRetryInStep) {
    std::set<milliseconds::rep> firstPauses;
    for (int i = 0; i < 20; ++i) {
        firstPauses.insert(Backoff{}.next().count());
    }
    EXPECT_GT(firstPauses.size(), 1u);
}

TEST(Backoff, WaitSleepsThePauseUnlessStopped) {
    StopFlag stop{false};
    Backoff shortPause(40ms, 40ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(shortPause.wait(stop));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);

    Backoff longPause(10s, 10s);
    std::thread stopper([&] {
        std::this_thread::sleep_for(150ms);
        stop = true;
    });
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(longPause.wait(stop));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    stopper.join();

    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(longPause.wait(stop));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 50ms);
}

} // namespace
