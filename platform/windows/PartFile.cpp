// The Windows calls behind PartFile: exclusive creation, handles, WriteFile, FlushFileBuffers and MoveFileExW.
#include "platform/PartFile.hpp"

#include "platform/windows/MoveOver.hpp"
#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

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

// What a stable partial file never is.
constexpr DWORD notAFile = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;

// ERROR_DISK_QUOTA_EXCEEDED, which mingw-w64's headers lack.
constexpr DWORD diskQuotaExceeded = 1295;

bool isOutOfSpace(DWORD code) {
    return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL || code == diskQuotaExceeded;
}

// Clears what stands under the partial name `systemPath` when it is no file (a download never leaves one): an
// empty folder, or a link or junction, which the download would be written through. A link goes itself, never
// what it leads to: it is removed through a handle of its own, and only when that handle shows a link. Wine opens
// what a Unix link leads to instead (and its DeleteFileW and RemoveDirectoryW remove that): such a link stays,
// and the open after this refuses it. False, with the reason, when something stays in the way.
bool clearAway(const std::wstring& systemPath, const std::string& path, std::string& error) {
    const DWORD found = GetFileAttributesW(systemPath.c_str());
    if (found == INVALID_FILE_ATTRIBUTES || (found & notAFile) == 0) {
        return true;
    }
    if ((found & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        if (RemoveDirectoryW(systemPath.c_str()) != 0) {
            return true;
        }
        error = osError("cannot remove", path, GetLastError());
        return false;
    }
    const detail::UniqueHandle link(CreateFileW(
        systemPath.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    FILE_DISPOSITION_INFO removal{TRUE};
    if (link && GetFileInformationByHandle(link.get(), &information) != 0 &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        SetFileInformationByHandle(link.get(), FileDispositionInfo, &removal, sizeof removal) != 0) {
        return true;
    }
    error = "cannot remove the link " + path;
    return false;
}

// The last part of a path, after its last separator.
std::wstring_view lastName(std::wstring_view path) {
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring_view::npos ? path : path.substr(cut + 1);
}

// True when the open `file` goes by the name `systemPath` ends in. Wine shows a Unix link to a file as that file,
// and opens what it leads to: then the name differs. (Linked folders on the way do not change the last name.) A
// file system that cannot name its files (some network shares) passes: Windows itself opened no link.
bool namedAs(HANDLE file, const std::wstring& systemPath) {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return true;
        }
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(length);
    }
    const std::wstring_view opened = lastName(name);
    const std::wstring_view asked = lastName(systemPath);
    return CompareStringOrdinal(opened.data(), static_cast<int>(opened.size()), asked.data(),
                                static_cast<int>(asked.size()), TRUE) == CSTR_EQUAL;
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
    if (!clearAway(systemPath, path, error)) {
        return nullptr;
    }
    // OPEN_ALWAYS: what an earlier run left stays; each write names its place. Not FILE_APPEND_DATA alone:
    // restart() must be able to cut the file back to nothing. OPEN_REPARSE_POINT: a link made in the moment since
    // the look above is opened itself, not followed, and refused below.
    detail::UniqueHandle file(CreateFileW(systemPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    if (!file) {
        error = osError("cannot open", path, GetLastError());
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || GetFileInformationByHandle(file.get(), &information) == 0 ||
        (information.dwFileAttributes & notAFile) != 0 || !namedAs(file.get(), systemPath)) {
        error = "not a file: " + path;
        return nullptr;
    }
    LARGE_INTEGER length{};
    if (GetFileSizeEx(file.get(), &length) == 0) {
        error = osError("cannot open", path, GetLastError());
        return nullptr;
    }
    size = static_cast<std::uint64_t>(length.QuadPart);
    return HandlePtr(std::make_unique<Handle>(Handle{std::move(file)}).release());
}

unsigned long PartFile::processId() {
    return GetCurrentProcessId();
}

std::vector<PartFile::FolderEntry> PartFile::listFolder(const std::string& folder) {
    struct FindCloser {
        void operator()(HANDLE find) const { FindClose(find); }
    };
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    const HANDLE first = FindFirstFileExW(detail::systemPath(folder + "/*").c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (first == INVALID_HANDLE_VALUE)
        return entries;
    const std::unique_ptr<void, FindCloser> search(first);
    do {
        const std::wstring_view name = found.cFileName;
        // A junction or a symbolic link carries the reparse attribute, a folder one the folder attribute too.
        if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            continue;
        entries.push_back(FolderEntry{detail::toUtf8(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(first, &found) != 0);
    return entries;
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

bool PartFile::writeAllAt(std::uint64_t offset, const char* data, std::size_t size) {
    while (size > 0) {
        // An OVERLAPPED offset on a handle opened for synchronous writes places this write, and only this one.
        OVERLAPPED place{};
        place.Offset = static_cast<DWORD>(offset);
        place.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        if (WriteFile(m_handle->file.get(), data, static_cast<DWORD>(std::min(size, maxWriteSize)), &written, &place) ==
            0) {
            const DWORD code = GetLastError();
            m_outOfSpace = isOutOfSpace(code);
            m_error = osError("cannot write", m_path, code);
            m_handle->file.reset();
            return false;
        }
        data += written;
        size -= written;
        offset += written;
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
