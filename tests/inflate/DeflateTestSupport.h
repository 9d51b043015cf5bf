// Helpers shared by the decompressor tests: a bit writer for crafted streams,
// generated corpora and chunked read patterns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace inflate_test {

using ByteVector = std::vector<std::uint8_t>;

// Writes DEFLATE bit fields least significant bit first.
class BitWriter {
  public:
    void Bits(std::uint32_t value, int count);
    // A Huffman code given most significant bit first, as RFC 1951 writes codes.
    void Code(std::uint32_t code, int length);
    void AlignToByte();
    void Byte(std::uint8_t b) { Bits(b, 8); }
    // Fixed-code helpers (RFC 1951, 3.2.6).
    void FixedLiteral(int symbol);
    void FixedDistance(int symbol) { Code(static_cast<std::uint32_t>(symbol), 5); }
    // A stored block header with LEN and NLEN as given, aligned.
    void StoredHeader(bool final, std::uint16_t len, std::uint16_t nlen);
    ByteVector Finish();

  private:
    ByteVector out_;
    std::uint32_t acc_ = 0;
    int count_ = 0;
};

// Valid raw DEFLATE streams without an encoder: every byte a fixed-code
// literal, or everything in stored blocks of at most 65,535 bytes.
ByteVector FixedLiteralStream(const ByteVector& data);
ByteVector StoredStream(const ByteVector& data);

// Named corpus inputs covering runs, text, noise and image-like data.
struct CorpusItem {
    std::string name;
    ByteVector data;
};
const std::vector<CorpusItem>& Corpus();

// Read sizes: every one of them (0 = all at once) is tried by the chunked tests.
struct ChunkPlan {
    std::string name;
    int fixedSize;  // > 0: every read this size; 0: random sizes
    bool withSkips; // some reads with a null buffer
    unsigned seed;
};
const std::vector<ChunkPlan>& ChunkPlans();

// Makes the next read size of a plan (never 0) and whether it is a skip.
class ChunkSequence {
  public:
    ChunkSequence(const ChunkPlan& plan, int total);
    int NextSize();
    bool NextIsSkip();

  private:
    ChunkPlan plan_;
    int total_;
    std::uint32_t rng_;
    std::uint32_t Next();
};

std::string Hex(const ByteVector& b);

// printf into a string: the expected text of a log line.
std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace inflate_test
