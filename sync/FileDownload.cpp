// One file's download: what each answer of the server means for the partial file, written for one stream and for
// pieces alike, so that every rule (the cap at the listed size, the room on the disk, the resume record, the checksum
// before the rename) holds whichever way the bytes come.
#include "sync/FileDownload.hpp"

#include "net/Curl.hpp"
#include "platform/DiskSpace.hpp"
#include "platform/InputFile.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <system_error>

namespace {

// Large receive blocks keep a fast local transfer from being bound by callback and write() counts; a small file
// gets a small block, since each transfer holds one and an HTTP/2 connection carries dozens of transfers.
constexpr long receiveBufferSize = 512 * 1024;
constexpr long smallReceiveBufferSize = 64 * 1024;
// The launcher only fetches over the web: a server-listed "file://" address must not copy local files around.
constexpr const char* allowedProtocols = "http,https";
// Where an https address may be sent on: never to plain http, where anyone on the way could change the file.
constexpr const char* secureProtocols = "https";
constexpr long firstSuccessStatus = 200;
constexpr long partialContentStatus = 206;
constexpr long firstNonSuccessStatus = 300;
constexpr long firstErrorStatus = 400;
constexpr long rangeNotSatisfiableStatus = 416;

// A response body we do not keep (an error page) is read and dropped, so the connection can serve the next file;
// beyond this much it is cheaper to let the connection go.
constexpr std::uint64_t maxDroppedBody = 64 * 1024;
constexpr std::size_t partialReadBlock = 1024 * 1024;
// From this size on the MD5 of one stream runs on a thread of its own beside the transfer; below it a thread costs
// more than it saves, and a list of small files stays on one thread.
constexpr std::uint64_t pipelineFrom = 8 * 1024 * 1024;
// Below this size a file is fetched whole again after an interruption: a list of small files would otherwise write,
// rename and remove a record for each one.
constexpr std::uint64_t resumableFrom = 128 * 1024;
// No game file comes near this; a length beyond it is a server's lie, not a reason to ask the player for room.
constexpr std::uint64_t maxFileSize = std::uint64_t{1} << 40;

// From this size a file from a server that serves byte ranges comes in pieces side by side: over a long, lossy line
// one connection carries a small share of what the line can (and under cubic far less than that).
constexpr std::uint64_t piecesFrom = 4 * 1024 * 1024;
// A piece is worth its own request (a round trip) only from this size; a larger file gets about four pieces per
// connection, so that a connection that finishes early takes another, and none beyond this size.
constexpr std::uint64_t minPiece = 1024 * 1024;
constexpr std::uint64_t maxPiece = 64 * 1024 * 1024;
constexpr std::uint64_t piecesPerConnection = 4;
// At the end of a file a free connection takes half of the piece with the most still to come, down to pieces of
// this size: over a lossy line the last connection still going can be far slower than a fresh one.
constexpr std::uint64_t minSplit = 256 * 1024;
// How often a file in pieces writes down how far each piece has come: a kill loses what came since, at most this
// long or this many bytes (on a fast line the bytes come first).
constexpr std::chrono::seconds recordSaveInterval{1};
constexpr std::uint64_t recordSaveBytes = 4 * 1024 * 1024;

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

bool isHttps(std::string_view url) {
    constexpr std::string_view scheme = "https://";
    return url.size() >= scheme.size() && sameName(url.substr(0, scheme.size()), scheme);
}

bool isSuccess(long status) {
    return status >= firstSuccessStatus && status < firstNonSuccessStatus;
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

// Ends a transfer from inside libcurl as soon as the flag is set while data is flowing.
int checkStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const StopFlag*>(user)->load() ? 1 : 0;
}

} // namespace

// One libcurl transfer: the whole file (from where the part in hand ends), or one piece of it.
struct FileDownload::Transfer {
    FileDownload* owner = nullptr;
    curl::EasyHandle easy{curl_easy_init()};
    curl::HeaderList headers;
    char error[CURL_ERROR_SIZE] = {};
    std::optional<std::size_t> piece; // the piece it fetches, when the file comes in pieces
    std::uint64_t first = 0;          // the first byte asked for
    std::uint64_t end = 0;            // one past the last byte asked for; 0: to the end of the file
    bool ownConnection = false;       // a piece on a connection of its own, not an HTTP/2 stream

