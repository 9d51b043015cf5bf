// Arbitrary bytes opened as a container and read twice: once in 4 KiB reads,
// once in a fuzzer-chosen sequence of read sizes and skips. Both readings must
// deliver the same bytes (where the second one did not skip them), end the
// same way, and agree at Close when neither skipped.
//
// Input: byte 0 = number of plan bytes (0..15), then the plan, then the file.
// Each plan byte is one read: bit 7 set makes it a skip, the low bits pick the
// size (a few tiny sizes, then growing ones); the plan repeats until the end.
#include "file/BVMemoryFile.h"
#include "inflate/BVInflate.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kOutputCap = 1 << 22; // keeps huge expanded sizes fast

struct Reading {
    std::vector<std::uint8_t> bytes;
    std::vector<bool> skipped;
    bool failed = false; // a Read returned -1
    bool anySkip = false;
    bool closed = false; // result of Close
    int size = 0;
    int opened = 0;
};

int SizeOf(std::uint8_t planByte) {
    static const int kSizes[] = {1,   2,   3,    5,    7,    16,   24,    100,
                                 255, 256, 1000, 4095, 4096, 8192, 65536, 100000};
    return kSizes[planByte & 15] + ((planByte >> 4) & 7);
}

Reading Read(const std::uint8_t* file, std::size_t fileSize, const std::uint8_t* plan,
             std::size_t planSize) {
    Reading r;
    BVInflate in;
    r.opened = in.Open(BVMemoryFile::FromMemory(file, static_cast<std::uint32_t>(fileSize)));
    r.size = in.GetSize();
    if (r.opened == 0) {
        return r;
    }
    std::vector<std::uint8_t> chunk;
    for (std::size_t step = 0; r.bytes.size() < kOutputCap; ++step) {
        const std::uint8_t p = planSize != 0 ? plan[step % planSize] : 0x0C;
        const int n = planSize != 0 ? SizeOf(p) : 4096;
        const bool skip = (p & 0x80) != 0 && planSize != 0;
        chunk.assign(static_cast<std::size_t>(n), 0);
        const int got = in.Read(skip ? nullptr : chunk.data(), 0, n);
        if (got < 0) {
            r.failed = true;
            break;
        }
        if (got > n) {
            __builtin_trap();
        }
        r.anySkip |= skip;
        r.bytes.insert(r.bytes.end(), chunk.begin(), chunk.begin() + got);
        r.skipped.insert(r.skipped.end(), static_cast<std::size_t>(got), skip);
        if (got < n) {
            break;
        }
    }
    r.closed = in.Close();
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t planSize = data[0] & 15;
    if (size < 1 + planSize) {
        return 0;
    }
    const std::uint8_t* plan = data + 1;
    const std::uint8_t* file = data + 1 + planSize;
    const std::size_t fileSize = size - 1 - planSize;

    const Reading a = Read(file, fileSize, nullptr, 0);
    const Reading b = Read(file, fileSize, plan, planSize);
    if (a.opened != b.opened || a.size != b.size) {
        __builtin_trap();
    }
    // Past the output cap, or once the expanded size is reached (what the
    // payload yields beyond it, even a failure, is only seen by a read that
    // asks for more), the two readings may stop at different places.
    const std::size_t expanded = static_cast<std::uint32_t>(a.size);
    const bool capped =
        a.bytes.size() >= kOutputCap || b.bytes.size() >= kOutputCap ||
        (a.opened == 1 && (a.bytes.size() == expanded || b.bytes.size() == expanded));
    if (!capped && a.failed != b.failed) {
        __builtin_trap();
    }
    if (!capped && !a.failed && a.bytes.size() != b.bytes.size()) {
        __builtin_trap();
    }
    const std::size_t common = a.bytes.size() < b.bytes.size() ? a.bytes.size() : b.bytes.size();
    for (std::size_t i = 0; i < common; ++i) {
        if (!b.skipped[i] && a.bytes[i] != b.bytes[i]) {
            __builtin_trap();
        }
    }
    if (!capped && !b.anySkip && a.closed != b.closed) {
        __builtin_trap();
    }
    if (a.opened == -1 && (a.bytes.size() != fileSize ||
                           (fileSize != 0 && std::memcmp(a.bytes.data(), file, fileSize) != 0))) {
        __builtin_trap(); // pass-through hands the file over unchanged
    }
    return 0;
}
