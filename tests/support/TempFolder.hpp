// A temporary folder that a test works in and that is removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace testing_support {

class TempFolder {
public:
    /// A new, empty folder "<prefix>-<random>" in the system's temporary folder; path() is empty when none could be
    /// made.
    explicit TempFolder(const std::string& prefix = "varnhold-test") {
        // create_directory is false for a name that exists: each folder is a new one, as with mkdtemp.
        std::random_device seed;
        std::mt19937 engine(seed());
        constexpr int attempts = 100;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(engine() % 1000000000));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) {
                m_path = candidate;
                return;
            }
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    /// Writes `bytes` to `relative`, creating its folders.
    void write(const std::string& relative, const std::string& bytes) const {
        const auto file = m_path / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }

private:
    std::filesystem::path m_path;
};

/// Makes `folder` the current folder for as long as it lives.
class CurrentFolderGuard {
public:
    explicit CurrentFolderGuard(const std::filesystem::path& folder) : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolderGuard() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
    }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

private:
    std::filesystem::path m_previous;
};

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Replaces `file`'s contents with `bytes`; its folder must exist already.
inline void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace testing_support
