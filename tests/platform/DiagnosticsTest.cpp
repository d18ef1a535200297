// Diagnostic lines: unchanged on the console, also in the run's log; the newest five logs kept; the log folder.
#include "platform/Diagnostics.hpp"
#include "platform/AppDataFolder.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;

// Read as text: the log has Windows line ends on Windows, for Notepad.
std::string contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<fs::path> logsIn(const fs::path& folder) {
    std::vector<fs::path> logs;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".log")
            logs.push_back(entry.path());
    std::sort(logs.begin(), logs.end());
    return logs;
}

TEST(Diagnostics, LinesReachTheConsoleUnchangedAndTheLog) {
    const TempFolder temp;
    const fs::path folder = temp.path() / "state" / "varnhold-launcher"; // not there yet
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        platform::Print("before the log\n");
        const platform::RunLog log(folder);
        ASSERT_TRUE(log) << "in " << folder;
        EXPECT_EQ(log.path().parent_path(), folder);
        platform::Print("Status: %s\n", "Amade Bazi");
        platform::PrintError("varnhold-launcher: no display\n");
        platform::ErrorLineStream() << "JSON parse error at " << 12 << ": unexpected"; // no line feed yet
        EXPECT_EQ(contents(log.path()), "Status: Amade Bazi\nvarnhold-launcher: no display\n");
        platform::ErrorLineStream() << " '}'\nsecond\n";
        EXPECT_EQ(contents(log.path()), "Status: Amade Bazi\nvarnhold-launcher: no display\n"
                                        "JSON parse error at 12: unexpected '}'\nsecond\n");
    }
    platform::Print("after the log\n");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "before the log\nStatus: Amade Bazi\nafter the log\n");
    EXPECT_EQ(err, "varnhold-launcher: no display\nJSON parse error at 12: unexpected '}'\nsecond\n");
    const std::vector<fs::path> logs = logsIn(folder);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(contents(logs[0]).find("after"), std::string::npos) << "a closed log takes no more lines";

    // Lines from several threads stay whole.
    testing::internal::CaptureStdout();
    const platform::RunLog busy(temp.path() / "busy");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                platform::Print("worker %d line %d\n", t, i);
        });
    for (std::thread& thread : threads)
        thread.join();
    testing::internal::GetCapturedStdout();
    std::istringstream lines(contents(busy.path()));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_TRUE(line.starts_with("worker ") && line.find("line", 9) != std::string::npos) << line;
    EXPECT_EQ(count, 800);
}

TEST(Diagnostics, TheNewestFiveRunsAreKept) {
    const TempFolder temp;
    temp.write("notes.txt", "the player's own file");
    std::vector<fs::path> runs;
    testing::internal::CaptureStdout();
    for (int run = 0; run < 7; ++run) {
        const platform::RunLog log(temp.path());
        ASSERT_TRUE(log);
        platform::Print("run %d\n", run);
        runs.push_back(log.path());
    }
    testing::internal::GetCapturedStdout();
    const std::vector<fs::path> kept = logsIn(temp.path());
    ASSERT_EQ(kept.size(), platform::RunLog::keptRuns);
    EXPECT_EQ(kept, std::vector<fs::path>(runs.end() - 5, runs.end())) << "the oldest two are gone";
    EXPECT_EQ(contents(kept.back()), "run 6\n");
    EXPECT_TRUE(fs::exists(temp.path() / "notes.txt"));

    // A folder that cannot be made leaves the lines on the console only.
    testing::internal::CaptureStderr();
    const platform::RunLog nowhere(temp.path() / "notes.txt" / "logs");
    EXPECT_FALSE(nowhere);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot write a log"), std::string::npos);
}

} // namespace
