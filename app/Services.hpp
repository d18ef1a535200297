// The OS services the main sequence and the Play sequence use, gathered so tests can stand in for them.
#pragma once

#include "app/SelfUpdate.hpp"

#include <functional>
#include <string>
#include <string_view>

struct Services {
    std::function<void(std::string_view text)> showError;
    std::function<bool(std::string_view caption, std::string_view text)> askYesNo;
    std::function<bool(const std::string& target)> openTarget;   // a file of the game folder: what Play starts
    std::function<bool(const std::string& address)> openAddress; // a web address, never a file
    /// The launcher's update of itself (updateLauncher), for a launcher of the given version.
    std::function<UpdateOutcome(Launcher& launcher, const LauncherUpdate& offer, const DocumentTrust& trust,
                                int ownVersion)>
        updateLauncher;

    /// The real message boxes, shell and update of this platform.
    [[nodiscard]] static Services platform();
};
