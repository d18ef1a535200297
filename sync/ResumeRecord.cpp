// The resume record: three lines of text after a version line, written beside the partial file.
#include "sync/ResumeRecord.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/FileRemoval.hpp"
#include "platform/FileSystem.hpp"
#include "platform/InputFile.hpp"
#include "platform/PartFile.hpp"

#include <set>

namespace {

constexpr const char* recordSuffix = ".varnhold-partial-info";
constexpr const char* formatLine = "varnhold-partial 1";
// A record is a few short lines; anything larger is not one of ours.
constexpr std::size_t maxRecordBytes = 64 * 1024;

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
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
    std::string lines[4];
    std::size_t from = 0;
    for (std::string& line : lines) {
        const std::size_t end = text->find('\n', from);
        if (end == std::string::npos) {
            return std::nullopt; // cut short: not a whole record
        }
        line = text->substr(from, end - from);
        from = end + 1;
    }
    if (lines[0] != formatLine || from != text->size()) {
        return std::nullopt;
    }
    return ResumeRecord{lines[1], lines[2], lines[3]};
}

bool ResumeRecord::save(const std::string& target) const {
    // A value with a line break would shift the lines after it; such a record could not be read back as written.
    if (hasLineBreak(address) || hasLineBreak(checksum) || hasLineBreak(validator)) {
        return false;
    }
    const std::string text = std::string(formatLine) + "\n" + address + "\n" + checksum + "\n" + validator + "\n";
    std::string error;
    std::optional<platform::PartFile> file = platform::PartFile::create(pathFor(target), error);
    return file && file->append(text.data(), text.size()) && file->commit();
}

void ResumeRecord::remove(const std::string& target) {
    (void)platform::RemoveFileOrLink(pathFor(target));
}

void RemoveStalePartialDownloads(const std::string& gameFolder, const std::vector<FileEntry>& files) {
    std::set<std::pair<std::string, std::string>> listed; // (full path, checksum)
    for (const FileEntry& entry : files) {
        listed.emplace(platform::FullPath(entry.location), entry.checksum);
    }
    for (const std::string& target : platform::PartFile::findResumable(gameFolder)) {
        const std::optional<ResumeRecord> record = ResumeRecord::load(target);
        if (record && listed.contains({target, record->checksum})) {
            continue;
        }
        platform::Print("Removing a partial download no longer listed: %s\n", target.c_str());
        (void)platform::RemoveFileOrLink(platform::PartFile::resumePath(target));
        ResumeRecord::remove(target);
    }
}
