#include "inflate/Crc32.h"

#include <cstring>

namespace bv_inflate {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 8;

// slice[0] is the standard table; slice[k][b] is the register change of byte b
// followed by k zero bytes, so that eight bytes fold with eight independent
// lookups instead of a chain of eight.
struct SliceTables {
    std::uint32_t slice[kSlices][256];
};

constexpr SliceTables MakeSliceTables() {
    SliceTables t{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t r = b;
        for (int i = 0; i < 8; ++i) {
            r = (r & 1) != 0 ? (r >> 1) ^ kPolynomial : r >> 1;
        }
        t.slice[0][b] = r;
    }
    for (int k = 1; k < kSlices; ++k) {
        for (int b = 0; b < 256; ++b) {
            std::uint32_t prev = t.slice[k - 1][b];
            t.slice[k][b] = (prev >> 8) ^ t.slice[0][prev & 0xFF];
        }
    }
    return t;
}

constexpr SliceTables kSlice = MakeSliceTables();
static_assert(kSlice.slice[0][1] == 0x77073096u, "standard table for 0xEDB88320");

std::uint32_t LoadLittleEndian32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

const std::uint32_t* CrcTable() {
    return kSlice.slice[0];
}

std::uint32_t Crc32Update(std::uint32_t reg, const void* data, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const auto& s = kSlice.slice;
    while (size >= 8) {
        std::uint32_t lo = reg ^ LoadLittleEndian32(p);
        std::uint32_t hi = LoadLittleEndian32(p + 4);
        reg = s[7][lo & 0xFF] ^ s[6][(lo >> 8) & 0xFF] ^ s[5][(lo >> 16) & 0xFF] ^ s[4][lo >> 24] ^
              s[3][hi & 0xFF] ^ s[2][(hi >> 8) & 0xFF] ^ s[1][(hi >> 16) & 0xFF] ^ s[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0) {
        reg = (reg >> 8) ^ s[0][(reg ^ *p++) & 0xFF];
    }
    return reg;
}

} // namespace bv_inflate
