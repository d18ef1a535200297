// OpenTarget and OpenAddress with stand-in xdg-open and wine programs first on PATH that record how they were started.
#include "platform/Shell.hpp"
#include "platform/FileSystem.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto startTimeout = 10s;
constexpr auto pollInterval = 20ms;
constexpr const char* fdProbeVariable = "VARNHOLD_TEST_FD_PROBE";

// When OpenTarget starts this very test program with the probe variable set, it writes what it inherited (every
// open descriptor and where it points) and ends before GoogleTest starts.
const bool fdProbeRan = [] {
    const char* out = std::getenv(fdProbeVariable);
    if (out == nullptr) {
        return false;
    }
    std::ostringstream report;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || std::stoi(name) == dirfd(folder)) {
                continue;
            }
            std::error_code error;
            report << name << ' ' << fs::read_symlink("/proc/self/fd/" + name, error).string() << '\n';
        }
        closedir(folder);
    }
    char cwd[4096] = {};
    report << "cwd " << (getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?") << '\n';
    std::ofstream(std::string(out) + ".tmp") << report.str();
    fs::rename(std::string(out) + ".tmp", out);
    _exit(0);
}();

using testing_support::readFile;

bool waitForFile(const std::string& path, std::chrono::milliseconds timeout = startTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(pollInterval);
    }
    return true;
}

