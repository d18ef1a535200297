// Message boxes: the standard-error fallback, what dialog programs are given, and real boxes answered under Xvfb.
#include "platform/Dialogs.hpp"
#include "platform/linux/MessageBoxWindow.hpp"
#include "platform/linux/Spawn.hpp"
#include "support/PrivateDisplay.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Mesa's GL driver is unloaded when the last SFML context goes, taking the roots of its allocations with it: the
// leak checker then reports them as leaks from "<unknown module>". Kept loaded, they are seen as reachable.
const bool glDriversStayLoaded = [] {
    for (const char* library : {"libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"}) {
        static_cast<void>(dlopen(library, RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE));
    }
    return true;
}();

constexpr auto answerTimeout = 20s;
constexpr auto windowTimeout = 15s;
constexpr const char* questionCaption = "Download the Game";
// A display name that no X server answers.
constexpr const char* deadDisplay = ":424242";

using Arguments = std::vector<std::string>;

// Sets or clears environment variables for one test and puts the old values back after it.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void set(const std::string& name, const std::optional<std::string>& value) {
        if (m_saved.find(name) == m_saved.end()) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

using testing_support::readFile;

// The test program's own X server, started at first use and shared by every test: SFML keeps its connection to
// the first display it opens until the process ends, so the server must outlive every test. It ends with the
// test program (the parent-death signal), never before.
std::string privateDisplay() {
    static const std::string display = testing_support::startPrivateDisplay();
    return display;
}

class DialogProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "varnhold-dialog-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        fs::create_directories(m_root + "/bin");
        m_xdpyinfo = platform::detail::findProgram("xdpyinfo");
        ASSERT_FALSE(m_xdpyinfo.empty()) << "xdpyinfo (x11-utils) tells the stand-ins whether the display opens";
        // Only the stand-ins are on PATH, so a real zenity on this machine never opens a box here.
        m_environment.set("PATH", m_root + "/bin");
        m_environment.set("DISPLAY", deadDisplay);
        m_environment.set("WAYLAND_DISPLAY", std::nullopt);
        m_environment.set("XDG_CURRENT_DESKTOP", std::nullopt);
        m_environment.set("VARNHOLD_DIALOG", std::nullopt);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    // A dialog program that records its arguments (NUL-terminated) and answers with `exitCode`. Like zenity and
    // kdialog it ends with 1, the code of No, when its display does not open.
    void installStandIn(const std::string& name, int exitCode) {
        const std::string path = m_root + "/bin/" + name;
        std::ofstream(path) << "#!/bin/sh\nprintf '%s\\000' \"$@\" > '" << m_root << "/" << name << ".args'\n'"
                            << m_xdpyinfo
                            << "' >/dev/null 2>&1 || { echo \"cannot open display: $DISPLAY\" >&2; exit 1; }\n"
                            << "exit " << exitCode << "\n";
        fs::permissions(path, fs::perms::owner_all);
    }

    std::optional<Arguments> argumentsOf(const std::string& name) const {
        const std::string path = m_root + "/" + name + ".args";
        if (!fs::exists(path)) {
            return std::nullopt;
        }
        Arguments arguments;
        std::istringstream in(readFile(path));
        for (std::string argument; std::getline(in, argument, '\0');) {
            arguments.push_back(argument);
        }
        fs::remove(path);
        return arguments;
    }

    std::string m_root;
    std::string m_xdpyinfo;
    ScopedEnvironment m_environment;
};

// Dialog programs asked on a display that answers.
class LiveDialogProgramTest : public DialogProgramTest {
protected:
    void SetUp() override {
        // Looked for before the stand-ins take over PATH.
        if (platform::detail::findProgram("Xvfb").empty()) {
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
        }
        const std::string display = privateDisplay();
        ASSERT_FALSE(display.empty()) << "Xvfb did not report a display";
        DialogProgramTest::SetUp();
        m_environment.set("DISPLAY", display);
    }
};

TEST_F(DialogProgramTest, StandardErrorBackendPrintsTheLineAndAnswersNo) {
    m_environment.set("VARNHOLD_DIALOG", "stderr");
    installStandIn("zenity", 0);

    testing::internal::CaptureStderr();
    platform::ShowError("Please wait ...");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Launcher: Please wait ...\n");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(platform::AskYesNo(questionCaption, "Move the launcher\ninto your folder?"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Download the Game: Move the launcher\ninto your folder?\n");
    EXPECT_FALSE(argumentsOf("zenity")) << "a forced backend is the one used";
}

