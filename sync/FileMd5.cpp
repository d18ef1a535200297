// MD5 of a file on disk, read in large sequential blocks, with a diagnostic line for every way it can fail.
#include "sync/FileMd5.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/InputFile.hpp"
#include "sync/FileDigest.hpp"

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

FileHash hashFile(const std::string& path, const std::function<void(std::size_t)>& onBytes, bool withSha256) {
    int openError = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, openError);
    if (!file)
        return {{}, {}, HashFailure::Open, openError};
    // MD5 is computed in-process and cannot fail to start or to take a block; a SHA-256 that failed comes out empty,
    // which matches nothing.
    FileDigest digest(withSha256);

    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(hashBlockSize);
    for (;;) {
        const long long got = file->read(buffer.get(), hashBlockSize);
        // Where a folder opens (Linux), reading it fails (EISDIR): it ends here.
        if (got < 0)
            return {{}, {}, HashFailure::Read, file->error()};
        if (got == 0)
            break;
        const auto length = static_cast<std::size_t>(got);
        static_cast<void>(digest.update(buffer.get(), length));
        if (onBytes)
            onBytes(length);
    }
    FileDigests digests = digest.finish();
    return {std::move(digests.md5), std::move(digests.sha256), HashFailure::None, 0};
}

FileHash hashFileReported(const std::string& path, bool withSha256) {
    FileHash hash = hashFile(path, {}, withSha256);
    // The lines keep the words of the Windows calls they once named, which people search logs for.
    switch (hash.failure) {
    case HashFailure::None:
        // One call for the whole line, so the two workers' lines never interleave mid-line.
        platform::Print("MD5 hash of file %s is: %s\n", path.c_str(), hash.hex.c_str());
        if (withSha256)
            platform::Print("SHA-256 hash of file %s is: %s\n", path.c_str(), hash.sha256.c_str());
        return hash;
    case HashFailure::Open:
        platform::Print("Error opening file %s\nError: %d\n", path.c_str(), hash.error);
        break;
    case HashFailure::Read:
        platform::Print("ReadFile failed: %d\n", hash.error);
        break;
    }
    return hash;
}

std::string FileMd5(const std::string& path) {
    return hashFileReported(path, false).hex;
}
