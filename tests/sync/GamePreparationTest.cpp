// The preparations before play: "cache" removed, listed files deleted (folders kept), the realm list written exactly.
#include "sync/GamePreparation.hpp"
#include "sync/Launcher.hpp"

#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;
using testing_support::CurrentFolderGuard;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

// The unprivileged user a root test drops to, so that folder permissions hold again.
constexpr uid_t nobody = 65534;

class GamePreparationTest : public ::testing::Test {
protected:
    TempFolder m_folder;
    CurrentFolderGuard m_inFolder{m_folder.path()};
};

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

// The realm list is the player's file as much as ours: a lock, a link and the names beside it are respected.
class RealmlistTest : public GamePreparationTest {
protected:
    RealmlistWrite write(const std::string& text) {
        Launcher launcher(m_folder.path().string());
        launcher.setRealmlist(fs::absolute("WTF/realmlist.wtf").string(), text);
        return launcher.writeRealmlist();
    }
    // Everything in WTF/ apart from the realm list itself.
    std::size_t othersInFolder() {
        std::size_t count = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator("WTF"))
            count += entry.path().filename() != "realmlist.wtf" ? 1 : 0;
        return count;
    }
};

TEST_F(RealmlistTest, AReadOnlyFileIsLeftAsItIs) {
    m_folder.write("WTF/realmlist.wtf", "set realmlist mine");
    ASSERT_EQ(::chmod("WTF/realmlist.wtf", 0444), 0);
    EXPECT_EQ(write("set realmlist theirs"), RealmlistWrite::ReadOnly);
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist mine");
    EXPECT_EQ(fs::status("WTF/realmlist.wtf").permissions(), fs::perms(0444));
    EXPECT_EQ(othersInFolder(), 0u);

    // A writable one keeps its permissions when it is replaced.
    ASSERT_EQ(::chmod("WTF/realmlist.wtf", 0640), 0);
    EXPECT_EQ(write("set realmlist theirs"), RealmlistWrite::Written);
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist theirs");
    EXPECT_EQ(fs::status("WTF/realmlist.wtf").permissions(), fs::perms(0640));
}

TEST_F(RealmlistTest, ALinkStaysALinkAndItsTargetIsWritten) {
    m_folder.write("shared/realmlist.wtf", "old");
    fs::create_directory("WTF");
    fs::create_symlink("../shared/realmlist.wtf", "WTF/realmlist.wtf");
    EXPECT_EQ(write("set realmlist new"), RealmlistWrite::Written);
    EXPECT_TRUE(fs::is_symlink("WTF/realmlist.wtf"));
    EXPECT_EQ(readFile("shared/realmlist.wtf"), "set realmlist new");
    EXPECT_EQ(std::distance(fs::directory_iterator("shared"), fs::directory_iterator{}), 1);
}

TEST_F(RealmlistTest, NoExistingNameBesideItIsOpened) {
    // A link planted under a temporary name must not lead the write to another file.
    m_folder.write("victim.txt", "untouched");
    fs::create_directory("WTF");
    fs::create_symlink(fs::absolute("victim.txt"), "WTF/realmlist.wtf.tmp");
    EXPECT_EQ(write("set realmlist new"), RealmlistWrite::Written);
    EXPECT_EQ(readFile("victim.txt"), "untouched");
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist new");
    EXPECT_EQ(othersInFolder(), 1u) << "only the planted link";
}

TEST_F(GamePreparationTest, RemoveFileDeletesFilesOnly) {
    m_folder.write("sub/file.txt", "x");
    fs::create_directory("empty");
    RemoveFile("sub/file.txt");
    RemoveFile("empty");
    RemoveFile("sub/");
    RemoveFile("does-not-exist");
    RemoveFile("");
    EXPECT_FALSE(fs::exists("sub/file.txt"));
    EXPECT_TRUE(fs::is_directory("empty"));
    EXPECT_TRUE(fs::is_directory("sub"));
}

// A cache that cannot be removed whole (here: a locked subfolder) must not stop the later steps.
TEST_F(GamePreparationTest, ACacheThatCannotBeRemovedWholeDoesNotStopTheLaterSteps) {
    m_folder.write("cache/locked/held.txt", "held");
    m_folder.write("old.MPQ", "old");
    fs::create_directory("WTF");
    ASSERT_EQ(::chmod("cache/locked", 0555), 0);
    // Root ignores folder permissions: the preparation then runs in a child that drops to an unprivileged user.
    if (::geteuid() == 0) {
        for (const char* path : {".", "cache", "cache/locked/held.txt", "old.MPQ", "WTF"})
            ASSERT_EQ(::chown(path, nobody, nobody), 0) << path;
        ASSERT_EQ(::chmod(".", 0755), 0);
    }
    const std::string target = fs::absolute("WTF").string() + "/realmlist.wtf";

    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
            ::_exit(2);
        Launcher launcher(m_folder.path().string());
        launcher.setLanguage(Language::English);
        launcher.setRealmlist(target, "set realmlist here");
        launcher.prepareGame({"old.MPQ"});
        ::_exit(launcher.statusText() == "Preparing the game" ? 0 : 1);
    }
    int result = 0;
    ASSERT_EQ(::waitpid(child, &result, 0), child);
    ::chmod("cache/locked", 0755);
    ASSERT_TRUE(WIFEXITED(result));
    EXPECT_EQ(WEXITSTATUS(result), 0) << "1: status not set, 2: could not drop privileges";
    EXPECT_TRUE(fs::exists("cache/locked/held.txt")) << "the removal really failed";
    EXPECT_FALSE(fs::exists("old.MPQ"));
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist here");
}

} // namespace
