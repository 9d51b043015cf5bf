// Enciphered copies of a text: Blowfish in ECB over the text's bytes, padded
// to whole blocks either with the count of padding bytes (1-8, every byte
// holding it) or with zeros. The result holds raw cipher bytes; the source
// and the key object are only read.
#include "text/VMString.h"

#include "crypt/BVBlowfish.h"

#include <cstring>

namespace {

constexpr int kBlock = BVBlowfish::kBlockBytes;

// The key is the key object's text up to its first zero byte. It is read in
// place, within the text, so the key object is not rewritten to gain a
// terminator; a missing key or null text is the empty key.
void Key(BVBlowfish& fish, const VMString* key) {
    const char* text = key != nullptr ? key->Text() : nullptr;
    int length = 0;
    if (text != nullptr) {
        const void* zero = std::memchr(text, 0, static_cast<std::size_t>(key->Length()));
        length = zero != nullptr ? static_cast<int>(static_cast<const char*>(zero) - text)
                                 : key->Length();
    }
    fish.SetKeyBytes(reinterpret_cast<const std::uint8_t*>(text), length);
}

// A new text holding a copy of count source bytes in a block of size bytes
// (count <= size); null when no block of that size can be had.
VMString* CopyInto(const char* source, int count, int size) {
    VMString* copy = new VMString;
    copy->SetLength(size, 0, true);
    if (copy->IsNull() || copy->Length() != size) {
        copy->Release();
        return nullptr;
    }
    std::memcpy(copy->Data(), source, static_cast<std::size_t>(count));
    return copy;
}

// The plain length left after removing the padding of the deciphered bytes,
// or -1 when the padding does not check out.
int Unpadded(const std::uint8_t* data, int length, bool padWithCount) {
    const std::uint8_t* tail = data + length - kBlock;
    if (padWithCount) {
        const int count = data[length - 1];
        if (count < 1 || count > kBlock)
            return -1;
        for (int i = length - count; i < length; ++i)
            if (data[i] != count)
                return -1;
        return length - count;
    }
    // Zero padding: the first zero of the last block starts the padding, and
    // nothing but zeros may follow it. Without a zero nothing was padded.
    const void* zero = std::memchr(tail, 0, kBlock);
    if (zero == nullptr)
        return length;
    const int start = static_cast<int>(static_cast<const std::uint8_t*>(zero) - data);
    for (int i = start; i < length; ++i)
        if (data[i] != 0)
            return -1;
    return start;
}

} // namespace

VMString* VMString::Encrypt(VMString* key, bool bigEndian, bool padWithCount) const {
    if (textStart == nullptr || length <= 0)
        return new VMString;
    // Always 1-8 padding bytes, a whole block when the text fills its last
    // one, so the padding can be told apart on the way back. length is at
    // most TextBuffer::kMaxLength, so the sum does not overflow.
    const int padded = (length + kBlock) & ~(kBlock - 1);
    VMString* result = CopyInto(textStart, length, padded);
    if (result == nullptr)
        return new VMString; // no room for the cipher text: a null text
    auto* data = reinterpret_cast<std::uint8_t*>(result->Data());
    const int count = padded - length;
    std::memset(data + length, padWithCount ? count : 0, static_cast<std::size_t>(count));
    BVBlowfish fish(bigEndian, true);
    Key(fish, key);
    fish.Encrypt(data, 0, padded);
    return result;
}

VMString* VMString::Decrypt(VMString* key, bool bigEndian, bool padWithCount) const {
    if (textStart == nullptr || length <= 0)
        return new VMString;
    if (length < kBlock) {
        // Shorter than one block: nothing to decipher, an empty text.
        VMString* empty = new VMString;
        empty->SetLength(0, 0, true);
        return empty;
    }
    // Every text made by Encrypt fills whole blocks. A part block would stay
    // enciphered and be handed back as if it were plain text, so such a
    // length fails like bad padding.
    if (length % kBlock != 0)
        return nullptr;
    VMString* result = CopyInto(textStart, length, length);
    if (result == nullptr)
        return nullptr;
    auto* data = reinterpret_cast<std::uint8_t*>(result->Data());
    BVBlowfish fish(bigEndian, true);
    Key(fish, key);
    fish.Decrypt(data, 0, length);
    const int plain = Unpadded(data, length, padWithCount);
    if (plain < 0) {
        result->Release();
        return nullptr;
    }
    result->SetLength(plain, 0, true);
    return result;
}
