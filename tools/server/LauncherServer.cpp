// HTTP side of varnhold-server: routing, the document, streamed file bodies with ranges, throttling and logging.
#include "tools/server/LauncherServer.hpp"

#include "tools/server/ByteRange.hpp"
#include "tools/server/HeadLimitedServer.hpp"
#include "tools/server/ServedPath.hpp"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t fileBlockBytes = 256 * 1024;
constexpr std::size_t minThrottleBlockBytes = 4 * 1024;
constexpr std::size_t throttleBlocksPerSecond = 10;
constexpr std::size_t maxDocumentBytes = 16 * 1024 * 1024;
constexpr std::size_t maxRequestBodyBytes = 64 * 1024;
constexpr std::size_t bytesPerKiB = 1024;
constexpr time_t keepAliveSeconds = 1;
// A launcher fetches a whole file list over one connection; the library's default of 5 requests would make it
// reconnect every fifth file.
constexpr std::size_t maxRequestsPerConnection = 100000;
// Each kept-alive connection holds a worker thread until it idles out: a launcher opens up to 16 for its files and
// one for its music, and a few launchers may share the server. The library's default (8 on a small machine) made
// the ninth connection wait for one of the first eight to fall idle.
constexpr std::size_t workerThreads = 64;
constexpr auto startPollInterval = std::chrono::milliseconds(1);
constexpr const char* documentPath = "/get_data.php";
constexpr const char* signaturePath = "/get_data.php.minisig";
// A minisign signature file is a few hundred bytes.
constexpr std::size_t maxSignatureBytes = 8 * 1024;

struct FdCloser {
    int fd = -1;
    explicit FdCloser(int handle) : fd(handle) {}
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
};

// Every accepted connection becomes one task of the library's pool: counting tasks counts connections, which is
// how a test sees whether a client kept its connection alive.
class CountingPool : public httplib::ThreadPool {
public:
    CountingPool(std::size_t threads, std::atomic<std::uint64_t>& count, std::function<void(std::uint64_t)> opened)
        : httplib::ThreadPool(threads), m_count(count), m_opened(std::move(opened)) {}

    void enqueue(std::function<void()> task) override {
        m_opened(++m_count);
        httplib::ThreadPool::enqueue(std::move(task));
    }

private:
    std::atomic<std::uint64_t>& m_count;
    std::function<void(std::uint64_t)> m_opened;
};

// The validators a client needs to resume safely: the ETag changes with the size or the modification time (in
// nanoseconds), Last-Modified is the same time in HTTP's date form.
struct Validators {
    std::string etag;
    std::string lastModified;
};

Validators validatorsOf(const struct stat& info) {
    char etag[64];
    std::snprintf(etag, sizeof etag, "\"%llx-%llx%09llx\"", static_cast<unsigned long long>(info.st_size),
                  static_cast<unsigned long long>(info.st_mtim.tv_sec),
                  static_cast<unsigned long long>(info.st_mtim.tv_nsec));
    std::tm utc{};
    char date[64] = {};
    if (::gmtime_r(&info.st_mtim.tv_sec, &utc) != nullptr)
        std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return {etag, date};
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Returns false when the file cannot be read whole (missing, a folder, unreadable or larger than `maxBytes`).
[[nodiscard]] bool readWholeFile(const std::string& path, std::string& text, std::size_t maxBytes = maxDocumentBytes) {
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    std::string content;
    std::vector<char> block(bytesPerKiB * 64);
    while (true) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        content.append(block.data(), got);
        if (content.size() > maxBytes)
            return false;
        if (got < block.size())
            break;
    }
    if (std::ferror(file.get()))
        return false;
    text = std::move(content);
    return true;
}

// Request targets go to a terminal or a log file: keep control bytes out of them.
[[nodiscard]] std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

void setText(httplib::Response& res, int status, const char* text) {
    res.status = status;
    res.set_content(text, "text/plain; charset=utf-8");
}

// The stop flag that every wait and every file block looks at: a throttled or delayed transfer must not hold up
// shutdown.
class StopGate {
public:
    [[nodiscard]] bool isStopping() const {
        const std::lock_guard lock(m_mutex);
        return m_stopping;
    }
    /// False when stop() came first.
    [[nodiscard]] bool waitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        return !m_signal.wait_until(lock, deadline, [this] { return m_stopping; });
    }
    void stop() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_signal.notify_all();
    }

private:
    mutable std::mutex m_mutex; // guards m_stopping
    std::condition_variable m_signal;
    bool m_stopping = false;
};

