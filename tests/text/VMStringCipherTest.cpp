// Enciphered copies of texts: padding both ways round at every length near
// the block boundaries, each way the padding or length can fail, the key
// rules, and that the source and its sharers are never touched.
#include "crypt/BVBlowfish.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// Cipher text made with the cipher directly: the reference for the texts.
std::string Enciphered(std::string plain, const std::string& key, bool bigEndian) {
    BVBlowfish fish(bigEndian, true);
    fish.SetKey(key.c_str());
    fish.Encrypt(reinterpret_cast<std::uint8_t*>(&plain[0]), 0, static_cast<int>(plain.size()));
    return plain;
}

std::string Deciphered(std::string cipher, const std::string& key, bool bigEndian) {
    BVBlowfish fish(bigEndian, true);
    fish.SetKey(key.c_str());
    fish.Decrypt(reinterpret_cast<std::uint8_t*>(&cipher[0]), 0, static_cast<int>(cipher.size()));
    return cipher;
}

// n bytes with no zero among them, Shift-JIS lead bytes included.
std::string Plain(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>(i % 3 == 0 ? 0x81 + i : 'a' + i % 26);
    return s;
}

struct Scheme {
    bool bigEndian;
    bool padWithCount;
};
const Scheme kSchemes[] = {{true, true}, {true, false}, {false, true}, {false, false}};

std::string Name(const Scheme& s) {
    return std::string(s.bigEndian ? "big-endian" : "little-endian") +
           (s.padWithCount ? ", count padding" : ", zero padding");
}

TEST(VMStringCipher, EveryLengthRoundTripsWithOneToEightPaddingBytes) {
    Text key = MakeText("secret \x83\x4c\x81\x5b"); // "secret キー"
    for (const Scheme& scheme : kSchemes)
        for (int n = 1; n <= 33; ++n) {
            SCOPED_TRACE(Name(scheme) + ", length " + std::to_string(n));
            const std::string plain = Plain(n);
            Text source = MakeBytes(plain);
            Text cipher(source->Encrypt(key.get(), scheme.bigEndian, scheme.padWithCount));
            const int padded = (n / 8 + 1) * 8;
            ASSERT_EQ(cipher->Length(), padded);
            EXPECT_EQ(cipher->RefCount(), 1);

            const std::string padding = Deciphered(Str(*cipher), Str(*key), scheme.bigEndian);
            EXPECT_EQ(padding, plain + std::string(static_cast<std::size_t>(padded - n),
                                                   scheme.padWithCount ? char(padded - n) : 0));

            Text back(cipher->Decrypt(key.get(), scheme.bigEndian, scheme.padWithCount));
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(Str(*back), plain);
            EXPECT_EQ(back->RefCount(), 1);
        }
}

TEST(VMStringCipher, MatchesThePublishedVectorAndTheCipherUsedDirectly) {
    // Key 1111111111111111, plain 1111111111111111 gives 2466DD878B963C9D.
    const std::string ones(8, '\x11');
    Text key = MakeBytes(ones);
    Text cipher(MakeBytes(ones)->Encrypt(key.get(), true, true));
    EXPECT_EQ(Str(*cipher).substr(0, 8), "\x24\x66\xdd\x87\x8b\x96\x3c\x9d");
    EXPECT_EQ(Str(*cipher), Enciphered(ones + std::string(8, '\x08'), ones, true));

    Text little(MakeBytes(ones)->Encrypt(key.get(), false, true));
    EXPECT_EQ(Str(*little), Enciphered(ones + std::string(8, '\x08'), ones, false));
    EXPECT_NE(Str(*little), Str(*cipher));
}

TEST(VMStringCipher, ZeroPaddingTakesTrailingZerosOfTheTextWithIt) {
    Text key = MakeText("k");
    Text source = MakeBytes(std::string("ab\0\0", 4));
    Text cipher(source->Encrypt(key.get(), true, false));
    Text back(cipher->Decrypt(key.get(), true, false));
    EXPECT_EQ(Str(*back), "ab");

    // Only the last block is searched for the padding: zeros of the text
    // that fill a block before it stay.
    const std::string eightZeros = std::string("abcdefgh") + std::string(8, '\0');
    Text zeros(MakeBytes(eightZeros)->Encrypt(key.get(), true, false));
    Text kept(zeros->Decrypt(key.get(), true, false));
    EXPECT_EQ(Str(*kept), eightZeros);
}

TEST(VMStringCipher, DecipheredBlocksWhosePaddingDoesNotCheckOut) {
    const std::string head = "0123456789abcdef";
    const std::string zeros("0123\0\0\0\0", 8);
    const std::string kFails = "<fails>";
    struct Row {
        const char* what;
        std::string plain; // the deciphered bytes the cipher text is made from
        bool padWithCount;
        std::string expected;
    };
    const Row rows[] = {
        {"count 0", head + std::string("abcdefg\0", 8), true, kFails},
        {"count 9", head + "abcdefg\x09", true, kFails},
        {"count 0xFF", head + "abcdefg\xff", true, kFails},
        {"count 3 over other bytes", head + "abcde\x03\x04\x03", true, kFails},
        {"count 8 over seven 8s", head + "a\x08\x08\x08\x08\x08\x08\x08", true, kFails},
        {"count 8, a whole block", head + std::string(8, '\x08'), true, head},
        {"count 1", head + "abcdefg\x01", true, head + "abcdefg"},
        {"zero then a byte", head + std::string("abcd\0\0x\0", 8), false, kFails},
        {"zero at the end only", head + std::string("abcdefg\0", 8), false, head + "abcdefg"},
        {"no zero in the last block", head + "abcdefgh", false, head + "abcdefgh"},
        // Only the last block can hold padding: zeros before it are text.
        {"zeros in an earlier block", zeros + head, false, zeros + head},
    };
    Text key = MakeText("key");
    for (const Row& row : rows)
        for (const bool bigEndian : {true, false}) {
            SCOPED_TRACE(std::string(row.what) + (bigEndian ? ", big-endian" : ", little-endian"));
            Text cipher = MakeBytes(Enciphered(row.plain, "key", bigEndian));
            Text back(cipher->Decrypt(key.get(), bigEndian, row.padWithCount));
            EXPECT_EQ(back != nullptr ? Str(*back) : kFails, row.expected);
        }
}

