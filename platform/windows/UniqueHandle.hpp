// Owner of one Windows kernel handle, closed when the owner goes away.
#pragma once

#include "platform/windows/Win32.hpp"

#include <utility>

namespace platform::detail {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) noexcept : m_handle(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_handle, INVALID_HANDLE_VALUE));
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    [[nodiscard]] HANDLE get() const noexcept { return m_handle; }
    // CreateFileW fails with INVALID_HANDLE_VALUE, most other calls with a null handle: neither is owned.
    [[nodiscard]] explicit operator bool() const noexcept {
        return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr;
    }

    void reset(HANDLE handle = INVALID_HANDLE_VALUE) noexcept {
        if (*this) {
            CloseHandle(m_handle);
        }
        m_handle = handle;
    }
    /// Closes now and reports the outcome: a failing close can mean unwritten data.
    [[nodiscard]] bool close() noexcept {
        const HANDLE handle = std::exchange(m_handle, INVALID_HANDLE_VALUE);
        return handle == INVALID_HANDLE_VALUE || handle == nullptr || CloseHandle(handle) != 0;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

} // namespace platform::detail
