// Where the verification cache lives on Linux: under XDG_CACHE_HOME, and never inside the game folder.
#include "sync/VerificationCache.hpp"

#include "support/Environment.hpp"

#include <gtest/gtest.h>

namespace {

TEST(VerificationCacheFile, LivesInTheUsersCacheFolderApartFromTheGame) {
    {
        const testing_support::EnvironmentGuard cache("XDG_CACHE_HOME", "/home/player/.cache");
        const std::string file = VerificationCache::fileFor("/games/varnhold");
        EXPECT_EQ(file.rfind("/home/player/.cache/varnhold-launcher/verified-", 0), 0u) << file;
        EXPECT_NE(file, VerificationCache::fileFor("/games/other")) << "one file per game folder";
    }
    const testing_support::EnvironmentGuard cache("XDG_CACHE_HOME", "/games/varnhold/cache");
    EXPECT_EQ(VerificationCache::fileFor("/games/varnhold"), "") << "never inside the game folder";
}

} // namespace
