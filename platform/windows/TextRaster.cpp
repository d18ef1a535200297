// GDI lays the text out and shapes it into a DIB section in memory, so no temporary bitmap file is needed.
#include "platform/TextRaster.hpp"

#include "platform/Paragraphs.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

// One owner per GDI handle kind, each freed by its own function.
struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using DcPtr = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using FontPtr = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using BitmapPtr = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

// Puts the previous object back into the context when the scope ends, as GDI wants before either is deleted.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() { SelectObject(m_dc, m_previous); }

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// A layout box wide enough that nothing wraps.
constexpr LONG unboundedWidth = 1 << 24;
constexpr UINT layoutFlags = DT_RIGHT | DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL;

// The direction of a paragraph is that of its first letter with one: a Latin announcement stays left to right,
// with its full stop at the end, even where the announcement is flagged Persian.
bool readsRightToLeft(std::wstring_view paragraph) {
    for (std::size_t i = 0; i < paragraph.size(); ++i) {
        WORD type = 0;
        if (GetStringTypeW(CT_CTYPE2, &paragraph[i], 1, &type) == 0) {
            continue;
        }
        if (type == C2_RIGHTTOLEFT) {
            return true;
        }
        if (type == C2_LEFTTORIGHT) {
            return false;
        }
    }
    return true; // nothing strong at all: the announcement's own direction
}

UINT paragraphFlags(std::wstring_view paragraph, bool wrap) {
    return layoutFlags | (wrap ? DT_WORDBREAK : 0u) | (readsRightToLeft(paragraph) ? DT_RTLREADING : 0u);
}

} // namespace

struct TextRaster::Handles {
    FontPtr font; // before the context, so that the context, holding it selected, goes first
    DcPtr dc;
    int linePitch = 0; // rows from one line's top to the next: the font's cell

    // The rectangle `paragraph` takes when broken at `width` (unboundedWidth: never); an empty paragraph is one
    // empty line.
    [[nodiscard]] RECT layout(std::wstring_view paragraph, LONG width) const {
        RECT rect{0, 0, width, 0};
        if (paragraph.empty()) {
            rect.right = 0;
            rect.bottom = linePitch;
            return rect;
        }
        DrawTextW(dc.get(), const_cast<wchar_t*>(paragraph.data()), static_cast<int>(paragraph.size()), &rect,
                  paragraphFlags(paragraph, width != unboundedWidth) | DT_CALCRECT);
        return rect;
    }
};

TextRaster::TextRaster(float scale) {
    auto handles = std::make_unique<Handles>();
    handles->dc.reset(CreateCompatibleDC(nullptr));
    if (!handles->dc) {
        return;
    }
    // Grey anti-aliasing: ClearType's coloured fringes would not survive the conversion to straight alpha.
    const std::wstring face = detail::toWide(faceName);
    const int height = static_cast<int>(std::lround(static_cast<float>(cellHeight) * scale));
    handles->font.reset(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, face.c_str()));
    if (!handles->font) {
        return;
    }
    // The font stays selected for the object's life.
    SelectObject(handles->dc.get(), handles->font.get());
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(handles->dc.get(), &metrics) == 0 || metrics.tmHeight <= 0) {
        return;
    }
    handles->linePitch = metrics.tmHeight;
    SetTextColor(handles->dc.get(), RGB(255, 255, 255));
    SetBkMode(handles->dc.get(), TRANSPARENT);
    m_handles = std::move(handles);
}

TextRaster::~TextRaster() = default;

TextRaster::operator bool() const noexcept {
    return m_handles != nullptr;
}

TextSize TextRaster::measure(std::string_view utf8Text, unsigned wrapWidth) const {
    if (!m_handles) {
        return {};
    }
    const std::wstring text = detail::toWideReplacingInvalid(utf8Text);
    const LONG width =
        wrapWidth >= static_cast<unsigned>(unboundedWidth) ? unboundedWidth : static_cast<LONG>(wrapWidth);
    TextSize size;
    for (const std::wstring_view paragraph : detail::splitParagraphs(text)) {
        const RECT rect = m_handles->layout(paragraph, width);
        // A word wider than the box is cut at its edge: it never widens the text.
        size.width = std::max(size.width, static_cast<unsigned>(std::clamp<LONG>(rect.right - rect.left, 0, width)));
        size.height += static_cast<unsigned>(std::max<LONG>(rect.bottom - rect.top, m_handles->linePitch));
    }
    return size;
}

TextImage TextRaster::rasterise(std::string_view utf8Text, TextSize box) const {
    TextImage image;
    if (!m_handles || box.width == 0 || box.height == 0) {
        return image;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(box.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(box.height); // rows top first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const BitmapPtr bitmap(CreateDIBSection(m_handles->dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) {
        return image;
    }
    {
        const Selection selected(m_handles->dc.get(), bitmap.get());
        const std::wstring text = detail::toWideReplacingInvalid(utf8Text);
        LONG top = 0;
        for (const std::wstring_view paragraph : detail::splitParagraphs(text)) {
            if (top >= static_cast<LONG>(box.height)) {
                break;
            }
            const RECT laidOut = m_handles->layout(paragraph, static_cast<LONG>(box.width));
            const LONG height = std::max<LONG>(laidOut.bottom - laidOut.top, m_handles->linePitch);
            if (!paragraph.empty()) {
                RECT rect{0, top, static_cast<LONG>(box.width), top + height};
                DrawTextW(m_handles->dc.get(), const_cast<wchar_t*>(paragraph.data()),
                          static_cast<int>(paragraph.size()), &rect, paragraphFlags(paragraph, true));
            }
            top += height;
        }
        GdiFlush(); // the pixels are read directly below
    }
    // White text on black: the grey level is the glyph's coverage, and so its alpha.
    image.size = box;
    image.rgba.assign(std::size_t{box.width} * box.height * 4, 0);
    const auto* pixels = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < std::size_t{box.width} * box.height; ++i) {
        const std::uint8_t coverage = std::max({pixels[4 * i], pixels[4 * i + 1], pixels[4 * i + 2]});
        if (coverage > 0) {
            image.rgba[4 * i] = 255;
            image.rgba[4 * i + 1] = 255;
            image.rgba[4 * i + 2] = 255;
            image.rgba[4 * i + 3] = coverage;
        }
    }
    return image;
}

std::string TextRaster::resolvedFamily() {
    const TextRaster rasteriser;
    if (!rasteriser) {
        return {};
    }
    wchar_t face[LF_FACESIZE] = {};
    if (GetTextFaceW(rasteriser.m_handles->dc.get(), LF_FACESIZE, face) == 0) {
        return {};
    }
    return detail::toUtf8(face);
}

} // namespace platform
