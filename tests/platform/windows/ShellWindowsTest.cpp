// OpenTarget and OpenAddress through the Windows shell, with copies of this test program standing in for the game and
// for the handler of a web address scheme; each copy records the folder it runs in and its arguments.
#include "platform/FileSystem.hpp"
#include "platform/Shell.hpp"

#include "support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto startTimeout = 20s; // Wine starts a program in about a second, more on a loaded machine
constexpr auto pollInterval = 50ms;
constexpr const wchar_t* recordVariable = L"VARNHOLD_TEST_SHELL_RECORD";
constexpr const wchar_t* testScheme = L"varnhold-test";

std::string utf8(const std::u8string& text) {
    return {text.begin(), text.end()};
}

// Started by OpenTarget with the record variable set, this program writes its current folder and its arguments,
// one to a line in UTF-8, and ends before GoogleTest starts.
const bool recordRan = [] {
    wchar_t record[MAX_PATH] = {};
    if (GetEnvironmentVariableW(recordVariable, record, MAX_PATH) == 0) {
        return false;
    }
    const fs::path done = record;
    const fs::path written = fs::path(record) += L".tmp";
    std::ofstream out(written, std::ios::binary);
    out << utf8(fs::current_path().generic_u8string()) << '\n';
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        out << utf8(fs::path(arguments[i]).u8string()) << '\n';
    }
    LocalFree(arguments);
    out.close();
    fs::rename(written, done);
    ExitProcess(0);
}();

std::vector<std::pair<HKEY, std::wstring>> schemeKeys() {
    return {{HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + testScheme}, {HKEY_CLASSES_ROOT, testScheme}};
}

fs::path thisProgram() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

// The lines a started copy recorded: its folder first, then its arguments; empty when none ran in time.
std::optional<std::vector<std::string>> recorded(const fs::path& record) {
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (!fs::exists(record)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(pollInterval);
    }
    std::vector<std::string> lines;
    std::ifstream in(record, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class ShellWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        m_game = fs::canonical(m_folder.path()) / "game folder";
        fs::create_directories(m_game / "Bin");
        m_record = fs::canonical(m_folder.path()) / "record.txt";
        SetEnvironmentVariableW(recordVariable, m_record.c_str());
        m_current.emplace(m_game);
    }
    void TearDown() override {
        m_current.reset();
        SetEnvironmentVariableW(recordVariable, nullptr);
        for (const auto& [root, key] : schemeKeys()) {
            RegDeleteTreeW(root, key.c_str());
        }
    }

    testing_support::TempFolder m_folder;
    std::optional<testing_support::CurrentFolderGuard> m_current;
    fs::path m_game;
    fs::path m_record;
};

TEST_F(ShellWindowsTest, ProgramsStartInTheGameFolder) {
    // A program in a subfolder too: the game folder, not the program's own, is where it runs.
    fs::copy_file(thisProgram(), m_game / "Bin" / "Run Game.exe");
    ASSERT_TRUE(platform::OpenTarget("Bin\\Run Game.exe"));
    const auto lines = recorded(m_record);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, std::vector<std::string>{utf8(m_game.generic_u8string())}) << "the folder, and no arguments";
}

TEST_F(ShellWindowsTest, AddressesGoToTheirHandlerWhole) {
    // A scheme of our own, handled by a copy of this program, as a browser handles http. Windows looks in the
    // user's classes; Wine's shell only in HKEY_CLASSES_ROOT, which a user without rights on Windows cannot write.
    const std::wstring handler = (m_game / "handler.exe").wstring();
    fs::copy_file(thisProgram(), handler);
    const std::wstring command = L"\"" + handler + L"\" \"%1\"";
    int registered = 0;
    for (const auto& [root, key] : schemeKeys()) {
        registered +=
            RegSetKeyValueW(root, key.c_str(), L"URL Protocol", REG_SZ, L"", sizeof(wchar_t)) == ERROR_SUCCESS &&
            RegSetKeyValueW(root, (key + L"\\shell\\open\\command").c_str(), nullptr, REG_SZ, command.c_str(),
                            static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ASSERT_GT(registered, 0);

    const std::string address = "varnhold-test://discord.gg/varnhold?x=1&y=2";
    ASSERT_TRUE(platform::OpenAddress(address));
    const auto lines = recorded(m_record);
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 2u);
    EXPECT_EQ(lines->back(), address);
}

TEST_F(ShellWindowsTest, NothingStartsForAnEmptyOrMissingTarget) {
    EXPECT_FALSE(platform::OpenTarget(""));
    EXPECT_FALSE(platform::OpenTarget("missing.exe"));
    EXPECT_FALSE(platform::OpenTarget(platform::FullPath("Bin\\missing.exe")));
    EXPECT_FALSE(fs::exists(m_record));
}

TEST_F(ShellWindowsTest, AnAddressNeverOpensAFile) {
    // A ".com" program planted under a web host's name: the shell would run it for "www.varnhold.com".
    fs::copy_file(thisProgram(), m_game / "www.varnhold.com");
    EXPECT_FALSE(platform::OpenAddress("www.varnhold.com")) << "no scheme: not an address";
    EXPECT_FALSE(platform::OpenTarget("http://www.varnhold.com")) << "no such file";
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(fs::exists(m_record)) << "the planted program ran";
}

} // namespace
