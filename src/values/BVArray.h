// BVArray: BVArrayBase with a storage record of its own, which AttachStorage
// makes the array's store. A new array has no store. The system uses the one
// instance BVArray<int, int>, compiled once in BVArray.cpp.
#pragma once

#include "values/BVArrayBase.h"

template <class T, class ARG> class BVArray : public BVArrayBase<T, ARG> {
  public:
    using typename BVArrayBase<T, ARG>::Storage;

    BVArray() = default;
    ~BVArray() override { this->Release(); } // 0
    bool AttachStorage() override {          // 9
        this->store = &own;
        return true;
    }

  private:
    Storage own;
};

extern template class BVArrayBase<int, int>;
extern template class BVArray<int, int>;
