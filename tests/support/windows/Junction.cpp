// Junctions made with FSCTL_SET_REPARSE_POINT, which needs no privilege for a folder the test owns.
#include "support/windows/Junction.hpp"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace testing_support {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

} // namespace

bool makeJunction(const fs::path& link, const fs::path& target) {
    const std::wstring substitute = L"\\??\\" + fs::absolute(target).wstring();
    const std::wstring print = fs::absolute(target).wstring();
    // The mount point form of a reparse point: the tag, then the data length, a reserved word and the offsets and
    // lengths of the two names in bytes, then the names, each ending in a NUL.
    const auto substituteBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    const auto printBytes = static_cast<WORD>(print.size() * sizeof(wchar_t));
    const auto namesBytes = static_cast<WORD>(substituteBytes + printBytes + 2 * sizeof(wchar_t));
    const WORD fields[] = {static_cast<WORD>(8 + namesBytes),
                           0,
                           0,
                           substituteBytes,
                           static_cast<WORD>(substituteBytes + sizeof(wchar_t)),
                           printBytes};
    std::vector<char> data(sizeof(DWORD) + sizeof fields + namesBytes, '\0');
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(data.data(), &tag, sizeof tag);
    std::memcpy(data.data() + sizeof tag, fields, sizeof fields);
    std::memcpy(data.data() + 16, substitute.c_str(), substituteBytes);
    std::memcpy(data.data() + 16 + substituteBytes + sizeof(wchar_t), print.c_str(), printBytes);

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
