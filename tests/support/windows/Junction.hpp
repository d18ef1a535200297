// Junctions for the Windows tests, made as "mklink /J" makes them, without a command or a privilege, and the
// reparse data that describes a link.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

/// The reparse data of a junction (`symbolicLink` false) or a symbolic link to `substitute`, the target as Windows
/// stores it ("\??\C:\Games", or "..\Data" for a relative link).
[[nodiscard]] std::vector<unsigned char> reparseData(const std::wstring& substitute, bool symbolicLink,
                                                     bool relative = false);

/// Makes `link` (a new or empty folder) a junction to the folder `target`; false, with GetLastError() set, when the
/// system refused (Wine 8 makes no reparse points: ERROR_NOT_SUPPORTED).
bool makeJunction(const std::filesystem::path& link, const std::filesystem::path& target);

} // namespace testing_support
