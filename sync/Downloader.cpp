// The downloads of one worker on one libcurl multi handle: how many transfers may run at once, which file gets a
// free connection, and the loop that moves them all on. What each answer means for a file is FileDownload's.
#include "sync/Downloader.hpp"

#include "net/Curl.hpp"
#include "sync/FileDownload.hpp"

#include <algorithm>
#include <map>
#include <set>

namespace {

// While no byte arrives libcurl calls its progress function only about once a second; waking this often to look
// at the stop flag ends a transfer from a silent server promptly too.
constexpr std::chrono::milliseconds pollInterval{100};
// Over HTTP/2 each connection carries this many files at once: a small file costs a round trip whatever the line's
// speed, so only many at once fill a long line.
constexpr std::size_t streamsPerConnection = 8;

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

} // namespace

struct Downloader::Engine {
    Engine(const StopFlag& stopFlag, const DownloadOptions& downloadOptions)
        : stop(stopFlag), options(downloadOptions) {
        if (auto error = curl::initialiseOnce()) {
            startError = std::move(*error);
            return;
        }
        multi.reset(curl_multi_init());
        if (!multi) {
            startError = "libcurl could not create a transfer";
            return;
        }
        const auto most = static_cast<long>(connections());
        curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, most);
        // Every connection stays in the cache for the next file.
        curl_multi_setopt(multi.get(), CURLMOPT_MAXCONNECTS, most + 1);
        curl_multi_setopt(multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    }
    // The files (and with them their transfers) leave the multi handle before it goes.
    ~Engine() { files.clear(); }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const StopFlag& stop;
    const DownloadOptions& options;
    MultiHandle multi;
    std::string startError;                                // why there is no multi handle
    std::map<FileId, std::unique_ptr<FileDownload>> files; // in the order they started
    std::vector<Finished> ended;                           // not handed out yet
    std::set<std::string> noRanges; // addresses whose server answered a piece with the whole file
    bool multiplexed = false;       // a server answered over HTTP/2
    FileId nextId = 1;

    [[nodiscard]] std::size_t connections() const {
        return std::clamp<std::size_t>(options.connections, 1, DownloadOptions::maxConnections);
    }

    [[nodiscard]] std::size_t transfers() const {
        std::size_t count = 0;
        for (const auto& [id, file] : files)
            count += file->transfers();
        return count;
    }

    [[nodiscard]] std::size_t ownConnections() const {
        std::size_t count = 0;
        for (const auto& [id, file] : files)
            count += file->ownConnections();
        return count;
    }

    void collect(FileId id) {
        const auto found = files.find(id);
        if (found == files.end() || !found->second->finished())
            return;
        FileDownload& file = *found->second;
        multiplexed = multiplexed || file.multiplexed();
        if (file.rangesIgnored())
            noRanges.insert(file.address());
        ended.push_back(Finished{id, file.takeResult()});
        files.erase(found);
    }

    // Hands each transfer libcurl reports as ended to its file.
    void readMessages() {
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            // The message goes when its transfer leaves the multi handle: what it says is taken first.
            CURL* easy = message->easy_handle;
            const CURLcode code = message->data.result;
            const auto owner = std::find_if(files.begin(), files.end(),
                                            [easy](const auto& entry) { return entry.second->owns(easy); });
            if (owner == files.end())
                continue;
            owner->second->transferEnded(easy, code);
            collect(owner->first);
        }
    }

    // Ends every file when libcurl itself fails: no transfer can go on then.
    void failAll(const char* why) {
        for (auto& [id, file] : files)
            file->fail(why);
        while (!files.empty())
            collect(files.begin()->first);
    }
};

Downloader::Downloader(const StopFlag& stop, DownloadOptions options) : m_stop(stop), m_options(options) {}

Downloader::~Downloader() = default;

void Downloader::setProgressHook(ProgressHook hook) {
    m_progress = std::move(hook);
}

