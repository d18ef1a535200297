// Junctions made with FSCTL_SET_REPARSE_POINT, which needs no privilege for a folder the test owns.
#include "support/windows/Junction.hpp"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace testing_support {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

} // namespace

std::vector<unsigned char> reparseData(const std::wstring& substitute, bool symbolicLink, bool relative) {
    // The tag, then the data length, a reserved word and the offsets and lengths of the two names in bytes (the
    // printed name here the same as the substitute), a flags field for a symbolic link, then the names, each ending
    // in a NUL.
    const auto nameBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    const auto namesBytes = static_cast<WORD>(2 * (nameBytes + sizeof(wchar_t)));
    const std::size_t flagsBytes = symbolicLink ? sizeof(ULONG) : 0;
    const WORD fields[] = {static_cast<WORD>(8 + flagsBytes + namesBytes), 0,        0, nameBytes,
                           static_cast<WORD>(nameBytes + sizeof(wchar_t)), nameBytes};
    std::vector<unsigned char> data(sizeof(DWORD) + sizeof fields + flagsBytes + namesBytes, 0);
    const DWORD tag = symbolicLink ? IO_REPARSE_TAG_SYMLINK : IO_REPARSE_TAG_MOUNT_POINT;
    const ULONG flags = relative ? SYMLINK_FLAG_RELATIVE : 0;
    unsigned char* at = data.data();
    std::memcpy(at, &tag, sizeof tag);
    std::memcpy(at += sizeof tag, fields, sizeof fields);
    at += sizeof fields;
    if (symbolicLink)
        std::memcpy(at, &flags, sizeof flags);
    at += flagsBytes;
    std::memcpy(at, substitute.c_str(), nameBytes);
    std::memcpy(at + nameBytes + sizeof(wchar_t), substitute.c_str(), nameBytes);
    return data;
}

bool makeJunction(const fs::path& link, const fs::path& target) {
    std::vector<unsigned char> data = reparseData(L"\\??\\" + fs::absolute(target).wstring(), false);
    std::error_code error;
    fs::create_directory(link, error);
    const UniqueHandle folder(CreateFileW(fs::absolute(link).wstring().c_str(), GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
    DWORD returned = 0;
    return folder.get() != INVALID_HANDLE_VALUE &&
           DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, data.data(), static_cast<DWORD>(data.size()), nullptr,
                           0, &returned, nullptr) != 0;
}

} // namespace testing_support
