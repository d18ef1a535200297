// Junctions for the Windows tests, made as "mklink /J" makes them, without a command or a privilege.
#pragma once

#include <filesystem>

namespace testing_support {

/// Makes `link` (a new or empty folder) a junction to the folder `target`; false when the system refused.
bool makeJunction(const std::filesystem::path& link, const std::filesystem::path& target);

} // namespace testing_support
