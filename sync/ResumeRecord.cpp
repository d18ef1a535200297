// The resume record: three lines of text after a version line, and for a file fetched in pieces a fourth that
// lists them, written beside the partial file.
#include "sync/ResumeRecord.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/FileRemoval.hpp"
#include "platform/FileSystem.hpp"
#include "platform/InputFile.hpp"
#include "platform/PartFile.hpp"

#include <charconv>
#include <set>
#include <string_view>

namespace {

constexpr const char* recordSuffix = ".varnhold-partial-info";
constexpr const char* formatLine = "varnhold-partial 1";
// A record with pieces is a format of its own: a launcher that knows only the first would take the partial file's
// holes for the start of the file.
constexpr const char* piecesFormatLine = "varnhold-partial 2";
constexpr std::string_view piecesTag = "pieces";
// A record is a few short lines; anything larger is not one of ours.
constexpr std::size_t maxRecordBytes = 64 * 1024;

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Takes a number from the front of `text`; false when none is there.
bool takeNumber(std::string_view& text, std::uint64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc())
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool takeChar(std::string_view& text, char expected) {
    if (text.empty() || text.front() != expected)
        return false;
    text.remove_prefix(1);
    return true;
}

// "pieces 0-100+40 100-200+100": pieces that follow each other from byte 0, none longer than it is written.
std::optional<std::vector<ResumePiece>> parsePieces(std::string_view line) {
    if (!line.starts_with(piecesTag))
        return std::nullopt;
    line.remove_prefix(piecesTag.size());
    std::vector<ResumePiece> pieces;
    std::uint64_t next = 0;
    while (!line.empty()) {
        ResumePiece piece;
        if (!takeChar(line, ' ') || !takeNumber(line, piece.start) || !takeChar(line, '-') ||
            !takeNumber(line, piece.end) || !takeChar(line, '+') || !takeNumber(line, piece.written))
            return std::nullopt;
        if (piece.start != next || piece.end <= piece.start || piece.written > piece.end - piece.start)
            return std::nullopt;
        next = piece.end;
        pieces.push_back(piece);
    }
    if (pieces.empty())
        return std::nullopt;
    return pieces;
}

std::optional<std::string> readSmallFile(const std::string& path) {
    int error = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, error);
    if (!file || !file->isRegular()) {
        return std::nullopt;
    }
    std::string text;
    char block[4096];
    for (;;) {
        const long long got = file->read(block, sizeof block);
        if (got < 0 || text.size() > maxRecordBytes) {
            return std::nullopt;
        }
        if (got == 0) {
            return text;
        }
        text.append(block, static_cast<std::size_t>(got));
    }
}

} // namespace

std::string ResumeRecord::pathFor(const std::string& target) {
    return target + recordSuffix;
}

std::optional<ResumeRecord> ResumeRecord::load(const std::string& target) {
    const std::optional<std::string> text = readSmallFile(pathFor(target));
    if (!text) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text->size()) {
        const std::size_t end = text->find('\n', from);
        if (end == std::string::npos) {
            return std::nullopt; // cut short: not a whole record
        }
        lines.push_back(text->substr(from, end - from));
        from = end + 1;
    }
    const bool single = lines.size() == 4 && lines[0] == formatLine;
    const bool inPieces = lines.size() == 5 && lines[0] == piecesFormatLine;
    if (!single && !inPieces) {
        return std::nullopt;
    }
    ResumeRecord record{lines[1], lines[2], lines[3], {}};
    if (inPieces) {
        std::optional<std::vector<ResumePiece>> pieces = parsePieces(lines[4]);
        if (!pieces)
            return std::nullopt;
        record.pieces = std::move(*pieces);
    }
    return record;
}

bool ResumeRecord::save(const std::string& target) const {
    // A value with a line break would shift the lines after it; such a record could not be read back as written.
    if (hasLineBreak(address) || hasLineBreak(checksum) || hasLineBreak(validator)) {
        return false;
    }
    std::string text = std::string(pieces.empty() ? formatLine : piecesFormatLine) + "\n" + address + "\n" + checksum +
                       "\n" + validator + "\n";
    if (!pieces.empty()) {
        text += piecesTag;
        for (const ResumePiece& piece : pieces)
            text += " " + std::to_string(piece.start) + "-" + std::to_string(piece.end) + "+" +
                    std::to_string(piece.written);
        text += "\n";
    }
    std::string error;
    std::optional<platform::PartFile> file = platform::PartFile::create(pathFor(target), error);
    return file && file->append(text.data(), text.size()) && file->commit();
}

void ResumeRecord::remove(const std::string& target) {
    (void)platform::RemoveFileOrLink(pathFor(target));
}

void RemoveStalePartialDownloads(const std::string& gameFolder, const std::vector<FileEntry>& files,
                                 const std::vector<std::string>& inUse) {
    std::set<std::pair<std::string, std::string>> listed; // (full path, checksum)
    for (const FileEntry& entry : files) {
        listed.emplace(platform::FullPath(entry.location), entry.checksum);
    }
    const std::set<std::string> busy(inUse.begin(), inUse.end());
    for (const std::string& target : platform::PartFile::findResumable(gameFolder)) {
        if (busy.contains(target)) {
            continue;
        }
        const std::optional<ResumeRecord> record = ResumeRecord::load(target);
        if (record && listed.contains({target, record->checksum})) {
            continue;
        }
        platform::Print("Removing a partial download no longer listed: %s\n", target.c_str());
        (void)platform::RemoveFileOrLink(platform::PartFile::resumePath(target));
        ResumeRecord::remove(target);
    }
}
