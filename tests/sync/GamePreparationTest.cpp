// The preparations before play: "cache" removed, listed files deleted (folders kept), the realm list written exactly.
#include "tests/sync/GamePreparationFixture.hpp"

#include <filesystem>

namespace fs = std::filesystem;
using testing_support::readFile;

namespace {

TEST_F(GamePreparationTest, PrepareGameClearsCacheRemovesListedFilesAndWritesTheRealmList) {
    m_folder.write("cache/WDB/enUS/creaturecache.wdb", "cached");
    m_folder.write("cache/top.txt", "cached");
    m_folder.write("Data/patch-4.MPQ", "stale patch");
    m_folder.write("Data/keep.MPQ", "keep");
    m_folder.write("WTF/realmlist.wtf", "set realmlist old.example.org\r\nset patchlist old\r\n");
    fs::create_directory("emptyFolder");

    Launcher launcher(m_folder.path().string());
    launcher.setLanguage(Language::English);
    launcher.setRealmlist(fs::absolute("WTF").string() + "/realmlist.wtf", "set realmlist logon.varnhold.net");
    launcher.prepareGame({"Data/patch-4.MPQ", "missing.MPQ", "emptyFolder", "Data\\..\\Data/keep.MPQ"});

    EXPECT_FALSE(fs::exists("cache")) << "nested folders go with it";
    EXPECT_EQ(launcher.statusText(), "Preparing the game");
    EXPECT_FALSE(fs::exists("Data/patch-4.MPQ"));
    EXPECT_FALSE(fs::exists("Data/keep.MPQ")) << "a listed path is resolved before deleting";
    EXPECT_TRUE(fs::is_directory("emptyFolder")) << "a listed folder is never removed, not even an empty one";
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist logon.varnhold.net") << "exactly the text, no line end";
    EXPECT_EQ(std::distance(fs::directory_iterator("WTF"), fs::directory_iterator{}), 1)
        << "no temporary file is left beside it";

    // Pressing Play again runs everything again; the Finglish text follows the language at that moment.
    m_folder.write("cache/again.txt", "cached");
    launcher.setLanguage(Language::Finglish);
    launcher.prepareGame({});
    EXPECT_FALSE(fs::exists("cache"));
    EXPECT_EQ(launcher.statusText(), "Amade Sazi bazi");
}

TEST_F(GamePreparationTest, WithoutARealmListTargetNothingIsWritten) {
    Launcher launcher(m_folder.path().string());
    EXPECT_EQ(launcher.writeRealmlist(), RealmlistWrite::NoTarget);
    launcher.prepareGame({});
    EXPECT_TRUE(fs::is_empty(m_folder.path()));

    launcher.setRealmlist(fs::absolute("no/such/folder").string() + "/realmlist.wtf", "text");
    EXPECT_EQ(launcher.writeRealmlist(), RealmlistWrite::Failed) << "a folder that is not there cannot take the file";
}

// Read-only as each system has it: no write permission on Linux, the read-only attribute on Windows.
TEST_F(RealmlistTest, AReadOnlyFileIsLeftAsItIs) {
    constexpr fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    m_folder.write("WTF/realmlist.wtf", "set realmlist mine");
    fs::permissions("WTF/realmlist.wtf", writable, fs::perm_options::remove);
    EXPECT_EQ(write("set realmlist theirs"), RealmlistWrite::ReadOnly);
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist mine");
    EXPECT_EQ(othersInFolder(), 0u);

    fs::permissions("WTF/realmlist.wtf", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(write("set realmlist theirs"), RealmlistWrite::Written);
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist theirs");
    EXPECT_EQ(othersInFolder(), 0u);
}

TEST_F(GamePreparationTest, RemoveFileDeletesFilesOnly) {
    m_folder.write("sub/file.txt", "x");
    fs::create_directory("empty");
    const std::string game = m_folder.path().string();
    RemoveFile("sub/file.txt", game);
    RemoveFile("empty", game);
    RemoveFile("sub/", game);
    RemoveFile("does-not-exist", game);
    RemoveFile("", game);
    EXPECT_FALSE(fs::exists("sub/file.txt"));
    EXPECT_TRUE(fs::is_directory("empty"));
    EXPECT_TRUE(fs::is_directory("sub"));
}

TEST_F(GamePreparationTest, RemovalsOutsideTheGameFolderAreRefused) {
    m_outside.write("thesis.odt", "mine");
    m_folder.write("Data/old.MPQ", "old");
    const fs::path thesis = m_outside.path() / "thesis.odt";
    const std::string up = "..\\" + m_outside.path().filename().string() + "\\thesis.odt";
    Launcher launcher(m_folder.path().string());
    launcher.prepareGame({up, thesis.string(), "Data/../" + up, "\\\\127.0.0.1\\share\\x.txt", "Data/old.MPQ"});
    EXPECT_EQ(readFile(thesis), "mine");
    EXPECT_FALSE(fs::exists("Data/old.MPQ")) << "what lies inside is still removed";
}

} // namespace
