// The launcher's image table (number, role, size, file name) and the painter of each image.
#pragma once

#include "Canvas.hpp"

#include <string>

namespace artwork {

enum class Language { English, Finglish };

inline constexpr int imageCount = 22;
inline constexpr int windowWidth = 800;
inline constexpr int windowHeight = 600;
inline constexpr int buttonWidth = 174;
inline constexpr int buttonHeight = 43;
inline constexpr int playWidth = 328;
inline constexpr int playHeight = 110;

struct ImageInfo {
    const char* name;
    int width;
    int height;
    bool shared; // one image for both languages, kept under common/
};

[[nodiscard]] const ImageInfo& imageInfo(int index);

/// Path below the assets folder: "en/00-background.jpg", "fa/03-register.png", "common/01-cursor.png".
[[nodiscard]] std::string relativePath(int index, Language language);

/// Paints image `index` of `language` at its table size times `scale` (1, or 2 for scaled displays).
[[nodiscard]] Canvas renderImage(int index, Language language, double scale = 1);

/// A full window as the launcher would show it, to judge the artwork as a whole.
struct MockOptions {
    Language language = Language::English;
    bool playAvailable = true;
    int hoveredButton = -1; // image number of a hovered normal sprite, or -1
};
[[nodiscard]] Canvas renderMock(const MockOptions& options);

} // namespace artwork
