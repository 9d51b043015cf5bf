// Builds documents for the loading tests: the 24-byte header, the 16 skipped
// bytes, the preview size and pixels, wrapped in a plain, stored or deflated
// container. Self-contained (no zlib) so that the Windows tests can use it:
// the deflated form is a fixed-Huffman stream of literals, or stored DEFLATE
// blocks, which is enough to drive the real decoder end to end.
#pragma once

#include "support/ContainerWriter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace testdoc {

using Bytes = std::vector<std::uint8_t>;

struct Header {
    std::string magic = "BVim";
    std::uint32_t level = 13;
    std::int32_t width = 640, height = 480;
    std::uint32_t word4 = 0xDEADBEEF;
    std::int32_t word5 = 1;
};

using container_writer::PutU32;

// The document's bytes as the decompressor delivers them.
inline Bytes Document(const Header& h, std::int32_t previewWidth, std::int32_t previewHeight,
                      const std::vector<std::uint32_t>& pixels) {
    Bytes out(h.magic.begin(), h.magic.end());
    PutU32(out, h.level);
    PutU32(out, static_cast<std::uint32_t>(h.width));
    PutU32(out, static_cast<std::uint32_t>(h.height));
    PutU32(out, h.word4);
    PutU32(out, static_cast<std::uint32_t>(h.word5));
    for (int i = 0; i < 16; ++i)
        out.push_back(static_cast<std::uint8_t>(0xA0 + i));
    PutU32(out, static_cast<std::uint32_t>(previewWidth));
    PutU32(out, static_cast<std::uint32_t>(previewHeight));
    for (std::uint32_t p : pixels)
        PutU32(out, p);
    return out;
}

// LSB-first bit writer, as DEFLATE packs its fields.
class BitWriter {
  public:
    void Put(std::uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i) {
            if (used_ == 0)
                out_.push_back(0);
            out_.back() |= static_cast<std::uint8_t>(((value >> i) & 1) << used_);
            used_ = (used_ + 1) % 8;
        }
    }
    // Huffman codes go most significant bit first.
    void PutCode(std::uint32_t code, int bits) {
        for (int i = bits - 1; i >= 0; --i)
            Put((code >> i) & 1, 1);
    }
    Bytes Take() { return std::move(out_); }

  private:
    Bytes out_;
    int used_ = 0;
};

// One final fixed-Huffman block of literals.
inline Bytes DeflateFixed(const Bytes& data) {
    BitWriter w;
    w.Put(1, 1); // BFINAL
    w.Put(1, 2); // BTYPE: fixed Huffman
    for (std::uint8_t b : data) {
        if (b < 144)
            w.PutCode(0x30 + b, 8);
        else
            w.PutCode(0x190 + (b - 144), 9);
    }
    w.PutCode(0, 7); // end of block
    return w.Take();
}

// Stored DEFLATE blocks of at most 65535 bytes (an empty input still gets one).
inline Bytes DeflateStored(const Bytes& data) {
    Bytes out;
    size_t at = 0;
    do {
        size_t n = std::min<size_t>(data.size() - at, 65535);
        out.push_back(at + n == data.size() ? 1 : 0); // BFINAL, BTYPE 00, byte-aligned
        out.push_back(static_cast<std::uint8_t>(n));
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(~n));
        out.push_back(static_cast<std::uint8_t>(~n >> 8));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
        at += n;
    } while (at < data.size());
    return out;
}

enum class Container { Plain, Stored, Fixed, StoredBlocks };

// Wraps document bytes in the container form asked for.
inline Bytes Wrap(const Bytes& document, Container form) {
    const std::uint32_t crc = container_writer::ReferenceCrc32(document);
    switch (form) {
    case Container::Plain:
        return document;
    case Container::Stored:
        return container_writer::StoredContainer(document, crc);
    case Container::Fixed:
        return container_writer::DeflatedContainer(static_cast<std::uint32_t>(document.size()), crc,
                                                   DeflateFixed(document));
    case Container::StoredBlocks:
        break;
    }
    return container_writer::DeflatedContainer(static_cast<std::uint32_t>(document.size()), crc,
                                               DeflateStored(document));
}

} // namespace testdoc
