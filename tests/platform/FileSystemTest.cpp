// Path resolution and folder tests against a real temporary folder that is made the current one.
#include "platform/FileSystem.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using platform::CreateDirectory;
using platform::CurrentFolder;
using platform::FullPath;
using platform::IsDirectory;
using platform::IsInsideFolder;

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "varnhold-fs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = fs::canonical(pattern).string();
        m_previous = fs::current_path();
        fs::current_path(m_root);
    }
    void TearDown() override {
        fs::current_path(m_previous);
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    static void touch(const std::string& path) { std::ofstream(path) << "x"; }

    std::string m_root; // canonical, so that it compares equal to what getcwd reports
    fs::path m_previous;
};

TEST_F(FileSystemTest, FullPathNormalisesWindowsAndPosixForms) {
    EXPECT_EQ(FullPath(""), "");
    EXPECT_EQ(CurrentFolder(), m_root);
    EXPECT_EQ(FullPath("."), m_root);
    EXPECT_EQ(FullPath("./"), m_root + "/");

    // Servers write Windows paths; the trailing separator says "folder" and must survive.
    EXPECT_EQ(FullPath("Data\\enUS\\"), m_root + "/Data/enUS/");
    EXPECT_EQ(FullPath("Data\\enUS\\realmlist.wtf"), m_root + "/Data/enUS/realmlist.wtf");
    EXPECT_EQ(FullPath("a//b\\\\c/\\d"), m_root + "/a/b/c/d");
    EXPECT_EQ(FullPath("./a/./b/.."), m_root + "/a");
    EXPECT_EQ(FullPath("a/b/../../c/"), m_root + "/c/");
    EXPECT_EQ(FullPath(".."), fs::path(m_root).parent_path().string());

    EXPECT_EQ(FullPath("/usr//lib/../bin"), "/usr/bin");
    EXPECT_EQ(FullPath("\\usr\\bin"), "/usr/bin");
    EXPECT_EQ(FullPath("/"), "/");
    EXPECT_EQ(FullPath("//"), "/");
    EXPECT_EQ(FullPath("/../../x"), "/x");
    EXPECT_EQ(FullPath("/x/../.."), "/");

    // Lexical: ".." leaves the link's name, not the link target's parent.
    fs::create_directories("real/deep");
    fs::create_directory_symlink(m_root + "/real/deep", "link");
    EXPECT_EQ(FullPath("link/.."), m_root);
}

TEST_F(FileSystemTest, FullPathHasNoLengthLimit) {
    const std::string name(200, 'n');
    const std::string relative = name + "\\" + name + "/" + name + "\\file.mpq";
    const std::string full = FullPath(relative);
    EXPECT_GT(full.size(), 600u);
    EXPECT_EQ(full, m_root + "/" + name + "/" + name + "/" + name + "/file.mpq");

    // A deep current folder beyond the first buffer getcwd is given.
    std::string deep = m_root;
    for (int i = 0; i < 3; ++i) {
        deep += "/" + name;
        ASSERT_TRUE(CreateDirectory(deep));
    }
    fs::current_path(deep);
    EXPECT_EQ(CurrentFolder(), deep);
    EXPECT_EQ(FullPath("x"), deep + "/x");
    fs::current_path(m_root);
}

TEST_F(FileSystemTest, CurrentFolderAtTheRootAndAfterItIsRemoved) {
    fs::current_path("/");
    EXPECT_EQ(CurrentFolder(), "/");
    EXPECT_EQ(FullPath("../etc"), "/etc");

    // A relative path must not quietly become one under "/" when the current folder is gone.
    fs::create_directory(m_root + "/gone");
    fs::current_path(m_root + "/gone");
    fs::remove(m_root + "/gone");
    EXPECT_EQ(CurrentFolder(), "");
    EXPECT_EQ(FullPath("Data\\x"), "");
    EXPECT_FALSE(IsInsideFolder("x", "."));
    EXPECT_EQ(FullPath("/etc/../usr"), "/usr");
    fs::current_path(m_root);
}

