// The seen-serial record: three lines, a header, the serial and the SHA-256 of the two, so that a truncated or
// damaged file is recognised and read as no record rather than as some other number.
#include "net/SeenSerial.hpp"

#include "platform/Crypto.hpp"
#include "platform/FileSystem.hpp"
#include "platform/InputFile.hpp"
#include "platform/PartFile.hpp"
#include "platform/UserCacheFolder.hpp"

#include <charconv>
#include <optional>
#include <string_view>

namespace {

constexpr std::string_view headerLine = "varnhold-serial 1\n";
constexpr const char* cacheSubfolder = "/varnhold-launcher";
constexpr const char* separators = "/\\";
// A few dozen bytes when sound; a larger file is not ours.
constexpr std::size_t maxRecordBytes = 256;
// Enough of the address's digest to keep two servers' records apart.
constexpr std::size_t fileNameDigits = 16;

std::string sha256Of(std::string_view text) {
    platform::Sha256Digest digest;
    if (!digest.update(text.data(), text.size()))
        return {};
    return digest.hex();
}

std::optional<std::string> readSmallFile(const std::string& path) {
    int error = 0;
    std::optional<platform::InputFile> file = platform::InputFile::open(path, error);
    if (!file || !file->isRegular())
        return std::nullopt;
    std::string bytes(maxRecordBytes + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        const long long got = file->read(bytes.data() + used, bytes.size() - used);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        used += static_cast<std::size_t>(got);
        if (used > maxRecordBytes)
            return std::nullopt;
    }
    bytes.resize(used);
    return bytes;
}

} // namespace

std::string seenSerialFile(const std::string& serverAddress) {
    const std::string cacheFolder = platform::UserCacheFolder();
    const std::string digest = sha256Of(serverAddress);
    if (cacheFolder.empty() || digest.empty())
        return {};
    // One record per server: two communities' launchers on one account keep their serials apart.
    return cacheFolder + cacheSubfolder + "/serial-" + digest.substr(0, fileNameDigits) + ".txt";
}

std::uint64_t readSeenSerial(const std::string& file) {
    const std::optional<std::string> bytes = readSmallFile(file);
    if (!bytes || !bytes->starts_with(headerLine))
        return 0;
    const std::string_view text = *bytes;
    const std::size_t serialEnd = text.find('\n', headerLine.size());
    if (serialEnd == std::string_view::npos)
        return 0;
    const std::string_view body = text.substr(0, serialEnd + 1);
    if (text.substr(serialEnd + 1) != sha256Of(body) + "\n")
        return 0;
    const std::string_view serialText = body.substr(headerLine.size(), serialEnd - headerLine.size());
    std::uint64_t serial = 0;
    const auto [end, error] = std::from_chars(serialText.data(), serialText.data() + serialText.size(), serial);
    if (error != std::errc() || end != serialText.data() + serialText.size() || serialText.empty())
        return 0;
    return serial;
}

bool writeSeenSerial(const std::string& file, std::uint64_t serial) {
    if (file.empty())
        return false;
    // The record's folder, and the cache folder above it, may not exist yet on a new account.
    if (const std::size_t cut = file.find_last_of(separators); cut != std::string::npos && cut > 0) {
        const std::string folder = file.substr(0, cut);
        if (const std::size_t up = folder.find_last_of(separators); up != std::string::npos && up > 0)
            (void)platform::CreateDirectory(folder.substr(0, up));
        (void)platform::CreateDirectory(folder);
    }
    std::string text = std::string(headerLine) + std::to_string(serial) + "\n";
    text += sha256Of(text) + "\n";
    std::string error;
    // Durable: after a power cut the record holds the old serial or the new one, never nothing at all.
    std::optional<platform::PartFile> out = platform::PartFile::create(file, error, {.durable = true});
    return out && out->append(text.data(), text.size()) && out->commit();
}
