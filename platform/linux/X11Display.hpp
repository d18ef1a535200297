// Whether an X server answers, asked before SFML is allowed near it.
#pragma once

namespace platform::detail {

/// True when the X display that DISPLAY names can be opened now. SFML aborts the whole process when it cannot
/// open its display, so nothing may create an SFML window without asking this first.
[[nodiscard]] bool canOpenX11Display();

} // namespace platform::detail
