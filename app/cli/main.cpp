// SPDX-License-Identifier: MIT
// tessalyctl: the command-line companion of Tessaly.
#include "cli/Ctl.h"
#include "common/ProcessLimits.h"

#include <iostream>

int main(int argc, char** argv)
{
    tessaly::PrepareProcessLimits();
    std::vector<std::string> args(argv + 1, argv + argc);
    return tessaly::RunCtl(args, std::cout, std::cerr);
}
