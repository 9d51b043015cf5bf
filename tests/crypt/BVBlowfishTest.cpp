#include "crypt/BVBlowfish.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

using Block = std::array<std::uint8_t, 8>;
using Words = std::array<std::uint32_t, BVBlowfish::kPWords>;

Block ParseBlock(const char* hex) {
    Block block{};
    for (int i = 0; i < 8; ++i)
        block[i] = static_cast<std::uint8_t>(std::stoul(std::string(hex + 2 * i, 2), nullptr, 16));
    return block;
}

// The textbook key words: unsigned key bytes taken cyclically.
Words TextbookWords(const std::uint8_t* key, int length) {
    Words words{};
    for (int i = 0, next = 0; i < BVBlowfish::kPWords; ++i)
        for (int b = 0; b < 4; ++b, next = (next + 1) % length)
            words[i] = words[i] << 8 | key[next];
    return words;
}

Words Repeated(std::uint32_t word) {
    Words words;
    words.fill(word);
    return words;
}

bool SameTables(const BVBlowfish& a, const BVBlowfish& b) {
    const std::size_t sBytes = sizeof(std::uint32_t) * BVBlowfish::kSBoxWords;
    if (std::memcmp(a.PArray(), b.PArray(), sizeof(std::uint32_t) * BVBlowfish::kPWords) != 0)
        return false;
    for (int box = 0; box < BVBlowfish::kSBoxes; ++box)
        if (std::memcmp(a.SBox(box), b.SBox(box), sBytes) != 0)
            return false;
    return true;
}

bool AllZero(const BVBlowfish& fish) {
    const auto zero = [](std::uint32_t w) { return w == 0; };
    bool zeroes = std::all_of(fish.PArray(), fish.PArray() + BVBlowfish::kPWords, zero);
    for (int box = 0; box < BVBlowfish::kSBoxes; ++box)
        zeroes =
            zeroes && std::all_of(fish.SBox(box), fish.SBox(box) + BVBlowfish::kSBoxWords, zero);
    return zeroes;
}

Block Encrypted(BVBlowfish& fish, Block block) {
    fish.Encrypt(block.data(), 0, 8);
    return block;
}

Block Decrypted(BVBlowfish& fish, Block block) {
    fish.Decrypt(block.data(), 0, 8);
    return block;
}

struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};

// The published Blowfish ECB test vectors (8-byte keys). Typed in from
// memory; rows 28 and 31 were mistyped and their ciphertexts were taken from
// OpenSSL's BF_ecb_encrypt instead, which agrees with every other row.
const Vector kVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// Whether the system's key rule gives the textbook words for this key: when
// no byte is 0x80 or more, or when every byte is 0xFF (sign extension then
// only sets bits that are set already).
bool SignExtensionHarmless(const Block& key) {
    return std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return b < 0x80; }) ||
           std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// Every vector passes when the cipher is keyed with the textbook words; the
// system's own key rule reaches the same ciphertext exactly when it reaches
// the same words.
TEST(BVBlowfish, PublishedVectors) {
    static_assert(sizeof kVectors / sizeof kVectors[0] == 34, "the full published set");
    for (const Vector& v : kVectors) {
        SCOPED_TRACE(testing::Message() << "key " << v.key << " plain " << v.plain);
        const Block key = ParseBlock(v.key), plain = ParseBlock(v.plain);
        const Block cipher = ParseBlock(v.cipher);
        BVBlowfish fish(true, true);
        fish.SetKeyWords(TextbookWords(key.data(), 8).data());
        EXPECT_EQ(Encrypted(fish, plain), cipher);
        EXPECT_EQ(Decrypted(fish, cipher), plain);

        BVBlowfish keyed(true, true);
        keyed.SetKeyBytes(key.data(), 8);
        EXPECT_EQ(Encrypted(keyed, plain) == cipher, SignExtensionHarmless(key));
    }
}

TEST(BVBlowfish, SignExtendedKeyBytes) {
    // Key 82 A0 41 42 (a Shift-JIS character, then "AB"). Its first word, one
    // byte at a time with each byte sign-extended before it is or-ed in:
    //   0x82            -> FFFFFF82
    //   << 8 | FFFFFFA0 -> FFFFFFA0   (0xA0 sets every bit above its byte)
    //   << 8 | 00000041 -> FFFFA041
    //   << 8 | 00000042 -> FFA04142
    // The textbook word would be 82A04142. A four-byte key repeats, so all
    // 18 words are FFA04142.
    BVBlowfish system(true, true), byHand(true, true), textbook(true, true);
    system.SetKey("\x82\xA0"
                  "AB");
    byHand.SetKeyWords(Repeated(0xFFA04142).data());
    textbook.SetKeyWords(Repeated(0x82A04142).data());
    EXPECT_TRUE(SameTables(system, byHand));
    EXPECT_FALSE(SameTables(system, textbook));

    // A high byte in the middle overwrites the bytes before it: 41 82 41 41
    // gives 41 -> FFFFFF82 -> FFFF8241 -> FF824141; the leading 0x41 is lost.
    system.SetKey("\x41\x82\x41\x41");
    byHand.SetKeyWords(Repeated(0xFF824141).data());
    EXPECT_TRUE(SameTables(system, byHand));
}