    // Headers of the response being read; a new status line (a redirect, an interim answer) starts them over.
    std::string etag;
    std::string lastModified;
    std::string contentRange;
    bool acceptsRanges = false;

    bool decided = false;  // what to do with the body is settled
    bool dropBody = false; // a failure status: the body is read, not kept
    bool cut = false;      // its piece is complete and the rest of the answer belongs to another
    std::uint64_t dropped = 0;
    std::uint64_t received = 0;
    bool added = false;

    ~Transfer() {
        if (added)
            curl_multi_remove_handle(owner->m_multi, easy.get());
    }

    // A weak ETag does not promise the same bytes, so it cannot guard a resumed range.
    [[nodiscard]] std::string validator() const {
        if (!etag.empty() && !etag.starts_with("W/"))
            return etag;
        return lastModified;
    }
};

std::size_t FileDownload::onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        transfer->etag.clear();
        transfer->lastModified.clear();
        transfer->contentRange.clear();
        transfer->acceptsRanges = false;
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
    else if (sameName(name, "Accept-Ranges"))
        transfer->acceptsRanges = sameName(value, "bytes");
    return bytes;
}

std::size_t FileDownload::onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    return transfer->owner->receive(*transfer, data, size * count);
}

FileDownload::FileDownload(DownloadRequest request, ProgressHook hook, const DownloadOptions& options,
                           const StopFlag& stop, CURLM* multi, bool piecesAllowed)
    : m_request(std::move(request)), m_address(m_request.address.empty() ? m_request.url : m_request.address),
      m_hook(std::move(hook)), m_options(options), m_stop(stop), m_multi(multi),
      m_piecesAllowed(piecesAllowed && m_request.resumable) {}

FileDownload::~FileDownload() {
    // Given up like a stop: the transfers leave the multi handle before the file and the hash they write to go, and
    // a part in pieces records how far each piece came.
    stop();
}

std::size_t FileDownload::ownConnections() const noexcept {
    return static_cast<std::size_t>(std::count_if(m_transfers.begin(), m_transfers.end(),
                                                  [](const auto& transfer) { return transfer->ownConnection; }));
}

void FileDownload::begin() {
    if (m_stop.load()) {
        m_result = DownloadResult::failure(DownloadError::Stopped, {});
        return;
    }
    std::string openError;
    std::optional<platform::PartFile> opened = m_request.resumable
                                                   ? platform::PartFile::resume(m_request.target, openError)
                                                   : platform::PartFile::create(m_request.target, openError);
    if (!opened) {
        m_result = DownloadResult::failure(DownloadError::LocalFile, std::move(openError));
        return;
    }
    m_file.emplace(std::move(*opened));

    // A partial file is only worth going on from when it was begun for this same address and checksum, and its
    // bytes can be read back into the digest.
    m_digest.emplace(wantsSha256());
    if (m_request.resumable) {
        const std::optional<ResumeRecord> record = ResumeRecord::load(m_request.target);
        const bool same = record && record->address == m_address && record->checksum == m_request.checksum;
        const bool pieces = same && !record->pieces.empty() && m_piecesAllowed &&
                            record->pieces.back().end <= maxFileSize &&
                            (!m_request.size || *m_request.size == record->pieces.back().end);
        const bool stream = same && record->pieces.empty() && (!m_request.size || m_file->size() <= *m_request.size);
        if (pieces) {
            m_inPieces = true;
            m_validator = record->validator;
            m_total = m_limit = record->pieces.back().end;
            for (const ResumePiece& span : record->pieces)
                m_pieces.push_back(Piece{span, nullptr});
            m_follower.emplace(m_file->path(), wantsSha256());
            advanceFrontier();
            m_done = m_resumedFrom = piecesWritten();
            // One piece now; the Downloader hands the file more connections as it has them. A run cut off between
            // the last byte and the rename left nothing to fetch.
            const std::optional<std::size_t> idle = idlePiece();
            if (!idle)
                finishPieces(0);
            else if (!startPiece(*idle))
                giveUp(DownloadResult::failure(DownloadError::Transfer, "libcurl could not start a transfer"));
            return;
        }
        if (stream && m_file->size() > 0) {
            // A large part is read back only if the file stays one stream; in pieces the MD5 follows on its own.
            m_hashPartLater = m_file->size() >= piecesFrom;
            if (m_hashPartLater || hashExisting(*m_file, *m_digest)) {
                m_knownValidator = record->validator;
            } else if (!m_file->restart()) {
                giveUp(DownloadResult::failure(DownloadError::LocalFile, m_file->error()));
                return;
            } else {
                m_digest.emplace(wantsSha256());
            }
        } else if (m_file->size() > 0 && !m_file->restart()) {
            giveUp(DownloadResult::failure(DownloadError::LocalFile, m_file->error()));
            return;
        }
    }
    m_resumedFrom = m_file->size();
    startSingle();
}