TEST_F(DialogProgramTest, WithoutAnyDisplayTheAnswerIsNo) {
    // A dialog program that would say Yes must not even be asked: nobody could see it.
    installStandIn("zenity", 0);
    m_environment.set("DISPLAY", "");
    testing::internal::CaptureStderr();
    const bool answer = platform::AskYesNo(questionCaption, "Download 16.6 GB?");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Download the Game: Download 16.6 GB?\n");
    EXPECT_FALSE(answer);
    EXPECT_FALSE(argumentsOf("zenity"));

    // Forcing a graphical backend without a display still ends on standard error, not in an abort.
    m_environment.set("DISPLAY", std::nullopt);
    m_environment.set("VARNHOLD_DIALOG", "sfml");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(platform::AskYesNo(questionCaption, "Again?"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Download the Game: Again?\n");
}

TEST_F(LiveDialogProgramTest, ZenityGetsTheTextAsPlainArguments) {
    installStandIn("zenity", 0);
    // Markup, a line break, a Latin-1 byte, a control character and a NUL: shown literally, never cut short.
    constexpr char raw[] = "Lotfan <b>&amp;</b>\r\nline caf\xE9 \x01 nul\0end";
    const std::string_view text(raw, sizeof raw - 1);
    const std::string shown = "Lotfan <b>&amp;</b>\nline caf\u00E9 \uFFFD nul\uFFFDend";

    EXPECT_TRUE(platform::AskYesNo(questionCaption, text));
    EXPECT_EQ(argumentsOf("zenity"), (Arguments{"--question", "--title", questionCaption, "--text", shown,
                                                "--no-markup", "--icon-name=dialog-error"}));

    platform::ShowError(text);
    EXPECT_EQ(argumentsOf("zenity"), (Arguments{"--error", "--title", "Launcher", "--text", shown, "--no-markup"}));

    installStandIn("zenity", 1);
    EXPECT_FALSE(platform::AskYesNo(questionCaption, "No?"));
    EXPECT_TRUE(argumentsOf("zenity"));
}

TEST_F(DialogProgramTest, AStaleDisplayFallsBackToStandardError) {
    // DISPLAY names a server that is gone (a stale one after ssh or su): a dialog program would end with 1 and be
    // taken for No, so none is started and the text goes to standard error.
    installStandIn("zenity", 0);
    testing::internal::CaptureStderr();
    const bool answer = platform::AskYesNo(questionCaption, "Download?");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Download the Game: Download?\n");
    EXPECT_FALSE(answer);
    testing::internal::CaptureStderr();
    platform::ShowError("Lotfan sabr konid ...");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Launcher: Lotfan sabr konid ...\n");
    EXPECT_FALSE(argumentsOf("zenity")) << "a dialog program was started on a display that does not answer";

    // Forced, too.
    m_environment.set("VARNHOLD_DIALOG", "zenity");
    testing::internal::CaptureStderr();
    platform::ShowError("forced");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Launcher: forced\n");
    EXPECT_FALSE(argumentsOf("zenity"));
}

TEST_F(LiveDialogProgramTest, ABoxThatNeverShowsFallsBackToStandardError) {
    // A dialog program that fails in its own way (a crash, here 255) hands over to the next backend.
    installStandIn("zenity", 255);
    m_environment.set("VARNHOLD_DIALOG", "zenity");
    testing::internal::CaptureStderr();
    const bool answer = platform::AskYesNo(questionCaption, "Download?");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Download the Game: Download?\n");
    EXPECT_FALSE(answer);
    EXPECT_TRUE(argumentsOf("zenity")) << "zenity was tried first";

    // No dialog program at all.
    fs::remove(m_root + "/bin/zenity");
    testing::internal::CaptureStderr();
    platform::ShowError("Lotfan sabr konid ...");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Launcher: Lotfan sabr konid ...\n");
}

TEST_F(LiveDialogProgramTest, KdeDesktopsUseKdialog) {
    installStandIn("zenity", 1);
    installStandIn("kdialog", 0);
    m_environment.set("XDG_CURRENT_DESKTOP", "ubuntu:KDE");
    EXPECT_TRUE(platform::AskYesNo(questionCaption, "a <b> & c\nd"));
    EXPECT_EQ(argumentsOf("kdialog"),
              (Arguments{"--title", questionCaption, "--warningyesno", "<qt>a &lt;b&gt; &amp; c<br>d</qt>"}));
    EXPECT_FALSE(argumentsOf("zenity"));

    platform::ShowError("x");
    EXPECT_EQ(argumentsOf("kdialog"), (Arguments{"--title", "Launcher", "--error", "<qt>x</qt>"}));

    m_environment.set("VARNHOLD_DIALOG", "zenity");
    EXPECT_FALSE(platform::AskYesNo(questionCaption, "forced"));
    EXPECT_TRUE(argumentsOf("zenity"));
    EXPECT_FALSE(argumentsOf("kdialog"));

    // Elsewhere, or on KDE without kdialog installed, zenity it is.
    m_environment.set("VARNHOLD_DIALOG", std::nullopt);
    m_environment.set("XDG_CURRENT_DESKTOP", "GNOME");
    EXPECT_FALSE(platform::AskYesNo(questionCaption, "gnome"));
    EXPECT_TRUE(argumentsOf("zenity"));
    m_environment.set("XDG_CURRENT_DESKTOP", "KDE");
    fs::remove(m_root + "/bin/kdialog");
    EXPECT_FALSE(platform::AskYesNo(questionCaption, "kde"));
    EXPECT_TRUE(argumentsOf("zenity"));
}

std::string run(const std::string& command) {
    std::string output;
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return output;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        output += buffer;
    }
    return output;
}

class XvfbDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (platform::detail::findProgram("Xvfb").empty()) {
            GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
        }
        ASSERT_FALSE(platform::detail::findProgram("xdotool").empty()) << "xdotool is needed to answer the boxes";
        const std::string display = privateDisplay();
        ASSERT_FALSE(display.empty()) << "Xvfb did not report a display";
        m_environment.set("DISPLAY", display);
        m_environment.set("WAYLAND_DISPLAY", std::nullopt);
        m_environment.set("XDG_CURRENT_DESKTOP", std::nullopt);
    }

    // The id of the visible window titled exactly `title`, or empty.
    static std::string findWindow(const std::string& title) {
        const auto deadline = std::chrono::steady_clock::now() + windowTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            std::string id = run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
            if (const std::size_t end = id.find('\n'); end != std::string::npos) {
                return id.substr(0, end);
            }
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }

    // Without a window manager keys reach a window only once it has been given the focus.
    static void pressKey(const std::string& window, const std::string& key) {
        run("xdotool windowfocus --sync " + window + " key " + key);
    }

    // Shows a box on a thread of its own; a box that never answers leaves that thread behind, not a hung test.
    template <typename Box> static auto inBackground(Box box) {
        std::packaged_task<decltype(box())()> task(std::move(box));
        auto answer = task.get_future();
        std::thread(std::move(task)).detach();
        return answer;
    }

    template <typename T> static std::optional<T> answerOf(std::future<T>& answer) {
        if (answer.wait_for(answerTimeout) != std::future_status::ready) {
            return std::nullopt;
        }
        return answer.get();
    }

    ScopedEnvironment m_environment;
};

