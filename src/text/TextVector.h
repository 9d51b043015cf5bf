// Vectorised byte loops behind VMString's comparisons, wildcard searches and
// case-folded hash.
//
// Folding is ASCII only (A-Z to a-z, every other byte unchanged); none of
// these loops knows about two-byte characters except FoldText, which leaves
// the second byte of a two-byte character unfolded. Every loop reads only the
// bytes its arguments name: blocks that would cross the end are done by
// overlapping the previous block, by masked loads or byte by byte, never by
// reading past it. The one exception is a C string's end, which the AVX-512BW
// comparison finds in aligned blocks, and the short comparison in two blocks,
// that never leave the string's page.
//
// SSE2 is the baseline on x86 (both DLLs are built with it); where the
// processor has AVX2 or AVX-512BW the comparisons use the widest of them,
// chosen once on first use. Elsewhere portable word-at-a-time code runs.
#pragma once

#include <atomic>
#include <cstdint>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
#include <emmintrin.h>
#define BV_TEXT_SSE2 1
#endif

namespace textvector {

// The index of the first k in [0, n) where a[k] and b[k] differ (after
// folding when folded), or n when none does. n >= 0.
inline int Mismatch(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded);
// The same, out of line, for every n.
int MismatchAny(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded);

// The first position p in [from, last] where t[p] == first and
// t[p + gap] == second, comparing folded text bytes with first and second
// when folded (they are then given folded already), or -1. The caller
// guarantees that t[last + gap] is readable; gap >= 0.
int FindPair(const std::uint8_t* t, int from, int last, std::uint8_t first, int gap,
             std::uint8_t second, bool folded);

// The comparisons' result: 0 when a[0, an) and b[0, bn) are equal (after
// folding when folded); else +-(k + 1) at the first difference k, signed by
// the raw bytes there, or +-(shorter length + 1) when one range is a prefix
// of the other; negative when a is the smaller. an, bn >= 0.
inline int CompareRanges(const std::uint8_t* a, int an, const std::uint8_t* b, int bn, bool folded);
// The same against the zero-terminated s, of which at most limit bytes count;
// an <= limit. s is read in blocks that may run past its terminator but never
// into another page.
inline int CompareCString(const std::uint8_t* a, int an, const char* s, int limit, bool folded);

// Copies src[0, n) to dst folded, except that a lead byte with a byte after
// it in [0, end) is copied with that byte unfolded as one character. src[0]
// starts a character and n <= end. Returns the bytes copied: n, or n + 1 when
// the last character straddles n; dst must have room for n + 1.
int FoldText(std::uint8_t* dst, const std::uint8_t* src, int n, int end);

// The comparison kernels one by one, so that tests can run each path the
// processor has, not only the one chosen.
enum class Path { Portable, Sse2, Avx2, Avx512 };
using MismatchKernel = int (*)(const std::uint8_t*, const std::uint8_t*, int, bool);
// Null when this build or this processor lacks the path.
MismatchKernel MismatchFor(Path path);
// The path Mismatch uses for long ranges.
Path ChosenPath();

using RangeKernel = int (*)(const std::uint8_t*, int, const std::uint8_t*, int);
using CStringKernel = int (*)(const std::uint8_t*, int, const char*, int);
// Null when this build or this processor lacks the path; CompareRanges and
// CompareCString run the chosen path's.
RangeKernel RangeKernelFor(Path path, bool folded);
CStringKernel CStringKernelFor(Path path, bool folded);

// Ranges of 16 to 32 bytes, the common short texts, are compared in the
// caller, in two blocks; a call would cost as much as the comparison.
namespace detail {
// From 33 bytes on, the chosen path's kernels, cased and folded (below that
// the widest path gains nothing over SSE2 and the indirect call would cost
// more than it saves).
using LongKernel = int (*)(const std::uint8_t*, const std::uint8_t*, int);
extern std::atomic<LongKernel> longKernels[2];
constexpr int kLongFrom = 33;
// The whole comparisons, cased and folded, which the members tail-call.
extern std::atomic<RangeKernel> rangeKernels[2];
extern std::atomic<CStringKernel> cstringKernels[2];

// The comparisons' result once the first difference k, or its absence, is
// known.
inline int AtDifference(const std::uint8_t* a, const std::uint8_t* b, int k) {
    return a[k] < b[k] ? -(k + 1) : k + 1;
}

inline int ByLength(int an, int bn) {
    const int n = an < bn ? an : bn;
    return an == bn ? 0 : an < bn ? -(n + 1) : n + 1;
}

#ifdef BV_TEXT_SSE2
// Adding 0x3F takes exactly A-Z to 0x80-0x99, the 26 smallest signed bytes.
inline __m128i Fold16(__m128i x) {
    const __m128i shifted = _mm_add_epi8(x, _mm_set1_epi8(0x3F));
    const __m128i upper = _mm_cmplt_epi8(shifted, _mm_set1_epi8(-128 + 26));
    return _mm_or_si128(x, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

// Bytes equal once folded when folded: the same byte, or the same letter in
// either case. One operation fewer than folding both sides.
inline __m128i Equal16(__m128i x, __m128i y, bool folded) {
    const __m128i same = _mm_cmpeq_epi8(x, y);
    if (!folded)
        return same;
    const __m128i bit5 = _mm_set1_epi8(0x20);
    const __m128i lower = _mm_or_si128(x, bit5);
    const __m128i caseOnly = _mm_cmpeq_epi8(lower, _mm_or_si128(y, bit5));
    // Adding 0x1F takes exactly a-z to 0x80-0x99, the 26 smallest signed bytes.
    const __m128i shifted = _mm_add_epi8(lower, _mm_set1_epi8(0x1F));
    const __m128i letter = _mm_cmplt_epi8(shifted, _mm_set1_epi8(-128 + 26));
    return _mm_or_si128(same, _mm_and_si128(caseOnly, letter));
}

// Bit i set where x and y differ in byte i.
inline unsigned Differ16(__m128i x, __m128i y, bool folded) {
    return static_cast<unsigned>(_mm_movemask_epi8(Equal16(x, y, folded))) ^ 0xFFFFu;
}

inline __m128i Load16(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Bit i set where a[i] and b[i] differ.
inline unsigned Differ16(const std::uint8_t* a, const std::uint8_t* b, bool folded) {
    return Differ16(Load16(a), Load16(b), folded);
}

// Bit i set where x's byte i is zero.
inline unsigned Zero16(__m128i x) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_setzero_si128())));
}

// A C string's comparison for 16 <= an <= 32, where s[0, an) lies in s's
// page: the first 16 bytes, then, unless they decide, the last 16, which
// overlap them unless an is 32. Both are read whether or not the string ends
// before them. The byte s[an] is read only once every byte before it is known
// to be the string's.
__attribute__((no_sanitize_address)) inline int
ShortCString(const std::uint8_t* a, int an, const std::uint8_t* s, int limit, bool folded) {
    // Read here, not through Load16: only this function is exempt from the
    // address checks that would object to bytes past the terminator.
    const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    std::uint32_t zero = Zero16(head);
    std::uint32_t events = Differ16(Load16(a), head, folded) | zero;
    if (events == 0 && an > 16) {
        const int k = an - 16;
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
        zero = Zero16(tail) << k;
        events = Differ16(Load16(a + k), tail, folded) << k | zero;
    }
    if (events != 0) {
        const int p = __builtin_ctz(events);
        return (zero >> p & 1) != 0 ? p + 1 : AtDifference(a, s, p);
    }
    return an < limit && s[an] != 0 ? -(an + 1) : 0;
}
#endif
} // namespace detail

