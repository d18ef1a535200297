// Waiting out a full disk: one box that tells the player where room is needed and how much, then a slow look at
// the free space until it is there; and the full game's room, looked at once before its first file.
#include "sync/Launcher.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/Dialogs.hpp"
#include "platform/DiskSpace.hpp"
#include "platform/FileFacts.hpp"
#include "platform/FileSystem.hpp"
#include "platform/PartFile.hpp"

#include <cstdio>
#include <string>
#include <thread>

namespace {

// Free space changes when the player acts; looking every few seconds costs nothing and answers soon enough.
constexpr std::chrono::milliseconds roomCheckInterval{3000};
constexpr std::chrono::milliseconds stopCheckInterval{100};
constexpr std::uint64_t bytesPerMegabyte = 1000 * 1000;

constexpr TextPair diskFullBox{
    "There is not enough free space to download the game files into\n%s\n\nPlease free up %s more on that drive. "
    "The download goes on by itself once there is room.",
    "Baraye download-e file haye bazi dar in folder ja nist:\n%s\n\nLotfan %s digar dar in drive ja khali konid. "
    "Download khodash edame midahad vaghti ja bashad."};
// When a write failed for want of room before the server said the file's size.
constexpr TextPair unknownAmount{"some space", "kami ja"};

// Whole megabytes, rounded up: "0 MB" more would read as if nothing were missing.
std::string megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + bytesPerMegabyte - 1) / bytesPerMegabyte) + " MB";
}

std::string fill(std::string_view pattern, const std::string& folder, const std::string& amount) {
    std::string text(pattern);
    text.replace(text.find("%s"), 2, folder);
    text.replace(text.find("%s"), 2, amount);
    return text;
}

} // namespace

std::string FolderOf(const std::string& fullPath) {
    const std::size_t cut = fullPath.find_last_of("\\/");
    if (cut == std::string::npos)
        return ".";
    return fullPath.substr(0, cut == 0 ? 1 : cut);
}

bool Launcher::waitForRoom(const std::string& folder, std::uint64_t bytesShort, FailureReport report) {
    const std::optional<std::uint64_t> before = platform::AvailableBytes(folder);
    platform::Print("Disk full: %s needs %llu more bytes\n", folder.c_str(),
                    static_cast<unsigned long long>(bytesShort));
    if (report == FailureReport::ToPlayer && !m_diskFullShown.exchange(true)) {
        // Blocks this worker while it is up, which is what the worker would do anyway.
        const std::string amount = bytesShort > 0 ? megabytes(bytesShort) : std::string(unknownAmount.in(language()));
        platform::ShowError(fill(diskFullBox.in(language()), folder, amount));
    }
    // Without a figure to wait for, one interval and another attempt.
    const std::uint64_t wanted = before && bytesShort > 0 ? *before + bytesShort : 0;
    auto nextCheck = std::chrono::steady_clock::now() + roomCheckInterval;
    for (;;) {
        if (m_stop)
            return false;
        if (std::chrono::steady_clock::now() >= nextCheck) {
            if (wanted == 0)
                return true;
            const std::optional<std::uint64_t> now = platform::AvailableBytes(folder);
            if (!now || *now >= wanted)
                return true;
            nextCheck += roomCheckInterval;
        }
        std::this_thread::sleep_for(stopCheckInterval);
    }
}

bool Launcher::waitForGameDataRoom(const std::vector<FileEntry>& gameFiles) {
    // Only missing files are counted: a file on disk may turn out valid, and one that does not is checked again
    // before its own download. A new player's full install, the case that fills disks, is all missing files.
    std::uint64_t needed = 0;
    for (const FileEntry& entry : gameFiles) {
        if (!entry.size || !insideGameFolder(entry.location))
            continue;
        const std::string fullPath = platform::FullPath(entry.location);
        if (platform::ReadFileFacts(fullPath))
            continue;
        const std::optional<platform::FileFacts> partial =
            platform::ReadFileFacts(platform::PartFile::resumePath(fullPath));
        const std::uint64_t kept = partial ? partial->size : 0;
        needed += *entry.size > kept ? *entry.size - kept : 0;
    }
    const std::optional<std::uint64_t> available = platform::AvailableBytes(m_gameFolder);
    if (needed == 0 || !available || *available >= needed)
        return true;
    // The worker sets its own status again for the first file.
    setStatus(status::diskFull);
    return waitForRoom(m_gameFolder, needed - *available, FailureReport::ToPlayer);
}
