// Fetches the server document with the one POST the launcher sends to its server.
#include "net/ServerRequest.hpp"

#include "net/BuildConfig.hpp"

#include <SFML/Network/Http.hpp>

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <random>

namespace {

constexpr int maxQueryNumber = 32767; // what the server has always seen: rand()'s range on the original platform
constexpr int firstSuccessStatus = 200;
constexpr int firstNonSuccessStatus = 300;

// Runs started within the same second send the same number: the seed is the time in whole seconds, so a caching
// proxy in front of the server sees a fresh address at most once a second.
std::string queryNumber() {
    std::minstd_rand engine(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
    std::uniform_int_distribution<int> pick(0, maxQueryNumber);
    return std::to_string(pick(engine));
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
    // A port after the last ':' (outside an IPv6 bracket) must reach that port: sf::Http takes it separately.
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
    // sf::Http reads the scheme from the host text to choose its default port.
    result.host = scheme + std::string(host);
    return result;
}

const std::string& ServerBaseAddress() {
    static const std::string address = build::serverUrl;
    return address;
}

bool fetchServerData(JsonValue& serverData, const std::string& baseAddress) {
    const ServerAddress address = parseServerAddress(baseAddress);
    if (address.host.empty())
        return false;

    sf::Http http(address.host, address.port);
    sf::Http::Request request;
    request.setMethod(sf::Http::Request::Post);
    request.setUri("get_data.php?" + queryNumber());
    request.setHttpVersion(1, 1);
    request.setField("Content-Type", "application/x-www-form-urlencoded");

    const sf::Http::Response response = http.sendRequest(request, sf::Time::Zero);
    const int status = static_cast<int>(response.getStatus());
    if (status < firstSuccessStatus || status >= firstNonSuccessStatus)
        return false;

    const std::string body = response.getBody();
    serverData = JsonValue::parse(body);
    return true;
}
