// Differential between the decoder's two paths on any bytes, valid or not:
// the byte-at-a-time path alone (the input shows it nothing in bulk) against
// the fast path over views of varying size, both in the same reads of varying
// size, some of them skips. After every read both must have given the same
// bytes and result, taken the same input bytes and be in the same state, and
// both must write the same log lines.
//
// Input: byte 0 seeds the read sizes and the view sizes, the rest is a raw
// DEFLATE stream.
#include "inflate/InflateDecoder.h"
#include "support/BVLogCapture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bv_inflate::InflateDecoder;
using Bytes = std::vector<std::uint8_t>;

constexpr int kOutputCap = 1 << 18;

class Input final : public bv_inflate::InflateInput {
  public:
    Input(const std::uint8_t* data, std::size_t size, std::uint32_t seed, bool bulk)
        : data_(data), size_(size), seed_(seed), bulk_(bulk) {}
    int ReadSource(void* dst, int count) override {
        const int n = count < Remaining() ? count : Remaining();
        if (n > 0) {
            std::memcpy(dst, data_ + pos_, static_cast<std::size_t>(n));
        }
        pos_ += static_cast<std::size_t>(n);
        return n;
    }
    int PeekSource(const std::uint8_t** bytes) override {
        *bytes = data_ + pos_;
        if (!bulk_) {
            return 0;
        }
        // Views that end anywhere, now and then the whole rest.
        seed_ = seed_ * 1103515245u + 12345u;
        const int view = (seed_ >> 16) % 4 == 0 ? Remaining() : static_cast<int>(seed_ >> 20) % 64;
        return view < Remaining() ? view : Remaining();
    }
    void TakeSource(int count) override { pos_ += static_cast<std::size_t>(count); }
    std::size_t Taken() const { return pos_; }

  private:
    int Remaining() const { return static_cast<int>(size_ - pos_); }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::uint32_t seed_;
    bool bulk_;
};

struct Outcome {
    Bytes out;                 // what the reads wrote, delivered or not
    std::vector<bool> skipped; // per delivered byte
    int delivered = 0;
    int last = 0;
    std::vector<std::size_t> steps; // result, state and bytes taken after each read
    std::string log;
};

// Reads up to kOutputCap bytes in the reads seed picks; bulk lets the decoder
// see the input in views.
Outcome Decode(const std::uint8_t* data, std::size_t size, std::uint32_t seed, bool bulk,
               BVLogCapture& log) {
    Outcome r;
    Bytes work(bv_inflate::kWorkAreaSize, 0);
    Input input(data, size, seed, bulk);
    InflateDecoder decoder;
    decoder.Start(work.data(), &input, "0xFUZZ");
    log.Clear();
    r.out.assign(kOutputCap, 0);
    int done = 0;
    std::uint32_t s = seed;
    while (done < kOutputCap) {
        s = s * 2654435761u + 1;
        const int pick = static_cast<int>(s >> 24);
        const int want = pick < 64 ? 1 + pick % 7 : 1 + (pick << 6);
        const int n = want < kOutputCap - done ? want : kOutputCap - done;
        const bool skip = pick % 11 == 0;
        r.last = decoder.Decode(skip ? nullptr : r.out.data() + done, n);
        r.steps.push_back(static_cast<std::size_t>(r.last + 1));
        r.steps.push_back(static_cast<std::size_t>(decoder.GetState()));
        r.steps.push_back(input.Taken());
        if (r.last < 0) {
            break;
        }
        done += r.last;
        r.skipped.insert(r.skipped.end(), static_cast<std::size_t>(r.last), skip);
        if (r.last < n) {
            break;
        }
    }
    r.delivered = done;
    r.log = log.Bytes();
    decoder.Stop();
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static BVLogCapture log;
    const std::uint32_t seed = input[0] | 1u;
    const Outcome slow = Decode(input + 1, size - 1, seed, false, log);
    const Outcome fast = Decode(input + 1, size - 1, seed, true, log);
    if (slow.steps != fast.steps || slow.log != fast.log || slow.delivered != fast.delivered) {
        __builtin_trap();
    }
    for (int i = 0; i < fast.delivered; ++i) {
        if (!fast.skipped[static_cast<std::size_t>(i)] && fast.out[i] != slow.out[i]) {
            __builtin_trap();
        }
    }
    return 0;
}
