// VMBase: root of the framework's value classes.
//
// A value names its own type by a 32-bit id, compares itself, yields an
// integer or floating key (the keys by which the container templates search
// and sort when no comparison function is given) and loads and saves itself
// through a BVFile. The class has no data; reference counting belongs to the
// VMValue branch, not to this root. The queries (type, keys, comparison,
// Save) are const so that containers can ask them of elements and probes they
// only look at.
//
// The virtual slots are part of the interface: their order below is fixed
// (slot numbers in the comments) and pinned by a test. Do not insert, remove
// or reorder virtual members. Slots 4-7 and 10 are extension points that no
// class of the system gives a body.
#pragma once

#include <cstdint>

class BVFile;

class VMBase {
  public:
    // Type ids of the system's value classes.
    static constexpr std::uint32_t TypeIdString = 0xCA007951u;
    static constexpr std::uint32_t TypeIdSize = 0xDB9F07F5u;
    static constexpr std::uint32_t TypeIdIntSeq = 0x61E7C26Fu;

    VMBase() = default;
    VMBase(const VMBase&) = default;
    VMBase& operator=(const VMBase&) = default;

    virtual ~VMBase();                                       // 0
    virtual bool Assign(const VMBase* other);                // 1: false
    virtual std::uint32_t GetTypeId() const = 0;             // 2
    virtual bool IsKindOf(std::uint32_t typeId) const = 0;   // 3
    virtual std::int32_t Reserved4(std::int32_t);            // 4: 0
    virtual bool Reserved5();                                // 5: false
    virtual std::int32_t Reserved6();                        // 6: 0
    virtual void Reserved7(std::int32_t);                    // 7: nothing
    virtual std::int32_t GetInt() const;                     // 8: 0
    virtual std::int64_t GetInt64() const;                   // 9: 0
    virtual std::int32_t Reserved10();                       // 10: 0
    virtual double GetDouble() const;                        // 11: 0.0
    virtual std::int32_t Compare(const VMBase* other) const; // 12: 0, or -1 for none
    virtual bool Equals(const VMBase* other) const;          // 13: identity
    virtual void Load(BVFile* file);                         // 14: clears file's lastOk
    virtual bool Save(BVFile* file) const;                   // 15: false
};
