// Reading request heads within a size and a time limit before the library parses them; the library then reads
// them back from memory, and the rest of the exchange from the socket, through a stream of our own.
#include "tools/server/HeadLimitedServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view headEnd = "\r\n\r\n";
constexpr std::size_t receiveBlockBytes = 4096;
constexpr const char* headTooLarge = "HTTP/1.1 431 Request Header Fields Too Large\r\n"
                                     "Content-Type: text/plain; charset=utf-8\r\n"
                                     "Content-Length: 32\r\n"
                                     "Connection: close\r\n\r\n"
                                     "Request header fields too large\n";

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000 * 60 * 60));
}

// True when `sock` has something to read (or has been closed) before `timeoutMs` runs out.
bool waitReadable(int sock, int timeoutMs) {
    pollfd waitFor{sock, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&waitFor, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void addressOf(int sock, bool remote, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int got = remote ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&address), &length)
                           : ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    if (got != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

// One connection: the bytes read ahead with the head are handed out first, then the socket's.
class ClientStream : public httplib::Stream {
public:
    ClientStream(int sock, int readTimeoutMs, int writeTimeoutMs)
        : m_sock(sock), m_readTimeoutMs(readTimeoutMs), m_writeTimeoutMs(writeTimeoutMs) {}

    enum class Head { Ready, Idle, TooLarge, TooSlow };

    // Reads until the pending bytes hold a whole request head. Before its first byte the client may stay silent for
    // `idleMs` (the kept-alive connection's wait); from then on the head must be whole by `headTime`.
    Head readHead(int idleMs, std::chrono::milliseconds headTime) {
        if (m_pending.empty() && !waitReadable(m_sock, idleMs))
            return Head::Idle;
        const Clock::time_point deadline = Clock::now() + headTime;
        std::size_t searchFrom = 0;
        for (;;) {
            if (m_pending.find(headEnd, searchFrom) != std::string::npos)
                return Head::Ready;
            if (m_pending.size() > HeadLimitedServer::maxHeadBytes)
                return Head::TooLarge;
            searchFrom = m_pending.size() >= headEnd.size() ? m_pending.size() - headEnd.size() + 1 : 0;
            if (!waitReadable(m_sock, millisecondsUntil(deadline)))
                return Clock::now() >= deadline ? Head::TooSlow : Head::Idle;
            char block[receiveBlockBytes];
            const ssize_t got = ::recv(m_sock, block, sizeof block, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return Head::Idle; // the client went away
            m_pending.append(block, static_cast<std::size_t>(got));
        }
    }

    bool is_readable() const override { return !m_pending.empty() || waitReadable(m_sock, m_readTimeoutMs); }

    bool is_writable() const override {
        pollfd waitFor{m_sock, POLLOUT, 0};
        return ::poll(&waitFor, 1, m_writeTimeoutMs) > 0 && (waitFor.revents & (POLLERR | POLLHUP)) == 0;
    }

    ssize_t read(char* ptr, size_t size) override {
        if (!m_pending.empty()) {
            const std::size_t count = std::min(size, m_pending.size());
            std::memcpy(ptr, m_pending.data(), count);
            m_pending.erase(0, count);
            return static_cast<ssize_t>(count);
        }
        if (!waitReadable(m_sock, m_readTimeoutMs))
            return -1;
        ssize_t got = 0;
        do {
            got = ::recv(m_sock, ptr, size, 0);
        } while (got < 0 && errno == EINTR);
        return got;
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable())
            return -1;
        ssize_t sent = 0;
        do {
            sent = ::send(m_sock, ptr, size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { addressOf(m_sock, true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { addressOf(m_sock, false, ip, port); }
    socket_t socket() const override { return m_sock; }

    // The answer to a head that is too large, written whole or not at all.
    void refuseHead() {
        const std::string_view answer = headTooLarge;
        std::size_t sent = 0;
        while (sent < answer.size()) {
            const ssize_t n = write(answer.data() + sent, answer.size() - sent);
            if (n <= 0)
                return;
            sent += static_cast<std::size_t>(n);
        }
    }

private:
    int m_sock;
    int m_readTimeoutMs;
    int m_writeTimeoutMs;
    std::string m_pending; // read from the socket, not yet taken by the library
};

int toMilliseconds(time_t seconds, time_t microseconds) {
    return static_cast<int>(seconds * 1000 + microseconds / 1000);
}

} // namespace

bool HeadLimitedServer::process_and_close_socket(socket_t sock) {
    ClientStream stream(sock, toMilliseconds(read_timeout_sec_, read_timeout_usec_),
                        toMilliseconds(write_timeout_sec_, write_timeout_usec_));
    const int idleMs = toMilliseconds(keep_alive_timeout_sec_, 0);
    bool ok = false;
    for (std::size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
        const ClientStream::Head head = stream.readHead(idleMs, m_headTime);
        if (head == ClientStream::Head::TooLarge) {
            stream.refuseHead();
            if (m_logRefusal)
                m_logRefusal("request head over " + std::to_string(maxHeadBytes) + " bytes: 431, connection closed");
            break;
        }
        if (head == ClientStream::Head::TooSlow) {
            if (m_logRefusal)
                m_logRefusal("request head not whole within " + std::to_string(m_headTime.count()) +
                             " ms: connection closed");
            break;
        }
        if (head == ClientStream::Head::Idle)
            break;
        bool closed = false;
        ok = process_request(stream, left == 1, closed, nullptr);
        if (!ok || closed)
            break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
}
