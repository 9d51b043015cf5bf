// Differential test against OpenSSL's Blowfish, block for block in big-endian
// order, which is the byte order OpenSSL's ECB mode uses.
#include "crypt/BVBlowfish.h"

#include <openssl/blowfish.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::mt19937& rng, int count, int low, int high) {
    std::uniform_int_distribution<int> byte(low, high);
    Bytes bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(byte(rng));
    return bytes;
}

Bytes OpenSSLEcb(const Bytes& key, Bytes data, int direction) {
    BF_KEY schedule;
    BF_set_key(&schedule, static_cast<int>(key.size()), key.data());
    for (std::size_t i = 0; i + 8 <= data.size(); i += 8)
        BF_ecb_encrypt(&data[i], &data[i], &schedule, direction);
    return data;
}

Bytes OursEcb(BVBlowfish& fish, Bytes data, bool encrypt) {
    if (encrypt)
        fish.Encrypt(data.data(), 0, static_cast<int>(data.size()));
    else
        fish.Decrypt(data.data(), 0, static_cast<int>(data.size()));
    return data;
}

// Keys of 1-56 bytes in 0x01-0x7F, as zero-terminated strings and as byte
// ranges (the latter may hold zero bytes).
TEST(BVBlowfishOpenSSL, RandomKeysBelowSignBit) {
    std::mt19937 rng(20260522);
    std::uniform_int_distribution<int> keyLength(1, BVBlowfish::kMaxKeyBytes);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const bool asString = round % 2 == 0;
        Bytes key = RandomBytes(rng, keyLength(rng), asString ? 1 : 0, 0x7F);
        const Bytes plain = RandomBytes(rng, 8 * (60 + round % 5) + round % 8, 0, 0xFF);

        BVBlowfish fish(true, true);
        if (asString) {
            key.push_back(0);
            fish.SetKey(reinterpret_cast<const char*>(key.data()));
            key.pop_back();
        } else {
            fish.SetKeyBytes(key.data(), static_cast<int>(key.size()));
        }
        const Bytes cipher = OursEcb(fish, plain, true);
        ASSERT_EQ(cipher, OpenSSLEcb(key, plain, BF_ENCRYPT));
        ASSERT_EQ(OursEcb(fish, cipher, false), plain);
        ASSERT_EQ(OursEcb(fish, plain, false), OpenSSLEcb(key, plain, BF_DECRYPT));
    }
}

// With any key bytes, the system's schedule is the textbook schedule of the
// 72-byte key spelling out its own sign-extended words.
TEST(BVBlowfishOpenSSL, HighKeyBytesFollowSignExtendedWords) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        const Bytes key = RandomBytes(rng, 1 + round % BVBlowfish::kMaxKeyBytes, 0, 0xFF);
        Bytes spelled;
        for (int i = 0, next = 0; i < BVBlowfish::kPWords; ++i) {
            std::uint32_t w = 0;
            for (int b = 0; b < 4; ++b, next = (next + 1) % static_cast<int>(key.size())) {
                const std::uint32_t k = key[next];
                w = w << 8 | (k < 0x80 ? k : 0xFFFFFF00u | k);
            }
            for (int shift = 24; shift >= 0; shift -= 8)
                spelled.push_back(static_cast<std::uint8_t>(w >> shift));
        }
        const Bytes plain = RandomBytes(rng, 64, 0, 0xFF);
        BVBlowfish fish(true, true);
        fish.SetKeyBytes(key.data(), static_cast<int>(key.size()));
        EXPECT_EQ(OursEcb(fish, plain, true), OpenSSLEcb(spelled, plain, BF_ENCRYPT));
    }
}

} // namespace
