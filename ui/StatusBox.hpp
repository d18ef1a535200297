// The box painted into the background under the status line: the artwork paints it here, and the status texts
// are measured against it.
#pragma once

namespace ui::statusBox {

// The rim's centre line (a 1 px stroke on half pixels), as the painter strokes it.
inline constexpr double left = 643.5;
inline constexpr double top = 562.5;
inline constexpr double width = 152;
inline constexpr double height = 31;
inline constexpr double cornerRadius = 6;

} // namespace ui::statusBox
