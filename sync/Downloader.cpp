// One-file downloads through libcurl: written beside the target and renamed over it when complete, hashed on the
// way in, resumed from a stable partial file with Range and If-Range.
#include "sync/Downloader.hpp"

#include "net/Curl.hpp"
#include "platform/DiskSpace.hpp"
#include "platform/InputFile.hpp"
#include "platform/PartFile.hpp"
#include "sync/FileDigest.hpp"
#include "sync/PipelinedWriter.hpp"
#include "sync/ResumeRecord.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

namespace {

// Large receive blocks keep a fast local transfer from being bound by callback and write() counts.
constexpr long receiveBufferSize = 512 * 1024;
// The launcher only fetches over the web: a server-listed "file://" address must not copy local files around.
constexpr const char* allowedProtocols = "http,https";
// Where an https address may be sent on: never to plain http, where anyone on the way could change the file.
constexpr const char* secureProtocols = "https";
constexpr long firstSuccessStatus = 200;
constexpr long partialContentStatus = 206;
constexpr long firstNonSuccessStatus = 300;
constexpr long firstErrorStatus = 400;
constexpr long rangeNotSatisfiableStatus = 416;

// While no byte arrives libcurl calls its progress function only about once a second; waking this often to look
// at the stop flag ends a transfer from a silent server promptly too.
constexpr int stopCheckIntervalMs = 100;

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// Keeps the transfer in the multi handle for one pass; taking it out again leaves its connection in the multi
// handle's cache for the next file.
class Attached {
public:
    Attached(CURLM* multi, CURL* easy) : m_multi(multi), m_easy(easy) {
        m_added = curl_multi_add_handle(m_multi, m_easy) == CURLM_OK;
    }
    ~Attached() {
        if (m_added)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;

    [[nodiscard]] bool ready() const noexcept { return m_added; }

private:
    CURLM* m_multi;
    CURL* m_easy;
    bool m_added = false;
};

// Runs the transfer to its end, or until `stop` is set.
CURLcode perform(CURLM* multi, CURL* easy, const StopFlag& stop) {
    const Attached transfer(multi, easy);
    if (!transfer.ready()) {
        return CURLE_OUT_OF_MEMORY;
    }
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            return CURLE_RECV_ERROR;
        }
        if (running == 0) {
            break;
        }
        if (stop.load()) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
        if (curl_multi_poll(multi, nullptr, 0, stopCheckIntervalMs, nullptr) != CURLM_OK) {
            return CURLE_RECV_ERROR;
        }
    }
    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            return message->data.result;
        }
    }
    return CURLE_RECV_ERROR;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// "bytes 100-199/1000" or "bytes */1000": the first byte (or none) and the whole size (0 when "*").
struct ContentRange {
    std::optional<std::uint64_t> first;
    std::uint64_t total = 0;
};

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<ContentRange> parseContentRange(std::string_view value) {
    constexpr std::string_view unit = "bytes ";
    if (!value.starts_with(unit))
        return std::nullopt;
    value.remove_prefix(unit.size());
    const std::size_t slash = value.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    ContentRange range;
    const std::string_view span = value.substr(0, slash);
    const std::string_view size = value.substr(slash + 1);
    if (size != "*") {
        const auto total = number(size);
        if (!total)
            return std::nullopt;
        range.total = *total;
    }
    if (span != "*") {
        const auto first = number(span.substr(0, span.find('-')));
        if (!first)
            return std::nullopt;
        range.first = first;
    }
    return range;
}

// A response body we do not keep (an error page) is read and dropped, so the connection can serve the next file;
// beyond this much it is cheaper to let the connection go.
constexpr std::uint64_t maxDroppedBody = 64 * 1024;
constexpr std::size_t partialReadBlock = 1024 * 1024;
// From this size on the MD5 runs on a thread of its own beside the transfer; below it a thread costs more than it
// saves, and a list of small files stays on one thread.
constexpr std::uint64_t pipelineFrom = 8 * 1024 * 1024;
// Below this size a file is fetched whole again after an interruption: a list of small files would otherwise write,
// rename and remove a record for each one.
constexpr std::uint64_t resumableFrom = 128 * 1024;
// No game file comes near this; a length beyond it is a server's lie, not a reason to ask the player for room.
constexpr std::uint64_t maxFileSize = std::uint64_t{1} << 40;

