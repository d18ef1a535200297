// MD5 (RFC 1321) in portable C++: one implementation for every OS, since Windows has no OpenSSL and its own
// providers (CNG, CryptoAPI) run slower than this under Wine.
#include "sync/Md5Digest.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr char hexDigits[] = "0123456789abcdef";
constexpr std::size_t blockSize = 64;
constexpr std::size_t lengthOffset = blockSize - 8; // where the message length goes in the last block
constexpr std::size_t digestSize = 16;
constexpr std::array<std::uint32_t, 4> initialState = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

using Word = std::uint32_t;

// Little-endian whatever the machine's byte order; compilers turn this into one load on x86.
Word loadWord(const unsigned char* bytes) {
    return Word{bytes[0]} | Word{bytes[1]} << 8 | Word{bytes[2]} << 16 | Word{bytes[3]} << 24;
}

// The four round functions are written so that a processor can work ahead: F and I need b last, and G is split in
// two additions of disjoint bit sets, so that its half without b starts before the previous step has finished.
// This keeps the portable code level with OpenSSL's assembly.
inline void stepF(Word& a, Word b, Word c, Word d, Word x, Word t, int s) {
    a = b + std::rotl(a + (d ^ (b & (c ^ d))) + x + t, s);
}
inline void stepG(Word& a, Word b, Word c, Word d, Word x, Word t, int s) {
    a = b + std::rotl(a + x + t + (c & ~d) + (b & d), s);
}
inline void stepH(Word& a, Word b, Word c, Word d, Word x, Word t, int s) {
    a = b + std::rotl(a + x + t + (b ^ c ^ d), s);
}
inline void stepI(Word& a, Word b, Word c, Word d, Word x, Word t, int s) {
    a = b + std::rotl(a + x + t + (c ^ (b | ~d)), s);
}

// Folds `count` whole 64-byte blocks into `state`.
void compress(std::array<Word, 4>& state, const unsigned char* data, std::size_t count) {
    Word a0 = state[0];
    Word b0 = state[1];
    Word c0 = state[2];
    Word d0 = state[3];
    for (; count > 0; --count, data += blockSize) {
        std::array<Word, 16> x;
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] = loadWord(data + 4 * i);
        }
        Word a = a0;
        Word b = b0;
        Word c = c0;
        Word d = d0;

        stepF(a, b, c, d, x[0], 0xd76aa478, 7);
        stepF(d, a, b, c, x[1], 0xe8c7b756, 12);
        stepF(c, d, a, b, x[2], 0x242070db, 17);
        stepF(b, c, d, a, x[3], 0xc1bdceee, 22);
        stepF(a, b, c, d, x[4], 0xf57c0faf, 7);
        stepF(d, a, b, c, x[5], 0x4787c62a, 12);
        stepF(c, d, a, b, x[6], 0xa8304613, 17);
        stepF(b, c, d, a, x[7], 0xfd469501, 22);
        stepF(a, b, c, d, x[8], 0x698098d8, 7);
        stepF(d, a, b, c, x[9], 0x8b44f7af, 12);
        stepF(c, d, a, b, x[10], 0xffff5bb1, 17);
        stepF(b, c, d, a, x[11], 0x895cd7be, 22);
        stepF(a, b, c, d, x[12], 0x6b901122, 7);
        stepF(d, a, b, c, x[13], 0xfd987193, 12);
        stepF(c, d, a, b, x[14], 0xa679438e, 17);
        stepF(b, c, d, a, x[15], 0x49b40821, 22);

        stepG(a, b, c, d, x[1], 0xf61e2562, 5);
        stepG(d, a, b, c, x[6], 0xc040b340, 9);
        stepG(c, d, a, b, x[11], 0x265e5a51, 14);
        stepG(b, c, d, a, x[0], 0xe9b6c7aa, 20);
        stepG(a, b, c, d, x[5], 0xd62f105d, 5);
        stepG(d, a, b, c, x[10], 0x02441453, 9);
        stepG(c, d, a, b, x[15], 0xd8a1e681, 14);
        stepG(b, c, d, a, x[4], 0xe7d3fbc8, 20);
        stepG(a, b, c, d, x[9], 0x21e1cde6, 5);
        stepG(d, a, b, c, x[14], 0xc33707d6, 9);
        stepG(c, d, a, b, x[3], 0xf4d50d87, 14);
        stepG(b, c, d, a, x[8], 0x455a14ed, 20);
        stepG(a, b, c, d, x[13], 0xa9e3e905, 5);
        stepG(d, a, b, c, x[2], 0xfcefa3f8, 9);
        stepG(c, d, a, b, x[7], 0x676f02d9, 14);
        stepG(b, c, d, a, x[12], 0x8d2a4c8a, 20);

        stepH(a, b, c, d, x[5], 0xfffa3942, 4);
        stepH(d, a, b, c, x[8], 0x8771f681, 11);
        stepH(c, d, a, b, x[11], 0x6d9d6122, 16);
        stepH(b, c, d, a, x[14], 0xfde5380c, 23);
        stepH(a, b, c, d, x[1], 0xa4beea44, 4);
        stepH(d, a, b, c, x[4], 0x4bdecfa9, 11);
        stepH(c, d, a, b, x[7], 0xf6bb4b60, 16);
        stepH(b, c, d, a, x[10], 0xbebfbc70, 23);
        stepH(a, b, c, d, x[13], 0x289b7ec6, 4);
        stepH(d, a, b, c, x[0], 0xeaa127fa, 11);
        stepH(c, d, a, b, x[3], 0xd4ef3085, 16);
        stepH(b, c, d, a, x[6], 0x04881d05, 23);
        stepH(a, b, c, d, x[9], 0xd9d4d039, 4);
        stepH(d, a, b, c, x[12], 0xe6db99e5, 11);
        stepH(c, d, a, b, x[15], 0x1fa27cf8, 16);
        stepH(b, c, d, a, x[2], 0xc4ac5665, 23);

        stepI(a, b, c, d, x[0], 0xf4292244, 6);
        stepI(d, a, b, c, x[7], 0x432aff97, 10);
        stepI(c, d, a, b, x[14], 0xab9423a7, 15);
        stepI(b, c, d, a, x[5], 0xfc93a039, 21);
        stepI(a, b, c, d, x[12], 0x655b59c3, 6);
        stepI(d, a, b, c, x[3], 0x8f0ccc92, 10);
        stepI(c, d, a, b, x[10], 0xffeff47d, 15);
        stepI(b, c, d, a, x[1], 0x85845dd1, 21);
        stepI(a, b, c, d, x[8], 0x6fa87e4f, 6);
        stepI(d, a, b, c, x[15], 0xfe2ce6e0, 10);
        stepI(c, d, a, b, x[6], 0xa3014314, 15);
        stepI(b, c, d, a, x[13], 0x4e0811a1, 21);
        stepI(a, b, c, d, x[4], 0xf7537e82, 6);
        stepI(d, a, b, c, x[11], 0xbd3af235, 10);
        stepI(c, d, a, b, x[2], 0x2ad7d2bb, 15);
        stepI(b, c, d, a, x[9], 0xeb86d391, 21);

        a0 += a;
        b0 += b;
        c0 += c;
        d0 += d;
    }
    state = {a0, b0, c0, d0};
}

} // namespace

