// BVArrayBase: the light array of plain values.
//
// The element block lives in a separate storage record (data, count,
// capacity) that the array only points to through store. Whoever owns the
// record grows and fills it, taking the block from AllocateBlock so that
// FreeBlock can release it; the array's own duties are the element and
// memory hooks and releasing the record's block (RemoveAll, destruction).
//
// The virtual slots are part of the interface: their order below is fixed
// (slot numbers in the comments) and pinned by a test.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <new>

template <class T, class ARG> class BVArrayBase {
  public:
    struct Storage {
        T* data = nullptr;         // the element block; null when none
        std::int32_t count = 0;    // live elements
        std::int32_t capacity = 0; // elements the block holds
    };
    // Called once per value by DestroyElements, when given.
    using ElementFunc = void (*)(ARG value);

    BVArrayBase() = default;
    BVArrayBase(const BVArrayBase&) = delete;
    BVArrayBase& operator=(const BVArrayBase&) = delete;

    virtual ~BVArrayBase() { Release(); }                            // 0
    virtual void ZeroElements(T* block, int k);                      // 1
    virtual void DestroyElements(T* block, int k, ElementFunc each); // 2
    virtual void CopyElements(T* dst, const T* src, int k);          // 3
    virtual void CopyReversed(T* dst, const T* src, int k);          // 4
    virtual void MoveElements(T* dst, const T* src, int k);          // 5: overlap-safe
    virtual void* AllocateBlock(int bytes); // 6: null when it cannot be had
    virtual void FreeBlock(void* block);    // 7
    virtual void RemoveAll();               // 8
    virtual bool AttachStorage() = 0;       // 9

    Storage* GetStore() const { return store; }

  protected:
    // RemoveAll's work with the destroy step bound to this class, for the
    // destructors, which run when the derived part is already gone.
    void Release();

    Storage* store = nullptr;
};

template <class T, class ARG> void BVArrayBase<T, ARG>::ZeroElements(T* block, int k) {
    if (block != nullptr && k > 0)
        std::memset(static_cast<void*>(block), 0, sizeof(T) * static_cast<std::size_t>(k));
}

template <class T, class ARG>
void BVArrayBase<T, ARG>::DestroyElements(T* block, int k, ElementFunc each) {
    if (each == nullptr || block == nullptr)
        return;
    for (int i = 0; i < k; ++i)
        each(block[i]);
}

template <class T, class ARG> void BVArrayBase<T, ARG>::CopyElements(T* dst, const T* src, int k) {
    for (int i = 0; i < k; ++i)
        dst[i] = src[i];
}

template <class T, class ARG> void BVArrayBase<T, ARG>::CopyReversed(T* dst, const T* src, int k) {
    for (int i = 0; i < k; ++i)
        dst[i] = src[k - 1 - i];
}

template <class T, class ARG> void BVArrayBase<T, ARG>::MoveElements(T* dst, const T* src, int k) {
    if (std::less<const T*>()(src, dst)) {
        for (int i = k - 1; i >= 0; --i)
            dst[i] = src[i];
    } else {
        CopyElements(dst, src, k);
    }
}

template <class T, class ARG> void* BVArrayBase<T, ARG>::AllocateBlock(int bytes) {
    if (bytes <= 0)
        return nullptr;
    return ::operator new(static_cast<std::size_t>(bytes), std::nothrow);
}

template <class T, class ARG> void BVArrayBase<T, ARG>::FreeBlock(void* block) {
    ::operator delete(block);
}

template <class T, class ARG> void BVArrayBase<T, ARG>::RemoveAll() {
    if (store != nullptr && store->data != nullptr)
        DestroyElements(store->data, store->count, nullptr);
    Release();
}

// The direct destroy step is this class's, which without an element function
// has nothing to do; only the block is freed.
template <class T, class ARG> void BVArrayBase<T, ARG>::Release() {
    if (store == nullptr)
        return;
    FreeBlock(store->data);
    store->data = nullptr;
    store->count = store->capacity = 0;
    store = nullptr;
}
