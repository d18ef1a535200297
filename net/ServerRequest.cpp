// Fetches the server document with the one POST the launcher sends to its server.
#include "net/ServerRequest.hpp"

#include "net/BuildConfig.hpp"
#include "net/Curl.hpp"
#include "platform/CloseRequests.hpp"

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

// A launcher being closed during start-up gives up the request at once.
int checkClose(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return platform::CloseRequested() ? 1 : 0;
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

bool fetchServerData(JsonValue& serverData, const std::string& baseAddress, const ServerRequestOptions& options) {
    const ServerAddress address = parseServerAddress(baseAddress);
    if (address.host.empty() || curl::initialiseOnce())
        return false;
    const curl::EasyHandle easy(curl_easy_init());
    if (!easy)
        return false;

    std::string url = address.host;
    if (address.port != 0)
        url += ":" + std::to_string(address.port);
    url += "/get_data.php?" + queryNumber();
    const curl::HeaderList headers(curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"));
    Reply reply{options.maxBodyBytes, {}};

    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, allowedProtocols);
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // One POST with no fields, though it declares the form type: what the server has always been sent.
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, 0L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl::setUserAgent(handle);
    // A server that takes the connection and never answers must not hold start-up for ever with no window and no
    // box: the whole exchange has a time limit, after which it counts as unreachable.
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, options.caFile.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receiveReply);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkClose);

    if (curl_easy_perform(handle) != CURLE_OK)
        return false;
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < firstSuccessStatus || status >= firstNonSuccessStatus)
        return false;
    serverData = JsonValue::parse(reply.body);
    return true;
}