FileDownload::Transfer* FileDownload::startTransfer(std::uint64_t first, std::uint64_t end, bool ownConnection) {
    auto transfer = std::make_unique<Transfer>();
    transfer->owner = this;
    transfer->first = first;
    transfer->end = end;
    transfer->ownConnection = ownConnection;
    CURL* handle = transfer->easy.get();
    if (!handle)
        return nullptr;
    curl_easy_setopt(handle, CURLOPT_URL, m_request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, allowedProtocols);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, isHttps(m_request.url) ? secureProtocols : allowedProtocols);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, m_options.maxRedirects);
    // Signals cannot be used for time-outs with transfers on two threads.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // Otherwise a transfer given up during a slow name lookup waits for the resolver thread to finish, and closing
    // the launcher waits with it; the lookup is left to end on its own.
    curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_options.connectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, m_options.lowSpeedLimit);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_options.lowSpeedTime.count()));
    const bool small = m_request.size && *m_request.size <= static_cast<std::uint64_t>(smallReceiveBufferSize);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, small ? smallReceiveBufferSize : receiveBufferSize);
    // A piece of a large file wants a connection of its own: several streams of one HTTP/2 connection share one
    // TCP window, which is what the pieces are there to multiply. Any other https transfer waits for the
    // handshake of a connection that may carry several (its ALPN says so) rather than opening one more; over plain
    // http that is known only at the first answer, which a slow file would make every other one wait for.
    if (ownConnection)
        curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    else if (isHttps(m_request.url))
        curl_easy_setopt(handle, CURLOPT_PIPEWAIT, 1L);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkStop);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &m_stop);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, transfer->error);
    curl::setUserAgent(handle);
    if (!m_options.caFile.empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, m_options.caFile.c_str());
    if (first > 0 || end > 0) {
        const std::string range = std::to_string(first) + "-" + (end > 0 ? std::to_string(end - 1) : std::string());
        curl_easy_setopt(handle, CURLOPT_RANGE, range.c_str());
        // If-Range: a server whose file changed since answers with the whole new file instead of a part of it.
        const std::string& validator = m_inPieces ? m_validator : m_knownValidator;
        if (!validator.empty()) {
            transfer->headers.reset(curl_slist_append(nullptr, ("If-Range: " + validator).c_str()));
            curl_easy_setopt(handle, CURLOPT_HTTPHEADER, transfer->headers.get());
        }
    }
    if (curl_multi_add_handle(m_multi, handle) != CURLM_OK)
        return nullptr;
    transfer->added = true;
    m_transfers.push_back(std::move(transfer));
    return m_transfers.back().get();
}

void FileDownload::startSingle() {
    m_offset = m_file->size();
    if (!startTransfer(m_offset, 0, false))
        giveUp(DownloadResult::failure(DownloadError::Transfer, "libcurl could not start a transfer"));
}

bool FileDownload::startPiece(std::size_t index) {
    Piece& piece = m_pieces[index];
    Transfer* transfer = startTransfer(piece.span.start + piece.span.written, piece.span.end, true);
    if (!transfer)
        return false;
    transfer->piece = index;
    piece.transfer = transfer;
    return true;
}

std::optional<std::size_t> FileDownload::idlePiece() const {
    // A piece right after one whose transfer asked for more than its own is left to that transfer, which goes on
    // into it without a new request.
    std::optional<std::size_t> fallback;
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        const Piece& piece = m_pieces[i];
        if (piece.transfer || piece.span.written == piece.span.end - piece.span.start)
            continue;
        const Transfer* before = i > 0 ? m_pieces[i - 1].transfer : nullptr;
        const bool followed = before && (before->end == 0 || before->end > piece.span.start) && piece.span.written == 0;
        if (!followed)
            return i;
        if (!fallback)
            fallback = i;
    }
    return fallback;
}

