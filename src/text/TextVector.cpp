#include "text/TextVector.h"

#include "text/TextBytes.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#ifdef BV_TEXT_SSE2
#include <immintrin.h>
// GCC cannot keep 32- and 64-byte vectors aligned in a Windows stack frame
// (it may spill them with aligned moves into a 16-byte-aligned frame), so the
// wide paths are left to the native build; both DLLs share the SSE2 one.
#if !defined(_WIN32) && defined(__x86_64__)
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

using detail::AtDifference;
using detail::ByLength;

// The SSE2 and portable paths compare through Mismatch, which already runs
// the chosen path's long kernel.
template <bool Folded>
int MismatchCompareRanges(const std::uint8_t* a, int an, const std::uint8_t* b, int bn) {
    const int n = an < bn ? an : bn;
    const int k = Mismatch(a, b, n, Folded);
    return k < n ? AtDifference(a, b, k) : ByLength(an, bn);
}

// The C string's end is found a block at a time just before the block is
// compared, so that a long string is read once from memory, and never past
// its end or past the byte that decides the result.
template <bool Folded>
int MismatchCompareCString(const std::uint8_t* a, int an, const char* s, int limit) {
    constexpr int kBlock = 8192;
    const auto* p = reinterpret_cast<const std::uint8_t*>(s);
    for (int done = 0;;) {
        const int block = std::min(an - done, kBlock);
        const auto room = static_cast<std::size_t>(std::min(block, limit - done));
        const int len = static_cast<int>(strnlen(s + done, room));
        const int k = Mismatch(a + done, p + done, len, Folded);
        if (k < len)
            return AtDifference(a, p, done + k);
        done += len;
        if (len < block)
            return done + 1; // the C string ended first
        if (done == an)
            return done < limit && p[done] != 0 ? -(done + 1) : 0;
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

using detail::Differ16;
using detail::Fold16;
using detail::Load16;

template <bool Folded> BV_INLINE __m128i Equal16(const std::uint8_t* a, const std::uint8_t* b) {
    return detail::Equal16(Load16(a), Load16(b), Folded);
}

// From k, a block of n - k >= 16 bytes, the last block overlapping the one
// before it: bytes before k are known to agree, so the first difference in
// the overlap is still the first one.
template <bool Folded>
BV_INLINE int Sse2MismatchFrom(const std::uint8_t* a, const std::uint8_t* b, int k, int n) {
    for (; n - k >= 16; k += 16)
        if (const unsigned m = Differ16(a + k, b + k, Folded))
            return k + __builtin_ctz(m);
    if (k < n) {
        const int last = n - 16;
        if (const unsigned m = Differ16(a + last, b + last, Folded))
            return last + __builtin_ctz(m);
    }
    return n;
}

template <bool Folded>
BV_INLINE int Sse2Mismatch(const std::uint8_t* a, const std::uint8_t* b, int n) {
    if (n < 16)
        return PortableMismatch<Folded>(a, b, n);
    if (const unsigned m = Differ16(a, b, Folded))
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
// A wide path's comparison of more than 64 bytes, through its long mismatch
// loop. Kept out of line so that the short comparisons save no registers.
template <int (*LongMismatch)(const std::uint8_t*, const std::uint8_t*, int)>
__attribute__((noinline)) int CompareLong(const std::uint8_t* a, int an, const std::uint8_t* b,
                                          int bn) {
    const int n = an < bn ? an : bn;
    const int k = LongMismatch(a, b, n);
    return k < n ? AtDifference(a, b, k) : ByLength(an, bn);
}

// The C-string kernels read whole aligned blocks, past the terminator but
// never into the next page, which a byte-exact checker would report.
#define BV_OVERREADS __attribute__((no_sanitize_address))

// The result at the first position p of a block at k where the bytes differ
// or the C string ends (zero: bit p set where the string's byte is zero). p
// may be an, the byte that says whether the string goes on past the text.
BV_INLINE int AtEvent(const std::uint8_t* a, int an, const std::uint8_t* s, int k,
                      std::uint64_t events, std::uint64_t zero) {
    const int bit = __builtin_ctzll(events);
    const int p = k + bit;
    if (p == an)
        return (zero >> bit & 1) != 0 ? 0 : -(an + 1);
    if ((zero >> bit & 1) != 0)
        return p + 1; // the C string ended first
    return AtDifference(a, s, p);
}

// --- AVX2: thirty-two bytes ----------------------------------------------------------

#define BV_AVX2 __attribute__((target("avx2")))

BV_AVX2 __m256i Load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Equal once folded: the same byte, or the same letter in either case. One
// operation fewer than folding both sides.
template <bool Folded> BV_AVX2 __m256i Equal32(__m256i x, __m256i y) {
    const __m256i same = _mm256_cmpeq_epi8(x, y);
    if (!Folded)
        return same;
    const __m256i bit5 = _mm256_set1_epi8(0x20);
    const __m256i lower = _mm256_or_si256(x, bit5);
    const __m256i caseOnly = _mm256_cmpeq_epi8(lower, _mm256_or_si256(y, bit5));
    // Adding 0x1F takes exactly a-z to 0x80-0x99, the 26 smallest signed bytes.
    const __m256i shifted = _mm256_add_epi8(lower, _mm256_set1_epi8(0x1F));
    const __m256i letter = _mm256_cmpgt_epi8(_mm256_set1_epi8(-128 + 26), shifted);
    return _mm256_or_si256(same, _mm256_and_si256(caseOnly, letter));
}

template <bool Folded> BV_AVX2 __m256i Equal32(const std::uint8_t* a, const std::uint8_t* b) {
    return Equal32<Folded>(Load32(a), Load32(b));
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

// Bit i set where x and y differ in byte i.
template <bool Folded> BV_AVX2 std::uint32_t Differ32(__m256i x, __m256i y) {
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(Equal32<Folded>(x, y)));
}

template <bool Folded>
BV_AVX2 std::uint32_t Differ32(const std::uint8_t* a, const std::uint8_t* b) {
    return Differ32<Folded>(Load32(a), Load32(b));
}

// The whole comparison, without the second jump that going through Mismatch
// would take. 32 to 64 bytes are two blocks, the second overlapping the first
// unless n is 64: bytes in the overlap agree when the first block does, so
// the lowest bit of the two masks is the first difference.
template <bool Folded>
BV_AVX2 int Avx2CompareRanges(const std::uint8_t* a, int an, const std::uint8_t* b, int bn) {
    const int n = an < bn ? an : bn;
    if (__builtin_expect(n >= 32, 1)) {
        if (n > 64)
            return CompareLong<Avx2Mismatch<Folded>>(a, an, b, bn);
        const int last = n - 32;
        const std::uint64_t m =
            Differ32<Folded>(a, b) | std::uint64_t{Differ32<Folded>(a + last, b + last)} << last;
        if (__builtin_expect(m == 0 && an == bn, 1))
            return 0;
        return m != 0 ? AtDifference(a, b, __builtin_ctzll(m)) : ByLength(an, bn);
    }
    const int k = Sse2Mismatch<Folded>(a, b, n);
    return k < n ? AtDifference(a, b, k) : ByLength(an, bn);
}

// Bit i set where x's byte i is zero.
BV_AVX2 std::uint32_t Zero32(__m256i x) {
    return static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(x, _mm256_setzero_si256())));
}

// Whether a[0, 128) and the aligned s[0, 128) agree and s holds no zero
// there. All four blocks of s lie in one page.
template <bool Folded>
BV_AVX2 BV_OVERREADS bool Clean128(const std::uint8_t* a, const std::uint8_t* s) {
    __m256i least = _mm256_set1_epi8(-1);
    __m256i equal = least;
    for (int i = 0; i < 128; i += 32) {
        const __m256i y = _mm256_load_si256(reinterpret_cast<const __m256i*>(s + i));
        least = _mm256_min_epu8(least, y);
        equal = _mm256_and_si256(equal, Equal32<Folded>(Load32(a + i), y));
    }
    const __m256i zero = _mm256_cmpeq_epi8(least, _mm256_setzero_si256());
    return _mm256_movemask_epi8(_mm256_andnot_si256(zero, equal)) == -1;
}

// From k on, where s + k is 32-byte aligned, every byte before k is checked,
// k < end and an >= 32. Whole blocks are read four at a time from each
// 128-byte boundary of s, which keeps the four in one page. Out of line, so
// that short strings save no registers.
template <bool Folded>
__attribute__((noinline)) BV_AVX2 BV_OVERREADS int
Avx2CStringFrom(const std::uint8_t* a, int an, const std::uint8_t* s, int end, int k) {
    for (;; k += 32) {
        if ((reinterpret_cast<std::uintptr_t>(s + k) & 127) == 0)
            while (end - k > 128 && Clean128<Folded>(a + k, s + k))
                k += 128;
        const __m256i y = _mm256_load_si256(reinterpret_cast<const __m256i*>(s + k));
        const std::uint32_t zero = Zero32(y);
        std::uint32_t differ;
        if (an - k >= 32) {
            differ = Differ32<Folded>(Load32(a + k), y);
        } else {
            // The string's byte past the text is an event unless it is zero.
            differ = 1u << (an - k);
            // The text's last 32 bytes against the string's, which lie in
            // this block and the one before it: the text is read exactly.
            if (an > k) {
                const auto* tail = reinterpret_cast<const __m256i*>(s + an - 32);
                differ |= Differ32<Folded>(Load32(a + an - 32), _mm256_loadu_si256(tail)) >>
                          (k + 32 - an);
            }
        }
        const int left = end - k;
        const std::uint64_t live = left < 32 ? (std::uint64_t{1} << left) - 1 : 0xFFFFFFFFu;
        if (const std::uint64_t events = (differ | zero) & live)
            return AtEvent(a, an, s, k, events, zero);
        if (left <= 32)
            return 0;
    }
}

// The C string is read in 32-byte blocks, the first one unaligned unless it
// would reach the next page, the others aligned; a block is read only when
// every byte before it belongs to the string, or when it lies in the page
// that holds s[0, an). The text's bytes are read exactly. Texts under 32
// bytes take the general path.
template <bool Folded>
BV_AVX2 BV_OVERREADS int Avx2CompareCString(const std::uint8_t* a, int an, const char* str,
                                            int limit) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(str);
    const auto offset = static_cast<int>(reinterpret_cast<std::uintptr_t>(s) & 4095);
    if (an < 32 || offset > 4096 - 32)
        return MismatchCompareCString<Folded>(a, an, str, limit);
    // Positions before `end` decide: the text's bytes and, unless limit stops
    // the string there, the string's byte just past them.
    const int end = an < limit ? an + 1 : an;
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
    std::uint64_t zero = Zero32(y);
    std::uint64_t events = Differ32<Folded>(Load32(a), y) | zero;
    if (an <= 64 && offset <= 4096 - an) {
        // The last 32 bytes as a second block, which overlaps the first
        // unless an is 64: the lowest event of the two is the first.
        const int last = an - 32;
        const __m256i tail = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + last));
        const std::uint64_t tailZero = Zero32(tail);
        zero |= tailZero << last;
        events |= (Differ32<Folded>(Load32(a + last), tail) | tailZero) << last;
        if (events != 0)
            return AtEvent(a, an, s, 0, events, zero);
        // Every byte before s[an] is the string's, so it may be read.
        return end == an || s[an] == 0 ? 0 : -(an + 1);
    }
    if (events != 0)
        return AtEvent(a, an, s, 0, events, zero);
    const int k = 32 - (offset & 31);
    return Avx2CStringFrom<Folded>(a, an, s, end, k);
}

