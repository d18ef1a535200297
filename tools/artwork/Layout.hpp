// Where the window puts things: the hot spots painted into the background and the regions its texts use.
#pragma once

namespace artwork::layout {

// The close, music and minimise hot spots (left, top, size) the window tests the mouse against: one column of
// round spots in the strip right of the side buttons.
inline constexpr double closeX = 755, closeY = 15, hotSize = 30;
inline constexpr double musicX = 755, musicY = 56;
inline constexpr double minimiseX = 755, minimiseY = 97;

// The side button column, the Play button and the Discord tab.
inline constexpr double columnX = 576, columnTop = 10, columnStep = 45;
inline constexpr double playX = 236, playY = 480;
inline constexpr double discordX = 0, discordY = 257;

// White texts: the announcement (size 16) at (20, 60), realm lines (size 16) from (20, 180) every 20 px,
// the status line (size 12) at (650, 570).
inline constexpr double announceX = 20, announceY = 60;
inline constexpr double realmY = 180, realmStep = 20;
inline constexpr double statusX = 650, statusY = 570;

} // namespace artwork::layout
