// Runs an InflateDecoder over bytes in memory with a chosen read pattern.
#pragma once

#include "DeflateTestSupport.h"

#include "inflate/InflateDecoder.h"

#include <cstring>

namespace inflate_test {

// Input over a byte vector. peekLimit bounds what the decoder may look at in
// bulk (0: nothing, forcing the byte-at-a-time path), so that the bulk path
// meets every kind of boundary.
class ByteInput final : public bv_inflate::InflateInput {
  public:
    ByteInput(const ByteVector& data, int peekLimit) : data_(data), peekLimit_(peekLimit) {}
    int ReadSource(void* dst, int count) override {
        int n = count < Remaining() ? count : Remaining();
        if (n > 0) {
            std::memcpy(dst, data_.data() + pos_, static_cast<std::size_t>(n));
        }
        pos_ += static_cast<std::size_t>(n);
        return n;
    }
    int PeekSource(const std::uint8_t** bytes) override {
        *bytes = data_.data() + pos_;
        // Vary the view with the position so that bulk runs end anywhere.
        int view = peekLimit_ > 0
                       ? 1 + static_cast<int>(pos_ * 7 % static_cast<std::size_t>(peekLimit_))
                       : 0;
        return view < Remaining() ? view : Remaining();
    }
    void TakeSource(int count) override { pos_ += static_cast<std::size_t>(count); }
    std::size_t Taken() const { return pos_; }

  private:
    int Remaining() const { return static_cast<int>(data_.size() - pos_); }
    const ByteVector& data_;
    std::size_t pos_ = 0;
    int peekLimit_;
};

struct DecodeOutcome {
    ByteVector out;            // produced bytes; skipped ones are zero
    std::vector<bool> skipped; // per produced byte
    int lastResult = 0;        // result of the last Decode call
    bv_inflate::InflateDecoder::State state = bv_inflate::InflateDecoder::Idle;
    std::size_t taken = 0; // input bytes taken
    std::vector<std::size_t> takenAfterRead;
};

// Decodes with the read sizes of plan until a call returns fewer bytes than
// asked (the end) or -1. total sizes the all-at-once read.
DecodeOutcome RunDecoder(const ByteVector& stream, const ChunkPlan& plan, int total, int peekLimit);

// Decodes stream all at once, then under every read plan and peek limit (or
// only the random plan with skips); every run must give expected,
// take the same input bytes and write the same lines. Within a plan, every
// read must also have taken what the byte-at-a-time path took by then.
void ExpectDecodesTo(const ByteVector& stream, const ByteVector& expected, const std::string& what,
                     bool everyPlan = true);

std::string Name(const char* format, int a);

// Peek limits the tests run with: the byte-at-a-time path only, a view that
// ends at odd places, and whole-input bulk access.
extern const int kPeekLimits[3];

} // namespace inflate_test
