// The whole thumbnail path, natively: a deflated document with a photo-like
// 256 × 256 preview loaded from memory and scaled to several edges, and zlib
// inflating the same payload alone, which is the floor no loader can beat.
// Both run in turn inside one benchmark loop, timed in thread CPU time; the
// ratio counter reports path time over floor time. The thumbnail is checked
// against one made from the original pixels after timing.
#include "bitmap/BVBitmap.h"
#include "file/BVMemoryFile.h"
#include "shell/PreviewLoader.h"
#include "shell/ThumbnailScaler.h"

#include "BenchClock.h"
#include "inflate/BenchData.h"
#include "support/ContainerWriter.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

using container_writer::PutU32;

// A document whose preview is a photo-like picture.
Bytes DocumentHead() {
    Bytes head = {'B', 'V', 'i', 'm'};
    for (std::uint32_t v : {13u, 2048u, 2048u, 0u, 1u})
        PutU32(head, v);
    head.resize(head.size() + 16, 0);
    PutU32(head, 256);
    PutU32(head, 256);
    for (std::uint32_t pixel : bench_data::PhotoPixels(256))
        PutU32(head, pixel);
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
        container = container_writer::DeflatedContainer(
            static_cast<std::uint32_t>(head.size()),
            static_cast<std::uint32_t>(crc32(0, head.data(), head.size())), payload);
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

// The thumbnail the path must give: the original pixels scaled directly.
std::vector<std::uint32_t> Expected(const ThumbnailSize& size) {
    BVBitmap original(256, 256);
    const std::vector<std::uint32_t> pixels = bench_data::PhotoPixels(256);
    std::copy(pixels.begin(), pixels.end(), original.Pixels());
    std::vector<std::uint32_t> out(static_cast<size_t>(size.width) * size.height);
    ScaleThumbnail(original, out.data(), size.width, size.height);
    return out;
}

void BM_Thumbnail(benchmark::State& state) {
    const Corpus& c = TheCorpus();
    const int cx = static_cast<int>(state.range(0));
    ThumbnailSize size;
    if (!ComputeThumbnailSize(cx, 256, 256, &size)) {
        state.SkipWithError("no size");
        return;
    }
    std::vector<std::uint32_t> out(static_cast<size_t>(size.width) * size.height);
    Bytes floorOut(c.head.size());
    double pathSeconds = 0, floorSeconds = 0;
    bool ok = true;
    bool floorFirst = false;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const double start = ThreadSeconds();
            if (floorFirst == (k == 0)) {
                ok = InflateWithZlib(c, floorOut) && ok;
                floorSeconds += ThreadSeconds() - start;
                continue;
            }
            std::unique_ptr<BVBitmap> preview(LoadPreview(BVMemoryFile::FromMemory(
                c.container.data(), static_cast<std::uint32_t>(c.container.size()))));
            ok = preview != nullptr && ok;
            if (preview)
                ScaleThumbnail(*preview, out.data(), size.width, size.height);
            benchmark::DoNotOptimize(out.data());
            pathSeconds += ThreadSeconds() - start;
        }
        floorFirst = !floorFirst;
    }
    if (!ok || out != Expected(size) || floorOut != c.head) {
        state.SkipWithError("thumbnail or floor output differs");
        return;
    }
    state.counters["ratio_to_floor"] = pathSeconds / floorSeconds;
}
BENCHMARK(BM_Thumbnail)->Arg(32)->Arg(96)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

} // namespace
