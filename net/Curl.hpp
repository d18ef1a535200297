// libcurl's handles with their owners, and its one-time start, shared by every transfer the launcher makes.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>

namespace curl {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

/// Starts libcurl once for the process, whichever thread comes first; the reason when it could not.
[[nodiscard]] std::optional<std::string> initialiseOnce();

/// Names the launcher and its version on `handle`'s requests, so that a server's logs tell it apart from browsers
/// and from other programs.
void setUserAgent(CURL* handle);

} // namespace curl
