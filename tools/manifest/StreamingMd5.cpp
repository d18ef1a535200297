// EVP MD5 over sequential read() blocks with posix_fadvise, reporting failures as values.
#include "tools/manifest/StreamingMd5.hpp"

#include "sync/UniqueFd.hpp"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

struct EvpContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using EvpContext = std::unique_ptr<EVP_MD_CTX, EvpContextDeleter>;

std::string failure(const std::string& what, const std::string& path, int error) {
    return what + " '" + path + "': " + std::strerror(error);
}

} // namespace

struct StreamingMd5::Context {
    EvpContext digest{EVP_MD_CTX_new()};
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t blockSize;
};

StreamingMd5::StreamingMd5(std::size_t blockSize) : m_context(std::make_unique<Context>()) {
    m_context->blockSize = blockSize;
    m_context->buffer = std::make_unique_for_overwrite<unsigned char[]>(blockSize);
}

StreamingMd5::~StreamingMd5() = default;

Md5Result StreamingMd5::hashFile(const std::string& path, const std::function<void(std::size_t)>& onBytes) {
    Context& context = *m_context;
    if (!context.digest || EVP_DigestInit_ex(context.digest.get(), EVP_md5(), nullptr) != 1) {
        return {{}, "cannot start an MD5 digest for '" + path + "'"};
    }
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) {
        return {{}, failure("cannot open", path, errno)};
    }
    // Only a hint: a failure changes nothing but read-ahead.
    (void)::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    for (;;) {
        const ssize_t got = ::read(file.get(), context.buffer.get(), context.blockSize);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {{}, failure("cannot read", path, errno)};
        }
        if (got == 0) {
            break;
        }
        const auto length = static_cast<std::size_t>(got);
        if (EVP_DigestUpdate(context.digest.get(), context.buffer.get(), length) != 1) {
            return {{}, "MD5 digest failed for '" + path + "'"};
        }
        if (onBytes) {
            onBytes(length);
        }
    }

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_DigestFinal_ex(context.digest.get(), digest, &digestLength) != 1) {
        return {{}, "MD5 digest failed for '" + path + "'"};
    }
    std::string hex;
    hex.reserve(2 * digestLength);
    for (unsigned int i = 0; i < digestLength; ++i) {
        hex += hexDigits[digest[i] >> 4];
        hex += hexDigits[digest[i] & 0x0f];
    }
    return {hex, {}};
}
