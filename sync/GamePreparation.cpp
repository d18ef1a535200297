// What Play does to the game folder before the game starts: "cache" removed, listed files deleted, realm list
// written; with the Launcher's realm list and Play members.
#include "sync/GamePreparation.hpp"

#include "platform/Diagnostics.hpp"
#include "platform/FileRemoval.hpp"
#include "platform/FileSystem.hpp"
#include "platform/PartFile.hpp"
#include "sync/Launcher.hpp"

namespace {

constexpr const char* cacheFolder = "cache";

// Where the name at `path` itself lies once the links of the folders on its way are followed; a link of that name is
// not followed. Empty when those links cannot be followed safely.
std::string placeOf(const std::string& path) {
    const std::string fullPath = platform::FullPath(path);
    const std::size_t cut = fullPath.rfind('/');
    if (cut == std::string::npos) {
        return {};
    }
    // With its separator, so that a drive's or the file system's root stays one.
    std::string folder = platform::ResolveLinks(fullPath.substr(0, cut + 1));
    if (folder.empty()) {
        return {};
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder + fullPath.substr(cut + 1);
}

// True when `place` (links already followed) lies inside the game folder, whose own links are followed too.
bool landsInside(const std::string& place, const std::string& gameFolder) {
    return !place.empty() && platform::IsInsideFolder(place, platform::ResolveLinks(gameFolder));
}

} // namespace

void RemoveFile(const std::string& path, const std::string& gameFolder) {
    if (path.empty())
        return;
    // The server names what to delete, but only inside the game folder: the text alone rules out shares and devices
    // before any file call, then the links on the way must not lead out of the folder either.
    const std::string place = platform::IsNetworkOrDevicePath(path) ? std::string() : placeOf(path);
    if (!landsInside(place, gameFolder)) {
        platform::Print("Refused \"removes\" outside the game folder: %s\n", path.c_str());
        return;
    }
    // A listed folder is never removed, nor a link that leads to one.
    if (platform::IsDirectory(place))
        return;
    (void)platform::RemoveFileOrLink(place);
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
    // A link to a realm list shared between installs is written through, as long as it stays in the game folder; a
    // link out of it (planted by an archive) is replaced by a file of our own, and the file it points to is left.
    if (!landsInside(placeOf(target), m_gameFolder)) {
        platform::Print("Realm list not written, its folder lies outside the game folder: %s\n", target.c_str());
        return RealmlistWrite::Outside;
    }
    const bool throughLink = landsInside(platform::ResolveLinks(target), m_gameFolder);
    if (!throughLink)
        platform::Print("Realm list link leads out of the game folder, replaced by a file: %s\n", target.c_str());
    // A player who made the file read-only wants to keep the realm list they have; the game starts all the same.
    if (throughLink && platform::PartFile::isReadOnly(target)) {
        platform::Print("Realm list left as it is, it is read-only: %s\n", target.c_str());
        return RealmlistWrite::ReadOnly;
    }
    // Written beside the file and renamed over it, so the game never reads half a realm list. A link to a shared
    // realm list stays a link, and the file keeps its permissions.
    std::string error;
    std::optional<platform::PartFile> file = platform::PartFile::create(
        target, error, {.durable = true, .keepMode = throughLink, .throughLink = throughLink});
    if (file && file->append(text.data(), text.size()) && file->commit())
        return RealmlistWrite::Written;
    platform::Print("Realm list not written: %s\n", (file ? file->error() : error).c_str());
    return RealmlistWrite::Failed;
}

void Launcher::prepareGame(const std::vector<std::string>& removals) {
    // A cache that cannot be removed completely (a file in use) must not stop the game from starting. A link named
    // cache goes as a link: what it points to is the player's, not the game's.
    const platform::TreeRemoval cache = platform::RemoveTree(platform::FullPath(cacheFolder));
    if (!cache.complete)
        platform::Print("Could not remove the cache folder completely: %s\n", cache.error.c_str());

    setStatus(status::preparing);
    for (const std::string& path : removals)
        RemoveFile(path, m_gameFolder);
    // Not written or not: the game starts, and the line printed says why.
    (void)writeRealmlist();
}
