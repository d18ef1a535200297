// File facts on every OS: they hold while a file is untouched and change with each write or replacement.
#include "platform/FileFacts.hpp"
#include "platform/PartFile.hpp"

#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

using platform::FileFacts;
using platform::ReadFileFacts;

TEST(FileFacts, HoldWhileUntouchedAndChangeWithEveryWrite) {
    const testing_support::TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const std::string path = (folder.path() / "patch.mpq").generic_string();
    testing_support::writeFile(path, "12345");

    const std::optional<FileFacts> first = ReadFileFacts(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size, 5u);
    EXPECT_EQ(ReadFileFacts(path), first) << "reading the facts again changes nothing";
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    EXPECT_NEAR(static_cast<double>(first->modifiedNs),
                static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count()), 3600e9)
        << "nanoseconds since 1970";

    // Same size, a later time set by hand: the time alone tells. Whole seconds, which every OS's call can set.
    const auto wholeSecond = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(path));
    fs::last_write_time(path, wholeSecond);
    const std::optional<FileFacts> before = ReadFileFacts(path);
    fs::last_write_time(path, wholeSecond + std::chrono::seconds(10));
    const std::optional<FileFacts> touched = ReadFileFacts(path);
    ASSERT_TRUE(before && touched);
    EXPECT_EQ(touched->modifiedNs - before->modifiedNs, 10'000'000'000);
    EXPECT_EQ(touched->identity, first->identity);

    // Replaced under its name by a file of the same size: the identity tells.
    std::string error;
    std::optional<platform::PartFile> part = platform::PartFile::create(path, error);
    ASSERT_TRUE(part) << error;
    ASSERT_TRUE(part->append("54321", 5));
    ASSERT_TRUE(part->commit()) << part->error();
    const std::optional<FileFacts> replaced = ReadFileFacts(path);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->volume, first->volume);
    EXPECT_NE(replaced->identity, first->identity);

    EXPECT_FALSE(ReadFileFacts((folder.path() / "missing").generic_string()));
    EXPECT_FALSE(ReadFileFacts(folder.path().generic_string())) << "a folder is no regular file";
    EXPECT_FALSE(ReadFileFacts(""));
}

} // namespace
