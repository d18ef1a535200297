// minisign runs as a child with the tool's own terminal, so a key with a password can ask for it; the document's
// bytes are signed from a temporary copy, so the web root never holds an unsigned or half-signed pair.
#include "tools/manifest/DocumentSigning.hpp"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern char** environ;

namespace {

constexpr const char* minisignProgram = "minisign";

// A folder of this run's own (mkdtemp), removed with everything in it when the object goes away.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code error;
        std::string pattern = (std::filesystem::temp_directory_path(error) / "varnhold-manifest-XXXXXX").string();
        if (!error && ::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The exit status of `arguments` run as a child; -1 with `error` set when it could not be started.
int run(std::vector<std::string> arguments, int& error) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error != 0)
        return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::string minisignCommand(const std::string& keyFile, const std::string& document, const std::string& comment) {
    return std::string(minisignProgram) + " -S -s " + quoted(keyFile) + " -m " + quoted(document) + " -t " +
           quoted(comment);
}

SignResult signWithMinisign(const std::string& text, const std::string& keyFile, const std::string& comment) {
    SignResult result;
    const ScratchFolder scratch;
    if (scratch.path().empty()) {
        result.error = "cannot make a temporary folder to sign in";
        return result;
    }
    const std::filesystem::path document = scratch.path() / "document.json";
    const std::filesystem::path signature = scratch.path() / "document.json.minisig";
    std::ofstream(document, std::ios::binary) << text;
    int error = 0;
    const int status =
        run({minisignProgram, "-S", "-s", keyFile, "-m", document.string(), "-x", signature.string(), "-t", comment},
            error);
    if (status == -1 && error == ENOENT) {
        result.minisignMissing = true;
        result.error = "minisign is not installed";
        return result;
    }
    if (status != 0) {
        result.error =
            status == -1 ? std::string("cannot run minisign: ") + std::strerror(error)
                         : "minisign could not sign with " + keyFile + " (exit status " + std::to_string(status) + ")";
        return result;
    }
    std::ifstream in(signature, std::ios::binary);
    result.signature.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    result.ok = !result.signature.empty();
    if (!result.ok)
        result.error = "minisign wrote no signature";
    return result;
}
