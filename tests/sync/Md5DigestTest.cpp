// The portable MD5 against the system's own, fed in pieces that straddle its 64-byte blocks in every way.
#include "sync/Md5Digest.hpp"

#include "support/Md5.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>

namespace {

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(byte(engine));
    }
    return bytes;
}

std::string digestInPieces(const std::string& bytes, std::size_t piece) {
    Md5Digest digest;
    for (std::size_t offset = 0; offset < bytes.size(); offset += piece) {
        EXPECT_TRUE(digest.update(bytes.data() + offset, std::min(piece, bytes.size() - offset)));
    }
    return digest.hex();
}

TEST(Md5Digest, AgreesWithTheSystemDigestForEveryLengthAndPieceSize) {
    // Every length up to three blocks covers each place the padding and the length field can fall.
    constexpr std::size_t longest = 3 * 64 + 1;
    const std::string bytes = randomBytes(longest + 4096, 42);
    for (std::size_t length = 0; length <= longest; ++length) {
        const std::string message = bytes.substr(0, length);
        const std::string expected = testing_support::md5Hex(message);
        for (const std::size_t piece :
             {std::size_t{1}, std::size_t{7}, std::size_t{63}, std::size_t{64}, std::size_t{65}, std::size_t{1000}}) {
            ASSERT_EQ(digestInPieces(message, piece), expected) << length << " bytes in pieces of " << piece;
        }
    }
    EXPECT_EQ(digestInPieces(bytes, 4096), testing_support::md5Hex(bytes));
}

TEST(Md5Digest, GivesItsDigestOnce) {
    Md5Digest digest;
    EXPECT_TRUE(digest.ready());
    ASSERT_TRUE(digest.update("abc", 3));
    EXPECT_EQ(digest.hex(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_FALSE(digest.ready());
    EXPECT_FALSE(digest.update("abc", 3));
    EXPECT_EQ(digest.hex(), "");
}

} // namespace
