// A real HTTP server on 127.0.0.1 for tests: handlers are the fault injection.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace testing_support {

class LocalServer {
public:
    LocalServer() : m_server(std::make_unique<httplib::Server>()) {}
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
    /// An https server with the certificate and key in these PEM files (see makeTestCertificate).
    LocalServer(const std::string& certificate, const std::string& key)
        : m_server(std::make_unique<httplib::SSLServer>(certificate.c_str(), key.c_str())), m_scheme("https") {}
#endif
    ~LocalServer() {
        stop();
    }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    httplib::Server& server() {
        return *m_server;
    }

    /// Binds a free port on 127.0.0.1 and serves on a thread until stop(); false when it could not.
    bool start() {
        if (!m_server->is_valid())
            return false;
        m_port = m_server->bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            return false;
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        // Debian's cpp-httplib (0.11) has no wait_until_ready().
        while (!m_server->is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }

    void stop() {
        if (m_thread.joinable()) {
            m_server->stop();
            m_thread.join();
        }
    }

    int port() const {
        return m_port;
    }
    std::string base() const {
        return m_scheme + "://127.0.0.1:" + std::to_string(m_port) + "/";
    }

private:
    std::unique_ptr<httplib::Server> m_server;
    std::string m_scheme = "http";
    std::thread m_thread;
    int m_port = 0;
};

/// A throw-away certificate for 127.0.0.1 and its key, valid for a day.
struct TestCertificate {
    std::string certificate;
    std::string key;
};

/// Makes a TestCertificate in `folder` with the openssl command; nothing when that failed.
inline std::optional<TestCertificate> makeTestCertificate(const std::filesystem::path& folder) {
    TestCertificate made{(folder / "cert.pem").string(), (folder / "key.pem").string()};
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj /CN=127.0.0.1 "
        "-addext subjectAltName=IP:127.0.0.1 -keyout " +
        made.key + " -out " + made.certificate + " 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return std::nullopt;
    return made;
}

} // namespace testing_support
