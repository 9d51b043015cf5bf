// Constant tables of the DEFLATE decoder and of the CRC-32.
//
// Everything here is constant data fixed at build time: the decoder never
// builds a table for fixed-code blocks, and the CRC table is computed by the
// compiler. The Huffman entry layout is shared with the table builder.
#pragma once

#include <cstdint>

namespace bv_inflate {

// One slot of a decoding table. op tells what the slot means:
//   0x00           literal byte: value is the byte, bits the code length
//   0x50 + e       length or distance base with e (0..13) extra bits: value is the base
//   0x60           end of block: value 256
//   0xC0           invalid: an unfilled slot (bits 0) or a symbol that must not occur
//   1..15          link to a sub-table indexed by the next op bits; bits is the root
//                  size, value the offset from this slot's index to the sub-table start
// Inside a sub-table bits holds the code length minus the root bits.
struct HuffEntry {
    std::uint32_t op;
    std::uint32_t bits;
    std::uint32_t value;
};
static_assert(sizeof(HuffEntry) == 12, "the work area holds 1,440 entries of 12 bytes");

constexpr std::uint32_t kOpLiteral = 0x00;
constexpr std::uint32_t kOpBase = 0x50;
constexpr std::uint32_t kOpEndOfBlock = 0x60;
constexpr std::uint32_t kOpInvalid = 0xC0;
// An extra-bit count of 112 turns a base entry into kOpInvalid: (112 + 0x50) & 0xFF.
constexpr std::uint8_t kExtraInvalid = 112;
static_assert(((kExtraInvalid + kOpBase) & 0xFF) == kOpInvalid, "invalid symbols decode as 0xC0");

// The bits of op that the decoder tests. Every entry but a link has kOpNotLink
// set; the low four bits count a base's extra bits or a link's index bits.
constexpr std::uint32_t kOpCountBits = 0x0F;
constexpr std::uint32_t kOpHasBase = 0x10;
constexpr std::uint32_t kOpEndBit = 0x20;
constexpr std::uint32_t kOpNotLink = 0x40;
constexpr std::uint32_t kOpInvalidBit = 0x80;

// The decoders ask in this order: literal, base, link, end of block; an entry
// that is none of these is invalid.
constexpr bool IsLiteral(std::uint32_t op) {
    return op == kOpLiteral;
}
constexpr bool IsBase(std::uint32_t op) {
    return (op & kOpHasBase) != 0;
}
constexpr bool IsLink(std::uint32_t op) {
    return op != kOpLiteral && (op & kOpNotLink) == 0;
}
constexpr bool IsEndOfBlock(std::uint32_t op) {
    return (op & kOpEndBit) != 0;
}
// Only the code-length code checks this bit: its table has no links or bases.
constexpr bool IsInvalidCodeLength(std::uint32_t op) {
    return (op & kOpInvalidBit) != 0;
}
// Extra bits of a base, index bits of a link's sub-table.
constexpr std::uint32_t OpCount(std::uint32_t op) {
    return op & kOpCountBits;
}
static_assert(IsBase(kOpBase + 13) && !IsLink(kOpBase + 13), "bases are not links");
static_assert(!IsBase(kOpEndOfBlock) && IsEndOfBlock(kOpEndOfBlock) && !IsLink(kOpEndOfBlock),
              "the end of block is neither");
static_assert(!IsBase(kOpInvalid) && !IsLink(kOpInvalid) && !IsEndOfBlock(kOpInvalid),
              "an invalid entry matches nothing");

// mask(k) = 2^k - 1 for k = 0..32.
extern const std::uint32_t kMask[33];

// Order in which the code-length code lengths are sent (RFC 1951, 3.2.7).
extern const std::uint8_t kCodeLengthOrder[19];

// Length symbols 257..287 and distance symbols 0..31 (RFC 1951, 3.2.5). The two
// last entries of each are the symbols that must not occur.
extern const std::uint16_t kLengthBase[31];
extern const std::uint8_t kLengthExtra[31];
extern const std::uint16_t kDistanceBase[32];
extern const std::uint8_t kDistanceExtra[32];

// The tables of the fixed codes (RFC 1951, 3.2.6): literal/length root 9 bits
// with no sub-tables, distance root 5 bits with symbols 30 and 31 invalid.
constexpr int kFixedLiteralRoot = 9;
constexpr int kFixedDistanceRoot = 5;
extern const HuffEntry kFixedLiteralTable[512];
extern const HuffEntry kFixedDistanceTable[32];

} // namespace bv_inflate
