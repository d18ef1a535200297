// Holds a server handler until the test opens it, so the test can look at the launcher meanwhile.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace testing_support {

class Gate {
public:
    static constexpr std::chrono::seconds timeout{10};

    void open() {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    /// Called by the handler: waits (at most `timeout`) until the gate is open.
    void passWhenOpen() {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait_for(lock, timeout, [this] { return m_open; });
    }
    /// Called by the test: true once the handler has reached the gate.
    bool waitEntered() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_entered; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    bool m_entered = false;
};

} // namespace testing_support
