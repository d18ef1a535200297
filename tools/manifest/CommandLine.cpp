// Hand-written option parsing: a dozen options do not justify a dependency.
#include "tools/manifest/CommandLine.hpp"

#include <charconv>

namespace {

constexpr unsigned maxThreads = 256;
constexpr unsigned maxValidDays = 3650;

enum class Kind { Flag, Value };

struct KnownOption {
    const char* longName;
    char shortName; // 0: none
    Kind kind;
};

constexpr KnownOption knownOptions[] = {
    {"help", 'h', Kind::Flag},          {"required", 0, Kind::Value},      {"game-data", 0, Kind::Value},
    {"exclude", 0, Kind::Value},        {"include-hidden", 0, Kind::Flag}, {"ignore-case", 0, Kind::Flag},
    {"forward-slashes", 0, Kind::Flag}, {"merge", 0, Kind::Value},         {"document", 0, Kind::Value},
    {"output", 'o', Kind::Value},       {"threads", 'j', Kind::Value},     {"quiet", 'q', Kind::Flag},
    {"sha256", 0, Kind::Flag},          {"sign", 0, Kind::Value},          {"serial", 0, Kind::Value},
    {"valid-days", 0, Kind::Value},
};

const KnownOption* findLong(std::string_view name) {
    for (const auto& option : knownOptions) {
        if (name == option.longName) {
            return &option;
        }
    }
    return nullptr;
}

const KnownOption* findShort(char name) {
    for (const auto& option : knownOptions) {
        if (option.shortName != 0 && option.shortName == name) {
            return &option;
        }
    }
    return nullptr;
}

// Applies one option; the text of a usage error, or empty.
std::string apply(ManifestOptions& options, std::string_view name, const std::string& value) {
    if (name == "help") {
        options.showHelp = true;
    } else if (name == "required") {
        options.required.push_back(value);
    } else if (name == "game-data") {
        options.gameData.push_back(value);
    } else if (name == "exclude") {
        options.excludes.push_back(value);
    } else if (name == "include-hidden") {
        options.includeHidden = true;
    } else if (name == "ignore-case") {
        options.ignoreCase = true;
    } else if (name == "forward-slashes") {
        options.forwardSlashes = true;
    } else if (name == "merge") {
        options.mergeFrom = value;
    } else if (name == "document") {
        options.documentPath = value;
    } else if (name == "output") {
        options.output = value;
    } else if (name == "threads") {
        unsigned threads = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), threads);
        if (error != std::errc() || end != value.data() + value.size() || threads == 0 || threads > maxThreads) {
            return "--threads needs a number from 1 to " + std::to_string(maxThreads) + ", not '" + value + "'";
        }
        options.threads = threads;
    } else if (name == "quiet") {
        options.quiet = true;
    } else if (name == "sha256") {
        options.sha256 = true;
    } else if (name == "sign") {
        if (value.empty())
            return "--sign needs minisign's secret key file";
        options.signingKey = value;
    } else if (name == "serial") {
        std::uint64_t serial = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), serial);
        if (error != std::errc() || end != value.data() + value.size() || value.empty())
            return "--serial needs a whole number, not '" + value + "'";
        options.serial = serial;
    } else if (name == "valid-days") {
        unsigned days = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), days);
        if (error != std::errc() || end != value.data() + value.size() || days == 0 || days > maxValidDays)
            return "--valid-days needs a number from 1 to " + std::to_string(maxValidDays) + ", not '" + value + "'";
        options.validDays = days;
    }
    if ((name == "required" || name == "game-data" || name == "exclude") && value.empty()) {
        return "--" + std::string(name) + " needs a pattern";
    }
    return {};
}

} // namespace

