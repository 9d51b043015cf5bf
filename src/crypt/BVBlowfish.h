// BVBlowfish: the Blowfish block cipher (16 rounds, 64-bit blocks) applied
// block by block with no chaining, padding or initialisation vector.
//
// The object owns its P-array and S-boxes; they are zero until a key is set
// and are zeroed again by Clear and by the destructor, so no key material
// outlives the object. Each 32-bit half of a block is read and written in the
// byte order chosen at construction. Keys are used as raw bytes with one
// departure from textbook Blowfish that stored data depends on: a key byte of
// 0x80 or more enters its key word sign-extended (see SetKeyBytes). Keys whose
// bytes are all below 0x80 give the textbook schedule.
#pragma once

#include "crypt/BVCrypt.h"

#include <cstdint>

class BVBlowfish : public BVCrypt {
  public:
    static constexpr int kPWords = 18;
    static constexpr int kSBoxes = 4;
    static constexpr int kSBoxWords = 256;
    static constexpr int kBlockBytes = 8;
    static constexpr int kMaxKeyBytes = 56; // the published limit, applied when limitKey is set

    // The standard initial tables (the fractional hexadecimal digits of pi).
    static const std::uint32_t kInitialP[kPWords];
    static const std::uint32_t kInitialS[kSBoxes][kSBoxWords];

    BVBlowfish(bool bigEndian, bool limitKey) : bigEndian_(bigEndian), limitKey_(limitKey) {}
    ~BVBlowfish() override;

    // key is zero-terminated; null is taken as the empty key.
    void SetKey(const char* key) override;
    void Reserved2(void* unused) override;
    void Clear() override;
    // Process the whole blocks of buffer[offset, offset + length) in place; a
    // tail of 1-7 bytes and a length below 8 are left alone.
    void Encrypt(std::uint8_t* buffer, int offset, int length) override;
    void Decrypt(std::uint8_t* buffer, int offset, int length) override;

    // The byte-range form of SetKey: length bytes, zero bytes included. The
    // 18 key words are taken cyclically over the key; each byte is
    // sign-extended before it is shifted in, so a byte of 0x80 or more sets
    // every bit above its own in the word. An empty key gives zero words.
    void SetKeyBytes(const std::uint8_t* key, int length);
    // Keys the cipher from 18 prepared key words (initial P xor words, then
    // the 521 chained encryptions), for callers who derive the words another
    // way, such as the textbook schedule of keys with bytes of 0x80 or more.
    void SetKeyWords(const std::uint32_t words[kPWords]);

    bool BigEndian() const { return bigEndian_; }
    bool LimitKey() const { return limitKey_; }
    const std::uint32_t* PArray() const { return P_; }
    const std::uint32_t* SBox(int box) const { return S_[box]; }

  private:
    template <bool Forward, bool BigEndian> void Process(std::uint8_t* data, int length);
    template <bool Forward> void Process(std::uint8_t* buffer, int offset, int length);
    void Wipe();

    bool bigEndian_;
    bool limitKey_;
    std::uint32_t P_[kPWords] = {};
    std::uint32_t S_[kSBoxes][kSBoxWords] = {};
    std::uint32_t L_ = 0, R_ = 0; // the halves of the last block processed
};
