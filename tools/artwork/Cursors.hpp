// The two mouse pointers; the image's top-left pixel is the hot spot, so the tip sits at (0, 0).
#pragma once

#include "Artwork.hpp"

namespace artwork {

void paintCursor(Canvas& canvas, bool active);

} // namespace artwork
