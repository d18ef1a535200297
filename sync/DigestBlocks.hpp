// What MD5 and SHA-256 share: the message gathered into 64-byte blocks, whole blocks of the caller's buffer passed
// straight on, and the padding that ends it with its length in bits.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

class DigestBlocks {
public:
    static constexpr std::size_t blockSize = 64;

    /// Adds `size` bytes; `compress(data, count)` folds `count` whole blocks into the digest's state.
    template <typename Compress> void add(const unsigned char* bytes, std::size_t size, Compress&& compress) {
        m_length += size;
        if (m_pendingSize > 0) {
            const std::size_t taken = std::min(size, blockSize - m_pendingSize);
            std::memcpy(m_pending.data() + m_pendingSize, bytes, taken);
            m_pendingSize += taken;
            bytes += taken;
            size -= taken;
            if (m_pendingSize < blockSize)
                return;
            compress(m_pending.data(), std::size_t{1});
            m_pendingSize = 0;
        }
        // Whole blocks straight from the caller's buffer: no copy on the path large reads take.
        compress(bytes, size / blockSize);
        m_pendingSize = size % blockSize;
        std::memcpy(m_pending.data(), bytes + size - m_pendingSize, m_pendingSize);
    }

    /// Pads the message: one 1 bit, zeros up to 8 bytes short of a block, then the length in bits in `order`
    /// (MD5 little-endian, SHA-256 big-endian); the last block or two go to `compress`.
    template <typename Compress> void finish(std::endian order, Compress&& compress) {
        constexpr std::size_t lengthOffset = blockSize - 8;
        const std::uint64_t bits = m_length * 8; // the formats count bits modulo 2^64
        m_pending[m_pendingSize++] = 0x80;
        if (m_pendingSize > lengthOffset) {
            std::fill(m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingSize), m_pending.end(), 0);
            compress(m_pending.data(), std::size_t{1});
            m_pendingSize = 0;
        }
        std::fill(m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingSize), m_pending.begin() + lengthOffset, 0);
        for (std::size_t i = 0; i < 8; ++i) {
            const std::size_t shift = order == std::endian::little ? 8 * i : 8 * (7 - i);
            m_pending[lengthOffset + i] = static_cast<unsigned char>(bits >> shift);
        }
        compress(m_pending.data(), std::size_t{1});
        m_pendingSize = 0;
    }

private:
    std::uint64_t m_length = 0; // bytes added so far
    std::array<unsigned char, blockSize> m_pending{};
    std::size_t m_pendingSize = 0;
};
