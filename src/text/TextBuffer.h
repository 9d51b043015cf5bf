// TextBuffer: the shared byte record behind BVString and VMString.
//
// A record owns its bytes unless its capacity is negative (a foreign buffer
// that the caller keeps alive and frees). Every holder counts once in
// shareCount; the release that brings the count to zero frees the bytes and
// the record. The count is a plain integer: a record and all of its holders
// belong to one thread at a time.
#pragma once

#include <cstdint>

// An allocator supplied by users of the framework. Only the three operations
// below are ever called; the others keep their slots so that the called ones
// sit where callers expect them (slots 3, 5 and 6).
class TextAllocator {
  public:
    virtual ~TextAllocator() = default;                      // slot 0
    virtual void Reserved1() {}                              // slot 1
    virtual void Reserved2() {}                              // slot 2
    virtual char* Allocate(int size) = 0;                    // slot 3: at least size bytes
    virtual void Reserved4() {}                              // slot 4
    virtual void Free(char* block) = 0;                      // slot 5: a block from Allocate
    virtual int AllocatorHook(char* data, int a, int b) = 0; // slot 6
};

struct TextBuffer {
    char* data = nullptr;
    std::int32_t length = 0;   // bytes in use from data
    std::int32_t capacity = 0; // bytes allocated; negative: foreign, never freed here
    std::int32_t shareCount = 1;
    bool unterminated = false;          // false: data[length] and data[length + 1] are both zero
    TextAllocator* allocator = nullptr; // none: array new and delete

    // Largest text a record can hold: its capacity (text plus two zero bytes,
    // rounded up to 16) must still be a positive int32.
    static constexpr std::int32_t kMaxLength = 0x7FFFFFFF - 17;

    // The buffer size rule: the capacity of a buffer for a text of n bytes.
    // 16, 32, ... 1024 by powers of two, then multiples of 16, always at least
    // n + 2. Negative n counts as 0; n above kMaxLength gives -1 (no such buffer).
    static std::int32_t CapacityFor(std::int32_t n);
    // A caller's hint is kept when it covers n, otherwise the rule decides.
    static std::int32_t CapacityFor(std::int32_t n, std::int32_t hint);

    // A new record (ordinary allocator): no bytes, shareCount 1.
    static TextBuffer* Create(TextAllocator* allocator = nullptr);

    // Makes the record hold n bytes (n >= 0) with the capacity of the hint or
    // the rule. Buffers never shrink; bytes up to the old capacity are kept
    // unless the record had no bytes of its own (none, or foreign). Sets
    // shareCount to 1 and writes the two zero bytes after the text when they
    // fit. Returns false, changing nothing, when n is negative or too large or
    // the block cannot be had.
    bool Resize(std::int32_t n, std::int32_t capacityHint = 0);

    // Drops one holder; the last one frees the bytes (unless foreign) and the
    // record. A null record is ignored.
    static void Release(TextBuffer* record);

    // Sets the terminator bytes after length when they fit, and unterminated
    // accordingly. The caller guarantees the record owns its bytes.
    void MarkEnd();

    // Bytes from the allocator, else from array new (null when it fails).
    static char* AllocateBlock(TextAllocator* allocator, std::int32_t size);
    static void FreeBlock(TextAllocator* allocator, char* block);
};
