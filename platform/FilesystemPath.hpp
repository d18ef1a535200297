// The crossing between the launcher's path texts (UTF-8) and std::filesystem's paths, whose narrow form is not
// UTF-8 on every OS; one definition per backend.
#pragma once

#include <filesystem>
#include <string>

namespace platform::detail {

/// `path` (UTF-8) as std::filesystem takes it.
[[nodiscard]] std::filesystem::path filesystemPath(const std::string& path);

/// `path` as the rest of the launcher sees paths: UTF-8, spelled as the backend's other calls return them.
[[nodiscard]] std::string launcherText(const std::filesystem::path& path);

} // namespace platform::detail
