// SPDX-License-Identifier: MIT
#include "resident/ResidentOptions.h"

#include <cstdlib>
#include <iostream>

namespace tessaly {

bool ParseResidentOptions(const std::vector<std::string>& args, ResidentOptions* options, std::string* error)
{
    *options = {};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--headless") {
            options->headless = true;
        } else if (arg == "--dir" || arg.starts_with("--dir=")) {
            std::string value;
            if (arg == "--dir") {
                if (i + 1 == args.size()) {
                    *error = "--dir needs a folder";
                    return false;
                }
                value = args[++i];
            } else {
                value = arg.substr(6);
            }
            if (value.empty()) {
                *error = "--dir needs a folder";
                return false;
            }
            options->folder = value;
        } else if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--version") {
            options->version = true;
        } else {
            *error = "unknown argument: " + arg;
            return false;
        }
    }
    return true;
}

std::string ResidentUsage()
{
    return "usage: tessaly [--headless] [--dir DIR]\n"
           "       tessaly --help | --version\n"
           "  --headless  run without the tray icon and windows; balloons go to standard output\n"
           "  --dir DIR   keep the data files in DIR instead of the default data folder\n"
           "              (default: the executable's folder when it holds sysconfig.dat or\n"
           "              subscription.dat, else $XDG_DATA_HOME/tessaly, ~/.local/share/tessaly)\n"
           "  --help      print this text and end\n"
           "  --version   print the version and end\n"
           "See tessaly(1).\n";
}

std::chrono::milliseconds MinuteLength()
{
    constexpr std::chrono::milliseconds minute{60000};
#ifdef TESSALY_TEST_HOOKS
    if (const char* text = std::getenv("TESSALY_TEST_MINUTE_MS")) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && value >= 100 && value <= minute.count())
            return std::chrono::milliseconds{value};
    }
#endif
    return minute;
}

void TestTrace([[maybe_unused]] std::string_view line)
{
#ifdef TESSALY_TEST_HOOKS
    if (std::getenv("TESSALY_TEST_TRACE"))
        std::cerr << "tessaly-trace: " << line << std::endl;
#endif
}

bool TestTracing()
{
#ifdef TESSALY_TEST_HOOKS
    return std::getenv("TESSALY_TEST_TRACE") != nullptr;
#else
    return false;
#endif
}

} // namespace tessaly
