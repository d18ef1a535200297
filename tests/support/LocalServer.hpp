// A real HTTP server on 127.0.0.1 for tests: handlers are the fault injection.
#pragma once

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace testing_support {

class LocalServer {
public:
    LocalServer() = default;
    ~LocalServer() { stop(); }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    httplib::Server& server() { return m_server; }

    /// Binds a free port on 127.0.0.1 and serves on a thread until stop(); false when it could not.
    bool start() {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            return false;
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // Debian's cpp-httplib (0.11) has no wait_until_ready().
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }

    void stop() {
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }

    int port() const { return m_port; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
};

} // namespace testing_support
