// Writing beside the target and renaming at the end, so a reader never sees a half-written file.
#include "platform/PartFile.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <thread>

namespace platform {

namespace {

// Names already taken (a crashed earlier run with the same process id) are skipped, not overwritten.
constexpr int maxNameAttempts = 100;
// A virus scanner or an indexer often holds a freshly written target for a moment; the game holds its files for
// as long as it runs, which no pause outlasts, so the wait stays short and the caller's retry takes over.
constexpr int maxRenameRetries = 10;
constexpr std::chrono::milliseconds renameRetryPause{100};
// WriteFile counts in 32 bits.
constexpr std::size_t maxWriteSize = std::size_t{1} << 30;

std::atomic<unsigned> partCounter{0};

std::string osError(const char* what, const std::string& path, DWORD code) {
    return std::string(what) + " " + path + ": " + detail::systemErrorText(code);
}

// The file a symbolic link at `target` leads to, through every link of a chain; `target` itself when it is no link,
// or a link that leads nowhere (then the link itself is replaced).
std::string linkEnd(const std::string& target) {
    const std::wstring path = detail::systemPath(target);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return target;
    }
    const detail::UniqueHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        return target;
    }
    std::wstring end(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = GetFinalPathNameByHandleW(file.get(), end.data(), static_cast<DWORD>(end.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (size == 0) {
            return target;
        }
        if (size < end.size()) {
            end.resize(size);
            return detail::launcherPath(end);
        }
        end.resize(size);
    }
}

// ERROR_DISK_QUOTA_EXCEEDED, which mingw-w64's headers lack.
constexpr DWORD diskQuotaExceeded = 1295;

bool isOutOfSpace(DWORD code) {
    return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL || code == diskQuotaExceeded;
}

bool isTransientRenameError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

} // namespace

struct PartFile::Handle {
    detail::UniqueHandle file;
};

std::optional<PartFile> PartFile::create(const std::string& target, std::string& error, const ReplaceOptions& options) {
    if (target.empty()) {
        error = "no target file name";
        return std::nullopt;
    }
    // Files carry no modes here, so keepMode has nothing to keep; the new file's access comes from its folder, as
    // the replaced one's did.
    const std::string replaced = options.throughLink ? linkEnd(target) : target;
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        std::string path =
            replaced + ".part-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(partCounter++);
        const std::wstring systemPath = detail::systemPath(path);
        // CREATE_NEW: two workers, or a stale file, never share one temporary file, nor is a link of that name
        // followed. Readers (a scanner) may look in while it is written.
        detail::UniqueHandle file(CreateFileW(systemPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            PartFile part(replaced, std::move(path), std::make_unique<Handle>(Handle{std::move(file)}));
            part.m_options = options;
            return part;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = osError("cannot create", path, code);
            return std::nullopt;
        }
    }
    error = "no free temporary name beside " + replaced;
    return std::nullopt;
}

bool PartFile::isReadOnly(const std::string& target) {
    const std::optional<unsigned long> attributes = detail::attributesBehindLinks(detail::systemPath(target));
    return attributes && (*attributes & FILE_ATTRIBUTE_READONLY) != 0 && (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
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
    const std::wstring systemPath = detail::systemPath(path);
    // OPEN_ALWAYS: what an earlier run left stays; writes go after it (the pointer is moved to the end below).
    // Not FILE_APPEND_DATA alone: restart() must be able to cut the file back to nothing.
    detail::UniqueHandle file(CreateFileW(systemPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = osError("cannot open", path, GetLastError());
        return std::nullopt;
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        error = "not a file: " + path;
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.get(), &size) == 0 ||
        SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END) == 0) {
        error = osError("cannot open", path, GetLastError());
        return std::nullopt;
    }
    PartFile part(target, std::move(path), std::make_unique<Handle>(Handle{std::move(file)}));
    part.m_size = static_cast<std::uint64_t>(size.QuadPart);
    part.m_keep = true;
    return part;
}

std::vector<std::string> PartFile::findResumable(const std::string& folder) {
    std::vector<std::string> targets;
    const std::string_view suffix = resumeSuffix;
    std::error_code error;
    // Wide names in and out: the narrow forms of std::filesystem go through the ANSI code page here.
    std::filesystem::recursive_directory_iterator walk(std::filesystem::path(detail::toWide(folder)),
                                                       std::filesystem::directory_options::skip_permission_denied,
                                                       error);
    for (const std::filesystem::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const std::string path = detail::launcherPath(walk->path().native());
        if (path.size() > suffix.size() && std::string_view(path).ends_with(suffix) && walk->is_regular_file(error)) {
            targets.push_back(path.substr(0, path.size() - suffix.size()));
        }
    }
    return targets;
}

PartFile::PartFile(std::string target, std::string path, std::unique_ptr<Handle> handle)
    : m_target(std::move(target)), m_path(std::move(path)), m_handle(std::move(handle)) {}

PartFile::PartFile(PartFile&&) noexcept = default;

PartFile::~PartFile() {
    // A moved-from object has no path and owns nothing on disk.
    if (m_committed || m_path.empty()) {
        return;
    }
    if (m_keep) {
        // The next run goes on from what reached the disk; a failed write here only means a little more to fetch.
        if (m_handle && m_handle->file) {
            (void)flush();
        }
        return;
    }
    m_handle.reset();
    DeleteFileW(detail::systemPath(m_path).c_str());
}

bool PartFile::restart() {
    if (!m_handle || !m_handle->file) {
        return false;
    }
    m_used = 0;
    if (SetFilePointerEx(m_handle->file.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN) == 0 ||
        SetEndOfFile(m_handle->file.get()) == 0) {
        m_error = osError("cannot empty", m_path, GetLastError());
        return false;
    }
    m_size = 0;
    return true;
}

void PartFile::discard() {
    m_handle.reset();
    m_used = 0;
    if (!m_path.empty()) {
        DeleteFileW(detail::systemPath(m_path).c_str());
    }
    m_committed = true; // nothing left for the destructor to keep or remove
}

bool PartFile::append(const char* data, std::size_t size) {
    if (!m_handle || !m_handle->file) {
        return false;
    }
    m_size += size;
    // Large blocks go straight to the file; small ones are gathered so the disk sees few, large writes.
    if (m_used + size > bufferSize && !flush()) {
        return false;
    }
    if (size >= bufferSize) {
        return writeAll(data, size);
    }
    if (!m_buffer) {
        m_buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    }
    std::memcpy(m_buffer.get() + m_used, data, size);
    m_used += size;
    return true;
}

bool PartFile::commit() {
    if (!m_handle || !m_handle->file || !flush()) {
        return false;
    }
    if (m_options.durable && FlushFileBuffers(m_handle->file.get()) == 0) {
        m_error = osError("cannot write", m_path, GetLastError());
        return false;
    }
    if (!m_handle->file.close()) {
        m_error = osError("cannot close", m_path, GetLastError());
        return false;
    }
    const std::wstring from = detail::systemPath(m_path);
    const std::wstring to = detail::systemPath(m_target);
    for (int attempt = 0;; ++attempt) {
        // WRITE_THROUGH: the call returns once the rename is on disk, not merely in the cache.
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
            m_committed = true;
            return true;
        }
        const DWORD code = GetLastError();
        if (!isTransientRenameError(code) || attempt == maxRenameRetries) {
            m_error = osError("cannot rename to", m_target, code);
            return false;
        }
        std::this_thread::sleep_for(renameRetryPause);
    }
}

bool PartFile::flush() {
    const std::size_t used = m_used;
    m_used = 0;
    return writeAll(m_buffer.get(), used);
}

bool PartFile::writeAll(const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (WriteFile(m_handle->file.get(), data, static_cast<DWORD>(std::min(size, maxWriteSize)), &written,
                      nullptr) == 0) {
            const DWORD code = GetLastError();
            m_outOfSpace = isOutOfSpace(code);
            m_error = osError("cannot write", m_path, code);
            m_handle->file.reset();
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace platform
