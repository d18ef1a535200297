// Waiting out a full disk: one box that tells the player where room is needed and how much, then a slow look at
// the free space until it is there.
#include "sync/Launcher.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/Dialogs.hpp"
#include "platform/DiskSpace.hpp"

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

std::string folderOf(const std::string& fullPath) {
    const std::size_t cut = fullPath.find_last_of("\\/");
    if (cut == std::string::npos)
        return ".";
    return fullPath.substr(0, cut == 0 ? 1 : cut);
}

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

bool Launcher::waitForRoom(const std::string& fullPath, std::uint64_t bytesShort) {
    const std::string folder = folderOf(fullPath);
    const std::optional<std::uint64_t> before = platform::AvailableBytes(folder);
    platform::Print("Disk full: %s needs %llu more bytes\n", folder.c_str(),
                    static_cast<unsigned long long>(bytesShort));
    if (!m_diskFullShown.exchange(true)) {
        // Blocks this worker while it is up, which is what the worker would do anyway.
        const std::string amount = bytesShort > 0 ? megabytes(bytesShort) : std::string("some space");
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