TEST_F(XvfbDialogTest, ZenityBoxesAnswerReturnAndEscape) {
    ASSERT_FALSE(platform::detail::findProgram("zenity").empty()) << "zenity is listed in scripts/install-deps";
    m_environment.set("VARNHOLD_DIALOG", "zenity");

    auto shown = inBackground([] {
        platform::ShowError("Please, move the launcher into your folder and then run.");
        return true;
    });
    const std::string errorBox = findWindow("Launcher");
    ASSERT_FALSE(errorBox.empty()) << "no window titled Launcher";
    pressKey(errorBox, "Return");
    EXPECT_EQ(answerOf(shown), true);

    for (const auto& [key, expected] : {std::pair{"Return", true}, std::pair{"Escape", false}}) {
        SCOPED_TRACE(key);
        auto asked = inBackground([] { return platform::AskYesNo(questionCaption, "Download?"); });
        const std::string question = findWindow(questionCaption);
        ASSERT_FALSE(question.empty()) << "no window titled " << questionCaption;
        pressKey(question, key);
        EXPECT_EQ(answerOf(asked), expected);
    }
}

class SfmlDialogTest : public XvfbDialogTest {
protected:
    void SetUp() override {
        XvfbDialogTest::SetUp();
        m_environment.set("VARNHOLD_DIALOG", "sfml");
    }

