// The verification cache: one small text file per game folder, written whole and renamed into place, with a
// closing line that carries the record count and the MD5 of everything above it, so that a truncated or damaged
// file is recognised and ignored as a whole rather than half trusted.
#include "sync/VerificationCache.hpp"

#include "platform/FileSystem.hpp"
#include "platform/InputFile.hpp"
#include "platform/PartFile.hpp"
#include "platform/UserCacheFolder.hpp"
#include "sync/FileSync.hpp"
#include "sync/Md5Digest.hpp"

#include <algorithm>
#include <charconv>
#include <set>
#include <string_view>

namespace {

constexpr std::string_view headerLine = "varnhold-verified 2";
// The first form, without the SHA-256 field, is still read: an update of the launcher must not read every file again.
constexpr std::string_view firstHeaderLine = "varnhold-verified 1";
constexpr std::string_view noSha256 = "-";
constexpr std::string_view folderTag = "folder";
constexpr std::string_view endTag = "end";
constexpr const char* cacheSubfolder = "/varnhold-launcher/";
constexpr std::size_t md5HexLength = 32;
constexpr std::size_t sha256HexLength = 64;
constexpr std::size_t recordFields = 8;
constexpr std::size_t firstRecordFields = 7;
constexpr std::size_t readBlockSize = 64 * 1024;
// A cache of a few thousand records is some hundred kilobytes; anything far larger is not ours.
constexpr std::size_t maxCacheBytes = 64 * 1024 * 1024;

std::int64_t secondsSinceEpoch(VerificationCache::Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::seconds>(at.time_since_epoch()).count();
}

std::string md5Of(std::string_view bytes) {
    Md5Digest digest;
    if (!digest.update(bytes.data(), bytes.size()))
        return {};
    return digest.hex();
}

bool isHex(std::string_view text, std::size_t length) {
    return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

template <typename Number> bool parseNumber(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Splits `line` at tabs into at most `count` fields; the last field keeps any further tabs (a path may hold one).
std::vector<std::string_view> splitFields(std::string_view line, std::size_t count) {
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < count) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            break;
        fields.push_back(line.substr(0, tab));
        line.remove_prefix(tab + 1);
    }
    fields.push_back(line);
    return fields;
}

std::optional<std::string> readWhole(const std::string& path, std::string& problem) {
    int error = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, error);
    if (!file || !file->isRegular()) {
        problem = "no cache file yet";
        return std::nullopt;
    }
    std::string bytes;
    std::string block(readBlockSize, '\0');
    for (;;) {
        const long long got = file->read(block.data(), block.size());
        if (got < 0) {
            problem = "the cache file cannot be read";
            return std::nullopt;
        }
        if (got == 0)
            return bytes;
        bytes.append(block.data(), static_cast<std::size_t>(got));
        if (bytes.size() > maxCacheBytes) {
            problem = "the cache file is far too large";
            return std::nullopt;
        }
    }
}

} // namespace

std::string VerificationCache::fileFor(const std::string& gameFolder) {
    const std::string cacheFolder = platform::UserCacheFolder();
    if (cacheFolder.empty() || gameFolder.empty() || gameFolder.find('\n') != std::string::npos)
        return {};
    // One file per game folder: two installations of the game keep their records apart.
    const std::string file =
        platform::FullPath(cacheFolder + cacheSubfolder + "verified-" + md5Of(gameFolder) + ".txt");
    if (file.empty() || platform::IsInsideFolder(file, gameFolder))
        return {};
    return file;
}