// One line per event on stdout, flushed at once: scripts read it through a pipe.
class RequestLog {
public:
    explicit RequestLog(bool quiet) : m_quiet(quiet) {}
    void write(const std::string& line) {
        if (m_quiet)
            return;
        const std::lock_guard lock(m_mutex);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    const bool m_quiet;
    std::mutex m_mutex; // keeps lines from different connections whole
};

// One file body in flight. Owned by the response's content provider, so the descriptor closes with the response.
class FileBody {
public:
    FileBody(StopGate& gate, RequestLog& log, int rateKiBps, int fd, std::uint64_t first, std::uint64_t length,
             std::string target)
        : m_gate(gate), m_log(log), m_fd(fd), m_first(first), m_length(length), m_target(std::move(target)) {
        const auto rate = static_cast<std::size_t>(rateKiBps) * bytesPerKiB;
        m_bytesPerSecond = rate;
        // Throttled bodies go out in small blocks, so the rate holds within a tenth of a second.
        m_blockBytes = rate == 0 ? fileBlockBytes
                                 : std::clamp(rate / throttleBlocksPerSecond, minThrottleBlockBytes, fileBlockBytes);
    }

    // The library ends a body without a word when the server stops between two blocks: the log must still say how
    // much went out, or a script adding up the bytes served counts the whole length.
    ~FileBody() {
        if (m_called && !m_cutLogged && m_delivered < m_length)
            static_cast<void>(cut(m_delivered, m_gate.isStopping() ? "server stopping" : "ended early"));
    }
    FileBody(const FileBody&) = delete;
    FileBody& operator=(const FileBody&) = delete;

    // `offset` counts from the start of this body; the library calls again until `length` more bytes are out.
    bool send(std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        m_called = true;
        m_delivered = offset;
        if (m_gate.isStopping())
            return cut(offset, "server stopping");
        if (m_bytesPerSecond > 0 && !pace(offset))
            return cut(offset, "server stopping");

        if (m_buffer.empty())
            m_buffer.resize(m_blockBytes);
        const std::size_t want = std::min(length, m_blockBytes);
        const auto position = static_cast<off_t>(m_first + offset);
        ssize_t got = 0;
        do {
            got = ::pread(m_fd.fd, m_buffer.data(), want, position);
        } while (got < 0 && errno == EINTR);
        // A file that shrank while being sent must not be padded or looped over: cut the connection instead.
        if (got <= 0)
            return cut(offset, "file could not be read");
        if (!sink.write(m_buffer.data(), static_cast<std::size_t>(got)))
            return cut(offset, "client went away");
        m_delivered = offset + static_cast<std::size_t>(got);
        return true;
    }

private:
    [[nodiscard]] bool pace(std::size_t sent) {
        const auto now = std::chrono::steady_clock::now();
        if (sent == 0)
            m_started = now;
        const std::chrono::duration<double> allowedAfter(static_cast<double>(sent) /
                                                         static_cast<double>(m_bytesPerSecond));
        const auto due = m_started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(allowedAfter);
        return due <= now || m_gate.waitUntil(due);
    }

    bool cut(std::size_t sent, const char* why) {
        m_cutLogged = true;
        m_log.write("varnhold-server: " + printable(m_target) + " cut after " + std::to_string(sent) + " of " +
                    std::to_string(m_length) + " bytes (" + why + ")");
        return false;
    }

    StopGate& m_gate;
    RequestLog& m_log;
    FdCloser m_fd;
    std::uint64_t m_first;
    std::uint64_t m_length;
    std::string m_target;
    std::size_t m_bytesPerSecond = 0;
    std::size_t m_blockBytes = fileBlockBytes;
    std::vector<char> m_buffer;
    std::chrono::steady_clock::time_point m_started;
    bool m_called = false; // a HEAD answer never asks for its body
    bool m_cutLogged = false;
    std::size_t m_delivered = 0;
};

} // namespace

struct LauncherServer::State {
    explicit State(ServerOptions serverOptions) : options(std::move(serverOptions)), log(options.quiet) {
        // Where minisign puts it: beside the document, under its name.
        if (options.signaturePath.empty())
            options.signaturePath = options.documentPath + ".minisig";
    }

    ServerOptions options;
    std::filesystem::path filesRoot; // canonical; empty when no folder is served
    HeadLimitedServer http;
    std::thread listener;
    std::atomic<bool> listenerEnded{false};
    int boundPort = 0;
    std::string error;
    StopGate gate;
    RequestLog log;
    std::atomic<std::uint64_t> connections{0};

    void installRoutes();
    void serveDocument(httplib::Response& res) const;
    void serveSignature(httplib::Response& res) const;
    void serveFile(const httplib::Request& req, httplib::Response& res);
};

