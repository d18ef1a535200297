// The window through Win32: per-monitor DPI, WM_DPICHANGED through a subclass of the graphics library's window
// procedure, and a minimise box on the borderless window.
#include "platform/NativeWindow.hpp"

#include "platform/windows/Win32.hpp"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace platform {

namespace {

constexpr float ordinaryDpi = 96.f;
constexpr UINT_PTR subclassId = 1;

float scaleOf(UINT dpi) {
    const float scale = static_cast<float>(dpi) / ordinaryDpi;
    return scale >= 1.f ? std::min(scale, largestDisplayScale) : 1.f;
}

template <typename Function> Function systemFunction(const wchar_t* library, const char* name) {
    const HMODULE module = GetModuleHandleW(library) != nullptr ? GetModuleHandleW(library) : LoadLibraryW(library);
    return module != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                             : nullptr;
}

// Before any DPI is asked: a process that is not DPI-aware is told 96 everywhere and has its windows enlarged as
// bitmaps. Per monitor (v2 where Windows 10 has it), so that moving to another monitor sends WM_DPICHANGED. The
// graphics library asks for the same when it makes its first window; whichever comes second is refused, harmlessly.
void becomeDpiAware() {
    using ContextFunction = BOOL(WINAPI*)(HANDLE);
    if (const auto perMonitorV2 = systemFunction<ContextFunction>(L"user32.dll", "SetProcessDpiAwarenessContext"))
        if (perMonitorV2(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)))) // PER_MONITOR_AWARE_V2
            return;
    using AwarenessFunction = HRESULT(WINAPI*)(int);
    if (const auto perMonitor = systemFunction<AwarenessFunction>(L"shcore.dll", "SetProcessDpiAwareness"))
        if (perMonitor(2) != E_INVALIDARG) // PROCESS_PER_MONITOR_DPI_AWARE; E_ACCESSDENIED: already aware
            return;
    SetProcessDPIAware();
}

UINT primaryMonitorDpi() {
    using MonitorDpiFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    if (const auto monitorDpi = systemFunction<MonitorDpiFunction>(L"shcore.dll", "GetDpiForMonitor")) {
        UINT x = 0;
        UINT y = 0;
        const HMONITOR primary = MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
        if (monitorDpi(primary, 0 /* MDT_EFFECTIVE_DPI */, &x, &y) == S_OK && x != 0)
            return x;
    }
    // Before Windows 8.1: one DPI for the whole desktop.
    const HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : static_cast<UINT>(ordinaryDpi);
}

} // namespace

float DisplayScale() {
    becomeDpiAware();
    return scaleOf(primaryMonitorDpi());
}

struct NativeWindow::State {
    HWND window = nullptr;
    bool subclassed = false;
    std::optional<float> scaleChange; // set by the window procedure, taken by the frame loop (one thread)

    // Runs inside the graphics library's event polling, on the frame loop's thread.
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR data) {
        if (message == WM_DPICHANGED) {
            // The system's rectangle keeps the window on the monitor it moved to at that monitor's size; taking
            // another one could move it back across the border and start over.
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            reinterpret_cast<State*>(data)->scaleChange = scaleOf(LOWORD(wParam));
            return 0;
        }
        if (message == WM_NCDESTROY) {
            RemoveWindowSubclass(window, &State::procedure, subclassId);
            reinterpret_cast<State*>(data)->subclassed = false;
        }
        return DefSubclassProc(window, message, wParam, lParam);
    }
};

NativeWindow::NativeWindow(std::uintptr_t handle) : m_state(std::make_unique<State>()) {
    State& state = *m_state;
    state.window = reinterpret_cast<HWND>(handle);
    if (state.window == nullptr || IsWindow(state.window) == FALSE)
        return;
    // A WS_POPUP window without a minimise box ignores its taskbar button; WS_SYSMENU gives that button its menu.
    // Without WS_CAPTION neither draws anything.
    const LONG_PTR style = GetWindowLongPtrW(state.window, GWL_STYLE);
    SetWindowLongPtrW(state.window, GWL_STYLE, style | WS_MINIMIZEBOX | WS_SYSMENU);
    SetWindowPos(state.window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    state.subclassed = SetWindowSubclass(state.window, &State::procedure, subclassId,
                                         reinterpret_cast<DWORD_PTR>(m_state.get())) != FALSE;
}

NativeWindow::~NativeWindow() {
    if (m_state->subclassed)
        RemoveWindowSubclass(m_state->window, &State::procedure, subclassId);
}

void NativeWindow::minimise() {
    if (m_state->window != nullptr)
        ShowWindow(m_state->window, SW_MINIMIZE);
}

bool NativeWindow::hidden() const {
    const HWND window = m_state->window;
    return window != nullptr && (IsIconic(window) != FALSE || IsWindowVisible(window) == FALSE);
}

std::optional<float> NativeWindow::takeScaleChange() {
    return std::exchange(m_state->scaleChange, std::nullopt);
}

} // namespace platform
