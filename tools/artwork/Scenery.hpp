// The 800 × 600 background: a night vista with a keep, the title, calm panels for the texts and the hot-spot badges.
#pragma once

#include "Artwork.hpp"

namespace artwork {

void paintBackground(Canvas& canvas, Language language);

} // namespace artwork
