// Links on Windows: a symbolic link for a file, a junction (a mount-point reparse point) for a folder, made with
// the same request "mklink /J" sends.
#include "support/Links.hpp"

#include "platform/windows/SystemPath.hpp"
#include "platform/windows/UniqueHandle.hpp"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace testing_support {

namespace {

// The mount-point form of REPARSE_DATA_BUFFER, which mingw-w64's user-mode headers lack.
struct MountPointHeader {
    DWORD reparseTag;
    WORD reparseDataLength;
    WORD reserved;
    WORD substituteNameOffset;
    WORD substituteNameLength;
    WORD printNameOffset;
    WORD printNameLength;
};
// What follows the tag and the two lengths: the names' offsets and lengths, then the names.
constexpr std::size_t mountPointFields = 4 * sizeof(WORD);

} // namespace

bool makeFileLink(const std::string& target, const std::string& link) {
    return CreateSymbolicLinkW(platform::detail::fullWidePath(link).c_str(),
                               platform::detail::fullWidePath(target).c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
}

bool makeFolderLink(const std::string& target, const std::string& link) {
    const std::wstring linkPath = platform::detail::fullWidePath(link);
    const std::wstring printName = platform::detail::fullWidePath(target);
    const std::wstring substituteName = L"\\??\\" + printName;
    if (CreateDirectoryW(linkPath.c_str(), nullptr) == 0)
        return false;
    const platform::detail::UniqueHandle folder(CreateFileW(linkPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                                            nullptr));
    if (!folder)
        return false;
    // Both names, each ended by a NUL that the lengths leave out.
    const std::size_t substituteBytes = substituteName.size() * sizeof(wchar_t);
    const std::size_t printBytes = printName.size() * sizeof(wchar_t);
    const std::size_t namesBytes = substituteBytes + printBytes + 2 * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(MountPointHeader) + namesBytes, '\0');
    MountPointHeader header{};
    header.reparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    header.reparseDataLength = static_cast<WORD>(mountPointFields + namesBytes);
    header.substituteNameOffset = 0;
    header.substituteNameLength = static_cast<WORD>(substituteBytes);
    header.printNameOffset = static_cast<WORD>(substituteBytes + sizeof(wchar_t));
    header.printNameLength = static_cast<WORD>(printBytes);
    std::memcpy(buffer.data(), &header, sizeof header);
    std::memcpy(buffer.data() + sizeof header, substituteName.data(), substituteBytes);
    std::memcpy(buffer.data() + sizeof header + header.printNameOffset, printName.data(), printBytes);
    DWORD returned = 0;
    return DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                           nullptr, 0, &returned, nullptr) != 0;
}

} // namespace testing_support
