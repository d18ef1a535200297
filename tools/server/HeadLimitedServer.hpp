// cpp-httplib's server with a limit on each request's head: the library reads a request line or a header line of
// any length into memory and waits for it as long as bytes keep trickling in, so one client could take a worker and
// memory without end.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

class HeadLimitedServer : public httplib::Server {
public:
    /// A request head (request line and headers) larger than this is answered 431 and the connection closed.
    static constexpr std::size_t maxHeadBytes = 16 * 1024;
    /// The time a request head may take to arrive, from its first byte; then the connection is closed unanswered.
    static constexpr std::chrono::seconds defaultHeadTime{10};

    void setHeadTime(std::chrono::milliseconds time) { m_headTime = time; }
    /// Told of each connection closed by these limits, in a line for the log.
    void setRefusalLogger(std::function<void(const std::string&)> logger) { m_logRefusal = std::move(logger); }

private:
    // The library's keep-alive loop, with the head of each request read here first, within the limits.
    bool process_and_close_socket(socket_t sock) override;

    std::chrono::milliseconds m_headTime = defaultHeadTime;
    std::function<void(const std::string&)> m_logRefusal;
};
