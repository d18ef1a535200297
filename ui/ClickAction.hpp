// What a click of the left mouse button does: the one element under the mouse, then its action.
#pragma once

#include "assets/Assets.hpp"
#include "ui/LinkAddresses.hpp"

#include <SFML/Graphics/Rect.hpp>
#include <SFML/System/Vector2.hpp>

#include <array>
#include <string>

class Launcher;
class LauncherScene;
struct SceneActions;

enum class ClickTarget {
    None,
    Close,
    Minimise,
    Website,
    Register,
    Recruit,
    Unstuck,
    Vote,
    Guide,
    Donate,
    Discord,
    Music,
    Play
};

/// Everything a click can hit, as the last frame drew it.
struct ClickRegions {
    sf::FloatRect closeArea;
    sf::FloatRect minimiseArea;
    sf::FloatRect musicArea;
    std::array<sf::FloatRect, assets::imageCount> images{}; // each sprite's position and global size
};

/// The element a release at `mouse` acts on; the first in click order wins where elements overlap:
/// close spot, minimise spot, the seven links, Discord, music spot, Play.
[[nodiscard]] ClickTarget hitTest(const ClickRegions& regions, sf::Vector2f mouse);

/// The address a link target opens; nullptr for the targets that are no link.
[[nodiscard]] const std::string* linkAddress(const LinkAddresses& links, ClickTarget target);

/// Carries out `target`'s action. Play goes to `actions.play` whatever the can-play flag says: the Play sequence
/// itself asks the player to wait.
void performClick(ClickTarget target, LauncherScene& scene, Launcher& launcher, const SceneActions& actions);

/// The click action at `mouse` (window coordinates).
void onClick(LauncherScene& scene, sf::Vector2f mouse, Launcher& launcher, const SceneActions& actions);
