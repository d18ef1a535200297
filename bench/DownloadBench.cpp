// Times DownloadToFile against the curl command on one large file served from loopback (the ratio should be 0.9+),
// and the same download with a progress hook against it without one (the hook should cost at most 2 %).
#include "sync/Downloader.hpp"

#include "bench/BenchSupport.hpp"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr std::size_t fileSize = 500u * 1000u * 1000u;
constexpr std::size_t requestHeadLimit = 64 * 1024;
constexpr int rounds = 3;
constexpr int progressRounds = 5;
constexpr double maxProgressCost = 0.02;

// A plain HTTP/1.1 server for one file on 127.0.0.1: the body is streamed from disk with sendfile, never loaded
// whole, and costs both clients the same.
class FileServer {
public:
    explicit FileServer(std::string path) : m_path(std::move(path)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, 8) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length)) {
            return;
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~FileServer() {
        ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable()) {
            m_thread.join();
        }
        ::close(m_listener);
    }
    FileServer(const FileServer&) = delete;
    FileServer& operator=(const FileServer&) = delete;

    [[nodiscard]] int port() const { return m_port; }

private:
    void serve() {
        for (;;) {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                return;
            }
            answer(connection);
            ::close(connection);
        }
    }

    void answer(int connection) {
        std::string head;
        char chunk[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < requestHeadLimit) {
            const ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
            if (got <= 0) {
                return;
            }
            head.append(chunk, static_cast<std::size_t>(got));
        }
        const int file = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (file < 0 || ::fstat(file, &info) != 0) {
            return;
        }
        const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                                     std::to_string(info.st_size) + "\r\nConnection: close\r\n\r\n";
        if (::send(connection, response.data(), response.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(response.size())) {
            off_t offset = 0;
            while (offset < info.st_size) {
                if (::sendfile(connection, file, &offset, static_cast<std::size_t>(info.st_size - offset)) <= 0) {
                    break;
                }
            }
        }
        ::close(file);
    }

    std::string m_path;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

// Each round starts without a target, so both clients create and fill a new file; nullopt when it failed.
template <typename Run> std::optional<double> timeSeconds(const std::filesystem::path& target, Run run) {
    std::filesystem::remove(target);
    bool ok = false;
    const double took = bench_support::secondsTaken([&] { ok = run(); });
    std::error_code error;
    if (!ok || std::filesystem::file_size(target, error) != fileSize) {
        return std::nullopt;
    }
    return took;
}

} // namespace

int main() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnhold-downloadbench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const std::string served = (folder / "served.bin").string();
    const std::filesystem::path target = folder / "fetched.bin";
    int status = 1;
    if (bench_support::writeRandomFile(served, fileSize, 11)) {
        const FileServer server(served);
        const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/served.bin";
        const StopFlag stop{false};
        const std::string command = "curl -s -o '" + target.string() + "' '" + url + "'";
        // Rounds alternate, so a busy machine slows both contenders alike.
        bool oursOk = true, theirsOk = true;
        double ours = 1e300, theirs = 1e300;
        for (int round = 0; round < rounds && oursOk && theirsOk; ++round) {
            const auto oursRound =
                timeSeconds(target, [&] { return static_cast<bool>(DownloadToFile(url, target.string(), stop)); });
            const auto theirsRound = timeSeconds(target, [&] { return std::system(command.c_str()) == 0; });
            oursOk = oursRound.has_value();
            theirsOk = theirsRound.has_value();
            ours = std::min(ours, oursRound.value_or(ours));
            theirs = std::min(theirs, theirsRound.value_or(theirs));
        }
        if (oursOk && theirsOk) {
            const double megabytes = static_cast<double>(fileSize) / 1e6;
            std::printf("file: %.0f MB over loopback, best of %d\n", megabytes, rounds);
            std::printf("DownloadToFile: %.3f s, %.0f MB/s\n", ours, megabytes / ours);
            std::printf("curl command:   %.3f s, %.0f MB/s\n", theirs, megabytes / theirs);
            std::printf("ratio DownloadToFile/curl throughput: %.2f (target >= 0.9)\n", theirs / ours);
            status = 0;
        } else {
            std::fprintf(stderr, "a download failed (DownloadToFile %s, curl %s)\n", oursOk ? "ok" : "failed",
                         theirsOk ? "ok" : "failed");
        }
        // What the window's publisher does with each report: two stores another thread reads.
        std::atomic<std::uint64_t> done{0}, total{0};
        Downloader withHook(stop);
        withHook.setProgressHook([&](const TransferProgress& progress) {
            done.store(progress.done, std::memory_order_relaxed);
            total.store(progress.total, std::memory_order_relaxed);
        });
        Downloader withoutHook(stop);
        const DownloadRequest request{url, target.string(), false, {}, {}};
        double on = 1e300, off = 1e300;
        bool progressOk = status == 0;
        for (int round = 0; round < progressRounds && progressOk; ++round) {
            const auto offRound = timeSeconds(target, [&] { return static_cast<bool>(withoutHook.fetch(request)); });
            const auto onRound = timeSeconds(target, [&] { return static_cast<bool>(withHook.fetch(request)); });
            progressOk = offRound && onRound && done.load() == fileSize && total.load() == fileSize;
            off = std::min(off, offRound.value_or(off));
            on = std::min(on, onRound.value_or(on));
        }
        if (progressOk) {
            const double cost = on / off - 1;
            std::printf("progress on: %.3f s; progress off: %.3f s (best of %d)\n", on, off, progressRounds);
            std::printf("progress reporting cost: %+.1f %% (target <= %.0f %%) %s\n", cost * 100, maxProgressCost * 100,
                        cost <= maxProgressCost ? "OK" : "COSTLIER THAN TARGET");
        } else if (status == 0) {
            std::fprintf(stderr, "the progress rounds failed or reported wrong figures\n");
            status = 1;
        }
    }
    std::filesystem::remove_all(folder);
    return status;
}
