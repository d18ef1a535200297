// Fetches the server document with the one POST the launcher sends to its server, and its signature beside it.
#include "net/ServerRequest.hpp"

#include "net/BuildConfig.hpp"
#include "net/Curl.hpp"
#include "net/Minisign.hpp"
#include "platform/CloseRequests.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <random>

namespace {

constexpr int maxQueryNumber = 32767; // what the server has always seen: rand()'s range on the original platform
constexpr long firstSuccessStatus = 200;
constexpr long firstNonSuccessStatus = 300;
// The document and the program that Play starts come from this server: nothing but the web's two schemes.
constexpr const char* allowedProtocols = "http,https";
// The signature file lies beside the document under its name and this suffix, as minisign writes it.
constexpr const char* signatureSuffix = ".minisig";

// Runs started within the same second send the same number: the seed is the time in whole seconds, so a caching
// proxy in front of the server sees a fresh address at most once a second.
std::string queryNumber() {
    std::minstd_rand engine(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
    std::uniform_int_distribution<int> pick(0, maxQueryNumber);
    return std::to_string(pick(engine));
}

struct Reply {
    std::size_t maxBytes;
    std::string body;
    std::optional<std::string> signature; // the signature header's value, as sent
};

std::size_t receiveReply(char* data, std::size_t size, std::size_t count, void* user) {
    auto* reply = static_cast<Reply*>(user);
    const std::size_t bytes = size * count;
    // A reply without a length that grows past the cap ends here (libcurl reports a write error).
    if (bytes > reply->maxBytes - reply->body.size())
        return 0;
    reply->body.append(data, bytes);
    return bytes;
}

std::size_t receiveHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* reply = static_cast<Reply*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    const std::string_view name = signatureHeader;
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    if (line.size() > name.size() && line[name.size()] == ':' &&
        std::equal(name.begin(), name.end(), line.begin(), sameLetter)) {
        std::string_view value = line.substr(name.size() + 1);
        const std::size_t first = value.find_first_not_of(" \t");
        value = first == std::string_view::npos ? std::string_view() : value.substr(first);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
            value.remove_suffix(1);
        reply->signature = std::string(value);
    }
    return bytes;
}

// A launcher being closed during start-up gives up the request at once.
int checkClose(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return platform::CloseRequested() ? 1 : 0;
}

// One exchange with the launcher server over `handle`: the document's POST or the signature's GET. The reply when
// the status was 2xx. The handle keeps its connection from one exchange to the next.
std::optional<Reply> exchange(CURL* handle, const std::string& url, bool post, std::size_t maxBytes,
                              const ServerRequestOptions& options) {
    const curl::HeaderList headers(curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"));
    Reply reply{maxBytes, {}, {}};

    curl_easy_reset(handle);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, allowedProtocols);
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl::setUserAgent(handle);
    if (post) {
        // One POST with no fields, though it declares the form type: what the server has always been sent.
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, "");
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, 0L);
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    }
    // A server that takes the connection and never answers must not hold start-up for ever with no window and no
    // box: the whole exchange has a time limit, after which it counts as unreachable.
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, options.caFile.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receiveReply);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &reply);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkClose);

    if (curl_easy_perform(handle) != CURLE_OK)
        return std::nullopt;
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < firstSuccessStatus || status >= firstNonSuccessStatus)
        return std::nullopt;
    return reply;
}

} // namespace

ServerAddress parseServerAddress(const std::string& baseAddress) {
    ServerAddress result;
    std::string_view rest = baseAddress;
    std::string scheme = "http://";
    if (const auto schemeEnd = rest.find("://"); schemeEnd != std::string_view::npos) {
        scheme = std::string(rest.substr(0, schemeEnd + 3));
        rest.remove_prefix(schemeEnd + 3);
    }
    rest = rest.substr(0, rest.find('/'));
    std::string_view host = rest;
    // A port after the last ':' (outside an IPv6 bracket) must reach that port.
    if (const auto colon = rest.rfind(':');
        colon != std::string_view::npos && rest.find(']', colon) == std::string_view::npos) {
        const std::string_view portText = rest.substr(colon + 1);
        unsigned int port = 0;
        const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (error != std::errc{} || end != portText.data() + portText.size() || port == 0 || port > 65535)
            return {};
        result.port = static_cast<unsigned short>(port);
        host = rest.substr(0, colon);
    }
    if (host.empty())
        return {};
    result.host = scheme + std::string(host);
    return result;
}

const std::string& ServerBaseAddress() {
    static const std::string address = build::serverUrl;
    return address;
}

std::optional<ServerReply> fetchServerReply(const std::string& baseAddress, const ServerRequestOptions& options,
                                            SignatureFetch signature) {
    const ServerAddress address = parseServerAddress(baseAddress);
    if (address.host.empty() || curl::initialiseOnce())
        return std::nullopt;
    const curl::EasyHandle easy(curl_easy_init());
    if (!easy)
        return std::nullopt;
    std::string url = address.host;
    if (address.port != 0)
        url += ":" + std::to_string(address.port);
    url += "/get_data.php?" + queryNumber();
    std::optional<Reply> reply = exchange(easy.get(), url, true, options.maxBodyBytes, options);
    if (!reply)
        return std::nullopt;
    ServerReply result{std::move(reply->body), std::nullopt, std::move(url)};
    if (signature == SignatureFetch::No)
        return result;
    if (reply->signature) {
        // A header that holds no signature file is a bad signature, not a missing one: nothing else is asked for.
        result.signature = decodeBase64(*reply->signature).value_or(std::string());
        return result;
    }
    // The same address, query number and all, so a cache between launcher and server gives a fresh one too; over the
    // same connection, so an https server is not shaken hands with twice.
    std::string signatureUrl = result.url;
    signatureUrl.insert(std::min(signatureUrl.find('?'), signatureUrl.size()), signatureSuffix);
    if (std::optional<Reply> beside = exchange(easy.get(), signatureUrl, false, maxMinisignFileBytes, options))
        result.signature = std::move(beside->body);
    return result;
}

bool fetchServerData(JsonValue& serverData, const std::string& baseAddress, const ServerRequestOptions& options) {
    std::optional<ServerReply> reply = fetchServerReply(baseAddress, options);
    if (!reply)
        return false;
    serverData = JsonValue::parse(reply->body);
    return true;
}