bool isHttps(std::string_view url) {
    constexpr std::string_view scheme = "https://";
    return url.size() >= scheme.size() && sameName(url.substr(0, scheme.size()), scheme);
}

// Everything one pass of a transfer decides and counts, shared with libcurl's callbacks.
struct Transfer {
    const DownloadRequest* request = nullptr;
    platform::PartFile* file = nullptr;
    std::optional<FileDigest>* digest = nullptr;
    const StopFlag* stop = nullptr;
    const ProgressHook* progress = nullptr;
    CURL* easy = nullptr;
    std::uint64_t offset = 0;   // the first byte asked for
    std::string knownValidator; // what the server called the file when the partial part was fetched

    // Headers of the response being read; a new status line (a redirect, an interim answer) starts them over.
    std::string etag;
    std::string lastModified;
    std::string contentRange;

    bool decided = false;   // what to do with the body is settled
    bool dropBody = false;  // a failure status: the body is read, not kept
    bool startOver = false; // the answer cannot be appended: go again from the first byte
    bool writeFailed = false;
    bool diskFull = false;
    std::string notTheFile; // why the body cannot be the file: longer than it may be
    bool unbounded = false; // neither the list nor the server gave a length: what came is not kept to go on from
    std::uint64_t bytesShort = 0;
    std::uint64_t limit = 0; // the most bytes the file may have; 0: nothing says
    std::uint64_t total = 0;
    std::uint64_t received = 0;
    std::uint64_t dropped = 0;
    std::uint64_t done = 0; // the file's bytes so far, a resumed part included
    std::optional<PipelinedWriter> writer;

    // A weak ETag does not promise the same bytes, so it cannot guard a resumed range.
    [[nodiscard]] std::string validator() const {
        if (!etag.empty() && !etag.starts_with("W/"))
            return etag;
        return lastModified;
    }

    void report() const {
        if (*progress)
            (*progress)(TransferProgress{done, total});
    }

    // Settles, at the first byte of the body (or its end when it is empty), where the body goes. False ends the
    // transfer: the answer does not fit the partial file, or the disk cannot take it.
    bool decide() {
        decided = true;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status < firstSuccessStatus || status >= firstNonSuccessStatus) {
            dropBody = true;
            return true;
        }
        const std::string current = validator();
        if (status == partialContentStatus) {
            const std::optional<ContentRange> range = parseContentRange(contentRange);
            if (!range || range->first != offset || (!knownValidator.empty() && current != knownValidator)) {
                startOver = true;
                return false;
            }
            total = range->total;
        } else {
            // The whole file: whatever was kept before is not a part of it.
            if (file->size() > 0 && !file->restart()) {
                writeFailed = true;
                return false;
            }
            digest->emplace(!request->sha256.empty());
            offset = 0;
            curl_off_t length = -1;
            curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            total = length > 0 ? static_cast<std::uint64_t>(length) : 0;
        }
        // The list's size caps the file where it gives one, the server's length otherwise.
        limit = request->size ? *request->size : total;
        const std::uint64_t expected = total > 0 ? total : limit;
        if (total > limit) {
            notTheFile =
                "the server announced " + std::to_string(total) + " bytes, the list says " + std::to_string(limit);
            return false;
        }
        if (expected > maxFileSize) {
            notTheFile = "the server announced " + std::to_string(expected) + " bytes, more than any game file";
            return false;
        }
        // The old file stays until the rename, so its room cannot be counted on; only the part in hand can.
        if (expected > offset) {
            const std::uint64_t needed = expected - offset;
            const std::optional<std::uint64_t> available = platform::AvailableBytes(file->path());
            if (available && *available < needed) {
                diskFull = true;
                bytesShort = needed - *available;
                return false;
            }
        }
        // Written before the first byte, so a partial file never holds bytes its record does not describe. A small
        // file gets none: fetching it again costs less than keeping its record, and a part without a record is
        // never resumed. Nor does a body of unknown length (0): nothing would stop its part growing run after run.
        unbounded = limit == 0;
        if (request->resumable && expected < resumableFrom) {
            ResumeRecord::remove(request->target);
        } else if (request->resumable) {
            const ResumeRecord record{request->address.empty() ? request->url : request->address, request->checksum,
                                      current};
            if (current != knownValidator || !ResumeRecord::load(request->target))
                (void)record.save(request->target);
        }
        done = offset;
        if (expected >= pipelineFrom) {
            // This runs inside libcurl, which no exception may cross. Without a thread to spare, the bytes are
            // written and hashed here, as a small file's are.
            try {
                writer.emplace(*file, **digest);
            } catch (const std::system_error&) {
                writer.reset();
            }
        }
        report();
        return true;
    }

    // False, with the reason, when `size` more bytes would make the file longer than it may be.
    bool fits(std::size_t size) {
        if (limit == 0 || size <= limit - std::min(done, limit))
            return true;
        notTheFile = "the server sent more than the file's " + std::to_string(limit) + " bytes";
        return false;
    }

    // Writes and hashes one received block; false when the file refused it.
    bool write(const char* data, std::size_t size) {
        if (writer)
            return writer->append(data, size);
        // MD5 of the bytes as they pass: the finished file is never read back to be checked.
        return file->append(data, size) && (*digest)->update(data, size);
    }

    // Lets the writing thread finish what it holds; false when some of it could not be written.
    bool drain() { return !writer || writer->finish(); }
};