bool FileDownload::widen() {
    if (finished() || !m_inPieces)
        return false;
    if (const std::optional<std::size_t> idle = idlePiece())
        return startPiece(*idle);
    // Nothing left unclaimed: the piece with the most to come gives its second half to a new transfer, so that the
    // file does not wait at its end for one slow connection.
    std::optional<std::size_t> largest;
    std::uint64_t most = 0;
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        const Piece& piece = m_pieces[i];
        const std::uint64_t left = piece.span.end - piece.span.start - piece.span.written;
        if (piece.transfer && piece.transfer->decided && left > most) {
            most = left;
            largest = i;
        }
    }
    if (!largest || most < 2 * minSplit)
        return false;
    ResumePiece& shrunk = m_pieces[*largest].span;
    const std::uint64_t middle = shrunk.end - most / 2;
    const ResumePiece second{middle, shrunk.end, 0};
    shrunk.end = middle;
    const std::size_t index = *largest + 1;
    m_pieces.insert(m_pieces.begin() + static_cast<std::ptrdiff_t>(index), Piece{second, nullptr});
    for (const auto& transfer : m_transfers) {
        if (transfer->piece && *transfer->piece >= index)
            ++*transfer->piece;
    }
    return startPiece(index);
}

void FileDownload::report() const {
    if (m_hook)
        m_hook(TransferProgress{m_done, m_total});
}

