// SPDX-License-Identifier: MIT
// The text helpers every reader relies on: code page conversion, date and
// number parsing, the reader of token answers (flat JSON).
#include "common/Cp932.h"
#include "common/DateText.h"
#include "common/Json.h"
#include "common/NumericText.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string text = tessaly::Cp932ToUtf8(input);
    std::string bytes = tessaly::Utf8ToCp932(text);
    tessaly::Utf8ToCp932(input);
    if (auto date = tessaly::ParseDateTime(text)) {
        // A date that parses must print and parse back to the same value.
        auto again = tessaly::ParseDateTime(tessaly::FormatDateTime(*date));
        if (!again || *again != *date)
            std::abort();
    }
    tessaly::ParseInt16(text);
    if (auto json = tessaly::ParseFlatJson(input))
        json->integer("expires_in");
    return 0;
}
