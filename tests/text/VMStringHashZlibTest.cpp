// HashNoCase against zlib's crc32 of the text with A-Z lowered outside
// two-byte characters, on generated Shift-JIS and single-byte texts.
#include "text/VMString.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace {

bool IsLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The bytes HashNoCase feeds: letters lowered, two-byte characters untouched.
std::string Folded(const std::string& s) {
    std::string out = s;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(out[i]);
        if (IsLead(b) && i + 1 < out.size())
            ++i;
        else if (b >= 'A' && b <= 'Z')
            out[i] = static_cast<char>(b + 32);
    }
    return out;
}

std::uint32_t ZlibCrc(const std::string& s) {
    return static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

TEST(VMStringHash, AgreesWithZlibCrc32) {
    std::mt19937 rng(6);
    for (int round = 0; round < 5000; ++round) {
        std::string text(rng() % 64, '\0');
        const bool twoByte = round % 2 == 1;
        for (char& c : text) {
            const unsigned b = rng() % 256;
            c = static_cast<char>(twoByte || !IsLead(static_cast<unsigned char>(b)) ? b : 'Q');
        }
        Text s = MakeBytes(text);
        ASSERT_EQ(s->HashNoCase(), ZlibCrc(Folded(text))) << round;
        if (!twoByte) {
            std::string upper = text;
            for (char& c : upper)
                c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            ASSERT_EQ(MakeBytes(upper)->HashNoCase(), s->HashNoCase()) << round;
        }
    }
}

// Long texts go through the fast CRC a folded block at a time: a two-byte
// character cut by a block's end (4096 bytes) or a vector's (16 or 8 bytes)
// must still keep its second byte unfolded, and a lead byte at the very end
// is a byte of its own.
TEST(VMStringHash, LongTextsAcrossBlockEnds) {
    std::mt19937 rng(8);
    for (int round = 0; round < 60; ++round) {
        std::string text(1 + rng() % 13000, '\0');
        for (char& c : text)
            c = static_cast<char>(rng() % 8 == 0 ? 0x81 + rng() % 31 : 'A' + rng() % 58);
        for (std::size_t at : {4095, 4096, 8191, 8192, 15, 16, 7}) {
            if (at + 1 < text.size()) {
                text[at] = static_cast<char>(0x82);
                text[at + 1] = 'A';
            }
        }
        if (round % 3 == 0)
            text.back() = static_cast<char>(0x82);
        Text s = MakeBytes(text);
        ASSERT_EQ(s->HashNoCase(), ZlibCrc(Folded(text))) << round;
    }
}

} // namespace