// --- AVX-512BW: sixty-four bytes -------------------------------------------------------

// Masked loads read only the bytes their mask names (the others are neither
// read nor faulted on), so a range of up to 64 bytes is one block whatever
// its length.
#define BV_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl,bmi,bmi2")))
BV_AVX512 __m512i Fold64(__m512i x) {
    const __m512i offset = _mm512_sub_epi8(x, _mm512_set1_epi8('A'));
    const __mmask64 upper = _mm512_cmplt_epu8_mask(offset, _mm512_set1_epi8(26));
    return _mm512_mask_add_epi8(x, upper, x, _mm512_set1_epi8(0x20));
}

template <bool Folded> BV_AVX512 std::uint64_t Differ64(__m512i x, __m512i y) {
    if (Folded) {
        x = Fold64(x);
        y = Fold64(y);
    }
    return _mm512_cmpneq_epi8_mask(x, y);
}

// GCC's headers make the upper half of a widened 256-bit vector undefined
// by initialising a variable with itself, which -Wmaybe-uninitialized reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// A 64-byte load that straddles two cache lines costs about twice as much as
// two 32-byte loads of which one straddles, so the side that cannot be
// aligned is read in halves.
BV_AVX512 __m512i LoadHalves(const std::uint8_t* p) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

// a is 64-byte aligned; b need not be.
template <bool Folded>
BV_AVX512 std::uint64_t Differ64(const std::uint8_t* a, const std::uint8_t* b) {
    return Differ64<Folded>(_mm512_load_si512(a), LoadHalves(b));
}

