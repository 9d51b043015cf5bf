#include "text/TextVector.h"

#include "text/TextBytes.h"

#include <atomic>
#include <cstring>

#ifdef BV_TEXT_SSE2
#include <immintrin.h>
// GCC cannot keep 32- and 64-byte vectors aligned in a Windows stack frame
// (it may spill them with aligned moves into a 16-byte-aligned frame), so the
// wide paths are left to the native build; both DLLs share the SSE2 one.
#if !defined(_WIN32)
#define BV_TEXT_WIDE 1
#endif
#endif

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the word loops find the first differing byte in the lowest bits");

using textbytes::Fold;
using textbytes::IsLead;

// The short comparisons are all call overhead otherwise.
#define BV_INLINE inline __attribute__((always_inline))

namespace textvector {
namespace {

// --- portable: eight bytes in a 64-bit word ------------------------------------------

BV_INLINE std::uint64_t Load8(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// A byte gains 0x20 when it is A-Z. The sums work on the low seven bits of
// each byte and stay below 0x100, so no carry crosses into the next byte;
// bytes from 0x80 up are left alone.
BV_INLINE std::uint64_t FoldWord(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    const std::uint64_t low = w & ~kHigh;
    const std::uint64_t atLeastA = low + (0x80 - 'A') * kOnes;
    const std::uint64_t aboveZ = low + (0x80 - 'Z' - 1) * kOnes;
    const std::uint64_t upper = atLeastA & ~aboveZ & ~w & kHigh;
    return w | (upper >> 2);
}

template <bool Folded> BV_INLINE std::uint8_t Map(std::uint8_t b) {
    return Folded ? Fold(b) : b;
}

// Words of eight bytes, the last one overlapping the one before it when n is
// not a multiple of eight: bytes before it are known to agree.
template <bool Folded>
BV_INLINE int PortableMismatch(const std::uint8_t* a, const std::uint8_t* b, int n) {
    if (n < 8) {
        for (int k = 0; k < n; ++k)
            if (Map<Folded>(a[k]) != Map<Folded>(b[k]))
                return k;
        return n;
    }
    for (int k = 0;; k += 8) {
        if (n - k < 8) {
            if (k == n)
                return n;
            k = n - 8;
        }
        std::uint64_t x = Load8(a + k);
        std::uint64_t y = Load8(b + k);
        if (Folded) {
            x = FoldWord(x);
            y = FoldWord(y);
        }
        if (x != y)
            return k + __builtin_ctzll(x ^ y) / 8;
        if (k == n - 8)
            return n;
    }
}

int PortableKernel(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded) {
    return folded ? PortableMismatch<true>(a, b, n) : PortableMismatch<false>(a, b, n);
}

// The bytes of one character at i, folded unless they form a two-byte one.
int FoldChar(std::uint8_t* dst, const std::uint8_t* src, int i, int end) {
    if (IsLead(src[i]) && i + 1 < end) {
        dst[i] = src[i];
        dst[i + 1] = src[i + 1];
        return i + 2;
    }
    dst[i] = Fold(src[i]);
    return i + 1;
}

#ifdef BV_TEXT_SSE2
// --- SSE2: sixteen bytes -------------------------------------------------------------

BV_INLINE __m128i Load16(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

using detail::Fold16;

template <bool Folded> BV_INLINE __m128i Equal16(const std::uint8_t* a, const std::uint8_t* b) {
    __m128i x = Load16(a);
    __m128i y = Load16(b);
    if (Folded) {
        x = Fold16(x);
        y = Fold16(y);
    }
    return _mm_cmpeq_epi8(x, y);
}

// Bit i set where a[i] and b[i] differ.
template <bool Folded> BV_INLINE unsigned Differ16(const std::uint8_t* a, const std::uint8_t* b) {
    return static_cast<unsigned>(_mm_movemask_epi8(Equal16<Folded>(a, b))) ^ 0xFFFFu;
}

// From k, a block of n - k >= 16 bytes, the last block overlapping the one
// before it: bytes before k are known to agree, so the first difference in
// the overlap is still the first one.
template <bool Folded>
BV_INLINE int Sse2MismatchFrom(const std::uint8_t* a, const std::uint8_t* b, int k, int n) {
    for (; n - k >= 16; k += 16)
        if (const unsigned m = Differ16<Folded>(a + k, b + k))
            return k + __builtin_ctz(m);
    if (k < n) {
        const int last = n - 16;
        if (const unsigned m = Differ16<Folded>(a + last, b + last))
            return last + __builtin_ctz(m);
    }
    return n;
}

template <bool Folded>
BV_INLINE int Sse2Mismatch(const std::uint8_t* a, const std::uint8_t* b, int n) {
    if (n < 16)
        return PortableMismatch<Folded>(a, b, n);
    if (const unsigned m = Differ16<Folded>(a, b))
        return __builtin_ctz(m);
    int k = 16;
    for (; n - k >= 32; k += 32) {
        const __m128i both =
            _mm_and_si128(Equal16<Folded>(a + k, b + k), Equal16<Folded>(a + k + 16, b + k + 16));
        if (_mm_movemask_epi8(both) != 0xFFFF)
            break;
    }
    return Sse2MismatchFrom<Folded>(a, b, k, n);
}

int Sse2Kernel(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded) {
    return folded ? Sse2Mismatch<true>(a, b, n) : Sse2Mismatch<false>(a, b, n);
}

template <bool Folded>
int Sse2FindPair(const std::uint8_t* t, int p, int last, std::uint8_t first, int gap,
                 std::uint8_t second) {
    const __m128i f = _mm_set1_epi8(static_cast<char>(first));
    const __m128i s = _mm_set1_epi8(static_cast<char>(second));
    // Sixteen candidates at a time while all of them are at or before last,
    // so that the second load ends at or before last + gap.
    for (; last - p >= 15; p += 16) {
        __m128i x = Load16(t + p);
        __m128i y = Load16(t + p + gap);
        if (Folded) {
            x = Fold16(x);
            y = Fold16(y);
        }
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(x, f), _mm_cmpeq_epi8(y, s));
        if (const int m = _mm_movemask_epi8(both))
            return p + __builtin_ctz(static_cast<unsigned>(m));
    }
    for (; p <= last; ++p)
        if (Map<Folded>(t[p]) == first && Map<Folded>(t[p + gap]) == second)
            return p;
    return -1;
}
#endif // BV_TEXT_SSE2

#ifdef BV_TEXT_WIDE
// --- AVX2: thirty-two bytes ----------------------------------------------------------

#define BV_AVX2 __attribute__((target("avx2")))

BV_AVX2 __m256i Load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

BV_AVX2 __m256i Fold32(__m256i x) {
    const __m256i shifted = _mm256_add_epi8(x, _mm256_set1_epi8(0x3F));
    const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(-128 + 26), shifted);
    return _mm256_or_si256(x, _mm256_and_si256(upper, _mm256_set1_epi8(0x20)));
}

template <bool Folded> BV_AVX2 __m256i Equal32(const std::uint8_t* a, const std::uint8_t* b) {
    __m256i x = Load32(a);
    __m256i y = Load32(b);
    if (Folded) {
        x = Fold32(x);
        y = Fold32(y);
    }
    return _mm256_cmpeq_epi8(x, y);
}

template <bool Folded>
BV_AVX2 int Avx2Mismatch(const std::uint8_t* a, const std::uint8_t* b, int n) {
    if (n < 32)
        return Sse2Mismatch<Folded>(a, b, n);
    int k = 0;
    for (; n - k >= 64; k += 64) {
        const __m256i both = _mm256_and_si256(Equal32<Folded>(a + k, b + k),
                                              Equal32<Folded>(a + k + 32, b + k + 32));
        if (_mm256_movemask_epi8(both) != -1)
            break;
    }
    for (; n - k >= 32; k += 32) {
        const auto m = ~static_cast<unsigned>(_mm256_movemask_epi8(Equal32<Folded>(a + k, b + k)));
        if (m != 0)
            return k + __builtin_ctz(m);
    }
    return k < n ? Sse2MismatchFrom<Folded>(a, b, k, n) : n;
}

BV_AVX2 int Avx2Kernel(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded) {
    return folded ? Avx2Mismatch<true>(a, b, n) : Avx2Mismatch<false>(a, b, n);
}

// --- AVX-512BW: sixty-four bytes -------------------------------------------------------

#define BV_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))

BV_AVX512 __m512i Fold64(__m512i x) {
    const __m512i offset = _mm512_sub_epi8(x, _mm512_set1_epi8('A'));
    const __mmask64 upper = _mm512_cmplt_epu8_mask(offset, _mm512_set1_epi8(26));
    return _mm512_mask_add_epi8(x, upper, x, _mm512_set1_epi8(0x20));
}

template <bool Folded>
BV_AVX512 std::uint64_t Differ64(const std::uint8_t* a, const std::uint8_t* b) {
    __m512i x = _mm512_loadu_si512(a);
    __m512i y = _mm512_loadu_si512(b);
    if (Folded) {
        x = Fold64(x);
        y = Fold64(y);
    }
    return _mm512_cmpneq_epi8_mask(x, y);
}

template <bool Folded>
BV_AVX512 int Avx512Mismatch(const std::uint8_t* a, const std::uint8_t* b, int n) {
    if (n < 64)
        return Avx2Mismatch<Folded>(a, b, n);
    int k = 0;
    // Two blocks a round keep more loads in flight on long ranges.
    for (; n - k >= 128; k += 128)
        if ((Differ64<Folded>(a + k, b + k) | Differ64<Folded>(a + k + 64, b + k + 64)) != 0)
            break;
    for (; n - k >= 64; k += 64)
        if (const std::uint64_t m = Differ64<Folded>(a + k, b + k))
            return k + __builtin_ctzll(m);
    if (k < n) {
        const int last = n - 64;
        if (const std::uint64_t m = Differ64<Folded>(a + last, b + last))
            return last + __builtin_ctzll(m);
    }
    return n;
}

BV_AVX512 int Avx512Kernel(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded) {
    return folded ? Avx512Mismatch<true>(a, b, n) : Avx512Mismatch<false>(a, b, n);
}

bool Has(Path path) {
    // The processor's answer, asked once per path.
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool avx512 = avx2 && __builtin_cpu_supports("avx512bw");
    return path == Path::Avx2 ? avx2 : path == Path::Avx512 ? avx512 : true;
}
#endif // BV_TEXT_WIDE

constexpr Path kWidestFirst[] = {Path::Avx512, Path::Avx2, Path::Sse2, Path::Portable};

// The long comparisons call the chosen path's kernel straight through
// detail::longKernels, cased and folded. The pointers start at a resolver that asks the
// processor on first use (not at load: the processor's answers may not be
// ready before the program starts), stores the choice and runs it. Threads
// that race there store the same pointers.
template <bool Folded> int Resolve(const std::uint8_t* a, const std::uint8_t* b, int n);

template <bool Folded> detail::LongKernel LongKernelFor(Path path) {
    switch (path) {
#ifdef BV_TEXT_WIDE
    case Path::Avx512:
        return Avx512Mismatch<Folded>;
    case Path::Avx2:
        return Avx2Mismatch<Folded>;
#endif
#ifdef BV_TEXT_SSE2
    case Path::Sse2:
        return Sse2Mismatch<Folded>;
#endif
    default:
        return PortableMismatch<Folded>;
    }
}

template <bool Folded> int Resolve(const std::uint8_t* a, const std::uint8_t* b, int n) {
    const Path path = ChosenPath();
    detail::longKernels[0].store(LongKernelFor<false>(path), std::memory_order_relaxed);
    detail::longKernels[1].store(LongKernelFor<true>(path), std::memory_order_relaxed);
    return LongKernelFor<Folded>(path)(a, b, n);
}

} // namespace

MismatchKernel MismatchFor(Path path) {
    switch (path) {
    case Path::Portable:
        return PortableKernel;
#ifdef BV_TEXT_SSE2
    case Path::Sse2:
        return Sse2Kernel;
#endif
#ifdef BV_TEXT_WIDE
    case Path::Avx2:
        return Has(path) ? Avx2Kernel : nullptr;
    case Path::Avx512:
        return Has(path) ? Avx512Kernel : nullptr;
#endif
    default:
        return nullptr;
    }
}

Path ChosenPath() {
    for (Path path : kWidestFirst)
        if (MismatchFor(path) != nullptr)
            return path;
    return Path::Portable;
}

namespace detail {
std::atomic<LongKernel> longKernels[2] = {{Resolve<false>}, {Resolve<true>}};
} // namespace detail

int MismatchAny(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded) {
    if (n >= detail::kLongFrom)
        return detail::longKernels[folded ? 1 : 0].load(std::memory_order_relaxed)(a, b, n);
#ifdef BV_TEXT_SSE2
    return folded ? Sse2Mismatch<true>(a, b, n) : Sse2Mismatch<false>(a, b, n);
#else
    return folded ? PortableMismatch<true>(a, b, n) : PortableMismatch<false>(a, b, n);
#endif
}

int FindPair(const std::uint8_t* t, int from, int last, std::uint8_t first, int gap,
             std::uint8_t second, bool folded) {
#ifdef BV_TEXT_SSE2
    return folded ? Sse2FindPair<true>(t, from, last, first, gap, second)
                  : Sse2FindPair<false>(t, from, last, first, gap, second);
#else
    for (int p = from; p <= last; ++p) {
        const std::uint8_t x = folded ? Fold(t[p]) : t[p];
        const std::uint8_t y = folded ? Fold(t[p + gap]) : t[p + gap];
        if (x == first && y == second)
            return p;
    }
    return -1;
#endif
}

// Blocks without a byte from 0x80 up hold no two-byte character and fold
// whole; a block with one is walked by characters, which may end one byte
// past it when its last byte is a lead byte.
int FoldText(std::uint8_t* dst, const std::uint8_t* src, int n, int end) {
    int i = 0;
    while (i < n) {
#ifdef BV_TEXT_SSE2
        if (n - i >= 16) {
            const __m128i x = Load16(src + i);
            if (_mm_movemask_epi8(x) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), Fold16(x));
                i += 16;
                continue;
            }
        }
#endif
        if (n - i >= 8) {
            const std::uint64_t w = Load8(src + i);
            if ((w & 0x8080808080808080u) == 0) {
                const std::uint64_t folded = FoldWord(w);
                std::memcpy(dst + i, &folded, sizeof folded);
                i += 8;
                continue;
            }
            for (const int stop = i + 8; i < stop;)
                i = FoldChar(dst, src, i, end);
            continue;
        }
        i = FoldChar(dst, src, i, end);
    }
    return i;
}

} // namespace textvector
