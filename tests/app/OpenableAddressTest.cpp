// The addresses the launcher opens for the server: web pages (and Discord's scheme on its button), never files or
// other handlers.
#include "app/OpenableAddress.hpp"

#include <gtest/gtest.h>

namespace {

TEST(OpenableAddressTest, OnlyWebPagesAndDiscordOnItsButton) {
    const struct {
        std::string_view text;
        std::optional<std::string> page;    // as a link button or the new launcher's address
        std::optional<std::string> discord; // as the Discord button
    } cases[] = {
        {"https://varnhold.example/vote?x=1&y=2", "https://varnhold.example/vote?x=1&y=2",
         "https://varnhold.example/vote?x=1&y=2"},
        {"HTTP://Varnhold.example/", "HTTP://Varnhold.example/", "HTTP://Varnhold.example/"},
        {"www.varnhold.com", "http://www.varnhold.com", "http://www.varnhold.com"},
        {"discord://discord.gg/varnhold", std::nullopt, "discord://discord.gg/varnhold"},
        {"https://x.example/a b\" --gpu-launcher=calc", "https://x.example/a%20b%22%20--gpu-launcher=calc",
         "https://x.example/a%20b%22%20--gpu-launcher=calc"},
        // Files, folders and other handlers: a program or a folder nobody chose.
        {"update.sh", std::nullopt, std::nullopt},
        {"file:///C:/Windows/System32/cmd.exe", std::nullopt, std::nullopt},
        {"search-ms:query=x&crumb=location:\\\\host\\share", std::nullopt, std::nullopt},
        {"ms-settings:", std::nullopt, std::nullopt},
        {"Guide.lnk", std::nullopt, std::nullopt},
        {"C:\\Games\\vote.url", std::nullopt, std::nullopt},
        {"\\\\host\\share\\x.scf", std::nullopt, std::nullopt},
        {"run.bat", std::nullopt, std::nullopt},
        {"http:run.bat", std::nullopt, std::nullopt},
        {"https://", std::nullopt, std::nullopt},
        {"www.", std::nullopt, std::nullopt},
        {"https://x.example/\nsecond line", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(openableAddress(c.text, AddressUse::WebPage), c.page) << c.text;
        EXPECT_EQ(openableAddress(c.text, AddressUse::DiscordButton), c.discord) << c.text;
    }
}

} // namespace
