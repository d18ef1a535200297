// What a click on Play does: wait, or prepare the game folder, start the game and maybe close the launcher.
#pragma once

#include "app/Services.hpp"

#include <functional>
#include <string>
#include <vector>

class Launcher;

struct PlayContext {
    std::vector<std::string> removals; // "removes", deleted at every Play
    std::string launchTarget;          // full path of the "execute" program
    std::function<void()> closeWindow; // ends the frame loop
};

/// Runs the Play sequence once; every step is silent on failure, so the player can simply click again.
void runPlaySequence(Launcher& launcher, const PlayContext& context, const Services& services);
