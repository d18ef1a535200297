// The click action: the close spot, the links, Discord, the music spot and Play, first hit wins.
#include "ui/ClickAction.hpp"

#include "net/JsonValue.hpp"
#include "sync/Launcher.hpp"
#include "ui/ButtonLayout.hpp"
#include "ui/LauncherScene.hpp"

#include <string>

namespace {

struct LinkButton {
    ClickTarget target;
    int image;
    std::string_view key;
};

// Click order of the link buttons (not their order on screen).
constexpr std::array<LinkButton, 8> linkButtons{{{ClickTarget::Website, ui::websiteNormal, "website"},
                                                 {ClickTarget::Register, ui::registerNormal, "register"},
                                                 {ClickTarget::Recruit, ui::recruitNormal, "recruit"},
                                                 {ClickTarget::Unstuck, ui::unstuckNormal, "unstuck"},
                                                 {ClickTarget::Vote, ui::voteNormal, "vote"},
                                                 {ClickTarget::Guide, ui::guideNormal, "guide"},
                                                 {ClickTarget::Donate, ui::donateNormal, "donate"},
                                                 {ClickTarget::Discord, ui::discordNormal, "discord"}}};

constexpr std::string_view linksKey = "links";

} // namespace

ClickTarget hitTest(const ClickRegions& regions, sf::Vector2f mouse) {
    if (ui::containsInclusive(regions.closeArea, mouse))
        return ClickTarget::Close;
    for (const LinkButton& button : linkButtons)
        if (ui::containsInclusive(regions.images[static_cast<std::size_t>(button.image)], mouse))
            return button.target;
    if (ui::containsInclusive(regions.musicArea, mouse))
        return ClickTarget::Music;
    // The available Play image is the one tested, also while the unavailable one is shown.
    if (ui::containsInclusive(regions.images[ui::playNormal], mouse))
        return ClickTarget::Play;
    return ClickTarget::None;
}

std::string_view linkKey(ClickTarget target) {
    for (const LinkButton& button : linkButtons)
        if (button.target == target)
            return button.key;
    return {};
}

void performClick(ClickTarget target, LauncherScene& scene, JsonValue& serverData, Launcher& launcher,
                  const SceneActions& actions) {
    switch (target) {
    case ClickTarget::None:
        return;
    case ClickTarget::Close:
        scene.close();
        return;
    case ClickTarget::Music:
        if (launcher.musicOn())
            launcher.stopMusic();
        else
            launcher.restartMusic();
        return;
    case ClickTarget::Play:
        if (actions.play)
            actions.play();
        return;
    case ClickTarget::Discord:
        // Discord's address sits at the top level of the document, not under "links".
        if (actions.openTarget)
            actions.openTarget(serverData[std::string(linkKey(target))].asText());
        return;
    case ClickTarget::Website:
    case ClickTarget::Register:
    case ClickTarget::Recruit:
    case ClickTarget::Unstuck:
    case ClickTarget::Vote:
    case ClickTarget::Guide:
    case ClickTarget::Donate:
        if (actions.openTarget)
            actions.openTarget(serverData[std::string(linksKey)][std::string(linkKey(target))].asText());
        return;
    }
}

void onClick(LauncherScene& scene, sf::Vector2f mouse, JsonValue& serverData, Launcher& launcher,
             const SceneActions& actions) {
    performClick(hitTest(scene.clickRegions(), mouse), scene, serverData, launcher, actions);
}

void onClick(LauncherScene& scene, JsonValue& serverData, Launcher& launcher, const SceneActions& actions) {
    onClick(scene, scene.pointer().position, serverData, launcher, actions);
}
