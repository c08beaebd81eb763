// SPDX-License-Identifier: MIT
// The command line and the balloon feed's address.
#include "support/TempFolder.h"

#include "common/BalloonFeedClient.h"
#include "resident/ResidentOptions.h"

#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

TEST(ResidentOptions, AcceptsHeadlessAndDirInAnyOrder)
{
    ResidentOptions options;
    std::string error;
    ASSERT_TRUE(ParseResidentOptions({"--dir", "/srv/tessaly", "--headless"}, &options, &error));
    EXPECT_TRUE(options.headless);
    EXPECT_EQ(options.folder, "/srv/tessaly");
    ASSERT_TRUE(ParseResidentOptions({"--dir=/a b"}, &options, &error));
    EXPECT_FALSE(options.headless);
    EXPECT_EQ(options.folder, "/a b");
    ASSERT_TRUE(ParseResidentOptions({}, &options, &error));
    EXPECT_FALSE(options.folder.has_value());
}

TEST(ResidentOptions, HelpAndVersionAreAskedForAnywhere)
{
    ResidentOptions options;
    std::string error;
    ASSERT_TRUE(ParseResidentOptions({"--headless", "--help"}, &options, &error));
    EXPECT_TRUE(options.help);
    ASSERT_TRUE(ParseResidentOptions({"-h"}, &options, &error));
    EXPECT_TRUE(options.help);
    ASSERT_TRUE(ParseResidentOptions({"--dir", "/x", "--version"}, &options, &error));
    EXPECT_TRUE(options.version);
    EXPECT_FALSE(options.help);
    EXPECT_NE(ResidentUsage().find("--help"), std::string::npos);
}

TEST(ResidentOptions, RefusesWrongUsage)
{
    ResidentOptions options;
    std::string error;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--dir"}, {"--dir="}, {"--bogus"}, {"check"}, {"-platform", "xcb"}}) {
        error.clear();
        EXPECT_FALSE(ParseResidentOptions(args, &options, &error)) << args.front();
        EXPECT_FALSE(error.empty());
    }
}

TEST(BalloonFeedAddress, OneFolderOneSocketInAPrivatePlace)
{
    TempFolder folder;
    std::string error;
    const auto path = BalloonFeedSocketPath(folder.path(), true, &error);
    ASSERT_TRUE(path) << error;
    EXPECT_EQ(BalloonFeedSocketPath(folder.path() + "/.", true, &error), path);
    TempFolder other;
    EXPECT_NE(BalloonFeedSocketPath(other.path(), true, &error), path);
}

TEST(BalloonFeedClient, SaysWhenNoProgramRunsThere)
{
    TempFolder folder;
    std::string error;
    EXPECT_FALSE(SendBalloonFeed(folder.path(), "title", "text", &error));
    EXPECT_NE(error.find("not running"), std::string::npos) << error;
    EXPECT_FALSE(SendBalloonFeed(folder.path(), std::string("a\0b", 3), "text", &error));
    EXPECT_FALSE(SendBalloonFeed(folder.path(), "t", std::string(kBalloonFeedLimit, 'x'), &error));
    EXPECT_NE(error.find("too long"), std::string::npos);
}

} // namespace