void writeExecutable(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

// A shell script that writes its arguments (as `recordArguments` prints them), folder and process id to files
// named after `record`, then a marker file last, so a reader that sees the marker sees complete records.
std::string recordingScript(const std::string& record, const std::string& recordArguments) {
    std::string script = "#!/bin/sh\n";
    script += recordArguments + " > '" + record + ".args'\n";
    script += "pwd > '" + record + ".cwd'\n";
    script += "echo $$ > '" + record + ".pid'\n";
    script += ": > '" + record + ".done'\n";
    return script;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "varnhold-shell-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = fs::canonical(pattern).string();
        m_bin = m_root + "/bin";
        m_game = m_root + "/game folder";
        m_log = m_root + "/log";
        fs::create_directories(m_bin);
        fs::create_directories(m_game);
        fs::create_directories(m_log);
        m_previousFolder = fs::current_path();
        fs::current_path(m_game);
        if (const char* path = std::getenv("PATH")) {
            m_previousPath = path;
        }
        // Only the stand-ins: a real xdg-open or wine on this machine must not answer instead.
        setenv("PATH", m_bin.c_str(), 1);
        installStandIn("xdg-open");
        installStandIn("wine");
    }
    void TearDown() override {
        if (m_previousPath) {
            setenv("PATH", m_previousPath->c_str(), 1);
        }
        fs::current_path(m_previousFolder);
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    // The stand-in writes its arguments NUL-terminated, so any byte survives.
    void installStandIn(const std::string& name, const std::string& afterRecording = "") {
        writeExecutable(m_bin + "/" + name,
                        recordingScript(m_log + "/" + name, "printf '%s\\000' \"$@\"") + afterRecording);
    }

    // The arguments the stand-in `name` got, or empty when it did not run within the time-out.
    std::optional<std::vector<std::string>> argumentsOf(const std::string& name,
                                                        std::chrono::milliseconds timeout = startTimeout) const {
        if (!waitForFile(m_log + "/" + name + ".done", timeout)) {
            return std::nullopt;
        }
        std::vector<std::string> arguments;
        std::istringstream in(readFile(m_log + "/" + name + ".args"));
        for (std::string argument; std::getline(in, argument, '\0');) {
            arguments.push_back(argument);
        }
        return arguments;
    }

    std::string folderOf(const std::string& name) const {
        std::string folder = readFile(m_log + "/" + name + ".cwd");
        if (!folder.empty() && folder.back() == '\n') {
            folder.pop_back();
        }
        return folder;
    }

    void forget(const std::string& name) const {
        for (const char* suffix : {".args", ".cwd", ".pid", ".done"}) {
            fs::remove(m_log + "/" + name + suffix);
        }
    }

    std::string m_root;
    std::string m_bin;
    std::string m_game;
    std::string m_log;
    fs::path m_previousFolder;
    std::optional<std::string> m_previousPath;
};

using Arguments = std::vector<std::string>;

TEST_F(ShellTest, AddressesGoToTheDesktopOpenerAsOneArgument) {
    // Spaces, quotes and shell characters must arrive as they are: no shell stands between.
    for (const std::string address : {"https://example.org/a b?x=1&y=<2>;$(id)'\"", "mailto:gm@example.org",
                                      "discord://discord.gg/varnhold", "http://127.0.0.1:8642/news"}) {
        SCOPED_TRACE(address);
        forget("xdg-open");
        ASSERT_TRUE(platform::OpenAddress(address));
        EXPECT_EQ(argumentsOf("xdg-open"), Arguments{address});
    }
    EXPECT_FALSE(fs::exists(m_log + "/wine.done"));
}

TEST_F(ShellTest, NothingStartsForAnEmptyOrMissingTarget) {
    EXPECT_FALSE(platform::OpenTarget(""));
    EXPECT_FALSE(platform::OpenTarget("missing.exe"));
    EXPECT_FALSE(platform::OpenTarget(m_game + "/missing-game"));
    EXPECT_FALSE(platform::OpenTarget("C:\\Games\\Wow.exe")) << "a drive letter is not an address scheme";
    EXPECT_FALSE(argumentsOf("xdg-open", 300ms));
    EXPECT_FALSE(argumentsOf("wine", 0ms));

    // Without an opener on PATH nothing can be started either.
    fs::remove(m_bin + "/xdg-open");
    EXPECT_FALSE(platform::OpenAddress("https://example.org/"));
}

TEST_F(ShellTest, AnAddressNeverOpensAFileAndAFileNeverAnAddress) {
    // A download or an unpacked archive may plant a program under an address's spelling.
    const std::string record = m_log + "/planted";
    for (const char* name : {"www.varnhold.com", "guide.desktop"})
        writeExecutable(m_game + "/" + name, recordingScript(record, "echo"));
    fs::create_directories("https:/varnhold.example");
    writeExecutable("https:/varnhold.example/vote", recordingScript(record, "echo"));

    EXPECT_FALSE(platform::OpenAddress("www.varnhold.com")) << "no scheme: not an address";
    EXPECT_FALSE(platform::OpenAddress("guide.desktop"));
    ASSERT_TRUE(platform::OpenAddress("https://varnhold.example/vote"));
    EXPECT_EQ(argumentsOf("xdg-open"), Arguments{"https://varnhold.example/vote"});

    forget("xdg-open");
    EXPECT_FALSE(platform::OpenTarget("http://www.varnhold.com")) << "no such file";
    EXPECT_FALSE(argumentsOf("xdg-open", 300ms));
    EXPECT_FALSE(fs::exists(record + ".done")) << "a planted program ran";
}

TEST_F(ShellTest, WindowsProgramsRunThroughWineWhenItIsInstalled) {
    std::ofstream("Wow.exe") << "MZ";
    std::ofstream("Setup.EXE") << "MZ";
    fs::create_directories("Data\\Tools");

    ASSERT_TRUE(platform::OpenTarget(platform::FullPath("Wow.exe")));
    EXPECT_EQ(argumentsOf("wine"), Arguments{m_game + "/Wow.exe"});
    EXPECT_EQ(folderOf("wine"), m_game);

    forget("wine");
    ASSERT_TRUE(platform::OpenTarget("Setup.EXE")) << "the extension is matched in any case";
    EXPECT_EQ(argumentsOf("wine"), Arguments{"./Setup.EXE"});

    // PATH is read at each call: without wine the desktop decides what opens a Windows program.
    fs::remove(m_bin + "/wine");
    forget("wine");
    ASSERT_TRUE(platform::OpenTarget(platform::FullPath("Wow.exe")));
    EXPECT_EQ(argumentsOf("xdg-open"), Arguments{m_game + "/Wow.exe"});
    EXPECT_FALSE(fs::exists(m_log + "/wine.done"));
}

TEST_F(ShellTest, NativeProgramsStartInTheGameFolderAndAreReaped) {
    const std::string record = m_log + "/game";
    writeExecutable(m_game + "/run game.sh", recordingScript(record, "echo $#"));
    ASSERT_TRUE(platform::OpenTarget(platform::FullPath("run game.sh")));
    ASSERT_TRUE(waitForFile(record + ".done"));
    EXPECT_EQ(readFile(record + ".args"), "0\n") << "the program is started with no arguments";
    EXPECT_EQ(folderOf("game"), m_game);
    EXPECT_FALSE(fs::exists(m_log + "/xdg-open.done"));

    // Once the game ends, the launcher reaps it: its /proc entry goes away instead of staying a zombie.
    const std::string proc = "/proc/" + std::to_string(std::stoi(readFile(record + ".pid")));
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (fs::exists(proc) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(pollInterval);
    }
    EXPECT_FALSE(fs::exists(proc)) << "still there: " << readFile(proc + "/stat");
}

TEST_F(ShellTest, DocumentsAndFoldersGoToTheDesktopOpener) {
    std::ofstream("readme.txt") << "hello";
    ASSERT_TRUE(platform::OpenTarget("readme.txt"));
    EXPECT_EQ(argumentsOf("xdg-open"), Arguments{"./readme.txt"});

    forget("xdg-open");
    ASSERT_TRUE(platform::OpenTarget("Interface\\..\\readme.txt")) << "a server path with Windows separators";
    EXPECT_EQ(argumentsOf("xdg-open"), Arguments{m_game + "/readme.txt"});

    // An execute bit on something that cannot run (as on a Windows-formatted drive) still opens it as a document.
    forget("xdg-open");
    writeExecutable("notes.pdf", "%PDF-1.4\n");
    ASSERT_TRUE(platform::OpenTarget(m_game + "/notes.pdf"));
    EXPECT_EQ(argumentsOf("xdg-open"), Arguments{m_game + "/notes.pdf"});
}

TEST_F(ShellTest, DoesNotWaitForAnOpenerThatBlocks) {
    // xdg-open may run a viewer in the foreground until it is closed.
    installStandIn("xdg-open", "/bin/sleep 5\n");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(platform::OpenAddress("https://example.org/"));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, 1s);
    EXPECT_TRUE(argumentsOf("xdg-open")) << "the opener ran";
}

TEST_F(ShellTest, StartedProgramsInheritNoDescriptors) {
    // Descriptors opened without O_CLOEXEC, as libraries do; the child must still not see them.
    const int file = open("/dev/zero", O_RDONLY);
    int pipeEnds[2] = {-1, -1};
    ASSERT_GE(file, 0);
    ASSERT_EQ(pipe(pipeEnds), 0);

    const std::string report = m_log + "/fds";
    setenv(fdProbeVariable, report.c_str(), 1);
    const bool started = platform::OpenTarget(fs::read_symlink("/proc/self/exe").string());
    unsetenv(fdProbeVariable);
    close(file);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    ASSERT_TRUE(started);
    ASSERT_TRUE(waitForFile(report));
    EXPECT_EQ(readFile(report), "0 /dev/null\n1 /dev/null\n2 /dev/null\ncwd " + m_game + "\n");
}

} // namespace
