#include "DeflateTestSupport.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace inflate_test {

void BitWriter::Bits(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        acc_ |= ((value >> i) & 1u) << count_;
        if (++count_ == 8) {
            out_.push_back(static_cast<std::uint8_t>(acc_));
            acc_ = 0;
            count_ = 0;
        }
    }
}

void BitWriter::Code(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) {
        Bits((code >> i) & 1u, 1);
    }
}

void BitWriter::AlignToByte() {
    if (count_ != 0) {
        Bits(0, 8 - count_);
    }
}

void BitWriter::FixedLiteral(int symbol) {
    if (symbol < 144) {
        Code(static_cast<std::uint32_t>(0x30 + symbol), 8);
    } else if (symbol < 256) {
        Code(static_cast<std::uint32_t>(0x190 + symbol - 144), 9);
    } else if (symbol < 280) {
        Code(static_cast<std::uint32_t>(symbol - 256), 7);
    } else {
        Code(static_cast<std::uint32_t>(0xC0 + symbol - 280), 8);
    }
}

void BitWriter::StoredHeader(bool final, std::uint16_t len, std::uint16_t nlen) {
    Bits(final ? 1 : 0, 1);
    Bits(0, 2);
    AlignToByte();
    Bits(len, 16);
    Bits(nlen, 16);
}

ByteVector BitWriter::Finish() {
    ByteVector out = out_;
    if (count_ != 0) {
        out.push_back(static_cast<std::uint8_t>(acc_));
    }
    return out;
}

ByteVector FixedLiteralStream(const ByteVector& data) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    for (std::uint8_t b : data) {
        w.FixedLiteral(b);
    }
    w.FixedLiteral(256);
    return w.Finish();
}

ByteVector StoredStream(const ByteVector& data) {
    BitWriter w;
    std::size_t pos = 0;
    do {
        std::size_t n = data.size() - pos < 65535 ? data.size() - pos : 65535;
        w.StoredHeader(pos + n == data.size(), static_cast<std::uint16_t>(n),
                       static_cast<std::uint16_t>(~n));
        for (std::size_t i = 0; i < n; ++i) {
            w.Byte(data[pos + i]);
        }
        pos += n;
    } while (pos < data.size());
    return w.Finish();
}

namespace {

std::uint32_t Lcg(std::uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

ByteVector Text(std::size_t size) {
    static const char* const kWords[] = {"the ",
                                         "window ",
                                         "slides ",
                                         "over ",
                                         "thirty-two ",
                                         "kilobytes ",
                                         "of ",
                                         "history, ",
                                         "and ",
                                         "each ",
                                         "match ",
                                         "copies ",
                                         "bytes ",
                                         "from ",
                                         "behind. ",
                                         "A ",
                                         "picture ",
                                         "holds ",
                                         "layers, ",
                                         "pens ",
                                         "and ",
                                         "colours.\n",
                                         "\x83\x65\x83\x4c\x83\x58\x83\x67 "};
    ByteVector out;
    std::uint32_t s = 7;
    while (out.size() < size) {
        const char* w = kWords[Lcg(s) % (sizeof kWords / sizeof kWords[0])];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(size);
    return out;
}

ByteVector Noise(std::size_t size, std::uint32_t seed) {
    ByteVector out(size);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(Lcg(seed));
    }
    return out;
}

// A 256x256 B-G-R-A picture: gradients, a disc and a little noise, the kind
// of preview a document carries.
ByteVector Picture() {
    ByteVector out;
    std::uint32_t s = 3;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            int dx = x - 128, dy = y - 100;
            bool disc = dx * dx + dy * dy < 60 * 60;
            out.push_back(static_cast<std::uint8_t>(disc ? 40 : x));
            out.push_back(static_cast<std::uint8_t>(disc ? 200 : y));
            out.push_back(static_cast<std::uint8_t>((x + y) / 2 + (Lcg(s) & 3)));
            out.push_back(static_cast<std::uint8_t>(y < 16 ? 0 : 255));
        }
    }
    return out;
}

ByteVector Mixed() {
    ByteVector out = Text(20000);
    ByteVector noise = Noise(20000, 11);
    out.insert(out.end(), noise.begin(), noise.end());
    out.insert(out.end(), 40000, 0x5A);
    ByteVector text = Text(30000);
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

// The same 32 KiB twice: the second half is best coded with far matches.
ByteVector FarRepeat() {
    ByteVector half = Text(32768);
    for (std::size_t i = 0; i < half.size(); i += 97) {
        half[i] ^= 0x55;
    }
    ByteVector out = half;
    out.insert(out.end(), half.begin(), half.end());
    return out;
}

} // namespace

const std::vector<CorpusItem>& Corpus() {
    static const std::vector<CorpusItem> corpus = {
        {"empty", {}},
        {"one_byte", {0x41}},
        {"run_of_one_byte", ByteVector(100000, 0xEE)},
        {"text", Text(60000)},
        {"noise", Noise(70000, 5)},
        {"picture", Picture()},
        {"mixed", Mixed()},
        {"far_repeat", FarRepeat()},
    };
    return corpus;
}

const std::vector<ChunkPlan>& ChunkPlans() {
    static const std::vector<ChunkPlan> plans = {
        {"all_at_once", -1, false, 0},   {"one_byte", 1, false, 0}, {"two_bytes", 2, false, 0},
        {"seven_bytes", 7, false, 0},    {"random", 0, false, 1},   {"random_skips", 0, true, 2},
        {"large_skips", 65536, true, 3},
    };
    return plans;
}

ChunkSequence::ChunkSequence(const ChunkPlan& plan, int total)
    : plan_(plan), total_(total), rng_(plan.seed * 2654435761u + 1) {}

std::uint32_t ChunkSequence::Next() {
    return Lcg(rng_);
}

int ChunkSequence::NextSize() {
    if (plan_.fixedSize < 0) {
        return total_ + 1;
    }
    if (plan_.fixedSize > 0) {
        return plan_.fixedSize;
    }
    std::uint32_t r = Next();
    switch (r % 4) {
    case 0:
        return 1 + static_cast<int>(Next() % 4);
    case 1:
        return 1 + static_cast<int>(Next() % 300);
    case 2:
        return 1 + static_cast<int>(Next() % 5000);
    default:
        return 1 + static_cast<int>(Next() % 70000);
    }
}

bool ChunkSequence::NextIsSkip() {
    return plan_.withSkips && Next() % 3 == 0;
}

std::string Hex(const ByteVector& b) {
    std::string s;
    char tmp[4];
    for (std::uint8_t c : b) {
        std::snprintf(tmp, sizeof tmp, "%02x", c);
        s += tmp;
    }
    return s;
}

std::string Line(const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

} // namespace inflate_test
