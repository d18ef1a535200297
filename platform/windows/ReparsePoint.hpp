// Reading where a symbolic link or a junction points from its reparse data, as FSCTL_GET_REPARSE_POINT gives it.
#pragma once

#include "platform/LinkLookup.hpp"

#include <span>
#include <string>

namespace platform::detail {

/// The link that the reparse data `data` of the name at `linkPath` (the launcher's form) describes: a symbolic link
/// or a junction with its target (a full path, or one relative to the link's folder); any other kind of reparse
/// point (a file kept in the cloud, a deduplicated one) is no link. Unreadable for data cut short or a target that
/// names no drive path ("\??\Volume{...}\").
[[nodiscard]] LinkLook linkOfReparseData(std::span<const unsigned char> data, const std::string& linkPath);

} // namespace platform::detail
