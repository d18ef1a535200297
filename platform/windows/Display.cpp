// The Windows desktop, asked by creating a hidden window: the very thing the graphics library does next.
#include "platform/Display.hpp"

#include "platform/windows/Win32.hpp"

namespace platform {

namespace {

// An interactive Windows session always has a desktop, but Wine without an X server has none: there window creation
// fails, and the graphics library would go on with a window that does not exist.
bool windowsCanBeCreated() {
    const HWND probe =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) {
        return false;
    }
    DestroyWindow(probe);
    return true;
}

} // namespace

struct DisplayConnection::Handle {
    bool available = false;
};

DisplayConnection::DisplayConnection() : m_handle(std::make_unique<Handle>(Handle{windowsCanBeCreated()})) {}
DisplayConnection::~DisplayConnection() = default;
DisplayConnection::DisplayConnection(DisplayConnection&&) noexcept = default;
DisplayConnection& DisplayConnection::operator=(DisplayConnection&&) noexcept = default;

DisplayConnection::operator bool() const noexcept {
    return m_handle && m_handle->available;
}

} // namespace platform