// Settles, at the first byte of the body (or its end when it is empty), where the body goes. False ends the
// transfer: the answer does not fit the partial file, or the disk cannot take it.
bool FileDownload::decide(Transfer& transfer) {
    transfer.decided = true;
    long status = 0;
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (!isSuccess(status)) {
        transfer.dropBody = true;
        return true;
    }
    const std::string current = transfer.validator();
    if (transfer.piece)
        return decidePiece(transfer, status, current);
    if (status == partialContentStatus) {
        const std::optional<ContentRange> range = parseContentRange(transfer.contentRange);
        if (!range || range->first != m_offset || (!m_knownValidator.empty() && current != m_knownValidator)) {
            m_startOver = true;
            return false;
        }
        m_total = range->total;
    } else {
        // The whole file: whatever was kept before is not a part of it.
        if (m_file->size() > 0 && !m_file->restart()) {
            m_writeFailed = true;
            return false;
        }
        m_digest.emplace(wantsSha256());
        m_hashPartLater = false;
        m_offset = 0;
        curl_off_t length = -1;
        curl_easy_getinfo(transfer.easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        m_total = length > 0 ? static_cast<std::uint64_t>(length) : 0;
    }
    // The list's size caps the file where it gives one, the server's length otherwise.
    m_limit = m_request.size ? *m_request.size : m_total;
    const std::uint64_t expected = m_total > 0 ? m_total : m_limit;
    if (m_total > m_limit) {
        m_notTheFile =
            "the server announced " + std::to_string(m_total) + " bytes, the list says " + std::to_string(m_limit);
        return false;
    }
    if (expected > maxFileSize) {
        m_notTheFile = "the server announced " + std::to_string(expected) + " bytes, more than any game file";
        return false;
    }
    // The old file stays until the rename, so its room cannot be counted on; only the part in hand can.
    if (expected > m_offset) {
        const std::uint64_t needed = expected - m_offset;
        const std::optional<std::uint64_t> available = platform::AvailableBytes(m_file->path());
        if (available && *available < needed) {
            m_diskFull = true;
            m_bytesShort = needed - *available;
            return false;
        }
    }
    m_done = m_offset;
    m_total = expected;
    m_unbounded = m_limit == 0;
    // A large file from a server that serves ranges (it says so, or it just answered one) goes on in pieces, so
    // that the Downloader can give it more connections.
    const bool splittable = transfer.acceptsRanges || status == partialContentStatus;
    m_roomChecked = true;
    if (m_piecesAllowed && !m_unbounded && expected >= piecesFrom && splittable) {
        m_validator = current;
        enterPieces(transfer);
        report();
        return true;
    }
    // One stream after all: the part in hand goes into the digest before the bytes that follow it.
    if (m_hashPartLater) {
        m_hashPartLater = false;
        if (!hashExisting(*m_file, *m_digest)) {
            m_writeFailed = true;
            return false;
        }
    }
    // Written before the first byte, so a partial file never holds bytes its record does not describe. A small
    // file gets none: fetching it again costs less than keeping its record, and a part without a record is never
    // resumed. Nor does a body of unknown length: nothing would stop its part growing run after run.
    if (m_request.resumable && expected < resumableFrom) {
        ResumeRecord::remove(m_request.target);
    } else if (m_request.resumable) {
        const ResumeRecord record{m_address, m_request.checksum, current, {}};
        if (current != m_knownValidator || !ResumeRecord::load(m_request.target))
            (void)record.save(m_request.target);
    }
    if (expected >= pipelineFrom) {
        // This runs inside libcurl, which no exception may cross. Without a thread to spare, the bytes are written
        // and hashed here, as a small file's are.
        try {
            m_writer.emplace(*m_file, *m_digest);
        } catch (const std::system_error&) {
            m_writer.reset();
        }
    }
    report();
    return true;
}

bool FileDownload::decidePiece(Transfer& transfer, long status, const std::string& validator) {
    const bool sameFile = m_validator.empty() || validator == m_validator;
    if (status != partialContentStatus) {
        // The whole file for a piece: the server does not serve ranges after all, or the file changed.
        m_rangesIgnored = sameFile;
        m_startOver = true;
        return false;
    }
    const std::optional<ContentRange> range = parseContentRange(transfer.contentRange);
    if (!range || range->first != transfer.first || range->total != m_total || !sameFile) {
        m_startOver = true;
        return false;
    }
    // A file resumed in pieces learns here, at its first answer, whether the disk still has room for the rest.
    if (!m_roomChecked) {
        m_roomChecked = true;
        const std::uint64_t needed = m_total - m_done;
        const std::optional<std::uint64_t> available = platform::AvailableBytes(m_file->path());
        if (available && *available < needed) {
            m_diskFull = true;
            m_bytesShort = needed - *available;
            return false;
        }
    }
    report();
    return true;
}

// The first transfer's answer says the file is large and the server serves ranges: the file is cut into pieces,
// the transfer keeps the first (and goes on into the next ones while nobody takes them), the rest wait for the
// connections the Downloader hands out.
void FileDownload::enterPieces(Transfer& transfer) {
    m_inPieces = true;
    m_writer.reset();
    m_digest.reset();
    const std::uint64_t connections = std::max<std::uint64_t>(1, m_options.connections);
    const std::uint64_t size = std::clamp(m_total / (connections * piecesPerConnection), minPiece, maxPiece);
    // The first piece holds what the part in hand has; the last takes a remainder too small to be a piece.
    std::uint64_t start = 0;
    std::uint64_t end = std::min(m_total, m_offset + size);
    while (start < m_total) {
        if (m_total - end < minPiece)
            end = m_total;
        m_pieces.push_back(Piece{ResumePiece{start, end, start == 0 ? m_offset : 0}, nullptr});
        start = end;
        end = std::min(m_total, start + size);
    }
    transfer.piece = 0;
    transfer.end = 0;
    m_pieces.front().transfer = &transfer;
    m_follower.emplace(m_file->path(), wantsSha256());
    advanceFrontier();
    saveRecord();
}

std::size_t FileDownload::receive(Transfer& transfer, const char* data, std::size_t size) {
    if (!transfer.decided && !decide(transfer))
        return 0; // libcurl ends the transfer with CURLE_WRITE_ERROR
    if (transfer.dropBody) {
        transfer.dropped += size;
        return transfer.dropped <= maxDroppedBody ? size : 0;
    }
    if (transfer.piece)
        return receivePiece(transfer, data, size);
    if (!fits(size))
        return 0;
    // Digests of the bytes as they pass: the finished file is never read back to be checked.
    const bool written =
        m_writer ? m_writer->append(data, size) : m_file->append(data, size) && m_digest->update(data, size);
    if (!written) {
        m_writeFailed = true;
        return 0;
    }
    transfer.received += size;
    m_done += size;
    report();
    return size;
}

std::size_t FileDownload::receivePiece(Transfer& transfer, const char* data, std::size_t size) {
    std::size_t taken = 0;
    while (taken < size) {
        Piece& piece = m_pieces[*transfer.piece];
        const std::uint64_t at = piece.span.start + piece.span.written;
        const std::uint64_t room = piece.span.end - at;
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(room, size - taken));
        if (take > 0 && !m_file->writeAt(at, data + taken, take)) {
            m_writeFailed = true;
            return 0;
        }
        piece.span.written += take;
        taken += take;
        transfer.received += take;
        m_done += take;
        if (taken == size)
            break;
        // The piece is complete and the answer goes on: into the next piece while nobody else has begun it,
        // otherwise the rest belongs to another transfer and this one ends here. Past the file's last byte it is
        // not the file.
        const std::size_t next = *transfer.piece + 1;
        if (next >= m_pieces.size()) {
            m_notTheFile = "the server sent more than the file's " + std::to_string(m_total) + " bytes";
            return 0;
        }
        const bool asked = transfer.end == 0 || transfer.end > piece.span.end;
        if (!asked || m_pieces[next].transfer || m_pieces[next].span.written > 0) {
            transfer.cut = true;
            break;
        }
        piece.transfer = nullptr;
        m_pieces[next].transfer = &transfer;
        transfer.piece = next;
    }
    advanceFrontier();
    report();
    if (m_done - m_doneAtRecord >= recordSaveBytes ||
        std::chrono::steady_clock::now() - m_recordSaved >= recordSaveInterval)
        saveRecord();
    return transfer.cut ? 0 : size;
}

