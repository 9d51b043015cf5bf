#include "inflate/Crc32.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <wmmintrin.h>
#define BV_CRC32_CLMUL 1
// GCC cannot keep 64-byte vectors aligned in a Windows stack frame, so the
// 512-bit path is left to the native build; both DLLs fold 128 bits at a time.
#if defined(__x86_64__) && !defined(_WIN32)
#include <immintrin.h>
#define BV_CRC32_WIDE 1
#endif
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
// Computation for Generic Polynomials Using PCLMULQDQ"): 128-bit lanes are
// folded forward over the data, then into one lane, then reduced to 32 bits
// by Barrett reduction. It computes the same register as the table steps.
//
// Each constant pair folds a lane forward over a distance of d bits:
// {x^(d+32), x^(d-32)} mod P for the reflected polynomial 0xEDB88320,
// bit-reflected and shifted left by one.
#define BV_CLMUL_TARGET __attribute__((target("pclmul,sse2")))

alignas(16) const std::uint64_t kFold128[] = {0x01751997d0, 0x00ccaa009e};
alignas(16) const std::uint64_t kFold512[] = {0x0154442bd4, 0x01c6e41596};

BV_CLMUL_TARGET inline __m128i Load(const unsigned char* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

BV_CLMUL_TARGET inline __m128i Constants(const std::uint64_t* pair) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(pair));
}

// x folded forward by the constants in k, plus the next lane.
BV_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), next),
                         _mm_clmulepi64_si128(x, k, 0x00));
}

// x holds the register folded over everything before p; folds in the size
// bytes left (a multiple of 16) and reduces the result to 32 bits.
BV_CLMUL_TARGET std::uint32_t FinishClmul(__m128i x, const unsigned char* p, std::size_t size) {
    alignas(16) static const std::uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
    alignas(16) static const std::uint64_t poly[] = {0x01db710641, 0x01f7011641};
    __m128i k = Constants(kFold128);
    for (; size >= 16; p += 16, size -= 16) {
        x = Fold(x, k, Load(p));
    }
    // 128 bits to 64.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x0 = _mm_clmulepi64_si128(x, k, 0x10);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), x0);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x0 = _mm_srli_si128(x, 4);
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k, 0x00), x0);
    // Barrett reduction to 32 bits.
    k = Constants(poly);
    x0 = _mm_clmulepi64_si128(_mm_and_si128(x, low32), k, 0x10);
    x0 = _mm_clmulepi64_si128(_mm_and_si128(x0, low32), k, 0x00);
    x = _mm_xor_si128(x, x0);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x, 4)));
}

// Four lanes folded 64 bytes at a time. size is at least 64 and a multiple of 16.
BV_CLMUL_TARGET std::uint32_t FoldClmul(std::uint32_t reg, const unsigned char* p,
                                        std::size_t size) {
    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = Load(p + 16);
    __m128i x3 = Load(p + 32);
    __m128i x4 = Load(p + 48);
    const __m128i k512 = Constants(kFold512);
    for (p += 64, size -= 64; size >= 64; p += 64, size -= 64) {
        x1 = Fold(x1, k512, Load(p));
        x2 = Fold(x2, k512, Load(p + 16));
        x3 = Fold(x3, k512, Load(p + 32));
        x4 = Fold(x4, k512, Load(p + 48));
    }
    const __m128i k128 = Constants(kFold128);
    x1 = Fold(x1, k128, x2);
    x1 = Fold(x1, k128, x3);
    x1 = Fold(x1, k128, x4);
    return FinishClmul(x1, p, size);
}

bool HaveClmul() {
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    return have;
}

#ifdef BV_CRC32_WIDE
// The same folding on 512-bit vectors of four lanes each: four vectors folded
// 256 bytes at a time, then into one vector, whose lanes fold into one.
#define BV_WIDE_TARGET __attribute__((target("pclmul,sse2,avx512f,vpclmulqdq")))

BV_WIDE_TARGET inline __m512i Load64(const unsigned char* q) {
    return _mm512_loadu_si512(q);
}