void LauncherServer::State::installRoutes() {
    // cpp-httplib 0.11 applies a parsed Range to every routed response by itself: it does not clamp the end to
    // the body (bytes=50-500 of 100 bytes announces 451 and reads past the end) and it slices error pages too.
    // Ranges are answered in serveFile instead, so the parsed list is emptied before routing. The Request is the
    // library's own mutable object for this exchange; only its handler interface is const.
    http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
        const_cast<httplib::Request&>(req).ranges.clear();
        return httplib::Server::HandlerResponse::Unhandled;
    });

    // The launcher's POST carries no fields. A body of declared length is read and dropped, so the connection can
    // carry the next request. A POST that declares none has no body, but the library, left to read it, waits for
    // the client to close (a 5 s stall, then 400 for "curl -X POST"): it is not read and the connection ends.
    http.Post("/get_data\\.php",
              [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                  const bool declared = req.has_header("Content-Length") ||
                                        req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
                  std::size_t dropped = 0;
                  const bool drained = declared && reader([&dropped](const char*, std::size_t length) {
                                           dropped += length;
                                           return dropped <= maxRequestBodyBytes;
                                       });
                  if (!drained)
                      res.set_header("Connection", "close");
                  serveDocument(res);
              });
    http.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        if (req.path == documentPath) {
            serveDocument(res);
        } else if (req.path == signaturePath) {
            serveSignature(res);
        } else if (!filesRoot.empty() && req.path.rfind(options.filesPrefix, 0) == 0) {
            serveFile(req, res);
        } else {
            setText(res, 404, "Not found\n");
        }
    });

    http.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        const std::string bytes = req.method == "HEAD" ? "0" : res.get_header_value("Content-Length");
        // The Range asked for goes with the line, so a log shows where a resumed download went on from.
        const std::string range = req.get_header_value("Range");
        log.write(req.method + " " + printable(req.target) + " " + std::to_string(res.status) + " " +
                  (bytes.empty() ? std::to_string(res.body.size()) : bytes) +
                  (range.empty() ? "" : " range=" + printable(range)));
    });
    // The library's default on Linux is SO_REUSEPORT, which lets a second server bind a port that is still being
    // served and split the clients between the two. SO_REUSEADDR alone gives a restarted server its port back
    // while closed connections wait out TIME_WAIT, and still refuses a port that is in use.
    http.set_socket_options([](int socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http.set_payload_max_length(maxRequestBodyBytes);
    // A head of any length, or one trickling in for ever, would hold a worker and memory without end.
    http.setHeadTime(std::chrono::milliseconds(options.headTimeMs));
    http.setRefusalLogger([this](const std::string& line) { log.write("varnhold-server: " + line); });
    // An idle keep-alive connection holds its worker until this runs out, and stop() waits for every worker.
    http.set_keep_alive_timeout(keepAliveSeconds);
    http.set_keep_alive_max_count(maxRequestsPerConnection);
    // Headers and body go out in separate writes; with Nagle's algorithm the body of the next response on a kept-alive
    // connection waits for the client's delayed acknowledgement, 40 ms per file.
    http.set_tcp_nodelay(true);
    http.new_task_queue = [this]() -> httplib::TaskQueue* {
        // The library takes ownership of the pool it is handed.
        return std::make_unique<CountingPool>(workerThreads, connections,
                                              [this](std::uint64_t count) {
                                                  log.write("varnhold-server: connection " + std::to_string(count) +
                                                            " opened");
                                              })
            .release();
    };
}

void LauncherServer::State::serveDocument(httplib::Response& res) const {
    std::string document;
    if (!readWholeFile(options.documentPath, document)) {
        setText(res, 500, "varnhold-server: cannot read the server document\n");
        return;
    }
    // The document is re-read at every request; a cached copy would hide an admin's edit.
    res.set_header("Cache-Control", "no-store");
    res.set_content(document, "application/json");
}

void LauncherServer::State::serveSignature(httplib::Response& res) const {
    std::string signature;
    if (!readWholeFile(options.signaturePath, signature, maxSignatureBytes)) {
        setText(res, 404, "varnhold-server: no signature beside the document\n");
        return;
    }
    // Re-read like the document, so a document and its new signature are served together from the next request.
    res.set_header("Cache-Control", "no-store");
    res.set_content(signature, "text/plain");
}

void LauncherServer::State::serveFile(const httplib::Request& req, httplib::Response& res) {
    if (options.delayMs > 0 &&
        !gate.waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(options.delayMs))) {
        setText(res, 503, "Server stopping\n");
        return;
    }

    const std::string_view relative = std::string_view(req.path).substr(options.filesPrefix.size());
    const ServedPath served = resolveServedPath(filesRoot, relative);
    if (served.outcome == ServedPath::Outcome::Refused) {
        setText(res, 403, "Forbidden\n");
        return;
    }
    if (served.outcome == ServedPath::Outcome::Missing) {
        setText(res, 404, "Not found\n");
        return;
    }

    FdCloser fd(::open(served.file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.fd < 0 || ::fstat(fd.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        setText(res, 404, "Not found\n");
        return;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    res.set_header("Accept-Ranges", "bytes");
    const Validators validators = validatorsOf(info);
    res.set_header("ETag", validators.etag);
    if (!validators.lastModified.empty())
        res.set_header("Last-Modified", validators.lastModified);

    // If-Range: a range of a file that changed since the client's copy would mix two files, so the whole new file
    // goes out instead.
    const std::string ifRange = req.get_header_value("If-Range");
    const bool rangeStillValid = ifRange.empty() || ifRange == validators.etag ||
                                 (!validators.lastModified.empty() && ifRange == validators.lastModified);
    const ByteRange range =
        req.has_header("Range") && rangeStillValid ? parseByteRange(req.get_header_value("Range"), size) : ByteRange{};
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        setText(res, 416, "Range not satisfiable\n");
        return;
    }
    // The library treats a provider of length 0 as one of unknown length; an empty file is just an empty body.
    if (size == 0) {
        res.status = 200;
        res.set_content("", "application/octet-stream");
        return;
    }

    std::uint64_t first = 0;
    std::uint64_t length = size;
    res.status = 200;
    if (range.kind == ByteRange::Kind::Partial) {
        first = range.first;
        length = range.length();
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) +
                                            "/" + std::to_string(size));
    }

    auto body =
        std::make_shared<FileBody>(gate, log, options.rateKiBps, fd.fd, first, length, req.method + " " + req.target);
    fd.fd = -1; // the body owns the descriptor now
    res.set_content_provider(length, "application/octet-stream",
                             [body](std::size_t offset, std::size_t remaining, httplib::DataSink& sink) {
                                 return body->send(offset, remaining, sink);
                             });
}

