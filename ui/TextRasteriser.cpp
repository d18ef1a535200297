// Pango lays the text out right-to-left and shapes it; Cairo draws it into memory, so no temporary file is needed.
#include "ui/TextRasteriser.hpp"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace {

// One owner type per C handle, each freed by its library's own function.
template <auto free> struct FreeWith {
    template <typename T> void operator()(T* handle) const { free(handle); }
};
using GObjectDeleter = FreeWith<g_object_unref>;
using FontMapPtr = std::unique_ptr<PangoFontMap, GObjectDeleter>;
using ContextPtr = std::unique_ptr<PangoContext, GObjectDeleter>;
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectDeleter>;
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FreeWith<pango_font_description_free>>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FreeWith<cairo_font_options_destroy>>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, FreeWith<cairo_surface_destroy>>;
using CairoPtr = std::unique_ptr<cairo_t, FreeWith<cairo_destroy>>;
using FcPatternPtr = std::unique_ptr<FcPattern, FreeWith<FcPatternDestroy>>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, FreeWith<FcObjectSetDestroy>>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, FreeWith<FcFontSetDestroy>>;

// Families that draw Persian well, best first; any other family that covers Persian comes after them.
constexpr std::array preferredPersianFamilies{"Vazirmatn", "Noto Sans Arabic", "Noto Naskh Arabic", "Nazli", "Homa"};
constexpr const char* lastResortFamily = "DejaVu Sans"; // covers the Arabic block, without Persian's own tables
constexpr unsigned char persianLanguage[] = "fa";

// Installed families, optionally only those that cover Persian.
std::vector<std::string> installedFamilies(const char* family, bool persianOnly) {
    std::vector<std::string> families;
    const FcPatternPtr pattern(FcPatternCreate());
    if (!pattern)
        return families;
    if (family != nullptr)
        FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    if (persianOnly) {
        FcLangSet* languages = FcLangSetCreate();
        FcLangSetAdd(languages, persianLanguage);
        FcPatternAddLangSet(pattern.get(), FC_LANG, languages);
        FcLangSetDestroy(languages);
    }
    const FcObjectSetPtr objects(FcObjectSetBuild(FC_FAMILY, nullptr));
    const FcFontSetPtr fonts(FcFontList(nullptr, pattern.get(), objects.get()));
    if (!fonts)
        return families;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcChar8* name = nullptr;
        if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch && name != nullptr)
            families.emplace_back(reinterpret_cast<const char*>(name));
    }
    std::sort(families.begin(), families.end());
    return families;
}

std::string persianFamily() {
    const std::vector<std::string> covering = installedFamilies(nullptr, true);
    for (const char* preferred : preferredPersianFamilies)
        if (std::find(covering.begin(), covering.end(), preferred) != covering.end())
            return preferred;
    // Monospaced families make poor running text; take them only when nothing else covers Persian.
    for (const std::string& family : covering)
        if (family.find("Mono") == std::string::npos)
            return family;
    return covering.empty() ? lastResortFamily : covering.front();
}

// Linux has no Tahoma as a rule, and fontconfig's own fallback for it draws Latin faces without Persian letters.
// The alias lives in this process only and is added before Pango first asks fontconfig for a face.
void aliasTahoma() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (FcInit() == FcFalse || !installedFamilies(TextRasteriser::faceName, false).empty())
            return;
        const std::string alias = "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
                                  "<alias binding=\"strong\"><family>" +
                                  std::string(TextRasteriser::faceName) + "</family><prefer><family>" +
                                  persianFamily() + "</family></prefer></alias></fontconfig>";
        FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(alias.c_str()), FcTrue);
    });
}

// Lines split at line feeds; a final line feed adds no line.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Pango rejects invalid UTF-8 wholesale; a stray byte should cost one character, not the whole announcement.
std::string validUtf8(std::string_view text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return std::string(text);
    gchar* repaired = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result(repaired);
    g_free(repaired);
    return result;
}

// Cairo's ARGB32 is premultiplied, native-endian 0xAARRGGBB; sf::Image wants straight RGBA bytes.
std::vector<sf::Uint8> straightRgba(cairo_surface_t* surface, unsigned width, unsigned height) {
    std::vector<sf::Uint8> pixels(std::size_t{width} * height * 4);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
    for (unsigned y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (unsigned x = 0; x < width; ++x) {
            const std::uint32_t argb = row[x];
            const std::uint32_t alpha = argb >> 24;
            sf::Uint8* out = &pixels[(std::size_t{y} * width + x) * 4];
            if (alpha == 0)
                continue; // fully transparent stays (0, 0, 0, 0)
            const auto unpremultiply = [alpha](std::uint32_t channel) {
                return static_cast<sf::Uint8>(std::min<std::uint32_t>(255, (channel * 255 + alpha / 2) / alpha));
            };
            out[0] = unpremultiply((argb >> 16) & 0xFF);
            out[1] = unpremultiply((argb >> 8) & 0xFF);
            out[2] = unpremultiply(argb & 0xFF);
            out[3] = static_cast<sf::Uint8>(alpha);
        }
    }
    return pixels;
}

} // namespace