CommandLineResult parseCommandLine(const std::vector<std::string>& arguments) {
    ManifestOptions options;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const KnownOption* option = nullptr;
        std::optional<std::string> inlineValue;
        if (argument.starts_with("--")) {
            std::string_view name = std::string_view(argument).substr(2);
            if (const auto equals = name.find('='); equals != std::string_view::npos) {
                inlineValue = std::string(name.substr(equals + 1));
                name = name.substr(0, equals);
            }
            option = findLong(name);
        } else if (argument.size() >= 2) {
            option = findShort(argument[1]);
            if (argument.size() > 2) {
                inlineValue = argument.substr(2); // -ofile, -j4
            }
        }
        if (option == nullptr) {
            return {std::nullopt, "unknown option '" + argument + "'"};
        }
        std::string value;
        if (option->kind == Kind::Value) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return {std::nullopt, "option '" + argument + "' needs a value"};
            }
        } else if (inlineValue) {
            return {std::nullopt, "option '" + argument + "' takes no value"};
        }
        if (std::string error = apply(options, option->longName, value); !error.empty()) {
            return {std::nullopt, error};
        }
    }
    if (options.showHelp) {
        return {options, {}};
    }
    if (positional.size() != 2) {
        return {std::nullopt,
                "expected a FOLDER and a BASE_URL, got " + std::to_string(positional.size()) + " argument(s)"};
    }
    options.folder = positional[0];
    options.baseUrl = positional[1];
    if (!options.mergeFrom.empty() && !options.documentPath.empty()) {
        return {std::nullopt, "--merge and --document exclude each other"};
    }
    if (!options.documentPath.empty() && !options.output.empty()) {
        return {std::nullopt, "--document writes the document in place; it takes no -o"};
    }
    const bool toFile = !options.documentPath.empty() || (!options.output.empty() && options.output != "-");
    if (!options.signingKey.empty() && !toFile) {
        return {std::nullopt, "--sign puts the signature beside the document: give --document FILE or -o FILE"};
    }
    if (options.signingKey.empty() && (options.serial || options.validDays)) {
        return {std::nullopt, "--serial and --valid-days go with --sign"};
    }
    return {options, {}};
}

std::string helpText() {
    return R"(Usage: varnhold-manifest [OPTIONS] FOLDER BASE_URL

Scans FOLDER (the game files as they lie on the web server) and writes the
"files" array of the Varnhold launcher's server document: for every file its
download address, its MD5 checksum, its location in the game folder and its
"required" and "game_data" flags.

  FOLDER                the folder to scan; hidden names (starting with '.')
                        are skipped, folders linked by symbolic links are not
                        entered
  BASE_URL              the address under which FOLDER is served; must start
                        with http:// or https://. "URL" = BASE_URL + the
                        file's relative path, percent-encoded per segment
                        (spaces become %20, non-ASCII bytes %XX)

Choosing files and flags (GLOB matches the path relative to FOLDER, written
with '/' or '\': '*' and '?' stay within one folder, '**' crosses folders
("Data/**/*.MPQ" also matches "Data/a.MPQ"), [abc] [a-z] [!a] are classes):
  --required GLOB       give matching files "required": 1 (Play waits for
                        them); repeatable, other files get 0
  --game-data GLOB      give matching files "game_data": 1 (fetched only when
                        the player agreed to download the whole game);
                        repeatable
  --exclude GLOB        leave matching files out, and do not enter matching
                        folders; repeatable
  --include-hidden      also list names that start with '.'
  --ignore-case         match every GLOB without regard to letter case
  --forward-slashes     write "location" with '/' instead of Windows' '\'

Where the document goes (default: a new document with only "files", printed
on standard output):
  --merge FILE          read the server document FILE, replace its "files"
                        array and write the result to the output; every other
                        key keeps its value
  --document FILE       the same, but write FILE itself (created when absent)
  -o, --output FILE     write to FILE instead of standard output ("-" for
                        standard output); files are replaced atomically

Checksums and signing:
  --sha256              also write each file's SHA-256 ("sha256"); a launcher
                        built with a signing key checks it beside the MD5
  --sign KEY            sign the written document with minisign and its
                        secret key file KEY: the signature goes beside the
                        document as FILE.minisig (minisign asks for the key's
                        password); needs --document or -o
  --serial N            the signature's serial (default: the time in seconds
                        since 1970, which grows with every signing); a
                        launcher refuses a serial lower than one it has seen
  --valid-days N        days until the signature expires (default: 30)

Other:
  -j, --threads N       hash with N threads (default: one per CPU)
  -q, --quiet           no progress line and no summary on standard error
  -h, --help            show this text

Exit status: 0 done, 1 a file or folder could not be read or written (the
message says which), 2 a usage error.

Example:
  varnhold-manifest --required 'Data/*.MPQ' --required Wow.exe \
      --game-data 'Data/**' --exclude '**/*.log' --sha256 \
      --document /var/www/launcher/data.json --sign ~/.minisign/varnhold.key \
      /var/www/files https://files.example.org/varnhold/
)";
}
