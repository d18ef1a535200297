// The launcher's rules for a signed server document, on top of minisign's check of the signature itself.
#include "net/DocumentTrust.hpp"

#include "net/SeenSerial.hpp"
#include "platform/Diagnostics.hpp"

#include <charconv>
#include <cstdio>

namespace {

constexpr std::string_view serialField = "serial=";
constexpr std::string_view expiresField = "expires=";
constexpr std::string_view whitespace = " \t";

template <typename Number> bool parseDigits(std::string_view text, Number& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "2027-01-31T00:00:00Z": UTC only, so every launcher reads the same moment whatever its time zone.
std::optional<std::int64_t> parseUtcTime(std::string_view text) {
    constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size())
        return std::nullopt;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i])
            return std::nullopt;
    }
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    (void)parseDigits(text.substr(0, 4), year);
    (void)parseDigits(text.substr(5, 2), month);
    (void)parseDigits(text.substr(8, 2), day);
    (void)parseDigits(text.substr(11, 2), hour);
    (void)parseDigits(text.substr(14, 2), minute);
    (void)parseDigits(text.substr(17, 2), second);
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)};
    constexpr int hoursPerDay = 24;
    constexpr int minutesPerHour = 60;
    constexpr int secondsPerMinute = 60; // no leap second: minisign's users write none, and UTC tools rarely do
    if (!date.ok() || hour >= hoursPerDay || minute >= minutesPerHour || second >= secondsPerMinute)
        return std::nullopt;
    const auto at = std::chrono::sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
                    std::chrono::seconds(second);
    return std::chrono::duration_cast<std::chrono::seconds>(at.time_since_epoch()).count();
}

std::string utcTimeText(std::int64_t seconds) {
    const std::chrono::sys_seconds at{std::chrono::seconds(seconds)};
    const std::chrono::sys_days day = std::chrono::floor<std::chrono::days>(at);
    const std::chrono::year_month_day date(day);
    const std::chrono::hh_mm_ss time(at - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

TrustProblem problemOf(MinisignProblem problem) {
    switch (problem) {
    case MinisignProblem::None:
        return TrustProblem::None;
    case MinisignProblem::Malformed:
        return TrustProblem::Malformed;
    case MinisignProblem::UnknownKey:
        return TrustProblem::UnknownKey;
    case MinisignProblem::BadSignature:
        return TrustProblem::BadSignature;
    case MinisignProblem::BadTrustedComment:
        return TrustProblem::BadTrustedComment;
    }
    return TrustProblem::Malformed;
}

} // namespace

SigningPolicy SigningPolicy::fromKeyLines(std::span<const std::string_view> lines, std::string seenSerialFile) {
    SigningPolicy policy;
    policy.required = !lines.empty();
    policy.seenSerialFile = std::move(seenSerialFile);
    for (const std::string_view line : lines) {
        if (std::optional<MinisignKey> key = parseMinisignKey(line))
            policy.keys.push_back(*key);
        else
            platform::Print("A built-in signing key is not a minisign public key: %.*s\n",
                            static_cast<int>(line.size()), line.data());
    }
    return policy;
}

std::string DocumentTrust::toString() const {
    switch (problem) {
    case TrustProblem::None:
        return "signed by key " + keyId + ", serial " + std::to_string(serial);
    case TrustProblem::NoKey:
        return "not checked: the launcher has no signing key";
    case TrustProblem::Missing:
        return "no signature came with the document";
    case TrustProblem::Malformed:
        return "the signature is not a minisign signature";
    case TrustProblem::UnknownKey:
        return "signed by key " + keyId + ", which this launcher does not trust";
    case TrustProblem::BadSignature:
        return "the document is not the one that was signed";
    case TrustProblem::BadTrustedComment:
        return "the signature's trusted comment was altered";
    case TrustProblem::NoFreshness:
        return "the signature's trusted comment lacks serial= or expires=";
    case TrustProblem::Expired:
        return "the document expired at " + utcTimeText(expires);
    case TrustProblem::Replayed:
        return "serial " + std::to_string(serial) + " is older than serial " + std::to_string(seenSerial) +
               ", seen before";
    }
    return "unknown problem";
}

std::optional<Freshness> readFreshness(std::string_view trustedComment) {
    std::optional<std::uint64_t> serial;
    std::optional<std::int64_t> expires;
    std::string_view rest = trustedComment;
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(whitespace);
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        const std::string_view word = rest.substr(0, rest.find_first_of(whitespace));
        rest.remove_prefix(word.size());
        // A field given twice has no one meaning: the comment is refused rather than read either way.
        if (word.starts_with(serialField)) {
            std::uint64_t value = 0;
            if (serial || !parseDigits(word.substr(serialField.size()), value))
                return std::nullopt;
            serial = value;
        } else if (word.starts_with(expiresField)) {
            if (expires)
                return std::nullopt;
            expires = parseUtcTime(word.substr(expiresField.size()));
            if (!expires)
                return std::nullopt;
        }
    }
    if (!serial || !expires)
        return std::nullopt;
    return Freshness{*serial, *expires};
}

std::string freshnessComment(const Freshness& freshness) {
    return std::string(serialField) + std::to_string(freshness.serial) + " " + std::string(expiresField) +
           utcTimeText(freshness.expires);
}

DocumentTrust verifyServerDocument(std::string_view body, const std::optional<std::string>& signatureFile,
                                   const SigningPolicy& policy, std::chrono::system_clock::time_point now) {
    DocumentTrust trust;
    if (!policy.required)
        return trust;
    if (!signatureFile) {
        trust.problem = TrustProblem::Missing;
        return trust;
    }
    const MinisignCheck check = checkMinisignSignature(body, *signatureFile, policy.keys);
    trust.keyId = check.keyId;
    trust.problem = problemOf(check.problem);
    if (!check)
        return trust;

    // A signature without a serial and an expiry would stay good for ever: replayed years later, it would still pass.
    const std::optional<Freshness> freshness = readFreshness(check.trustedComment);
    if (!freshness) {
        trust.problem = TrustProblem::NoFreshness;
        return trust;
    }
    trust.serial = freshness->serial;
    trust.expires = freshness->expires;
    if (std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count() >= trust.expires) {
        trust.problem = TrustProblem::Expired;
        return trust;
    }
    trust.seenSerial = policy.seenSerialFile.empty() ? 0 : readSeenSerial(policy.seenSerialFile);
    if (trust.serial < trust.seenSerial) {
        trust.problem = TrustProblem::Replayed;
        return trust;
    }
    // A record that cannot be written weakens only the check of a later start; this document is good.
    if (trust.serial > trust.seenSerial && !policy.seenSerialFile.empty() &&
        !writeSeenSerial(policy.seenSerialFile, trust.serial))
        platform::Print("Could not record the document's serial in %s\n", policy.seenSerialFile.c_str());
    return trust;
}
