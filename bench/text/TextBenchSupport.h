// What the text benchmarks share: the 1 MiB of text they work on, VMStrings
// over it, and the way they report ours against the C library's.
//
// Every benchmark times both contenders in each iteration (ours first, then
// theirs), in CPU seconds of this thread, and reports ratio = their time /
// ours, so above 1 means ours is faster. Each checks after timing that both
// produced the same answer.
#pragma once

#include "text/VMString.h"

#include "BenchClock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace textbench {

constexpr int kTextBytes = 1 << 20;

// The printable ASCII of the system's C headers, in name order (tabs and
// line ends kept): the kind of text these operations meet, with mixed case,
// punctuation and digits. Pseudo-random words fill up where headers are few.
inline const std::string& HeaderText() {
    static const std::string text = [] {
        std::vector<std::filesystem::path> names;
        std::error_code error;
        for (std::filesystem::recursive_directory_iterator it("/usr/include", error), end;
             !error && it != end; it.increment(error))
            if (it->path().extension() == ".h")
                names.push_back(it->path());
        std::sort(names.begin(), names.end());
        std::string s;
        s.reserve(kTextBytes);
        for (const auto& name : names) {
            std::ifstream in(name, std::ios::binary);
            for (char c; s.size() < kTextBytes && in.get(c);)
                if ((c >= 0x20 && c < 0x7F) || c == '\n' || c == '\t')
                    s += c;
        }
        for (std::uint32_t x = 12345; s.size() < kTextBytes;) {
            x = x * 1103515245u + 12345u;
            s += (x >> 16) % 7 == 0 ? ' ' : static_cast<char>('a' + (x >> 16) % 26);
        }
        return s;
    }();
    return text;
}

inline std::string Swapped(std::string s) {
    for (char& c : s)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            c = static_cast<char>(c ^ 0x20);
    return s;
}

inline std::string Lowered(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

inline const std::uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// A text viewing the string's own bytes (a foreign buffer, which the text
// never frees), so that both contenders read the same memory.
inline VMString* MakeView(const std::string& bytes) {
    VMString* s = new VMString;
    s->AdoptBuffer(reinterpret_cast<std::uint8_t*>(const_cast<char*>(bytes.data())), 0,
                   static_cast<int>(bytes.size()), -1, nullptr);
    return s;
}

inline VMString* MakeText(const std::string& bytes) {
    VMString* s = new VMString;
    s->AssignBytes(Bytes(bytes), static_cast<int>(bytes.size()), 0, nullptr);
    return s;
}

// Bytes per iteration on each side, for the throughput counters.
inline void Report(benchmark::State& state, double ours, double theirs, const std::string& name,
                   double bytesPerIteration) {
    const double mebibytes =
        static_cast<double>(state.iterations()) * bytesPerIteration / (1024.0 * 1024.0);
    state.counters["bv_MiB/s"] = mebibytes / ours;
    state.counters[name + "_MiB/s"] = mebibytes / theirs;
    state.counters["ratio"] = theirs / ours;
}

} // namespace textbench
