// Checking one game file against its checksum and downloading it when it is missing or wrong.
#include "sync/FileSync.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/FileSystem.hpp"
#include "platform/InputFile.hpp"
#include "platform/PartFile.hpp"
#include "sync/Downloader.hpp"
#include "sync/FileMd5.hpp"

#include <cstdio>
#include <memory>
#include <random>

namespace {

constexpr int maxQueryNumber = 32767;
constexpr std::size_t copyBlockSize = 1024 * 1024;
constexpr const char* separators = "\\/";

// Opens `path` for reading when it is a regular file: a folder may open too, and must not pass for one.
std::optional<platform::InputFile> openRegularFile(const std::string& path) {
    int error = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, error);
    if (!file || !file->isRegular())
        return std::nullopt;
    return file;
}

// Drawn from the system's random source at each call: reseeding one shared generator with the time in seconds
// races between the two workers and repeats the same number within a second, and an engine of each thread's own
// (thread_local) crashed under mingw's emulated thread-local storage once an earlier thread had ended. One draw per
// download costs nothing next to the download.
int randomQueryNumber() {
    std::random_device source;
    return std::uniform_int_distribution<int>(0, maxQueryNumber)(source);
}

constexpr long notFoundStatus = 404;
constexpr long goneStatus = 410;

SyncFailure failureOf(const DownloadResult& result) {
    switch (result.error) {
    case DownloadError::None:
        return SyncFailure::None;
    case DownloadError::Stopped:
        return SyncFailure::Stopped;
    case DownloadError::HttpStatus:
        return result.httpStatus == notFoundStatus || result.httpStatus == goneStatus ? SyncFailure::NotFound
                                                                                      : SyncFailure::Unreachable;
    case DownloadError::Transfer:
        return SyncFailure::Unreachable;
    case DownloadError::LocalFile:
        return SyncFailure::CannotWrite;
    case DownloadError::DiskFull:
        return SyncFailure::DiskFull;
    case DownloadError::ChecksumMismatch:
        return SyncFailure::ChecksumMismatch;
    }
    return SyncFailure::CannotWrite;
}

} // namespace

std::pair<std::string, std::string> SplitUrl(const std::string& address) {
    const std::size_t dot = address.find('.');
    if (dot == std::string::npos) {
        // Nothing to split: such an address cannot be fetched, and the whole of it stays the base.
        return {address, {}};
    }
    const std::size_t slash = address.find('/', dot);
    if (slash == std::string::npos) {
        return {address.substr(0, dot), address.substr(dot)};
    }
    return {address.substr(0, slash + 1), address.substr(slash + 1)};
}

bool VerifyFile(const std::string& fullPath, const std::string& checksum, const std::string& sha256) {
    const std::optional<platform::InputFile> file = openRegularFile(fullPath);
    if (!file) {
        return false;
    }
    if (checksum.empty()) {
        platform::Print("MD5 is empty !\n");
        return true;
    }
    platform::Print("Calc MD5 !\n");
    const FileHash actual = hashFileReported(fullPath, !sha256.empty());
    platform::Print("Server MD5: %s!\n", checksum.c_str());
    platform::Print("Client MD5: %s!\n", actual.hex.c_str());
    if (actual.hex != checksum)
        return false;
    platform::Print("MD5 Valid !\n");
    return CheckSha256(actual.sha256, sha256);
}

bool CheckSha256(const std::string& actual, const std::string& expected) {
    if (expected.empty())
        return true;
    platform::Print("Server SHA-256: %s!\n", expected.c_str());
    platform::Print("Client SHA-256: %s!\n", actual.c_str());
    // A digest that could not be computed is empty and matches nothing.
    if (actual.empty() || actual != expected)
        return false;
    platform::Print("SHA-256 Valid !\n");
    return true;
}

void CreateFolders(const std::string& path) {
    // The results are ignored on purpose: existing folders, "C:" and doubled separators are all harmless.
    std::size_t from = 1;
    for (std::size_t cut = path.find_first_of(separators, from); cut != std::string::npos;
         cut = path.find_first_of(separators, from)) {
        (void)platform::CreateDirectory(path.substr(0, cut));
        from = cut + 1;
    }
    (void)platform::CreateDirectory(path);
}

