// CRC-32 of ISO-HDLC / IEEE 802.3 (reflected polynomial 0xEDB88320).
//
// The caller keeps the register: preset it to 0xFFFFFFFF, feed the bytes in
// any number of pieces and invert the final value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bv_inflate {

constexpr std::uint32_t kCrcPreset = 0xFFFFFFFFu;

// The standard 256-entry table (entry 1 is 0x77073096).
const std::uint32_t* CrcTable();

// Folds size bytes into the register and returns the new register: the value
// of one table step per byte, computed with carry-less multiplication where
// the processor has it and eight table lookups per 8 bytes elsewhere.
std::uint32_t Crc32Update(std::uint32_t reg, const void* data, std::size_t size);
// Without the 512-bit path: 128-bit carry-less multiplication where the
// processor has it (what Crc32Update does on processors without
// vector carry-less multiply, and in the DLLs).
std::uint32_t Crc32UpdateNarrow(std::uint32_t reg, const void* data, std::size_t size);
// The table path alone (what Crc32Update does without carry-less multiply).
std::uint32_t Crc32UpdateTable(std::uint32_t reg, const void* data, std::size_t size);

} // namespace bv_inflate
