// VMClassArray: the concrete array of class objects (see VMArrayBase).
//
// It owns its block and elements: the destructor destroys every element and
// frees the block. Elements are assigned through T::Assign, so element
// objects keep their identity (a VMSize's view stays on its own fields) while
// their values move. Adds no fields; slots 70-72 exist only here.
//
// The system uses the one instance VMClassArray<VMSize, VMSize&>, compiled
// once in VMClassArray.cpp; other element types instantiate from this header.
#pragma once

#include "values/VMArrayBase.h"
#include "values/VMSize.h"

template <class T, class ARG> class VMClassArray : public VMArrayBase<T, ARG> {
    using Base = VMArrayBase<T, ARG>;

  public:
    using typename Base::EqualFunc;
    using typename Base::Key64Func;
    using typename Base::KeyDoubleFunc;
    using typename Base::KeyFunc;
    using typename Base::SortCompareFunc;

    VMClassArray() = default;
    ~VMClassArray() override;

    bool SetAt(int index, const T* obj) override;                                           // 15
    bool SetAtGrow(int index, const T* obj) override;                                       // 16
    int InsertSortedKey(int key, bool ascending, KeyFunc keyFunc, void* ud) override;       // 18
    int InsertCopies(int index, const T* obj, int k) override;                              // 19
    bool InsertArray(int index, const T* objs, int k) override;                             // 20
    bool InsertAll(int index, const Base* other) override;                                  // 21
    int InsertSorted(const T* obj, bool ascending, KeyFunc keyFunc, void* ud) override;     // 22
    int InsertSorted64(const T* obj, bool ascending, Key64Func keyFunc, void* ud) override; // 24
    int InsertSortedDouble(const T* obj, bool ascending, KeyDoubleFunc keyFunc,
                           void* ud) override;                                        // 26
    void Move(int to, int from) override;                                             // 46
    void Swap(int i, int j) override;                                                 // 47
    int FindKey(int key, KeyFunc keyFunc, void* ud, int after = -1) override;         // 50
    int FindSortedKey(int key, bool ascending, KeyFunc keyFunc, void* ud) override;   // 51
    int BinarySearchKey(int key, bool ascending, KeyFunc keyFunc, void* ud) override; // 52
    int FindKey64(std::int64_t key, Key64Func keyFunc, void* ud) override;            // 53
    int FindKeyDouble(double key, KeyDoubleFunc keyFunc, void* ud) override;          // 54
    int FindByCompare(const VMBase* probe, typename Base::CompareFunc compare,
                      void* ud) override;                                                  // 55
    int Find(const VMBase* probe, EqualFunc equal = nullptr, void* ud = nullptr) override; // 56
    void SortByCompare(bool ascending, SortCompareFunc compare, void* ud, int from = 0,
                       int to = -1) override; // 58
    void SortByKey(bool ascending, KeyFunc keyFunc, void* ud, int from = 0,
                   int to = -1) override; // 59
    void SortByKey64(bool ascending, Key64Func keyFunc, void* ud, int from = 0,
                     int to = -1) override; // 60
    void SortByKeyDouble(bool ascending, KeyDoubleFunc keyFunc, void* ud, int from = 0,
                         int to = -1) override;                                          // 61
    void Load(BVFile* file) override;                                                    // 62
    bool Save(BVFile* file) override;                                                    // 63
    void CopyElements(T* dst, int dstIndex, const T* src, int srcIndex, int k) override; // 66
    void MoveElements(T* dst, int dstIndex, const T* src, int srcIndex, int k) override; // 67

    virtual T* ElementAt(int index); // 70: null for an index outside the array
    virtual T* GetData();            // 71
    virtual T* GetLast();            // 72: null when empty

  private:
    // The int32 key of element i read as unsigned, the order of slots 18, 51,
    // 52 and 59.
    std::uint32_t UKey(int i, KeyFunc f, void* ud) {
        return static_cast<std::uint32_t>(Base::KeyOf(this->items + i, f, ud));
    }
};

#include "values/VMClassArray.inl"

extern template class VMArrayBase<VMSize, VMSize&>;
extern template class VMClassArray<VMSize, VMSize&>;
