// The button plates: the seven side buttons, the Discord tab and the Play button in its three states.
#pragma once

#include "Artwork.hpp"

#include <string>

namespace artwork {

void paintSideButton(Canvas& canvas, const std::string& label, Language language, bool hovered);
void paintDiscordButton(Canvas& canvas, bool hovered);

enum class PlayState { Available, Hovered, Waiting };
void paintPlayButton(Canvas& canvas, Language language, PlayState state);

/// The face used for Persian labels: Pango shapes and orders them right to left.
[[nodiscard]] TextStyle persianStyle(double px);

} // namespace artwork
