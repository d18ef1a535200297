// Where the run logs go on Linux: the XDG base directory rules.
#include "platform/AppDataFolder.hpp"

#include "support/Environment.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testing_support::EnvironmentGuard;

namespace {

TEST(Diagnostics, LogFolderFollowsTheXdgStateHome) {
    {
        const EnvironmentGuard state("XDG_STATE_HOME", "/srv/state");
        EXPECT_EQ(platform::LocalAppDataFolder(), fs::path("/srv/state/varnhold-launcher"));
    }
    const EnvironmentGuard home("HOME", "/home/player");
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/state"}) {
        const EnvironmentGuard state("XDG_STATE_HOME", unusable);
        EXPECT_EQ(platform::LocalAppDataFolder(), fs::path("/home/player/.local/state/varnhold-launcher"))
            << (unusable ? unusable : "unset");
    }
}

} // namespace
