// VMArrayBase: the growable array of class objects.
//
// Elements live by value in one contiguous block: items[0 .. count-1] are
// constructed objects, the places up to capacity are raw memory. Elements are
// made, copied and destroyed only through the element hooks (slots 64-69), so
// a derived class decides how; VMClassArray fills the pure slots. T is any
// class derived from VMBase that is default-constructible; its GetInt,
// GetInt64 and GetDouble are the keys used when no key function is given.
//
// Growth failures leave the array as it was and are reported by false or -1.
// A block never exceeds INT32_MAX bytes, so element count x element size is
// exact in either bitness; larger requests are refused like failed
// allocations. An object handed in that lives inside this array's own block
// (an element, or a run of elements) stays valid across the growth that the
// operation causes.
//
// The virtual slots are part of the interface: their order below is fixed
// (slot numbers in the comments) and pinned by a test. Do not insert, remove
// or reorder virtual members.
#pragma once

#include "file/BVFile.h"
#include "values/VMBase.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <new>

namespace vm_array {

// Interpolated start index ((a - b) * count) / max(1, c - d + 1) of the sorted
// searches, truncated toward zero and limited to 1 .. count - 1 (count >= 2).
// Computed in int64; differences and products beyond that range, which only
// 64-bit keys produce, are approximated: the guess only picks where a walk
// starts.
int Guess(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, int count);
// The floating form: ((k - first) * count) / (last - first + 1.0), the divisor
// replaced by 1.0 when it is at most 0.000001.
int GuessDouble(double k, double first, double last, int count);

// Clears a file's lastOk: a read of a negative count fails without touching data.
inline void FailRead(BVFile* file) {
    file->Read(nullptr, -1);
}

} // namespace vm_array

