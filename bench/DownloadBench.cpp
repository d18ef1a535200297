// Times DownloadToFile against the curl command on one large file served from loopback (the ratio should be 0.9+),
// plain and with the checksum the launcher takes, and the same download with the launcher's progress reporting
// against it without (it should cost at most 2 %).
#include "sync/DownloadProgress.hpp"
#include "sync/Downloader.hpp"

#include "bench/BenchSupport.hpp"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr std::size_t fileSize = 500u * 1000u * 1000u;
constexpr std::size_t requestHeadLimit = 64 * 1024;
constexpr int rounds = 5;
constexpr int progressRounds = 7;
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

// User and system time of every thread of this process so far.
double processorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Each round starts without a target, so both clients create and fill a new file; nullopt when it failed. The
// previous round's dirty pages are written out first: otherwise whichever client runs second pays for the first
// one's writeback.
template <typename Run> std::optional<double> timeSeconds(const std::filesystem::path& target, Run run) {
    std::filesystem::remove(target);
    ::sync();
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
        // The same work as the launcher's: the file written and its MD5 taken, in a pipe beside the transfer.
        const std::string hashingCommand =
            "set -o pipefail; curl -s '" + url + "' | tee '" + target.string() + "' | md5sum >/dev/null";
        const std::string hashingShell = "bash -c \"" + hashingCommand + "\"";
        // Rounds alternate, so a busy machine slows all contenders alike.
        bool oursOk = true, theirsOk = true;
        double ours = 1e300, theirs = 1e300, hashing = 1e300;
        for (int round = 0; round < rounds && oursOk && theirsOk; ++round) {
            const auto oursRound =
                timeSeconds(target, [&] { return static_cast<bool>(DownloadToFile(url, target.string(), stop)); });
            const auto theirsRound = timeSeconds(target, [&] { return std::system(command.c_str()) == 0; });
            const auto hashingRound = timeSeconds(target, [&] { return std::system(hashingShell.c_str()) == 0; });
            oursOk = oursRound.has_value();
            theirsOk = theirsRound.has_value() && hashingRound.has_value();
            ours = std::min(ours, oursRound.value_or(ours));
            theirs = std::min(theirs, theirsRound.value_or(theirs));
            hashing = std::min(hashing, hashingRound.value_or(hashing));
        }
        if (oursOk && theirsOk) {
            const double megabytes = static_cast<double>(fileSize) / 1e6;
            std::printf("file: %.0f MB over loopback, best of %d\n", megabytes, rounds);
            std::printf("DownloadToFile (MD5 on the way in): %.3f s, %.0f MB/s\n", ours, megabytes / ours);
            std::printf("curl command, no checksum:          %.3f s, %.0f MB/s\n", theirs, megabytes / theirs);
            std::printf("curl | tee | md5sum:                %.3f s, %.0f MB/s\n", hashing, megabytes / hashing);
            std::printf("ratio DownloadToFile/curl throughput: %.2f (target >= 0.9)\n", theirs / ours);
            std::printf("ratio DownloadToFile/(curl | tee | md5sum) throughput: %.2f (target >= 0.9)\n",
                        hashing / ours);
            status = 0;
        } else {
            std::fprintf(stderr, "a download failed (DownloadToFile %s, curl %s)\n", oursOk ? "ok" : "failed",
                         theirsOk ? "ok" : "failed");
        }
        // What the launcher does with each report (Launcher::reportTransfer): the tally's update under its lock.
        std::mutex tallyMutex;
        DownloadTally tally;
        tally.begin(fileSize);
        std::uint64_t reports = 0; // under tallyMutex
        const auto report = [&](const TransferProgress& progress) {
            const std::lock_guard lock(tallyMutex);
            tally.update(progress.done, progress.total);
            ++reports;
        };
        Downloader withHook(stop);
        withHook.setProgressHook(report);
        Downloader withoutHook(stop);
        const DownloadRequest request{url, target.string(), false, {}, {}};
        // Wall time is what a player sees, but on a shared machine it swings by tens of percent from one round to
        // the next; the process's processor time (every thread's, the serving thread's alike for both sides) is
        // the reporting's cost itself, and steadier.
        double on = 1e300, off = 1e300, onCpu = 1e300, offCpu = 1e300;
        bool progressOk = status == 0;
        for (int round = 0; round < progressRounds && progressOk; ++round) {
            const auto timeWith = [&](Downloader& downloader, double& wall, double& cpu) {
                const double cpuBefore = processorSeconds();
                const auto took = timeSeconds(target, [&] { return static_cast<bool>(downloader.fetch(request)); });
                if (took) {
                    wall = std::min(wall, *took);
                    cpu = std::min(cpu, processorSeconds() - cpuBefore);
                }
                return took.has_value();
            };
            // Turns about, so that neither side always runs on the heels of the other.
            bool ok = false;
            if (round % 2 == 0)
                ok = timeWith(withoutHook, off, offCpu) && timeWith(withHook, on, onCpu);
            else
                ok = timeWith(withHook, on, onCpu) && timeWith(withoutHook, off, offCpu);
            const std::lock_guard lock(tallyMutex);
            progressOk = ok && tally.progress().bytesDone == fileSize && tally.progress().bytesTotal == fileSize;
        }
        if (progressOk) {
            const double cost = on / off - 1;
            const double cpuCost = onCpu / offCpu - 1;
            std::printf("progress on: %.3f s; progress off: %.3f s (wall, best of %d)\n", on, off, progressRounds);
            std::printf("progress on: %.3f s; progress off: %.3f s (processor, best of %d)\n", onCpu, offCpu,
                        progressRounds);
            std::printf("progress reporting cost: %+.1f %% wall, %+.1f %% processor (target <= %.0f %%) %s\n",
                        cost * 100, cpuCost * 100, maxProgressCost * 100,
                        cost <= maxProgressCost && cpuCost <= maxProgressCost ? "OK" : "COSTLIER THAN TARGET");
            // The same cost counted directly, which a busy machine cannot blur: the reports one file makes, times
            // what one report takes when timed alone.
            const double perFile = static_cast<double>(reports) / progressRounds;
            constexpr int timedReports = 1'000'000;
            const ProgressHook hook = report;
            const double alone = bench_support::secondsTaken([&] {
                for (int i = 0; i < timedReports; ++i)
                    hook(TransferProgress{static_cast<std::uint64_t>(i), fileSize});
            });
            const double summed = perFile * alone / timedReports;
            std::printf("progress reports per file: %.0f; one report alone: %.0f ns; together %.2f ms, %.3f %% of the "
                        "transfer without them (target <= %.0f %%) %s\n",
                        perFile, alone / timedReports * 1e9, summed * 1e3, summed / off * 100, maxProgressCost * 100,
                        summed / off <= maxProgressCost ? "OK" : "COSTLIER THAN TARGET");
        } else if (status == 0) {
            std::fprintf(stderr, "the progress rounds failed or reported wrong figures\n");
            status = 1;
        }
    }
    std::filesystem::remove_all(folder);
    return status;
}
