// Pango lays the text out and shapes it; Cairo draws it into memory, so no temporary file is needed.
#include "platform/TextRaster.hpp"

#include "platform/Paragraphs.hpp"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

namespace platform {
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
using FontMetricsPtr = std::unique_ptr<PangoFontMetrics, FreeWith<pango_font_metrics_unref>>;
using LayoutIterPtr = std::unique_ptr<PangoLayoutIter, FreeWith<pango_layout_iter_free>>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FreeWith<cairo_font_options_destroy>>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, FreeWith<cairo_surface_destroy>>;
using CairoPtr = std::unique_ptr<cairo_t, FreeWith<cairo_destroy>>;
using FcPatternPtr = std::unique_ptr<FcPattern, FreeWith<FcPatternDestroy>>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, FreeWith<FcObjectSetDestroy>>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, FreeWith<FcFontSetDestroy>>;
using GCharPtr = std::unique_ptr<gchar, FreeWith<g_free>>;

// Pango sizes fonts by the em; 16 pixels keeps the glyphs as large as the window's other texts of size 16.
constexpr int emPixels = 16;

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
        if (FcInit() == FcFalse || !installedFamilies(TextRaster::faceName, false).empty())
            return;
        const std::string alias = "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
                                  "<alias binding=\"strong\"><family>" +
                                  std::string(TextRaster::faceName) + "</family><prefer><family>" + persianFamily() +
                                  "</family></prefer></alias></fontconfig>";
        FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(alias.c_str()), FcTrue);
    });
}

// Pango rejects invalid UTF-8 wholesale; a stray byte should cost one character, not the whole announcement.
std::string validUtf8(std::string_view text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return std::string(text);
    const GCharPtr repaired(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
    return std::string(repaired.get());
}

// Cairo's ARGB32 is premultiplied, native-endian 0xAARRGGBB; the contract wants straight RGBA bytes.
std::vector<std::uint8_t> straightRgba(cairo_surface_t* surface, TextSize size) {
    std::vector<std::uint8_t> pixels(std::size_t{size.width} * size.height * 4);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
    for (unsigned y = 0; y < size.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (unsigned x = 0; x < size.width; ++x) {
            const std::uint32_t argb = row[x];
            const std::uint32_t alpha = argb >> 24;
            std::uint8_t* out = &pixels[(std::size_t{y} * size.width + x) * 4];
            if (alpha == 0)
                continue; // fully transparent stays (0, 0, 0, 0)
            const auto unpremultiply = [alpha](std::uint32_t channel) {
                return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (channel * 255 + alpha / 2) / alpha));
            };
            out[0] = unpremultiply((argb >> 16) & 0xFF);
            out[1] = unpremultiply((argb >> 8) & 0xFF);
            out[2] = unpremultiply(argb & 0xFF);
            out[3] = static_cast<std::uint8_t>(alpha);
        }
    }
    return pixels;
}

// The first character with a strong direction decides, as in Unicode's paragraph rule; a paragraph with none keeps
// the right-to-left reading order of a Persian announcement.
bool readsRightToLeft(std::string_view paragraph) {
    const char* const end = paragraph.data() + paragraph.size();
    for (const char* at = paragraph.data(); at < end; at = g_utf8_next_char(at)) {
        const FriBidiCharType type = fribidi_get_bidi_type(g_utf8_get_char(at));
        if (type == FRIBIDI_TYPE_LTR)
            return false;
        if (type == FRIBIDI_TYPE_RTL || type == FRIBIDI_TYPE_AL)
            return true;
    }
    return true;
}

ContextPtr makeContext(PangoFontMap* fontMap, PangoDirection direction) {
    ContextPtr context(pango_font_map_create_context(fontMap));
    if (!context)
        return context;
    pango_context_set_base_dir(context.get(), direction);
    const FontOptionsPtr options(cairo_font_options_create());
    // Grey anti-aliasing: coloured sub-pixel fringes would not survive the conversion to straight alpha.
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context.get(), options.get());
    return context;
}

// One laid-out line: where it starts once aligned, its width, its ascent and its height, in Pango units.
struct LaidLine {
    PangoLayoutLine* line = nullptr; // owned by the paragraph's layout
    int x = 0;
    int width = 0;
    int ascent = 0;
    int height = 0;
};

} // namespace

struct TextRaster::Handles {
    FontMapPtr fontMap;
    ContextPtr leftToRight;
    ContextPtr rightToLeft;
    FontDescriptionPtr font;
    int linePitch = 0; // rows from one line's top to the next

