// SPDX-License-Identifier: MIT
// Sets the balloon of a running tessaly, as `tessalyctl balloon` does.
//   resident_feed_client DIR TITLE TEXT
#include "common/BalloonFeedClient.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: resident_feed_client DIR TITLE TEXT\n");
        return 2;
    }
    std::string error;
    if (!tessaly::SendBalloonFeed(argv[1], argv[2], argv[3], &error)) {
        std::fprintf(stderr, "resident_feed_client: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
