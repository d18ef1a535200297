// Reading and writing game files through the platform layer: whole reads, the reasons for failures, and a target
// that only ever holds a complete file, also while someone else has it open.
#include "platform/DiskSpace.hpp"
#include "platform/DurableFiles.hpp"
#include "platform/InputFile.hpp"
#include "platform/PartFile.hpp"

#include "support/Links.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using platform::InputFile;
using platform::PartFile;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

constexpr int missingFileError = 2; // ENOENT and ERROR_FILE_NOT_FOUND alike

std::string readAll(InputFile& file) {
    std::string bytes;
    char buffer[4096];
    for (long long got; (got = file.read(buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_folder.path().empty()); }
    std::string path(const std::string& name) const { return (m_folder.path() / name).generic_string(); }

    TempFolder m_folder;
};

TEST_F(FilesTest, InputFileReadsToTheEndOrSaysWhyNot) {
    const std::string bytes = std::string(100000, 'x') + "\r\n\0end" + std::string(1, '\0');
    writeFile(path("data.bin"), bytes);
    int error = 0;
    std::optional<InputFile> file = InputFile::open(path("data.bin"), error);
    ASSERT_TRUE(file) << error;
    EXPECT_TRUE(file->isRegular());
    EXPECT_EQ(readAll(*file), bytes) << "binary, whole, and 0 at the end";
    EXPECT_EQ(file->read(&error, sizeof error), 0);

    // Windows separators in a path of our own make no difference.
    file = InputFile::open((m_folder.path() / "data.bin").string(), error);
    EXPECT_TRUE(file);

    error = 0;
    EXPECT_FALSE(InputFile::open(path("missing.bin"), error));
    EXPECT_EQ(error, missingFileError);
    error = 0;
    EXPECT_FALSE(InputFile::open("", error));
    EXPECT_EQ(error, missingFileError);
}

TEST_F(FilesTest, PartFileShowsTheTargetOnlyWhenComplete) {
    const std::string target = path("Data/enUS/patch.mpq");
    fs::create_directories(m_folder.path() / "Data/enUS");
    writeFile(target, "old");
    const std::string large(PartFile::bufferSize + 10, 'L');
    {
        std::string error;
        std::optional<PartFile> part = PartFile::create(target, error);
        ASSERT_TRUE(part) << error;
        ASSERT_TRUE(part->append("small ", 6));
        ASSERT_TRUE(part->append(large.data(), large.size()));
        ASSERT_TRUE(part->append("tail", 4));
        EXPECT_EQ(readFile(target), "old") << "the target keeps its old contents until commit";
        EXPECT_NE(part->path(), target);

        // A scanner that holds the old file for a moment does not make the commit fail.
        int openError = 0;
        std::optional<InputFile> scanner = InputFile::open(target, openError);
        ASSERT_TRUE(scanner) << openError;
        std::thread letGo([&scanner] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            scanner.reset();
        });
        const bool committed = part->commit();
        letGo.join();
        ASSERT_TRUE(committed) << part->error();
    }
    EXPECT_EQ(readFile(target), "small " + large + "tail");
    EXPECT_EQ(entriesIn(m_folder.path() / "Data/enUS"), 1u) << "no temporary file is left";

    // Abandoned before commit: the target is untouched and the temporary file goes away.
    {
        std::string error;
        std::optional<PartFile> part = PartFile::create(target, error);
        ASSERT_TRUE(part) << error;
        ASSERT_TRUE(part->append("half", 4));
        EXPECT_TRUE(fs::exists(part->path()));
    }
    EXPECT_EQ(readFile(target), "small " + large + "tail");
    EXPECT_EQ(entriesIn(m_folder.path() / "Data/enUS"), 1u);
}

