// FileMd5 against the reference vectors, against the system's own one-shot digest, and its failure lines.
#include "sync/FileMd5.hpp"

#include "support/Md5.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>

namespace {

using testing_support::TempFolder;

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(byte(engine));
    }
    return bytes;
}

TEST(FileMd5, MatchesTheReferenceVectors) {
    const TempFolder folder;
    const std::pair<std::string, std::string> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, expected] : vectors) {
        folder.write("vector.txt", text);
        EXPECT_EQ(FileMd5((folder.path() / "vector.txt").string()), expected) << '"' << text << '"';
    }
}

TEST(FileMd5, AgreesWithOneShotDigestAroundReadBlockBoundaries) {
    const TempFolder folder;
    constexpr std::size_t kib = 1024;
    const std::size_t sizes[] = {
        0, 1, 64 * kib - 1, 64 * kib, 64 * kib + 1, 256 * kib - 1, 256 * kib, 256 * kib + 1, 3 * 1024 * kib + 7};
    unsigned seed = 1;
    for (const std::size_t size : sizes) {
        const std::string bytes = randomBytes(size, seed++);
        const std::string path = (folder.path() / "random.bin").string();
        folder.write("random.bin", bytes);

        testing::internal::CaptureStdout();
        const std::string md5 = FileMd5(path);
        const std::string printed = testing::internal::GetCapturedStdout();

        const std::string expected = testing_support::md5Hex(bytes);
        EXPECT_EQ(md5, expected) << size << " bytes";
        EXPECT_EQ(printed, "MD5 hash of file " + path + " is: " + expected + "\n");
    }
}

TEST(FileMd5, FailsWithEmptyTextAndTheReason) {
    const TempFolder folder;
    const std::string missing = (folder.path() / "no such file.bin").string();
    testing::internal::CaptureStdout();
    EXPECT_EQ(FileMd5(missing), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error opening file " + missing + "\nError: 2\n");

    // A folder opens on Linux but cannot be read as a file (EISDIR); Windows refuses to open it (access denied).
    testing::internal::CaptureStdout();
    EXPECT_EQ(FileMd5(folder.path().string()), "");
#ifdef _WIN32
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error opening file " + folder.path().string() + "\nError: 5\n");
#else
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ReadFile failed: 21\n");
#endif

    testing::internal::CaptureStdout();
    EXPECT_EQ(FileMd5(""), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error opening file \nError: 2\n");
}

} // namespace
