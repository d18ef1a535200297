// The program file on Windows: GetModuleFileNameW, a name that stays held while its process runs, and the newer
// build started with CreateProcessW.
#include "platform/RunningProgram.hpp"

#include "platform/windows/MoveOver.hpp"
#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

namespace platform {

namespace {

constexpr DWORD firstPathSize = MAX_PATH;
// How long terminate() waits for the process to be gone; TerminateProcess only starts its end.
constexpr DWORD terminateWaitMs = 5000;
constexpr UINT terminatedExitCode = 1;

std::string osError(const std::string& what, const std::string& path, DWORD code) {
    return what + " " + path + ": " + detail::systemErrorText(code);
}

// One argument as the C runtime's parser reads it back: quoted, with backslashes before a quote doubled.
std::wstring quoted(const std::wstring& argument) {
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}

} // namespace

const char* SystemName() noexcept {
    return "windows";
}

std::string RunningProgramPath() {
    std::wstring path(firstPathSize, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        // A name that does not fit comes back cut, with the whole buffer used.
        if (length < path.size()) {
            path.resize(length);
            return detail::launcherPath(path);
        }
        path.resize(path.size() * 2);
    }
}

bool InstalledBySystem(const std::string&) {
    // Windows installs no programs for the launcher: wherever the player unpacked it, it is the player's copy.
    return false;
}

bool PrepareProgramFile(const std::string& path, const std::string&, std::string& error) {
    // Every file may run on Windows; only its bytes must reach the disk.
    const detail::UniqueHandle file(CreateFileW(detail::systemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = osError("cannot open", path, GetLastError());
        return false;
    }
    if (FlushFileBuffers(file.get()) == 0) {
        error = osError("cannot write out", path, GetLastError());
        return false;
    }
    return true;
}

bool ReplaceProgramFile(const std::string& source, const std::string& target, std::chrono::milliseconds patience,
                        std::string& error) {
    // A file a process runs from may be renamed but not replaced: the target frees only once its process has ended.
    const DWORD code = detail::moveOver(detail::systemPath(source), detail::systemPath(target), patience);
    if (code == 0)
        return true;
    error = osError("cannot rename " + source + " to", target, code);
    return false;
}

struct StartedProgram::Handle {
    detail::UniqueHandle process;
};

void StartedProgram::HandleDeleter::operator()(Handle* handle) const noexcept {
    // Closing the handle leaves the process running.
    std::default_delete<Handle>()(handle);
}

std::optional<StartedProgram> StartedProgram::start(const std::string& path, const std::vector<std::string>& arguments,
                                                    std::string& error) {
    const std::wstring program = detail::systemPath(path);
    // The command line names the program as the player would see it, without the "\\?\" prefix.
    std::wstring commandLine = quoted(detail::fullWidePath(path));
    for (const std::string& argument : arguments)
        commandLine += L" " + quoted(detail::toWide(argument));
    const std::wstring folder = detail::fullWidePath(".");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // The program name is given whole, so Windows neither searches for it nor adds ".exe" to a name that lacks it.
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process) == 0) {
        error = osError("cannot start", path, GetLastError());
        return std::nullopt;
    }
    CloseHandle(process.hThread);
    return StartedProgram(std::unique_ptr<Handle, HandleDeleter>(
        std::make_unique<Handle>(Handle{detail::UniqueHandle(process.hProcess)}).release()));
}

bool StartedProgram::hasEnded() {
    return WaitForSingleObject(m_handle->process.get(), 0) != WAIT_TIMEOUT;
}

void StartedProgram::kill() {
    TerminateProcess(m_handle->process.get(), terminatedExitCode);
    WaitForSingleObject(m_handle->process.get(), terminateWaitMs);
}

} // namespace platform
