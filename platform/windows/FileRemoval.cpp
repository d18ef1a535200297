// Removing trees with the wide calls, looking at each name's own attributes: a symbolic link or a junction is
// removed as the link it is (mingw's std::filesystem::remove_all follows both and empties what they point to).
#include "platform/FileRemoval.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

namespace {

struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
};

bool isMissing(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

class TreeRemover {
public:
    // Removes `path` (the launcher's form), whatever it is, with `attributes` its own (a link's, not its target's).
    void remove(const std::string& path, DWORD attributes) {
        const std::wstring system = detail::systemPath(path);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            // A folder link (junction, symbolic link) goes as an empty folder would, its target untouched.
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
                removeContents(path);
            }
            call(RemoveDirectoryW(system.c_str()), "cannot remove", path);
            return;
        }
        if (DeleteFileW(system.c_str()) != 0) {
            return;
        }
        // A read-only file in the cache would stay for ever: the attribute goes first, as Explorer asks to.
        const DWORD code = GetLastError();
        if (code == ERROR_ACCESS_DENIED && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            SetFileAttributesW(system.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) != 0) {
            call(DeleteFileW(system.c_str()), "cannot remove", path);
            return;
        }
        SetLastError(code);
        call(FALSE, "cannot remove", path);
    }

    TreeRemoval result() { return std::move(m_result); }

private:
    void removeContents(const std::string& folder) {
        WIN32_FIND_DATAW entry{};
        // The listing is read whole before anything goes, so removing does not disturb it.
        std::vector<std::pair<std::string, DWORD>> entries;
        {
            HANDLE find = FindFirstFileExW((detail::systemPath(folder) + L"\\*").c_str(), FindExInfoBasic, &entry,
                                           FindExSearchNameMatch, nullptr, 0);
            if (find == INVALID_HANDLE_VALUE) {
                if (!isMissing(GetLastError())) {
                    call(FALSE, "cannot list", folder);
                }
                return;
            }
            const std::unique_ptr<void, FindCloser> closer(find);
            do {
                const std::wstring_view name = entry.cFileName;
                if (name != L"." && name != L"..") {
                    entries.emplace_back(folder + "/" + detail::toUtf8(name), entry.dwFileAttributes);
                }
            } while (FindNextFileW(find, &entry) != 0);
        }
        for (const auto& [path, attributes] : entries) {
            remove(path, attributes);
        }
    }

    void call(BOOL succeeded, const char* what, const std::string& path) {
        if (succeeded != 0) {
            return;
        }
        const DWORD code = GetLastError();
        if (isMissing(code)) {
            return;
        }
        if (m_result.complete) {
            m_result.error = std::string(what) + " " + path + ": " + detail::systemErrorText(code);
        }
        m_result.complete = false;
    }

    TreeRemoval m_result;
};

} // namespace

bool RemoveFileOrLink(const std::string& path) {
    // DeleteFileW removes a file link itself and refuses folders.
    const std::wstring system = detail::systemPath(path);
    return !system.empty() && DeleteFileW(system.c_str()) != 0;
}

TreeRemoval RemoveTree(const std::string& path) {
    TreeRemover remover;
    // "cache\" could name what a link called cache points to; the name alone is the link. A drive's root keeps its
    // separator: "C:" alone is the current folder on that drive.
    std::string name = path;
    while (name.size() > 1 && (name.back() == '/' || name.back() == '\\') && name[name.size() - 2] != ':') {
        name.pop_back();
    }
    const std::wstring system = detail::systemPath(name);
    if (system.empty()) {
        return remover.result();
    }
    // The name's own attributes: a link at `path` is not followed either.
    const DWORD attributes = GetFileAttributesW(system.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        remover.remove(detail::launcherPath(system), attributes);
        return remover.result();
    }
    const DWORD code = GetLastError();
    TreeRemoval outcome;
    if (!isMissing(code)) {
        outcome.complete = false;
        outcome.error = "cannot look at " + path + ": " + detail::systemErrorText(code);
    }
    return outcome;
}

} // namespace platform
