// Hands out the embedded artwork and font from the table the build generates from the files in this folder.
#include "assets/Assets.hpp"

namespace assets::detail {
// Generated at build time (varnhold-embed): English images, Finglish images, then the font.
extern const std::span<const unsigned char> embeddedFiles[];
extern const std::size_t embeddedFiles_count;
} // namespace assets::detail

namespace assets {

namespace {

constexpr std::size_t setCount = 2;
constexpr std::size_t fontEntry = setCount * imageCount;

std::span<const unsigned char> entry(std::size_t i) {
    // The count check guards against a build whose table was generated from a shorter file list.
    return i < detail::embeddedFiles_count ? detail::embeddedFiles[i] : std::span<const unsigned char>{};
}

} // namespace

std::span<const unsigned char> image(int index, ImageSet set) {
    if (index < 0 || index >= imageCount)
        return {};
    const std::size_t base = set == ImageSet::English ? 0 : static_cast<std::size_t>(imageCount);
    return entry(base + static_cast<std::size_t>(index));
}

std::span<const unsigned char> font() {
    return entry(fontEntry);
}

} // namespace assets
