// The launcher opens web pages for the server, never files: the address check behind the link buttons and the
// new launcher's address.
#include "app/OpenableAddress.hpp"

#include "platform/Diagnostics.hpp"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<std::string_view, 2> webSchemes{"http://", "https://"};
constexpr std::string_view discordScheme = "discord:";
// Windows shells read "www.example.org" as a web address; the launcher says so instead of letting a file of that
// name (a ".com" program a download put there) win.
constexpr std::string_view bareWebHost = "www.";
constexpr std::string_view assumedScheme = "http://";

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(a) == lower(b);
           });
}

bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

// A handler's command line quotes the address ("%1"): a quote inside it would end the argument early and let the
// rest of the address become options of the browser.
std::string quotedSafe(std::string_view address) {
    std::string safe;
    for (const char c : address) {
        if (c == ' ')
            safe += "%20";
        else if (c == '"')
            safe += "%22";
        else
            safe += c;
    }
    return safe;
}

} // namespace

std::optional<std::string> openableAddress(std::string_view text, AddressUse use) {
    if (text.empty() || hasControlCharacter(text))
        return std::nullopt;
    for (const std::string_view scheme : webSchemes) {
        // A scheme with nothing after it names no page.
        if (startsWithIgnoringCase(text, scheme) && text.size() > scheme.size())
            return quotedSafe(text);
    }
    if (use == AddressUse::DiscordButton && startsWithIgnoringCase(text, discordScheme) &&
        text.size() > discordScheme.size())
        return quotedSafe(text);
    if (startsWithIgnoringCase(text, bareWebHost) && text.size() > bareWebHost.size())
        return quotedSafe(std::string(assumedScheme) + std::string(text));
    return std::nullopt;
}

LinkAddresses openableLinks(const LinkAddresses& links) {
    LinkAddresses openable;
    const auto vet = [](const std::string& text, AddressUse use) {
        std::optional<std::string> address = openableAddress(text, use);
        // An empty link is one the community did not set: nothing to say about it.
        if (!address && !text.empty())
            platform::Print("Link not opened, it is no web address: %s\n", text.c_str());
        return address.value_or(std::string());
    };
    openable.website = vet(links.website, AddressUse::WebPage);
    openable.registration = vet(links.registration, AddressUse::WebPage);
    openable.recruit = vet(links.recruit, AddressUse::WebPage);
    openable.unstuck = vet(links.unstuck, AddressUse::WebPage);
    openable.vote = vet(links.vote, AddressUse::WebPage);
    openable.guide = vet(links.guide, AddressUse::WebPage);
    openable.donate = vet(links.donate, AddressUse::WebPage);
    openable.discord = vet(links.discord, AddressUse::DiscordButton);
    return openable;
}
