// The Windows calls behind PartFile: exclusive creation, handles, WriteFile, FlushFileBuffers and MoveFileExW.
#include "platform/PartFile.hpp"

#include "platform/windows/MoveOver.hpp"
#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <algorithm>
#include <chrono>
#include <optional>

namespace platform {

namespace {

// A virus scanner or an indexer often holds a freshly written target for a moment; the game holds its files for
// as long as it runs, which no pause outlasts, so the wait stays short and the caller's retry takes over.
constexpr std::chrono::milliseconds renamePatience{1000};
// WriteFile counts in 32 bits.
constexpr std::size_t maxWriteSize = std::size_t{1} << 30;

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

} // namespace

struct PartFile::Handle {
    detail::UniqueHandle file;
};

void PartFile::HandleDeleter::operator()(Handle* handle) const noexcept {
    std::default_delete<Handle>()(handle);
}

std::optional<std::string> PartFile::fileBehindLinks(const std::string& target, std::string& /*error*/) {
    return linkEnd(target);
}

// Files carry no modes here, so keepMode has nothing to keep; the new file's access comes from its folder, as the
// replaced one's did.
PartFile::HandlePtr PartFile::createNew(const std::string& path, const std::string& /*replaced*/,
                                        const ReplaceOptions& /*options*/, bool& taken, std::string& error) {
    const std::wstring systemPath = detail::systemPath(path);
    // CREATE_NEW: two workers, or a stale file, never share one temporary file, nor is a link of that name
    // followed. Readers (a scanner) may look in while it is written.
    detail::UniqueHandle file(CreateFileW(systemPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        taken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        if (!taken) {
            error = osError("cannot create", path, code);
        }
        return nullptr;
    }
    return HandlePtr(std::make_unique<Handle>(Handle{std::move(file)}).release());
}

PartFile::HandlePtr PartFile::openForResume(const std::string& path, std::uint64_t& size, std::string& error) {
    const std::wstring systemPath = detail::systemPath(path);
    // OPEN_ALWAYS: what an earlier run left stays; writes go after it (the pointer is moved to the end below).
    // Not FILE_APPEND_DATA alone: restart() must be able to cut the file back to nothing.
    detail::UniqueHandle file(CreateFileW(systemPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = osError("cannot open", path, GetLastError());
        return nullptr;
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        error = "not a file: " + path;
        return nullptr;
    }
    LARGE_INTEGER length{};
    if (GetFileSizeEx(file.get(), &length) == 0 ||
        SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END) == 0) {
        error = osError("cannot open", path, GetLastError());
        return nullptr;
    }
    size = static_cast<std::uint64_t>(length.QuadPart);
    return HandlePtr(std::make_unique<Handle>(Handle{std::move(file)}).release());
}

unsigned long PartFile::processId() {
    return GetCurrentProcessId();
}

void PartFile::removeFile(const std::string& path) {
    DeleteFileW(detail::systemPath(path).c_str());
}

bool PartFile::isReadOnly(const std::string& target) {
    const std::optional<unsigned long> attributes = detail::attributesBehindLinks(detail::systemPath(target));
    return attributes && (*attributes & FILE_ATTRIBUTE_READONLY) != 0 && (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool PartFile::isOpen() const noexcept {
    return m_handle && m_handle->file;
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

bool PartFile::truncateFile() {
    if (SetFilePointerEx(m_handle->file.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN) == 0 ||
        SetEndOfFile(m_handle->file.get()) == 0) {
        m_error = osError("cannot empty", m_path, GetLastError());
        return false;
    }
    return true;
}

bool PartFile::syncToDisk() {
    if (FlushFileBuffers(m_handle->file.get()) == 0) {
        m_error = osError("cannot write", m_path, GetLastError());
        return false;
    }
    return true;
}

bool PartFile::closeFile() {
    if (!m_handle->file.close()) {
        m_error = osError("cannot close", m_path, GetLastError());
        return false;
    }
    return true;
}

bool PartFile::renameOverTarget() {
    const DWORD code = detail::moveOver(detail::systemPath(m_path), detail::systemPath(m_target), renamePatience);
    if (code == 0)
        return true;
    m_error = osError("cannot rename to", m_target, code);
    return false;
}

} // namespace platform
