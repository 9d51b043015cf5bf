// Differential: zlib deflates the fuzzer's bytes at a chosen level, strategy
// and memory level; our decoder must give them back exactly, through
// InflateBlock (all at once, CRC checked) and through BVInflate in pieces.
//
// Input: byte 0 = level (mod 10), byte 1 = strategy (mod 5), byte 2 = memory
// level (1..9) and read size seed, the rest is the data.
#include "file/BVMemoryFile.h"
#include "inflate/BVInflate.h"
#include "inflate/InflateBlock.h"
#include "platform/Win32.h"
#include "support/ContainerWriter.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> Deflate(const std::uint8_t* data, std::size_t size, int level,
                                  int strategy, int memLevel) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy) != Z_OK) {
        __builtin_trap();
    }
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(size)) + 16);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
        __builtin_trap();
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 3 || size > (1 << 20)) {
        return 0;
    }
    const int level = input[0] % 10;
    const int strategy = input[1] % 5; // Z_DEFAULT_STRATEGY .. Z_FIXED
    const int memLevel = 1 + input[2] % 9;
    const int piece = 1 + input[2] * 37;
    const std::uint8_t* data = input + 3;
    const std::size_t n = size - 3;

    const std::vector<std::uint8_t> container = container_writer::DeflatedContainer(
        static_cast<std::uint32_t>(n),
        static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), data, static_cast<uInt>(n))),
        Deflate(data, n, level, strategy, memLevel));

    int outSize = 0;
    void* block = InflateBlock(container.data(), static_cast<int>(container.size()), &outSize);
    if (outSize != static_cast<int>(n) || (n > 0 && block == nullptr) ||
        (block != nullptr && std::memcmp(block, data, n) != 0)) {
        __builtin_trap();
    }
    if (block != nullptr) {
        GlobalFree(block);
    }

    BVInflate in;
    if (in.Open(BVMemoryFile::FromMemory(container.data(),
                                         static_cast<std::uint32_t>(container.size()))) != 1) {
        __builtin_trap();
    }
    std::vector<std::uint8_t> out(n + static_cast<std::size_t>(piece));
    std::size_t got = 0;
    for (;;) {
        const int r = in.Read(out.data(), static_cast<int>(got), piece);
        if (r < 0) {
            __builtin_trap();
        }
        got += static_cast<std::size_t>(r);
        if (r < piece) {
            break;
        }
    }
    if (got != n || std::memcmp(out.data(), data, n) != 0 || !in.Close()) {
        __builtin_trap();
    }
    return 0;
}
