// minisign's formats: a public key is "Ed" + key id + Ed25519 key in base64; a signature file is four lines, an
// untrusted comment, "ED" or "Ed" + key id + signature in base64, the trusted comment, and the global signature over
// the signature and the trusted comment.
#include "net/Minisign.hpp"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::string_view untrustedPrefix = "untrusted comment:";
constexpr std::string_view trustedPrefix = "trusted comment: ";
constexpr std::string_view keyAlgorithm = "Ed";
constexpr std::string_view prehashedAlgorithm = "ED"; // Ed25519 over the BLAKE2b-512 of the bytes
constexpr std::string_view legacyAlgorithm = "Ed";    // Ed25519 over the bytes themselves
constexpr std::size_t algorithmSize = 2;
constexpr std::size_t keyIdSize = 8;
constexpr std::size_t keySize = algorithmSize + keyIdSize + std::tuple_size_v<platform::Ed25519PublicKey>;
constexpr std::size_t signatureSize = std::tuple_size_v<platform::Ed25519Signature>;
constexpr std::size_t signatureLineSize = algorithmSize + keyIdSize + signatureSize;
constexpr std::size_t signatureFileLines = 4;

constexpr int notBase64 = -1;
constexpr int padding = -2;

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return c == '=' ? padding : notBase64;
}

// The file's lines without their line ends; a file from Windows may end them with "\r\n".
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

template <std::size_t N> bool copyBytes(std::string_view from, std::array<std::uint8_t, N>& to) {
    if (from.size() != N)
        return false;
    std::memcpy(to.data(), from.data(), N);
    return true;
}

// The parts of a signature file, before anything is checked.
struct SignatureFile {
    std::string algorithm;
    std::array<std::uint8_t, keyIdSize> keyId{};
    platform::Ed25519Signature signature{};
    std::string trustedComment;
    platform::Ed25519Signature globalSignature{};
};

std::optional<SignatureFile> parseSignatureFile(std::string_view text) {
    if (text.size() > maxMinisignFileBytes)
        return std::nullopt;
    std::vector<std::string_view> lines = linesOf(text);
    // Nothing but the one line end of the last line may follow the four lines.
    while (lines.size() > signatureFileLines && lines.back().empty())
        lines.pop_back();
    if (lines.size() != signatureFileLines || !lines[0].starts_with(untrustedPrefix) ||
        !lines[2].starts_with(trustedPrefix))
        return std::nullopt;
    const std::optional<std::string> signatureLine = decodeBase64(lines[1]);
    const std::optional<std::string> globalLine = decodeBase64(lines[3]);
    if (!signatureLine || signatureLine->size() != signatureLineSize || !globalLine)
        return std::nullopt;
    SignatureFile file;
    file.algorithm = signatureLine->substr(0, algorithmSize);
    if (file.algorithm != prehashedAlgorithm && file.algorithm != legacyAlgorithm)
        return std::nullopt;
    const std::string_view rest = std::string_view(*signatureLine).substr(algorithmSize);
    if (!copyBytes(rest.substr(0, keyIdSize), file.keyId) || !copyBytes(rest.substr(keyIdSize), file.signature) ||
        !copyBytes(std::string_view(*globalLine), file.globalSignature))
        return std::nullopt;
    file.trustedComment = std::string(lines[2].substr(trustedPrefix.size()));
    return file;
}

} // namespace

std::string MinisignKey::idText() const {
    // minisign reads the id as a little-endian number and prints it in hex.
    constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
        text += digits[*byte >> 4];
        text += digits[*byte & 0xF];
    }
    return text;
}

std::optional<MinisignKey> parseMinisignKey(std::string_view text) {
    std::optional<std::string_view> keyLine;
    for (const std::string_view line : linesOf(text)) {
        if (line.empty() || line.starts_with(untrustedPrefix))
            continue;
        if (keyLine)
            return std::nullopt;
        keyLine = line;
    }
    if (!keyLine)
        return std::nullopt;
    const std::optional<std::string> bytes = decodeBase64(*keyLine);
    if (!bytes || bytes->size() != keySize || !bytes->starts_with(keyAlgorithm))
        return std::nullopt;
    MinisignKey key;
    const std::string_view rest = std::string_view(*bytes).substr(algorithmSize);
    if (!copyBytes(rest.substr(0, keyIdSize), key.id) || !copyBytes(rest.substr(keyIdSize), key.key))
        return std::nullopt;
    return key;
}

MinisignCheck checkMinisignSignature(std::string_view bytes, std::string_view signatureFile,
                                     const std::vector<MinisignKey>& keys) {
    MinisignCheck check;
    const std::optional<SignatureFile> file = parseSignatureFile(signatureFile);
    if (!file)
        return check;
    MinisignKey named;
    named.id = file->keyId;
    check.keyId = named.idText();
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const MinisignKey& k) { return k.id == file->keyId; });
    if (key == keys.end()) {
        check.problem = MinisignProblem::UnknownKey;
        return check;
    }
    bool bytesSigned = false;
    if (file->algorithm == prehashedAlgorithm) {
        const std::optional<platform::Blake2b512Hash> digest = platform::Blake2b512(bytes);
        bytesSigned =
            digest && platform::VerifyEd25519(
                          key->key, std::string_view(reinterpret_cast<const char*>(digest->data()), digest->size()),
                          file->signature);
    } else {
        bytesSigned = platform::VerifyEd25519(key->key, bytes, file->signature);
    }
    if (!bytesSigned) {
        check.problem = MinisignProblem::BadSignature;
        return check;
    }
    // The global signature covers the signature and the trusted comment together: neither can be swapped alone.
    std::string global(reinterpret_cast<const char*>(file->signature.data()), file->signature.size());
    global += file->trustedComment;
    if (!platform::VerifyEd25519(key->key, global, file->globalSignature)) {
        check.problem = MinisignProblem::BadTrustedComment;
        return check;
    }
    check.problem = MinisignProblem::None;
    check.trustedComment = file->trustedComment;
    return check;
}

std::optional<std::string> decodeBase64(std::string_view text) {
    constexpr std::size_t groupSize = 4;
    if (text.empty() || text.size() % groupSize != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / groupSize * 3);
    for (std::size_t at = 0; at < text.size(); at += groupSize) {
        const bool last = at + groupSize == text.size();
        int values[groupSize];
        int pads = 0;
        for (std::size_t i = 0; i < groupSize; ++i) {
            values[i] = base64Value(text[at + i]);
            if (values[i] == notBase64)
                return std::nullopt;
            if (values[i] == padding) {
                // Padding only at the very end, at most two, and nothing but padding after it.
                if (!last || i < 2)
                    return std::nullopt;
                ++pads;
                values[i] = 0;
            } else if (pads > 0) {
                return std::nullopt;
            }
        }
        const auto group = static_cast<std::uint32_t>(values[0] << 18 | values[1] << 12 | values[2] << 6 | values[3]);
        bytes += static_cast<char>(group >> 16 & 0xFF);
        if (pads < 2)
            bytes += static_cast<char>(group >> 8 & 0xFF);
        if (pads < 1)
            bytes += static_cast<char>(group & 0xFF);
    }
    return bytes;
}