void EnsureParentFolder(const std::string& filePath) {
    const std::size_t cut = filePath.find_last_of(separators);
    // A bare file name has no folder part: creating a folder under the file's own name would block the file.
    if (cut == std::string::npos || cut == 0) {
        return;
    }
    const std::string folder = filePath.substr(0, cut);
    if (!platform::IsDirectory(folder)) {
        CreateFolders(folder);
    }
}

std::optional<DownloadRequest> PrepareDownload(const std::string& base, const std::string& path,
                                               const std::string& target, const std::string& checksum,
                                               std::optional<std::uint64_t> size, const std::string& sha256) {
    platform::Print("File Not exists %s\n", target.c_str());
    EnsureParentFolder(target);
    // A folder in the file's place is never replaced; asking the server first would only waste the transfer.
    if (platform::IsDirectory(target)) {
        platform::Print("Download failed: a folder stands where the file goes: %s\n", target.c_str());
        return std::nullopt;
    }
    // The number defeats caches between the player and the server; an address that already has a query gets
    // it as one more parameter, since a second '?' would corrupt the query the server expects.
    const std::string address = base + path;
    const char joiner = address.find('?') == std::string::npos ? '?' : '&';
    const std::string request = address + joiner + std::to_string(randomQueryNumber());
    platform::Print("Start Downloading ... %s\n", request.c_str());
    return DownloadRequest{request, target, true, address, checksum, size, sha256};
}

SyncOutcome DownloadOutcome(const DownloadResult& downloaded, const std::string& target, const std::string& checksum,
                            const std::string& sha256) {
    if (downloaded.resumedFrom > 0) {
        platform::Print("Resumed from byte %llu\n", static_cast<unsigned long long>(downloaded.resumedFrom));
    }
    if (downloaded.error == DownloadError::ChecksumMismatch) {
        platform::Print("%s %s\n", target.c_str(), downloaded.md5 == checksum ? "SHA-256 FAIL!" : "MD5 FAIL!");
        return {SyncFailure::ChecksumMismatch};
    }
    if (!downloaded) {
        platform::Print("Download failed: %s\n", downloaded.toString().c_str());
        return {failureOf(downloaded), downloaded.bytesShort};
    }
    // The digest of the bytes as they were written: the new file is not read back. A checksum that could not be
    // computed never counts as a match, not even with the empty checksum.
    const bool md5Ok = !downloaded.md5.empty() && downloaded.md5 == checksum;
    platform::Print("%s %s\n", target.c_str(), md5Ok ? "MD5 OK!" : "MD5 FAIL!");
    const bool ok = md5Ok && CheckSha256(downloaded.sha256, sha256);
    return ok ? SyncOutcome{} : SyncOutcome{SyncFailure::ChecksumMismatch};
}

SyncOutcome SyncFile(const std::string& base, const std::string& path, const std::string& location,
                     const std::string& checksum, std::string& fullPath, Downloader& downloader,
                     std::optional<std::uint64_t> size, const std::string& sha256) {
    fullPath = platform::FullPath(location);
    const std::string target = fullPath;
    if (VerifyFile(target, checksum, sha256)) {
        platform::Print("Files is OK \n");
        return {};
    }
    const std::optional<DownloadRequest> request = PrepareDownload(base, path, target, checksum, size, sha256);
    if (!request)
        return {SyncFailure::CannotWrite};
    return DownloadOutcome(downloader.fetch(*request), target, checksum, sha256);
}

bool SyncFile(const std::string& base, const std::string& path, const std::string& location,
              const std::string& checksum, std::string& fullPath, const StopFlag& stop) {
    Downloader downloader(stop);
    return static_cast<bool>(SyncFile(base, path, location, checksum, fullPath, downloader));
}

bool CopyFileContents(const std::string& source, const std::string& target, const StopFlag& stop) {
    const std::string from = platform::FullPath(source);
    const std::string to = platform::FullPath(target);
    std::optional<platform::InputFile> input = openRegularFile(from);
    if (!input) {
        return false;
    }
    std::string error;
    std::optional<platform::PartFile> output = platform::PartFile::create(to, error);
    if (!output) {
        return false;
    }
    const auto buffer = std::make_unique_for_overwrite<char[]>(copyBlockSize);
    for (;;) {
        // A copy of a large shared file takes a while; a closing launcher must not wait for it.
        if (stop.load()) {
            return false;
        }
        const long long got = input->read(buffer.get(), copyBlockSize);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        if (!output->append(buffer.get(), static_cast<std::size_t>(got))) {
            return false;
        }
    }
    return output->commit();
}