size_t receiveHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        transfer->etag.clear();
        transfer->lastModified.clear();
        transfer->contentRange.clear();
        return bytes;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return bytes;
    const std::string_view name = trimmed(line.substr(0, colon));
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (sameName(name, "ETag"))
        transfer->etag = value;
    else if (sameName(name, "Last-Modified"))
        transfer->lastModified = value;
    else if (sameName(name, "Content-Range"))
        transfer->contentRange = value;
    return bytes;
}

size_t receiveBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (!transfer->decided && !transfer->decide())
        return 0; // libcurl ends the transfer with CURLE_WRITE_ERROR
    if (transfer->dropBody) {
        transfer->dropped += bytes;
        return transfer->dropped <= maxDroppedBody ? bytes : 0;
    }
    if (!transfer->fits(bytes))
        return 0;
    if (!transfer->write(data, bytes)) {
        transfer->writeFailed = true;
        return 0;
    }
    transfer->received += bytes;
    transfer->done += bytes;
    transfer->report();
    return bytes;
}

// Ends a transfer from inside libcurl as soon as the flag is set while data is flowing.
int checkStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* transfer = static_cast<const Transfer*>(user);
    return transfer->stop->load() ? 1 : 0;
}

// Feeds the bytes already in a partial file to `digest`, once, before the transfer appends to them.
bool hashExisting(const platform::PartFile& file, FileDigest& digest) {
    int error = 0;
    std::optional<platform::InputFile> input = platform::InputFile::open(file.path(), error);
    if (!input)
        return false;
    const auto buffer = std::make_unique_for_overwrite<char[]>(partialReadBlock);
    std::uint64_t seen = 0;
    for (;;) {
        const long long got = input->read(buffer.get(), partialReadBlock);
        if (got < 0)
            return false;
        if (got == 0)
            return seen == file.size();
        if (!digest.update(buffer.get(), static_cast<std::size_t>(got)))
            return false;
        seen += static_cast<std::uint64_t>(got);
    }
}

DownloadResult failure(DownloadError error, std::string detail, long httpStatus = 0) {
    DownloadResult result;
    result.error = error;
    result.httpStatus = httpStatus;
    result.detail = std::move(detail);
    return result;
}

} // namespace

struct Downloader::Connection {
    curl::EasyHandle easy{curl_easy_init()};
    MultiHandle multi{curl_multi_init()};
};

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

Downloader::Downloader(const StopFlag& stop, DownloadOptions options) : m_stop(stop), m_options(options) {}

Downloader::~Downloader() = default;

void Downloader::setProgressHook(ProgressHook hook) {
    m_progress = std::move(hook);
}

