// Reading files through Windows handles, shared so that a running game or a virus scanner never locks us out.
#include "platform/InputFile.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

namespace platform {

namespace {

// A scanner that opens a file exclusively (right after it was written, typically) lets go within moments; failing
// at once would make the caller download the file again for nothing.
constexpr int maxSharingRetries = 20;
constexpr std::chrono::milliseconds sharingRetryPause{50};
// ReadFile counts in 32 bits.
constexpr std::size_t maxReadSize = std::size_t{1} << 30;

} // namespace

struct InputFile::Handle {
    detail::UniqueHandle file;
};

std::optional<InputFile> InputFile::open(const std::string& path, int& error) {
    const std::wstring full = detail::systemPath(path);
    if (full.empty()) {
        error = ERROR_FILE_NOT_FOUND;
        return std::nullopt;
    }
    for (int attempt = 0;; ++attempt) {
        // Every sharing mode: others may go on reading, writing, renaming or deleting the file while we read it.
        detail::UniqueHandle file(CreateFileW(full.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        // A device or a pipe under a file's name has no end to read to (the console waits for keys).
        if (file && GetFileType(file.get()) != FILE_TYPE_DISK) {
            error = ERROR_INVALID_PARAMETER;
            return std::nullopt;
        }
        if (file) {
            return InputFile(std::make_unique<Handle>(Handle{std::move(file)}));
        }
        const DWORD code = GetLastError();
        if ((code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) || attempt == maxSharingRetries) {
            error = static_cast<int>(code);
            return std::nullopt;
        }
        std::this_thread::sleep_for(sharingRetryPause);
    }
}

InputFile::InputFile(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

bool InputFile::isRegular() const {
    if (!m_handle || GetFileType(m_handle->file.get()) != FILE_TYPE_DISK) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileInformationByHandle(m_handle->file.get(), &information) != 0 &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string InputFile::errorText(int error) {
    return detail::systemErrorText(static_cast<unsigned long>(error));
}

bool InputFile::seek(std::uint64_t offset) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!m_handle || SetFilePointerEx(m_handle->file.get(), position, nullptr, FILE_BEGIN) == 0) {
        m_error = m_handle ? static_cast<int>(GetLastError()) : ERROR_INVALID_HANDLE;
        return false;
    }
    return true;
}

std::optional<std::uint64_t> InputFile::size() const {
    LARGE_INTEGER length{};
    if (!m_handle || GetFileSizeEx(m_handle->file.get(), &length) == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(length.QuadPart);
}

long long InputFile::read(void* buffer, std::size_t size) {
    if (!m_handle) {
        m_error = ERROR_INVALID_HANDLE;
        return -1;
    }
    DWORD got = 0;
    if (ReadFile(m_handle->file.get(), buffer, static_cast<DWORD>(std::min(size, maxReadSize)), &got, nullptr) == 0) {
        m_error = static_cast<int>(GetLastError());
        return -1;
    }
    return got;
}

} // namespace platform
