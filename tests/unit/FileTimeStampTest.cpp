// SPDX-License-Identifier: MIT
#include "watch/FileTimeStamp.h"

#include "support/TempFolder.h"
#include "watch/LocalTimeConverter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

// Sets TZ for the life of the object, then puts the old value back.
struct ScopedTimeZone final {
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* value = std::getenv("TZ"))
            old = value;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (old)
            ::setenv("TZ", old->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    std::optional<std::string> old;
};

// Zones written as POSIX rules, so the test needs no time-zone database.
const char* const kZones[] = {
    "CET-1CEST,M3.5.0,M10.5.0/3",               // Berlin
    "EST5EDT,M3.2.0,M11.1.0",                   // New York
    "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",     // Lord Howe: half-hour shift
    "<+0545>-5:45",                             // Kathmandu
    "UTC0",
    "XST-1XDT,M3.5.0/2:07:31,M10.5.0/3:07:31",  // changes at odd seconds
};

TEST(LocalTimeConverter, AgreesToTheBitWithTheDirectConversionAroundClockChanges)
{
    // 2024-03-31 01:00 UTC and 2024-10-27 01:00 UTC (Berlin), 2024-03-10
    // 07:00 UTC and 2024-11-03 06:00 UTC (New York), 2024-04-06 15:00 UTC
    // (Lord Howe), 2024-03-31 01:07:31 UTC (odd seconds), plus instants
    // before 1970 and before 1900.
    const int64_t centres[] = {1711846800, 1729990800, 1710054000, 1730613600,
                               1712415600, 1711847251, -1000000000, -2300000000LL, 0};
    for (const char* zone : kZones) {
        ScopedTimeZone scoped(zone);
        LocalTimeConverter converter;
        for (int64_t centre : centres) {
            for (int64_t t = centre - 7200; t <= centre + 7200; t += 37) {
                long nanoseconds = static_cast<long>((t * 7919) % 1000000000 + 1000000000) % 1000000000;
                ASSERT_EQ(converter.convert(t, nanoseconds), AutomationDateFromUnix(t, nanoseconds))
                    << zone << " at " << t;
            }
        }
    }
}

TEST(LocalTimeConverter, AppliesTheRulesOfEachDate)
{
    ScopedTimeZone berlin(kZones[0]);
    LocalTimeConverter converter;
    // Just before and at the spring change (01:59:59 winter, then 03:00
    // summer); a winter date converted after the change, and summer again.
    const std::pair<int64_t, CivilDateTime> cases[] = {{1711846799, {2024, 3, 31, 1, 59, 59}},
                                                       {1711846800, {2024, 3, 31, 3, 0, 0}},
                                                       {1704067200, {2024, 1, 1, 1, 0, 0}},
                                                       {1784116800, {2026, 7, 15, 14, 0, 0}}};
    for (const auto& [instant, local] : cases) {
        EXPECT_EQ(FromAutomationDate(converter.convert(instant, 0)), local) << instant;
        EXPECT_EQ(FromAutomationDate(AutomationDateFromUnix(instant)), local) << instant;
    }
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
