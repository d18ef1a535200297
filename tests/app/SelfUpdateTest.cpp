// The update's decisions and both sides of the trial: which offers are taken, the old launcher watching a started
// copy of this test program that signs, ends or hangs, and a copy run from a ".new" file taking the program's name.
#include "app/SelfUpdate.hpp"

#include "platform/RunningProgram.hpp"

#include "support/Environment.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

constexpr const char* childVariable = "VARNHOLD_TEST_TRIAL";
constexpr auto childHang = 60s;
constexpr auto childPatience = 20s; // Wine starts a program in about a second, more on a loaded machine
constexpr int childVersion = 7;

// Started with the child variable set, this program plays one part of a trial before GoogleTest starts: "sign:<file>"
// writes the sign file, "end" ends at once, "hang" never shows itself, "new build" runs the new build's side.
const bool childRan = [] {
    const char* part = std::getenv(childVariable);
    if (part == nullptr)
        return false;
    const std::string what = part;
    if (what.starts_with("sign:"))
        std::ofstream(what.substr(5)) << "version " << childVersion << '\n';
    else if (what == "hang")
        std::this_thread::sleep_for(childHang);
    else if (what == "new build")
        UpdateTrial(true, childVersion).shown();
    std::_Exit(0);
}();

std::optional<platform::StartedProgram> startChild(const std::string& program, const std::string& part) {
    const testing_support::EnvironmentGuard child(childVariable, part.c_str());
    std::string error;
    std::optional<platform::StartedProgram> started = platform::StartedProgram::start(program, {}, error);
    EXPECT_TRUE(started) << error;
    return started;
}

TEST(SelfUpdate, OnlyANewerCompleteOfferOfAVerifiedDocumentIsTaken) {
    DocumentTrust verified;
    verified.problem = TrustProblem::None;
    DocumentTrust notVerified;
    notVerified.problem = TrustProblem::BadSignature;
    const LauncherUpdate offer{4, {"http://h.example/new", 1000, std::string(64, 'a')}};
    EXPECT_EQ(chooseUpdate(offer, verified, 3), UpdateChoice::Take);
    EXPECT_EQ(chooseUpdate({}, verified, 3), UpdateChoice::NoOffer);
    EXPECT_EQ(chooseUpdate(offer, {}, 3), UpdateChoice::Unsigned) << "a build without a key";
    EXPECT_EQ(chooseUpdate(offer, notVerified, 3), UpdateChoice::Unsigned) << "a signature that did not verify";
    EXPECT_EQ(chooseUpdate(offer, verified, 4), UpdateChoice::NotNewer) << "the same version";
    EXPECT_EQ(chooseUpdate(offer, verified, 5), UpdateChoice::NotNewer) << "never a downgrade";
    for (ProgramRelease program : {ProgramRelease{"", 1000, std::string(64, 'a')},
                                   ProgramRelease{"http://h.example/new", std::nullopt, std::string(64, 'a')},
                                   ProgramRelease{"http://h.example/new", 0, std::string(64, 'a')},
                                   ProgramRelease{"http://h.example/new", 1000, std::string(63, 'a')},
                                   ProgramRelease{"http://h.example/new", 1000, std::string(64, 'g')}})
        EXPECT_EQ(chooseUpdate({4, program}, verified, 3), UpdateChoice::Incomplete)
            << program.URL << " " << program.size.value_or(0) << " " << program.sha256;
}

TEST(SelfUpdate, TheOldLauncherWaitsForTheSignTheEndOrItsPatience) {
    TempFolder folder;
    const std::string sign = (folder.path() / "launcher.started").string();
    const std::string self = platform::RunningProgramPath();
    int frames = 0;
    const auto frame = [&frames] { ++frames; };

    std::optional<platform::StartedProgram> signing = startChild(self, "sign:" + sign);
    ASSERT_TRUE(signing);
    EXPECT_EQ(watchTrial(*signing, sign, childPatience, frame), TrialEnd::Signed);

    fs::remove(sign);
    std::optional<platform::StartedProgram> ending = startChild(self, "end");
    ASSERT_TRUE(ending);
    EXPECT_EQ(watchTrial(*ending, sign, childPatience, frame), TrialEnd::Exited);

    std::optional<platform::StartedProgram> hanging = startChild(self, "hang");
    ASSERT_TRUE(hanging);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(watchTrial(*hanging, sign, 1s, frame), TrialEnd::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
    EXPECT_FALSE(hanging->running()) << "a build that never showed itself is ended";
    EXPECT_GT(frames, 0) << "the update window was kept drawn while waiting";
}

TEST(SelfUpdate, TheNewBuildSignsAndTakesTheProgramsName) {
    TempFolder folder;
    const std::string self = platform::RunningProgramPath();
    const std::string name = self.ends_with(".exe") ? "launcher.exe" : "launcher";
    const UpdateFiles files((fs::canonical(folder.path()) / name).generic_string());
    writeFile(files.program, "the old launcher");
    fs::copy_file(self, files.download);
    const auto newSize = fs::file_size(files.download);

    std::optional<platform::StartedProgram> newBuild = startChild(files.download, "new build");
    ASSERT_TRUE(newBuild);
    const auto deadline = std::chrono::steady_clock::now() + childPatience;
    while (newBuild->running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ASSERT_FALSE(newBuild->running());
    EXPECT_EQ(readFile(files.sign), "version 7\n");
    EXPECT_EQ(fs::file_size(files.program), newSize) << "the program's name now holds the new build";
    EXPECT_FALSE(fs::exists(files.download));
}

} // namespace
