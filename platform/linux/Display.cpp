// The X display, through the same check the message boxes use.
#include "platform/Display.hpp"

#include "platform/linux/X11Display.hpp"

namespace platform {

struct DisplayConnection::Handle {
    detail::X11Connection connection;
};

// Holding the connection also keeps an X server that has no other client from resetting (and refusing
// connections) just as the window is created.
DisplayConnection::DisplayConnection() : m_handle(std::make_unique<Handle>(Handle{detail::openX11Display()})) {}
DisplayConnection::~DisplayConnection() = default;
DisplayConnection::DisplayConnection(DisplayConnection&&) noexcept = default;
DisplayConnection& DisplayConnection::operator=(DisplayConnection&&) noexcept = default;

DisplayConnection::operator bool() const noexcept {
    return m_handle && m_handle->connection != nullptr;
}

} // namespace platform