TEST(BVBlowfish, RoundTripAndByteOrders) {
    std::vector<std::uint8_t> plain(64);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(i * 37 + 11);
    BVBlowfish big(true, true), little(false, true);
    big.SetKey("round trip");
    little.SetKey("round trip");

    std::vector<std::uint8_t> viaBig = plain, viaLittle = plain;
    big.Encrypt(viaBig.data(), 0, 64);
    little.Encrypt(viaLittle.data(), 0, 64);
    EXPECT_NE(viaBig, plain);
    EXPECT_NE(viaBig, viaLittle);

    // Little-endian order is big-endian order on byte-reversed halves.
    auto swapHalves = [](std::vector<std::uint8_t> bytes) {
        for (std::size_t i = 0; i < bytes.size(); i += 4)
            std::reverse(bytes.begin() + i, bytes.begin() + i + 4);
        return bytes;
    };
    std::vector<std::uint8_t> crossed = swapHalves(plain);
    big.Encrypt(crossed.data(), 0, 64);
    EXPECT_EQ(swapHalves(crossed), viaLittle);

    big.Decrypt(viaBig.data(), 0, 64);
    little.Decrypt(viaLittle.data(), 0, 64);
    EXPECT_EQ(viaBig, plain);
    EXPECT_EQ(viaLittle, plain);
}

// Only whole blocks inside [offset, offset + length) change.
TEST(BVBlowfish, PartialBlocksAndOffsets) {
    const struct {
        int offset, length;
        int firstChanged, changedBytes;
    } cases[] = {
        {0, 15, 0, 8},  {3, 15, 3, 8}, {0, 16, 0, 16}, {5, 17, 5, 16},
        {0, 24, 0, 24}, {0, 7, 0, 0},  {2, 0, 0, 0},   {0, -8, 0, 0},
    };
    BVBlowfish fish(false, true);
    fish.SetKey("partial");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " length " << c.length);
        std::vector<std::uint8_t> original(24, 0x5A), buffer = original;
        fish.Encrypt(buffer.data(), c.offset, c.length);
        for (int i = 0; i < 24; ++i) {
            const bool inBlock = i >= c.firstChanged && i < c.firstChanged + c.changedBytes;
            if (!inBlock) {
                EXPECT_EQ(buffer[i], original[i]) << "byte " << i;
            }
        }
        if (c.changedBytes > 0) {
            EXPECT_NE(0, std::memcmp(&buffer[c.firstChanged], &original[c.firstChanged], 8));
        }
        fish.Decrypt(buffer.data(), c.offset, c.length);
        EXPECT_EQ(buffer, original);
    }
    fish.Encrypt(nullptr, 0, 8); // refused, not dereferenced
}

TEST(BVBlowfish, KeyLengthLimits) {
    std::string key60;
    for (int i = 0; i < 60; ++i)
        key60 += static_cast<char>('!' + i);
    const std::string key56 = key60.substr(0, 56);

    BVBlowfish limited60(true, true), limited56(true, true), unlimited60(true, false);
    limited60.SetKey(key60.c_str());
    limited56.SetKey(key56.c_str());
    unlimited60.SetKey(key60.c_str());
    EXPECT_TRUE(SameTables(limited60, limited56));
    EXPECT_FALSE(SameTables(unlimited60, limited56));
    const Block block = ParseBlock("0123456789ABCDEF");
    EXPECT_EQ(Encrypted(limited60, block), Encrypted(limited56, block));

    // Without the limit only the first 72 bytes can reach the key words.
    const std::string key72(72, 'k');
    const std::string key100 = key72 + std::string(28, 'z');
    BVBlowfish a(true, false), b(true, false);
    a.SetKey(key100.c_str());
    b.SetKey(key72.c_str());
    EXPECT_TRUE(SameTables(a, b));

    // The empty key, also when given as null, is the all-zero key of the vectors.
    for (const char* key : {"", static_cast<const char*>(nullptr)}) {
        a.SetKey(key);
        EXPECT_EQ(Encrypted(a, Block{}), ParseBlock("4EF997456198DD78"));
    }
}

// A new key rebuilds the tables from the constants: keys never accumulate.
TEST(BVBlowfish, RekeyStartsAfresh) {
    BVBlowfish once(true, true), twice(true, true);
    once.SetKey("second");
    twice.SetKey("first");
    twice.SetKey("second");
    EXPECT_TRUE(SameTables(once, twice));
}

TEST(BVBlowfish, ClearAndDestructionWipeTables) {
    BVBlowfish fish(true, true);
    EXPECT_TRUE(AllZero(fish));
    fish.SetKey("secret");
    EXPECT_FALSE(AllZero(fish));
    fish.Clear();
    EXPECT_TRUE(AllZero(fish));

    // The destructor's wipe must survive optimisation although the object
    // dies right after it: only the vtable pointer and the two flags may
    // remain nonzero in the storage.
    alignas(BVBlowfish) unsigned char storage[sizeof(BVBlowfish)];
    BVCrypt* crypt = new (storage) BVBlowfish(true, true);
    crypt->SetKey("secret");
    crypt->~BVCrypt();
    const auto nonzero = std::count_if(std::begin(storage), std::end(storage),
                                       [](unsigned char c) { return c != 0; });
    EXPECT_LE(nonzero, static_cast<long>(sizeof(void*) + 2));
}

} // namespace
