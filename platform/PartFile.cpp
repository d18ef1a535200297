// Writing beside the target and renaming at the end, so a reader never sees a half-written file. The buffering and
// bookkeeping live here for every OS; the backends hold only the calls into their OS.
#include "platform/PartFile.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>

namespace platform {

namespace {

// Names already taken (a crashed earlier run with the same process id) are skipped, not overwritten.
constexpr int maxNameAttempts = 100;

std::atomic<unsigned> partCounter{0};

} // namespace

std::optional<PartFile> PartFile::create(const std::string& target, std::string& error, const ReplaceOptions& options) {
    if (target.empty()) {
        error = "no target file name";
        return std::nullopt;
    }
    std::optional<std::string> replaced = options.throughLink ? fileBehindLinks(target, error) : target;
    if (!replaced) {
        return std::nullopt;
    }
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        std::string path = *replaced + ".part-" + std::to_string(processId()) + "-" + std::to_string(partCounter++);
        bool taken = false;
        HandlePtr handle = createNew(path, *replaced, options, taken, error);
        if (handle) {
            PartFile file(std::move(*replaced), std::move(path), std::move(handle));
            file.m_options = options;
            return file;
        }
        if (!taken) {
            return std::nullopt;
        }
    }
    error = "no free temporary name beside " + *replaced;
    return std::nullopt;
}

std::string PartFile::resumePath(const std::string& target) {
    return target + resumeSuffix;
}

std::optional<PartFile> PartFile::resume(const std::string& target, std::string& error) {
    if (target.empty()) {
        error = "no target file name";
        return std::nullopt;
    }
    std::string path = resumePath(target);
    std::uint64_t size = 0;
    HandlePtr handle = openForResume(path, size, error);
    if (!handle) {
        return std::nullopt;
    }
    PartFile file(target, std::move(path), std::move(handle));
    file.m_size = size;
    file.m_appendAt = size;
    file.m_keep = true;
    return file;
}

std::vector<std::string> PartFile::findResumable(const std::string& folder) {
    std::vector<std::string> targets;
    const std::string_view suffix = resumeSuffix;
    // Unreadable folders list as empty: what cannot be listed cannot be cleaned either.
    std::vector<std::string> pending{folder};
    while (!pending.empty()) {
        std::string current = std::move(pending.back());
        pending.pop_back();
        if (!current.empty() && current.back() != '/' && current.back() != '\\')
            current += '/';
        for (FolderEntry& entry : listFolder(current)) {
            if (entry.isFolder)
                pending.push_back(current + entry.name);
            else if (entry.name.size() > suffix.size() && std::string_view(entry.name).ends_with(suffix))
                targets.push_back(current + entry.name.substr(0, entry.name.size() - suffix.size()));
        }
    }
    return targets;
}

PartFile::PartFile(std::string target, std::string path, HandlePtr handle)
    : m_target(std::move(target)), m_path(std::move(path)), m_handle(std::move(handle)) {}

PartFile::PartFile(PartFile&&) noexcept = default;

PartFile::~PartFile() {
    // A moved-from object has no path and owns nothing on disk.
    if (m_committed || m_path.empty()) {
        return;
    }
    if (m_keep) {
        // The next run goes on from what reached the disk; a failed write here only means a little more to fetch.
        if (isOpen()) {
            (void)flush();
        }
        return;
    }
    m_handle.reset();
    removeFile(m_path);
}

bool PartFile::restart() {
    if (!isOpen()) {
        return false;
    }
    m_used = 0;
    if (!truncateFile()) {
        return false;
    }
    m_size = 0;
    m_appendAt = 0;
    return true;
}

void PartFile::discard() {
    m_handle.reset();
    m_used = 0;
    if (!m_path.empty()) {
        removeFile(m_path);
    }
    m_committed = true; // nothing left for the destructor to keep or remove
}

bool PartFile::append(const char* data, std::size_t size) {
    if (!isOpen()) {
        return false;
    }
    // Large blocks go straight to the file; small ones are gathered so the disk sees few, large writes.
    if (m_used + size > bufferSize && !flush()) {
        return false;
    }
    if (size >= bufferSize) {
        if (!writeAllAt(m_appendAt, data, size)) {
            return false;
        }
        m_appendAt += size;
    } else {
        if (!m_buffer) {
            m_buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
        }
        std::memcpy(m_buffer.get() + m_used, data, size);
        m_used += size;
    }
    m_size = std::max(m_size, m_appendAt + m_used);
    return true;
}

bool PartFile::writeAt(std::uint64_t offset, const char* data, std::size_t size) {
    if (!isOpen() || !flush() || !writeAllAt(offset, data, size)) {
        return false;
    }
    m_size = std::max(m_size, offset + size);
    return true;
}

bool PartFile::commit() {
    if (!isOpen() || !flush()) {
        return false;
    }
    if (m_options.durable && !syncToDisk()) {
        return false;
    }
    if (!closeFile() || !renameOverTarget()) {
        return false;
    }
    m_committed = true;
    return true;
}

bool PartFile::flush() {
    const std::size_t used = m_used;
    m_used = 0;
    if (used == 0) {
        return true;
    }
    if (!writeAllAt(m_appendAt, m_buffer.get(), used)) {
        return false;
    }
    m_appendAt += used;
    return true;
}

} // namespace platform
