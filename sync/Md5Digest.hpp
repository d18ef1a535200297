// An MD5 digest fed block by block, written out as the launcher server writes checksums.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class Md5Digest {
public:
    Md5Digest();
    ~Md5Digest();
    Md5Digest(const Md5Digest&) = delete;
    Md5Digest& operator=(const Md5Digest&) = delete;

    /// False when the digest could not be set up (see error()); nothing else works then.
    [[nodiscard]] bool ready() const noexcept;
    /// Adds `size` bytes; false when the library refused them.
    [[nodiscard]] bool update(const void* data, std::size_t size);
    /// The digest of everything added, as 32 lower-case hex characters; empty when it could not be made.
    [[nodiscard]] std::string hex();
    /// The crypto library's reason code for the last failure.
    [[nodiscard]] int error() const noexcept { return m_error; }

private:
    struct Context;
    std::unique_ptr<Context> m_context;
    int m_error = 0;
};
