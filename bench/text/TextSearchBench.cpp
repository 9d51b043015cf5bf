// VMString searches and comparison on 1 MiB texts against the C library:
// Find against memchr, FindPattern against std::string_view::find and
// CompareTextNoCase against strncasecmp. Each runs both in every iteration
// and reports ratio = the library's CPU time / ours (above 1 means ours is
// faster), and checks after timing that both found the same thing.
#include "text/VMString.h"

#include "BenchClock.h"

#include <benchmark/benchmark.h>

#include <strings.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

namespace {

constexpr int kTextBytes = 1 << 20;
constexpr double kMiB = 1024.0 * 1024.0;

// Lower-case letters with a two-byte character every 61 bytes, so that the
// searches' character alignment has work to do; then the tail.
std::string Haystack(const char* tail) {
    std::string s;
    s.reserve(kTextBytes);
    std::uint32_t x = 12345;
    const std::size_t body = kTextBytes - std::strlen(tail);
    while (s.size() < body) {
        x = x * 1103515245u + 12345u;
        if (s.size() % 61 == 60 && s.size() + 2 <= body)
            s += "\x82\xA0";
        else
            s += static_cast<char>('a' + (x >> 16) % 26);
    }
    return s + tail;
}

VMString* MakeText(const std::string& bytes) {
    VMString* s = new VMString;
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   static_cast<int>(bytes.size()), 0, nullptr);
    return s;
}

void Report(benchmark::State& state, double ours, double theirs, const char* name) {
    const double mebibytes = static_cast<double>(state.iterations()) * kTextBytes / kMiB;
    state.counters["bv_MiB/s"] = mebibytes / ours;
    state.counters[std::string(name) + "_MiB/s"] = mebibytes / theirs;
    state.counters["ratio"] = theirs / ours;
}

void BM_FindRatio(benchmark::State& state) {
    const std::string bytes = Haystack("!");
    VMString* text = MakeText(bytes);
    int ours = 0;
    const void* theirs = nullptr;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] { ours = text->Find('!', 0); });
        theirsSeconds += Seconds([&] { theirs = std::memchr(bytes.data(), '!', bytes.size()); });
        benchmark::DoNotOptimize(ours);
        benchmark::DoNotOptimize(theirs);
    }
    if (theirs != bytes.data() + ours)
        state.SkipWithError("Find and memchr disagree");
    Report(state, oursSeconds, theirsSeconds, "memchr");
    text->Release();
}

void BM_FindPatternRatio(benchmark::State& state) {
    const std::string bytes = Haystack("needle!");
    const std::string pattern = "needle!";
    const std::string_view view(bytes);
    VMString* text = MakeText(bytes);
    int ours = 0;
    std::size_t theirs = 0;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] {
            ours = text->FindPattern(reinterpret_cast<const std::uint8_t*>(pattern.data()),
                                     static_cast<int>(pattern.size()), false, 0, 0);
        });
        theirsSeconds += Seconds([&] { theirs = view.find(pattern); });
        benchmark::DoNotOptimize(ours);
        benchmark::DoNotOptimize(theirs);
    }
    if (static_cast<std::size_t>(ours) != theirs)
        state.SkipWithError("FindPattern and string_view::find disagree");
    Report(state, oursSeconds, theirsSeconds, "string_view");
    text->Release();
}

void BM_CompareTextNoCaseRatio(benchmark::State& state) {
    const std::string lower = Haystack("");
    std::string upper = lower;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    VMString* a = MakeText(lower);
    VMString* b = MakeText(upper);
    int ours = 1;
    int theirs = 1;
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        oursSeconds += Seconds([&] { ours = a->CompareTextNoCase(b); });
        theirsSeconds +=
            Seconds([&] { theirs = strncasecmp(lower.c_str(), upper.c_str(), lower.size()); });
        benchmark::DoNotOptimize(ours);
        benchmark::DoNotOptimize(theirs);
    }
    if (ours != 0 || theirs != 0)
        state.SkipWithError("the texts must compare equal");
    Report(state, oursSeconds, theirsSeconds, "strncasecmp");
    a->Release();
    b->Release();
}

} // namespace

BENCHMARK(BM_FindRatio)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindPatternRatio)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompareTextNoCaseRatio)->Unit(benchmark::kMicrosecond);
