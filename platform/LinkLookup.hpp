// What each backend tells the OS-neutral link resolution (ResolveLinks) about one name on the disk.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::detail {

/// One name as the file system has it, without following it.
struct LinkLook {
    enum class Kind {
        Missing,    // nothing of that name
        NotALink,   // a file, a folder or anything else that is no link
        Link,       // a symbolic link or a junction: `target` says where it points
        Unreadable, // a link whose target cannot be read
    };
    Kind kind = Kind::Missing;
    /// The link's target in the launcher's form ('/' between names): a full path (rootLength above 0) or one relative
    /// to the folder holding the link.
    std::string target;
};

/// Looks at the full path `path` without following a link there.
[[nodiscard]] LinkLook lookAtLink(const std::string& path);

/// How many characters of `path` name its root, the separator after it included: 1 for "/" on Linux, 3 for "C:/",
/// up to the share's separator for "//server/share/"; 0 for a relative path.
[[nodiscard]] std::size_t rootLength(std::string_view path);

} // namespace platform::detail