LauncherServer::LauncherServer(ServerOptions options) : m_state(std::make_unique<State>(std::move(options))) {
    m_state->installRoutes();
}

LauncherServer::~LauncherServer() {
    stop();
}

bool LauncherServer::start() {
    State& s = *m_state;
    if (s.listener.joinable() || s.gate.isStopping()) {
        s.error = "the server was already started";
        return false;
    }
    if (!s.options.filesDir.empty()) {
        std::error_code error;
        auto root = std::filesystem::canonical(s.options.filesDir, error);
        if (error || !std::filesystem::is_directory(root, error)) {
            s.error = "files folder '" + s.options.filesDir + "' is not a folder";
            return false;
        }
        s.filesRoot = std::move(root);
    }

    if (s.options.port == 0) {
        s.boundPort = s.http.bind_to_any_port(s.options.bindAddress);
    } else if (s.http.bind_to_port(s.options.bindAddress, s.options.port)) {
        s.boundPort = s.options.port;
    } else {
        s.boundPort = -1;
    }
    if (s.boundPort <= 0) {
        s.boundPort = 0;
        s.error = "cannot listen on " + s.options.bindAddress + " port " + std::to_string(s.options.port);
        return false;
    }

    s.listener = std::thread([&s] {
        s.http.listen_after_bind();
        s.listenerEnded = true;
    });
    // A stop() that comes before the accept loop runs would be lost and leave the thread listening for ever.
    while (!s.http.is_running() && !s.listenerEnded)
        std::this_thread::sleep_for(startPollInterval);
    if (s.listenerEnded) {
        s.listener.join();
        s.error = "the accept loop ended at once";
        return false;
    }
    return true;
}

std::string LauncherServer::startError() const {
    return m_state->error;
}

int LauncherServer::port() const {
    return m_state->boundPort;
}

std::string LauncherServer::baseUrl() const {
    const std::string& address = m_state->options.bindAddress;
    const bool isIpv6 = address.find(':') != std::string::npos;
    return "http://" + (isIpv6 ? "[" + address + "]" : address) + ":" + std::to_string(port()) + "/";
}

std::string LauncherServer::describe() const {
    const State& s = *m_state;
    const std::string files = s.filesRoot.empty() ? std::string("(none)") : s.filesRoot.string();
    return "listening on " + baseUrl() + "  document=" + s.options.documentPath +
           "  signature=" + s.options.signaturePath + "  files=" + files + " under " + s.options.filesPrefix;
}

std::uint64_t LauncherServer::connectionCount() const {
    return m_state->connections.load();
}

bool LauncherServer::isRunning() const {
    return m_state->listener.joinable() && !m_state->listenerEnded;
}

void LauncherServer::stop() {
    State& s = *m_state;
    s.gate.stop();
    if (s.listener.joinable()) {
        s.http.stop();
        s.listener.join();
    }
}
