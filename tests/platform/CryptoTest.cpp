// Each backend's cryptography against the standards' own test vectors: a backend that used another Ed25519 (such as
// Monocypher's BLAKE2b-based EdDSA) or fed its hash wrongly would fail here before any signature test.
#include "platform/Crypto.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

template <std::size_t N> std::array<std::uint8_t, N> fromHex(const std::string& hex) {
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i)
        bytes[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return bytes;
}

TEST(CryptoTest, Sha256GivesTheStandardDigestsWhateverTheBlocks) {
    platform::Sha256Digest abc;
    ASSERT_TRUE(abc.update("abc", 3));
    EXPECT_EQ(abc.hex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(abc.hex(), "") << "a digest is taken once";
    EXPECT_FALSE(abc.update("abc", 3));

    // A million 'a's in blocks that do not line up with SHA-256's 64 bytes.
    const std::string block(9999, 'a');
    platform::Sha256Digest million;
    std::size_t left = 1000000;
    while (left > 0) {
        const std::size_t part = std::min(left, block.size());
        ASSERT_TRUE(million.update(block.data(), part));
        left -= part;
    }
    EXPECT_EQ(million.hex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(CryptoTest, Blake2bAndEd25519AreTheStandardOnes) {
    const std::optional<platform::Blake2b512Hash> hash = platform::Blake2b512("abc");
    ASSERT_TRUE(hash.has_value());
    EXPECT_EQ(*hash,
              fromHex<64>("ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de4"
                          "533cc9518d38aa8dbf1925ab92386edd4009923"));

    // RFC 8032, section 7.1, test 2: the one-byte message 0x72.
    const auto key = fromHex<32>("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c");
    const auto signature =
        fromHex<64>("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e"
                    "458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
    EXPECT_TRUE(platform::VerifyEd25519(key, "\x72", signature));
    EXPECT_FALSE(platform::VerifyEd25519(key, "\x73", signature));
    auto altered = signature;
    altered[63] ^= 0x01;
    EXPECT_FALSE(platform::VerifyEd25519(key, "\x72", altered));
}

} // namespace
