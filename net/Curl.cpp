// libcurl's one-time start and what every request of the launcher sends.
#include "net/Curl.hpp"

#include "net/BuildConfig.hpp"

#include <mutex>

namespace curl {

std::optional<std::string> initialiseOnce() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    // curl_global_init is not thread-safe itself, and two workers start downloads at the same time.
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (result != CURLE_OK) {
        return std::string("libcurl could not start: ") + curl_easy_strerror(result);
    }
    return std::nullopt;
}

void setUserAgent(CURL* handle) {
    static const std::string userAgent = "varnhold-launcher/" + std::to_string(build::launcherVersion);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent.c_str());
}

} // namespace curl