TEST_F(FileSystemTest, IsDirectoryFollowsLinksAndTakesBothSeparators) {
    fs::create_directories("Data/enUS");
    touch("Data/file.mpq");
    fs::create_directory_symlink(m_root + "/Data", "dirlink");
    fs::create_symlink(m_root + "/Data/file.mpq", "filelink");
    fs::create_symlink(m_root + "/nowhere", "dangling");

    EXPECT_TRUE(IsDirectory("Data"));
    EXPECT_TRUE(IsDirectory("Data\\enUS\\"));
    EXPECT_TRUE(IsDirectory(m_root + "/Data/enUS/"));
    EXPECT_TRUE(IsDirectory("dirlink"));
    EXPECT_TRUE(IsDirectory("dirlink\\enUS"));
    EXPECT_TRUE(IsDirectory("."));

    EXPECT_FALSE(IsDirectory("Data/file.mpq"));
    EXPECT_FALSE(IsDirectory("filelink"));
    EXPECT_FALSE(IsDirectory("dangling"));
    EXPECT_FALSE(IsDirectory("missing"));
    EXPECT_FALSE(IsDirectory(""));
}

TEST_F(FileSystemTest, CreateDirectoryMakesOneFolder) {
    EXPECT_TRUE(CreateDirectory("Data"));
    EXPECT_TRUE(fs::is_directory("Data"));
    EXPECT_FALSE(CreateDirectory("Data")) << "an existing folder counts as a failure";

    // A Windows-style path makes a nested folder, not a name with a backslash in it.
    EXPECT_TRUE(CreateDirectory("Data\\enUS"));
    EXPECT_TRUE(fs::is_directory("Data/enUS"));
    EXPECT_FALSE(fs::exists("Data\\enUS"));

    EXPECT_FALSE(CreateDirectory("missing/child")) << "one folder at a time";
    touch("file");
    EXPECT_FALSE(CreateDirectory("file"));
    EXPECT_FALSE(CreateDirectory(""));
}

TEST_F(FileSystemTest, IsInsideFolderIsStrictAndLexical) {
    EXPECT_TRUE(IsInsideFolder("/game/Data/x.mpq", "/game"));
    EXPECT_TRUE(IsInsideFolder("/game/Data/", "/game/"));
    EXPECT_TRUE(IsInsideFolder("/game\\Data\\x.mpq", "\\game\\"));
    EXPECT_TRUE(IsInsideFolder("/anything", "/"));

    EXPECT_FALSE(IsInsideFolder("/game", "/game"));
    EXPECT_FALSE(IsInsideFolder("/game/", "/game"));
    EXPECT_FALSE(IsInsideFolder("/game/.", "/game"));
    EXPECT_FALSE(IsInsideFolder("/", "/"));
    EXPECT_FALSE(IsInsideFolder("/game-evil/x", "/game")) << "a shared prefix is not containment";
    EXPECT_FALSE(IsInsideFolder("/gam", "/game"));
    EXPECT_FALSE(IsInsideFolder("/game/../etc/passwd", "/game"));
    EXPECT_FALSE(IsInsideFolder("", "/game"));
    EXPECT_FALSE(IsInsideFolder("/game/x", ""));

    // Server locations are relative to the game folder, which is the current one.
    EXPECT_TRUE(IsInsideFolder("Data\\enUS\\realmlist.wtf", m_root));
    EXPECT_TRUE(IsInsideFolder("a/../b", m_root));
    EXPECT_TRUE(IsInsideFolder("Data\\..\\Wow.exe", "."));
    EXPECT_FALSE(IsInsideFolder("../x", m_root));
    EXPECT_FALSE(IsInsideFolder("a/../../x", m_root));
    EXPECT_FALSE(IsInsideFolder("..\\..\\etc\\passwd", "."));
    EXPECT_FALSE(IsInsideFolder("/etc/passwd", "."));
    EXPECT_FALSE(IsInsideFolder(".", m_root));
}

} // namespace
