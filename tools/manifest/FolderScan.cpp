// Folder walk with std::filesystem; errors are collected as values, never thrown.
#include "tools/manifest/FolderScan.hpp"

#include <algorithm>
#include <map>
#include <system_error>

namespace {

std::string describe(const std::filesystem::path& path, const std::error_code& error) {
    return "cannot read '" + path.string() + "': " + error.message();
}

std::string asciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool isSkipped(const std::filesystem::path& path, const std::vector<std::filesystem::path>& skipPaths) {
    for (const auto& skip : skipPaths) {
        std::error_code error;
        if (std::filesystem::equivalent(path, skip, error)) {
            return true;
        }
    }
    return false;
}

// Windows folds letter case, so two such files would land on one location and the launcher would fetch
// them in turn at every start.
void warnAboutCaseCollisions(ScanResult& result) {
    std::map<std::string, const std::string*> seen;
    for (const auto& file : result.files) {
        const auto [it, inserted] = seen.emplace(asciiLower(file.relativePath), &file.relativePath);
        if (!inserted) {
            result.warnings.push_back("'" + *it->second + "' and '" + file.relativePath +
                                      "' differ only in letter case: on Windows they are one file");
        }
    }
}

} // namespace

ScanResult scanFolder(const std::filesystem::path& root, const ScanOptions& options) {
    namespace fs = std::filesystem;
    ScanResult result;
    std::error_code error;
    if (!fs::is_directory(root, error)) {
        result.error = error ? describe(root, error) : "'" + root.string() + "' is not a folder";
        return result;
    }
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error);
    if (error) {
        result.error = describe(root, error);
        return result;
    }
    // The entry visited last is the folder that failed to open when an increment fails.
    fs::path lastPath = root;
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            break;
        }
        const fs::directory_entry& entry = *it;
        lastPath = entry.path();
        const std::string name = entry.path().filename().string();
        const std::string relative = entry.path().lexically_relative(root).generic_string();
        const bool isFolder = entry.is_directory(error) && !entry.is_symlink(error);
        error.clear();
        if ((!options.includeHidden && name.starts_with('.')) || anyMatches(options.excludes, relative)) {
            if (isFolder) {
                it.disable_recursion_pending();
            }
            continue;
        }
        if (isFolder || !entry.is_regular_file(error)) {
            // Sockets, pipes, devices and dangling links are no game files; a pipe would block the hashing.
            error.clear();
            continue;
        }
        if (relative.find('\\') != std::string::npos) {
            result.error = "'" + relative + "' has a '\\' in its name, which Windows reads as a folder separator";
            return result;
        }
        if (isSkipped(entry.path(), options.skipPaths)) {
            continue;
        }
        const std::uint64_t size = entry.file_size(error);
        if (error) {
            result.error = describe(entry.path(), error);
            return result;
        }
        result.files.push_back({relative, entry.path(), size});
    }
    if (error) {
        result.error = describe(lastPath, error);
        return result;
    }
    std::sort(result.files.begin(), result.files.end(),
              [](const ScannedFile& a, const ScannedFile& b) { return a.relativePath < b.relativePath; });
    warnAboutCaseCollisions(result);
    result.ok = true;
    return result;
}
