// The image table and the mock screenshot that puts every image where the window puts it.
#include "Artwork.hpp"

#include "Buttons.hpp"
#include "Cursors.hpp"
#include "Layout.hpp"
#include "Scenery.hpp"

#include <array>
#include <cassert>
#include <cstdio>

namespace artwork {

namespace {

const std::array<ImageInfo, imageCount> table = {{
    {"background", windowWidth, windowHeight, false},
    {"cursor", 30, 27, true},
    {"cursor-active", 32, 29, true},
    {"register", buttonWidth, buttonHeight, false},
    {"register-hover", buttonWidth, buttonHeight, false},
    {"donate", buttonWidth, buttonHeight, false},
    {"donate-hover", buttonWidth, buttonHeight, false},
    {"recruit", buttonWidth, buttonHeight, false},
    {"recruit-hover", buttonWidth, buttonHeight, false},
    {"website", buttonWidth, buttonHeight, false},
    {"website-hover", buttonWidth, buttonHeight, false},
    {"unstuck", buttonWidth, buttonHeight, false},
    {"unstuck-hover", buttonWidth, buttonHeight, false},
    {"vote", buttonWidth, buttonHeight, false},
    {"vote-hover", buttonWidth, buttonHeight, false},
    {"discord", buttonWidth, buttonHeight, true},
    {"discord-hover", buttonWidth, buttonHeight, true},
    {"guide", buttonWidth, buttonHeight, false},
    {"guide-hover", buttonWidth, buttonHeight, false},
    {"play", playWidth, playHeight, false},
    {"play-hover", playWidth, playHeight, false},
    {"play-wait", playWidth, playHeight, false},
}};

struct SideButton {
    int normal;
    const char* english;
    const char* persian;
};

// In the window's column order, top to bottom.
const std::array<SideButton, 7> sideButtons = {{
    {9, "Website", "وب‌سایت"},
    {3, "Register", "ثبت‌نام"},
    {17, "Guide", "راهنما"},
    {7, "Recruit", "دعوت دوستان"},
    {11, "Unstuck", "آزادسازی"},
    {13, "Vote", "رأی"},
    {5, "Donate", "حمایت"},
}};

const SideButton* sideButtonFor(int index) {
    for (const SideButton& b : sideButtons)
        if (index == b.normal || index == b.normal + 1)
            return &b;
    return nullptr;
}

void paintImage(Canvas& c, cairo_t* target, int index, Language language, double x, double y) {
    Canvas img = renderImage(index, language);
    cairo_set_source_surface(target, img.surface(), x, y);
    cairo_paint(target);
    (void)c;
}

void mockText(cairo_t* cr, const std::string& text, double px, double x, double y) {
    LayoutPtr layout = makeLayout(cr, text, {"DejaVu Sans Condensed", PANGO_WEIGHT_NORMAL, px, 0});
    // The window's texts put the first baseline one character size below their position.
    const double baseline = pango_layout_get_baseline(layout.get()) / static_cast<double>(PANGO_SCALE);
    cairo_move_to(cr, x, y + px - baseline);
    setColour(cr, hex(0xffffff));
    pango_cairo_show_layout(cr, layout.get());
}

} // namespace

const ImageInfo& imageInfo(int index) {
    assert(index >= 0 && index < imageCount && "image number out of the table");
    return table[static_cast<std::size_t>(index)];
}

std::string relativePath(int index, Language language) {
    const ImageInfo& info = imageInfo(index);
    char name[64];
    std::snprintf(name, sizeof name, "%02d-%s.%s", index, info.name, index == 0 ? "jpg" : "png");
    if (info.shared)
        return std::string("common/") + name;
    return std::string(language == Language::English ? "en/" : "fa/") + name;
}

Canvas renderImage(int index, Language language, double scale) {
    const ImageInfo& info = imageInfo(index);
    Canvas c(info.width, info.height, scale);
    if (index == 0) {
        paintBackground(c, language);
    } else if (index == 1 || index == 2) {
        paintCursor(c, index == 2);
    } else if (index == 15 || index == 16) {
        paintDiscordButton(c, index == 16);
    } else if (index >= 19) {
        paintPlayButton(c, language,
                        index == 19   ? PlayState::Available
                        : index == 20 ? PlayState::Hovered
                                      : PlayState::Waiting);
    } else if (const SideButton* b = sideButtonFor(index)) {
        paintSideButton(c, language == Language::English ? b->english : b->persian, language, index == b->normal + 1);
    }
    return c;
}

Canvas renderMock(const MockOptions& options) {
    Canvas c(windowWidth, windowHeight);
    cairo_t* cr = c.cr();
    const Language lang = options.language;
    paintImage(c, cr, 0, lang, 0, 0);
    double y = layout::columnTop;
    for (const SideButton& b : sideButtons) {
        paintImage(c, cr, options.hoveredButton == b.normal ? b.normal + 1 : b.normal, lang, layout::columnX, y);
        y += layout::columnStep;
    }
    const int play = !options.playAvailable ? 21 : options.hoveredButton == 19 ? 20 : 19;
    paintImage(c, cr, play, lang, layout::playX, layout::playY);
    paintImage(c, cr, options.hoveredButton == 15 ? 16 : 15, lang, layout::discordX, layout::discordY);

    mockText(cr, "Welcome to Varnhold! Double experience all weekend.\nThe new realm Emberfall opens on Friday.", 16,
             layout::announceX, layout::announceY);
    const char* realms[] = {"Alpha: Online", "Emberfall: Offline", "Frostmere: Online"};
    for (int i = 0; i < 3; ++i)
        mockText(cr, realms[i], 16, layout::announceX, layout::realmY + layout::realmStep * i);
    mockText(cr, options.playAvailable ? "Ready to Play" : "Download - Requirements", 12, layout::statusX,
             layout::statusY);
    paintImage(c, cr, options.hoveredButton >= 0 ? 2 : 1, lang, 400, 530);
    return c;
}

} // namespace artwork
