// The file worker against a real local server: order, Play's moment, shared downloads, retries, refused places,
// the progress within a file, the reasons on the status line, the room for the full game and stale partial files.
#include "sync/Launcher.hpp"

#include "platform/FileSystem.hpp"
#include "sync/ResumeRecord.hpp"

#include "support/Gate.hpp"
#include "support/LocalServer.hpp"
#include "support/Md5.hpp"
#include "support/Md5Twins.hpp"
#include "support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <thread>
#include <utility>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::CurrentFolderGuard;
using testing_support::Gate;
using testing_support::LocalServer;
using testing_support::md5Hex;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

constexpr auto workerTimeout = 10s;
constexpr std::size_t pacedBlock = 16 * 1024;

using Handler = std::function<void(httplib::Response&)>;
using RangedHandler = std::function<void(const httplib::Request&, httplib::Response&)>;

class FileWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        m_server.server().Get("/(.*)", [this](const httplib::Request& request, httplib::Response& response) {
            Handler handler;
            RangedHandler ranged;
            {
                const std::lock_guard lock(m_mutex);
                m_requests.push_back(request.matches[1]);
                const auto found = m_handlers.find(request.matches[1]);
                if (found != m_handlers.end())
                    handler = found->second;
                const auto rangedFound = m_rangedHandlers.find(request.matches[1]);
                if (rangedFound != m_rangedHandlers.end())
                    ranged = rangedFound->second;
            }
            if (ranged)
                ranged(request, response);
            else if (handler)
                handler(response);
            else
                response.status = 404;
        });
        // The library would slice bodies by Range itself; servePaced answers Range as a file server does.
        m_server.server().set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
            const_cast<httplib::Request&>(request).ranges.clear();
            return httplib::Server::HandlerResponse::Unhandled;
        });
        ASSERT_TRUE(m_server.start());
    }

    void TearDown() override {
        m_launcher.reset();
        m_server.stop();
    }

    std::string url(const std::string& name) const { return m_server.base() + name; }

    void serve(const std::string& name, Handler handler) {
        const std::lock_guard lock(m_mutex);
        m_handlers[name] = std::move(handler);
    }

    void serveBytes(const std::string& name, const std::string& bytes, Gate* gate = nullptr) {
        serve(name, [bytes, gate](httplib::Response& response) {
            if (gate)
                gate->passWhenOpen();
            response.set_content(bytes, "application/octet-stream");
        });
    }

    // Serves `bytes` as a file server does (Range, If-Range against its ETag), 16 KiB every 2 ms per answer: slow
    // enough that a test sees transfers in flight.
    void servePaced(const std::string& name, const std::string& bytes) {
        const auto file = std::make_shared<const std::string>(bytes);
        const std::lock_guard lock(m_mutex);
        m_rangedHandlers[name] = [file](const httplib::Request& request, httplib::Response& response) {
            response.set_header("ETag", "\"v1\"");
            response.set_header("Accept-Ranges", "bytes");
            std::size_t first = 0;
            std::size_t end = file->size();
            const std::string range = request.get_header_value("Range");
            const std::string ifRange = request.get_header_value("If-Range");
            if (!range.empty() && (ifRange.empty() || ifRange == "\"v1\"")) {
                const std::size_t dash = range.find('-');
                first = std::stoul(range.substr(6, dash - 6));
                if (dash + 1 < range.size())
                    end = std::stoul(range.substr(dash + 1)) + 1;
                if (first >= file->size()) {
                    // A part that already holds the whole file, from a run stopped before its rename.
                    response.status = 416;
                    response.set_header("Content-Range", "bytes */" + std::to_string(file->size()));
                    return;
                }
                response.status = 206;
                response.set_header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(end - 1) +
                                                         "/" + std::to_string(file->size()));
            }
            response.set_content_provider(
                end - first, "application/octet-stream",
                [file, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    std::this_thread::sleep_for(2ms);
                    return sink.write(file->data() + first + offset, std::min(length, pacedBlock));
                });
        };
    }

    // Every file under the game folder is `served` whole, or a partial file whose record vouches only for bytes of
    // it; no temporary file is left.
    void expectNothingTorn(const std::map<std::string, std::string>& served) {
        constexpr std::string_view partial = ".varnhold-partial";
        for (const auto& found : fs::recursive_directory_iterator(m_folder.path())) {
            if (!found.is_regular_file())
                continue;
            const std::string name = fs::relative(found.path(), m_folder.path()).generic_string();
            EXPECT_EQ(name.find(".part-"), std::string::npos) << "a temporary file was left: " << name;
            if (name.ends_with(std::string(partial) + "-info"))
                continue;
            const bool isPartial = name.ends_with(partial);
            const std::string target = isPartial ? name.substr(0, name.size() - partial.size()) : name;
            const auto bytes = served.find(target);
            ASSERT_NE(bytes, served.end()) << name;
            const std::string contents = readFile(found.path());
            if (!isPartial) {
                EXPECT_TRUE(contents == bytes->second) << name << " is torn";
                continue;
            }
            const std::optional<ResumeRecord> record = ResumeRecord::load(platform::FullPath(target));
            ASSERT_TRUE(record) << "a partial file without its record: " << name;
            if (record->pieces.empty()) {
                EXPECT_TRUE(bytes->second.starts_with(contents)) << name << " holds other bytes";
            }
            for (const ResumePiece& piece : record->pieces) {
                if (piece.written == 0)
                    continue;
                ASSERT_GE(contents.size(), piece.start + piece.written) << name;
                EXPECT_TRUE(contents.substr(piece.start, piece.written) ==
                            bytes->second.substr(piece.start, piece.written))
                    << name << ": the piece from byte " << piece.start << " holds other bytes";
            }
        }
    }

    // Polls the status line until it reads `text` or `timeout` passes; the text last seen.
    std::string waitForStatus(Launcher& which, const std::string& text, std::chrono::milliseconds timeout = 5s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        std::string seen = which.statusText();
        while (seen != text && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(10ms);
            seen = which.statusText();
        }
        return seen;
    }

    std::vector<std::string> requests() const {
        const std::lock_guard lock(m_mutex);
        return m_requests;
    }

    // One start of the launcher that keeps its verification records in the cache folder, run to its end.
    std::vector<std::string> startWithCache(const std::vector<FileEntry>& files, bool fullCheck = false) {
        {
            const std::lock_guard lock(m_mutex);
            m_requests.clear();
        }
        m_launcher.reset();
        launcher().setVerificationCache((m_cacheFolder.path() / "verified.txt").string(), fullCheck);
        launcher().startFileSync(files);
        EXPECT_TRUE(launcher().waitUntilAllDone(workerTimeout));
        return requests();
    }

    FileEntry entry(const std::string& name, const std::string& location, const std::string& bytes,
                    std::int32_t required, std::int32_t gameData = 0) const {
        return FileEntry{gameData, required, location, md5Hex(bytes), url(name), bytes.size()};
    }

    Launcher& launcher() {
        if (!m_launcher) {
            m_launcher = std::make_unique<Launcher>(m_folder.path().string());
            m_launcher->setLanguage(Language::English);
            m_launcher->setRetryDelays(20ms, 50ms);
        }
        return *m_launcher;
    }

    TempFolder m_folder;
    TempFolder m_cacheFolder;
    // Locations are relative to the current folder, as when the launcher runs from the game folder.
    CurrentFolderGuard m_inGameFolder{m_folder.path()};
    LocalServer m_server;
    mutable std::mutex m_mutex; // guards m_requests and m_handlers: the server's threads use them
    std::vector<std::string> m_requests;
    std::map<std::string, Handler> m_handlers;
    std::map<std::string, RangedHandler> m_rangedHandlers;
    std::unique_ptr<Launcher> m_launcher;
};

