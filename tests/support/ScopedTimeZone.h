// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace tessaly::test {

/// Sets TZ for the life of the object, then puts the old value back.
struct ScopedTimeZone final {
    explicit ScopedTimeZone(const std::string& zone)
    {
        if (const char* value = std::getenv("TZ"))
            old = value;
        ::setenv("TZ", zone.c_str(), 1);
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
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    std::optional<std::string> old;
};

} // namespace tessaly::test
