// Growing, jittered pauses between failed attempts, cut short when the launcher closes.
#include "sync/Backoff.hpp"

#include <algorithm>
#include <thread>

namespace {

// Short slices keep a closing launcher from waiting out a whole pause.
constexpr std::chrono::milliseconds waitSlice{100};
// Each pause is drawn from the upper quarter below its nominal length, so two clients that failed together
// drift apart instead of retrying in step.
constexpr double jitterShare = 0.25;

} // namespace

Backoff::Backoff(std::chrono::milliseconds first, std::chrono::milliseconds cap)
    : m_first(std::min(first, cap)), m_cap(cap), m_current(m_first),
      m_random(static_cast<std::minstd_rand::result_type>(std::random_device{}())) {}

std::chrono::milliseconds Backoff::next() {
    const auto nominal = m_current;
    m_current = std::min(m_current * 2, m_cap);
    const auto spread = static_cast<std::chrono::milliseconds::rep>(static_cast<double>(nominal.count()) * jitterShare);
    std::uniform_int_distribution<std::chrono::milliseconds::rep> jitter(0, spread);
    return nominal - std::chrono::milliseconds(jitter(m_random));
}

void Backoff::reset() noexcept {
    m_current = m_first;
}

bool Backoff::wait(const StopFlag& stop) {
    const auto until = std::chrono::steady_clock::now() + next();
    while (!stop.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, waitSlice));
    }
    return false;
}
