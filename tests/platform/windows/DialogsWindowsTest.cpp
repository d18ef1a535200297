// Message boxes on Windows: real boxes found by their caption and answered, and standard error without a desktop.
#include "platform/Dialogs.hpp"
#include "platform/Display.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr auto boxTimeout = 20s;
constexpr auto pollInterval = 50ms;
constexpr const wchar_t* dialogClass = L"#32770";
constexpr int messageTextId = 0xFFFF; // the static control that holds a message box's text

// "Download the Game" and a Finglish/Persian text, as the launcher sends them: UTF-8.
constexpr const char* questionCaption = "Download the Game";
constexpr const char* persianText = "Bazi ra download konim? \xD8\xA8\xD8\xA7\xD8\xB2\xDB\x8C";
constexpr const wchar_t* persianWide = L"Bazi ra download konim? \u0628\u0627\u0632\u06CC";

HWND waitForBox(const wchar_t* caption) {
    const auto deadline = std::chrono::steady_clock::now() + boxTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const HWND box = FindWindowW(dialogClass, caption)) {
            return box;
        }
        std::this_thread::sleep_for(pollInterval);
    }
    return nullptr;
}

std::wstring textOf(HWND box) {
    wchar_t text[512] = {};
    GetDlgItemTextW(box, messageTextId, text, 512);
    return text;
}

class DialogsWindowsTest : public ::testing::Test {
protected:
    void SetUp() override { _putenv_s("VARNHOLD_DIALOG", ""); }
    void TearDown() override { _putenv_s("VARNHOLD_DIALOG", ""); }
};

TEST_F(DialogsWindowsTest, BoxesAreAnsweredByTheirButtons) {
    if (!platform::DisplayConnection()) {
        GTEST_SKIP() << "no desktop to show a box on";
    }
    for (const int button : {IDYES, IDNO}) {
        std::future<bool> answer =
            std::async(std::launch::async, [] { return platform::AskYesNo(questionCaption, persianText); });
        const HWND box = waitForBox(L"Download the Game");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(textOf(box), persianWide);
        EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
        EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
        PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
        ASSERT_EQ(answer.wait_for(boxTimeout), std::future_status::ready);
        EXPECT_EQ(answer.get(), button == IDYES);
    }

    std::future<void> shown = std::async(std::launch::async, [] { platform::ShowError("Please wait ..."); });
    const HWND box = waitForBox(L"Launcher");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(textOf(box), L"Please wait ...");
    EXPECT_EQ(GetDlgItem(box, IDYES), nullptr) << "an error box has OK alone";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(shown.wait_for(boxTimeout), std::future_status::ready);
}

TEST_F(DialogsWindowsTest, WithoutABoxTheTextGoesToStandardErrorAndTheAnswerIsNo) {
    // Asked for, as tests without a desktop do; and by necessity where no box can show at all.
    if (platform::DisplayConnection()) {
        _putenv_s("VARNHOLD_DIALOG", "stderr");
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(platform::AskYesNo(questionCaption, persianText));
    platform::ShowError("Please wait ...");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(questionCaption) + ": " + persianText + "\nLauncher: Please wait ...\n");
}

} // namespace
