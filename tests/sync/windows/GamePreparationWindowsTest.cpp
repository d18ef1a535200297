// The Play preparations where Windows has its own form: a cache file held open by a running program cannot be
// deleted, and the rest of Play goes on; junctions are links, never followed out of the game folder; names in any
// script work.
#include "tests/sync/GamePreparationFixture.hpp"

#include "tests/support/windows/Junction.hpp"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using testing_support::readFile;

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

bool nameExists(const fs::path& path) {
    return GetFileAttributesW(fs::absolute(path).wstring().c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST_F(GamePreparationTest, ACacheFileHeldOpenDoesNotStopTheLaterSteps) {
    m_folder.write("cache/WDB/held.wdb", "held");
    m_folder.write("old.MPQ", "old");
    fs::create_directory("WTF");
    // As the game or a scanner holds it: shared for reading, but not for deleting.
    const UniqueHandle held(CreateFileW((m_folder.path() / "cache/WDB/held.wdb").wstring().c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);

    Launcher launcher(m_folder.path().string());
    launcher.setLanguage(Language::English);
    launcher.setRealmlist(fs::absolute("WTF").string() + "/realmlist.wtf", "set realmlist here");
    launcher.prepareGame({"old.MPQ"});
    EXPECT_TRUE(fs::exists("cache/WDB/held.wdb")) << "the removal really failed";
    EXPECT_EQ(launcher.statusText(), "Preparing the game");
    EXPECT_FALSE(fs::exists("old.MPQ"));
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist here");
}

TEST_F(GamePreparationTest, JunctionsAreRemovedAsLinksAndNeverFollowedOut) {
    m_outside.write("Documents/thesis.odt", "mine");
    m_outside.write("Documents/Sub/notes.txt", "mine");
    const fs::path documents = m_outside.path() / "Documents";
    if (!testing_support::makeJunction("cache", documents) && GetLastError() == ERROR_NOT_SUPPORTED)
        GTEST_SKIP() << "this system makes no junctions (Wine 8): the Wine play-through links cache instead";
    ASSERT_TRUE(testing_support::makeJunction("Data", documents)) << GetLastError();

    Launcher launcher(m_folder.path().string());
    launcher.setRealmlist(fs::absolute("Data").string() + "/realmlist.wtf", "set realmlist here");
    launcher.prepareGame({"Data\\thesis.odt"});
    EXPECT_EQ(readFile(documents / "thesis.odt"), "mine") << "a removal through a junction";
    EXPECT_EQ(readFile(documents / "Sub/notes.txt"), "mine") << "the cache junction was descended";
    EXPECT_FALSE(nameExists("cache")) << "the junction itself goes";
    EXPECT_FALSE(nameExists(documents / "realmlist.wtf")) << "a realm list written through a junction out";
}

TEST_F(GamePreparationTest, AGameFolderNamedInPersianIsPreparedAllTheSame) {
    const fs::path game = m_folder.path() / fs::path(u8"بازی");
    fs::create_directories(game / "cache/WDB");
    fs::create_directories(game / "Data");
    std::ofstream(game / "cache/WDB/creaturecache.wdb") << "cached";
    std::ofstream(game / "Data/old.MPQ") << "old";
    const testing_support::CurrentFolderGuard inGame(game);
    Launcher launcher;
    launcher.prepareGame({"Data\\old.MPQ"});
    EXPECT_FALSE(nameExists(game / "cache"));
    EXPECT_FALSE(nameExists(game / "Data/old.MPQ"));
}

} // namespace
