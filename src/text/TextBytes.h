// Byte classes of the framework's narrow text, the one definition for the text
// values, the files' text lines and the log: Shift-JIS lead bytes, and the
// ASCII-only case folding that every case-insensitive operation uses.
#pragma once

#include <cstdint>

namespace textbytes {

// The first byte of a two-byte Shift-JIS character.
inline bool IsLead(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// A-Z to a-z; every other byte, including those of two-byte characters, unchanged.
inline std::uint8_t Fold(std::uint8_t b) {
    return b >= 'A' && b <= 'Z' ? static_cast<std::uint8_t>(b + ('a' - 'A')) : b;
}

} // namespace textbytes
