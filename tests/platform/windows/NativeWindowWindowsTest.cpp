// The launcher's window through Win32: the minimise box, WM_DPICHANGED and minimising. Needs a desktop: under Wine
// without an X display no window can be made, and the test says so and skips.
#include "platform/NativeWindow.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

namespace {

TEST(NativeWindow, MinimiseBoxDisplayChangesAndMinimising) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"scene", WS_POPUP | WS_VISIBLE, 100, 100, 800, 600, nullptr,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr)
        GTEST_SKIP() << "no window can be made here (Wine without a display)";
    {
        platform::NativeWindow native(reinterpret_cast<std::uintptr_t>(window));
        EXPECT_NE(GetWindowLongPtrW(window, GWL_STYLE) & WS_MINIMIZEBOX, 0) << "the taskbar button needs it";
        EXPECT_FALSE(native.takeScaleChange().has_value());

        // Moved to a monitor at 150 %: the system's rectangle is taken, and the new scale is told once.
        RECT suggested{40, 30, 40 + 1200, 30 + 900};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(native.takeScaleChange(), 1.5f);
        EXPECT_FALSE(native.takeScaleChange().has_value());
        RECT now{};
        GetWindowRect(window, &now);
        EXPECT_EQ(now.left, 40);
        EXPECT_EQ(now.top, 30);
        EXPECT_EQ(now.right - now.left, 1200);
        EXPECT_EQ(now.bottom - now.top, 900);

        EXPECT_FALSE(native.hidden());
        native.minimise();
        EXPECT_TRUE(native.hidden());
        ShowWindow(window, SW_RESTORE);
        EXPECT_FALSE(native.hidden());
    }
    DestroyWindow(window);
}

} // namespace