// The lowest n bits, 0 <= n <= 64.
BV_AVX512 std::uint64_t Low(int n) {
    return _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(n));
}

// Bit i set where a[i] and b[i] differ, for i < n <= 64.
template <bool Folded>
BV_AVX512 std::uint64_t DifferUpTo64(const std::uint8_t* a, const std::uint8_t* b, int n) {
    const std::uint64_t live = Low(n);
    return Differ64<Folded>(_mm512_maskz_loadu_epi8(live, a), _mm512_maskz_loadu_epi8(live, b));
}

// n > 64. Kept out of line so that the short comparisons save no registers.
template <bool Folded>
__attribute__((noinline)) BV_AVX512 int Avx512LongMismatch(const std::uint8_t* a,
                                                           const std::uint8_t* b, int n) {
    if (const std::uint64_t m = Differ64<Folded>(_mm512_loadu_si512(a), _mm512_loadu_si512(b)))
        return __builtin_ctzll(m);
    // From the first 64-byte boundary of a on, a's blocks are aligned.
    int k = 64 - static_cast<int>(reinterpret_cast<std::uintptr_t>(a) & 63);
    // Two blocks a round keep more loads in flight. (A software prefetch a
    // page ahead made long ranges slower, not faster: the hardware's own
    // prefetchers follow two forward streams well.)
    for (; n - k >= 128; k += 128)
        if ((Differ64<Folded>(a + k, b + k) | Differ64<Folded>(a + k + 64, b + k + 64)) != 0)
            break;
    for (; n - k >= 64; k += 64)
        if (const std::uint64_t m = Differ64<Folded>(a + k, b + k))
            return k + __builtin_ctzll(m);
    if (k < n)
        if (const std::uint64_t m = DifferUpTo64<Folded>(a + k, b + k, n - k))
            return k + __builtin_ctzll(m);
    return n;
}

