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

    /// False once hex() has been taken: a digest is used for one message only.
    [[nodiscard]] bool ready() const noexcept;
    /// Adds `size` bytes; false after hex().
    [[nodiscard]] bool update(const void* data, std::size_t size);
    /// The digest of everything added, as 32 lower-case hex characters; empty when it was taken already.
    [[nodiscard]] std::string hex();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
