// Which addresses from the server the launcher hands to the desktop: web pages, and Discord's own scheme for its
// button. Anything else a server could name (a file in the game folder, "file:", "search-ms:", "ms-settings:") would
// start a program or open a folder nobody chose.
#pragma once

#include "ui/LinkAddresses.hpp"

#include <optional>
#include <string>
#include <string_view>

/// What an address is opened for: a web page, or the Discord button, which may also name Discord's own scheme.
enum class AddressUse { WebPage, DiscordButton };

/// `text` as the address to hand to the desktop: an "http://" or "https://" address (the scheme in any letter case),
/// and for the Discord button a "discord:" one too; "www." gets "http://" put in front. Spaces and double quotes are
/// percent-encoded, so that the address reaches a browser as one argument. Empty for anything else, the empty text
/// and text with control characters included.
[[nodiscard]] std::optional<std::string> openableAddress(std::string_view text, AddressUse use);

/// The link buttons' addresses as openableAddress gives them. A refused one becomes empty, so its button opens
/// nothing, and is named on standard output.
[[nodiscard]] LinkAddresses openableLinks(const LinkAddresses& links);
