// The click action: the close and minimise spots, the links, Discord, the music spot and Play, first hit wins.
#include "ui/ClickAction.hpp"

#include "sync/Launcher.hpp"
#include "ui/ButtonLayout.hpp"
#include "ui/LauncherScene.hpp"

namespace {

struct LinkButton {
    ClickTarget target;
    int image;
    std::string LinkAddresses::*address;
};

// Click order of the link buttons (not their order on screen).
constexpr std::array<LinkButton, 8> linkButtons{
    {{ClickTarget::Website, ui::websiteNormal, &LinkAddresses::website},
     {ClickTarget::Register, ui::registerNormal, &LinkAddresses::registration},
     {ClickTarget::Recruit, ui::recruitNormal, &LinkAddresses::recruit},
     {ClickTarget::Unstuck, ui::unstuckNormal, &LinkAddresses::unstuck},
     {ClickTarget::Vote, ui::voteNormal, &LinkAddresses::vote},
     {ClickTarget::Guide, ui::guideNormal, &LinkAddresses::guide},
     {ClickTarget::Donate, ui::donateNormal, &LinkAddresses::donate},
     {ClickTarget::Discord, ui::discordNormal, &LinkAddresses::discord}}};

} // namespace

ClickTarget hitTest(const ClickRegions& regions, sf::Vector2f mouse) {
    if (ui::containsInclusive(regions.closeArea, mouse))
        return ClickTarget::Close;
    if (ui::containsInclusive(regions.minimiseArea, mouse))
        return ClickTarget::Minimise;
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

const std::string* linkAddress(const LinkAddresses& links, ClickTarget target) {
    for (const LinkButton& button : linkButtons)
        if (button.target == target)
            return &(links.*button.address);
    return nullptr;
}

void performClick(ClickTarget target, LauncherScene& scene, Launcher& launcher, const SceneActions& actions) {
    switch (target) {
    case ClickTarget::None:
        return;
    case ClickTarget::Close:
        scene.close();
        return;
    case ClickTarget::Minimise:
        scene.minimise();
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
    case ClickTarget::Website:
    case ClickTarget::Register:
    case ClickTarget::Recruit:
    case ClickTarget::Unstuck:
    case ClickTarget::Vote:
    case ClickTarget::Guide:
    case ClickTarget::Donate:
    case ClickTarget::Discord:
        // An empty address is handed on as well: the shell, not the launcher, says what it makes of it.
        if (actions.openTarget)
            actions.openTarget(*linkAddress(actions.links, target));
        return;
    }
}

void onClick(LauncherScene& scene, sf::Vector2f mouse, Launcher& launcher, const SceneActions& actions) {
    performClick(hitTest(scene.clickRegions(), mouse), scene, launcher, actions);
}
