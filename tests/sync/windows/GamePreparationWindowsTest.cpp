// The Play preparations where Windows has its own form: a cache file held open by a running program cannot be
// deleted, and the rest of Play goes on.
#include "tests/sync/GamePreparationFixture.hpp"

#include <windows.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using testing_support::readFile;

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

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

} // namespace
