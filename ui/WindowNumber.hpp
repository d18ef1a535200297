// A window's system handle as the number tools that drive the launcher (xdotool, the tests) look windows up by.
#pragma once

#include <SFML/Window/WindowHandle.hpp>

#include <cstdint>
#include <type_traits>

/// The handle as a number: an X window id on Linux, the HWND's value on Windows. A template, so that only the branch
/// of this system's handle type is compiled.
template <typename Handle = sf::WindowHandle> [[nodiscard]] unsigned long long windowNumber(Handle handle) {
    if constexpr (std::is_pointer_v<Handle>)
        return reinterpret_cast<std::uintptr_t>(handle);
    else
        return static_cast<unsigned long long>(handle);
}
