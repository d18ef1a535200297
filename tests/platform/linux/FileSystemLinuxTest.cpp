// What only Linux paths do: symbolic links, a doubled leading slash, current folders of any depth or none, and
// names that differ in case alone.
#include "platform/FileSystem.hpp"

#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

using platform::CreateDirectory;
using platform::CurrentFolder;
using platform::FullPath;
using platform::FullPathIgnoringCase;
using platform::IsDirectory;
using platform::IsInsideFolder;
using testing_support::CurrentFolderGuard;
using testing_support::TempFolder;

class FileSystemLinuxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        m_root = fs::canonical(m_folder.path()).string();
        m_current.emplace(m_root);
    }
    void TearDown() override { m_current.reset(); }

    TempFolder m_folder;
    std::optional<CurrentFolderGuard> m_current;
    std::string m_root;
};

TEST_F(FileSystemLinuxTest, LinksAreResolvedLexicallyButFollowedForFolders) {
    EXPECT_EQ(FullPath("//"), "/");

    fs::create_directories("real/deep");
    std::ofstream("real/file.mpq") << "x";
    fs::create_directory_symlink(m_root + "/real/deep", "link");
    fs::create_symlink(m_root + "/real/file.mpq", "filelink");
    fs::create_symlink(m_root + "/nowhere", "dangling");

    // ".." leaves the link's name, not the link target's parent.
    EXPECT_EQ(FullPath("link/.."), m_root);
    EXPECT_TRUE(IsDirectory("link"));
    EXPECT_TRUE(IsDirectory("link\\"));
    EXPECT_FALSE(IsDirectory("filelink"));
    EXPECT_FALSE(IsDirectory("dangling"));
}

TEST_F(FileSystemLinuxTest, ResolveLinksFollowsEveryLinkByReadingIt) {
    fs::create_directories("real/deep");
    fs::create_directory_symlink("real", "relative");             // relative to its own folder
    fs::create_symlink(m_root + "/real/deep", "real/absolute");   // a full path, inside a linked folder
    fs::create_symlink("../gone/realmlist.wtf", "real/dangling"); // leads to nothing yet
    fs::create_symlink("loop-b", "loop-a");
    fs::create_symlink("loop-a", "loop-b");
    fs::create_symlink("//host/share", "share");

    EXPECT_EQ(platform::ResolveLinks("relative/absolute/x.txt"), m_root + "/real/deep/x.txt");
    EXPECT_EQ(platform::ResolveLinks("relative\\absolute\\"), m_root + "/real/deep/");
    EXPECT_EQ(platform::ResolveLinks("relative/dangling"), m_root + "/gone/realmlist.wtf");
    EXPECT_EQ(platform::ResolveLinks("missing/name"), m_root + "/missing/name");
    EXPECT_EQ(platform::ResolveLinks("relative/../x"), m_root + "/x") << "\"..\" is lexical, as in FullPath";
    EXPECT_EQ(platform::ResolveLinks("loop-a/x"), "");
    EXPECT_EQ(platform::ResolveLinks("share/x"), "");
    EXPECT_EQ(platform::ResolveLinks(""), "");
}

TEST_F(FileSystemLinuxTest, CurrentFolderOfAnyDepthOrNone) {
    // A deep current folder beyond the first buffer getcwd is given.
    const std::string name(200, 'n');
    std::string deep = m_root;
    for (int i = 0; i < 3; ++i) {
        deep += "/" + name;
        ASSERT_TRUE(CreateDirectory(deep));
    }
    {
        const CurrentFolderGuard inDeep(deep);
        EXPECT_EQ(CurrentFolder(), deep);
        EXPECT_EQ(FullPath("x"), deep + "/x");
    }

    // A relative path must not quietly become one under "/" when the current folder is gone.
    fs::create_directory(m_root + "/gone");
    const CurrentFolderGuard inGone(m_root + "/gone");
    fs::remove(m_root + "/gone");
    EXPECT_EQ(CurrentFolder(), "");
    EXPECT_EQ(FullPath("Data\\x"), "");
    EXPECT_FALSE(IsInsideFolder("x", "."));
    EXPECT_EQ(FullPath("/etc/../usr"), "/usr");
}

TEST_F(FileSystemLinuxTest, NamesThatDifferInCaseAreDifferentFolders) {
    EXPECT_FALSE(IsInsideFolder("/Game/Data/x.mpq", "/game"));
    ASSERT_TRUE(CreateDirectory("Data"));
    EXPECT_TRUE(CreateDirectory("DATA"));
    EXPECT_FALSE(IsDirectory("data"));
}

TEST_F(FileSystemLinuxTest, AMissingNameTakesItsTwinInAnotherCase) {
    // A game folder copied from Windows.
    fs::create_directories("Data/enUS");
    std::ofstream("WoW.exe") << "x";
    std::ofstream("Data/enUS/Patch.MPQ") << "x";
    EXPECT_EQ(FullPathIgnoringCase("Wow.exe"), m_root + "/WoW.exe");
    EXPECT_EQ(FullPathIgnoringCase("DATA\\ENUS\\patch.mpq"), m_root + "/Data/enUS/Patch.MPQ");
    EXPECT_EQ(FullPathIgnoringCase("data/"), m_root + "/Data/");

    // The name as written wins; of several twins the first in byte order; nothing found leaves the path as asked.
    std::ofstream("Wow.exe") << "x";
    std::ofstream("WOW.EXE") << "x";
    EXPECT_EQ(FullPathIgnoringCase("Wow.exe"), m_root + "/Wow.exe");
    EXPECT_EQ(FullPathIgnoringCase("wow.exe"), m_root + "/WOW.EXE");
    EXPECT_EQ(FullPathIgnoringCase("Data/none/x.mpq"), m_root + "/Data/none/x.mpq");
}

} // namespace
