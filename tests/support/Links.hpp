// Links in the file system for tests of code that must never follow them, and whether Wine stands in for Windows,
// which handles links its own way. Each OS has its own implementation (support/linux/, support/windows/).
#pragma once

#include <string>

namespace testing_support {

/// Makes `link` a symbolic link to the file `target`; false when the system refused.
bool makeFileLink(const std::string& target, const std::string& link);

/// Makes `link` lead to the folder `target`: a symbolic link on Linux, a junction on Windows (what "mklink /J"
/// makes; unlike a symbolic link, any user may make one there). False when the system refused.
bool makeFolderLink(const std::string& target, const std::string& link);

/// Removes the link `link` itself, never what it leads to; false when it could not.
bool removeLink(const std::string& link);

/// True under Wine: it shows a link to a file as that file, and a link, once made, can neither be opened as itself
/// nor removed by a Windows program.
bool underWine();

} // namespace testing_support
