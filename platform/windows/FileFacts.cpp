// File facts from GetFileInformationByHandle: size, last write time, volume serial number and file index.
#include "platform/FileFacts.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/Win32.hpp"

namespace platform {

namespace {

// FILETIME counts 100 ns ticks from 1601-01-01 UTC; the facts count nanoseconds from 1970-01-01 UTC.
constexpr std::int64_t ticksFrom1601To1970 = 116'444'736'000'000'000;
constexpr std::int64_t nanosecondsPerTick = 100;

std::uint64_t joined(DWORD high, DWORD low) {
    return std::uint64_t{high} << 32 | low;
}

} // namespace

std::optional<FileFacts> ReadFileFacts(const std::string& path) {
    const std::wstring full = detail::systemPath(path);
    if (full.empty()) {
        return std::nullopt;
    }
    // No access asked for: the facts are readable even while another program holds the file without sharing.
    // Links are followed, as stat does.
    const detail::UniqueHandle file(CreateFileW(full.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK ||
        GetFileInformationByHandle(file.get(), &information) == 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    FileFacts facts;
    facts.size = joined(information.nFileSizeHigh, information.nFileSizeLow);
    const auto ticks = static_cast<std::int64_t>(
        joined(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime));
    facts.modifiedNs = (ticks - ticksFrom1601To1970) * nanosecondsPerTick;
    facts.volume = information.dwVolumeSerialNumber;
    facts.identity = joined(information.nFileIndexHigh, information.nFileIndexLow);
    return facts;
}

} // namespace platform
