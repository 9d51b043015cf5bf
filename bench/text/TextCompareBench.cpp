// Case-insensitive comparison against strncasecmp, member by member, on 1 MiB
// and on many 16- and 64-byte pairs, with the letters' case differing or
// identical; and HashNoCase against lowering a copy and running zlib's crc32.
#include "TextBenchSupport.h"

#include <strings.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace textbench;

// Every member that forwards to the case-insensitive comparison.
enum Member {
    kCompareText,
    kCompareBytes,
    kCompareCString,
    kCompareTextPrefix,
    kCompareCStringPrefix,
    kCollateText,
    kStartsWithText,
    kEndsWithText,
    kMembers,
    // Not a comparison: the cheapest virtual member, whose call alone bounds
    // what any member can reach on short pairs.
    kCallFloor = kMembers,
    // The cased comparison: the same call, operand checks and result as the
    // members, without the folding.
    kCasedCompare
};

const char* const kMemberNames[kMembers] = {"CompareTextNoCase",          "CompareBytesNoCase",
                                            "CompareCStringNoCase",       "CompareTextPrefixNoCase",
                                            "CompareCStringPrefixNoCase", "CollateTextNoCase",
                                            "StartsWithTextNoCase",       "EndsWithTextNoCase"};

// 0 when the member found the two equal, whatever its kind of result.
template <Member member> int Ours(const VMString* a, const VMString* b, const std::string& c) {
    const int n = a->Length();
    switch (member) {
    case kCompareText:
        return a->CompareTextNoCase(b);
    case kCompareBytes:
        return a->CompareBytesNoCase(Bytes(c), n, 0);
    case kCompareCString:
        return a->CompareCStringNoCase(c.c_str());
    case kCompareTextPrefix:
        return a->CompareTextPrefixNoCase(b, n, 0);
    case kCompareCStringPrefix:
        return a->CompareCStringPrefixNoCase(c.c_str(), n, 0);
    case kCollateText:
        return a->CollateTextNoCase(b);
    case kStartsWithText:
        return a->StartsWithTextNoCase(b) ? 0 : 1;
    case kEndsWithText:
        return a->EndsWithTextNoCase(b) ? 0 : 1;
    case kCasedCompare:
        return a->CompareText(b);
    default:
        return a->IsNull() ? 1 : 0;
    }
}

// Pairs of equal-when-folded pieces of the header text, `size` bytes each,
// the second with every letter's case swapped (or identical).
struct Pairs {
    std::vector<std::string> left, right;
    std::vector<VMString*> a, b;
    Pairs(int size, bool differs) {
        const std::string& text = HeaderText();
        // Few enough short pairs that both sides stay in the first-level
        // cache: what is timed is the call, not the fetching of the objects.
        const int count = size >= kTextBytes ? 1 : 128;
        for (int i = 0; i < count; ++i) {
            const std::size_t at =
                static_cast<std::size_t>(i) * 4 * size % (text.size() - size + 1);
            left.push_back(text.substr(at, static_cast<std::size_t>(size)));
            right.push_back(differs ? Swapped(left.back()) : left.back());
        }
        // Views of the strings, made once the vectors no longer move them.
        for (int i = 0; i < count; ++i) {
            a.push_back(MakeView(left[static_cast<std::size_t>(i)]));
            b.push_back(MakeView(right[static_cast<std::size_t>(i)]));
        }
    }
    ~Pairs() {
        for (VMString* s : a)
            s->Release();
        for (VMString* s : b)
            s->Release();
    }
    std::size_t Bytes() const { return left.size() * left[0].size(); }
};

template <Member member> void TimeMember(benchmark::State& state, const Pairs& pairs) {
    const std::size_t count = pairs.a.size();
    // Each timed stretch compares 1 MiB, so that reading the clock is noise.
    const std::size_t rounds = kTextBytes / pairs.Bytes();
    int oursNonZero = 0, theirsNonZero = 0;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] {
            for (std::size_t r = 0; r < rounds; ++r)
                for (std::size_t i = 0; i < count; ++i)
                    oursNonZero += Ours<member>(pairs.a[i], pairs.b[i], pairs.right[i]) != 0;
        });
        theirsSeconds += Seconds([&] {
            for (std::size_t r = 0; r < rounds; ++r)
                for (std::size_t i = 0; i < count; ++i)
                    theirsNonZero += strncasecmp(pairs.left[i].c_str(), pairs.right[i].c_str(),
                                                 pairs.left[i].size()) != 0;
        });
        benchmark::ClobberMemory();
    }
    if (oursNonZero != 0 || theirsNonZero != 0)
        state.SkipWithError("the pairs must compare equal");
    Report(state, oursSeconds, theirsSeconds, "strncasecmp",
           static_cast<double>(pairs.Bytes() * rounds));
}

using TimeFunction = void (*)(benchmark::State&, const Pairs&);
const TimeFunction kTimeMember[kMembers] = {
    TimeMember<kCompareText>,       TimeMember<kCompareBytes>,         TimeMember<kCompareCString>,
    TimeMember<kCompareTextPrefix>, TimeMember<kCompareCStringPrefix>, TimeMember<kCollateText>,
    TimeMember<kStartsWithText>,    TimeMember<kEndsWithText>};

void BM_NoCase(benchmark::State& state) {
    const auto member = static_cast<Member>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const bool differs = state.range(2) != 0;
    const Pairs pairs(size, differs);
    kTimeMember[member](state, pairs);
    state.SetLabel(std::string(kMemberNames[member]) +
                   (size == kTextBytes ? " 1MiB" : " " + std::to_string(size) + "B pairs") +
                   (differs ? " case differs" : " identical"));
}

// The ratio here is strncasecmp's time over that of a call to IsNull, which
// only reads a field: the ceiling of every member's ratio above.
void BM_CallFloor(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const Pairs pairs(size, true);
    TimeMember<kCallFloor>(state, pairs);
    state.SetLabel("IsNull, the virtual call alone, " + std::to_string(size) + "B pairs");
}

// strncasecmp's time over that of CompareText on identical pairs: what a
// member reaches when folding costs nothing, so that only the call, the
// checks on both operands and the result remain.
void BM_CasedCompare(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const Pairs pairs(size, false);
    TimeMember<kCasedCompare>(state, pairs);
    state.SetLabel("CompareText, no folding, " + std::to_string(size) + "B pairs identical");
}

void BM_HashNoCase(benchmark::State& state) {
    const std::string& text = HeaderText();
    VMString* s = MakeView(text);
    std::string lowered(text.size(), '\0');
    std::uint32_t ours = 0;
    uLong theirs = 0;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] { ours = s->HashNoCase(); });
        theirsSeconds += Seconds([&] {
            std::transform(text.begin(), text.end(), lowered.begin(), [](char c) {
                return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
            });
            theirs = crc32(0, reinterpret_cast<const Bytef*>(lowered.data()),
                           static_cast<uInt>(lowered.size()));
        });
        benchmark::DoNotOptimize(ours);
        benchmark::DoNotOptimize(theirs);
    }
    if (ours != theirs)
        state.SkipWithError("HashNoCase and crc32 of the lowered copy disagree");
    Report(state, oursSeconds, theirsSeconds, "lower+crc32", static_cast<double>(text.size()));
    s->Release();
}

} // namespace

BENCHMARK(BM_NoCase)
    ->ArgsProduct({benchmark::CreateDenseRange(0, kMembers - 1, 1), {1 << 20, 64, 16}, {1, 0}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallFloor)->Arg(64)->Arg(16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CasedCompare)->Arg(64)->Arg(16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HashNoCase)->Unit(benchmark::kMicrosecond);
