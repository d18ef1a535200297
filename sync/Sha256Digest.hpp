// A SHA-256 digest fed block by block, written out as documents give it: 64 lower-case hex characters.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class Sha256Digest {
public:
    Sha256Digest();
    ~Sha256Digest();
    Sha256Digest(const Sha256Digest&) = delete;
    Sha256Digest& operator=(const Sha256Digest&) = delete;

    /// Adds `size` bytes; false after hex().
    [[nodiscard]] bool update(const void* data, std::size_t size);
    /// The digest of everything added; empty when it was taken already.
    [[nodiscard]] std::string hex();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