TEST(VMStringCipher, WrongKeyOrByteOrderFailsTheCountPadding) {
    Text right = MakeText("right");
    Text wrong = MakeText("wrong");
    Text cipher(MakeText("a text of some length")->Encrypt(right.get(), true, true));
    EXPECT_EQ(Text(cipher->Decrypt(wrong.get(), true, true)), nullptr);
    EXPECT_EQ(Text(cipher->Decrypt(right.get(), false, true)), nullptr);
}

TEST(VMStringCipher, NullEmptyAndPartBlockSources) {
    Text key = MakeText("key");
    Text null(new VMString);
    Text empty = MakeText("");
    for (VMString* source : {null.get(), empty.get()})
        for (const Scheme& scheme : kSchemes) {
            SCOPED_TRACE(Name(scheme) + (source->IsNull() ? ", null" : ", empty"));
            Text e(source->Encrypt(key.get(), scheme.bigEndian, scheme.padWithCount));
            Text d(source->Decrypt(key.get(), scheme.bigEndian, scheme.padWithCount));
            ASSERT_NE(e, nullptr);
            ASSERT_NE(d, nullptr);
            EXPECT_TRUE(e->IsNull());
            EXPECT_TRUE(d->IsNull());
        }
    for (const Scheme& scheme : kSchemes) {
        SCOPED_TRACE(Name(scheme));
        // Shorter than a block: nothing to decipher, an empty text.
        for (int n = 1; n < 8; ++n) {
            Text d(MakeBytes(Plain(n))->Decrypt(key.get(), scheme.bigEndian, scheme.padWithCount));
            ASSERT_NE(d, nullptr) << n;
            EXPECT_FALSE(d->IsNull()) << n;
            EXPECT_EQ(d->Length(), 0) << n;
        }
        // A cut or lengthened cipher text would leave a part block enciphered.
        Text cipher(MakeText("sixteen bytes...")->Encrypt(key.get(), scheme.bigEndian, true));
        const std::string bytes = Str(*cipher);
        for (const std::string& cut : {bytes.substr(0, 23), bytes.substr(0, 9), bytes + "\x01"})
            EXPECT_EQ(Text(MakeBytes(cut)->Decrypt(key.get(), scheme.bigEndian, true)), nullptr)
                << cut.size();
    }
}

TEST(VMStringCipher, KeyIsTheKeyTextUpToItsFirstZeroByte) {
    const std::string plain = "plain text";
    const std::string expected = Enciphered(plain + std::string(6, '\x06'), "ab", true);
    Text source = MakeBytes(plain);
    Text cut = MakeBytes(std::string("ab\0cd", 5));
    EXPECT_EQ(Str(*Text(source->Encrypt(cut.get(), true, true))), expected);
    EXPECT_EQ(Str(*cut), std::string("ab\0cd", 5));

    // A null key, a null key text and an empty one are all the empty key.
    const std::string emptyKey = Enciphered(plain + std::string(6, '\x06'), "", true);
    Text nullText(new VMString);
    Text emptyText = MakeText("");
    for (VMString* key : {static_cast<VMString*>(nullptr), nullText.get(), emptyText.get()}) {
        Text cipher(source->Encrypt(key, true, true));
        EXPECT_EQ(Str(*cipher), emptyKey);
        Text back(cipher->Decrypt(key, true, true));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(Str(*back), plain);
    }
    EXPECT_TRUE(nullText->IsNull()) << "the key object is only read";

    // Only the first 56 key bytes count.
    const std::string key56 = Plain(56);
    Text longKey = MakeBytes(key56 + "0123");
    EXPECT_EQ(Str(*Text(source->Encrypt(longKey.get(), false, true))),
              Enciphered(plain + std::string(6, '\x06'), key56, false));
}

TEST(VMStringCipher, SourceAndItsSharersAreNeverChanged) {
    const std::string whole = "prefix|the text itself|suffix";
    Text record = MakeBytes(whole);
    Text view(new VMString);
    view->AssignSub(record.get(), 7, 15); // "the text itself", sharing record's bytes
    Text sharer(view->Clone());
    const int shares = Shares(*record);
    for (const Scheme& scheme : kSchemes) {
        SCOPED_TRACE(Name(scheme));
        // The text as its own key, too: reading the key must not move the source.
        for (VMString* key : {record.get(), view.get()}) {
            Text cipher(view->Encrypt(key, scheme.bigEndian, scheme.padWithCount));
            EXPECT_NE(cipher->Buffer(), view->Buffer());
            Text back(cipher->Decrypt(key, scheme.bigEndian, scheme.padWithCount));
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(Str(*back), "the text itself");
            Text again(cipher->Decrypt(key, scheme.bigEndian, scheme.padWithCount));
            EXPECT_EQ(Str(*again), "the text itself") << "deciphering left the cipher text";
        }
        EXPECT_EQ(Str(*record), whole);
        EXPECT_EQ(Str(*view), "the text itself");
        EXPECT_EQ(Str(*sharer), "the text itself");
        EXPECT_EQ(view->Buffer(), record->Buffer());
        EXPECT_EQ(Shares(*record), shares);
    }
}

} // namespace
