// The vector loops, path by path, against byte-at-a-time references. Every
// buffer is a heap block of exactly the bytes a loop may read, so that
// AddressSanitizer catches a read past the end.
#include "text/TextVector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if defined(__unix__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using textvector::Path;
using Bytes = std::vector<std::uint8_t>;

std::uint8_t Fold(std::uint8_t b) {
    return b >= 'A' && b <= 'Z' ? static_cast<std::uint8_t>(b + 32) : b;
}

bool IsLead(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

int ReferenceMismatch(const Bytes& a, const Bytes& b, bool folded) {
    for (std::size_t k = 0; k < a.size(); ++k)
        if (folded ? Fold(a[k]) != Fold(b[k]) : a[k] != b[k])
            return static_cast<int>(k);
    return static_cast<int>(a.size());
}

const char* Name(Path path) {
    switch (path) {
    case Path::Portable:
        return "portable";
    case Path::Sse2:
        return "SSE2";
    case Path::Avx2:
        return "AVX2";
    default:
        return "AVX-512BW";
    }
}

const auto kEveryPath = ::testing::Values(Path::Portable, Path::Sse2, Path::Avx2, Path::Avx512);

std::string TestName(const ::testing::TestParamInfo<Path>& info) {
    return info.param == Path::Portable ? "Portable"
           : info.param == Path::Sse2   ? "Sse2"
           : info.param == Path::Avx2   ? "Avx2"
                                        : "Avx512";
}

class EachPath : public ::testing::TestWithParam<Path> {
  protected:
    void SetUp() override {
        kernel = textvector::MismatchFor(GetParam());
        if (kernel == nullptr)
            GTEST_SKIP() << "this build or processor has no " << Name(GetParam()) << " path";
    }
    textvector::MismatchKernel kernel = nullptr;
};

// Every pair of byte values, spread over the lanes of a 64-byte block: the
// fold must take exactly A-Z to a-z and leave the other 230 bytes alone.
TEST_P(EachPath, FoldsExactlyAsciiLettersForEveryBytePair) {
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < 256; ++y) {
            const Bytes a(64, static_cast<std::uint8_t>(x));
            Bytes b = a;
            const int lane = y % 64;
            b[static_cast<std::size_t>(lane)] = static_cast<std::uint8_t>(y);
            for (bool folded : {false, true}) {
                const bool same = folded ? Fold(static_cast<std::uint8_t>(x)) ==
                                               Fold(static_cast<std::uint8_t>(y))
                                         : x == y;
                ASSERT_EQ(kernel(a.data(), b.data(), 64, folded), same ? 64 : lane)
                    << "x " << x << " y " << y << " folded " << folded;
            }
        }
    }
}

