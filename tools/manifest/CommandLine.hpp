// The command line of varnhold-manifest: its options, their parsing and the help text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// How long a signature holds when --valid-days does not say: a month, re-signed well before it ends.
inline constexpr unsigned defaultValidDays = 30;

struct ManifestOptions {
    std::string folder;
    std::string baseUrl; // as given; checked by checkBaseUrl
    std::vector<std::string> required;
    std::vector<std::string> gameData;
    std::vector<std::string> excludes;
    bool includeHidden = false;
    bool ignoreCase = false;
    bool forwardSlashes = false;
    std::string mergeFrom;               // --merge: read this document, write to the output
    std::string documentPath;            // --document: read and write this document in place
    std::string output;                  // -o: empty or "-" for standard output
    unsigned threads = 0;                // 0: one per hardware thread
    bool sha256 = false;                 // each file's SHA-256 beside its MD5
    std::string signingKey;              // --sign: minisign's secret key file; empty: the document is not signed
    std::optional<std::uint64_t> serial; // the signature's serial; none: the time in seconds
    std::optional<unsigned> validDays;   // until the signature expires; none: defaultValidDays
    bool quiet = false;
    bool showHelp = false;
};

struct CommandLineResult {
    std::optional<ManifestOptions> options;
    std::string error; // a usage error, when there are no options
};

/// Parses the arguments after the program name. "--name=value" and "--name value" are both accepted.
[[nodiscard]] CommandLineResult parseCommandLine(const std::vector<std::string>& arguments);

/// The text that --help prints.
[[nodiscard]] std::string helpText();
