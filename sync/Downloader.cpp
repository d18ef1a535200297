// One-file downloads through libcurl, written beside the target and renamed over it when complete.
#include "sync/Downloader.hpp"

#include "net/Curl.hpp"
#include "platform/PartFile.hpp"

#include <memory>
#include <optional>

namespace {

// Large receive blocks keep a fast local transfer from being bound by callback and write() counts.
constexpr long receiveBufferSize = 512 * 1024;
// The launcher only fetches over the web: a server-listed "file://" address must not copy local files around.
constexpr const char* allowedProtocols = "http,https";
constexpr long firstSuccessStatus = 200;
constexpr long firstNonSuccessStatus = 300;

// While no byte arrives libcurl calls its progress function only about once a second; waking this often to look
// at the stop flag ends a transfer from a silent server promptly too.
constexpr int stopCheckIntervalMs = 100;

// Removes the transfer from the multi handle before either is cleaned up, as libcurl requires.
class MultiTransfer {
public:
    explicit MultiTransfer(CURL* easy) : m_multi(curl_multi_init()), m_easy(easy) {
        m_added = m_multi != nullptr && curl_multi_add_handle(m_multi, m_easy) == CURLM_OK;
    }
    ~MultiTransfer() {
        if (m_added) {
            curl_multi_remove_handle(m_multi, m_easy);
        }
        if (m_multi != nullptr) {
            curl_multi_cleanup(m_multi);
        }
    }
    MultiTransfer(const MultiTransfer&) = delete;
    MultiTransfer& operator=(const MultiTransfer&) = delete;

    [[nodiscard]] bool ready() const noexcept { return m_added; }
    [[nodiscard]] CURLM* get() const noexcept { return m_multi; }

private:
    CURLM* m_multi;
    CURL* m_easy;
    bool m_added = false;
};

// Runs the transfer to its end, or until `stop` is set.
CURLcode perform(CURL* easy, const StopFlag& stop) {
    const MultiTransfer transfer(easy);
    if (!transfer.ready()) {
        return CURLE_OUT_OF_MEMORY;
    }
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(transfer.get(), &running) != CURLM_OK) {
            return CURLE_RECV_ERROR;
        }
        if (running == 0) {
            break;
        }
        if (stop.load()) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
        if (curl_multi_poll(transfer.get(), nullptr, 0, stopCheckIntervalMs, nullptr) != CURLM_OK) {
            return CURLE_RECV_ERROR;
        }
    }
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(transfer.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            return message->data.result;
        }
    }
    return CURLE_RECV_ERROR;
}

struct Transfer {
    platform::PartFile* file;
    const StopFlag* stop;
    bool writeFailed = false;
};

size_t receiveBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (!transfer->file->append(data, bytes)) {
        transfer->writeFailed = true;
        return 0; // libcurl ends the transfer with CURLE_WRITE_ERROR
    }
    return bytes;
}

// Ends a transfer from inside libcurl as soon as the flag is set while data is flowing.
int checkStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* transfer = static_cast<const Transfer*>(user);
    return transfer->stop->load() ? 1 : 0;
}

DownloadResult failure(DownloadError error, std::string detail, long httpStatus = 0) {
    return DownloadResult{error, httpStatus, std::move(detail)};
}

} // namespace

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
    }
    return "unknown failure";
}

DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop) {
    return DownloadToFile(url, target, stop, DownloadOptions{});
}

DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop,
                              const DownloadOptions& options) {
    if (stop.load()) {
        return failure(DownloadError::Stopped, {});
    }
    if (auto error = curl::initialiseOnce()) {
        return failure(DownloadError::Transfer, std::move(*error));
    }
    const curl::EasyHandle easy(curl_easy_init());
    if (!easy) {
        return failure(DownloadError::Transfer, "libcurl could not create a transfer");
    }
    std::string createError;
    std::optional<platform::PartFile> file = platform::PartFile::create(target, createError);
    if (!file) {
        return failure(DownloadError::LocalFile, std::move(createError));
    }

    Transfer transfer{&*file, &stop};
    char curlError[CURL_ERROR_SIZE] = {};
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, allowedProtocols);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, allowedProtocols);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, options.maxRedirects);
    // Signals cannot be used for time-outs with two transfers on two threads.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // Otherwise a transfer given up during a slow name lookup waits for the resolver thread to finish, and closing
    // the launcher waits with it; the lookup is left to end on its own.
    curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.connectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedLimit);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.lowSpeedTime.count()));
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, receiveBufferSize);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receiveBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkStop);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);

    const CURLcode code = perform(handle, stop);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);

    if (code == CURLE_ABORTED_BY_CALLBACK || stop.load()) {
        return failure(DownloadError::Stopped, {}, status);
    }
    if (transfer.writeFailed) {
        return failure(DownloadError::LocalFile, file->error(), status);
    }
    if (status >= 400) {
        return failure(DownloadError::HttpStatus, curlError, status);
    }
    if (code != CURLE_OK) {
        return failure(DownloadError::Transfer, *curlError != '\0' ? curlError : curl_easy_strerror(code), status);
    }
    // A final answer that is not a success (a redirect without a target, "304 Not Modified") carries no file.
    if (status < firstSuccessStatus || status >= firstNonSuccessStatus) {
        return failure(DownloadError::HttpStatus, "not a file", status);
    }
    if (!file->commit()) {
        return failure(DownloadError::LocalFile, file->error(), status);
    }
    return {};
}
