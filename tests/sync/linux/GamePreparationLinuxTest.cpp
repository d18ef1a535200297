// The Play preparations where Linux has its own means: permission bits, symbolic links, and a folder locked by its
// mode.
#include "tests/sync/GamePreparationFixture.hpp"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;
using testing_support::readFile;

namespace {

// The unprivileged user a root test drops to, so that folder permissions hold again.
constexpr uid_t nobody = 65534;

TEST_F(RealmlistTest, TheFileKeepsItsPermissionBits) {
    m_folder.write("WTF/realmlist.wtf", "set realmlist mine");
    ASSERT_EQ(::chmod("WTF/realmlist.wtf", 0444), 0);
    EXPECT_EQ(write("set realmlist theirs"), RealmlistWrite::ReadOnly);
    EXPECT_EQ(fs::status("WTF/realmlist.wtf").permissions(), fs::perms(0444));

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

TEST_F(RealmlistTest, ALinkOutOfTheGameFolderIsReplacedByAFile) {
    m_outside.write("realmlist.wtf", "theirs");
    fs::create_directory("WTF");
    fs::create_symlink(m_outside.path() / "realmlist.wtf", "WTF/realmlist.wtf");
    EXPECT_EQ(write("set realmlist new"), RealmlistWrite::Written);
    EXPECT_FALSE(fs::is_symlink("WTF/realmlist.wtf"));
    EXPECT_EQ(readFile("WTF/realmlist.wtf"), "set realmlist new");
    EXPECT_EQ(readFile(m_outside.path() / "realmlist.wtf"), "theirs");

    // A folder that leads out: nothing is written there at all.
    fs::remove_all("WTF");
    fs::create_directory_symlink(m_outside.path(), "WTF");
    EXPECT_NE(write("set realmlist new"), RealmlistWrite::Written);
    EXPECT_EQ(readFile(m_outside.path() / "realmlist.wtf"), "theirs");
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

TEST_F(GamePreparationTest, LinksNeverLeadPlayOutOfTheGameFolder) {
    m_outside.write("Documents/thesis.odt", "mine");
    m_outside.write("Documents/notes.txt", "mine");
    const fs::path documents = m_outside.path() / "Documents";
    fs::create_directory_symlink(documents, "Data");
    fs::create_directory("cache");
    fs::create_directory_symlink(documents, "cache/WDB");
    fs::create_symlink(documents / "notes.txt", "notes-link.txt");

    Launcher launcher(m_folder.path().string());
    launcher.prepareGame({"Data/thesis.odt", "notes-link.txt"});
    EXPECT_EQ(readFile(documents / "thesis.odt"), "mine") << "a removal through a folder link";
    EXPECT_EQ(readFile(documents / "notes.txt"), "mine") << "a listed link goes as a link";
    EXPECT_FALSE(fs::exists(fs::symlink_status("notes-link.txt")));
    EXPECT_FALSE(fs::exists(fs::symlink_status("cache"))) << "the link inside the cache went as a link";
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
