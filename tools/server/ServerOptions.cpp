// Command-line parsing for varnhold-server: every value is checked here, so the server only sees sane options.
#include "tools/server/ServerOptions.hpp"

#include <charconv>
#include <optional>
#include <string_view>

namespace {

[[nodiscard]] std::optional<int> parseBoundedInt(std::string_view text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        return std::nullopt;
    return value;
}

// A prefix is matched against the decoded request path, so it must start and end with a slash.
[[nodiscard]] std::string normalisePrefix(std::string prefix) {
    if (prefix.empty() || prefix.front() != '/')
        prefix.insert(prefix.begin(), '/');
    if (prefix.back() != '/')
        prefix.push_back('/');
    return prefix;
}

[[nodiscard]] ParsedOptions failure(std::string message) {
    ParsedOptions parsed;
    parsed.action = ParsedOptions::Action::Error;
    parsed.message = std::move(message);
    return parsed;
}

} // namespace

ParsedOptions parseServerOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    parsed.action = ParsedOptions::Action::Run;
    ServerOptions& options = parsed.options;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }

        if (name == "--help" || name == "-h") {
            parsed.action = ParsedOptions::Action::Help;
            return parsed;
        }
        if (name == "--quiet" || name == "-q") {
            if (inlineValue)
                return failure("option " + name + " takes no value");
            options.quiet = true;
            continue;
        }

        const bool takesValue = name == "--port" || name == "--bind" || name == "--document" || name == "--files" ||
                                name == "--prefix" || name == "--delay-ms" || name == "--rate" || name == "--signature";
        if (!takesValue)
            return failure("unknown option '" + args[i] + "'");
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return failure("option " + name + " needs a value");
        }

        if (name == "--port") {
            const auto port = parseBoundedInt(value, 0, maxServerPort);
            if (!port)
                return failure("--port wants a number from 0 to " + std::to_string(maxServerPort) + ", not '" + value +
                               "'");
            options.port = *port;
        } else if (name == "--bind") {
            if (value.empty())
                return failure("--bind wants an address");
            options.bindAddress = value;
        } else if (name == "--document") {
            if (value.empty())
                return failure("--document wants a file");
            options.documentPath = value;
        } else if (name == "--signature") {
            if (value.empty())
                return failure("--signature wants a file");
            options.signaturePath = value;
        } else if (name == "--files") {
            if (value.empty())
                return failure("--files wants a folder");
            options.filesDir = value;
        } else if (name == "--prefix") {
            options.filesPrefix = normalisePrefix(value);
        } else if (name == "--delay-ms") {
            const auto delay = parseBoundedInt(value, 0, maxDelayMs);
            if (!delay)
                return failure("--delay-ms wants milliseconds from 0 to " + std::to_string(maxDelayMs) + ", not '" +
                               value + "'");
            options.delayMs = *delay;
        } else if (name == "--rate") {
            const auto rate = parseBoundedInt(value, 0, maxRateKiBps);
            if (!rate)
                return failure("--rate wants KiB per second from 0 to " + std::to_string(maxRateKiBps) + ", not '" +
                               value + "'");
            options.rateKiBps = *rate;
        }
    }

    if (options.documentPath.empty())
        return failure("--document FILE is required");
    return parsed;
}

std::string serverUsage() {
    return "Usage: varnhold-server --document FILE [--files DIR] [options]\n"
           "\n"
           "Serves a launcher server document and a folder of game files over HTTP, for trying a document\n"
           "before deploying it, for demos and for tests.\n"
           "\n"
           "Options:\n"
           "  --document FILE  JSON document answered to POST and GET /get_data.php (any query string).\n"
           "                   Read again at every request, so edits show at the launcher's next start;\n"
           "                   a document that cannot be read gives status 500. Required.\n"
           "  --signature FILE the document's minisign signature, answered to GET /get_data.php.minisig\n"
           "                   and read again at every request; 404 while it is missing.\n"
           "                   Default: the document's name with .minisig appended\n"
           "  --files DIR      folder of game files served under the prefix, with Range support.\n"
           "                   Nothing outside DIR is ever served. Default: no files.\n"
           "  --prefix PATH    URL path under which DIR is served. Default: /files/\n"
           "  --bind ADDR      address to listen on. Default: 127.0.0.1 (this machine only);\n"
           "                   0.0.0.0 lets other machines connect.\n"
           "  --port N         port to listen on; 0 picks a free one (the first line printed names it).\n"
           "                   Default: 8642\n"
           "  --delay-ms N     wait N milliseconds before each file response starts. Default: 0\n"
           "  --rate KBPS      send file bodies at most KBPS KiB per second; 0 = unlimited. Default: 0\n"
           "  --quiet, -q      do not print a line per request.\n"
           "  --help, -h       print this text.\n"
           "\n"
           "The first line printed is \"varnhold-server: listening on http://ADDR:PORT/ ...\". SIGINT or SIGTERM\n"
           "stops the server (exit 0).\n"
           "\n"
           "Example:\n"
           "  varnhold-server --document server.json --files ./gamefiles --port 8642 --rate 512\n"
           "  then give the launcher http://127.0.0.1:8642/ and list files as http://127.0.0.1:8642/files/...\n";
}
