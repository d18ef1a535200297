// A FIFO among the game files, where a file is expected: opening one waits for its other end, which never comes,
// so the launcher must never open one.
#include "platform/InputFile.hpp"
#include "platform/PartFile.hpp"

#include "support/TempFolder.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>

namespace {

using namespace std::chrono_literals;
using testing_support::TempFolder;

// Waits a while for `opening`; should it still wait for the FIFO's other end, that end is opened from here with
// `otherEnd`, so that the test fails instead of hanging.
template <typename Result> bool returnsPromptly(std::future<Result>& opening, const std::string& fifo, int otherEnd) {
    if (opening.wait_for(2s) == std::future_status::ready)
        return true;
    const int end = ::open(fifo.c_str(), otherEnd | O_NONBLOCK | O_CLOEXEC);
    opening.wait();
    if (end >= 0)
        ::close(end);
    return false;
}

TEST(FifoTest, AFifoIsNeitherReadNorWrittenAndAPartialOneMakesWayForAFile) {
    const TempFolder folder;
    const std::string game = (folder.path() / "Wow.exe").string();
    const std::string target = (folder.path() / "theme.ogg").string();
    const std::string partial = platform::PartFile::resumePath(target);
    ASSERT_EQ(::mkfifo(game.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(partial.c_str(), 0600), 0);

    int error = 0;
    auto reading = std::async(std::launch::async, [&] { return platform::InputFile::open(game, error); });
    ASSERT_TRUE(returnsPromptly(reading, game, O_WRONLY)) << "opening a FIFO to read it waited for a writer";
    EXPECT_FALSE(reading.get());

    std::string problem;
    auto writing = std::async(std::launch::async, [&] { return platform::PartFile::resume(target, problem); });
    ASSERT_TRUE(returnsPromptly(writing, partial, O_RDONLY)) << "opening a FIFO to write it waited for a reader";
    std::optional<platform::PartFile> part = writing.get();
    ASSERT_TRUE(part) << problem;
    EXPECT_EQ(part->size(), 0u);
    ASSERT_TRUE(part->append("music", 5));
    ASSERT_TRUE(part->commit()) << part->error();
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

} // namespace
