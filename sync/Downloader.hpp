// Downloading one address to one file: written beside the target and renamed over it only when complete.
#pragma once

#include "sync/StopFlag.hpp"

#include <chrono>
#include <string>

enum class DownloadError { None, Stopped, HttpStatus, Transfer, LocalFile };

struct DownloadResult {
    DownloadError error = DownloadError::None;
    long httpStatus = 0;
    std::string detail; // libcurl's or the OS's words, for the diagnostic line

    [[nodiscard]] explicit operator bool() const noexcept { return error == DownloadError::None; }
    [[nodiscard]] std::string toString() const;
};

/// Limits of one transfer. The defaults suit a player's line; tests shorten them.
struct DownloadOptions {
    static constexpr std::chrono::seconds defaultConnectTimeout{15};
    static constexpr long defaultLowSpeedLimit = 1024; // bytes per second
    static constexpr std::chrono::seconds defaultLowSpeedTime{30};
    static constexpr long defaultMaxRedirects = 10;

    std::chrono::seconds connectTimeout = defaultConnectTimeout;
    long lowSpeedLimit = defaultLowSpeedLimit; // slower than this for lowSpeedTime counts as a stalled transfer
    std::chrono::seconds lowSpeedTime = defaultLowSpeedTime;
    long maxRedirects = defaultMaxRedirects;
};

/// Fetches `url` (redirects followed, https allowed, any final status other than 2xx a failure) into `target`;
/// gives up when `stop` becomes true, on a connect time-out, or when the transfer stalls.
[[nodiscard]] DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop);
/// The same with other limits.
[[nodiscard]] DownloadResult DownloadToFile(const std::string& url, const std::string& target, const StopFlag& stop,
                                            const DownloadOptions& options);