struct TextRasteriser::Handles {
    FontMapPtr fontMap;
    ContextPtr context;
    FontDescriptionPtr font;

    [[nodiscard]] LayoutPtr layout(std::string_view text) const {
        LayoutPtr layout(pango_layout_new(context.get()));
        pango_layout_set_font_description(layout.get(), font.get());
        // Every paragraph reads right-to-left, Latin ones too, as the right-to-left reading order asks; with the
        // direction guessed per paragraph, Pango would swap the alignment of Latin lines to the left.
        pango_layout_set_auto_dir(layout.get(), FALSE);
        pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
        pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
        pango_layout_context_changed(layout.get());
        return layout;
    }
};

TextRasteriser::TextRasteriser() {
    aliasTahoma();
    auto handles = std::make_unique<Handles>();
    handles->fontMap.reset(pango_cairo_font_map_new());
    if (!handles->fontMap)
        return;
    handles->context.reset(pango_font_map_create_context(handles->fontMap.get()));
    if (!handles->context)
        return;
    pango_context_set_base_dir(handles->context.get(), PANGO_DIRECTION_RTL);
    const FontOptionsPtr options(cairo_font_options_create());
    // Grey anti-aliasing: coloured sub-pixel fringes would not survive the conversion to straight alpha.
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(handles->context.get(), options.get());

    handles->font.reset(pango_font_description_new());
    pango_font_description_set_family(handles->font.get(), faceName);
    pango_font_description_set_absolute_size(handles->font.get(), pixelSize * PANGO_SCALE);
    pango_font_description_set_weight(handles->font.get(), static_cast<PangoWeight>(weight));
    m_handles = std::move(handles);
}

TextRasteriser::~TextRasteriser() = default;

sf::Vector2u TextRasteriser::measure(std::string_view utf8Text) const {
    if (!m_handles)
        return {0, 0};
    const std::string text = validUtf8(utf8Text);
    unsigned width = 0;
    unsigned height = 0;
    for (const std::string_view line : splitLines(text)) {
        const LayoutPtr layout = m_handles->layout(line);
        int lineWidth = 0;
        int lineHeight = 0;
        pango_layout_get_pixel_size(layout.get(), &lineWidth, &lineHeight);
        width = std::max(width, static_cast<unsigned>(std::max(lineWidth, 0)));
        height += static_cast<unsigned>(std::max(lineHeight, 0));
    }
    return {width, height};
}

sf::Image TextRasteriser::rasterise(std::string_view utf8Text) const {
    sf::Image image;
    const sf::Vector2u size = measure(utf8Text);
    if (!m_handles || size.x == 0 || size.y == 0)
        return image;

    std::string text = validUtf8(utf8Text);
    if (!text.empty() && text.back() == '\n')
        text.pop_back(); // the measure counted no line after it
    const LayoutPtr layout = m_handles->layout(text);
    pango_layout_set_width(layout.get(), static_cast<int>(size.x) * PANGO_SCALE);

    const SurfacePtr surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(size.x), static_cast<int>(size.y)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return image;
    {
        const CairoPtr cr(cairo_create(surface.get()));
        cairo_set_source_rgba(cr.get(), 1.0, 1.0, 1.0, 1.0);
        cairo_move_to(cr.get(), 0.0, 0.0);
        pango_cairo_show_layout(cr.get(), layout.get());
    }
    cairo_surface_flush(surface.get());
    const std::vector<sf::Uint8> pixels = straightRgba(surface.get(), size.x, size.y);
    image.create(size.x, size.y, pixels.data());
    return image;
}

std::string TextRasteriser::resolvedFamily() {
    aliasTahoma();
    const FcPatternPtr pattern(FcNameParse(reinterpret_cast<const FcChar8*>(faceName)));
    if (!pattern)
        return {};
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const FcPatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    FcChar8* family = nullptr;
    if (!match || FcPatternGetString(match.get(), FC_FAMILY, 0, &family) != FcResultMatch || family == nullptr)
        return {};
    return reinterpret_cast<const char*>(family);
}
