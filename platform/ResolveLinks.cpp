// Following links the way the OS does, name by name, but by reading them only: the launcher learns where a path
// lands before it acts on it, without touching what a link points to.
#include "platform/FileSystem.hpp"

#include "platform/LinkLookup.hpp"

#include <vector>

namespace platform {

namespace {

// The kernel gives up on longer chains of links as well (ELOOP).
constexpr int maxLinksFollowed = 40;

// The names of `path` after its root, last first, so that the next one to walk is at the back.
void pushNames(std::string_view path, std::vector<std::string>& pending) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            names.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    pending.insert(pending.end(), names.rbegin(), names.rend());
}

} // namespace

std::string ResolveLinks(std::string_view path) {
    const std::string full = FullPath(path);
    std::string resolved;         // the part walked so far, always ending in '/'
    std::size_t resolvedRoot = 0; // the length of its root
    std::vector<std::string> pending;
    // Starts the walk over at the root of the full path `text`; false when it has none.
    const auto startAt = [&](std::string_view text) {
        const std::size_t root = detail::rootLength(text);
        if (root == 0) {
            return false;
        }
        resolved = text.substr(0, root);
        if (resolved.back() != '/') {
            resolved += '/'; // "//server/share" alone
        }
        resolvedRoot = resolved.size();
        pushNames(text.substr(root), pending);
        return true;
    };
    if (full.empty() || !startAt(full)) {
        return {};
    }
    int hops = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.back());
        pending.pop_back();
        if (name == ".") {
            continue;
        }
        if (name == "..") {
            // A link's target may climb out of the link's folder; never above the root.
            if (resolved.size() > resolvedRoot) {
                resolved.erase(resolved.rfind('/', resolved.size() - 2) + 1);
            }
            continue;
        }
        const std::string candidate = resolved + name;
        const detail::LinkLook look = detail::lookAtLink(candidate);
        switch (look.kind) {
        case detail::LinkLook::Kind::Missing:
        case detail::LinkLook::Kind::NotALink:
            resolved = candidate + "/";
            break;
        case detail::LinkLook::Kind::Unreadable:
            return {};
        case detail::LinkLook::Kind::Link:
            if (++hops > maxLinksFollowed || look.target.empty() || IsNetworkOrDevicePath(look.target)) {
                return {};
            }
            // A full target starts over from its own root; a relative one goes on from the link's folder.
            if (!startAt(look.target)) {
                pushNames(look.target, pending);
            }
            break;
        }
    }
    // The root keeps its separator; any other path has one at its end only when the full path had.
    if (resolved.size() > resolvedRoot && full.back() != '/') {
        resolved.pop_back();
    }
    return resolved;
}

} // namespace platform
