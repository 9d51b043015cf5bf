// Expanding and checksumming, side by side: BVInflate::Read over a
// BVMemoryFile against zlib's inflate plus crc32 over the same output (the
// same work), with libdeflate as the anchor above both. Each data set is read
// in 64 KiB pieces and in one piece; the CRC alone is measured too. Every
// benchmark checks its output against the original after timing.
#include "file/BVMemoryFile.h"
#include "inflate/BVInflate.h"
#include "inflate/Crc32.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPiece = 64 * 1024;

std::uint32_t Lcg(std::uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

// A 256x256 B-G-R-A preview: soft gradients, a few shapes, a little noise.
Bytes Preview() {
    Bytes out;
    std::uint32_t s = 3;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const int dx = x - 128, dy = y - 100;
            const bool disc = dx * dx + dy * dy < 60 * 60;
            const bool band = (x / 32 + y / 48) % 5 == 0;
            out.push_back(static_cast<std::uint8_t>(disc ? 40 : band ? 250 : x));
            out.push_back(static_cast<std::uint8_t>(disc ? 200 : y));
            out.push_back(static_cast<std::uint8_t>((x + y) / 2 + (Lcg(s) & 3)));
            out.push_back(static_cast<std::uint8_t>(y < 16 ? 0 : 255));
        }
    }
    return out;
}

// The licence texts the system ships, about 250 KB of English prose; a
// generated text where they are missing.
Bytes TextCorpus() {
    Bytes out;
    const char* dir = "/usr/share/common-licenses";
    if (DIR* d = opendir(dir)) {
        std::vector<std::string> names;
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                names.push_back(e->d_name);
            }
        }
        closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            std::ifstream f(std::string(dir) + "/" + n, std::ios::binary);
            out.insert(out.end(), std::istreambuf_iterator<char>(f),
                       std::istreambuf_iterator<char>());
        }
    }
    std::uint32_t s = 1;
    static const char* const kWords[] = {"the ", "file ",     "is ",      "read ",     "through ",
                                         "a ",   "buffer ",   "and ",     "expanded ", "into ",
                                         "the ", "caller's ", "memory.\n"};
    while (out.size() < 200000) {
        const char* w = kWords[Lcg(s) % 13];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    return out;
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

void Put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

struct DataSet {
    Bytes original;
    Bytes payload;   // raw DEFLATE, or the bytes themselves when stored
    Bytes container; // header + payload
    bool stored;
};

DataSet Make(const Bytes& original, bool stored) {
    DataSet d{original, stored ? original : RawDeflate(original, 6), {}, stored};
    const std::uint32_t crc =
        static_cast<std::uint32_t>(crc32(0, original.data(), static_cast<uInt>(original.size())));
    d.container = {0x41, 0xFA, static_cast<std::uint8_t>(stored ? 2 : 0), 0};
    Put32(d.container, static_cast<std::uint32_t>(original.size()));
    Put32(d.container, crc); // word 8: the CRC of a stored container
    if (!stored) {
        Put32(d.container, crc);
    }
    d.container.insert(d.container.end(), d.payload.begin(), d.payload.end());
    return d;
}

const DataSet& Preview6() {
    static const DataSet d = Make(Preview(), false);
    return d;
}
const DataSet& Text6() {
    static const DataSet d = Make(TextCorpus(), false);
    return d;
}
const DataSet& StoredSet() {
    static const DataSet d = Make(TextCorpus(), true);
    return d;
}

void Check(benchmark::State& state, const Bytes& got, const Bytes& want, bool crcOk) {
    if (got != want || !crcOk) {
        state.SkipWithError("output differs from the original");
    }
}

void BvInflate(benchmark::State& state, const DataSet& d, int piece) {
    Bytes out(d.original.size());
    bool crcOk = true;
    for (auto _ : state) {
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
        crcOk = in.Close();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.original.size()));
    Check(state, out, d.original, crcOk);
}

