// MD5 of a file on disk, read in large sequential blocks, with a diagnostic line for every way it can fail.
#include "sync/FileMd5.hpp"

#include "platform/InputFile.hpp"
#include "sync/Md5Digest.hpp"

#include <cstdio>
#include <memory>

namespace {
// Small reads let system-call cost dominate: 1 KiB blocks halve the throughput of a page-cached file.
constexpr std::size_t readBlockSize = 256 * 1024;
} // namespace

std::string FileMd5(const std::string& path) {
    int openError = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, openError);
    if (!file) {
        std::printf("Error opening file %s\nError: %d\n", path.c_str(), openError);
        return {};
    }
    Md5Digest digest;
    if (!digest.ready()) {
        std::printf("CryptAcquireContext failed: %d\n", digest.error());
        return {};
    }

    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(readBlockSize);
    for (;;) {
        const long long got = file->read(buffer.get(), readBlockSize);
        if (got < 0) {
            // A folder opens but cannot be read (EISDIR): it ends here.
            std::printf("ReadFile failed: %d\n", file->error());
            return {};
        }
        if (got == 0)
            break;
        if (!digest.update(buffer.get(), static_cast<std::size_t>(got))) {
            std::printf("CryptHashData failed: %d\n", digest.error());
            return {};
        }
    }

    const std::string hex = digest.hex();
    if (hex.empty()) {
        std::printf("CryptGetHashParam failed: %d\n", digest.error());
        return {};
    }
    // One call for the whole line, so the two workers' lines never interleave mid-line.
    std::printf("MD5 hash of file %s is: %s\n", path.c_str(), hex.c_str());
    return hex;
}
