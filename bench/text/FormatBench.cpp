// VMString::Format against snprintf, for the formats the framework uses most:
// one integer, zero-padded hex, a name and a number, a fixed-point value, the
// log's time stamp, and a few longer lines.
//
// Each iteration times, in CPU seconds of this thread and in turn, a batch of
// calls of each contender: ours; snprintf into a stack buffer; and the usual
// helper for a std::string of unknown size (measure, size the string, format).
// The ratios are their time over ours (above 1: ours is faster). After timing,
// the outputs are compared.
#include "text/VMString.h"

#include "BenchClock.h"

#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

std::string CFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    va_end(args);
    return out;
}

const char kName[] = "thumbnail.bvi";
const char kLongText[] = "the preview block is shorter than its header says";

constexpr int kBatch = 1000;

// Each case formats the same arguments with every contender; the arguments
// vary with the call's index so that no contender formats a constant.
#define FORMAT_CASES(X)                                                                            \
    X(Int, "%d", 123456 + i)                                                                       \
    X(Hex, "%08x", 0xBEEFu + static_cast<unsigned>(i))                                             \
    X(NameEqualsInt, "%s=%d", kName, -42 - i)                                                      \
    X(Fixed3, "%.3f", 3.14159 + i)                                                                 \
    X(TimeStamp, "%04d/%02d/%02d %02d:%02d:%02d : ", 2026, 5, 22, 9, i % 60, 7)                    \
    X(HexAndFloat, "[%s] %08x %5.2f", kName, 0xBEEFu, 3.14159 + i)                                 \
    X(Address64, "0x%016llx", 0x7ffd12345678ULL + static_cast<unsigned>(i))                        \
    X(LogLine, "[BVInflate] %s - %s", kLongText, kName)

#define DEFINE_CASE(name, ...)                                                                     \
    void BM_Format_##name(benchmark::State& state) {                                               \
        VMString* text = new VMString;                                                             \
        char stack[256];                                                                           \
        std::string out;                                                                           \
        double ours = 0, theirsStack = 0, theirsString = 0;                                        \
        for (auto _ : state) {                                                                     \
            ours += Seconds([&] {                                                                  \
                for (int i = 0; i < kBatch; ++i) {                                                 \
                    text->Format(__VA_ARGS__);                                                     \
                    benchmark::DoNotOptimize(text->Text());                                        \
                }                                                                                  \
            });                                                                                    \
            theirsStack += Seconds([&] {                                                           \
                for (int i = 0; i < kBatch; ++i) {                                                 \
                    std::snprintf(stack, sizeof stack, __VA_ARGS__);                               \
                    benchmark::DoNotOptimize(stack);                                               \
                }                                                                                  \
            });                                                                                    \
            theirsString += Seconds([&] {                                                          \
                for (int i = 0; i < kBatch; ++i) {                                                 \
                    out = CFormat(__VA_ARGS__);                                                    \
                    benchmark::DoNotOptimize(out.data());                                          \
                }                                                                                  \
            });                                                                                    \
        }                                                                                          \
        [[maybe_unused]] const int i = kBatch - 1;                                                 \
        if (std::string(text->Text(), static_cast<std::size_t>(text->Length())) != out ||          \
            out != stack || CFormat(__VA_ARGS__) != out)                                           \
            state.SkipWithError("Format and snprintf differ");                                     \
        const double calls = static_cast<double>(state.iterations()) * kBatch;                     \
        state.counters["bv_ns"] = ours / calls * 1e9;                                              \
        state.counters["ratio_stack"] = theirsStack / ours;                                        \
        state.counters["ratio_string"] = theirsString / ours;                                      \
        text->Release();                                                                           \
    }                                                                                              \
    BENCHMARK(BM_Format_##name)->Unit(benchmark::kMicrosecond);

FORMAT_CASES(DEFINE_CASE)

// The same "%d", each call into a text of its own: the allocator's share of
// the cost when no block can be reused.
void BM_Format_IntIntoNewText(benchmark::State& state) {
    char stack[64];
    std::string out;
    std::string last;
    double ours = 0, theirsStack = 0, theirsString = 0;
    for (auto _ : state) {
        ours += Seconds([&] {
            for (int i = 0; i < kBatch; ++i) {
                VMString* text = new VMString;
                text->Format("%d", 123456 + i);
                benchmark::DoNotOptimize(text->Text());
                if (i == kBatch - 1)
                    last.assign(text->Text(), static_cast<std::size_t>(text->Length()));
                text->Release();
            }
        });
        theirsStack += Seconds([&] {
            for (int i = 0; i < kBatch; ++i) {
                std::snprintf(stack, sizeof stack, "%d", 123456 + i);
                benchmark::DoNotOptimize(stack);
            }
        });
        theirsString += Seconds([&] {
            for (int i = 0; i < kBatch; ++i) {
                out = CFormat("%d", 123456 + i);
                benchmark::DoNotOptimize(out.data());
            }
        });
    }
    if (last != out || out != stack)
        state.SkipWithError("Format and snprintf differ");
    const double calls = static_cast<double>(state.iterations()) * kBatch;
    state.counters["bv_ns"] = ours / calls * 1e9;
    state.counters["ratio_stack"] = theirsStack / ours;
    state.counters["ratio_string"] = theirsString / ours;
}
BENCHMARK(BM_Format_IntIntoNewText)->Unit(benchmark::kMicrosecond);

} // namespace
