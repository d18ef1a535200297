// A file written beside its target under a temporary name and renamed over the target only once complete.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class PartFile {
public:
    static constexpr std::size_t bufferSize = 1024 * 1024;

    /// Creates "<target>.part-<pid>-<n>" exclusively; nullopt (and the OS's words in `error`) when it cannot.
    [[nodiscard]] static std::optional<PartFile> create(const std::string& target, std::string& error);

    PartFile(PartFile&&) noexcept;
    PartFile& operator=(PartFile&&) = delete;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    /// Removes the temporary file unless it was committed.
    ~PartFile();

    /// Buffers or writes `size` bytes; false (and the reason in error()) when the disk refused them.
    [[nodiscard]] bool append(const char* data, std::size_t size);
    /// Writes what is buffered, closes and renames over the target; false (see error()) when any step failed.
    [[nodiscard]] bool commit();

    [[nodiscard]] const std::string& path() const noexcept { return m_path; }
    [[nodiscard]] const std::string& error() const noexcept { return m_error; }

private:
    struct Handle; // the OS's handle of the open temporary file
    PartFile(std::string target, std::string path, std::unique_ptr<Handle> handle);
    bool writeAll(const char* data, std::size_t size);
    bool flush();

    std::string m_target;
    std::string m_path;
    std::unique_ptr<Handle> m_handle;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    bool m_committed = false;
    std::string m_error;
};

} // namespace platform