template <bool Folded>
BV_AVX512 int Avx512Mismatch(const std::uint8_t* a, const std::uint8_t* b, int n) {
    if (n > 64)
        return Avx512LongMismatch<Folded>(a, b, n);
    const std::uint64_t m = DifferUpTo64<Folded>(a, b, n);
    return m != 0 ? __builtin_ctzll(m) : n;
}

BV_AVX512 int Avx512Kernel(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded) {
    return folded ? Avx512Mismatch<true>(a, b, n) : Avx512Mismatch<false>(a, b, n);
}

BV_AVX512 __m256i Fold32Masked(__m256i x) {
    const __m256i offset = _mm256_sub_epi8(x, _mm256_set1_epi8('A'));
    const __mmask32 upper = _mm256_cmplt_epu8_mask(offset, _mm256_set1_epi8(26));
    return _mm256_mask_add_epi8(x, upper, x, _mm256_set1_epi8(0x20));
}

// Bit i set where a[i] and b[i] differ, for i < n <= 32: half-width vectors,
// which the processors that split 512-bit work into two halves run at twice
// the rate.
template <bool Folded>
BV_AVX512 std::uint32_t DifferUpTo32(const std::uint8_t* a, const std::uint8_t* b, int n) {
    const __mmask32 live = static_cast<__mmask32>(_bzhi_u32(~0u, static_cast<unsigned>(n)));
    __m256i x = _mm256_maskz_loadu_epi8(live, a);
    __m256i y = _mm256_maskz_loadu_epi8(live, b);
    if (Folded) {
        x = Fold32Masked(x);
        y = Fold32Masked(y);
    }
    return _mm256_cmpneq_epi8_mask(x, y);
}

