// SHA-256 (FIPS 180-4) in portable C++, like the MD5 beside it: Windows has no OpenSSL, and one implementation is
// tested the same way on every OS.
#include "sync/Sha256Digest.hpp"

#include "sync/DigestBlocks.hpp"

#include <array>
#include <bit>
#include <cstdint>

// A namespace of its own: the MD5 beside it may be compiled in the same batch, with names like these.
namespace sha256 {
namespace {

using Word = std::uint32_t;

constexpr char hexDigits[] = "0123456789abcdef";
constexpr std::size_t blockSize = DigestBlocks::blockSize;
constexpr std::size_t scheduleSize = 64;

constexpr std::array<Word, 8> initialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::array<Word, scheduleSize> roundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Big-endian whatever the machine's byte order.
Word loadWord(const unsigned char* bytes) {
    return Word{bytes[0]} << 24 | Word{bytes[1]} << 16 | Word{bytes[2]} << 8 | Word{bytes[3]};
}

void compress(std::array<Word, 8>& state, const unsigned char* data, std::size_t count) {
    for (; count > 0; --count, data += blockSize) {
        std::array<Word, scheduleSize> w;
        for (std::size_t i = 0; i < 16; ++i)
            w[i] = loadWord(data + 4 * i);
        for (std::size_t i = 16; i < scheduleSize; ++i) {
            const Word s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const Word s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::array<Word, 8> v = state;
        for (std::size_t i = 0; i < scheduleSize; ++i) {
            const Word& e = v[4];
            const Word& a = v[0];
            const Word choose = (e & v[5]) ^ (~e & v[6]);
            const Word t1 =
                v[7] + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) + choose + roundConstants[i] + w[i];
            const Word majority = (a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]);
            const Word t2 = (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + majority;
            v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
        }
        for (std::size_t i = 0; i < state.size(); ++i)
            state[i] += v[i];
    }
}

} // namespace
} // namespace sha256

struct Sha256Digest::Context {
    std::array<sha256::Word, 8> state = sha256::initialState;
    DigestBlocks blocks;
    bool finished = false;

    void compressBlocks(const unsigned char* data, std::size_t count) { sha256::compress(state, data, count); }
};

Sha256Digest::Sha256Digest() : m_context(std::make_unique<Context>()) {}

Sha256Digest::~Sha256Digest() = default;

bool Sha256Digest::update(const void* data, std::size_t size) {
    Context& context = *m_context;
    if (context.finished)
        return false;
    context.blocks.add(
        static_cast<const unsigned char*>(data), size,
        [&context](const unsigned char* blocks, std::size_t count) { context.compressBlocks(blocks, count); });
    return true;
}

std::string Sha256Digest::hex() {
    Context& context = *m_context;
    if (context.finished)
        return {};
    context.finished = true;
    context.blocks.finish(std::endian::big, [&context](const unsigned char* blocks, std::size_t count) {
        context.compressBlocks(blocks, count);
    });
    std::string text;
    text.reserve(2 * sizeof(sha256::Word) * context.state.size());
    for (const sha256::Word word : context.state) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            const auto byte = static_cast<unsigned char>(word >> shift);
            text += sha256::hexDigits[byte >> 4];
            text += sha256::hexDigits[byte & 0x0f];
        }
    }
    return text;
}
