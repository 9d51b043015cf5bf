// VMValue: the reference-counted branch of the value classes.
//
// A value is created with refCount 1 by whoever makes it; every further owner
// calls AddRef (or Retain) and every owner gives it up with Release, which
// destroys the value when the count falls to 0. Destroy is the only way a
// value ends: it frees what the value holds, then the object. The count is a
// plain integer: a value and its owners belong to one thread at a time.
//
// Slots 16-33 continue VMBase's table; their order is fixed and pinned by a
// test together with VMString's, the one class derived from this one.
#pragma once

#include "values/VMBase.h"

#include <cstdint>

class VMString;

class VMValue : public VMBase {
  public:
    VMValue() = default;
    VMValue(const VMValue&) = delete;
    VMValue& operator=(const VMValue&) = delete;

    virtual void Destroy() = 0;                          // 16: free the content, then the object
    virtual bool Reserved17();                           // 17: false
    virtual bool Reserved18();                           // 18: false
    virtual std::int32_t Reserved19();                   // 19: 0
    virtual bool Reserved20();                           // 20: false
    virtual bool IsSame(const VMBase* other) const;      // 21: identity
    virtual void AddRef();                               // 22
    virtual void Release();                              // 23: Destroy at 0 or below
    virtual void DestroyIfUnreferenced();                // 24: Destroy below 1
    virtual void AssignAndRelease(VMBase* other);        // 25: Assign, then other's Release
    virtual std::int32_t Reserved26();                   // 26: -1
    virtual bool Reserved27();                           // 27: true
    virtual VMValue* Retain();                           // 28: AddRef, this
    virtual bool Reserved29();                           // 29: true
    virtual void AssignValue(const VMString* other) = 0; // 30
    virtual bool Reserved31();                           // 31: false
    virtual bool Reserved32();                           // 32: false
    virtual bool Reserved33();                           // 33: false

    std::int32_t RefCount() const { return refCount; }

  protected:
    // Values end through Destroy; deleting one directly skips the release of
    // what it holds.
    ~VMValue() override = default;

    std::int32_t refCount = 1;
};
