#include "crypt/BVCrypt.h"

BVCrypt::~BVCrypt() = default;

void BVCrypt::SetKey(const char*) {}

void BVCrypt::Reserved2(void*) {}

void BVCrypt::Clear() {}

void BVCrypt::Encrypt(std::uint8_t*, int, int) {}

void BVCrypt::Decrypt(std::uint8_t*, int, int) {}
