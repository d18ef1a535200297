// The launcher's MD5 digest over the platform's sequential reads, with failures as values instead of output.
#include "tools/manifest/StreamingMd5.hpp"

#include "platform/InputFile.hpp"
#include "sync/Md5Digest.hpp"

#include <cstring>

namespace {

std::string failure(const std::string& what, const std::string& path, int error) {
    return what + " '" + path + "': " + std::strerror(error);
}

} // namespace

struct StreamingMd5::Context {
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
    Md5Digest digest;
    if (!digest.ready())
        return {{}, "cannot start an MD5 digest for '" + path + "'"};
    int openError = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, openError);
    if (!file)
        return {{}, failure("cannot open", path, openError)};

    for (;;) {
        const long long got = file->read(context.buffer.get(), context.blockSize);
        if (got < 0)
            return {{}, failure("cannot read", path, file->error())};
        if (got == 0)
            break;
        const auto length = static_cast<std::size_t>(got);
        if (!digest.update(context.buffer.get(), length))
            return {{}, "MD5 digest failed for '" + path + "'"};
        if (onBytes)
            onBytes(length);
    }
    std::string hex = digest.hex();
    if (hex.empty())
        return {{}, "MD5 digest failed for '" + path + "'"};
    return {std::move(hex), {}};
}