TEST_F(FilesTest, PartFilesBesideOneTargetNeverShareATemporaryFile) {
    std::string error;
    std::optional<PartFile> first = PartFile::create(path("music.ogg"), error);
    std::optional<PartFile> second = PartFile::create(path("music.ogg"), error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_NE(first->path(), second->path());
    ASSERT_TRUE(first->append("first", 5));
    ASSERT_TRUE(second->append("second", 6));
    ASSERT_TRUE(first->commit()) << first->error();
    ASSERT_TRUE(second->commit()) << second->error();
    EXPECT_EQ(readFile(path("music.ogg")), "second");
}

TEST_F(FilesTest, ATemporaryNameLeftByAnEarlierRunIsSteppedOverNotReused) {
    std::string error;
    std::optional<PartFile> first = PartFile::create(path("music.ogg"), error);
    ASSERT_TRUE(first) << error;
    // The names count up; the next two stand in for files a crashed run with the same process id left behind.
    const std::string& firstPath = first->path();
    const std::size_t dash = firstPath.rfind('-');
    ASSERT_NE(dash, std::string::npos) << firstPath;
    const unsigned long number = std::stoul(firstPath.substr(dash + 1));
    const std::string stem = firstPath.substr(0, dash + 1);
    writeFile(stem + std::to_string(number + 1), "left over");
    writeFile(stem + std::to_string(number + 2), "left over");

    error.clear();
    std::optional<PartFile> second = PartFile::create(path("music.ogg"), error);
    ASSERT_TRUE(second) << error;
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(second->path(), stem + std::to_string(number + 3));
    ASSERT_TRUE(second->append("new", 3));
    ASSERT_TRUE(second->commit()) << second->error();
    EXPECT_EQ(readFile(path("music.ogg")), "new");
    EXPECT_EQ(readFile(stem + std::to_string(number + 1)), "left over");
    EXPECT_EQ(readFile(stem + std::to_string(number + 2)), "left over");
}

TEST_F(FilesTest, ReadOnlyTargetsAreKnownAndDurableCommitsLand) {
    // The permissions std::filesystem sets are the read-only attribute on Windows.
    writeFile(path("realmlist.wtf"), "set realmlist old");
    EXPECT_FALSE(PartFile::isReadOnly(path("realmlist.wtf")));
    EXPECT_FALSE(PartFile::isReadOnly(path("missing.wtf")));
    fs::permissions(path("realmlist.wtf"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(PartFile::isReadOnly(path("realmlist.wtf")));
    fs::permissions(path("realmlist.wtf"), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_FALSE(PartFile::isReadOnly(path("realmlist.wtf")));

    std::string error;
    std::optional<PartFile> part = PartFile::create(path("realmlist.wtf"), error, {.durable = true, .keepMode = true});
    ASSERT_TRUE(part) << error;
    EXPECT_EQ(part->target(), path("realmlist.wtf"));
    ASSERT_TRUE(part->append("set realmlist new", 17));
    ASSERT_TRUE(part->commit()) << part->error();
    EXPECT_EQ(readFile(path("realmlist.wtf")), "set realmlist new");
}

TEST_F(FilesTest, AResumablePartFileOutlivesItsOwnerUntilCommittedOrDiscarded) {
    const std::string target = path("Data/big.MPQ");
    const std::string partial = PartFile::resumePath(target);
    fs::create_directories(m_folder.path() / "Data");
    writeFile(target, "old game file");
    std::string error;
    {
        std::optional<PartFile> part = PartFile::resume(target, error);
        ASSERT_TRUE(part) << error;
        EXPECT_EQ(part->size(), 0u);
        ASSERT_TRUE(part->append("first half, ", 12));
    } // a close or a stop: what came in stays for the next run
    EXPECT_EQ(readFile(partial), "first half, ");
    EXPECT_EQ(readFile(target), "old game file");
    EXPECT_EQ(PartFile::findResumable(m_folder.path().generic_string()), std::vector<std::string>{target});
    {
        std::optional<PartFile> part = PartFile::resume(target, error);
        ASSERT_TRUE(part) << error;
        EXPECT_EQ(part->size(), 12u);
        ASSERT_TRUE(part->append("second half", 11));
        ASSERT_TRUE(part->commit()) << part->error();
    }
    EXPECT_EQ(readFile(target), "first half, second half");
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_TRUE(PartFile::findResumable(m_folder.path().generic_string()).empty());

    // Starting over drops the bytes on disk and those still buffered; a discarded file is gone at once.
    {
        std::optional<PartFile> part = PartFile::resume(target, error);
        ASSERT_TRUE(part) << error;
        ASSERT_TRUE(part->append("stale bytes", 11));
        ASSERT_TRUE(part->restart()) << part->error();
        EXPECT_EQ(part->size(), 0u);
        ASSERT_TRUE(part->append("fresh", 5));
    }
    EXPECT_EQ(readFile(partial), "fresh");
    {
        std::optional<PartFile> part = PartFile::resume(target, error);
        ASSERT_TRUE(part) << error;
        EXPECT_EQ(part->size(), 5u);
        part->discard();
    }
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_EQ(readFile(target), "first half, second half");
}

TEST_F(FilesTest, APartialNameTakenByALinkOrAFolderIsClearedNotWrittenThrough) {
    // Links planted under partial names, aimed at the player's own files: the download must neither write into
    // them nor leave the real name leading to them.
    const TempFolder outside;
    outside.write("notes.txt", "the player's own words");
    const std::vector<std::string> downloads{path("theme.ogg"), path("patch.MPQ"), path("readme.txt")};
    ASSERT_TRUE(
        testing_support::makeFileLink((outside.path() / "notes.txt").string(), PartFile::resumePath(downloads[0])));
    ASSERT_TRUE(testing_support::makeFolderLink(outside.path().string(), PartFile::resumePath(downloads[1])));
    fs::create_directory(PartFile::resumePath(downloads[2]));
    for (const std::string& download : downloads) {
        std::string error;
        std::optional<PartFile> part = PartFile::resume(download, error);
        // Wine can neither open a link as itself nor remove one: there the name is refused instead.
        if (testing_support::underWine() && download != downloads[2]) {
            EXPECT_FALSE(part) << download;
            continue;
        }
        ASSERT_TRUE(part) << download << ": " << error;
        EXPECT_EQ(part->size(), 0u) << download;
        ASSERT_TRUE(part->append("new", 3));
        ASSERT_TRUE(part->commit()) << part->error();
        EXPECT_EQ(readFile(download), "new");
    }
    EXPECT_EQ(readFile(outside.path() / "notes.txt"), "the player's own words");
    EXPECT_EQ(entriesIn(outside.path()), 1u);
    for (const std::string& download : downloads)
        (void)testing_support::removeLink(PartFile::resumePath(download)); // what Wine left, before the clean-up
}

TEST_F(FilesTest, TheResumeScanNeverEntersALinkedFolder) {
    // The clean-up at start removes what the scan finds: through a link it would reach files that are not ours.
    const TempFolder outside;
    outside.write("notes.varnhold-partial", "not the launcher's");
    m_folder.write("Data/patch.MPQ.varnhold-partial", "part");
    ASSERT_TRUE(testing_support::makeFolderLink(outside.path().string(), path("Data/elsewhere")));
    EXPECT_EQ(PartFile::findResumable(m_folder.path().generic_string()),
              std::vector<std::string>{path("Data/patch.MPQ")});
    // Gone as a link before the folders are cleaned up, which on Windows would follow it.
    EXPECT_TRUE(testing_support::removeLink(path("Data/elsewhere")));
}

TEST_F(FilesTest, FreeSpaceIsKnownForAFolderOrAFileAndNotForNothing) {
    writeFile(path("file.bin"), "x");
    const std::optional<std::uint64_t> folder = platform::AvailableBytes(m_folder.path().generic_string());
    ASSERT_TRUE(folder);
    EXPECT_GT(*folder, 0u);
    const std::optional<std::uint64_t> file = platform::AvailableBytes(path("file.bin"));
    ASSERT_TRUE(file);
    EXPECT_GT(*file, 0u);
    EXPECT_FALSE(platform::AvailableBytes(path("missing/folder")));
    EXPECT_FALSE(platform::AvailableBytes(""));
}

TEST_F(FilesTest, FlushToDiskVouchesOnlyForFilesThatAreThere) {
    writeFile(path("a.bin"), "a");
    writeFile(path("b.bin"), "b");
    std::filesystem::create_directory(path("folder"));
    const std::vector<std::string> failed =
        platform::FlushToDisk({path("a.bin"), path("missing.bin"), path("b.bin"), path("folder")});
    EXPECT_EQ(failed, (std::vector<std::string>{path("missing.bin"), path("folder")}));
}

TEST_F(FilesTest, PartFileFailuresComeWithTheirReason) {
    std::string error;
    EXPECT_FALSE(PartFile::create("", error));
    EXPECT_EQ(error, "no target file name");

    error.clear();
    EXPECT_FALSE(PartFile::create(path("no folder/file.bin"), error));
    EXPECT_NE(error.find("cannot create " + path("no folder/file.bin")), std::string::npos) << error;

    // A folder stands where the file should go: the rename fails and says so, and nothing is left behind.
    fs::create_directories(m_folder.path() / "Interface/AddOns");
    std::optional<PartFile> part = PartFile::create(path("Interface/AddOns"), error);
    ASSERT_TRUE(part) << error;
    ASSERT_TRUE(part->append("x", 1));
    EXPECT_FALSE(part->commit());
    EXPECT_NE(part->error().find("cannot rename to " + path("Interface/AddOns")), std::string::npos) << part->error();
    part.reset();
    EXPECT_EQ(entriesIn(m_folder.path() / "Interface"), 1u);
    EXPECT_TRUE(fs::is_directory(m_folder.path() / "Interface/AddOns"));
}

} // namespace