Downloader::FileId Downloader::start(const DownloadRequest& request, ProgressHook hook) {
    if (!m_engine)
        m_engine = std::make_unique<Engine>(m_stop, m_options);
    Engine& engine = *m_engine;
    const FileId id = engine.nextId++;
    if (!engine.multi) {
        engine.ended.push_back(Finished{id, DownloadResult::failure(DownloadError::Transfer, engine.startError)});
        return id;
    }
    const std::string& address = request.address.empty() ? request.url : request.address;
    auto file = std::make_unique<FileDownload>(request, std::move(hook), m_options, m_stop, engine.multi.get(),
                                               m_options.pieces && !engine.noRanges.contains(address));
    FileDownload& started = *file;
    engine.files.emplace(id, std::move(file));
    started.begin();
    engine.collect(id);
    return id;
}

bool Downloader::hasRoom() const {
    if (!m_engine)
        return true;
    const std::size_t connections = m_engine->connections();
    const std::size_t limit = m_engine->multiplexed ? connections * streamsPerConnection : connections;
    return m_engine->transfers() < limit;
}

bool Downloader::widen() {
    if (!m_engine)
        return false;
    Engine& engine = *m_engine;
    // Pieces take connections of their own: over HTTP/2 one connection carries the small files, the rest are free.
    const std::size_t connections = engine.connections();
    const std::size_t taken = engine.multiplexed ? engine.ownConnections() + 1 : engine.transfers();
    if (taken >= connections)
        return false;
    // The file that started first finishes first: it gets the connection.
    for (auto& [id, file] : engine.files) {
        if (file->widen())
            return true;
    }
    return false;
}

std::vector<Downloader::Finished> Downloader::run(std::chrono::milliseconds timeout) {
    std::vector<Finished> ended;
    if (!m_engine)
        return ended;
    Engine& engine = *m_engine;
    if (m_stop.load()) {
        for (auto& [id, file] : engine.files)
            file->stop();
        while (!engine.files.empty())
            engine.collect(engine.files.begin()->first);
    } else if (!engine.files.empty()) {
        int running = 0;
        if (curl_multi_perform(engine.multi.get(), &running) != CURLM_OK) {
            engine.failAll("libcurl failed");
        } else {
            engine.readMessages();
            if (engine.ended.empty()) {
                const int wait = static_cast<int>(std::min(timeout, pollInterval).count());
                if (curl_multi_poll(engine.multi.get(), nullptr, 0, wait, nullptr) != CURLM_OK ||
                    curl_multi_perform(engine.multi.get(), &running) != CURLM_OK)
                    engine.failAll("libcurl failed");
                else
                    engine.readMessages();
            }
        }
    }
    ended.swap(engine.ended);
    return ended;
}

std::size_t Downloader::active() const {
    return m_engine ? m_engine->files.size() : 0;
}

DownloadResult Downloader::fetch(const DownloadRequest& request) {
    if (m_stop.load())
        return DownloadResult::failure(DownloadError::Stopped, {});
    const FileId id = start(request, m_progress);
    for (;;) {
        while (hasRoom() && widen()) {
        }
        for (Finished& finished : run(pollInterval)) {
            if (finished.id == id)
                return std::move(finished.result);
        }
    }
}

DownloadResult DownloadResult::failure(DownloadError error, std::string detail, long httpStatus) {
    DownloadResult result;
    result.error = error;
    result.httpStatus = httpStatus;
    result.detail = std::move(detail);
    return result;
}

std::string DownloadResult::toString() const {
    switch (error) {
    case DownloadError::None:
        return "downloaded";
    case DownloadError::Stopped:
        return "stopped: the launcher is closing";
    case DownloadError::HttpStatus:
        return "server answered with status " + std::to_string(httpStatus) + (detail.empty() ? "" : ": " + detail);
    case DownloadError::Transfer:
        return "transfer failed: " + detail;
    case DownloadError::LocalFile:
        return "could not write the file: " + detail;
    case DownloadError::DiskFull:
        return "disk full: " + detail;
    case DownloadError::ChecksumMismatch:
        return "not the listed file: " + detail;
    }
    return "unknown failure";
}

DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop) {
    return DownloadToFile(url, target, stop, DownloadOptions{});
}

DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop,
                              const DownloadOptions& options) {
    Downloader downloader(stop, options);
    return downloader.fetch(DownloadRequest{url, target, false, {}, {}});
}
