// Writes the framework's compressed container for tests, fuzzers, tools and
// benchmarks, from BVInflate's own constants:
//
//   offset 0  magic (16 bits)    2  flags (16 bits)    4  expanded size
//          8  the CRC-32 when stored (and not enciphered), else not read
//         12  the CRC-32 when deflated or enciphered
//         16  one more word, not interpreted, when enciphered
//
// then the payload: raw DEFLATE, or the bytes themselves when stored. All
// words are little-endian. Header-only, so that programs which link nothing
// of the framework can use it.
#pragma once

#include "inflate/BVInflate.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace container_writer {

using Bytes = std::vector<std::uint8_t>;

inline void PutU16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void PutU32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Every field of the header, for tests that need a wrong one.
struct Header {
    std::uint16_t magic = BVInflate::kMagic;
    std::uint16_t flags = 0;
    std::uint32_t expanded = 0;
    std::uint32_t word8 = 0; // written at offset 8 unless the container is stored
    std::uint32_t crc = 0;
    std::uint32_t extra = 0; // the enciphered container's last word
};

// The header (12, 16 or 20 bytes by its flags) followed by the payload.
inline Bytes Container(const Header& h, const Bytes& payload) {
    const bool encrypted = (h.flags & BVInflate::FlagEncrypted) != 0;
    const bool stored = (h.flags & BVInflate::FlagStored) != 0;
    Bytes out;
    PutU16(out, h.magic);
    PutU16(out, h.flags);
    PutU32(out, h.expanded);
    PutU32(out, stored && !encrypted ? h.crc : h.word8);
    if (!stored || encrypted)
        PutU32(out, h.crc);
    if (encrypted)
        PutU32(out, h.extra);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A deflated container whose payload expands to size bytes with this CRC-32.
inline Bytes DeflatedContainer(std::uint32_t size, std::uint32_t crc, const Bytes& deflated) {
    Header h;
    h.expanded = size;
    h.crc = crc;
    return Container(h, deflated);
}

// A stored container of data, whose CRC-32 is crc.
inline Bytes StoredContainer(const Bytes& data, std::uint32_t crc) {
    Header h;
    h.flags = BVInflate::FlagStored;
    h.expanded = static_cast<std::uint32_t>(data.size());
    h.crc = crc;
    return Container(h, data);
}

// CRC-32 (reflected, polynomial 0xEDB88320) one bit at a time: slow, and
// independent of the framework's table-driven code.
inline std::uint32_t ReferenceCrc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline std::uint32_t ReferenceCrc32(const Bytes& data) {
    return ReferenceCrc32(data.data(), data.size());
}

} // namespace container_writer
