// A stand-in for the game's Wow.exe in the Wine end-to-end tests: it records the folder it was started in, in
// Windows' own form, into the file its environment names, and ends at once.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    wchar_t record[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VARNHOLD_GAME_RECORD", record, MAX_PATH) == 0) {
        return 2;
    }
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    FILE* file = _wfopen(record, L"wb");
    if (file == nullptr) {
        return 1;
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()), text.data(), bytes, nullptr,
                        nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return 0;
}
