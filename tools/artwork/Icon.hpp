// The desktop icon: the keep against the moon, taken from the background, in a gold-rimmed rounded square.
#pragma once

#include "Canvas.hpp"

namespace artwork {

inline constexpr int iconSize = 256;

/// The icon at `iconSize` × `iconSize`, transparent outside its rounded square.
[[nodiscard]] Canvas renderIcon();

} // namespace artwork
