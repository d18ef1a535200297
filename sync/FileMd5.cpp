// Digests of a file on disk, read in large sequential blocks; for MD5 a diagnostic line for every way it can fail.
#include "sync/FileMd5.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/InputFile.hpp"
#include "sync/Md5Digest.hpp"
#include "sync/Sha256Digest.hpp"

#include <cstdio>
#include <memory>

std::string FileHash::describe(const std::string& path) const {
    const std::string quoted = "'" + path + "'";
    switch (failure) {
    case HashFailure::None:
        return {};
    case HashFailure::Open:
        return "cannot open " + quoted + ": " + platform::InputFile::errorText(error);
    case HashFailure::Read:
        return "cannot read " + quoted + ": " + platform::InputFile::errorText(error);
    }
    return {};
}

namespace {

template <typename Digest>
FileHash digestFile(const std::string& path, const std::function<void(std::size_t)>& onBytes) {
    int openError = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, openError);
    if (!file)
        return {{}, HashFailure::Open, openError};
    // The digest is computed in-process: unlike a system provider it cannot fail to start or to take a block.
    Digest digest;

    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(hashBlockSize);
    for (;;) {
        const long long got = file->read(buffer.get(), hashBlockSize);
        // Where a folder opens (Linux), reading it fails (EISDIR): it ends here.
        if (got < 0)
            return {{}, HashFailure::Read, file->error()};
        if (got == 0)
            break;
        const auto length = static_cast<std::size_t>(got);
        static_cast<void>(digest.update(buffer.get(), length));
        if (onBytes)
            onBytes(length);
    }
    return {digest.hex(), HashFailure::None, 0};
}

} // namespace

FileHash hashFile(const std::string& path, const std::function<void(std::size_t)>& onBytes) {
    return digestFile<Md5Digest>(path, onBytes);
}

FileHash hashFileSha256(const std::string& path) {
    return digestFile<Sha256Digest>(path, {});
}

std::string FileMd5(const std::string& path) {
    FileHash hash = hashFile(path);
    // The lines keep the words of the Windows calls they once named, which people search logs for.
    switch (hash.failure) {
    case HashFailure::None:
        // One call for the whole line, so the two workers' lines never interleave mid-line.
        platform::Print("MD5 hash of file %s is: %s\n", path.c_str(), hash.hex.c_str());
        return std::move(hash.hex);
    case HashFailure::Open:
        platform::Print("Error opening file %s\nError: %d\n", path.c_str(), hash.error);
        break;
    case HashFailure::Read:
        platform::Print("ReadFile failed: %d\n", hash.error);
        break;
    }
    return {};
}
