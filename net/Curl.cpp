// libcurl's one-time start.
#include "net/Curl.hpp"

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

} // namespace curl