template <bool Folded>
BV_AVX512 int Avx512CompareRanges(const std::uint8_t* a, int an, const std::uint8_t* b, int bn) {
    const int n = an < bn ? an : bn;
    // The callers compare 16 to 32 bytes themselves, so most ranges here are
    // longer; equal ones of up to 64 bytes take no jump.
    if (__builtin_expect(n > 32, 1)) {
        if (n > 64)
            return CompareLong<Avx512LongMismatch<Folded>>(a, an, b, bn);
        const std::uint64_t m = DifferUpTo64<Folded>(a, b, n);
        if (__builtin_expect(m == 0 && an == bn, 1))
            return 0;
        return m != 0 ? AtDifference(a, b, __builtin_ctzll(m)) : ByLength(an, bn);
    }
    const std::uint32_t m = DifferUpTo32<Folded>(a, b, n);
    return m != 0 ? AtDifference(a, b, __builtin_ctz(m)) : ByLength(an, bn);
}

// From k on, where s + k is 64-byte aligned and every byte before k is
// checked; k < end. Whole blocks are read in pairs from each 128-byte
// boundary of s: a pair from any other block could reach into the next page
// although the string ends in its first block. Out of line, so that short
// strings save no registers.
template <bool Folded>
__attribute__((noinline)) BV_AVX512 BV_OVERREADS int
Avx512CStringFrom(const std::uint8_t* a, int an, const std::uint8_t* s, int end, int k) {
    for (;; k += 64) {
        if ((reinterpret_cast<std::uintptr_t>(s + k) & 127) == 0) {
            for (; end - k > 128; k += 128) {
                const __m512i y0 = _mm512_load_si512(s + k);
                const __m512i y1 = _mm512_load_si512(s + k + 64);
                const __m512i least = _mm512_min_epu8(y0, y1);
                const std::uint64_t any = Differ64<Folded>(LoadHalves(a + k), y0) |
                                          Differ64<Folded>(LoadHalves(a + k + 64), y1) |
                                          _mm512_testn_epi8_mask(least, least);
                if (any != 0)
                    break;
            }
        }
        const __m512i y = _mm512_load_si512(s + k);
        const int left = end - k;
        const int text = an - k < 64 ? an - k : 64;
        const __m512i x = _mm512_maskz_loadu_epi8(Low(text), a + k);
        const std::uint64_t zero = _mm512_testn_epi8_mask(y, y);
        const std::uint64_t events = (Differ64<Folded>(x, y) | zero) & Low(left < 64 ? left : 64);
        if (events != 0)
            return AtEvent(a, an, s, k, events, zero);
        if (left <= 64)
            return 0;
    }
}

// The first block: y holds the string's first `first` bytes (1 to 64), the
// rest of it zero.
template <bool Folded>
BV_INLINE BV_AVX512 BV_OVERREADS int CStringFirstBlock(const std::uint8_t* a, int an,
                                                       const std::uint8_t* s, int limit, __m512i y,
                                                       int first) {
    // Positions before `end` decide: the text's bytes and, unless limit stops
    // the string there, the string's byte just past them.
    const int end = an < limit ? an + 1 : an;
    const __m512i x = _mm512_maskz_loadu_epi8(Low(an < 64 ? an : 64), a);
    const std::uint64_t zero = _mm512_testn_epi8_mask(y, y) & Low(first);
    const std::uint64_t events = (Differ64<Folded>(x, y) | zero) & Low(end < first ? end : first);
    if (events != 0)
        return AtEvent(a, an, s, 0, events, zero);
    if (an < first || end <= first)
        return 0;    // the block held the text and the string's byte after it
    if (an == first) // every byte before an is the string's, so s[an] may be read
        return end == an || s[an] == 0 ? 0 : -(an + 1);
    // The first block reached at least the string's first 64-byte boundary.
    const int k = 64 - static_cast<int>(reinterpret_cast<std::uintptr_t>(s) & 63);
    return Avx512CStringFrom<Folded>(a, an, s, end, k);
}

// A string that starts within 64 bytes of its page's end: its first block
// stops at the page's end.
template <bool Folded>
__attribute__((noinline)) BV_AVX512 BV_OVERREADS int
Avx512CStringNearPageEnd(const std::uint8_t* a, int an, const std::uint8_t* s, int limit) {
    const int first = 4096 - static_cast<int>(reinterpret_cast<std::uintptr_t>(s) & 4095);
    const __m512i y = _mm512_maskz_loadu_epi8(Low(first), s);
    return CStringFirstBlock<Folded>(a, an, s, limit, y, first);
}