VerificationCache VerificationCache::load(std::string file, std::string gameFolder, Clock::time_point now,
                                          std::string* problem) {
    VerificationCache cache;
    cache.m_file = std::move(file);
    cache.m_gameFolder = std::move(gameFolder);
    cache.m_now = secondsSinceEpoch(now);
    std::string why;
    const auto fail = [&](std::string reason) {
        cache.m_records.clear();
        cache.m_changed = true; // written anew at the next save
        if (problem != nullptr)
            *problem = std::move(reason);
        return std::move(cache);
    };
    if (cache.m_file.empty())
        return fail("no cache folder");
    const std::optional<std::string> bytes = readWhole(cache.m_file, why);
    if (!bytes)
        return fail(why);

    const std::string_view text = *bytes;
    const std::size_t endAt = text.rfind(std::string(endTag) + "\t");
    if (endAt == std::string_view::npos || (endAt != 0 && text[endAt - 1] != '\n') || text.back() != '\n')
        return fail("the cache file is truncated");
    const std::vector<std::string_view> end = splitFields(text.substr(endAt, text.size() - endAt - 1), 3);
    std::size_t count = 0;
    if (end.size() != 3 || !parseNumber(end[1], count) || end[2] != md5Of(text.substr(0, endAt)))
        return fail("the cache file is damaged");

    std::string_view body = text.substr(0, endAt);
    const auto nextLine = [&body]() {
        const std::size_t cut = body.find('\n');
        const std::string_view line = body.substr(0, cut);
        body.remove_prefix(cut + 1);
        return line;
    };
    const std::string_view header = nextLine();
    if (header != headerLine && header != firstHeaderLine)
        return fail("the cache file is of another kind");
    const std::size_t fieldCount = header == headerLine ? recordFields : firstRecordFields;
    const std::vector<std::string_view> folder = splitFields(nextLine(), 2);
    if (folder.size() != 2 || folder[0] != folderTag || folder[1] != cache.m_gameFolder)
        return fail("the cache file belongs to another game folder");

    std::size_t seen = 0;
    while (!body.empty()) {
        std::vector<std::string_view> fields = splitFields(nextLine(), fieldCount);
        Record record;
        if (fields.size() != fieldCount || !isHex(fields[0], md5HexLength))
            return fail("the cache file holds a damaged record");
        record.digests.md5 = std::string(fields[0]);
        if (fieldCount == recordFields) {
            if (fields[1] != noSha256 && !isHex(fields[1], sha256HexLength))
                return fail("the cache file holds a damaged record");
            record.digests.sha256 = fields[1] == noSha256 ? std::string() : std::string(fields[1]);
            fields.erase(fields.begin() + 1);
        }
        if (!parseNumber(fields[1], record.facts.size) || !parseNumber(fields[2], record.facts.modifiedNs) ||
            !parseNumber(fields[3], record.facts.volume) || !parseNumber(fields[4], record.facts.identity) ||
            !parseNumber(fields[5], record.checkedAt) || fields[6].empty())
            return fail("the cache file holds a damaged record");
        ++seen;
        // Expired records, and records from the future of a clock that was set back, are dropped at once.
        const std::int64_t age = cache.m_now - record.checkedAt;
        if (age < 0 || age >= std::chrono::duration_cast<std::chrono::seconds>(maxAge).count()) {
            cache.m_changed = true;
            continue;
        }
        cache.m_records.insert_or_assign(std::string(fields[6]), std::move(record));
    }
    if (seen != count)
        return fail("the cache file's record count does not match");
    return cache;
}

FileDigests VerificationCache::lookup(const std::string& fullPath, const platform::FileFacts& facts) const {
    const auto found = m_records.find(fullPath);
    if (found == m_records.end() || found->second.facts != facts)
        return {};
    return found->second.digests;
}

void VerificationCache::record(const std::string& fullPath, const platform::FileFacts& facts,
                               const FileDigests& digests, Clock::time_point readAt) {
    const std::int64_t readAtNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(readAt.time_since_epoch()).count();
    const std::int64_t settleNs = std::chrono::duration_cast<std::chrono::nanoseconds>(settleTime).count();
    const bool settled = facts.modifiedNs <= readAtNs - settleNs;
    const bool sound =
        isHex(digests.md5, md5HexLength) && (digests.sha256.empty() || isHex(digests.sha256, sha256HexLength));
    if (!settled || !sound || fullPath.empty() || fullPath.find('\n') != std::string::npos) {
        if (m_records.erase(fullPath) != 0)
            m_changed = true;
        m_unflushed.erase(fullPath);
        return;
    }
    m_records.insert_or_assign(fullPath, Record{digests, facts, secondsSinceEpoch(readAt)});
    m_unflushed.insert(fullPath);
    m_changed = true;
}

std::vector<std::string> VerificationCache::takeUnflushed() {
    std::vector<std::string> paths(m_unflushed.begin(), m_unflushed.end());
    m_unflushed.clear();
    return paths;
}

void VerificationCache::forget(const std::vector<std::string>& fullPaths) {
    for (const std::string& path : fullPaths) {
        if (m_records.erase(path) != 0)
            m_changed = true;
    }
}

void VerificationCache::keepOnly(const std::vector<std::string>& fullPaths) {
    const std::set<std::string_view> listed(fullPaths.begin(), fullPaths.end());
    for (auto it = m_records.begin(); it != m_records.end();) {
        if (listed.contains(it->first)) {
            ++it;
        } else {
            m_unflushed.erase(it->first);
            it = m_records.erase(it);
            m_changed = true;
        }
    }
}

std::string VerificationCache::serialise() const {
    std::string text;
    text.reserve(m_records.size() * 128);
    text.append(headerLine).append("\n");
    text.append(folderTag).append("\t").append(m_gameFolder).append("\n");
    for (const auto& [path, record] : m_records) {
        text.append(record.digests.md5).append("\t");
        text.append(record.digests.sha256.empty() ? noSha256 : record.digests.sha256).append("\t");
        text.append(std::to_string(record.facts.size)).append("\t");
        text.append(std::to_string(record.facts.modifiedNs)).append("\t");
        text.append(std::to_string(record.facts.volume)).append("\t");
        text.append(std::to_string(record.facts.identity)).append("\t");
        text.append(std::to_string(record.checkedAt)).append("\t");
        text.append(path).append("\n");
    }
    const std::string digest = md5Of(text);
    text.append(endTag).append("\t").append(std::to_string(m_records.size())).append("\t").append(digest).append("\n");
    return text;
}

bool VerificationCache::save() {
    if (!m_changed || m_file.empty())
        return true;
    EnsureParentFolder(m_file);
    std::string error;
    std::optional<platform::PartFile> out = platform::PartFile::create(m_file, error);
    if (!out)
        return false;
    const std::string text = serialise();
    if (!out->append(text.data(), text.size()) || !out->commit())
        return false;
    m_changed = false;
    return true;
}
