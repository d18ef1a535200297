// What only Windows paths do: drive letters, names that differ in case alone naming one file, and paths in the
// ANSI code page that older servers write.
#include "platform/AppDataFolder.hpp"
#include "platform/FileSystem.hpp"
#include "platform/UserCacheFolder.hpp"
#include "platform/windows/ReparsePoint.hpp"

#include "support/Environment.hpp"
#include "support/TempFolder.hpp"
#include "support/windows/Junction.hpp"

#include <gtest/gtest.h>
#include <windows.h>
#undef CreateDirectory // the launcher's own, not the Windows macro

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using platform::CreateDirectory;
using platform::FullPath;
using platform::IsDirectory;
using platform::IsInsideFolder;
using testing_support::CurrentFolderGuard;
using testing_support::EnvironmentGuard;
using testing_support::TempFolder;

constexpr unsigned westernEuropeanCodePage = 1252;

class FileSystemWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        m_root = fs::canonical(m_folder.path()).generic_string();
        m_current.emplace(m_root);
    }
    void TearDown() override { m_current.reset(); }

    TempFolder m_folder;
    std::optional<CurrentFolderGuard> m_current;
    std::string m_root;
};

TEST_F(FileSystemWindowsTest, DriveLettersAndForwardSlashes) {
    EXPECT_EQ(FullPath("C:\\Games\\..\\Wow.exe"), "C:/Wow.exe");
    EXPECT_EQ(FullPath("C:/Games/World of Warcraft/"), "C:/Games/World of Warcraft/");
    EXPECT_EQ(FullPath("C:\\"), "C:/");
    EXPECT_EQ(FullPath("\\\\server\\share\\Wow.exe"), "//server/share/Wow.exe");
    EXPECT_TRUE(IsInsideFolder("C:\\Games\\Wow.exe", "C:\\"));
    EXPECT_FALSE(IsInsideFolder("D:\\Games\\Wow.exe", "C:\\"));
}

TEST_F(FileSystemWindowsTest, LinksAreReadFromTheirReparseData) {
    using platform::detail::LinkLook;
    using testing_support::reparseData;
    const struct {
        std::vector<unsigned char> data;
        LinkLook::Kind kind;
        std::string target;
    } cases[] = {
        {reparseData(L"\\??\\C:\\Users\\me\\Documents", false), LinkLook::Kind::Link, "C:/Users/me/Documents"},
        {reparseData(L"\\??\\UNC\\host\\share", true), LinkLook::Kind::Link, "//host/share"},
        {reparseData(L"..\\shared\\realmlist.wtf", true, true), LinkLook::Kind::Link, "../shared/realmlist.wtf"},
        {reparseData(L"\\Shared", true, true), LinkLook::Kind::Link, "D:/Shared"},
        {reparseData(L"\\??\\Volume{0b1c}\\", false), LinkLook::Kind::Unreadable, ""},
    };
    for (const auto& c : cases) {
        const LinkLook look = platform::detail::linkOfReparseData(c.data, "D:/Games/WTF/realmlist.wtf");
        EXPECT_EQ(look.kind, c.kind) << c.target;
        EXPECT_EQ(look.target, c.target);
    }
    // Data cut short says nothing; a reparse point of another kind (a file kept in the cloud) is a file like any
    // other.
    std::vector<unsigned char> cut = reparseData(L"\\??\\C:\\x", false);
    cut.resize(18);
    EXPECT_EQ(platform::detail::linkOfReparseData(cut, "C:/x").kind, LinkLook::Kind::Unreadable);
    std::vector<unsigned char> cloud = reparseData(L"x", false);
    const DWORD cloudTag = 0x9000001A;
    std::memcpy(cloud.data(), &cloudTag, sizeof cloudTag);
    EXPECT_EQ(platform::detail::linkOfReparseData(cloud, "C:/x").kind, LinkLook::Kind::NotALink);
}

TEST_F(FileSystemWindowsTest, ResolveLinksFollowsJunctionsByReadingThem) {
    const TempFolder outside("varnhold-outside");
    const std::string target = fs::canonical(outside.path()).generic_string();
    if (!testing_support::makeJunction("Data", outside.path()) && GetLastError() == ERROR_NOT_SUPPORTED)
        GTEST_SKIP() << "this system makes no junctions (Wine 8)";
    ASSERT_TRUE(fs::is_directory("Data"));
    fs::create_directory("real");
    ASSERT_TRUE(testing_support::makeJunction("real/back", m_root + "/real")) << GetLastError();

    EXPECT_EQ(platform::ResolveLinks("Data\\enUS\\realmlist.wtf"), target + "/enUS/realmlist.wtf");
    EXPECT_EQ(platform::ResolveLinks("real/back/back/x"), m_root + "/real/x");
    EXPECT_EQ(platform::ResolveLinks("missing\\name"), m_root + "/missing/name");
}

TEST_F(FileSystemWindowsTest, NamesThatDifferInCaseAreOneFile) {
    EXPECT_TRUE(IsInsideFolder("C:\\Game\\Data\\x.mpq", "c:/game"));
    EXPECT_TRUE(IsInsideFolder(m_root + "/DATA/x.mpq", m_root + "/data"));
    EXPECT_FALSE(IsInsideFolder("C:/GAME-evil/x", "c:/game"));
    ASSERT_TRUE(CreateDirectory("Data"));
    EXPECT_FALSE(CreateDirectory("DATA"));
    EXPECT_TRUE(IsDirectory("data"));
}

TEST_F(FileSystemWindowsTest, PathsInTheAnsiCodePageStillWork) {
    if (GetACP() != westernEuropeanCodePage) {
        GTEST_SKIP() << "the bytes below are written for code page 1252";
    }
    // "café": 0xE9 in the code page, not valid UTF-8; the same folder as its UTF-8 spelling.
    ASSERT_TRUE(CreateDirectory("caf\xE9"));
    EXPECT_TRUE(IsDirectory("caf\xC3\xA9"));
    EXPECT_EQ(FullPath("caf\xE9/x"), m_root + "/caf\xC3\xA9/x");
}

TEST_F(FileSystemWindowsTest, CacheAndLogFoldersAreInTheLocalApplicationDataFolder) {
    {
        const EnvironmentGuard local("LOCALAPPDATA", "C:\\Users\\Player\\AppData\\Local\\");
        EXPECT_EQ(platform::UserCacheFolder(), "C:/Users/Player/AppData/Local");
        EXPECT_EQ(platform::LocalAppDataFolder().generic_string(), "C:/Users/Player/AppData/Local/Varnhold Launcher");
    }
    {
        const EnvironmentGuard local("LOCALAPPDATA", "AppData\\Local");
        EXPECT_EQ(platform::UserCacheFolder(), "") << "a relative folder would move with the current one";
        EXPECT_TRUE(platform::LocalAppDataFolder().empty());
    }
    const EnvironmentGuard local("LOCALAPPDATA", nullptr);
    EXPECT_EQ(platform::UserCacheFolder(), "");
}

} // namespace
