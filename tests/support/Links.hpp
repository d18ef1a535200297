// Links in the file system for tests of code that must never follow them. Each OS has its own implementation
// (support/linux/, support/windows/), chosen by the build.
#pragma once

#include <string>

namespace testing_support {

/// Makes `link` a symbolic link to the file `target`; false when the system refused.
bool makeFileLink(const std::string& target, const std::string& link);

/// Makes `link` lead to the folder `target`: a symbolic link on Linux, a junction on Windows (what "mklink /J"
/// makes; unlike a symbolic link, any user may make one there). False when the system refused.
bool makeFolderLink(const std::string& target, const std::string& link);

} // namespace testing_support