// The C string is read in 64-byte blocks, aligned to 64 after the first, that
// never cross into another page; a block is read only when every byte before
// it belongs to the string, so its page exists. The text's bytes are read
// exactly. The usual first block is a plain load: one whose mask must first
// be worked out from the address would start later.
template <bool Folded>
BV_AVX512 BV_OVERREADS int Avx512CompareCString(const std::uint8_t* a, int an, const char* str,
                                                int limit) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(str);
    if ((reinterpret_cast<std::uintptr_t>(s) & 4095) > 4096 - 64)
        return Avx512CStringNearPageEnd<Folded>(a, an, s, limit);
    return CStringFirstBlock<Folded>(a, an, s, limit, _mm512_loadu_si512(s), 64);
}

#pragma GCC diagnostic pop

bool Has(Path path) {
    // The processor's answer, asked once per path. The AVX-512BW kernels make
    // their masks with BMI2's bzhi and compare short ranges on 256-bit vectors
    // (VL), which such processors have; asked all the same.
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool avx512 = avx2 && __builtin_cpu_supports("avx512bw") &&
                               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("bmi2");
    return path == Path::Avx2 ? avx2 : path == Path::Avx512 ? avx512 : true;
}
#endif // BV_TEXT_WIDE

constexpr Path kWidestFirst[] = {Path::Avx512, Path::Avx2, Path::Sse2, Path::Portable};

// The comparisons call the chosen path's kernels straight through the
// pointers in detail. They start at resolvers that ask the processor on first
// use (not at load: the processor's answers may not be ready before the
// program starts), store the choice and run it. Threads that race there store
// the same pointers.
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

template <bool Folded> RangeKernel RangesFor(Path path) {
#ifdef BV_TEXT_WIDE
    if (path == Path::Avx512)
        return Avx512CompareRanges<Folded>;
    if (path == Path::Avx2)
        return Avx2CompareRanges<Folded>;
#endif
    (void)path;
    return MismatchCompareRanges<Folded>;
}

template <bool Folded> CStringKernel CStringsFor(Path path) {
#ifdef BV_TEXT_WIDE
    if (path == Path::Avx512)
        return Avx512CompareCString<Folded>;
    if (path == Path::Avx2)
        return Avx2CompareCString<Folded>;
#endif
    (void)path;
    return MismatchCompareCString<Folded>;
}

// Stores every kernel of the chosen path and returns the path.
Path Choose() {
    const Path path = ChosenPath();

    detail::longKernels[0].store(LongKernelFor<false>(path), std::memory_order_relaxed);
    detail::longKernels[1].store(LongKernelFor<true>(path), std::memory_order_relaxed);
    detail::rangeKernels[0].store(RangesFor<false>(path), std::memory_order_relaxed);
    detail::rangeKernels[1].store(RangesFor<true>(path), std::memory_order_relaxed);
    detail::cstringKernels[0].store(CStringsFor<false>(path), std::memory_order_relaxed);
    detail::cstringKernels[1].store(CStringsFor<true>(path), std::memory_order_relaxed);
    return path;
}

template <bool Folded> int ResolveLong(const std::uint8_t* a, const std::uint8_t* b, int n) {
    return LongKernelFor<Folded>(Choose())(a, b, n);
}

template <bool Folded>
int ResolveRanges(const std::uint8_t* a, int an, const std::uint8_t* b, int bn) {
    return RangesFor<Folded>(Choose())(a, an, b, bn);
}

template <bool Folded> int ResolveCString(const std::uint8_t* a, int an, const char* s, int limit) {
    return CStringsFor<Folded>(Choose())(a, an, s, limit);
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

RangeKernel RangeKernelFor(Path path, bool folded) {
    if (MismatchFor(path) == nullptr)
        return nullptr;
    return folded ? RangesFor<true>(path) : RangesFor<false>(path);
}

CStringKernel CStringKernelFor(Path path, bool folded) {
    if (MismatchFor(path) == nullptr)
        return nullptr;
    return folded ? CStringsFor<true>(path) : CStringsFor<false>(path);
}

namespace detail {
std::atomic<LongKernel> longKernels[2] = {{ResolveLong<false>}, {ResolveLong<true>}};
std::atomic<RangeKernel> rangeKernels[2] = {{ResolveRanges<false>}, {ResolveRanges<true>}};
std::atomic<CStringKernel> cstringKernels[2] = {{ResolveCString<false>}, {ResolveCString<true>}};

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