DownloadResult Downloader::fetch(const DownloadRequest& request) {
    if (m_stop.load()) {
        return failure(DownloadError::Stopped, {});
    }
    if (auto error = curl::initialiseOnce()) {
        return failure(DownloadError::Transfer, std::move(*error));
    }
    if (!m_connection) {
        m_connection = std::make_unique<Connection>();
    }
    if (!m_connection->easy || !m_connection->multi) {
        m_connection.reset();
        return failure(DownloadError::Transfer, "libcurl could not create a transfer");
    }
    std::string openError;
    std::optional<platform::PartFile> file = request.resumable ? platform::PartFile::resume(request.target, openError)
                                                               : platform::PartFile::create(request.target, openError);
    if (!file) {
        return failure(DownloadError::LocalFile, std::move(openError));
    }

    // A partial file is only worth going on from when it was begun for this same address and checksum, and its
    // bytes can be read back into the digest.
    std::optional<FileDigest> digest;
    digest.emplace(!request.sha256.empty());
    std::string knownValidator;
    if (file->size() > 0) {
        const std::optional<ResumeRecord> record = ResumeRecord::load(request.target);
        const std::string& address = request.address.empty() ? request.url : request.address;
        const bool same = record && record->address == address && record->checksum == request.checksum &&
                          (!request.size || file->size() <= *request.size);
        if (same && hashExisting(*file, *digest)) {
            knownValidator = record->validator;
        } else if (!file->restart()) {
            return failure(DownloadError::LocalFile, file->error());
        } else {
            digest.emplace(!request.sha256.empty());
        }
    }
    const std::uint64_t resumedFrom = file->size();

    // Leaves nothing behind that holds no bytes: an empty partial file and its record are clutter, not progress.
    // Nor a part that is not worth going on from (`keepPart` false).
    const auto giveUp = [&](DownloadResult result, bool keepPart = true) {
        result.resumedFrom = resumedFrom;
        if (request.resumable && (!keepPart || file->size() == 0)) {
            file->discard();
            ResumeRecord::remove(request.target);
        }
        return result;
    };

    CURL* handle = m_connection->easy.get();
    std::uint64_t received = 0;
    // A second pass only when the server's answer could not be appended: then from the first byte.
    for (int pass = 0;; ++pass) {
        Transfer transfer;
        transfer.request = &request;
        transfer.file = &*file;
        transfer.digest = &digest;
        transfer.stop = &m_stop;
        transfer.progress = &m_progress;
        transfer.easy = handle;
        transfer.offset = file->size();
        transfer.knownValidator = knownValidator;

        curl::HeaderList headers;
        char curlError[CURL_ERROR_SIZE] = {};
        // Earlier files' options (a range, an If-Range) must not carry over; the connections do.
        curl_easy_reset(handle);
        curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, allowedProtocols);
        curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR,
                         isHttps(request.url) ? secureProtocols : allowedProtocols);
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle, CURLOPT_MAXREDIRS, m_options.maxRedirects);
        // Signals cannot be used for time-outs with two transfers on two threads.
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        // Otherwise a transfer given up during a slow name lookup waits for the resolver thread to finish, and closing
        // the launcher waits with it; the lookup is left to end on its own.
        curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_options.connectTimeout.count()));
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, m_options.lowSpeedLimit);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_options.lowSpeedTime.count()));
        curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, receiveBufferSize);
        curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, receiveHeader);
        curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receiveBody);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkStop);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
        curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);
        curl::setUserAgent(handle);
        if (!m_options.caFile.empty())
            curl_easy_setopt(handle, CURLOPT_CAINFO, m_options.caFile.c_str());
        if (transfer.offset > 0) {
            const std::string range = std::to_string(transfer.offset) + "-";
            curl_easy_setopt(handle, CURLOPT_RANGE, range.c_str());
            // If-Range: a server whose file changed since answers with the whole new file instead of a tail of it.
            if (!knownValidator.empty()) {
                headers.reset(curl_slist_append(nullptr, ("If-Range: " + knownValidator).c_str()));
                curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
            }
        }

        const CURLcode code = perform(m_connection->multi.get(), handle, m_stop);
        // Whatever came in is written before anything looks at the file, a stopped transfer's bytes included.
        if (!transfer.drain())
            transfer.writeFailed = true;
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        received += transfer.received;
        const auto withCounts = [&](DownloadResult result) {
            result.received = received;
            return giveUp(std::move(result), !transfer.unbounded && transfer.notTheFile.empty());
        };

        if (code == CURLE_ABORTED_BY_CALLBACK || m_stop.load()) {
            return withCounts(failure(DownloadError::Stopped, {}, status));
        }
        if (!transfer.notTheFile.empty()) {
            return withCounts(failure(DownloadError::Transfer, transfer.notTheFile, status));
        }
        if (transfer.diskFull) {
            DownloadResult result =
                failure(DownloadError::DiskFull,
                        std::to_string(transfer.bytesShort) + " more bytes needed beside " + request.target, status);
            result.bytesShort = transfer.bytesShort;
            return withCounts(std::move(result));
        }
        if (transfer.writeFailed) {
            DownloadResult result =
                failure(file->outOfSpace() ? DownloadError::DiskFull : DownloadError::LocalFile, file->error(), status);
            if (file->outOfSpace() && transfer.total > file->size())
                result.bytesShort = transfer.total - file->size();
            return withCounts(std::move(result));
        }
        // 416 to a range that starts at the end: the partial file already holds the whole file.
        if (status == rangeNotSatisfiableStatus && transfer.offset > 0) {
            const std::optional<ContentRange> range = parseContentRange(transfer.contentRange);
            transfer.startOver = !range || range->total != transfer.offset;
        }
        if (transfer.startOver) {
            if (pass > 0 || !file->restart()) {
                return withCounts(failure(DownloadError::Transfer, "the server's answer does not fit the file"));
            }
            digest.emplace(!request.sha256.empty());
            knownValidator.clear();
            continue;
        }
        const bool alreadyComplete = status == rangeNotSatisfiableStatus && transfer.offset > 0;
        if (!alreadyComplete) {
            if (status >= firstErrorStatus) {
                return withCounts(failure(DownloadError::HttpStatus, curlError, status));
            }
            if (code != CURLE_OK) {
                return withCounts(failure(DownloadError::Transfer,
                                          *curlError != '\0' ? curlError : curl_easy_strerror(code), status));
            }
            // A final answer that is not a success (a redirect without a target, "304 Not Modified") carries no file.
            if (status < firstSuccessStatus || status >= firstNonSuccessStatus) {
                return withCounts(failure(DownloadError::HttpStatus, "not a file", status));
            }
            // An empty body never reached the write function.
            if (!transfer.decided && !transfer.decide()) {
                return withCounts(failure(DownloadError::Transfer, "the server's answer does not fit the file"));
            }
        } else if (m_progress) {
            m_progress(TransferProgress{file->size(), file->size()});
        }
        DownloadResult done;
        done.httpStatus = status;
        FileDigests digests = digest->finish();
        done.md5 = std::move(digests.md5);
        done.sha256 = std::move(digests.sha256);
        done.resumedFrom = resumedFrom;
        done.received = received;
        // Wrong bytes never take the file's name, where they might be run or loaded; nor are they gone on from. An
        // empty checksum accepts whatever came, as it accepts any file already in place.
        if (!request.checksum.empty() && done.md5 != request.checksum) {
            done.error = DownloadError::ChecksumMismatch;
            done.detail = "MD5 " + done.md5 + ", the list says " + request.checksum;
            return giveUp(std::move(done), false);
        }
        // The same for a SHA-256 the list gives: bytes with the listed MD5 may still be another file made to have it.
        if (!request.sha256.empty() && done.sha256 != request.sha256) {
            done.error = DownloadError::ChecksumMismatch;
            done.detail = "SHA-256 " + done.sha256 + ", the list says " + request.sha256;
            return giveUp(std::move(done), false);
        }
        if (!file->commit()) {
            return giveUp(failure(DownloadError::LocalFile, file->error(), status));
        }
        if (request.resumable)
            ResumeRecord::remove(request.target);
        return done;
    }
}

DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop) {
    return DownloadToFile(url, target, stop, DownloadOptions{});
}

DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop,
                              const DownloadOptions& options) {
    Downloader downloader(stop, options);
    return downloader.fetch(DownloadRequest{url, target, false, {}, {}});
}
