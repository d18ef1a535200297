// Where the launcher stands: the game-folder check and the full-path tests behind it.
#include "app/GameFolder.hpp"

#include "app/Messages.hpp"
#include "platform/FileSystem.hpp"
#include "sync/FileSync.hpp"
#include "sync/Launcher.hpp"

namespace {
constexpr const char* gameClient = "./Wow.exe";
}

DirectoryCheck DirectoryExists(const std::string& path) {
    DirectoryCheck check;
    check.fullPath = platform::FullPath(path);
    check.exists = !check.fullPath.empty() && platform::IsDirectory(check.fullPath);
    return check;
}

bool FileExists(const std::string& path, std::string& fullPath) {
    // A game folder copied from Windows spells its names as that file system let it ("WoW.exe").
    fullPath = platform::FullPathIgnoringCase(path);
    // A folder opens for reading on this OS but is no program to start.
    return !fullPath.empty() && !platform::IsDirectory(fullPath) && VerifyFile(fullPath, {});
}

bool checkGameFolder(Launcher& launcher, const Services& services) {
    std::string clientPath;
    if (FileExists(gameClient, clientPath)) {
        launcher.setFullGameDownload(false);
        return true;
    }
    const Language language = launcher.language();
    services.showError(message::moveIntoGameFolder.in(language));
    if (!services.askYesNo(message::downloadGameCaption, message::downloadGameQuestion.in(language)))
        return false;
    launcher.setFullGameDownload(true);
    return true;
}
