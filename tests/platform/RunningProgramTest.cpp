// The launcher's own program file: its path, handing its name to a newer file, and a program started in its place,
// here a copy of this test program that records where it runs and then waits or ends.
#include "platform/RunningProgram.hpp"
#include "platform/FileFacts.hpp"
#include "platform/FileSystem.hpp"

#include "support/Environment.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

constexpr auto startTimeout = 20s; // Wine starts a program in about a second, more on a loaded machine
constexpr auto pollInterval = 50ms;
constexpr const char* recordVariable = "VARNHOLD_TEST_PROGRAM_RECORD";
constexpr const char* waitVariable = "VARNHOLD_TEST_PROGRAM_WAIT";
constexpr auto childWait = 60s;

// Started with the record variable set, this program writes its current folder and its first argument to the file
// the variable names, then waits (with the wait variable set) or ends, before GoogleTest starts.
const bool childRan = [] {
    const char* record = std::getenv(recordVariable);
    if (record == nullptr)
        return false;
    {
        std::ofstream out(std::string(record) + ".tmp", std::ios::binary);
        out << platform::CurrentFolder() << '\n';
    }
    std::rename((std::string(record) + ".tmp").c_str(), record);
    if (std::getenv(waitVariable) != nullptr)
        std::this_thread::sleep_for(childWait);
    std::_Exit(0);
}();

template <typename Condition> bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(pollInterval);
    }
    return true;
}

TEST(RunningProgram, NamesThisProgram) {
    const std::string path = platform::RunningProgramPath();
    EXPECT_TRUE(path.ends_with("/PlatformTests") || path.ends_with("/PlatformTests.exe")) << path;
    EXPECT_TRUE(platform::ReadFileFacts(path).has_value()) << path;
    EXPECT_FALSE(platform::InstalledBySystem(path));
    // Linux packages put programs under /usr; Windows has no such place for the launcher.
    EXPECT_EQ(platform::InstalledBySystem("/usr/bin/varnhold-launcher"),
              std::string(platform::SystemName()) == "linux");
}

TEST(RunningProgram, ANewerFileTakesTheNameInOneStep) {
    TempFolder folder;
    const fs::path program = folder.path() / "launcher";
    const fs::path download = folder.path() / "launcher.new";
    writeFile(program, "old");
    writeFile(download, "new");
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    std::string error;
    ASSERT_TRUE(platform::PrepareProgramFile(download.string(), program.string(), error)) << error;
    if (std::string(platform::SystemName()) == "linux") {
        EXPECT_EQ(fs::status(download).permissions(), fs::status(program).permissions()) << "runnable as the old one";
    }
    ASSERT_TRUE(platform::ReplaceProgramFile(download.string(), program.string(), 0ms, error)) << error;
    EXPECT_EQ(readFile(program), "new");
    EXPECT_FALSE(fs::exists(download));

    EXPECT_FALSE(platform::ReplaceProgramFile(download.string(), program.string(), 0ms, error));
    EXPECT_NE(error.find("launcher.new"), std::string::npos) << error;
    EXPECT_EQ(readFile(program), "new") << "a failed rename leaves the program as it was";
}

TEST(StartedProgram, RunsInTheCurrentFolderUntilItEndsOrIsEnded) {
    TempFolder folder;
    const fs::path game = fs::canonical(folder.path());
    const testing_support::CurrentFolderGuard inGame(game);
    const fs::path record = game / "record.txt";
    const testing_support::EnvironmentGuard recording(recordVariable, record.string().c_str());
    const std::string self = platform::RunningProgramPath();
    std::string error;
    {
        const testing_support::EnvironmentGuard waiting(waitVariable, "1");
        std::optional<platform::StartedProgram> child = platform::StartedProgram::start(self, {"--x"}, error);
        ASSERT_TRUE(child) << error;
        ASSERT_TRUE(eventually([&] { return fs::exists(record); })) << "the program did not start";
        EXPECT_EQ(readFile(record), platform::CurrentFolder() + "\n");
        EXPECT_TRUE(child->running());
        child->terminate();
        EXPECT_FALSE(child->running());
    }
    fs::remove(record);
    std::optional<platform::StartedProgram> child = platform::StartedProgram::start(self, {}, error);
    ASSERT_TRUE(child) << error;
    EXPECT_TRUE(eventually([&] { return !child->running(); })) << "a program that ends is seen to end";
    EXPECT_TRUE(fs::exists(record));

    EXPECT_FALSE(platform::StartedProgram::start((game / "missing").string(), {}, error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

} // namespace