// zlib doing the same work: expand, then the CRC of what came out.
void ZlibInflate(benchmark::State& state, const DataSet& d, int piece) {
    Bytes out(d.original.size());
    std::uint32_t crc = 0;
    for (auto _ : state) {
        crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
        if (d.stored) {
            for (std::size_t done = 0; done < out.size(); done += static_cast<std::size_t>(piece)) {
                const std::size_t n = std::min<std::size_t>(piece, out.size() - done);
                std::memcpy(out.data() + done, d.payload.data() + done, n);
                crc =
                    static_cast<std::uint32_t>(crc32(crc, out.data() + done, static_cast<uInt>(n)));
            }
        } else {
            z_stream z{};
            inflateInit2(&z, -15);
            z.next_in = const_cast<Bytef*>(d.payload.data());
            z.avail_in = static_cast<uInt>(d.payload.size());
            std::size_t done = 0;
            int rc = Z_OK;
            while (rc == Z_OK && done < out.size()) {
                const std::size_t n = std::min<std::size_t>(piece, out.size() - done);
                z.next_out = out.data() + done;
                z.avail_out = static_cast<uInt>(n);
                rc = inflate(&z, Z_NO_FLUSH);
                const std::size_t got = n - z.avail_out;
                crc = static_cast<std::uint32_t>(
                    crc32(crc, out.data() + done, static_cast<uInt>(got)));
                done += got;
            }
            inflateEnd(&z);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.original.size()));
    Check(state, out, d.original,
          crc == static_cast<std::uint32_t>(
                     crc32(0, d.original.data(), static_cast<uInt>(d.original.size()))));
}

// libdeflate works on whole buffers only: one call, then its CRC.
void Libdeflate(benchmark::State& state, const DataSet& d) {
    Bytes out(d.original.size());
    libdeflate_decompressor* dec = libdeflate_alloc_decompressor();
    std::uint32_t crc = 0;
    for (auto _ : state) {
        if (d.stored) {
            std::memcpy(out.data(), d.payload.data(), out.size());
        } else {
            libdeflate_deflate_decompress(dec, d.payload.data(), d.payload.size(), out.data(),
                                          out.size(), nullptr);
        }
        crc = libdeflate_crc32(0, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_decompressor(dec);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.original.size()));
    Check(state, out, d.original,
          crc == static_cast<std::uint32_t>(
                     crc32(0, d.original.data(), static_cast<uInt>(d.original.size()))));
}

Bytes CrcInput() {
    Bytes b(1 << 20);
    std::uint32_t s = 5;
    for (auto& x : b) {
        x = static_cast<std::uint8_t>(Lcg(s));
    }
    return b;
}

void CrcOurs(benchmark::State& state) {
    static const Bytes b = CrcInput();
    std::uint32_t crc = 0;
    for (auto _ : state) {
        crc = ~bv_inflate::Crc32Update(bv_inflate::kCrcPreset, b.data(), b.size());
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size()));
    if (crc != static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())))) {
        state.SkipWithError("CRC differs from zlib's");
    }
}

void CrcZlib(benchmark::State& state) {
    static const Bytes b = CrcInput();
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc32(0, b.data(), static_cast<uInt>(b.size())));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size()));
}

void CrcLibdeflate(benchmark::State& state) {
    static const Bytes b = CrcInput();
    for (auto _ : state) {
        benchmark::DoNotOptimize(libdeflate_crc32(0, b.data(), b.size()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size()));
}

void Register() {
    const struct {
        const char* name;
        const DataSet& (*set)();
    } sets[] = {{"Preview", Preview6}, {"Text", Text6}, {"Stored", StoredSet}};
    for (const auto& s : sets) {
        const DataSet& d = s.set();
        const std::string n = s.name;
        for (int piece : {kPiece, 1 << 30}) {
            const std::string p = piece == kPiece ? "/64KiB" : "/OneRead";
            benchmark::RegisterBenchmark(
                ("BVInflate/" + n + p).c_str(),
                [&d, piece](benchmark::State& st) { BvInflate(st, d, piece); });
            benchmark::RegisterBenchmark(
                ("Zlib/" + n + p).c_str(),
                [&d, piece](benchmark::State& st) { ZlibInflate(st, d, piece); });
        }
        benchmark::RegisterBenchmark(("Libdeflate/" + n + "/OneRead").c_str(),
                                     [&d](benchmark::State& st) { Libdeflate(st, d); });
    }
    benchmark::RegisterBenchmark("Crc32/BVInflate", CrcOurs);
    benchmark::RegisterBenchmark("Crc32/Zlib", CrcZlib);
    benchmark::RegisterBenchmark("Crc32/Libdeflate", CrcLibdeflate);
}

// Registered at start-up: the names carry the data set and the read size.
const int registered = (Register(), 0);

} // namespace
