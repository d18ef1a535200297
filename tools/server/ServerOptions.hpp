// Command-line options of varnhold-server and their parsing.
#pragma once

#include <string>
#include <vector>

inline constexpr int defaultServerPort = 8642;
inline constexpr int maxServerPort = 65535;
inline constexpr int maxDelayMs = 60 * 60 * 1000;
inline constexpr int maxRateKiBps = 10 * 1024 * 1024;

/// What one run of the server serves and how.
struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    int port = defaultServerPort; // 0: the system picks a free port
    std::string documentPath;     // answered to get_data.php, re-read at each request
    std::string signaturePath;    // answered to get_data.php.minisig, likewise; empty: "<documentPath>.minisig"
    std::string filesDir;         // empty: no game files are served
    std::string filesPrefix = "/files/";
    int delayMs = 0;    // wait before each file response starts
    int rateKiBps = 0;  // file body throttle in KiB per second; 0: as fast as possible
    bool quiet = false; // no line per request
    // How long a request head (request line and headers) may take from its first byte; then the connection closes.
    // Not an option of the command line: the tests shorten it.
    int headTimeMs = 10 * 1000;
};

/// The outcome of reading the command line: run with the options, print the usage, or stop with `message`.
struct ParsedOptions {
    enum class Action { Run, Help, Error };
    Action action = Action::Error;
    ServerOptions options;
    std::string message;
};

/// Reads the arguments that follow the program name. Accepts "--name value" and "--name=value".
[[nodiscard]] ParsedOptions parseServerOptions(const std::vector<std::string>& args);

/// The text that --help prints: every option, its default and an example.
[[nodiscard]] std::string serverUsage();
