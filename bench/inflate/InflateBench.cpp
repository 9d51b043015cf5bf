// Expanding and checksumming, contenders side by side in one benchmark: each
// iteration runs BVInflate::Read over a BVMemoryFile, zlib's inflate plus
// crc32 over the same output (the same work, in reads of the same size) and
// libdeflate's whole-buffer decompress plus its crc32, in an order that
// rotates, each timed in thread CPU time. The counters give every contender's
// speed and our ratios to the others, so that load on the machine tilts all of
// them alike. Every contender's output is checked after timing.
#include "file/BVMemoryFile.h"
#include "inflate/BVInflate.h"
#include "inflate/BenchData.h"
#include "inflate/Crc32.h"

#include "BenchClock.h"
#include "support/ContainerWriter.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using bench_data::Bytes;
using bench_data::Lcg;

constexpr std::size_t kCorpusBytes = 4u << 20;

// Files under dir whose names satisfy keep, in path order, until limit bytes;
// filler words where the system lacks them, so the data set is never empty.
template <typename Keep> Bytes FilesUnder(const char* dir, bool recursive, Keep keep) {
    namespace fs = std::filesystem;
    std::vector<fs::path> paths;
    std::error_code ec;
    auto collect = [&](const fs::directory_entry& e) {
        if (e.is_regular_file(ec) && !e.is_symlink(ec) && keep(e.path().filename().string())) {
            paths.push_back(e.path());
        }
    };
    if (recursive) {
        for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end;
             it.increment(ec)) {
            collect(*it);
        }
    } else {
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            collect(*it);
        }
    }
    std::sort(paths.begin(), paths.end());
    Bytes out;
    for (const fs::path& p : paths) {
        if (out.size() >= kCorpusBytes) {
            break;
        }
        std::ifstream f(p, std::ios::binary);
        out.insert(out.end(), std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    std::uint32_t s = 1;
    static const char* const kWords[] = {"the ", "file ", "is ",       "read ",     "through ",
                                         "a ",   "buf ",  "and ",      "expanded ", "into ",
                                         "the ", "out ",  "memory.\n", "\x7f\x01",  "\x00\x00"};
    while (out.size() < kCorpusBytes) {
        const char* w = kWords[Lcg(s) % 15];
        out.insert(out.end(), w, w + (w[0] == 0 ? 2 : std::strlen(w)));
    }
    out.resize(kCorpusBytes);
    return out;
}

bool EndsWith(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

Bytes RawDeflate(const Bytes& data, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, data.size()) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct DataSet {
    Bytes original;
    Bytes payload;   // raw DEFLATE
    Bytes container; // header + payload
    std::uint32_t crc;
};

DataSet Make(const Bytes& original, int level) {
    DataSet d{original, RawDeflate(original, level), {}, 0};
    d.crc =
        static_cast<std::uint32_t>(crc32(0, original.data(), static_cast<uInt>(original.size())));
    d.container = container_writer::DeflatedContainer(static_cast<std::uint32_t>(original.size()),
                                                      d.crc, d.payload);
    return d;
}

// Ours: reads of piece bytes through the container; true when the CRC held.
bool RunOurs(const DataSet& d, Bytes& out, int piece) {
    BVInflate in;
    in.Open(BVMemoryFile::FromMemory(d.container.data(),
                                     static_cast<std::uint32_t>(d.container.size())));
    std::size_t done = 0;
    while (done < out.size()) {
        const int want = static_cast<int>(std::min<std::size_t>(piece, out.size() - done));
        const int got = in.Read(out.data(), static_cast<int>(done), want);
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    benchmark::DoNotOptimize(out.data());
    return in.Close() && done == out.size();
}

// zlib doing the same work: expand in reads of piece bytes, then the CRC of
// what each read produced.
bool RunZlib(const DataSet& d, Bytes& out, int piece) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(d.payload.data());
    z.avail_in = static_cast<uInt>(d.payload.size());
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    std::size_t done = 0;
    int rc = Z_OK;
    while (rc == Z_OK && done < out.size()) {
        const std::size_t n = std::min<std::size_t>(piece, out.size() - done);
        z.next_out = out.data() + done;
        z.avail_out = static_cast<uInt>(n);
        rc = inflate(&z, Z_NO_FLUSH);
        const std::size_t got = n - z.avail_out;
        crc = static_cast<std::uint32_t>(crc32(crc, out.data() + done, static_cast<uInt>(got)));
        done += got;
    }
    inflateEnd(&z);
    benchmark::DoNotOptimize(out.data());
    return crc == d.crc && done == out.size();
}

// libdeflate works on whole buffers only: one call, then its CRC.
bool RunLibdeflate(libdeflate_decompressor* dec, const DataSet& d, Bytes& out) {
    const libdeflate_result r = libdeflate_deflate_decompress(
        dec, d.payload.data(), d.payload.size(), out.data(), out.size(), nullptr);
    const std::uint32_t crc = libdeflate_crc32(0, out.data(), out.size());
    benchmark::DoNotOptimize(out.data());
    return r == LIBDEFLATE_SUCCESS && crc == d.crc;
}

enum Contender { kOurs, kZlib, kLibdeflate, kContenders };

void Compare(benchmark::State& state, const DataSet& d, int piece) {
    std::vector<Bytes> out(kContenders, Bytes(d.original.size()));
    libdeflate_decompressor* dec = libdeflate_alloc_decompressor();
    double seconds[kContenders] = {};
    bool ok[kContenders] = {true, true, true};
    int turn = 0;
    for (auto _ : state) {
        for (int k = 0; k < kContenders; ++k) {
            const int who = (turn + k) % kContenders;
            const double start = ThreadSeconds();
            bool good = who == kOurs   ? RunOurs(d, out[kOurs], piece)
                        : who == kZlib ? RunZlib(d, out[kZlib], piece)
                                       : RunLibdeflate(dec, d, out[kLibdeflate]);
            seconds[who] += ThreadSeconds() - start;
            ok[who] = ok[who] && good;
        }
        turn = (turn + 1) % kContenders;
    }
    libdeflate_free_decompressor(dec);
    for (int k = 0; k < kContenders; ++k) {
        if (!ok[k] || out[k] != d.original) {
            state.SkipWithError("output differs from the original");
            return;
        }
    }
    const double mb = static_cast<double>(state.iterations()) * d.original.size() / 1e6;
    state.counters["ours_MBps"] = mb / seconds[kOurs];
    state.counters["zlib_MBps"] = mb / seconds[kZlib];
    state.counters["libdeflate_MBps"] = mb / seconds[kLibdeflate];
    state.counters["x_zlib"] = seconds[kZlib] / seconds[kOurs];
    state.counters["x_libdeflate"] = seconds[kLibdeflate] / seconds[kOurs];
}

struct Workload {
    const char* name;
    Bytes (*make)();
    int level;
};

Bytes Photo256() {
    return bench_data::PhotoBytes(256);
}
Bytes Photo1024() {
    return bench_data::PhotoBytes(1024);
}
Bytes Headers() {
    return FilesUnder("/usr/include", true, [](const std::string& n) { return EndsWith(n, ".h"); });
}
Bytes Libraries() {
    return FilesUnder("/usr/lib/x86_64-linux-gnu", false,
                      [](const std::string& n) { return n.find(".so") != std::string::npos; });
}

void Register() {
    static const Workload kWorkloads[] = {
        {"Photo256", Photo256, 6},   {"Photo1024", Photo1024, 6}, {"Text", Headers, 6},
        {"Text_level1", Headers, 1}, {"Text_level9", Headers, 9}, {"Binary", Libraries, 6},
    };
    static const struct {
        const char* name;
        int piece;
    } kPieces[] = {{"OneRead", 1 << 30}, {"64KiB", 64 * 1024}, {"1KiB", 1024}, {"257B", 257}};
    for (const Workload& w : kWorkloads) {
        for (const auto& p : kPieces) {
            const bool levelOnly = w.level != 6;
            if (levelOnly && p.piece != (1 << 30)) {
                continue;
            }
            const Workload* wp = &w;
            const int piece = p.piece;
            benchmark::RegisterBenchmark(
                (std::string("Inflate/") + w.name + "/" + p.name).c_str(),
                [wp, piece](benchmark::State& st) {
                    static std::vector<std::pair<const Workload*, DataSet>> cache;
                    auto it = std::find_if(cache.begin(), cache.end(),
                                           [wp](const auto& c) { return c.first == wp; });
                    if (it == cache.end()) {
                        cache.emplace_back(wp, Make(wp->make(), wp->level));
                        it = cache.end() - 1;
                    }
                    Compare(st, it->second, piece);
                })
                ->Unit(benchmark::kMillisecond);
        }
    }
}

// The CRC alone, ours beside both peers' in one loop.
void Crc32Compare(benchmark::State& state) {
    Bytes b(1 << 20);
    std::uint32_t s = 5;
    for (auto& x : b) {
        x = static_cast<std::uint8_t>(Lcg(s));
    }
    double seconds[kContenders] = {};
    std::uint32_t crc[kContenders] = {};
    for (auto _ : state) {
        double t = ThreadSeconds();
        crc[kOurs] = ~bv_inflate::Crc32Update(bv_inflate::kCrcPreset, b.data(), b.size());
        double u = ThreadSeconds();
        crc[kZlib] = static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
        double v = ThreadSeconds();
        crc[kLibdeflate] = libdeflate_crc32(0, b.data(), b.size());
        double w = ThreadSeconds();
        seconds[kOurs] += u - t;
        seconds[kZlib] += v - u;
        seconds[kLibdeflate] += w - v;
        benchmark::DoNotOptimize(crc);
    }
    if (crc[kOurs] != crc[kZlib] || crc[kOurs] != crc[kLibdeflate]) {
        state.SkipWithError("CRC differs from the peers'");
        return;
    }
    state.counters["x_zlib"] = seconds[kZlib] / seconds[kOurs];
    state.counters["x_libdeflate"] = seconds[kLibdeflate] / seconds[kOurs];
}

// Registered at start-up: the names carry the data set and the read size.
const int registered = (Register(), benchmark::RegisterBenchmark("Crc32", Crc32Compare), 0);

} // namespace
