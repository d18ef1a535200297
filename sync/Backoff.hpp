// Pauses between retries of a failing download: exponential with jitter, so a failing server is not hammered.
#pragma once

#include "sync/StopFlag.hpp"

#include <chrono>
#include <random>

class Backoff {
public:
    static constexpr std::chrono::milliseconds firstDelay{1000};
    static constexpr std::chrono::milliseconds maxDelay{60000};

    explicit Backoff(std::chrono::milliseconds first = firstDelay, std::chrono::milliseconds cap = maxDelay);

    /// The next pause: about twice the last one, jittered, never above the cap.
    [[nodiscard]] std::chrono::milliseconds next();
    /// Back to the first pause, after a success.
    void reset() noexcept;
    /// Sleeps the next pause, waking early when `stop` is set; false when it was stopped.
    bool wait(const StopFlag& stop);

private:
    std::chrono::milliseconds m_first;
    std::chrono::milliseconds m_cap;
    std::chrono::milliseconds m_current;
    std::minstd_rand m_random;
};
