// SPDX-License-Identifier: MIT
#include "resident/ResidentOptions.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <set>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

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
           "              (default: $TESSALY_DIR when set, else the dir= line of\n"
           "              ~/.config/tessaly/tessaly.conf (in $XDG_CONFIG_HOME when set),\n"
           "              else the executable's folder when it holds sysconfig.dat or\n"
           "              subscription.dat, else $XDG_DATA_HOME/tessaly,\n"
           "              ~/.local/share/tessaly)\n"
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

LiveWatch::System LiveWatchTestSeams()
{
    LiveWatch::System system;
#ifdef TESSALY_TEST_HOOKS
    const auto number = [](const char* name) -> long {
        const char* text = std::getenv(name);
        char* end = nullptr;
        const long value = text ? std::strtol(text, &end, 10) : 0;
        return text && end != text && *end == '\0' && value > 0 ? value : 0;
    };
    if (const long limit = number("TESSALY_TEST_WATCH_LIMIT")) {
        auto set = std::make_shared<std::set<int>>();
        system.addWatch = [limit, set](int fd, const std::string& folder, uint32_t mask) {
            const int wd = ::inotify_add_watch(fd, folder.c_str(), mask);
            if (wd < 0 || set->count(wd) != 0)
                return wd;
            if (set->size() >= static_cast<size_t>(limit)) {
                ::inotify_rm_watch(fd, wd);
                errno = ENOSPC;
                return -1;
            }
            set->insert(wd);
            return wd;
        };
    }
    if (const long queue = number("TESSALY_TEST_EVENT_QUEUE")) {
        auto reading = std::make_shared<bool>(false);
        system.readEvents = [queue, reading](int fd, char* buffer, size_t size) -> ssize_t {
            // WORKAROUND: the kernel's queue length is one number for the
            // whole machine; a test shortens this program's own instead.
            if (!*reading)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const ssize_t length = ::read(fd, buffer, size - sizeof(inotify_event));
            *reading = length > 0;
            if (length <= 0)
                return length;
            ssize_t offset = 0;
            for (long events = 0; offset < length && events < queue; ++events)
                offset += static_cast<ssize_t>(sizeof(inotify_event) +
                                               reinterpret_cast<inotify_event*>(buffer + offset)->len);
            if (offset >= length)
                return length;
            inotify_event overflow{};
            overflow.wd = -1;
            overflow.mask = IN_Q_OVERFLOW;
            std::memcpy(buffer + offset, &overflow, sizeof overflow);
            return offset + static_cast<ssize_t>(sizeof overflow);
        };
    }
#endif
    return system;
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
