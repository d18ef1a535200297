// Path resolution and folder tests against a real temporary folder that is made the current one, on every OS: a
// rooted path lands on the current drive, which is "" on Linux and "C:" (say) on Windows.
#include "platform/FileSystem.hpp"

#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

using platform::CreateDirectory;
using platform::CurrentFolder;
using platform::FullPath;
using platform::IsDirectory;
using platform::IsInsideFolder;
using testing_support::CurrentFolderGuard;
using testing_support::TempFolder;

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        // Canonical with '/', the form CurrentFolder reports it in.
        m_root = fs::canonical(m_folder.path()).generic_string();
        m_drive = m_root.substr(0, m_root.find('/'));
        m_current.emplace(m_root);
    }
    void TearDown() override { m_current.reset(); }

    static void touch(const std::string& path) { std::ofstream(path) << "x"; }
    static std::set<std::string> namesIn(const std::string& folder) {
        std::set<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    TempFolder m_folder;
    std::optional<CurrentFolderGuard> m_current;
    std::string m_root;  // canonical, so that it compares equal to what the OS reports as the current folder
    std::string m_drive; // empty on Linux
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
    EXPECT_EQ(FullPath(".."), fs::path(m_root).parent_path().generic_string());

    EXPECT_EQ(FullPath("/usr//lib/../bin"), m_drive + "/usr/bin");
    EXPECT_EQ(FullPath("\\usr\\bin"), m_drive + "/usr/bin");
    EXPECT_EQ(FullPath("/"), m_drive + "/");
    EXPECT_EQ(FullPath("/../../x"), m_drive + "/x");
    EXPECT_EQ(FullPath("/x/../.."), m_drive + "/");
}

TEST_F(FileSystemTest, LongPathsWork) {
    const std::string name(200, 'n');
    const std::string relative = name + "\\" + name + "/" + name + "\\file.mpq";
    const std::string full = FullPath(relative);
    EXPECT_GT(full.size(), 600u);
    EXPECT_EQ(full, m_root + "/" + name + "/" + name + "/" + name + "/file.mpq");

    // Folders far beyond Windows' classic 260-character limit are made and found.
    std::string deep = m_root;
    for (int i = 0; i < 3; ++i) {
        deep += "/" + name;
        ASSERT_TRUE(CreateDirectory(deep)) << deep.size() << " characters";
        EXPECT_TRUE(IsDirectory(deep));
    }
    EXPECT_TRUE(IsDirectory(relative + "\\.."));
    EXPECT_FALSE(CreateDirectory(deep));
    EXPECT_TRUE(IsInsideFolder(relative, m_root));
}

TEST_F(FileSystemTest, CurrentFolderAtTheRoot) {
    const CurrentFolderGuard atRoot(fs::path(m_root).root_path());
    EXPECT_EQ(CurrentFolder(), m_drive + "/");
    EXPECT_EQ(FullPath("../etc"), m_drive + "/etc");
    EXPECT_EQ(FullPath("."), m_drive + "/");
}

TEST_F(FileSystemTest, IsDirectoryTakesBothSeparators) {
    fs::create_directories("Data/enUS");
    touch("Data/file.mpq");

    EXPECT_TRUE(IsDirectory("Data"));
    EXPECT_TRUE(IsDirectory("Data\\enUS\\"));
    EXPECT_TRUE(IsDirectory(m_root + "/Data/enUS/"));
    EXPECT_TRUE(IsDirectory(m_root + "\\Data\\enUS"));
    EXPECT_TRUE(IsDirectory("."));

    EXPECT_FALSE(IsDirectory("Data/file.mpq"));
    EXPECT_FALSE(IsDirectory("missing"));
    EXPECT_FALSE(IsDirectory("missing\\..\\Data\\file.mpq"));
    EXPECT_FALSE(IsDirectory(""));
}

TEST_F(FileSystemTest, CreateDirectoryMakesOneFolder) {
    EXPECT_TRUE(CreateDirectory("Data"));
    EXPECT_TRUE(fs::is_directory("Data"));
    EXPECT_FALSE(CreateDirectory("Data")) << "an existing folder counts as a failure";

    // A Windows-style path makes a nested folder, not a name with a backslash in it.
    EXPECT_TRUE(CreateDirectory("Data\\enUS"));
    EXPECT_EQ(namesIn(m_root), std::set<std::string>{"Data"});
    EXPECT_EQ(namesIn(m_root + "/Data"), std::set<std::string>{"enUS"});

    EXPECT_FALSE(CreateDirectory("missing/child")) << "one folder at a time";
    touch("file");
    EXPECT_FALSE(CreateDirectory("file"));
    EXPECT_FALSE(CreateDirectory(""));
}

TEST_F(FileSystemTest, NamesAreUtf8) {
    const std::string name = "Ahang-\xD8\xA2\xD9\x87\xD9\x86\xDA\xAF"; // "Ahang-" and the Persian word in UTF-8
    ASSERT_TRUE(CreateDirectory(name));
    EXPECT_TRUE(IsDirectory(name + "/"));
    EXPECT_EQ(FullPath(name + "\\x"), m_root + "/" + name + "/x");
    EXPECT_TRUE(fs::is_directory(fs::path(std::u8string(name.begin(), name.end()))));
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

TEST_F(FileSystemTest, SharesAndDevicesAreKnownByTheirTextAlone) {
    for (const char* path :
         {"\\\\host\\share\\x.exe", "//host/share/", "\\/host/share", "\\\\?\\UNC\\host\\share", "\\\\.\\COM1",
          "\\\\?\\C:\\Games", "CON", "Data\\nul.txt", "C:NUL", "prn .log", "Data/COM9/x", "conout$"}) {
        EXPECT_TRUE(platform::IsNetworkOrDevicePath(path)) << path;
    }
    for (const char* path : {"", "Wow.exe", "Data\\enUS\\", "C:\\Games\\Wow.exe", "/home/u/Games/", "\\Data",
                             "CONFIG.wtf", "console.txt", "COM10", "nul-patch.MPQ"}) {
        EXPECT_FALSE(platform::IsNetworkOrDevicePath(path)) << path;
    }
}

} // namespace
