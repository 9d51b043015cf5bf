#include "DecoderHarness.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace inflate_test {

DecodeOutcome RunDecoder(const ByteVector& stream, const ChunkPlan& plan, int total,
                         int peekLimit) {
    DecodeOutcome r;
    ByteVector work(bv_inflate::kWorkAreaSize, 0);
    ByteInput input(stream, peekLimit);
    bv_inflate::InflateDecoder decoder;
    decoder.Start(work.data(), &input, "0xTEST");
    ChunkSequence seq(plan, total);
    ByteVector chunk;
    for (;;) {
        const int n = seq.NextSize();
        const bool skip = seq.NextIsSkip();
        chunk.assign(static_cast<std::size_t>(n), 0);
        r.lastResult = decoder.Decode(skip ? nullptr : chunk.data(), n);
        r.takenAfterRead.push_back(input.Taken());
        if (r.lastResult < 0) {
            break;
        }
        r.out.insert(r.out.end(), chunk.begin(), chunk.begin() + r.lastResult);
        r.skipped.insert(r.skipped.end(), static_cast<std::size_t>(r.lastResult), skip);
        if (r.lastResult < n) {
            break;
        }
    }
    r.state = decoder.GetState();
    r.taken = input.Taken();
    return r;
}

const int kPeekLimits[3] = {0, 37, 1 << 24};

std::string Name(const char* format, int a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, a);
    return buf;
}

void ExpectDecodesTo(const ByteVector& stream, const ByteVector& expected, const std::string& what,
                     bool everyPlan) {
    LogCapture log;
    const int total = static_cast<int>(expected.size());
    DecodeOutcome ref = RunDecoder(stream, ChunkPlans()[0], total, 0);
    const auto refLines = log.Lines();
    ASSERT_GE(ref.lastResult, 0) << what;
    ASSERT_EQ(ref.out, expected) << what;
    EXPECT_EQ(ref.state, bv_inflate::InflateDecoder::Done) << what;
    for (const ChunkPlan& plan : ChunkPlans()) {
        if (!everyPlan && plan.name != "random_skips") {
            continue;
        }
        std::vector<std::size_t> byteAtATime;
        for (int peek : kPeekLimits) {
            log.Clear();
            DecodeOutcome r = RunDecoder(stream, plan, total, peek);
            if (peek == 0) {
                byteAtATime = r.takenAfterRead;
            }
            const std::string where = what + " plan " + plan.name + Name(" peek %d", peek);
            ASSERT_GE(r.lastResult, 0) << where;
            ASSERT_EQ(r.out.size(), expected.size()) << where;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                if (!r.skipped[i] && r.out[i] != expected[i]) {
                    FAIL() << where << ": byte " << i << " differs";
                }
            }
            EXPECT_EQ(r.taken, ref.taken) << where;
            EXPECT_EQ(r.takenAfterRead, byteAtATime) << where;
            EXPECT_EQ(r.state, bv_inflate::InflateDecoder::Done) << where;
            EXPECT_EQ(log.Lines(), refLines) << where;
        }
    }
}

} // namespace inflate_test
