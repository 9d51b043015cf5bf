// VMString searches on 1 MiB of header text against the C library: Find
// against memchr, FindPattern against std::string_view::find, and
// FindPatternNoCase against lowering a copy and searching that, each with a
// 16-byte needle the text does not hold.
#include "TextBenchSupport.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

using namespace textbench;

// Starts and ends with bytes the headers are full of ('#', 'E'), so the
// searches' candidate filters have work to do.
const std::string kNeedle = "#define BV_NONE ";
static_assert(sizeof "#define BV_NONE " == 17, "a 16-byte needle");

void BM_FindRatio(benchmark::State& state) {
    const std::string bytes = HeaderText().substr(0, kTextBytes - 1) + "\x01";
    VMString* text = MakeView(bytes);
    int ours = 0;
    const void* theirs = nullptr;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] { ours = text->Find(1, 0); });
        theirsSeconds += Seconds([&] { theirs = std::memchr(bytes.data(), 1, bytes.size()); });
        benchmark::DoNotOptimize(ours);
        benchmark::DoNotOptimize(theirs);
    }
    if (theirs != bytes.data() + ours)
        state.SkipWithError("Find and memchr disagree");
    Report(state, oursSeconds, theirsSeconds, "memchr", kTextBytes);
    text->Release();
}

void BM_FindPatternRatio(benchmark::State& state) {
    const std::string& bytes = HeaderText();
    const std::string_view view(bytes);
    VMString* text = MakeView(bytes);
    int ours = 0;
    std::size_t theirs = 0;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] {
            ours = text->FindPattern(Bytes(kNeedle), static_cast<int>(kNeedle.size()), false, 0, 0);
        });
        theirsSeconds += Seconds([&] { theirs = view.find(kNeedle); });
        benchmark::DoNotOptimize(ours);
        benchmark::DoNotOptimize(theirs);
    }
    if (ours != -1 || theirs != std::string_view::npos)
        state.SkipWithError("the needle must be absent for both");
    Report(state, oursSeconds, theirsSeconds, "string_view", kTextBytes);
    text->Release();
}

void BM_FindPatternNoCaseRatio(benchmark::State& state) {
    const std::string& bytes = HeaderText();
    VMString* text = MakeView(bytes);
    const std::string needle = Swapped(kNeedle);
    std::string lowered(bytes.size(), '\0');
    const std::string loweredNeedle = Lowered(needle);
    int ours = 0;
    std::size_t theirs = 0;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] {
            ours = text->FindPatternNoCase(Bytes(needle), static_cast<int>(needle.size()), false, 0,
                                           0);
        });
        theirsSeconds += Seconds([&] {
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                const char c = bytes[i];
                lowered[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
            }
            theirs = std::string_view(lowered).find(loweredNeedle);
        });
        benchmark::DoNotOptimize(ours);
        benchmark::DoNotOptimize(theirs);
    }
    if (ours != -1 || theirs != std::string_view::npos)
        state.SkipWithError("the needle must be absent for both");
    Report(state, oursSeconds, theirsSeconds, "lower+find", kTextBytes);
    text->Release();
}

} // namespace

BENCHMARK(BM_FindRatio)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindPatternRatio)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindPatternNoCaseRatio)->Unit(benchmark::kMicrosecond);
