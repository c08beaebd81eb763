// SPDX-License-Identifier: MIT
// The path field: any field bytes decode without harm, and any path comes
// back from its field exactly, in a field that never holds a separator.
#include "common/PathField.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string path = tessaly::DecodePathField(input);
    tessaly::ValidUtf8(path);
    const std::string field = tessaly::EncodePathField(input);
    if (tessaly::DecodePathField(field) != input)
        std::abort();
    if (field.find_first_of(",\r\n\t") != std::string::npos)
        std::abort();
    return 0;
}
