// What Play does to the game folder before the game starts: "cache" removed, listed files deleted, realm list
// written; with the Launcher's realm list and Play members.
#include "sync/GamePreparation.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/FileSystem.hpp"
#include "platform/PartFile.hpp"
#include "sync/Launcher.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* cacheFolder = "cache";

} // namespace

void RemoveFile(const std::string& path) {
    const std::string full = platform::FullPath(path);
    // std::remove would also delete an empty folder on POSIX; a listed folder is never removed.
    if (full.empty() || platform::IsDirectory(full))
        return;
    std::remove(full.c_str());
}

void Launcher::setRealmlist(std::string target, std::string text) {
    const std::lock_guard lock(m_mutex);
    m_realmlistTarget = std::move(target);
    m_realmlistText = std::move(text);
}

std::string Launcher::realmlistTarget() const {
    const std::lock_guard lock(m_mutex);
    return m_realmlistTarget;
}

RealmlistWrite Launcher::writeRealmlist() const {
    std::string target;
    std::string text;
    {
        const std::lock_guard lock(m_mutex);
        target = m_realmlistTarget;
        text = m_realmlistText;
    }
    if (target.empty())
        return RealmlistWrite::NoTarget;
    // A player who made the file read-only wants to keep the realm list they have; the game starts all the same.
    if (platform::PartFile::isReadOnly(target)) {
        platform::Print("Realm list left as it is, it is read-only: %s\n", target.c_str());
        return RealmlistWrite::ReadOnly;
    }
    // Written beside the file and renamed over it, so the game never reads half a realm list. A link to a shared
    // realm list stays a link, and the file keeps its permissions.
    std::string error;
    std::optional<platform::PartFile> file =
        platform::PartFile::create(target, error, {.durable = true, .keepMode = true, .throughLink = true});
    if (file && file->append(text.data(), text.size()) && file->commit())
        return RealmlistWrite::Written;
    platform::Print("Realm list not written: %s\n", (file ? file->error() : error).c_str());
    return RealmlistWrite::Failed;
}

void Launcher::prepareGame(const std::vector<std::string>& removals) {
    // A cache that cannot be removed completely (a file in use) must not stop the game from starting.
    std::error_code error;
    std::filesystem::remove_all(platform::FullPath(cacheFolder), error);
    if (error)
        platform::Print("Could not remove the cache folder completely: %s\n", error.message().c_str());

    setStatus(status::preparing);
    for (const std::string& path : removals)
        RemoveFile(path);
    // Not written or not: the game starts, and the line printed says why.
    (void)writeRealmlist();
}