    // `width` in pixels, or noWrap for a paragraph that is never broken.
    [[nodiscard]] LayoutPtr paragraph(std::string_view text, unsigned width) const {
        LayoutPtr layout(pango_layout_new(readsRightToLeft(text) ? rightToLeft.get() : leftToRight.get()));
        pango_layout_set_font_description(layout.get(), font.get());
        // The paragraph's direction is the context's: left to Pango, it would also swap the alignment of the
        // paragraphs that run against the first one.
        pango_layout_set_auto_dir(layout.get(), FALSE);
        pango_layout_set_alignment(layout.get(), PANGO_ALIGN_RIGHT);
        pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
        pango_layout_set_width(layout.get(), width == noWrap ? -1 : static_cast<int>(width) * PANGO_SCALE);
        pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
        return layout;
    }

    [[nodiscard]] static std::vector<LaidLine> lines(PangoLayout* layout) {
        std::vector<LaidLine> laid;
        const LayoutIterPtr iter(pango_layout_get_iter(layout));
        do {
            PangoRectangle logical{};
            pango_layout_iter_get_line_extents(iter.get(), nullptr, &logical);
            laid.push_back({pango_layout_iter_get_line_readonly(iter.get()), logical.x, logical.width,
                            pango_layout_iter_get_baseline(iter.get()) - logical.y, logical.height});
        } while (pango_layout_iter_next_line(iter.get()));
        return laid;
    }
};

TextRaster::TextRaster(float scale) {
    aliasTahoma();
    auto handles = std::make_unique<Handles>();
    handles->fontMap.reset(pango_cairo_font_map_new());
    if (!handles->fontMap)
        return;
    handles->leftToRight = makeContext(handles->fontMap.get(), PANGO_DIRECTION_LTR);
    handles->rightToLeft = makeContext(handles->fontMap.get(), PANGO_DIRECTION_RTL);
    if (!handles->leftToRight || !handles->rightToLeft)
        return;

    handles->font.reset(pango_font_description_new());
    pango_font_description_set_family(handles->font.get(), faceName);
    pango_font_description_set_absolute_size(handles->font.get(), std::round(emPixels * scale) * PANGO_SCALE);
    pango_font_description_set_weight(handles->font.get(), static_cast<PangoWeight>(weight));

    const FontMetricsPtr metrics(pango_context_get_metrics(handles->rightToLeft.get(), handles->font.get(), nullptr));
    if (!metrics)
        return;
    // Persian faces leave room for stacked marks that Tahoma does not (Noto Sans Arabic: 34 rows at this size),
    // which would set the lines twice as far apart as the window's other texts.
    handles->linePitch = std::min(PANGO_PIXELS_CEIL(pango_font_metrics_get_height(metrics.get())),
                                  static_cast<int>(std::lround(static_cast<float>(maxLinePitch) * scale)));
    if (handles->linePitch <= 0)
        return;
    m_handles = std::move(handles);
}

TextRaster::~TextRaster() = default;

TextRaster::operator bool() const noexcept {
    return m_handles != nullptr;
}

TextSize TextRaster::measure(std::string_view utf8Text, unsigned wrapWidth) const {
    if (!m_handles)
        return {};
    const std::string text = validUtf8(utf8Text);
    TextSize size;
    for (const std::string_view paragraph : detail::splitParagraphs(text)) {
        const LayoutPtr layout = m_handles->paragraph(paragraph, wrapWidth);
        for (const LaidLine& line : Handles::lines(layout.get())) {
            size.width = std::max(size.width, static_cast<unsigned>(std::max(PANGO_PIXELS_CEIL(line.width), 0)));
            size.height += static_cast<unsigned>(m_handles->linePitch);
        }
    }
    return size;
}

TextImage TextRaster::rasterise(std::string_view utf8Text, TextSize box) const {
    TextImage image;
    if (!m_handles || box.width == 0 || box.height == 0)
        return image;
    const SurfacePtr surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(box.width), static_cast<int>(box.height)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return image;
    {
        const CairoPtr cr(cairo_create(surface.get()));
        cairo_set_source_rgba(cr.get(), 1.0, 1.0, 1.0, 1.0);
        const std::string text = validUtf8(utf8Text);
        double top = 0.0;
        for (const std::string_view paragraph : detail::splitParagraphs(text)) {
            const LayoutPtr layout = m_handles->paragraph(paragraph, box.width);
            for (const LaidLine& line : Handles::lines(layout.get())) {
                if (top >= box.height)
                    break;
                // The line's glyphs sit centred in the pitch, so a face with a taller cell still keeps to it.
                const double baseline = top + (m_handles->linePitch - line.height / double{PANGO_SCALE}) / 2.0 +
                                        line.ascent / double{PANGO_SCALE};
                cairo_move_to(cr.get(), line.x / double{PANGO_SCALE}, baseline);
                pango_cairo_show_layout_line(cr.get(), line.line);
                top += m_handles->linePitch;
            }
        }
    }
    cairo_surface_flush(surface.get());
    image.size = box;
    image.rgba = straightRgba(surface.get(), box);
    return image;
}

std::string TextRaster::resolvedFamily() {
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

} // namespace platform
