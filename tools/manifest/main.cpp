// varnhold-manifest: from a folder of game files on a web server to the server document's "files" array.
#include "net/DocumentTrust.hpp"
#include "tools/manifest/AtomicFile.hpp"
#include "tools/manifest/CommandLine.hpp"
#include "tools/manifest/DocumentSigning.hpp"
#include "tools/manifest/FolderScan.hpp"
#include "tools/manifest/HashPool.hpp"
#include "tools/manifest/ManifestDocument.hpp"
#include "tools/manifest/ManifestEntry.hpp"
#include "tools/manifest/ProgressLine.hpp"
#include "tools/manifest/UrlPath.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <numeric>

namespace {

constexpr int exitOk = 0;
constexpr int exitIoError = 1;
constexpr int exitUsage = 2;
constexpr const char* programName = "varnhold-manifest";

int usageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", programName, message.c_str(), programName);
    return exitUsage;
}

int ioError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", programName, message.c_str());
    return exitIoError;
}

std::vector<GlobPattern> compile(const std::vector<std::string>& patterns, bool ignoreCase) {
    std::vector<GlobPattern> compiled;
    compiled.reserve(patterns.size());
    for (const auto& pattern : patterns) {
        compiled.emplace_back(pattern, ignoreCase);
    }
    return compiled;
}

bool writeToStdout(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

int run(const std::vector<std::string>& arguments) {
    const CommandLineResult parsed = parseCommandLine(arguments);
    if (!parsed.options) {
        return usageError(parsed.error);
    }
    const ManifestOptions& options = *parsed.options;
    if (options.showHelp) {
        return writeToStdout(helpText()) ? exitOk : exitIoError;
    }
    const BaseUrlCheck base = checkBaseUrl(options.baseUrl);
    if (!base.url) {
        return usageError(base.reason + ": '" + options.baseUrl + "'");
    }

    // The document is read before the long hashing run, so a broken one is reported at once.
    std::optional<JsonValue> document = JsonValue::make(JsonType::Object);
    const std::string& documentIn = !options.documentPath.empty() ? options.documentPath : options.mergeFrom;
    if (!documentIn.empty()) {
        DocumentLoad load = loadManifestDocument(documentIn, !options.documentPath.empty());
        if (!load.document) {
            return ioError(load.error);
        }
        document = std::move(load.document);
    }
    const std::string outputPath = !options.documentPath.empty() ? options.documentPath
                                   : options.output == "-"       ? std::string()
                                                                 : options.output;

    ScanOptions scan;
    scan.excludes = compile(options.excludes, options.ignoreCase);
    scan.includeHidden = options.includeHidden;
    // The document must not list itself when it is written into the folder it describes.
    for (const std::string* own : {&outputPath, &options.mergeFrom}) {
        if (!own->empty()) {
            scan.skipPaths.emplace_back(*own);
        }
    }
    const ScanResult scanned = scanFolder(options.folder, scan);
    if (!scanned.ok) {
        return ioError(scanned.error);
    }
    for (const auto& warning : scanned.warnings) {
        std::fprintf(stderr, "%s: warning: %s\n", programName, warning.c_str());
    }

    const std::uint64_t totalBytes =
        std::accumulate(scanned.files.begin(), scanned.files.end(), std::uint64_t{0},
                        [](std::uint64_t sum, const ScannedFile& file) { return sum + file.size; });
    ProgressLine progress(stderr, !options.quiet && ::isatty(STDERR_FILENO) == 1, scanned.files.size(), totalBytes);
    HashPoolOptions pool;
    pool.threads = options.threads;
    pool.withSha256 = options.sha256;
    pool.onTick = [&progress](const HashProgress& counters) { progress.update(counters); };
    HashPoolResult hashed = hashFiles(scanned.files, pool);
    progress.finish();
    if (!hashed.ok) {
        return ioError(hashed.error);
    }

    ManifestRules rules;
    rules.baseUrl = *base.url;
    rules.required = compile(options.required, options.ignoreCase);
    rules.gameData = compile(options.gameData, options.ignoreCase);
    rules.separator = options.forwardSlashes ? '/' : '\\';
    std::vector<ManifestEntry> entries;
    entries.reserve(scanned.files.size());
    int requiredCount = 0;
    int gameDataCount = 0;
    for (std::size_t i = 0; i < scanned.files.size(); ++i) {
        entries.push_back(makeManifestEntry(scanned.files[i], std::move(hashed.checksums[i]), rules));
        if (options.sha256)
            entries.back().sha256 = std::move(hashed.sha256s[i]);
        requiredCount += entries.back().required;
        gameDataCount += entries.back().gameData;
    }

    const std::string text = writeManifestDocument(*document, entries);
    if (!options.signingKey.empty()) {
        // Signed before anything is written: a key that fails leaves the served document and signature as they were.
        const std::int64_t now =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        constexpr std::int64_t secondsPerDay = 24 * 60 * 60;
        const std::string comment =
            freshnessComment({options.serial.value_or(static_cast<std::uint64_t>(now)),
                              now + secondsPerDay * options.validDays.value_or(defaultValidDays)});
        const SignResult signature = signWithMinisign(text, options.signingKey, comment);
        if (signature.minisignMissing) {
            return ioError("minisign is not installed (Debian: apt install minisign), so nothing was written. "
                           "Without --sign the document is written unsigned; sign it then with\n  " +
                           minisignCommand(options.signingKey, outputPath, comment));
        }
        if (!signature.ok) {
            return ioError(signature.error + "; nothing was written");
        }
        if (const WriteResult written = writeFileAtomically(outputPath, text); !written.ok) {
            return ioError(written.error);
        }
        if (const WriteResult written = writeFileAtomically(outputPath + ".minisig", signature.signature);
            !written.ok) {
            return ioError(written.error);
        }
    } else if (outputPath.empty()) {
        if (!writeToStdout(text)) {
            return ioError("cannot write to standard output");
        }
    } else if (const WriteResult written = writeFileAtomically(outputPath, text); !written.ok) {
        return ioError(written.error);
    }
    if (!options.quiet) {
        std::fprintf(stderr, "%s: %zu files (%.1f MiB), %d required, %d game data, written to %s%s\n", programName,
                     entries.size(), static_cast<double>(totalBytes) / (1024.0 * 1024.0), requiredCount, gameDataCount,
                     outputPath.empty() ? "standard output" : outputPath.c_str(),
                     options.signingKey.empty() ? "" : ", signed beside it");
    }
    return exitOk;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        // Only resource exhaustion (memory, threads) gets here; the expected failures come back as values.
        return ioError(error.what());
    }
}
