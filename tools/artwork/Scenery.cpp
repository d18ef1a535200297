// Paints the background procedurally so it can be restyled and remade: every shape is a Cairo path.
#include "Scenery.hpp"

#include "Layout.hpp"
#include "ui/StatusBox.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace artwork {

namespace {

constexpr std::uint64_t skySeed = 0x5eed0001;
constexpr std::uint64_t ridgeSeed = 0x5eed0002;
constexpr std::uint64_t treeSeed = 0x5eed0003;
constexpr int starCount = 520;
constexpr double moonX = 700, moonY = 384, moonRadius = 40;
// The keep stands low on the right, below the button column, against the moon.
constexpr double castleDrop = 56;
constexpr double horizonY = 430;

const Rgba gold = hex(0xe8c170);
const Rgba deepGold = hex(0x9a6b26);
const Rgba outline = hex(0x05060c);

// Midpoint displacement: a natural ridge line of 2^depth + 1 heights across the window.
std::vector<double> ridge(Random& rng, int depth, double base, double amplitude, double roughness) {
    const std::size_t n = (std::size_t{1} << depth) + 1;
    std::vector<double> h(n, base);
    h.front() = base + rng.range(-amplitude, amplitude) * 0.5;
    h.back() = base + rng.range(-amplitude, amplitude) * 0.5;
    double spread = amplitude;
    for (std::size_t step = n - 1; step > 1; step /= 2) {
        for (std::size_t i = step / 2; i < n; i += step)
            h[i] = (h[i - step / 2] + h[i + step / 2]) / 2 + rng.range(-spread, spread);
        spread *= roughness;
    }
    return h;
}

// Opens a valley in a ridge under the moon, so the moon rises clear of the peaks behind the keep.
void openValley(std::vector<double>& h, double depth, double halfWidth) {
    const double dx = (windowWidth + 40.0) / static_cast<double>(h.size() - 1);
    for (std::size_t i = 0; i < h.size(); ++i) {
        const double d = std::abs(-20 + dx * static_cast<double>(i) - moonX) / halfWidth;
        if (d < 1)
            h[i] += depth * (1 - d * d) * (1 - d * d);
    }
}

void ridgePath(cairo_t* cr, const std::vector<double>& h, double bottom) {
    const double dx = (windowWidth + 40.0) / static_cast<double>(h.size() - 1);
    cairo_move_to(cr, -20, bottom);
    for (std::size_t i = 0; i < h.size(); ++i)
        cairo_line_to(cr, -20 + dx * static_cast<double>(i), h[i]);
    cairo_line_to(cr, windowWidth + 20, bottom);
    cairo_close_path(cr);
}

void paintSky(Canvas& c) {
    cairo_t* cr = c.cr();
    auto sky = linear(0, 0, 0, horizonY + 40,
                      {{0.0, hex(0x04060e)},
                       {0.35, hex(0x0b1128)},
                       {0.7, hex(0x1d1f45)},
                       {0.9, hex(0x3b2f55)},
                       {1.0, hex(0x5a3f58)}});
    cairo_set_source(cr, sky.get());
    cairo_paint(cr);

    // A faint band of the galaxy running across the sky, behind the stars.
    glow(c, 28, hex(0x6a78c8, 0.18), [](cairo_t* g) {
        cairo_move_to(g, 120, 420);
        cairo_curve_to(g, 260, 260, 420, 120, 640, -20);
        cairo_line_to(g, 720, -20);
        cairo_curve_to(g, 480, 140, 320, 300, 220, 430);
        cairo_close_path(g);
    });
    glow(c, 40, hex(0x8a4f9a, 0.12), [](cairo_t* g) {
        cairo_arc(g, 330, 250, 90, 0, 2 * M_PI);
        cairo_arc(g, 520, 90, 70, 0, 2 * M_PI);
    });

    // The moon's halo warms the sky behind the keep.
    auto halo = radial(moonX, moonY, moonRadius * 0.8, 300,
                       {{0.0, hex(0xffe3b0, 0.45)}, {0.3, hex(0xd9a070, 0.16)}, {1.0, hex(0xd9a070, 0.0)}});
    cairo_set_source(cr, halo.get());
    cairo_paint(cr);

    Random rng(skySeed);
    for (int i = 0; i < starCount; ++i) {
        const double x = rng.range(0, windowWidth);
        const double y = std::pow(rng.next(), 1.35) * horizonY;
        const double size = 0.35 + std::pow(rng.next(), 3.0) * 1.3;
        const double bright = 0.25 + rng.next() * 0.75;
        const double warm = rng.next();
        const double fade = std::clamp((horizonY - y) / 160.0, 0.15, 1.0);
        const Rgba colour = mix(hex(0xbfd0ff), hex(0xfff0d0), warm);
        setColour(cr, {colour.r, colour.g, colour.b, bright * fade});
        cairo_arc(cr, x, y, size, 0, 2 * M_PI);
        cairo_fill(cr);
        if (size > 1.25 && y < 300) {
            // The brightest stars twinkle with a small cross.
            setColour(cr, {colour.r, colour.g, colour.b, 0.35 * fade});
            cairo_set_line_width(cr, 0.6);
            cairo_move_to(cr, x - size * 4, y);
            cairo_line_to(cr, x + size * 4, y);
            cairo_move_to(cr, x, y - size * 4);
            cairo_line_to(cr, x, y + size * 4);
            cairo_stroke(cr);
        }
    }

    // The moon with a few soft maria.
    auto disc = radial(moonX - 14, moonY - 14, 4, moonRadius * 1.2,
                       {{0.0, hex(0xfffaea)}, {0.7, hex(0xf1e2bd)}, {1.0, hex(0xd8c28e)}});
    cairo_set_source(cr, disc.get());
    cairo_arc(cr, moonX, moonY, moonRadius, 0, 2 * M_PI);
    cairo_fill(cr);
    const double maria[][3] = {{-14, -8, 13}, {10, 6, 9}, {-4, 18, 7}, {18, -16, 6}, {-22, 12, 5}};
    for (const auto& m : maria) {
        setColour(cr, hex(0xa08a68, 0.1));
        cairo_arc(cr, moonX + m[0], moonY + m[1], m[2], 0, 2 * M_PI);
        cairo_fill(cr);
    }
}

void paintMountains(Canvas& c) {
    cairo_t* cr = c.cr();
    Random rng(ridgeSeed);

    auto far = ridge(rng, 8, 340, 90, 0.55);
    openValley(far, 90, 190);
    auto farFill = linear(0, 250, 0, 480, {{0.0, hex(0x3a3868)}, {0.5, hex(0x2a2850)}, {1.0, hex(0x1b1a36)}});
    ridgePath(cr, far, windowHeight);
    cairo_set_source(cr, farFill.get());
    cairo_fill(cr);

    // Snow catches the moonlight on the far peaks.
    const double dx = (windowWidth + 40.0) / static_cast<double>(far.size() - 1);
    cairo_set_line_width(cr, 1.2);
    for (std::size_t i = 1; i + 1 < far.size(); ++i) {
        if (far[i] < 300 && far[i] <= far[i - 1] && far[i] <= far[i + 1]) {
            const double x = -20 + dx * static_cast<double>(i);
            const double moonward = std::clamp(1.0 - std::abs(x - moonX) / 500.0, 0.3, 1.0);
            setColour(cr, hex(0xc9c6e8, 0.35 * moonward));
            cairo_move_to(cr, x - 14, far[i] + 12);
            cairo_line_to(cr, x, far[i]);
            cairo_line_to(cr, x + 10, far[i] + 9);
            cairo_stroke(cr);
        }
    }

    auto mist =
        linear(0, 330, 0, 470, {{0.0, hex(0x8a86c0, 0.0)}, {0.7, hex(0x8a86c0, 0.22)}, {1.0, hex(0x8a86c0, 0.0)}});
    cairo_set_source(cr, mist.get());
    cairo_rectangle(cr, 0, 330, windowWidth, 140);
    cairo_fill(cr);

    auto mid = ridge(rng, 7, 420, 55, 0.5);
    openValley(mid, 40, 150);
    auto midFill = linear(0, 360, 0, 520, {{0.0, hex(0x1a1933)}, {1.0, hex(0x0f0f22)}});
    ridgePath(cr, mid, windowHeight);
    cairo_set_source(cr, midFill.get());
    cairo_fill(cr);

    auto lowMist =
        linear(0, 440, 0, 540, {{0.0, hex(0x9a90c8, 0.0)}, {0.55, hex(0x9a90c8, 0.2)}, {1.0, hex(0x9a90c8, 0.0)}});
    cairo_set_source(cr, lowMist.get());
    cairo_rectangle(cr, 0, 440, windowWidth, 100);
    cairo_fill(cr);
}

void crenellations(cairo_t* cr, double x0, double x1, double top, double merlon) {
    for (double x = x0; x + merlon <= x1 + 0.01; x += merlon * 2)
        cairo_rectangle(cr, x, top - merlon * 0.9, merlon, merlon * 0.9 + 0.5);
}

void tower(cairo_t* cr, double x, double w, double top, double bottom, double roof) {
    cairo_rectangle(cr, x, top, w, bottom - top);
    cairo_move_to(cr, x - 2, top + 0.5);
    cairo_line_to(cr, x + w / 2, top - roof);
    cairo_line_to(cr, x + w + 2, top + 0.5);
    cairo_close_path(cr);
}

// The keep on its crag, standing against the moon.
void castleShape(cairo_t* cr) {
    // Crag.
    cairo_move_to(cr, 575, 600);
    cairo_curve_to(cr, 600, 540, 612, 500, 628, 478);
    cairo_line_to(cr, 772, 474);
    cairo_curve_to(cr, 786, 500, 796, 530, 812, 560);
    cairo_line_to(cr, 812, 600);
    cairo_close_path(cr);
    // Curtain wall with battlements.
    cairo_rectangle(cr, 632, 446, 138, 34);
    crenellations(cr, 632, 770, 446, 5);
    // Side towers with conical roofs.
    tower(cr, 630, 18, 416, 480, 30);
    tower(cr, 752, 18, 422, 480, 26);
    // The great keep and its high tower.
    cairo_rectangle(cr, 672, 372, 56, 80);
    crenellations(cr, 672, 728, 372, 5.6);
    tower(cr, 700, 16, 326, 380, 38);
    tower(cr, 676, 12, 352, 380, 20);
    // A pennant on the high tower.
    cairo_rectangle(cr, 707.4, 270, 1.2, 20);
    cairo_move_to(cr, 708.6, 271);
    cairo_curve_to(cr, 716, 272, 722, 270, 728, 276);
    cairo_curve_to(cr, 721, 277, 716, 279, 708.6, 280);
    cairo_close_path(cr);
}

void paintCastle(Canvas& c) {
    cairo_t* cr = c.cr();
    cairo_save(cr);
    cairo_translate(cr, 0, castleDrop);
    // Moonlit rim: the silhouette drawn slightly offset in a pale tone first.
    cairo_save(cr);
    cairo_translate(cr, -1.2, -1.0);
    castleShape(cr);
    setColour(cr, hex(0x8c88c0, 0.75));
    cairo_fill(cr);
    cairo_restore(cr);
    castleShape(cr);
    setColour(cr, hex(0x090a16));
    cairo_fill(cr);
    cairo_restore(cr);

    // Warm windows, each with a small glow.
    const double windows[][2] = {{688, 392}, {708, 392}, {698, 418}, {712, 344}, {640, 440}, {760, 446}, {684, 430}};
    glow(c, 5, hex(0xffb347, 0.9), [&](cairo_t* g) {
        for (const auto& w : windows)
            cairo_rectangle(g, w[0] - 1.5, w[1] + castleDrop - 2, 4, 6);
    });
    for (const auto& w : windows) {
        setColour(cr, hex(0xffd27a));
        cairo_rectangle(cr, w[0], w[1] + castleDrop, 2, 4);
        cairo_fill(cr);
    }
}

void pine(cairo_t* cr, double x, double ground, double height) {
    const double w = height * 0.36;
    const int tiers = 4;
    for (int t = 0; t < tiers; ++t) {
        const double top = ground - height + t * height * 0.2;
        const double bottom = top + height * 0.42;
        const double half = w * (0.45 + 0.55 * t / (tiers - 1.0)) / 2;
        cairo_move_to(cr, x, top);
        cairo_line_to(cr, x + half, bottom);
        cairo_line_to(cr, x - half, bottom);
        cairo_close_path(cr);
    }
    cairo_rectangle(cr, x - height * 0.03, ground - height * 0.2, height * 0.06, height * 0.2);
}

void paintForeground(Canvas& c) {
    cairo_t* cr = c.cr();
    Random rng(treeSeed);
    const auto near = ridge(rng, 6, 528, 26, 0.5);
    ridgePath(cr, near, windowHeight);
    auto fill = linear(0, 500, 0, 600, {{0.0, hex(0x0c0c1a)}, {1.0, hex(0x040409)}});
    cairo_set_source(cr, fill.get());
    cairo_fill(cr);

    // Pines at both sides frame the vista and leave the middle to the Play button.
    for (int i = 0; i < 26; ++i) {
        const bool left = i < 16;
        const double x = left ? rng.range(-10, 240) : rng.range(560, 640);
        const double ground = rng.range(540, 600);
        const double height = rng.range(40, 95) * (left ? 1.0 : 0.8);
        pine(cr, x, ground, height);
    }
    setColour(cr, hex(0x05050c));
    cairo_fill(cr);
}

void paintVignette(Canvas& c) {
    cairo_t* cr = c.cr();
    // Warm light pooling where the Play button stands, and low fog over the forest.
    auto pool = radial(400, 545, 20, 230, {{0.0, hex(0xffb040, 0.22)}, {1.0, hex(0xffb040, 0.0)}});
    cairo_set_source(cr, pool.get());
    cairo_paint(cr);
    auto fog =
        linear(0, 520, 0, 600, {{0.0, hex(0x7a78a8, 0.0)}, {0.6, hex(0x7a78a8, 0.12)}, {1.0, hex(0x7a78a8, 0.04)}});
    cairo_set_source(cr, fog.get());
    cairo_rectangle(cr, 0, 520, windowWidth, 80);
    cairo_fill(cr);

    auto v = radial(400, 300, 260, 560, {{0.0, hex(0x000000, 0.0)}, {1.0, hex(0x000000, 0.62)}});
    cairo_set_source(cr, v.get());
    cairo_paint(cr);
}

// Calm, darker ground under the white texts: the announcement and the realm lines on the left, the status line
// at the bottom right.
void paintTextPanels(Canvas& c) {
    cairo_t* cr = c.cr();
    glow(c, 8, hex(0x000000, 0.5), [](cairo_t* g) { roundedRect(g, 12, 60, 548, 344, 10); });
    roundedRect(cr, 10.5, 57.5, 552, 350, 9);
    auto rim =
        linear(0, 57, 0, 408, {{0.0, hex(0xe8c170, 0.45)}, {0.5, hex(0xe8c170, 0.12)}, {1.0, hex(0xe8c170, 0.3)}});
    cairo_set_source(cr, rim.get());
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    // Gold brackets on the panel's corners.
    const double corners[][4] = {
        {10.5, 57.5, 1, 1}, {562.5, 57.5, -1, 1}, {10.5, 407.5, 1, -1}, {562.5, 407.5, -1, -1}};
    setColour(cr, hex(0xe8c170, 0.8));
    cairo_set_line_width(cr, 1.5);
    for (const auto& k : corners) {
        cairo_move_to(cr, k[0] + k[2] * 16, k[1]);
        cairo_line_to(cr, k[0] + k[2] * 4, k[1]);
        cairo_curve_to(cr, k[0] + k[2] * 1, k[1], k[0], k[1] + k[3] * 1, k[0], k[1] + k[3] * 4);
        cairo_line_to(cr, k[0], k[1] + k[3] * 16);
        cairo_stroke(cr);
    }

    // A thin rule between the announcement and the realm lines.
    auto rule = linear(20, 0, 320, 0, {{0.0, hex(0xe8c170, 0.5)}, {1.0, hex(0xe8c170, 0.0)}});
    cairo_set_source(cr, rule.get());
    cairo_rectangle(cr, 20, layout::realmY - 6, 300, 1);
    cairo_fill(cr);

    // The glow sits 1.5 px inside the rim, which keeps the rim's gold off the shadow's darkest part.
    namespace box = ui::statusBox;
    glow(c, 4, hex(0x000000, 0.7), [](cairo_t* g) {
        roundedRect(g, box::left + 1.5, box::top + 1.5, box::width - 3, box::height - 3, box::cornerRadius);
    });
    roundedRect(cr, box::left, box::top, box::width, box::height, box::cornerRadius);
    setColour(cr, hex(0xe8c170, 0.35));
    cairo_stroke(cr);
}

void paintTitle(Canvas& c, Language language) {
    cairo_t* cr = c.cr();
    TextStyle style{"DejaVu Serif", PANGO_WEIGHT_BOLD, 38, 4};
    LayoutPtr title = makeLayout(cr, "VARNHOLD", style);
    const Box ink = inkOf(title.get());
    const double cx = 20 + ink.w / 2;
    const double cy = 30;

    glow(c, 7, hex(0xffb040, 0.55), [&](cairo_t* g) {
        LayoutPtr l = makeLayout(g, "VARNHOLD", style);
        textPathCentred(g, l.get(), cx, cy);
    });
    cairo_save(cr);
    cairo_translate(cr, 1.5, 2);
    cairo_new_path(cr);
    textPathCentred(cr, title.get(), cx, cy);
    setColour(cr, hex(0x000000, 0.75));
    cairo_fill(cr);
    cairo_restore(cr);

    cairo_new_path(cr);
    const Box at = textPathCentred(cr, title.get(), cx, cy);
    auto fill = linear(0, at.y, 0, at.y + at.h,
                       {{0.0, hex(0xfff4c8)}, {0.45, hex(0xf0c560)}, {0.55, hex(0xc8902a)}, {1.0, hex(0xf3d27e)}});
    cairo_set_source(cr, fill.get());
    cairo_fill_preserve(cr);
    setColour(cr, hex(0x3a2408, 0.9));
    cairo_set_line_width(cr, 0.9);
    cairo_stroke(cr);

    double ruleEnd = at.x + at.w + 40;
    if (language == Language::Finglish) {
        TextStyle fa{"Titr", PANGO_WEIGHT_BOLD, 30, 0};
        LayoutPtr name = makeLayout(cr, "وارنهولد", fa);
        const Box nink = inkOf(name.get());
        cairo_new_path(cr);
        const Box nat = textPathCentred(cr, name.get(), at.x + at.w + 22 + nink.w / 2, cy + 2);
        auto nfill = linear(0, nat.y, 0, nat.y + nat.h, {{0.0, hex(0xfff0c0)}, {1.0, hex(0xc8902a)}});
        cairo_set_source(cr, nfill.get());
        cairo_fill(cr);
        ruleEnd = nat.x + nat.w + 30;
    }

    // An ornamental rule under the title, fading out to the right.
    auto rule = linear(20, 0, ruleEnd + 80, 0, {{0.0, gold}, {0.7, hex(0xe8c170, 0.5)}, {1.0, hex(0xe8c170, 0.0)}});
    cairo_set_source(cr, rule.get());
    cairo_rectangle(cr, 28, 51.5, ruleEnd + 60, 1);
    cairo_fill(cr);
    setColour(cr, gold);
    cairo_move_to(cr, 20, 52);
    cairo_line_to(cr, 24, 48.5);
    cairo_line_to(cr, 28, 52);
    cairo_line_to(cr, 24, 55.5);
    cairo_close_path(cr);
    cairo_fill(cr);
}

enum class Badge { Close, Music, Minimise };

// Round gold-rimmed badges exactly over the close, music and minimise hot spots.
void badge(Canvas& c, double left, double top, Badge kind) {
    const bool close = kind == Badge::Close;
    cairo_t* cr = c.cr();
    const double r = layout::hotSize / 2;
    const double cx = left + r, cy = top + r;
    glow(c, 4, hex(0x000000, 0.8), [&](cairo_t* g) { cairo_arc(g, cx, cy + 1, r + 1, 0, 2 * M_PI); });

    auto rim = linear(cx, cy - r, cx, cy + r, {{0.0, hex(0xfff0b8)}, {0.5, hex(0xc8902a)}, {1.0, hex(0x7a4e16)}});
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_set_source(cr, rim.get());
    cairo_fill(cr);
    auto face = radial(cx - 3, cy - 4, 1, r,
                       {{0.0, close ? hex(0x7a2a22) : hex(0x2a3a6a)}, {1.0, close ? hex(0x2a0c0a) : hex(0x0c1226)}});
    cairo_arc(cr, cx, cy, r - 2.6, 0, 2 * M_PI);
    cairo_set_source(cr, face.get());
    cairo_fill(cr);
    setColour(cr, hex(0x000000, 0.5));
    cairo_set_line_width(cr, 0.8);
    cairo_arc(cr, cx, cy, r - 2.6, 0, 2 * M_PI);
    cairo_stroke(cr);

    const Rgba symbol = hex(0xf6e2a8);
    if (close) {
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_width(cr, 2.6);
        const double d = 5;
        setColour(cr, hex(0x000000, 0.5));
        cairo_move_to(cr, cx - d, cy - d + 1);
        cairo_line_to(cr, cx + d, cy + d + 1);
        cairo_move_to(cr, cx + d, cy - d + 1);
        cairo_line_to(cr, cx - d, cy + d + 1);
        cairo_stroke(cr);
        setColour(cr, symbol);
        cairo_move_to(cr, cx - d, cy - d);
        cairo_line_to(cr, cx + d, cy + d);
        cairo_move_to(cr, cx + d, cy - d);
        cairo_line_to(cr, cx - d, cy + d);
        cairo_stroke(cr);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    } else if (kind == Badge::Minimise) {
        // A bar low in the face, where a window's minimise symbol sits, with the close cross's shadow.
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_width(cr, 2.6);
        const double d = 5.5;
        setColour(cr, hex(0x000000, 0.5));
        cairo_move_to(cr, cx - d, cy + 5);
        cairo_line_to(cr, cx + d, cy + 5);
        cairo_stroke(cr);
        setColour(cr, symbol);
        cairo_move_to(cr, cx - d, cy + 4);
        cairo_line_to(cr, cx + d, cy + 4);
        cairo_stroke(cr);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    } else {
        // An eighth note: head, stem and flag.
        cairo_save(cr);
        cairo_translate(cr, cx - 2, cy + 5);
        cairo_rotate(cr, -0.35);
        cairo_scale(cr, 1.35, 1.0);
        cairo_arc(cr, 0, 0, 3.1, 0, 2 * M_PI);
        cairo_restore(cr);
        cairo_rectangle(cr, cx + 1.1, cy - 8, 1.8, 13);
        cairo_move_to(cr, cx + 2.9, cy - 8);
        cairo_curve_to(cr, cx + 4, cy - 4, cx + 8, cy - 4, cx + 7, cy + 1);
        cairo_curve_to(cr, cx + 6.5, cy - 2, cx + 4.5, cy - 3, cx + 2.9, cy - 3.5);
        cairo_close_path(cr);
        setColour(cr, symbol);
        cairo_fill(cr);
    }
    // A glint on the rim.
    cairo_arc(cr, cx, cy, r - 1.2, M_PI * 1.1, M_PI * 1.45);
    setColour(cr, hex(0xffffff, 0.6));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void paintFrame(Canvas& c) {
    cairo_t* cr = c.cr();
    cairo_rectangle(cr, 0.5, 0.5, windowWidth - 1, windowHeight - 1);
    setColour(cr, outline);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    auto rim = linear(0, 0, windowWidth, windowHeight,
                      {{0.0, hex(0xe8c170, 0.9)}, {0.5, hex(0x7a5220, 0.8)}, {1.0, hex(0xe8c170, 0.9)}});
    cairo_rectangle(cr, 2.5, 2.5, windowWidth - 5, windowHeight - 5);
    cairo_set_source(cr, rim.get());
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    const double corners[][2] = {
        {2.5, 2.5}, {windowWidth - 2.5, 2.5}, {2.5, windowHeight - 2.5}, {windowWidth - 2.5, windowHeight - 2.5}};
    for (const auto& p : corners) {
        cairo_move_to(cr, p[0], p[1] - 7);
        cairo_line_to(cr, p[0] + 7, p[1]);
        cairo_line_to(cr, p[0], p[1] + 7);
        cairo_line_to(cr, p[0] - 7, p[1]);
        cairo_close_path(cr);
    }
    setColour(cr, gold);
    cairo_fill(cr);
    (void)deepGold;
}

} // namespace

void paintBackground(Canvas& canvas, Language language) {
    paintSky(canvas);
    paintMountains(canvas);
    paintCastle(canvas);
    paintForeground(canvas);
    paintVignette(canvas);
    paintTextPanels(canvas);
    paintTitle(canvas, language);
    badge(canvas, layout::closeX, layout::closeY, Badge::Close);
    badge(canvas, layout::musicX, layout::musicY, Badge::Music);
    badge(canvas, layout::minimiseX, layout::minimiseY, Badge::Minimise);
    paintFrame(canvas);
}

} // namespace artwork