// False, with the reason, when `size` more bytes would make the file longer than it may be.
bool FileDownload::fits(std::size_t size) {
    if (m_limit == 0 || size <= m_limit - std::min(m_done, m_limit))
        return true;
    m_notTheFile = "the server sent more than the file's " + std::to_string(m_limit) + " bytes";
    return false;
}

void FileDownload::advanceFrontier() {
    while (m_frontierPiece < m_pieces.size()) {
        const ResumePiece& span = m_pieces[m_frontierPiece].span;
        if (span.written < span.end - span.start) {
            m_follower->advance(span.start + span.written);
            return;
        }
        ++m_frontierPiece;
    }
    m_follower->advance(m_total);
}

std::uint64_t FileDownload::piecesWritten() const {
    std::uint64_t written = 0;
    for (const Piece& piece : m_pieces)
        written += piece.span.written;
    return written;
}

void FileDownload::saveRecord() {
    ResumeRecord record{m_address, m_request.checksum, m_validator, {}};
    for (const Piece& piece : m_pieces)
        record.pieces.push_back(piece.span);
    (void)record.save(m_request.target);
    m_recordSaved = std::chrono::steady_clock::now();
    m_doneAtRecord = m_done;
}

bool FileDownload::drainWriter() {
    // Whatever came in is written before anything looks at the file, a stopped transfer's bytes included.
    const bool written = !m_writer || m_writer->finish();
    m_writer.reset();
    return written;
}

void FileDownload::transferEnded(CURL* easy, CURLcode code) {
    const auto found = std::find_if(m_transfers.begin(), m_transfers.end(),
                                    [easy](const auto& transfer) { return transfer->easy.get() == easy; });
    if (found == m_transfers.end())
        return;
    // Out of the list, but alive (and in the multi handle) until this function is done with it.
    const std::unique_ptr<Transfer> transfer = std::move(*found);
    m_transfers.erase(found);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    long version = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &version);
    m_multiplexed = m_multiplexed || version == CURL_HTTP_VERSION_2_0;
    m_received += transfer->received;
    if (transfer->piece)
        pieceEnded(*transfer, code, status);
    else
        singleEnded(*transfer, code, status);
}

DownloadResult FileDownload::failureFromFlags(long status) {
    if (!m_notTheFile.empty())
        return DownloadResult::failure(DownloadError::Transfer, m_notTheFile, status);
    if (m_diskFull) {
        DownloadResult result = DownloadResult::failure(
            DownloadError::DiskFull, std::to_string(m_bytesShort) + " more bytes needed beside " + m_request.target,
            status);
        result.bytesShort = m_bytesShort;
        return result;
    }
    DownloadResult result = DownloadResult::failure(
        m_file->outOfSpace() ? DownloadError::DiskFull : DownloadError::LocalFile, m_file->error(), status);
    const std::uint64_t held = m_inPieces ? piecesWritten() : m_file->size();
    if (m_file->outOfSpace() && m_total > held)
        result.bytesShort = m_total - held;
    return result;
}

