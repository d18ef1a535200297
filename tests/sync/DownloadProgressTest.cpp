// The download tally: files and bytes counted once each, whatever the transfers report on the way.
#include "sync/DownloadProgress.hpp"

#include <gtest/gtest.h>

namespace {

TEST(DownloadTally, ListedSizesMakeAFinalTotalAndRetriesCountOnce) {
    DownloadTally tally;
    tally.expect(1000);
    tally.expect(500);
    EXPECT_FALSE(tally.progress().active) << "nothing downloads before the first file begins";
    EXPECT_EQ(tally.progress().bytesTotal, 1500u);

    tally.begin(1000);
    tally.update(0, 1000);
    tally.update(600, 1000);
    tally.update(0, 1000); // the server made it start over
    tally.update(1000, 1000);
    tally.end(true);
    const DownloadProgress& p = tally.progress();
    EXPECT_TRUE(p.active) << "one file is still to come";
    EXPECT_TRUE(p.totalKnown);
    EXPECT_EQ(p.bytesDone, 1000u);
    EXPECT_EQ(p.bytesReceived, 1600u) << "what came over the network, both attempts";
    EXPECT_EQ(p.fileNumber, 1u);
    EXPECT_EQ(p.fileCount, 2u);

    tally.begin(500);
    tally.update(200, 500); // resumed from a partial file: read from the disk, not received
    tally.update(500, 500);
    EXPECT_EQ(tally.progress().bytesReceived, 1900u);
    tally.end(true);
    EXPECT_FALSE(tally.progress().active);
    EXPECT_EQ(tally.progress().bytesDone, 1500u);
}

TEST(DownloadTally, WithoutListedSizesTheTotalGrowsAsTheServerSaysThem) {
    DownloadTally tally;
    tally.expect(std::nullopt);
    tally.expect(std::nullopt);
    EXPECT_FALSE(tally.progress().totalKnown);
    EXPECT_EQ(tally.progress().bytesTotal, 0u);

    tally.begin(std::nullopt);
    tally.update(0, 0); // no size said yet
    tally.update(100, 300);
    EXPECT_EQ(tally.progress().bytesTotal, 300u);
    tally.update(0, 400); // started over on a file that changed on the server
    tally.update(400, 400);
    tally.end(true);
    EXPECT_EQ(tally.progress().bytesTotal, 400u);

    tally.begin(std::nullopt);
    tally.update(50, 200);
    tally.end(false); // given up (the launcher closes): its bytes are not done
    EXPECT_EQ(tally.progress().bytesDone, 400u);
    EXPECT_EQ(tally.progress().bytesTotal, 600u);

    tally.begin(std::nullopt); // a file no check found in advance still counts as one of them
    EXPECT_EQ(tally.progress().fileNumber, 3u);
    EXPECT_EQ(tally.progress().fileCount, 3u);
}

} // namespace