    static sf::Vector2u sizeOf(const std::string& window) {
        const std::string geometry = run("xdotool getwindowgeometry --shell " + window);
        const auto value = [&geometry](const std::string& key) {
            const std::size_t at = geometry.find(key + "=");
            return at == std::string::npos ? 0u
                                           : static_cast<unsigned>(std::stoul(geometry.substr(at + key.size() + 1)));
        };
        return {value("WIDTH"), value("HEIGHT")};
    }

    static void click(const std::string& window, sf::FloatRect area) {
        const int x = static_cast<int>(area.left + area.width / 2);
        const int y = static_cast<int>(area.top + area.height / 2);
        run("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
            " mousedown 1 sleep 0.1 mouseup 1");
    }

    // The colour of one pixel of the window as the X server shows it, as ImageMagick writes it ("#C82828").
    static std::string pixelAt(const std::string& window, int x, int y) {
        const std::string text = run("import -window " + window + " -crop 1x1+" + std::to_string(x) + "+" +
                                     std::to_string(y) + " -depth 8 txt:- 2>/dev/null");
        const std::size_t hash = text.find('#', text.find("0,0:"));
        return hash == std::string::npos ? std::string{} : text.substr(hash, 7);
    }
};

TEST_F(SfmlDialogTest, KeysAnswerTheBox) {
    auto shown = inBackground([] {
        platform::ShowError("Please wait ...");
        return true;
    });
    const std::string errorBox = findWindow("Launcher");
    ASSERT_FALSE(errorBox.empty()) << "no window titled Launcher";

    // The error icon: a red disc left of the text.
    std::string colour;
    for (int attempt = 0; attempt < 50 && colour != "#C82828"; ++attempt) {
        colour = pixelAt(errorBox, 24, 40);
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(colour, "#C82828") << "the icon's red";

    pressKey(errorBox, "Return");
    EXPECT_EQ(answerOf(shown), true);

    for (const auto& [key, expected] : {std::pair{"Return", true}, std::pair{"Escape", false}}) {
        SCOPED_TRACE(key);
        auto asked = inBackground([] {
            return platform::AskYesNo(questionCaption, "Download the whole game into this folder? It is large, and "
                                                       "this text is long enough to need more than one line.");
        });
        const std::string question = findWindow(questionCaption);
        ASSERT_FALSE(question.empty()) << "no window titled " << questionCaption;
        pressKey(question, key);
        EXPECT_EQ(answerOf(asked), expected);
    }
}

TEST_F(SfmlDialogTest, WithoutAFontTheTextGoesToStandardErrorToo) {
    testing::internal::CaptureStderr();
    auto shown = inBackground([] {
        return platform::detail::runMessageBoxWindow("Launcher", "Please wait ...",
                                                     platform::detail::MessageButtons::Ok, nullptr);
    });
    const std::string box = findWindow("Launcher");
    if (!box.empty()) {
        pressKey(box, "Return");
    }
    const std::optional<bool> answer = answerOf(shown);
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_FALSE(box.empty()) << "no window titled Launcher";
    EXPECT_EQ(answer, true);
    EXPECT_NE(printed.find("Launcher: Please wait ...\n"), std::string::npos) << printed;
}

TEST_F(SfmlDialogTest, ButtonsAnswerClicks) {
    for (const auto& [button, expected] : {std::pair{std::size_t{1}, false}, std::pair{std::size_t{0}, true}}) {
        SCOPED_TRACE(expected ? "Yes" : "No");
        auto asked = inBackground([] { return platform::AskYesNo(questionCaption, "Download?"); });
        const std::string question = findWindow(questionCaption);
        ASSERT_FALSE(question.empty()) << "no window titled " << questionCaption;
        run("xdotool windowfocus --sync " + question);
        const sf::Vector2u size = sizeOf(question);
        ASSERT_GT(size.x, 0u);
        // A press outside any button, released outside, does nothing; then the real click.
        click(question, {2.f, 2.f, 1.f, 1.f});
        EXPECT_EQ(asked.wait_for(300ms), std::future_status::timeout) << "a click beside the buttons answered";
        click(question, platform::detail::messageBoxButtonArea(button, platform::detail::MessageButtons::YesNo, size));
        EXPECT_EQ(answerOf(asked), expected);
    }
}

} // namespace
