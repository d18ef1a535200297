// A file opened for reading, from start to end in large blocks (checksums, copies) or where a decoder asks (the
// music).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class InputFile {
public:
    /// Opens `path` for reading; empty, with the OS error number (2 for a missing file) in `error`, when it cannot.
    /// A folder may open too: then isRegular() is false and read() fails. A FIFO, a device or a socket does not
    /// open, and opening one never waits for the other end of a FIFO.
    [[nodiscard]] static std::optional<InputFile> open(const std::string& path, int& error);

    InputFile(InputFile&&) noexcept;
    InputFile& operator=(InputFile&&) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    /// True for a plain file (not a folder, a device or a pipe).
    [[nodiscard]] bool isRegular() const;
    /// Reads up to `size` bytes: how many, 0 at the end of the file, -1 on a failure (see error()).
    [[nodiscard]] long long read(void* buffer, std::size_t size);
    /// Makes the next read start `offset` bytes from the file's start; false when the OS refused (see error()).
    [[nodiscard]] bool seek(std::uint64_t offset);
    /// The file's size in bytes; empty when the OS cannot tell.
    [[nodiscard]] std::optional<std::uint64_t> size() const;
    /// The OS error number of the last failed read.
    [[nodiscard]] int error() const noexcept { return m_error; }
    /// The OS's words for an error number from open() or error(): the numbers differ between OSes.
    [[nodiscard]] static std::string errorText(int error);

private:
    struct Handle;
    explicit InputFile(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
    int m_error = 0;
};

} // namespace platform
