// SPDX-License-Identifier: MIT
// tessalyctl: the command-line companion of Tessaly.
#include "cli/Ctl.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv)
{
    // A file-size limit must turn into a write error we can report, not kill us.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    return tessaly::RunCtl(args, std::cout, std::cerr);
}
