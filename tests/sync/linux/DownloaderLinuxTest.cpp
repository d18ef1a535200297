// A download stopped while the name lookup hangs. The C library's resolver is replaced in this program for that,
// which only a system that resolves through an overridable libc symbol allows.
#include "sync/Downloader.hpp"

#include "support/TempFolder.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Lookups of this name hang like a slow DNS server until released.
constexpr const char* slowHost = "slow-lookup.invalid";
constexpr auto slowLookupTime = std::chrono::seconds(8);
std::atomic<bool> slowLookupRelease{false};

} // namespace

// Stands in for the C library's lookup in this program, libcurl's resolver thread included.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    if (node != nullptr && std::strcmp(node, slowHost) == 0) {
        const auto until = std::chrono::steady_clock::now() + slowLookupTime;
        while (!slowLookupRelease && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return EAI_NONAME;
    }
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, result);
}

namespace {

using namespace std::chrono_literals;

TEST(DownloaderLinuxTest, StopFlagEndsAHangingLookupWithinASecond) {
    const testing_support::TempFolder folder;
    StopFlag stop{false};
    std::chrono::steady_clock::time_point stoppedAt;
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stoppedAt = std::chrono::steady_clock::now();
        stop = true;
    });
    const DownloadResult result =
        DownloadToFile("http://" + std::string(slowHost) + "/body", (folder.path() / "file.bin").string(), stop);
    const auto returnedAt = std::chrono::steady_clock::now();
    stopper.join();
    slowLookupRelease = true;
    EXPECT_EQ(result.error, DownloadError::Stopped) << result.toString();
    EXPECT_LT(returnedAt - stoppedAt, 1s) << "closing must not wait for the resolver";
}

} // namespace