BV_WIDE_TARGET inline __m512i Constants4(std::uint64_t up, std::uint64_t down) {
    const auto u = static_cast<long long>(up);
    const auto d = static_cast<long long>(down);
    return _mm512_set_epi64(d, u, d, u, d, u, d, u);
}

// GCC's plain extract leaves the unused source undefined, which -Wuninitialized
// reports; the zero-masking one does the same work.
template <int Index> BV_WIDE_TARGET inline __m128i Lane(__m512i z) {
    return _mm512_maskz_extracti32x4_epi32(0xF, z, Index);
}

BV_WIDE_TARGET inline __m512i Fold4(__m512i x, __m512i k, __m512i next) {
    // 0x96: the exclusive or of all three operands.
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x11),
                                     _mm512_clmulepi64_epi128(x, k, 0x00), next, 0x96);
}

// size is at least 256 and a multiple of 16.
BV_WIDE_TARGET std::uint32_t FoldWide(std::uint32_t reg, const unsigned char* p, std::size_t size) {
    __m512i z0 = _mm512_xor_si512(Load64(p),
                                  _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
    __m512i z1 = Load64(p + 64);
    __m512i z2 = Load64(p + 128);
    __m512i z3 = Load64(p + 192);
    const __m512i k2048 = Constants4(0x011542778a, 0x01322d1430);
    for (p += 256, size -= 256; size >= 256; p += 256, size -= 256) {
        z0 = Fold4(z0, k2048, Load64(p));
        z1 = Fold4(z1, k2048, Load64(p + 64));
        z2 = Fold4(z2, k2048, Load64(p + 128));
        z3 = Fold4(z3, k2048, Load64(p + 192));
    }
    const __m512i k512 = Constants4(kFold512[0], kFold512[1]);
    z0 = Fold4(z0, k512, z1);
    z0 = Fold4(z0, k512, z2);
    z0 = Fold4(z0, k512, z3);
    for (; size >= 64; p += 64, size -= 64) {
        z0 = Fold4(z0, k512, Load64(p));
    }
    // Lanes 0 to 2 folded forward over 384, 256 and 128 bits onto lane 3.
    alignas(16) static const std::uint64_t k384[] = {0x003db1ecdc, 0x0174359406};
    alignas(16) static const std::uint64_t k256[] = {0x00f1da05aa, 0x015a546366};
    __m128i x = Lane<3>(z0);
    x = Fold(Lane<0>(z0), Constants(k384), x);
    x = Fold(Lane<1>(z0), Constants(k256), x);
    x = Fold(Lane<2>(z0), Constants(kFold128), x);
    return FinishClmul(x, p, size);
}

bool HaveWide() {
    static const bool have =
        HaveClmul() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");
    return have;
}
#endif // BV_CRC32_WIDE

// The whole 16-byte blocks through fold, the bytes after them through the table.
using Folder = std::uint32_t (*)(std::uint32_t, const unsigned char*, std::size_t);
inline std::uint32_t FoldThenTable(Folder fold, std::uint32_t reg, const void* data,
                                   std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const std::size_t folded = size & ~static_cast<std::size_t>(15);
    return Crc32UpdateTable(fold(reg, p, folded), p + folded, size - folded);
}
#endif // BV_CRC32_CLMUL

} // namespace

const std::uint32_t* CrcTable() {
    return kSlice.slice[0];
}

std::uint32_t Crc32Update(std::uint32_t reg, const void* data, std::size_t size) {
#ifdef BV_CRC32_WIDE
    if (size >= 256 && HaveWide()) {
        return FoldThenTable(FoldWide, reg, data, size);
    }
#endif
    return Crc32UpdateNarrow(reg, data, size);
}

std::uint32_t Crc32UpdateNarrow(std::uint32_t reg, const void* data, std::size_t size) {
#ifdef BV_CRC32_CLMUL
    if (size >= 64 && HaveClmul()) {
        return FoldThenTable(FoldClmul, reg, data, size);
    }
#endif
    return Crc32UpdateTable(reg, data, size);
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
