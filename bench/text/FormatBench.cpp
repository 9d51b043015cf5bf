// VMString::Format against snprintf into a std::string, for a handful of
// typical formats, and the ratio of the two (the aim is at most 2).
//
// The engine builds every number's digits in a short-lived BVString, so each
// conversion costs a C library call and a record; snprintf does one pass. The
// snprintf side is the usual helper for a string of unknown size: measure,
// size the string, format. Both sides agree on these formats, which is checked
// before timing.
#include "text/VMString.h"

#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
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

// Each case formats the same arguments with both engines.
#define FORMAT_CASES(X)                                                                            \
    X(Int, "%d", 123456)                                                                           \
    X(NameAndInt, "%s = %d", kName, -42)                                                           \
    X(HexAndFloat, "[%s] %08x %5.2f", kName, 0xBEEFu, 3.14159)                                     \
    X(Address64, "0x%016llx", 0x7ffd12345678ULL)                                                   \
    X(TimeStamp, "%04d/%02d/%02d %02d:%02d:%02d : ", 2026, 5, 22, 9, 3, 7)                         \
    X(LogLine, "[BVInflate] %s - %s", kLongText, kName)

#define DEFINE_CASE(name, ...)                                                                     \
    void BM_Format_##name(benchmark::State& state) {                                               \
        VMString* text = new VMString;                                                             \
        for (auto _ : state) {                                                                     \
            text->Format(__VA_ARGS__);                                                             \
            benchmark::DoNotOptimize(text->Text());                                                \
        }                                                                                          \
        text->Release();                                                                           \
    }                                                                                              \
    void BM_Snprintf_##name(benchmark::State& state) {                                             \
        for (auto _ : state) {                                                                     \
            std::string out = CFormat(__VA_ARGS__);                                                \
            benchmark::DoNotOptimize(out.data());                                                  \
        }                                                                                          \
    }                                                                                              \
    BENCHMARK(BM_Format_##name);                                                                   \
    BENCHMARK(BM_Snprintf_##name);                                                                 \
    bool Same_##name() {                                                                           \
        VMString* text = new VMString;                                                             \
        text->Format(__VA_ARGS__);                                                                 \
        const bool same = std::string(text->Text(), static_cast<std::size_t>(text->Length())) ==   \
                          CFormat(__VA_ARGS__);                                                    \
        text->Release();                                                                           \
        return same;                                                                               \
    }

FORMAT_CASES(DEFINE_CASE)

#define CHECK_CASE(name, ...)                                                                      \
    if (!Same_##name()) {                                                                          \
        std::fprintf(stderr, "Format and snprintf differ for " #name "\n");                        \
        return false;                                                                              \
    }

bool OutputsAgree() {
    FORMAT_CASES(CHECK_CASE)
    return true;
}

// Prints, after the usual table, Format's time over snprintf's for each case.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                perCall[run.benchmark_name()] =
                    run.GetAdjustedRealTime(); // in the run's time unit, per iteration
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nFormat / snprintf time per call:\n");
        for (const auto& [name, time] : perCall) {
            const std::string prefix = "BM_Format_";
            if (name.compare(0, prefix.size(), prefix) != 0)
                continue;
            const std::string rest = name.substr(prefix.size());
            const auto c = perCall.find("BM_Snprintf_" + rest);
            if (c != perCall.end() && c->second > 0)
                std::printf("  %-12s %5.2fx\n", rest.c_str(), time / c->second);
        }
    }

  private:
    std::map<std::string, double> perCall;
};

} // namespace

int main(int argc, char** argv) {
    if (!OutputsAgree())
        return EXIT_FAILURE;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return EXIT_FAILURE;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
