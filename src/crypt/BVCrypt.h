// BVCrypt: the framework's abstract block cipher.
//
// A cipher is keyed once and then enciphers or deciphers byte ranges in place,
// whole blocks only; padding and the choice of key belong to the caller. The
// base class holds nothing and every operation does nothing, so that an
// implementation replaces only what it has. The slot order is fixed.
#pragma once

#include <cstdint>

class BVCrypt {
  public:
    BVCrypt() = default;
    BVCrypt(const BVCrypt&) = delete;
    BVCrypt& operator=(const BVCrypt&) = delete;

    virtual ~BVCrypt();                                                 // slot 0
    virtual void SetKey(const char* key);                               // slot 1
    virtual void Reserved2(void* unused);                               // slot 2
    virtual void Clear();                                               // slot 3
    virtual void Encrypt(std::uint8_t* buffer, int offset, int length); // slot 4
    virtual void Decrypt(std::uint8_t* buffer, int offset, int length); // slot 5
};
