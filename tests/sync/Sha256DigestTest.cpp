// The portable SHA-256 against published digests, where the padding falls on every side of a block's end, and fed
// in pieces that straddle its blocks.
#include "sync/Sha256Digest.hpp"

#include "support/TempFolder.hpp"
#include "sync/FileMd5.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string sha256InPieces(const std::string& bytes, std::size_t piece) {
    Sha256Digest digest;
    for (std::size_t offset = 0; offset < bytes.size(); offset += piece)
        EXPECT_TRUE(digest.update(bytes.data() + offset, std::min(piece, bytes.size() - offset)));
    return digest.hex();
}

TEST(Sha256Digest, KnownDigests) {
    // FIPS 180-4's examples, and runs of 'a' whose padding needs one block more (55 fits, 56 to 63 do not).
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, expected] : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{1000}}) {
            if (message.size() > 1000 && piece == 1)
                continue;
            EXPECT_EQ(sha256InPieces(message, piece), expected) << message.size() << " bytes in pieces of " << piece;
        }
    }
    Sha256Digest empty;
    EXPECT_EQ(empty.hex(), cases[0].second);
    EXPECT_EQ(empty.hex(), "") << "a digest is given once";
    EXPECT_FALSE(empty.update("abc", 3));
}

TEST(Sha256Digest, OfAFile) {
    testing_support::TempFolder folder;
    folder.write("launcher", "abc");
    const FileHash hash = hashFileSha256((folder.path() / "launcher").string());
    EXPECT_EQ(hash.hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const FileHash missing = hashFileSha256((folder.path() / "none").string());
    EXPECT_EQ(missing.failure, HashFailure::Open);
    EXPECT_TRUE(missing.hex.empty());
}

} // namespace
