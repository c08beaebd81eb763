// SPDX-License-Identifier: MIT
// Reads an arbitrary notice of the outbox, then writes and reads back what
// was read.
#include "notify/Outbox.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tessaly::Notice notice;
    if (!tessaly::ParseNotice(std::string_view(reinterpret_cast<const char*>(data), size), &notice))
        return 0;
    tessaly::Notice again;
    if (!tessaly::ParseNotice(tessaly::FormatNotice(notice), &again) || !(again == notice))
        std::abort(); // whatever was read must survive being written
    return 0;
}
