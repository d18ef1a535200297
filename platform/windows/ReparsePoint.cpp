// The two link kinds of a reparse point: IO_REPARSE_TAG_SYMLINK and IO_REPARSE_TAG_MOUNT_POINT (a junction).
#include "platform/windows/ReparsePoint.hpp"

#include "platform/windows/WideText.hpp"
#include "platform/windows/Win32.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace platform::detail {

namespace {

// How a link's target is stored: "\??\C:\Games", "\??\UNC\host\share".
constexpr std::wstring_view objectPrefix = L"\\??\\";
constexpr std::wstring_view objectUncPrefix = L"UNC\\";
constexpr std::wstring_view uncPrefix = L"\\\\";

// Where the parts of the data lie (REPARSE_DATA_BUFFER, which only the driver headers declare): the tag, then the
// substitute name's offset and length in bytes, then the names themselves, after a flags field for a symbolic link.
constexpr std::size_t headerSize = 8;
constexpr std::size_t substituteOffsetAt = 8;
constexpr std::size_t substituteLengthAt = 10;
constexpr std::size_t symlinkFlagsAt = 16;
constexpr std::size_t symlinkNamesAt = 20;
constexpr std::size_t mountPointNamesAt = 16;

template <typename Value> Value fieldAt(std::span<const unsigned char> data, std::size_t at) {
    Value value{};
    std::memcpy(&value, data.data() + at, sizeof value);
    return value;
}

// A link's stored target in the launcher's form: a full path, or one relative to the link's folder (`linkPath`'s).
// Empty when it names no drive path.
std::string launcherTarget(std::wstring target, bool relative, const std::string& linkPath) {
    if (target.starts_with(objectPrefix)) {
        target.erase(0, objectPrefix.size());
        if (target.starts_with(objectUncPrefix)) {
            target.replace(0, objectUncPrefix.size(), uncPrefix);
        }
    } else if (relative && target.starts_with(L"\\") && !target.starts_with(uncPrefix)) {
        target.insert(0, toWide(linkPath.substr(0, 2))); // rooted: on the link's own drive
    }
    std::string text = toUtf8(target);
    std::replace(text.begin(), text.end(), '\\', '/');
    return relative || rootLength(text) > 0 ? text : std::string();
}

} // namespace

LinkLook linkOfReparseData(std::span<const unsigned char> data, const std::string& linkPath) {
    if (data.size() < headerSize) {
        return {LinkLook::Kind::Unreadable, {}};
    }
    const auto tag = fieldAt<DWORD>(data, 0);
    std::size_t names = 0;
    ULONG flags = 0;
    if (tag == IO_REPARSE_TAG_SYMLINK && data.size() >= symlinkNamesAt) {
        names = symlinkNamesAt;
        flags = fieldAt<ULONG>(data, symlinkFlagsAt);
    } else if (tag == IO_REPARSE_TAG_MOUNT_POINT && data.size() >= mountPointNamesAt) {
        names = mountPointNamesAt;
    } else if (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT) {
        return {LinkLook::Kind::Unreadable, {}};
    } else {
        return {LinkLook::Kind::NotALink, {}};
    }
    const auto offset = fieldAt<WORD>(data, substituteOffsetAt);
    const auto length = fieldAt<WORD>(data, substituteLengthAt);
    if (names + offset + length > data.size() || length % sizeof(wchar_t) != 0) {
        return {LinkLook::Kind::Unreadable, {}};
    }
    std::wstring target(length / sizeof(wchar_t), L'\0');
    std::memcpy(target.data(), data.data() + names + offset, length);
    std::string text = launcherTarget(std::move(target), (flags & SYMLINK_FLAG_RELATIVE) != 0, linkPath);
    if (text.empty()) {
        return {LinkLook::Kind::Unreadable, {}};
    }
    return {LinkLook::Kind::Link, std::move(text)};
}

} // namespace platform::detail
