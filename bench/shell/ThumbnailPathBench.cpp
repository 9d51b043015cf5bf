// The whole thumbnail path, natively: a 256 × 256 deflated document loaded
// from memory and scaled to several edges, beside zlib inflating the same
// payload alone, which is the floor no loader can beat. The ratio counter
// reports path time over floor time.
#include "bitmap/BVBitmap.h"
#include "file/BVMemoryFile.h"
#include "shell/PreviewLoader.h"
#include "shell/ThumbnailScaler.h"

#include "BenchClock.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutU32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A preview with smooth colour and alpha, like a real painting's.
Bytes DocumentHead() {
    Bytes head = {'B', 'V', 'i', 'm'};
    for (std::uint32_t v : {13u, 2048u, 2048u, 0u, 1u})
        PutU32(head, v);
    head.resize(head.size() + 16, 0);
    PutU32(head, 256);
    PutU32(head, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            double d = std::hypot(x - 128.0, y - 128.0);
            std::uint32_t a = d < 100   ? 255
                              : d < 120 ? static_cast<std::uint32_t>((120 - d) * 12)
                                        : 0;
            PutU32(head, a << 24 | static_cast<std::uint32_t>(x) << 16 | y << 8 | ((x ^ y) & 0xF0));
        }
    return head;
}

struct Corpus {
    Bytes head, payload, container;
    Corpus() : head(DocumentHead()) {
        z_stream z = {};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        payload.resize(deflateBound(&z, head.size()));
        z.next_in = head.data();
        z.avail_in = static_cast<uInt>(head.size());
        z.next_out = payload.data();
        z.avail_out = static_cast<uInt>(payload.size());
        deflate(&z, Z_FINISH);
        payload.resize(z.total_out);
        deflateEnd(&z);
        container = {0x41, 0xFA, 0, 0};
        PutU32(container, static_cast<std::uint32_t>(head.size()));
        PutU32(container, 0);
        PutU32(container, static_cast<std::uint32_t>(crc32(0, head.data(), head.size())));
        container.insert(container.end(), payload.begin(), payload.end());
    }
};

const Corpus& TheCorpus() {
    static const Corpus corpus;
    return corpus;
}

// zlib expanding the payload alone: the floor.
bool InflateWithZlib(const Corpus& c, Bytes& out) {
    z_stream z = {};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(c.payload.data());
    z.avail_in = static_cast<uInt>(c.payload.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    bool ok = inflate(&z, Z_FINISH) == Z_STREAM_END;
    inflateEnd(&z);
    benchmark::DoNotOptimize(out.data());
    return ok;
}

double FloorSeconds() {
    const Corpus& c = TheCorpus();
    Bytes out(c.head.size());
    const int rounds = 200;
    const double start = ThreadSeconds();
    for (int i = 0; i < rounds; ++i)
        InflateWithZlib(c, out);
    return (ThreadSeconds() - start) / rounds;
}

void BM_ZlibInflateFloor(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    Bytes out(c.head.size());
    for (auto _ : state)
        if (!InflateWithZlib(c, out))
            state.SkipWithError("zlib failed");
}
BENCHMARK(BM_ZlibInflateFloor)->Unit(benchmark::kMicrosecond);

void BM_Thumbnail(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    const int cx = static_cast<int>(state.range(0));
    const double floor = FloorSeconds();
    std::vector<std::uint32_t> out;
    const double start = ThreadSeconds();
    for (auto _ : state) {
        std::unique_ptr<BVBitmap> preview(LoadPreview(BVMemoryFile::FromMemory(
            c.container.data(), static_cast<std::uint32_t>(c.container.size()))));
        ThumbnailSize size;
        if (!preview || !ComputeThumbnailSize(cx, 256, 256, &size)) {
            state.SkipWithError("no preview");
            break;
        }
        out.resize(static_cast<size_t>(size.width) * size.height);
        ScaleThumbnail(*preview, out.data(), size.width, size.height);
        benchmark::DoNotOptimize(out.data());
    }
    const double perThumbnail = (ThreadSeconds() - start) / static_cast<double>(state.iterations());
    state.counters["ratio_to_floor"] = perThumbnail / floor;
}
BENCHMARK(BM_Thumbnail)->Arg(32)->Arg(96)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

} // namespace
