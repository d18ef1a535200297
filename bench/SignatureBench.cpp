// What a signing key adds to start-up for a 1 MB server document: start-up with a key (the request, the signature's
// request beside it over the same connection, the check, the parse) against start-up without one (the request and the
// parse), in the same run against a local varnhold-server. Target: under 5 ms added.
#include "net/DocumentTrust.hpp"
#include "net/ServerRequest.hpp"

#include "bench/SyncBenchSupport.hpp"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t documentBytes = 1000 * 1000;
constexpr int rounds = 41;
constexpr double targetMs = 5.0;

// A document as a large community sends it: a long file list, about 1 MB.
std::string makeDocument() {
    std::string text = "{\"lang\": \"en\", \"version\": 3, \"files\": [\n";
    for (int i = 0; text.size() < documentBytes; ++i) {
        text += "  {\"URL\": \"https://files.varnhold.example/Data/patch-" + std::to_string(i) +
                ".MPQ\", \"checksum\": \"0123456789abcdef0123456789abcdef\", \"sha256\": "
                "\"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef\", \"location\": \"Data\\\\patch-" +
                std::to_string(i) + ".MPQ\", \"required\": 0, \"game_data\": 1, \"size\": 1234567},\n";
    }
    text += "  {\"URL\": \"\", \"location\": \"\"}]}\n";
    return text;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double milliseconds(double seconds) {
    return seconds * 1000.0;
}

} // namespace

int main() {
    const bench_support::BenchFolder scratch;
    if (scratch.path().empty()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    const fs::path& folder = scratch.path();
    const fs::path document = folder / "get_data.json";
    const std::string text = makeDocument();
    std::ofstream(document, std::ios::binary) << text;
    const std::string quoted = "'" + folder.string() + "/";
    const std::string commands = "minisign -G -W -p " + quoted + "key.pub' -s " + quoted + "key.sec' >/dev/null && " +
                                 "minisign -S -s " + quoted + "key.sec' -m " + quoted +
                                 "get_data.json' -t 'serial=1 expires=2099-01-01T00:00:00Z' >/dev/null";
    if (std::system(commands.c_str()) != 0) {
        std::fprintf(stderr, "minisign could not make a key and sign (is it installed?)\n");
        return 1;
    }
    std::ifstream keyFile(folder / "key.pub");
    std::stringstream keyText;
    keyText << keyFile.rdbuf();

    const std::unique_ptr<LauncherServer> server = bench_support::startBundledServer(folder, document);
    if (!server) {
        std::fprintf(stderr, "varnhold-server did not start\n");
        return 1;
    }
    SigningPolicy policy;
    policy.keys = {parseMinisignKey(keyText.str()).value_or(MinisignKey{})};
    policy.required = true;
    policy.seenSerialFile = (folder / "serial.txt").string();

    // Rounds alternate, so a busy machine slows both alike. The check alone is timed too: beside a start-up of tens of
    // milliseconds on a loaded loopback, the difference of the two is the noisier figure.
    std::vector<double> plain, keyed, check;
    bool allVerified = true;
    for (int round = 0; round <= rounds; ++round) {
        const double plainSeconds = bench_support::secondsTaken([&] {
            const std::optional<ServerReply> reply = fetchServerReply(server->baseUrl());
            const JsonValue parsed = JsonValue::parse(reply ? reply->body : std::string());
        });
        std::optional<ServerReply> reply;
        const double keyedSeconds = bench_support::secondsTaken([&] {
            reply = fetchServerReply(server->baseUrl(), {}, SignatureFetch::Yes);
            allVerified = allVerified && reply &&
                          verifyServerDocument(reply->body, reply->signature, policy, std::chrono::system_clock::now())
                              .verified();
            const JsonValue parsed = JsonValue::parse(reply ? reply->body : std::string());
        });
        const double checkSeconds = bench_support::secondsTaken([&] {
            allVerified = allVerified && reply &&
                          verifyServerDocument(reply->body, reply->signature, policy, std::chrono::system_clock::now())
                              .verified();
        });
        // The first round warms the connection's and the allocator's caches.
        if (round == 0)
            continue;
        plain.push_back(plainSeconds);
        keyed.push_back(keyedSeconds);
        check.push_back(checkSeconds);
    }
    server->stop();
    if (!allVerified) {
        std::fprintf(stderr, "the document did not verify\n");
        return 1;
    }

    const double addedMs = milliseconds(median(keyed) - median(plain));
    const auto best = [](const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); };
    // A missed target on a machine busy with other work says little: the load goes with the figures.
    double load[1] = {0.0};
    static_cast<void>(getloadavg(load, 1));
    std::printf("document: %zu bytes, %d rounds, load average %.2f\n", text.size(), rounds, load[0]);
    std::printf("start-up without a key (request, parse):                median %.2f ms, best %.2f ms\n",
                milliseconds(median(plain)), milliseconds(best(plain)));
    std::printf("start-up with a key (request, signature, check, parse): median %.2f ms, best %.2f ms\n",
                milliseconds(median(keyed)), milliseconds(best(keyed)));
    std::printf("the check alone (BLAKE2b-512, two Ed25519 checks, serial record): median %.2f ms, best %.2f ms\n",
                milliseconds(median(check)), milliseconds(best(check)));
    std::printf("added by the key: %.2f ms (target < %.0f ms); time ratio with/without %.3f\n", addedMs, targetMs,
                median(keyed) / median(plain));
    return addedMs < targetMs ? 0 : 1;
}
