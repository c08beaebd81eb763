// SPDX-License-Identifier: MIT
#include "traycontrol/AnsiText.h"

#include "common/Cp932.h"

#include <cstring>

namespace lumitray::AnsiText {

void FillField(std::uint8_t* field, std::size_t size, const QString& text)
{
    if (size == 0)
        return;
    const std::string bytes = tessaly::Utf8ToCp932(text.toStdString());
    // Cut to size - 1 bytes, never between the two bytes of a character.
    std::size_t end = 0;
    while (end < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[end]);
        const std::size_t length = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
        if (end + length > size - 1 || end + length > bytes.size())
            break;
        end += length;
    }
    std::memset(field, ' ', size);
    std::memcpy(field, bytes.data(), end);
    field[end] = 0;
}

} // namespace lumitray::AnsiText