struct Md5Digest::Context {
    std::array<Word, 4> state = initialState;
    std::uint64_t length = 0; // bytes added so far; the format counts bits modulo 2^64
    std::array<unsigned char, blockSize> pending{};
    std::size_t pendingSize = 0;
    bool finished = false;
};

Md5Digest::Md5Digest() : m_context(std::make_unique<Context>()) {}

Md5Digest::~Md5Digest() = default;

bool Md5Digest::ready() const noexcept {
    return !m_context->finished;
}

bool Md5Digest::update(const void* data, std::size_t size) {
    Context& context = *m_context;
    if (context.finished) {
        return false;
    }
    auto bytes = static_cast<const unsigned char*>(data);
    context.length += size;
    if (context.pendingSize > 0) {
        const std::size_t taken = std::min(size, blockSize - context.pendingSize);
        std::memcpy(context.pending.data() + context.pendingSize, bytes, taken);
        context.pendingSize += taken;
        bytes += taken;
        size -= taken;
        if (context.pendingSize < blockSize) {
            return true;
        }
        compress(context.state, context.pending.data(), 1);
        context.pendingSize = 0;
    }
    // Whole blocks straight from the caller's buffer: no copy on the path large reads take.
    compress(context.state, bytes, size / blockSize);
    context.pendingSize = size % blockSize;
    std::memcpy(context.pending.data(), bytes + size - context.pendingSize, context.pendingSize);
    return true;
}

std::string Md5Digest::hex() {
    Context& context = *m_context;
    if (context.finished) {
        return {};
    }
    context.finished = true;

    // Padding: one 1 bit, zeros up to 8 bytes short of a block, then the length in bits, little-endian.
    const std::uint64_t bits = context.length * 8;
    context.pending[context.pendingSize++] = 0x80;
    if (context.pendingSize > lengthOffset) {
        std::fill(context.pending.begin() + static_cast<std::ptrdiff_t>(context.pendingSize), context.pending.end(), 0);
        compress(context.state, context.pending.data(), 1);
        context.pendingSize = 0;
    }
    std::fill(context.pending.begin() + static_cast<std::ptrdiff_t>(context.pendingSize),
              context.pending.begin() + lengthOffset, 0);
    for (std::size_t i = 0; i < 8; ++i) {
        context.pending[lengthOffset + i] = static_cast<unsigned char>(bits >> (8 * i));
    }
    compress(context.state, context.pending.data(), 1);

    std::string text;
    text.reserve(2 * digestSize);
    for (const Word word : context.state) {
        for (std::size_t i = 0; i < 4; ++i) {
            const auto byte = static_cast<unsigned char>(word >> (8 * i));
            text += hexDigits[byte >> 4];
            text += hexDigits[byte & 0x0f];
        }
    }
    return text;
}