template <class T, class ARG> class VMArrayBase {
  public:
    using ArgType = ARG;
    // Callbacks; each gets the caller's userData unchanged.
    using KeyFunc = std::int32_t (*)(const T* element, void* userData);
    using Key64Func = std::int64_t (*)(const T* element, void* userData);
    using KeyDoubleFunc = double (*)(const T* element, void* userData);
    // > 0 match, < 0 stop searching, 0 go on.
    using Predicate = std::int32_t (*)(const T* element, void* userData);
    // As a predicate; without one the probe's Equals decides.
    using EqualFunc = std::int32_t (*)(const VMBase* probe, const T* element, void* userData);
    // 0 means equal; without one the probe's Compare.
    using CompareFunc = std::int32_t (*)(const VMBase* probe, const T* element, void* userData);
    using SortCompareFunc = std::int32_t (*)(const T* a, const T* b, void* userData);

    // The largest element count whose block size fits the int32 byte count
    // that AllocateBlock takes.
    static constexpr std::int32_t kMaxCount = static_cast<std::int32_t>(INT32_MAX / sizeof(T));

    VMArrayBase() = default;
    VMArrayBase(const VMArrayBase&) = delete;
    VMArrayBase& operator=(const VMArrayBase&) = delete;

    virtual ~VMArrayBase() = default;                        // 0: the derived class frees
    virtual bool SetCount(int n, int growBy = -1);           // 1: n < 0 empties, reserving |n|
    virtual int AddCount(int k, int growBy = -1);            // 2: first new index or -1
    virtual int InsertAt(int index, int k, int growBy = -1); // 3: index or -1
    virtual int GetLastIndex();                              // 4
    virtual bool IsValidIndex(int index);                    // 5
    virtual bool Contains(const T* probe);                   // 6
    virtual int Append(const VMArrayBase* other, int from, int to);                           // 7
    virtual bool CopyFrom(const VMArrayBase* other, int from, int to);                        // 8
    virtual bool TakeFrom(VMArrayBase* other, int from, int to);                              // 9
    virtual bool FreeExtra();                                                                 // 10
    virtual void RemoveAll();                                                                 // 11
    virtual int Add(const T* obj);                                                            // 12
    virtual int AddUnique(const T* obj, EqualFunc equal = nullptr, void* userData = nullptr); // 13
    virtual int RemoveValue(const T* probe);                                                  // 14
    virtual bool SetAt(int index, const T* obj) = 0;                                          // 15
    virtual bool SetAtGrow(int index, const T* obj) = 0; // 16: index < 0 appends
    virtual bool EnsureIndex(int index);                 // 17
    virtual int InsertSortedKey(int key, bool ascending, KeyFunc keyFunc, void* userData) = 0; // 18
    virtual int InsertCopies(int index, const T* obj, int k) = 0;                              // 19
    virtual bool InsertArray(int index, const T* objs, int k) = 0;                             // 20
    virtual bool InsertAll(int index, const VMArrayBase* other) = 0;                           // 21
    virtual int InsertSorted(const T* obj, bool ascending, KeyFunc keyFunc,
                             void* userData) = 0; // 22
    virtual bool InsertAllSorted(const VMArrayBase* other, bool ascending, KeyFunc keyFunc,
                                 void* userData); // 23
    virtual int InsertSorted64(const T* obj, bool ascending, Key64Func keyFunc,
                               void* userData) = 0; // 24
    virtual bool InsertAllSorted64(const VMArrayBase* other, bool ascending, Key64Func keyFunc,
                                   void* userData); // 25
    virtual int InsertSortedDouble(const T* obj, bool ascending, KeyDoubleFunc keyFunc,
                                   void* userData) = 0; // 26
    virtual bool InsertAllSortedDouble(const VMArrayBase* other, bool ascending,
                                       KeyDoubleFunc keyFunc, void* userData); // 27
    virtual int InsertIfAbsent(int index, const T* obj, int k, EqualFunc equal,
                               void* userData); // 28
    virtual bool InsertAllIfAbsent(int index, const VMArrayBase* other, EqualFunc equal,
                                   void* userData); // 29
    virtual int InsertSortedIfAbsent(const T* obj, bool ascending, KeyFunc keyFunc,
                                     void* keyUserData, EqualFunc equal,
                                     void* equalUserData); // 30
    virtual bool InsertAllSortedIfAbsent(const VMArrayBase* other, bool ascending, KeyFunc keyFunc,
                                         void* keyUserData, EqualFunc equal,
                                         void* equalUserData); // 31
    virtual int InsertSorted64IfAbsent(const T* obj, bool ascending, Key64Func keyFunc,
                                       void* keyUserData, EqualFunc equal,
                                       void* equalUserData); // 32
    virtual bool InsertAllSorted64IfAbsent(const VMArrayBase* other, bool ascending,
                                           Key64Func keyFunc, void* keyUserData, EqualFunc equal,
                                           void* equalUserData); // 33
    virtual int InsertSortedDoubleIfAbsent(const T* obj, bool ascending, KeyDoubleFunc keyFunc,
                                           void* keyUserData, EqualFunc equal,
                                           void* equalUserData); // 34
    virtual bool InsertAllSortedDoubleIfAbsent(const VMArrayBase* other, bool ascending,
                                               KeyDoubleFunc keyFunc, void* keyUserData,
                                               EqualFunc equal, void* equalUserData); // 35
    virtual int InsertOrReplace(int index, const T* obj, int k, EqualFunc equal,
                                void* userData); // 36
    virtual bool InsertAllOrReplace(int index, const VMArrayBase* other, EqualFunc equal,
                                    void* userData); // 37
    virtual int InsertSortedOrReplace(const T* obj, bool ascending, KeyFunc keyFunc,
                                      void* keyUserData, EqualFunc equal,
                                      void* equalUserData); // 38
    virtual bool InsertAllSortedOrReplace(const VMArrayBase* other, bool ascending, KeyFunc keyFunc,
                                          void* keyUserData, EqualFunc equal,
                                          void* equalUserData); // 39
    virtual int InsertSorted64OrReplace(const T* obj, bool ascending, Key64Func keyFunc,
                                        void* keyUserData, EqualFunc equal,
                                        void* equalUserData); // 40
    virtual bool InsertAllSorted64OrReplace(const VMArrayBase* other, bool ascending,
                                            Key64Func keyFunc, void* keyUserData, EqualFunc equal,
                                            void* equalUserData); // 41
    virtual int InsertSortedDoubleOrReplace(const T* obj, bool ascending, KeyDoubleFunc keyFunc,
                                            void* keyUserData, EqualFunc equal,
                                            void* equalUserData); // 42
    virtual bool InsertAllSortedDoubleOrReplace(const VMArrayBase* other, bool ascending,
                                                KeyDoubleFunc keyFunc, void* keyUserData,
                                                EqualFunc equal, void* equalUserData); // 43
    virtual void CopyWithin(int dst, int src, int k);                                  // 44
    virtual void RemoveAt(int index, int k = 1); // 45: negative index from the end, k to the end
    virtual void Move(int to, int from) = 0;     // 46
    virtual void Swap(int i, int j) = 0;         // 47
    virtual int FindIf(Predicate predicate, void* userData);                                   // 48
    virtual int FindLastIf(Predicate predicate, void* userData);                               // 49
    virtual int FindKey(int key, KeyFunc keyFunc, void* userData, int after = -1) = 0;         // 50
    virtual int FindSortedKey(int key, bool ascending, KeyFunc keyFunc, void* userData) = 0;   // 51
    virtual int BinarySearchKey(int key, bool ascending, KeyFunc keyFunc, void* userData) = 0; // 52
    virtual int FindKey64(std::int64_t key, Key64Func keyFunc, void* userData) = 0;            // 53
    virtual int FindKeyDouble(double key, KeyDoubleFunc keyFunc, void* userData) = 0;          // 54
    virtual int FindByCompare(const VMBase* probe, CompareFunc compare, void* userData) = 0;   // 55
    virtual int Find(const VMBase* probe, EqualFunc equal = nullptr,
                     void* userData = nullptr) = 0;                  // 56
    virtual T* FindKeyPtr(int key, KeyFunc keyFunc, void* userData); // 57
    virtual void SortByCompare(bool ascending, SortCompareFunc compare, void* userData,
                               int from = 0, int to = -1) = 0; // 58
    virtual void SortByKey(bool ascending, KeyFunc keyFunc, void* userData, int from = 0,
                           int to = -1) = 0; // 59
    virtual void SortByKey64(bool ascending, Key64Func keyFunc, void* userData, int from = 0,
                             int to = -1) = 0; // 60
    virtual void SortByKeyDouble(bool ascending, KeyDoubleFunc keyFunc, void* userData,
                                 int from = 0, int to = -1) = 0;                            // 61
    virtual void Load(BVFile* file) = 0;                                                    // 62
    virtual bool Save(BVFile* file) = 0;                                                    // 63
    virtual void ConstructElements(T* block, int index, int k);                             // 64
    virtual void DestroyElements(T* block, int index, int k);                               // 65
    virtual void CopyElements(T* dst, int dstIndex, const T* src, int srcIndex, int k) = 0; // 66
    virtual void MoveElements(T* dst, int dstIndex, const T* src, int srcIndex, int k) = 0; // 67
    virtual void* AllocateBlock(int bytes); // 68: uninitialised; null when it cannot be had
    virtual void FreeBlock(void* block);    // 69

    int GetCount() const { return count; }
    int GetCapacity() const { return capacity; }
    int GetGrowBy() const { return growBy; }

  protected:
    // Where a sorted insertion goes: index == count means append; interpolated
    // tells that the place came from the guess and its walks.
    struct Place {
        int index;
        bool interpolated;
    };

    static std::int32_t KeyOf(const T* e, KeyFunc f, void* ud) {
        return f != nullptr ? f(e, ud) : e->GetInt();
    }
    static std::int64_t KeyOf(const T* e, Key64Func f, void* ud) {
        return f != nullptr ? f(e, ud) : e->GetInt64();
    }
    static double KeyOf(const T* e, KeyDoubleFunc f, void* ud) {
        return f != nullptr ? f(e, ud) : e->GetDouble();
    }

    // Allocates a block of n elements; null when n is out of range or the
    // memory cannot be had.
    T* NewBlock(int n);
    // Replaces the block by one of newCapacity places holding the n first
    // elements followed by default elements up to total; false, nothing
    // changed, when it cannot be had.
    bool Reallocate(int newCapacity, int total);
    // Shared by InsertCopies, InsertArray and InsertAll: opens a gap of k at
    // index and fills it from src[0 .. k-1], or k times from src[0] when
    // repeat is set. src may lie inside this array.
    int InsertFrom(int index, const T* src, int k, bool repeat);

    template <class Key, class KeyAt> Place SortedPlace(Key key, bool ascending, KeyAt keyAt);
    template <class KeyF> int InsertSortedAny(const T* obj, bool ascending, KeyF f, void* ud);
    // Find(obj), else insert(); the index found or inserted at.
    template <class Insert> int FindOr(const T* obj, EqualFunc eq, void* ud, Insert insert);
    // As FindOr, but an element found is replaced by obj (SetAt).
    template <class Insert> int ReplaceOr(const T* obj, EqualFunc eq, void* ud, Insert insert);
    // Runs op(element) over each of other's elements; false at the first
    // failure. An array cannot be inserted into itself element by element.
    template <class Op> bool ForEachOf(const VMArrayBase* other, Op op);
    // Moves *index past the element just handled when it was inserted there.
    void AdvanceAfterInsertion(int* index, int at, int countBefore) const;
    // Selection sort of from .. to (to < 0: the last element); comesFirst(i, c)
    // tells that element i is strictly better placed than the current choice c.
    template <class ComesFirst> void SelectionSort(int from, int to, ComesFirst comesFirst);

    T* items = nullptr;
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    std::int32_t growBy = 0; // 0: automatic, count / 8 within 4 .. 1024
};

#include "values/VMArrayBase.inl"