void FileDownload::singleEnded(Transfer& transfer, CURLcode code, long status) {
    if (!drainWriter())
        m_writeFailed = true;
    if (code == CURLE_ABORTED_BY_CALLBACK || m_stop.load()) {
        giveUp(DownloadResult::failure(DownloadError::Stopped, {}, status), !m_unbounded);
        return;
    }
    if (!m_notTheFile.empty() || m_diskFull || m_writeFailed) {
        giveUp(failureFromFlags(status), !m_unbounded && m_notTheFile.empty());
        return;
    }
    // 416 to a range that starts at the end: the partial file already holds the whole file.
    const bool alreadyComplete = status == rangeNotSatisfiableStatus && m_offset > 0 && [&] {
        const std::optional<ContentRange> range = parseContentRange(transfer.contentRange);
        return range && range->total == m_offset;
    }();
    if (status == rangeNotSatisfiableStatus && m_offset > 0 && !alreadyComplete)
        m_startOver = true;
    if (m_startOver) {
        startOver();
        return;
    }
    if (!alreadyComplete) {
        if (status >= firstErrorStatus) {
            giveUp(DownloadResult::failure(DownloadError::HttpStatus, transfer.error, status), !m_unbounded);
            return;
        }
        if (code != CURLE_OK) {
            giveUp(DownloadResult::failure(DownloadError::Transfer,
                                           *transfer.error != '\0' ? transfer.error : curl_easy_strerror(code), status),
                   !m_unbounded);
            return;
        }
        // A final answer that is not a success (a redirect without a target, "304 Not Modified") carries no file.
        if (!isSuccess(status)) {
            giveUp(DownloadResult::failure(DownloadError::HttpStatus, "not a file", status), !m_unbounded);
            return;
        }
        // An empty body never reached the write function.
        if (!transfer.decided && !decide(transfer)) {
            if (m_startOver)
                startOver();
            else
                giveUp(failureFromFlags(status), m_notTheFile.empty());
            return;
        }
        if (m_inPieces) {
            // Decided at its end (an empty body cannot be large): nothing was written in pieces.
            giveUp(
                DownloadResult::failure(DownloadError::Transfer, "the server's answer does not fit the file", status),
                false);
            return;
        }
    } else {
        if (m_hashPartLater && !hashExisting(*m_file, *m_digest)) {
            giveUp(DownloadResult::failure(DownloadError::LocalFile, "the partial file could not be read back", status),
                   false);
            return;
        }
        m_done = m_total = m_file->size();
        report();
    }
    complete(m_digest->finish(), status);
}

void FileDownload::pieceEnded(Transfer& transfer, CURLcode code, long status) {
    Piece& piece = m_pieces[*transfer.piece];
    piece.transfer = nullptr;
    if (code == CURLE_ABORTED_BY_CALLBACK || m_stop.load()) {
        giveUp(DownloadResult::failure(DownloadError::Stopped, {}, status));
        return;
    }
    if (m_startOver) {
        startOver();
        return;
    }
    if (!m_notTheFile.empty() || m_diskFull || m_writeFailed) {
        giveUp(failureFromFlags(status), m_notTheFile.empty());
        return;
    }
    if (transfer.dropBody || status >= firstErrorStatus) {
        giveUp(DownloadResult::failure(DownloadError::HttpStatus, transfer.error, status));
        return;
    }
    const bool complete = piece.span.written == piece.span.end - piece.span.start;
    if (!complete) {
        const std::string why = code != CURLE_OK ? (*transfer.error != '\0' ? transfer.error : curl_easy_strerror(code))
                                                 : "the server's answer ended before the piece did";
        giveUp(DownloadResult::failure(DownloadError::Transfer, why, status));
        return;
    }
    // The connection is free again: the next piece nobody fetches takes it at once.
    if (const std::optional<std::size_t> idle = idlePiece(); idle && !startPiece(*idle)) {
        giveUp(DownloadResult::failure(DownloadError::Transfer, "libcurl could not start a transfer", status));
        return;
    }
    if (m_transfers.empty() && m_frontierPiece == m_pieces.size())
        finishPieces(status);
}

