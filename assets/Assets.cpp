// Hands out the embedded artwork and font from the table the build generates from the files in this folder.
#include "assets/Assets.hpp"

namespace assets::detail {
// Generated at build time (varnhold-embed): English images, Finglish images, both again at twice the size, then the
// font.
extern const std::span<const unsigned char> embeddedFiles[];
extern const std::size_t embeddedFiles_count;
} // namespace assets::detail

namespace assets {

namespace {

constexpr std::size_t setCount = 2;
constexpr std::size_t scaleCount = 2;
constexpr std::size_t fontEntry = scaleCount * setCount * imageCount;

std::span<const unsigned char> entry(std::size_t i) {
    // The count check guards against a build whose table was generated from a shorter file list.
    return i < detail::embeddedFiles_count ? detail::embeddedFiles[i] : std::span<const unsigned char>{};
}

} // namespace

std::span<const unsigned char> image(int index, ImageSet set, ImageScale scale) {
    if (index < 0 || index >= imageCount)
        return {};
    const std::size_t setBase = set == ImageSet::English ? 0 : static_cast<std::size_t>(imageCount);
    const std::size_t scaleBase = scale == ImageScale::Single ? 0 : setCount * static_cast<std::size_t>(imageCount);
    return entry(scaleBase + setBase + static_cast<std::size_t>(index));
}

std::span<const unsigned char> font() {
    return entry(fontEntry);
}

} // namespace assets