inline int Mismatch(const std::uint8_t* a, const std::uint8_t* b, int n, bool folded) {
#ifdef BV_TEXT_SSE2
    if (n >= 16 && n <= 32) {
        int k = 0;
        for (; n - k > 16; k += 16)
            if (const unsigned m = detail::Differ16(a + k, b + k, folded))
                return k + __builtin_ctz(m);
        k = n - 16; // overlaps the block before unless n is a multiple of 16
        if (const unsigned m = detail::Differ16(a + k, b + k, folded))
            return k + __builtin_ctz(m);
        return n;
    }
#endif
    if (n >= detail::kLongFrom)
        return detail::longKernels[folded ? 1 : 0].load(std::memory_order_relaxed)(a, b, n);
    return MismatchAny(a, b, n, folded);
}

inline int CompareRanges(const std::uint8_t* a, int an, const std::uint8_t* b, int bn,
                         bool folded) {
#ifdef BV_TEXT_SSE2
    // Short texts are compared here: the jump to a kernel would cost more
    // than its wider vectors save.
    const int n = an < bn ? an : bn;
    if (n >= 16 && n <= 32) {
        const int k = Mismatch(a, b, n, folded);
        return k < n ? detail::AtDifference(a, b, k) : detail::ByLength(an, bn);
    }
#endif
    return detail::rangeKernels[folded ? 1 : 0].load(std::memory_order_relaxed)(a, an, b, bn);
}

inline int CompareCString(const std::uint8_t* a, int an, const char* s, int limit, bool folded) {
#ifdef BV_TEXT_SSE2
    // Short texts, as in CompareRanges, unless the string's blocks could
    // reach the next page.
    if (an >= 16 && an <= 32 && (reinterpret_cast<std::uintptr_t>(s) & 4095) <= 4096u - an)
        return detail::ShortCString(a, an, reinterpret_cast<const std::uint8_t*>(s), limit, folded);
#endif
    return detail::cstringKernels[folded ? 1 : 0].load(std::memory_order_relaxed)(a, an, s, limit);
}

} // namespace textvector
