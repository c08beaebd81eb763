// SPDX-License-Identifier: MIT
#include "watch/FileTimeStamp.h"

#include "support/ScopedTimeZone.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

using test::ScopedTimeZone;

// Zones written as POSIX rules, so the test needs no time-zone database.
const char* const kZones[] = {
    "CET-1CEST,M3.5.0,M10.5.0/3",           // Berlin
    "EST5EDT,M3.2.0,M11.1.0",               // New York
    "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", // Lord Howe: half-hour shift
    "<+0545>-5:45",                         // Kathmandu
    "UTC0",
    "XST-1XDT,M3.5.0/2:07:31,M10.5.0/3:07:31", // changes at odd seconds
};

TEST(EarliestInstantOf, GivesTheFirstInstantOfEachWallClockTime)
{
    // Around every clock change of the zones, and before 1970 and 1900: the
    // instant comes back exactly, except in an hour the clocks repeat, where
    // the first of the two instants with that wall-clock time is taken.
    const int64_t centres[] = {1711846800, 1729990800,  1710054000,    1730613600, 1712415600,
                               1711847251, -1000000000, -2200000000LL, 0};
    for (const char* zone : kZones) {
        ScopedTimeZone scoped(zone);
        for (int64_t centre : centres) {
            for (int64_t t = centre - 7200; t <= centre + 7200; t += 37) {
                const AutomationDate local = AutomationDateFromUnix(t);
                const int64_t earliest = EarliestInstantOf(local);
                ASSERT_LE(earliest, t) << zone << " at " << t;
                ASSERT_EQ(FromAutomationDate(AutomationDateFromUnix(earliest)), FromAutomationDate(local))
                    << zone << " at " << t;
                if (earliest != t) { // only the second pass through a repeated hour
                    ASSERT_LE(t - earliest, 3600) << zone << " at " << t;
                }
            }
        }
    }
}

TEST(EarliestInstantOf, RepeatedAndSkippedHours)
{
    ScopedTimeZone berlin(kZones[0]);
    // 2024-10-27 02:30 happens at 00:30 UTC (summer time) and 01:30 UTC;
    // 2024-03-31 02:30 never happens: the clocks go from 02:00 to 03:00 at
    // 01:00 UTC.
    EXPECT_EQ(EarliestInstantOf(ToAutomationDate({2024, 10, 27, 2, 30, 0})), 1729989000);
    EXPECT_EQ(EarliestInstantOf(ToAutomationDate({2024, 3, 31, 2, 30, 0})), 1711846800);
    EXPECT_EQ(EarliestInstantOf(ToAutomationDate({2024, 1, 1, 1, 0, 0})), 1704067200);
    EXPECT_EQ(EarliestInstantOf(ToAutomationDate({1900, 1, 1, 0, 0, 0})), -2208992400);
}

class FileTimeStampTest : public ::testing::Test {
protected:
    test::TempFolder m_folder;
};

TEST_F(FileTimeStampTest, AMissingPathGivesTheZeroFileTime)
{
    AutomationDate created = 1, written = 1, accessed = 1;
    GetFileTimeStamp(m_folder.file("missing.doc"), &created, &written, &accessed);
    EXPECT_EQ(created, kFileTimeZero);
    EXPECT_EQ(written, kFileTimeZero);
    EXPECT_EQ(accessed, kFileTimeZero);
    GetFileTimeStamp("", &created, nullptr, nullptr);
    EXPECT_EQ(created, kFileTimeZero);
}

TEST_F(FileTimeStampTest, GivesTheTimesOfTheFileALinkNames)
{
    std::string target = m_folder.file("target.doc");
    test::WriteFile(target, "x");
    struct timespec times[2] = {{1000000000, 250000000}, {981173106, 789000000}}; // atime, mtime
    ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
    std::string link = m_folder.file("link.doc");
    ASSERT_EQ(::symlink("target.doc", link.c_str()), 0);

    for (const std::string& path : {target, link}) {
        AutomationDate created = 0, written = 0, accessed = 0;
        GetFileTimeStamp(path, &created, &written, &accessed);
        EXPECT_EQ(written, AutomationDateFromUnix(981173106, 789000000)) << path;
        EXPECT_EQ(accessed, AutomationDateFromUnix(1000000000, 250000000)) << path;
        // Created moments ago (birth time), or changed moments ago where the
        // file system keeps no birth time: within a day of now either way.
        EXPECT_NEAR(created, AutomationDateFromUnix(std::time(nullptr)), 1.0) << path;
    }
}

} // namespace
} // namespace tessaly
