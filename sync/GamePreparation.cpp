// What Play does to the game folder before the game starts: "cache" removed, listed files deleted, realm list written.
#include "sync/GamePreparation.hpp"

#include "platform/FileSystem.hpp"
#include "sync/Launcher.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr const char* cacheFolder = "cache";
constexpr const char* temporarySuffix = ".tmp";

} // namespace

void RemoveFile(const std::string& path) {
    const std::string full = platform::FullPath(path);
    // std::remove would also delete an empty folder on POSIX; a listed folder is never removed.
    if (full.empty() || platform::IsDirectory(full))
        return;
    std::remove(full.c_str());
}

bool Launcher::writeRealmlist() const {
    std::string target;
    std::string text;
    {
        const std::lock_guard lock(m_mutex);
        target = m_realmlistTarget;
        text = m_realmlistText;
    }
    if (target.empty())
        return true;
    // Written beside the target and renamed over it, so the game never reads a half-written realm list.
    const std::string temporary = target + temporarySuffix;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

void Launcher::prepareGame(const std::vector<std::string>& removals) {
    // A cache that cannot be removed completely (a file in use) must not stop the game from starting.
    std::error_code error;
    std::filesystem::remove_all(platform::FullPath(cacheFolder), error);
    if (error)
        std::printf("Could not remove the cache folder completely: %s\n", error.message().c_str());

    setStatus(status::preparing);
    for (const std::string& path : removals)
        RemoveFile(path);
    writeRealmlist();
}