TEST_F(FileWorkerTest, RequiredFilesComeFirstAndPlayUnlocksAtTheFirstOptionalOne) {
    Gate slowRequired;
    Gate firstOptional;
    serveBytes("req1", "required one", &slowRequired);
    serveBytes("req2", "required two", &slowRequired);
    serveBytes("opt1", "optional one", &firstOptional);
    serveBytes("opt2", "optional two");

    launcher().startFileSync(
        {entry("opt1", "opt1.bin", "optional one", 0), entry("req1", "req1.bin", "required one", 1),
         entry("opt2", "opt2.bin", "optional two", 0), entry("req2", "data/req2.bin", "required two", 2)});

    // Both required files are asked for at once; while they are on their way no optional one starts.
    ASSERT_TRUE(slowRequired.waitEntered());
    for (const auto until = std::chrono::steady_clock::now() + 5s;
         requests().size() < 2 && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(100ms);
    const std::vector<std::string> whileRequired = requests();
    EXPECT_FALSE(launcher().canPlay()) << "a required file is still on its way";
    EXPECT_EQ(launcher().statusText(), "Download - Requirements");
    slowRequired.open();
    EXPECT_EQ((std::set<std::string>(whileRequired.begin(), whileRequired.end())),
              (std::set<std::string>{"req1", "req2"}));

    ASSERT_TRUE(firstOptional.waitEntered());
    EXPECT_TRUE(launcher().canPlay());
    EXPECT_FALSE(launcher().allDone());
    EXPECT_EQ(launcher().statusText(), "Download - Additional");
    firstOptional.open();

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(launcher().statusText(), "Ready to Play");
    const std::vector<std::string> all = requests();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ((std::set<std::string>(all.begin() + 2, all.end())), (std::set<std::string>{"opt1", "opt2"}));
    EXPECT_EQ(readFile("data/req2.bin"), "required two");
    EXPECT_EQ(readFile("opt2.bin"), "optional two");
}

TEST_F(FileWorkerTest, EntriesSharingOneUrlAreDownloadedOnceAndCopied) {
    const std::string bytes(300'000, 'x');
    serveBytes("shared", bytes);
    serveBytes("other", "other");
    // The later places are copies: even a wrong file there is not checked or fetched by itself.
    writeFile("second.bin", "stale");
    const FileEntry first = entry("shared", "sub/first.bin", bytes, 1);
    FileEntry second = first;
    second.location = "second.bin";
    FileEntry third = first;
    third.location = "new\\folder\\third.bin"; // a folder the player does not have yet
    launcher().startFileSync({first, second, third, entry("other", "other.bin", "other", 0)});

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(requests(), (std::vector<std::string>{"shared", "other"}));
    EXPECT_EQ(readFile("sub/first.bin"), bytes);
    EXPECT_EQ(readFile("second.bin"), bytes);
    EXPECT_EQ(readFile("new/folder/third.bin"), bytes);
}

TEST_F(FileWorkerTest, EmptyChecksumTakesOneDownloadAndNoPause) {
    serveBytes("any", "whatever the server has");
    serveBytes("kept", "new contents");
    writeFile("kept.bin", "old contents");
    // A long pause would show: the download that "fails" only for the empty checksum must be accepted at once.
    launcher().setRetryDelays(5s, 5s);
    launcher().startFileSync({{0, 1, "any.bin", "", url("any")}, {0, 0, "kept.bin", "", url("kept")}});

    ASSERT_TRUE(launcher().waitUntilAllDone(3s));
    EXPECT_EQ(requests(), std::vector<std::string>{"any"});
    EXPECT_EQ(readFile("any.bin"), "whatever the server has");
    EXPECT_EQ(readFile("kept.bin"), "old contents") << "an existing file with an empty checksum is kept";
}

TEST_F(FileWorkerTest, GameDataOnlyWithTheFullDownload) {
    serveBytes("game", "game data");
    launcher().startFileSync({entry("game", "game.bin", "game data", 1, 1)});
    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_TRUE(requests().empty());
    EXPECT_FALSE(fs::exists("game.bin"));

    Gate gate;
    serveBytes("game", "game data", &gate);
    Launcher full(m_folder.path().string());
    full.setLanguage(Language::English);
    full.setFullGameDownload(true);
    full.startFileSync({entry("game", "game.bin", "game data", 1, 1)});
    ASSERT_TRUE(gate.waitEntered());
    EXPECT_EQ(full.statusText(), "Download - Game Data");
    gate.open();
    ASSERT_TRUE(full.waitUntilAllDone(workerTimeout));
    EXPECT_EQ(readFile("game.bin"), "game data");
}

TEST_F(FileWorkerTest, FailuresAreRetriedWithPausesUntilTheFileChecksOut) {
    std::mutex mutex; // guards times: the server's thread writes them
    std::vector<std::chrono::steady_clock::time_point> times;
    serve("flaky", [&](httplib::Response& response) {
        const std::lock_guard lock(mutex);
        times.push_back(std::chrono::steady_clock::now());
        if (times.size() == 1)
            response.status = 500;
        else
            response.set_content(times.size() == 2 ? "corrupt" : "good bytes", "application/octet-stream");
    });
    launcher().setRetryDelays(100ms, 200ms);
    launcher().startFileSync({entry("flaky", "flaky.bin", "good bytes", 1)});

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(launcher().statusText(), "Ready to Play");
    EXPECT_EQ(readFile("flaky.bin"), "good bytes");
    const std::lock_guard lock(mutex);
    ASSERT_EQ(times.size(), 3u);
    // The jitter takes at most a quarter off each pause; the second pause is about twice the first.
    EXPECT_GE(times[1] - times[0], 75ms);
    EXPECT_GE(times[2] - times[1], 150ms);
}

TEST_F(FileWorkerTest, LocationsOutsideTheGameFolderAreRefused) {
    const fs::path& folder = m_folder.path();
    const fs::path outsideAbsolute = folder.parent_path() / (folder.filename().string() + "-absolute.bin");
    const fs::path outsideRelative = folder.parent_path() / (folder.filename().string() + "-relative.bin");
    serveBytes("a", "a");
    serveBytes("b", "b");
    serveBytes("c", "c");
    serveBytes("shared", "shared");
    const FileEntry inside = entry("shared", "inside.bin", "shared", 0);
    FileEntry escapingCopy = inside;
    escapingCopy.location = "../" + outsideRelative.filename().string();

    launcher().startFileSync({entry("a", "../" + outsideRelative.filename().string(), "a", 1),
                              entry("b", outsideAbsolute.string(), "b", 1), entry("c", "", "c", 0), inside,
                              escapingCopy});

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(requests(), std::vector<std::string>{"shared"});
    EXPECT_EQ(readFile("inside.bin"), "shared");
    EXPECT_FALSE(fs::exists(outsideRelative));
    EXPECT_FALSE(fs::exists(outsideAbsolute));
}

// Game files as an earlier install left them: written long before the launcher reads them.
void writeSettled(const fs::path& file, const std::string& bytes) {
    writeFile(file, bytes);
    fs::last_write_time(file, fs::file_time_type::clock::now() - 1h);
}

TEST_F(FileWorkerTest, TheCacheTrustsAnUntouchedFileAndReadsAReplacedOneAgain) {
    const std::string good = "good bytes 1";
    const std::string evil = "evil bytes 1"; // the same size
    serveBytes("a", good);
    const std::vector<FileEntry> files{entry("a", "a.bin", good, 1)};
    writeSettled("a.bin", good);
    EXPECT_TRUE(startWithCache(files).empty());
    const fs::file_time_type settled = fs::last_write_time("a.bin");

    // The one change the cache cannot see: new bytes of the same size written into the same file, its
    // modification time put back. Nothing about the file says it changed, so the record still vouches for it.
    writeFile("a.bin", evil);
    fs::last_write_time("a.bin", settled);
    EXPECT_TRUE(startWithCache(files).empty());
    EXPECT_EQ(readFile("a.bin"), evil);

    // The same bytes arriving as a new file (a copy, an unpacked archive) have a new identity: read again.
    writeFile("a.new", evil);
    fs::rename("a.new", "a.bin");
    fs::last_write_time("a.bin", settled);
    EXPECT_EQ(startWithCache(files), std::vector<std::string>{"a"});
    EXPECT_EQ(readFile("a.bin"), good);
}

TEST_F(FileWorkerTest, ANewServerChecksumOrAFullCheckReadsTheFileAgain) {
    const std::string good = "good bytes 1";
    const std::string newer = "newer bytes!";
    serveBytes("a", newer);
    writeSettled("a.bin", good);
    EXPECT_TRUE(startWithCache({entry("a", "a.bin", good, 1)}).empty());
    // The record still holds for the file, but it vouches for the old checksum only.
    EXPECT_EQ(startWithCache({entry("a", "a.bin", newer, 1)}), std::vector<std::string>{"a"});
    EXPECT_EQ(readFile("a.bin"), newer);

    // A full check reads even a file whose record holds (here the one change the cache cannot see).
    writeSettled("a.bin", newer);
    ASSERT_TRUE(startWithCache({entry("a", "a.bin", newer, 1)}).empty());
    const fs::file_time_type settled = fs::last_write_time("a.bin");
    writeFile("a.bin", "evil bytes!!");
    fs::last_write_time("a.bin", settled);
    EXPECT_EQ(startWithCache({entry("a", "a.bin", newer, 1)}, true), std::vector<std::string>{"a"});
    EXPECT_EQ(readFile("a.bin"), newer);
}

TEST_F(FileWorkerTest, ParallelChecksStillUnlockPlayOnlyAfterEveryRequiredFile) {
    Gate slowRequired;
    serveBytes("req", "required", &slowRequired);
    std::vector<FileEntry> files{entry("req", "req.bin", "required", 1)};
    for (const char* name : {"o1", "o2", "o3", "o4"}) {
        writeSettled(std::string(name) + ".bin", name);
        files.push_back(entry(name, std::string(name) + ".bin", name, 0));
    }
    launcher().setCheckThreads(4);
    launcher().startFileSync(files);

    // Every optional file is checked long before the required one arrives; none of that may show.
    ASSERT_TRUE(slowRequired.waitEntered());
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(launcher().canPlay());
    EXPECT_EQ(launcher().statusText(), "Download - Requirements");
    slowRequired.open();

    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(launcher().statusText(), "Ready to Play");
    EXPECT_EQ(requests(), std::vector<std::string>{"req"});
}

TEST_F(FileWorkerTest, ARunningDownloadsBytesReachTheProgressAsTheyArrive) {
    const std::string bytes(600'000, 'p');
    constexpr std::size_t half = 300'000;
    Gate halfway;
    serve("big", [&](httplib::Response& response) {
        response.set_content_provider(bytes.size(), "application/octet-stream",
                                      [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                          if (offset == half)
                                              halfway.passWhenOpen();
                                          const std::size_t end = offset < half ? half : bytes.size();
                                          return sink.write(bytes.data() + offset, std::min(length, end - offset));
                                      });
    });
    launcher().startFileSync({entry("big", "big.bin", bytes, 1)});
    ASSERT_TRUE(halfway.waitEntered());
    DownloadProgress progress = launcher().downloadProgress();
    for (const auto until = std::chrono::steady_clock::now() + 5s;
         progress.bytesDone != half && std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(10ms);
        progress = launcher().downloadProgress();
    }
    halfway.open();

    // Halfway through the only file, not at its start or its end: the bar moves while the file comes in.
    EXPECT_TRUE(progress.active);
    EXPECT_EQ(progress.bytesDone, half);
    EXPECT_EQ(progress.bytesReceived, half);
    EXPECT_EQ(progress.bytesTotal, bytes.size());
    EXPECT_EQ(progress.fileNumber, 1u);
    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(readFile("big.bin"), bytes);
}

TEST_F(FileWorkerTest, AFileThatKeepsFailingSaysWhyInThePlayersLanguageUntilItChecksOut) {
    launcher().startFileSync({entry("missing", "missing.bin", "bytes", 1)});
    EXPECT_EQ(waitForStatus(launcher(), "Failed: not found (404)"), "Failed: not found (404)");
    launcher().stopWorkers();

    std::atomic<bool> good{false};
    serve("wrong", [&good](httplib::Response& response) {
        response.set_content(good ? "right bytes" : "wrong bytes", "application/octet-stream");
    });
    Launcher finglish(m_folder.path().string());
    finglish.setLanguage(Language::Finglish);
    finglish.setRetryDelays(20ms, 50ms);
    finglish.startFileSync({entry("wrong", "wrong.bin", "right bytes", 1)});
    EXPECT_EQ(waitForStatus(finglish, "Khata: checksum ghalat"), "Khata: checksum ghalat");
    good = true;
    ASSERT_TRUE(finglish.waitUntilAllDone(workerTimeout));
    EXPECT_EQ(finglish.statusText(), "Amade Bazi");
    EXPECT_EQ(readFile("wrong.bin"), "right bytes");
}

TEST_F(FileWorkerTest, TheFullGameWaitsForRoomBeforeItsFirstFileAndWritesNothing) {
    serveBytes("game", "game data");
    FileEntry huge = entry("game", "game.bin", "game data", 1, 1);
    huge.size = std::uint64_t{1} << 60; // more than any disk has free
    launcher().setFullGameDownload(true);
    launcher().startFileSync({huge});

    EXPECT_EQ(waitForStatus(launcher(), "Paused: disk full"), "Paused: disk full");
    EXPECT_TRUE(requests().empty());
    EXPECT_FALSE(fs::exists("game.bin"));
    // Waiting is not a download in progress: closing ends it at once.
    const auto before = std::chrono::steady_clock::now();
    launcher().stopWorkers();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

TEST_F(FileWorkerTest, PartialDownloadsNoLongerListedOrForAnotherChecksumAreRemovedAtStart) {
    const std::string bytes = "the listed file";
    const FileEntry listed = entry("kept", "kept.bin", bytes, 1);
    // Left by an earlier run: one for a file the list dropped, one begun for an older checksum, one still good.
    writeFile("gone.bin.varnhold-partial", "old");
    ASSERT_TRUE((ResumeRecord{url("gone"), md5Hex("old"), "\"v1\""}.save(platform::FullPath("gone.bin"))));
    writeFile("changed.bin.varnhold-partial", "old");
    ASSERT_TRUE((ResumeRecord{url("changed"), md5Hex("older"), "\"v1\""}.save(platform::FullPath("changed.bin"))));
    writeFile("kept.bin.varnhold-partial", "the ");
    ASSERT_TRUE((ResumeRecord{listed.URL, listed.checksum, "\"v1\""}.save(platform::FullPath("kept.bin"))));
    Gate kept;
    serveBytes("kept", bytes, &kept);
    serveBytes("changed", "new");

    // Optional, so that its own download does not begin beside the required one's while the test looks.
    launcher().startFileSync({listed, entry("changed", "changed.bin", "new", 0)});
    ASSERT_TRUE(kept.waitEntered());
    const bool goneRemoved = !fs::exists("gone.bin.varnhold-partial") && !fs::exists("gone.bin.varnhold-partial-info");
    const bool changedRemoved = !fs::exists("changed.bin.varnhold-partial");
    const bool keptThere = fs::exists("kept.bin.varnhold-partial");
    kept.open();
    EXPECT_TRUE(goneRemoved);
    EXPECT_TRUE(changedRemoved);
    EXPECT_TRUE(keptThere) << "the partial file of a listed entry with its checksum is what a resume goes on from";
    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    EXPECT_EQ(readFile("kept.bin"), bytes);
    EXPECT_EQ(readFile("changed.bin"), "new");
    EXPECT_FALSE(fs::exists("kept.bin.varnhold-partial"));
}

TEST_F(FileWorkerTest, AStopDuringManyTransfersLeavesNothingTornAndTheNextStartFinishes) {
    std::map<std::string, std::string> served;
    std::vector<FileEntry> files;
    for (int i = 0; i < 12; ++i) {
        const std::string location = "Data/small" + std::to_string(i) + ".bin";
        served[location] = std::string(200 * 1024, static_cast<char>('a' + i));
        files.push_back(entry("small" + std::to_string(i), location, served[location], 1));
    }
    std::string large(6 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7 / 5);
    served["Data/large.bin"] = large;
    files.insert(files.begin() + 3, entry("large", "Data/large.bin", large, 1));
    for (const auto& [location, bytes] : served)
        servePaced(fs::path(location).stem().string(), bytes);

    launcher().setConnections(4);
    launcher().startFileSync(files);
    DownloadProgress progress = launcher().downloadProgress();
    for (const auto until = std::chrono::steady_clock::now() + 5s;
         progress.bytesDone < 1024 * 1024 && std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(10ms);
        progress = launcher().downloadProgress();
    }
    launcher().stopWorkers();
    EXPECT_GE(progress.bytesDone, 1024u * 1024u) << "the downloads did not get going";
    EXPECT_FALSE(launcher().canPlay());
    expectNothingTorn(served);

    startWithCache(files);
    EXPECT_EQ(launcher().statusText(), "Ready to Play");
    for (const auto& [location, bytes] : served)
        EXPECT_TRUE(readFile(location) == bytes) << location;
    expectNothingTorn(served);
}

TEST_F(FileWorkerTest, AFailingFileAmongManyHoldsUpNoOther) {
    static constexpr int goodFiles[] = {0, 1, 3, 4, 6, 7};
    std::vector<FileEntry> files;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "f" + std::to_string(i);
        serveBytes(name, name + " bytes");
        files.push_back(entry(name, name + ".bin", name + " bytes", 1));
    }
    // One is missing on the server, one has other bytes than the list says.
    files[2] = entry("missing", "missing.bin", "bytes", 1);
    serveBytes("wrong", "wrong bytes");
    files[5] = entry("wrong", "wrong.bin", "right bytes", 1);
    launcher().startFileSync(files);

    const auto allIn = [] {
        return std::all_of(std::begin(goodFiles), std::end(goodFiles),
                           [](int i) { return fs::exists("f" + std::to_string(i) + ".bin"); });
    };
    for (const auto until = std::chrono::steady_clock::now() + 5s;
         !allIn() && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(10ms);
    for (const int i : goodFiles)
        EXPECT_EQ(readFile("f" + std::to_string(i) + ".bin"), "f" + std::to_string(i) + " bytes");
    EXPECT_EQ(waitForStatus(launcher(), "Failed: not found (404)"), "Failed: not found (404)");
    EXPECT_FALSE(fs::exists("missing.bin"));
    EXPECT_FALSE(fs::exists("wrong.bin"));
    EXPECT_FALSE(launcher().canPlay());
    // The retry comes after its pause, which on a slow machine may end after the other file's failure is shown.
    const auto askedForWrong = [this] {
        const std::vector<std::string> asked = requests();
        return std::count(asked.begin(), asked.end(), "wrong");
    };
    for (const auto until = std::chrono::steady_clock::now() + 5s;
         askedForWrong() < 2 && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(10ms);
    EXPECT_GE(askedForWrong(), 2) << "the wrong file is retried";
}

TEST_F(FileWorkerTest, TheMusicsFreshPartialFileOutlivesTheCleanUpAtStart) {
    const std::string track(64 * 1024, 'm');
    Gate answer;
    serveBytes("music", track, &answer);
    launcher().startMusicDownload(url("music"), "music.mp3", md5Hex(track));
    // The music worker has its partial file open and no record yet: the server has not answered.
    ASSERT_TRUE(answer.waitEntered());
    ASSERT_TRUE(fs::exists("music.mp3.varnhold-partial"));
    launcher().startFileSync({});
    ASSERT_TRUE(launcher().waitUntilAllDone(workerTimeout));
    answer.open();
    ASSERT_TRUE(launcher().waitForMusicWorker(workerTimeout));
    EXPECT_EQ(readFile("music.mp3"), track);
    const std::vector<std::string> asked = requests();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "music"), 1) << "the first download failed at its rename";
}

TEST_F(FileWorkerTest, FileWithTheListedMd5ButAnotherSha256IsDownloadedAgain) {
    using namespace testing_support;
    ASSERT_EQ(md5Hex(plantedTwin), twinsMd5);
    ASSERT_EQ(md5Hex(genuineTwin), twinsMd5);
    serveBytes("a", genuineTwin);
    writeSettled("a.bin", plantedTwin);
    FileEntry listed = entry("a", "a.bin", genuineTwin, 1);
    EXPECT_TRUE(startWithCache({listed}).empty()) << "by its MD5 alone the planted file passes";
    EXPECT_EQ(readFile("a.bin"), plantedTwin);

    // The record of that start vouches for the MD5 only: the SHA-256 is read from the file, and it tells.
    listed.sha256 = genuineTwinSha256;
    EXPECT_EQ(startWithCache({listed}), std::vector<std::string>{"a"});
    EXPECT_EQ(readFile("a.bin"), genuineTwin);
    EXPECT_TRUE(startWithCache({listed}).empty());
}

} // namespace
