// The desktop's display, asked for before a window is created: the graphics library ends the whole process when
// it cannot open one.
#pragma once

#include <memory>

namespace platform {

/// A connection to the display, held while the window is being created; false when no display answers.
class DisplayConnection {
public:
    DisplayConnection();
    ~DisplayConnection();
    DisplayConnection(DisplayConnection&&) noexcept;
    DisplayConnection& operator=(DisplayConnection&&) noexcept;
    DisplayConnection(const DisplayConnection&) = delete;
    DisplayConnection& operator=(const DisplayConnection&) = delete;

    [[nodiscard]] explicit operator bool() const noexcept;

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

} // namespace platform
