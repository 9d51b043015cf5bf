// The vector loops, path by path, against byte-at-a-time references. Every
// buffer is a heap block of exactly the bytes a loop may read, so that
// AddressSanitizer catches a read past the end.
#include "text/TextVector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

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

INSTANTIATE_TEST_SUITE_P(TextVector, EachPath,
                         ::testing::Values(Path::Portable, Path::Sse2, Path::Avx2, Path::Avx512),
                         [](const ::testing::TestParamInfo<Path>& info) {
                             return std::string(info.param == Path::Portable ? "Portable"
                                                : info.param == Path::Sse2   ? "Sse2"
                                                : info.param == Path::Avx2   ? "Avx2"
                                                                             : "Avx512");
                         });

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