// Lengths around every block size, with the first difference anywhere or
// nowhere, and case-only differences before it.
TEST_P(EachPath, FindsTheFirstDifferenceAtEveryLengthAndPosition) {
    std::mt19937 rng(17);
    for (int n = 0; n <= 300; ++n) {
        for (int round = 0; round < 12; ++round) {
            Bytes a(static_cast<std::size_t>(n)), b(static_cast<std::size_t>(n));
            for (int k = 0; k < n; ++k) {
                const auto c = static_cast<std::uint8_t>(round % 3 == 0 ? rng() : 'A' + rng() % 58);
                a[static_cast<std::size_t>(k)] = c;
                b[static_cast<std::size_t>(k)] =
                    rng() % 2 && Fold(c) != c ? Fold(c) : static_cast<std::uint8_t>(c);
            }
            if (n > 0 && round % 2 == 1)
                b[rng() % static_cast<unsigned>(n)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
            for (bool folded : {false, true}) {
                ASSERT_EQ(kernel(a.data(), b.data(), n, folded), ReferenceMismatch(a, b, folded))
                    << "n " << n << " round " << round << " folded " << folded;
                ASSERT_EQ(textvector::Mismatch(a.data(), b.data(), n, folded),
                          ReferenceMismatch(a, b, folded))
                    << "n " << n << " round " << round << " folded " << folded;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TextVector, EachPath, kEveryPath, TestName);

// The comparisons' result by a byte walk.
int ReferenceCompare(const std::uint8_t* a, int an, const std::uint8_t* b, int bn, bool folded) {
    const int n = std::min(an, bn);
    for (int k = 0; k < n; ++k)
        if (folded ? Fold(a[k]) != Fold(b[k]) : a[k] != b[k])
            return a[k] < b[k] ? -(k + 1) : k + 1;
    return an == bn ? 0 : an < bn ? -(n + 1) : n + 1;
}

// Letters of both cases, their neighbours, bytes that differ from each other
// by the case bit without being letters, and Shift-JIS lead bytes; zero only
// where the caller wants it.
std::uint8_t PickByte(std::mt19937& rng, bool zero) {
    static const std::uint8_t kBytes[] = {'a', 'A', 'z', 'Z',  'm',  'M',  '@',  '[',  '`',
                                          '{', '0', ' ', 0xC1, 0xE1, 0x81, 0x9F, 0xFC, 0x7F};
    if (zero && rng() % 16 == 0)
        return 0;
    return kBytes[rng() % sizeof kBytes];
}

// b is a, its letters' case swapped at random, with one byte changed at
// random when `change` (sometimes into the other case of a non-letter).
Bytes Twin(const Bytes& a, std::mt19937& rng, bool change, bool zero) {
    Bytes b = a;
    for (auto& c : b)
        if (Fold(c) != c || (c >= 'a' && c <= 'z'))
            c = rng() % 2 ? static_cast<std::uint8_t>(c ^ 0x20) : c;
    if (change && !b.empty()) {
        auto& c = b[rng() % b.size()];
        c = rng() % 2 ? static_cast<std::uint8_t>(c ^ 0x20) : PickByte(rng, zero);
        if (!zero && c == 0)
            c = 'q';
    }
    return b;
}

class EachComparison : public ::testing::TestWithParam<Path> {
  protected:
    void SetUp() override {
        if (textvector::MismatchFor(GetParam()) == nullptr)
            GTEST_SKIP() << "this build or processor has no " << Name(GetParam()) << " path";
    }
};

// Ranges of every length up to a few blocks and some that run through the
// long loops, the other range as long, shorter or longer, the first
// difference anywhere or nowhere.
TEST_P(EachComparison, RangesMatchAByteWalk) {
    std::mt19937 rng(31);
    std::vector<int> lengths;
    for (int n = 0; n <= 200; ++n)
        lengths.push_back(n);
    for (int n : {255, 256, 257, 1000, 4096 + 300, 9000})
        lengths.push_back(n);
    for (int n : lengths) {
        for (int round = 0; round < 8; ++round) {
            Bytes a(static_cast<std::size_t>(n));
            for (auto& c : a)
                c = PickByte(rng, true);
            Bytes b = Twin(a, rng, round % 2 == 1, true);
            if (round >= 4) // one range a prefix of the other, the other way round every time
                b.resize(round % 2 ? b.size() + 1 + rng() % 70 : rng() % (b.size() + 1), 'x');
            // Exact heap blocks, so that a read past either range is caught.
            const auto x = std::make_unique<std::uint8_t[]>(a.size());
            const auto y = std::make_unique<std::uint8_t[]>(b.size());
            std::copy(a.begin(), a.end(), x.get());
            std::copy(b.begin(), b.end(), y.get());
            const int an = static_cast<int>(a.size()), bn = static_cast<int>(b.size());
            for (bool folded : {false, true}) {
                const auto kernel = textvector::RangeKernelFor(GetParam(), folded);
                const int want = ReferenceCompare(x.get(), an, y.get(), bn, folded);
                ASSERT_EQ(kernel(x.get(), an, y.get(), bn), want)
                    << "n " << an << "/" << bn << " round " << round << " folded " << folded;
                ASSERT_EQ(textvector::CompareRanges(x.get(), an, y.get(), bn, folded), want)
                    << "n " << an << "/" << bn << " round " << round << " folded " << folded;
            }
        }
    }
}

// Long ranges at every pair of misalignments, with a difference in the
// two-block loop, in the tail, or none.
TEST_P(EachComparison, LongRangesAtEveryAlignment) {
    std::mt19937 rng(37);
    const int n = 4096 + 700;
    Bytes a(n + 64), b(n + 64);
    for (auto& c : a)
        c = PickByte(rng, false);
    for (int ao = 0; ao < 64; ao += 5) {
        for (int bo = 0; bo < 64; bo += 7) {
            std::copy(a.begin() + ao, a.begin() + ao + n, b.begin() + bo);
            const int at[] = {n, 100, 3000, n - 1, n - 70};
            const int k = at[(ao + bo) % 5];
            if (k < n)
                b[static_cast<std::size_t>(bo + k)] ^= 0x01;
            for (bool folded : {false, true}) {
                const auto kernel = textvector::RangeKernelFor(GetParam(), folded);
                ASSERT_EQ(kernel(a.data() + ao, n, b.data() + bo, n),
                          ReferenceCompare(a.data() + ao, n, b.data() + bo, n, folded))
                    << "offsets " << ao << " " << bo << " folded " << folded;
            }
            if (k < n)
                b[static_cast<std::size_t>(bo + k)] ^= 0x01;
        }
    }
}

int ReferenceCString(const Bytes& a, const char* s, int limit, bool folded) {
    const int len = static_cast<int>(std::min<std::size_t>(std::strlen(s), limit));
    return ReferenceCompare(a.data(), static_cast<int>(a.size()),
                            reinterpret_cast<const std::uint8_t*>(s), len, folded);
}

// C strings ending anywhere before, at or after the text's end, with zero
// bytes inside the text, under limits that cut either side.
TEST_P(EachComparison, CStringsMatchAByteWalk) {
    std::mt19937 rng(41);
    for (int round = 0; round < 30000; ++round) {
        const int n = static_cast<int>(round < 20000 ? rng() % 140 : rng() % 3000);
        Bytes a(static_cast<std::size_t>(n));
        for (auto& c : a)
            c = PickByte(rng, true);
        Bytes b = Twin(a, rng, round % 3 == 0, false);
        for (auto& c : b)
            c = c == 0 ? 'n' : c; // the string's own bytes are never zero
        b.resize(rng() % 4 == 0 ? rng() % (b.size() + 1) : b.size() + rng() % 3, 'y');
        std::string s(b.begin(), b.end());
        const int limits[] = {INT_MAX, n, n + 1, static_cast<int>(rng() % (n + 1))};
        const int limit = limits[rng() % 4];
        if (limit < n)
            a.resize(static_cast<std::size_t>(limit)); // the text side never exceeds limit
        for (bool folded : {false, true}) {
            const auto kernel = textvector::CStringKernelFor(GetParam(), folded);
            const int expected = ReferenceCString(a, s.c_str(), limit, folded);
            ASSERT_EQ(kernel(a.data(), static_cast<int>(a.size()), s.c_str(), limit), expected)
                << "round " << round << " folded " << folded;
            // The whole comparison, which answers short texts itself.
            ASSERT_EQ(textvector::CompareCString(a.data(), static_cast<int>(a.size()), s.c_str(),
                                                 limit, folded),
                      expected)
                << "round " << round << " folded " << folded;
        }
    }
}

#if defined(__unix__)
// A C string that ends at the last byte before an inaccessible page, at every
// distance from a 128-byte boundary, against texts up to well past it: the
// string's blocks must stop at its page however much text is left.
TEST_P(EachComparison, CStringsEndingAtAnUnreadablePage) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto* base = static_cast<char*>(map);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    std::mt19937 rng(43);
    for (int len = 0; len < 200; ++len) {
        char* s = base + page - len - 1;
        for (int i = 0; i < len; ++i)
            s[i] = static_cast<char>('A' + rng() % 26);
        s[len] = 0;
        for (int n : {len, len + 1, len / 2, len + 64, len + 200}) {
            Bytes a(s, s + std::min(n, len));
            a.resize(static_cast<std::size_t>(n), 'e');
            for (auto& c : a)
                c = Fold(c);
            for (bool folded : {false, true}) {
                const auto kernel = textvector::CStringKernelFor(GetParam(), folded);
                const int expected = ReferenceCString(a, s, INT_MAX, folded);
                ASSERT_EQ(kernel(a.data(), n, s, INT_MAX), expected)
                    << "length " << len << " n " << n << " folded " << folded;
                ASSERT_EQ(textvector::CompareCString(a.data(), n, s, INT_MAX, folded), expected)
                    << "length " << len << " n " << n << " folded " << folded;
            }
        }
    }
    munmap(map, 2 * page);
}
#endif

INSTANTIATE_TEST_SUITE_P(TextVector, EachComparison, kEveryPath, TestName);

TEST(TextVector, ChoosesTheWidestPathThereIs) {
    const Path chosen = textvector::ChosenPath();
    EXPECT_NE(textvector::MismatchFor(chosen), nullptr);
    for (Path wider : {Path::Avx512, Path::Avx2, Path::Sse2}) {
        if (wider > chosen) {
            EXPECT_EQ(textvector::MismatchFor(wider), nullptr) << Name(wider);
        }
    }
}

int ReferencePair(const Bytes& t, int from, int last, std::uint8_t first, int gap,
                  std::uint8_t second, bool folded) {
    for (int p = from; p <= last; ++p) {
        const auto x = t[static_cast<std::size_t>(p)];
        const auto y = t[static_cast<std::size_t>(p + gap)];
        if ((folded ? Fold(x) : x) == first && (folded ? Fold(y) : y) == second)
            return p;
    }
    return -1;
}

TEST(TextVector, FindPairMatchesAByteWalk) {
    std::mt19937 rng(23);
    for (int round = 0; round < 20000; ++round) {
        const int n = 1 + static_cast<int>(rng() % 90);
        Bytes t(static_cast<std::size_t>(n));
        for (auto& c : t)
            c = static_cast<std::uint8_t>("aAbB?\x82"[rng() % 6]);
        const int gap = static_cast<int>(rng() % static_cast<unsigned>(n));
        const int last = n - 1 - gap;
        const int from = static_cast<int>(rng() % static_cast<unsigned>(last + 1));
        const bool folded = rng() % 2 == 1;
        const auto pick = [&] {
            const auto c = static_cast<std::uint8_t>("aAbB?\x82"[rng() % 6]);
            return folded ? Fold(c) : c;
        };
        const std::uint8_t first = pick(), second = pick();
        ASSERT_EQ(textvector::FindPair(t.data(), from, last, first, gap, second, folded),
                  ReferencePair(t, from, last, first, gap, second, folded))
            << "round " << round;
    }
}

// Letters are folded except as the second byte of a two-byte character; a
// lead byte whose next byte lies beyond `end` is a character of its own.
TEST(TextVector, FoldTextLeavesSecondBytesAlone) {
    std::mt19937 rng(29);
    for (int round = 0; round < 20000; ++round) {
        const int end = 1 + static_cast<int>(rng() % 80);
        Bytes src(static_cast<std::size_t>(end));
        for (auto& c : src)
            c = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0x81 + rng() % 4 : 'A' + rng() % 40);
        const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(end));
        Bytes want(src.size());
        int i = 0;
        while (i < n) {
            if (IsLead(src[static_cast<std::size_t>(i)]) && i + 1 < end) {
                want[static_cast<std::size_t>(i)] = src[static_cast<std::size_t>(i)];
                want[static_cast<std::size_t>(i + 1)] = src[static_cast<std::size_t>(i + 1)];
                i += 2;
            } else {
                want[static_cast<std::size_t>(i)] = Fold(src[static_cast<std::size_t>(i)]);
                ++i;
            }
        }
        Bytes got(static_cast<std::size_t>(n + 1));
        ASSERT_EQ(textvector::FoldText(got.data(), src.data(), n, end), i) << "round " << round;
        for (int k = 0; k < i; ++k)
            ASSERT_EQ(got[static_cast<std::size_t>(k)], want[static_cast<std::size_t>(k)])
                << "round " << round << " byte " << k;
    }
}

} // namespace
