#include "inflate/Crc32.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <wmmintrin.h>
#define BV_CRC32_CLMUL 1
#endif

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

#ifdef BV_CRC32_CLMUL
// Carry-less multiplication folding (the method of Intel's "Fast CRC
// Computation for Generic Polynomials Using PCLMULQDQ"): four 128-bit lanes
// are folded 64 bytes at a time, then into one lane, then reduced to 32 bits
// by Barrett reduction. It computes the same register as the table steps;
// the constants are x^k mod P for the reflected polynomial 0xEDB88320.
// size is at least 64 and a multiple of 16.
#define BV_CLMUL_TARGET __attribute__((target("pclmul,sse2")))

BV_CLMUL_TARGET inline __m128i Load(const unsigned char* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// x folded forward over 128 bits by the constants in k, plus the next lane.
BV_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), next),
                         _mm_clmulepi64_si128(x, k, 0x00));
}

BV_CLMUL_TARGET std::uint32_t FoldClmul(std::uint32_t reg, const unsigned char* p,
                                        std::size_t size) {
    alignas(16) static const std::uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static const std::uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static const std::uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
    alignas(16) static const std::uint64_t poly[] = {0x01db710641, 0x01f7011641};

    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = Load(p + 16);
    __m128i x3 = Load(p + 32);
    __m128i x4 = Load(p + 48);
    p += 64;
    size -= 64;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    while (size >= 64) {
        x1 = Fold(x1, k, Load(p));
        x2 = Fold(x2, k, Load(p + 16));
        x3 = Fold(x3, k, Load(p + 32));
        x4 = Fold(x4, k, Load(p + 48));
        p += 64;
        size -= 64;
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = Fold(x1, k, x2);
    x1 = Fold(x1, k, x3);
    x1 = Fold(x1, k, x4);
    while (size >= 16) {
        x1 = Fold(x1, k, Load(p));
        p += 16;
        size -= 16;
    }
    // 128 bits to 64.
    __m128i x0 = _mm_clmulepi64_si128(x1, k, 0x10);
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x0);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x0 = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), x0);
    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x0 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    x0 = _mm_clmulepi64_si128(_mm_and_si128(x0, low32), k, 0x00);
    x1 = _mm_xor_si128(x1, x0);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

bool HaveClmul() {
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    return have;
}
#endif

} // namespace

const std::uint32_t* CrcTable() {
    return kSlice.slice[0];
}

std::uint32_t Crc32Update(std::uint32_t reg, const void* data, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
#ifdef BV_CRC32_CLMUL
    if (size >= 64 && HaveClmul()) {
        const std::size_t folded = size & ~static_cast<std::size_t>(15);
        reg = FoldClmul(reg, p, folded);
        p += folded;
        size -= folded;
    }
#endif
    return Crc32UpdateTable(reg, p, size);
}

std::uint32_t Crc32UpdateTable(std::uint32_t reg, const void* data, std::size_t size) {
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
