// A seekable VectorFile that counts its live instances, and builders of
// compressed containers, for the BVInflate and InflateBlock tests.
#pragma once

#include "DeflateTestSupport.h"

#include "support/ContainerWriter.h"
#include "support/VectorFile.h"

#include <cstdint>

namespace inflate_test {

class ContainerFile : public VectorFile {
  public:
    static int live; // instances not yet destroyed

    explicit ContainerFile(const ByteVector& content, std::uint32_t bufferSize = 8192)
        : VectorFile(0, bufferSize, content) {
        ++live;
    }
    ~ContainerFile() override { --live; }

    // Origin 0, 1 and 2 over the source; a refill follows every seek.
    bool Seek(std::int64_t offset, int origin) override {
        const std::int64_t from = origin == 0 ? 0 : origin == 1 ? GetPosition() : length;
        const std::int64_t target = from + offset;
        if (target < 0 || target > static_cast<std::int64_t>(source.size())) {
            return false;
        }
        sourcePos = static_cast<std::size_t>(target);
        cursor = buffer;
        available = 0;
        return true;
    }
};

struct ContainerSpec {
    std::uint16_t magic = BVInflate::kMagic;
    std::uint16_t flags = 0;
    std::uint32_t expanded = 0;
    std::uint32_t word8 = 0x5EED5EED;
    std::uint32_t crc = 0;
    std::uint32_t extra = 0;
};

// The header for spec (12, 16 or 20 bytes by its flags) followed by payload.
ByteVector Container(const ContainerSpec& spec, const ByteVector& payload);

// A deflated container of data (fixed-code literals) with the right size and CRC.
ByteVector DeflatedContainer(const ByteVector& data);
// A stored container of data with its CRC in word 8.
ByteVector StoredContainer(const ByteVector& data);

// CRC-32 by one table step per byte, independent of the code under test.
std::uint32_t ReferenceCrc(const ByteVector& data);

// The name a decompressor gives the file at this address.
std::string FileName(const void* file);

} // namespace inflate_test