void FileDownload::finishPieces(long status) {
    FileDigests digests = m_follower->finish(m_total);
    m_follower.reset();
    if (digests.md5.empty()) {
        giveUp(DownloadResult::failure(DownloadError::LocalFile,
                                       "the partial file could not be read back: " + m_file->path(), status),
               false);
        return;
    }
    complete(std::move(digests), status);
}

// The server's answer cannot be added to the part in hand: once per download the file starts over from its first
// byte, as one stream, in pieces again only when the server was not found to ignore them.
void FileDownload::startOver() {
    m_startOver = false;
    if (m_pass > 0) {
        giveUp(DownloadResult::failure(DownloadError::Transfer, "the server's answer does not fit the file"), false);
        return;
    }
    ++m_pass;
    m_transfers.clear();
    m_follower.reset();
    m_pieces.clear();
    m_frontierPiece = 0;
    m_inPieces = false;
    m_piecesAllowed = m_piecesAllowed && !m_rangesIgnored;
    m_knownValidator.clear();
    m_validator.clear();
    m_hashPartLater = false;
    m_done = m_total = 0;
    m_digest.emplace(wantsSha256());
    if (!m_file->restart()) {
        giveUp(DownloadResult::failure(DownloadError::LocalFile, m_file->error()), false);
        return;
    }
    startSingle();
}

void FileDownload::complete(FileDigests digests, long status) {
    m_transfers.clear();
    DownloadResult done;
    done.httpStatus = status;
    done.md5 = std::move(digests.md5);
    done.sha256 = std::move(digests.sha256);
    done.resumedFrom = m_resumedFrom;
    done.received = m_received;
    // Wrong bytes never take the file's name, where they might be run or loaded; nor are they gone on from. An
    // empty checksum accepts whatever came, as it accepts any file already in place.
    if (!m_request.checksum.empty() && done.md5 != m_request.checksum) {
        done.error = DownloadError::ChecksumMismatch;
        done.detail = "MD5 " + done.md5 + ", the list says " + m_request.checksum;
        giveUp(std::move(done), false);
        return;
    }
    // The same for a SHA-256 the list gives: bytes with the listed MD5 may still be another file made to have it.
    if (!m_request.sha256.empty() && done.sha256 != m_request.sha256) {
        done.error = DownloadError::ChecksumMismatch;
        done.detail = "SHA-256 " + done.sha256 + ", the list says " + m_request.sha256;
        giveUp(std::move(done), false);
        return;
    }
    if (!m_file->commit()) {
        giveUp(DownloadResult::failure(DownloadError::LocalFile, m_file->error(), status));
        return;
    }
    if (m_request.resumable)
        ResumeRecord::remove(m_request.target);
    m_result = std::move(done);
}

bool FileDownload::owns(CURL* easy) const noexcept {
    return std::any_of(m_transfers.begin(), m_transfers.end(),
                       [easy](const auto& transfer) { return transfer->easy.get() == easy; });
}

void FileDownload::fail(const std::string& why) {
    if (!finished())
        giveUp(DownloadResult::failure(DownloadError::Transfer, why), !m_unbounded);
}

void FileDownload::stop() {
    if (!finished())
        giveUp(DownloadResult::failure(DownloadError::Stopped, {}), !m_unbounded);
}

// Leaves nothing behind that holds no bytes: an empty partial file and its record are clutter, not progress. Nor a
// part that is not worth going on from (`keepPart` false). A part in pieces keeps a record of how far each came.
void FileDownload::giveUp(DownloadResult result, bool keepPart) {
    for (const auto& transfer : m_transfers)
        m_received += transfer->received;
    m_transfers.clear();
    (void)drainWriter();
    result.resumedFrom = m_resumedFrom;
    result.received = m_received;
    if (m_file && m_request.resumable) {
        const std::uint64_t held = m_inPieces ? piecesWritten() : m_file->size();
        if (!keepPart || held == 0) {
            m_file->discard();
            ResumeRecord::remove(m_request.target);
        } else if (m_inPieces) {
            saveRecord();
        }
    }
    m_follower.reset();
    m_result = std::move(result);
}
