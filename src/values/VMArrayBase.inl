// Definitions of VMArrayBase's members; included by VMArrayBase.h only.
#pragma once

// --- block and count ------------------------------------------------------------

template <class T, class ARG> T* VMArrayBase<T, ARG>::NewBlock(int n) {
    if (n <= 0 || n > kMaxCount)
        return nullptr;
    return static_cast<T*>(AllocateBlock(static_cast<int>(sizeof(T)) * n));
}

template <class T, class ARG> bool VMArrayBase<T, ARG>::Reallocate(int newCapacity, int total) {
    T* block = NewBlock(newCapacity);
    if (block == nullptr)
        return false;
    ConstructElements(block, 0, total);
    CopyElements(block, 0, items, 0, count);
    DestroyElements(items, 0, count);
    FreeBlock(items);
    items = block;
    capacity = newCapacity;
    count = total;
    return true;
}

template <class T, class ARG> bool VMArrayBase<T, ARG>::SetCount(int n, int grow) {
    // |INT32_MIN| has no int32 value; no block could hold it anyway.
    if (n == INT32_MIN)
        return false;
    const int step = grow >= 0 ? grow : growBy;
    const int m = n < 0 ? -n : n;
    if (m == 0 || (n < 0 && m <= capacity)) {
        DestroyElements(items, 0, count);
        count = 0;
    } else if (items == nullptr) {
        T* block = NewBlock(m);
        if (block == nullptr)
            return false;
        ConstructElements(block, 0, m);
        items = block;
        capacity = count = m;
    } else if (m <= capacity) {
        if (m > count)
            ConstructElements(items, count, m - count);
        else
            DestroyElements(items, m, count - m);
        count = m;
    } else {
        int autoStep = count / 8;
        autoStep = autoStep < 4 ? 4 : autoStep > 1024 ? 1024 : autoStep;
        std::int64_t wanted = std::int64_t{capacity} + (step != 0 ? step : autoStep);
        // A step that would pass the largest block still grows to m.
        if (wanted > kMaxCount)
            wanted = kMaxCount;
        if (!Reallocate(wanted > m ? static_cast<int>(wanted) : m, m))
            return false;
    }
    growBy = step;
    if (n < 0) {
        DestroyElements(items, 0, count);
        count = 0;
    }
    return true;
}

template <class T, class ARG> int VMArrayBase<T, ARG>::AddCount(int k, int grow) {
    const int first = count;
    const std::int64_t total = std::int64_t{count} + k;
    if (total > INT32_MAX || total < -INT32_MAX)
        return -1;
    return SetCount(static_cast<int>(total), grow) ? first : -1;
}

template <class T, class ARG> int VMArrayBase<T, ARG>::InsertAt(int index, int k, int grow) {
    if (k <= 0 || index < 0 || std::int64_t{index} + k > INT32_MAX ||
        std::int64_t{count} + k > INT32_MAX)
        return -1;
    if (index >= count)
        return SetCount(index + k, grow) ? index : -1;
    const int old = count;
    if (!SetCount(count + k, grow))
        return -1;
    // The gap keeps copies of the elements that moved; the caller assigns it.
    MoveElements(items, index + k, items, index, old - index);
    return index;
}

template <class T, class ARG> int VMArrayBase<T, ARG>::GetLastIndex() {
    return count - 1;
}

template <class T, class ARG> bool VMArrayBase<T, ARG>::IsValidIndex(int index) {
    return index >= 0 && index < count;
}

template <class T, class ARG> bool VMArrayBase<T, ARG>::Contains(const T* probe) {
    return Find(probe) >= 0;
}

template <class T, class ARG> bool VMArrayBase<T, ARG>::EnsureIndex(int index) {
    if (index < 0)
        return AddCount(1) >= 0;
    if (index < count)
        return true;
    return index < INT32_MAX && SetCount(index + 1);
}

template <class T, class ARG> bool VMArrayBase<T, ARG>::FreeExtra() {
    if (count == capacity)
        return true;
    if (count == 0) {
        FreeBlock(items);
        items = nullptr;
        capacity = 0;
        return true;
    }
    return Reallocate(count, count);
}

template <class T, class ARG> void VMArrayBase<T, ARG>::RemoveAll() {
    DestroyElements(items, 0, count);
    FreeBlock(items);
    items = nullptr;
    count = capacity = 0;
}

// --- ranges of another array ------------------------------------------------------

namespace vm_array {

// The clamped range of Append, CopyFrom and TakeFrom: last is the other
// array's last index when to is negative or past it; empty when last < first.
struct Range {
    int first;
    int last;
    int Size() const { return last < first ? 0 : last - first + 1; }
};

inline Range ClampRange(int otherCount, int from, int to, bool fromUpToLast) {
    const int last = (to < 0 || to >= otherCount) ? otherCount - 1 : to;
    const int limit = fromUpToLast ? last : otherCount;
    int first = from < 0 ? 0 : from;
    first = first > limit ? limit : first;
    return {first, last};
}

} // namespace vm_array

template <class T, class ARG>
int VMArrayBase<T, ARG>::Append(const VMArrayBase* other, int from, int to) {
    if (other == nullptr)
        return count;
    const vm_array::Range r = vm_array::ClampRange(other->count, from, to, false);
    const int k = r.Size();
    if (k == 0)
        return count;
    const int at = AddCount(k);
    if (at < 0)
        return -1;
    // other may be this array: its block is read after the growth.
    CopyElements(items, at, other->items, r.first, k);
    return at;
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::CopyFrom(const VMArrayBase* other, int from, int to) {
    if (other == nullptr)
        return false;
    const vm_array::Range r = vm_array::ClampRange(other->count, from, to, false);
    const int k = r.Size();
    if (other == this) {
        // Keep only the range: drop what follows it, then what precedes it.
        if (k == 0)
            return SetCount(0);
        RemoveAt(r.last + 1, -1);
        RemoveAt(0, r.first);
        return true;
    }
    if (!SetCount(k))
        return false;
    CopyElements(items, 0, other->items, r.first, k);
    return true;
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::TakeFrom(VMArrayBase* other, int from, int to) {
    // Taking from oneself has no meaning; an empty other has no range (the
    // clamping would otherwise name index -1).
    if (other == nullptr || other == this)
        return false;
    if (other->count == 0)
        return SetCount(0);
    const vm_array::Range r = vm_array::ClampRange(other->count, from, to, true);
    if (!CopyFrom(other, r.first, r.last))
        return false;
    other->RemoveAt(r.first, r.Size());
    return true;
}

// --- single elements ----------------------------------------------------------------

template <class T, class ARG> int VMArrayBase<T, ARG>::Add(const T* obj) {
    const int index = count;
    return SetAtGrow(-1, obj) ? index : -1;
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::AddUnique(const T* obj, EqualFunc equal, void* userData) {
    return FindOr(obj, equal, userData, [&] { return Add(obj); });
}

template <class T, class ARG> int VMArrayBase<T, ARG>::RemoveValue(const T* probe) {
    const int found = Find(probe);
    if (found >= 0)
        RemoveAt(found, 1);
    return found;
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertFrom(int index, const T* src, int k, bool repeat) {
    const int span = repeat ? 1 : k;
    // A source inside this block is found again after the growth: elements at
    // or after index move up by k, and none of them lands inside the gap.
    int inside = -1;
    const std::less<const T*> below;
    if (src != nullptr && count > 0 && !below(src, items) && below(src, items + count)) {
        inside = static_cast<int>(src - items);
        if (std::int64_t{inside} + span > count)
            return -1;
    }
    if (InsertAt(index, k) < 0)
        return -1;
    for (int i = 0; i < k; ++i) {
        const int s = repeat ? 0 : i;
        const T* from = src + s;
        if (inside >= 0) {
            const int was = inside + s;
            from = items + (was < index ? was : was + k);
        }
        items[index + i].Assign(from);
    }
    return index;
}

template <class T, class ARG> void VMArrayBase<T, ARG>::CopyWithin(int dst, int src, int k) {
    if (k <= 0 || dst == src || dst < 0)
        return;
    if (dst >= count || src < 0 || std::int64_t{src} + k > count)
        return;
    const int n = k < count - dst ? k : count - dst;
    MoveElements(items, dst, items, src, n);
}

template <class T, class ARG> void VMArrayBase<T, ARG>::RemoveAt(int index, int k) {
    if (index < 0)
        index = k < 0 ? count - 1 : count - k;
    if (k < 0)
        k = count - index;
    if (k <= 0 || index < 0 || std::int64_t{index} + k > count)
        return;
    DestroyElements(items, index, k);
    const int following = count - index - k;
    if (following > 0) {
        ConstructElements(items, index, k);
        MoveElements(items, index, items, index + k, following);
        DestroyElements(items, count - k, k);
    }
    count -= k;
}

// --- searches -------------------------------------------------------------------------

template <class T, class ARG> int VMArrayBase<T, ARG>::FindIf(Predicate predicate, void* userData) {
    if (predicate == nullptr)
        return -1;
    for (int i = 0; i < count; ++i) {
        const std::int32_t r = predicate(items + i, userData);
        if (r > 0)
            return i;
        if (r < 0)
            return -1;
    }
    return -1;
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::FindLastIf(Predicate predicate, void* userData) {
    if (predicate == nullptr)
        return -1;
    for (int i = count - 1; i >= 0; --i) {
        const std::int32_t r = predicate(items + i, userData);
        if (r > 0)
            return i;
        if (r < 0)
            return -1;
    }
    return -1;
}

template <class T, class ARG>
T* VMArrayBase<T, ARG>::FindKeyPtr(int key, KeyFunc keyFunc, void* userData) {
    const int i = FindKey(key, keyFunc, userData, -1);
    return i >= 0 ? items + i : nullptr;
}

// --- sorted insertion ----------------------------------------------------------------

namespace vm_array {

inline int GuessFor(std::uint32_t k, std::uint32_t first, std::uint32_t last, int count) {
    return Guess(k, first, last, first, count);
}
inline int GuessFor(std::int32_t k, std::int32_t first, std::int32_t last, int count) {
    return Guess(k, first, last, first, count);
}
inline int GuessFor(std::int64_t k, std::int64_t first, std::int64_t last, int count) {
    return Guess(k, first, last, first, count);
}
inline int GuessFor(double k, double first, double last, int count) {
    return GuessDouble(k, first, last, count);
}

} // namespace vm_array

// Equal keys go after the elements that have them, so insertion order is kept
// among equals. Elements 0 and count - 1 are not read again by the walks.
template <class T, class ARG>
template <class Key, class KeyAt>
typename VMArrayBase<T, ARG>::Place VMArrayBase<T, ARG>::SortedPlace(Key key, bool ascending,
                                                                     KeyAt keyAt) {
    auto before = [ascending](Key a, Key b) { return ascending ? a < b : b < a; };
    if (count == 0)
        return {0, false};
    const Key first = keyAt(0);
    if (before(key, first))
        return {0, false};
    if (count == 1)
        return {count, false};
    const Key last = keyAt(count - 1);
    if (!before(key, last))
        return {count, false};
    if (count == 2)
        return {1, false};
    const int i = vm_array::GuessFor(key, first, last, count);
    if (before(key, keyAt(i))) {
        for (int j = i - 1; j >= 1; --j) {
            if (!before(key, keyAt(j)))
                return {j + 1, true};
        }
        return {1, true};
    }
    for (int j = i + 1; j <= count - 2; ++j) {
        if (before(key, keyAt(j)))
            return {j, true};
    }
    return {count - 1, true};
}

template <class T, class ARG>
template <class KeyF>
int VMArrayBase<T, ARG>::InsertSortedAny(const T* obj, bool ascending, KeyF f, void* ud) {
    if (obj == nullptr)
        return -1;
    const Place p =
        SortedPlace(KeyOf(obj, f, ud), ascending, [&](int i) { return KeyOf(items + i, f, ud); });
    return p.index == count ? Add(obj) : InsertCopies(p.index, obj, 1);
}

template <class T, class ARG>
template <class Insert>
int VMArrayBase<T, ARG>::FindOr(const T* obj, EqualFunc equal, void* userData, Insert insert) {
    const int found = Find(obj, equal, userData);
    return found >= 0 ? found : insert();
}

template <class T, class ARG>
template <class Insert>
int VMArrayBase<T, ARG>::ReplaceOr(const T* obj, EqualFunc equal, void* userData, Insert insert) {
    const int found = Find(obj, equal, userData);
    if (found < 0)
        return insert();
    SetAt(found, obj);
    return found;
}

template <class T, class ARG>
template <class Op>
bool VMArrayBase<T, ARG>::ForEachOf(const VMArrayBase* other, Op op) {
    if (other == nullptr)
        return true;
    if (other == this)
        return false;
    for (int i = 0; i < other->count; ++i) {
        if (!op(other->items + i))
            return false;
    }
    return true;
}

// The next element of an insert-all goes after the previous one only when
// that one was inserted at the insertion index (the count grew). An equal
// element found, or replaced, there leaves the index where it was, so the
// next element goes before it.
template <class T, class ARG>
void VMArrayBase<T, ARG>::AdvanceAfterInsertion(int* index, int at, int countBefore) const {
    if (at == *index && count > countBefore)
        ++*index;
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSorted(const VMArrayBase* other, bool ascending, KeyFunc f,
                                          void* ud) {
    return ForEachOf(other, [&](const T* e) { return InsertSorted(e, ascending, f, ud) >= 0; });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSorted64(const VMArrayBase* other, bool ascending, Key64Func f,
                                            void* ud) {
    return ForEachOf(other, [&](const T* e) { return InsertSorted64(e, ascending, f, ud) >= 0; });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSortedDouble(const VMArrayBase* other, bool ascending,
                                                KeyDoubleFunc f, void* ud) {
    return ForEachOf(other,
                     [&](const T* e) { return InsertSortedDouble(e, ascending, f, ud) >= 0; });
}

// --- insertion unless present, or replacing ------------------------------------------

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertIfAbsent(int index, const T* obj, int k, EqualFunc equal,
                                        void* userData) {
    return FindOr(obj, equal, userData, [&] { return InsertCopies(index, obj, k); });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllIfAbsent(int index, const VMArrayBase* other, EqualFunc equal,
                                            void* userData) {
    return ForEachOf(other, [&](const T* e) {
        const int before = count;
        const int at = InsertIfAbsent(index, e, 1, equal, userData);
        AdvanceAfterInsertion(&index, at, before);
        return at >= 0;
    });
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertOrReplace(int index, const T* obj, int k, EqualFunc equal,
                                         void* userData) {
    return ReplaceOr(obj, equal, userData, [&] { return InsertCopies(index, obj, k); });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllOrReplace(int index, const VMArrayBase* other, EqualFunc equal,
                                             void* userData) {
    return ForEachOf(other, [&](const T* e) {
        const int before = count;
        const int at = InsertOrReplace(index, e, 1, equal, userData);
        AdvanceAfterInsertion(&index, at, before);
        return at >= 0;
    });
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertSortedIfAbsent(const T* obj, bool ascending, KeyFunc f, void* kud,
                                              EqualFunc eq, void* eud) {
    return FindOr(obj, eq, eud, [&] { return InsertSorted(obj, ascending, f, kud); });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSortedIfAbsent(const VMArrayBase* other, bool ascending,
                                                  KeyFunc f, void* kud, EqualFunc eq, void* eud) {
    return ForEachOf(other, [&](const T* e) {
        return InsertSortedIfAbsent(e, ascending, f, kud, eq, eud) >= 0;
    });
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertSorted64IfAbsent(const T* obj, bool ascending, Key64Func f,
                                                void* kud, EqualFunc eq, void* eud) {
    return FindOr(obj, eq, eud, [&] { return InsertSorted64(obj, ascending, f, kud); });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSorted64IfAbsent(const VMArrayBase* other, bool ascending,
                                                    Key64Func f, void* kud, EqualFunc eq,
                                                    void* eud) {
    return ForEachOf(other, [&](const T* e) {
        return InsertSorted64IfAbsent(e, ascending, f, kud, eq, eud) >= 0;
    });
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertSortedDoubleIfAbsent(const T* obj, bool ascending, KeyDoubleFunc f,
                                                    void* kud, EqualFunc eq, void* eud) {
    return FindOr(obj, eq, eud, [&] { return InsertSortedDouble(obj, ascending, f, kud); });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSortedDoubleIfAbsent(const VMArrayBase* other, bool ascending,
                                                        KeyDoubleFunc f, void* kud, EqualFunc eq,
                                                        void* eud) {
    return ForEachOf(other, [&](const T* e) {
        return InsertSortedDoubleIfAbsent(e, ascending, f, kud, eq, eud) >= 0;
    });
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertSortedOrReplace(const T* obj, bool ascending, KeyFunc f, void* kud,
                                               EqualFunc eq, void* eud) {
    return ReplaceOr(obj, eq, eud, [&] { return InsertSorted(obj, ascending, f, kud); });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSortedOrReplace(const VMArrayBase* other, bool ascending,
                                                   KeyFunc f, void* kud, EqualFunc eq, void* eud) {
    return ForEachOf(other, [&](const T* e) {
        return InsertSortedOrReplace(e, ascending, f, kud, eq, eud) >= 0;
    });
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertSorted64OrReplace(const T* obj, bool ascending, Key64Func f,
                                                 void* kud, EqualFunc eq, void* eud) {
    return ReplaceOr(obj, eq, eud, [&] { return InsertSorted64(obj, ascending, f, kud); });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSorted64OrReplace(const VMArrayBase* other, bool ascending,
                                                     Key64Func f, void* kud, EqualFunc eq,
                                                     void* eud) {
    return ForEachOf(other, [&](const T* e) {
        return InsertSorted64OrReplace(e, ascending, f, kud, eq, eud) >= 0;
    });
}

template <class T, class ARG>
int VMArrayBase<T, ARG>::InsertSortedDoubleOrReplace(const T* obj, bool ascending, KeyDoubleFunc f,
                                                     void* kud, EqualFunc eq, void* eud) {
    return ReplaceOr(obj, eq, eud, [&] { return InsertSortedDouble(obj, ascending, f, kud); });
}

template <class T, class ARG>
bool VMArrayBase<T, ARG>::InsertAllSortedDoubleOrReplace(const VMArrayBase* other, bool ascending,
                                                         KeyDoubleFunc f, void* kud, EqualFunc eq,
                                                         void* eud) {
    return ForEachOf(other, [&](const T* e) {
        return InsertSortedDoubleOrReplace(e, ascending, f, kud, eq, eud) >= 0;
    });
}

// --- sorting -------------------------------------------------------------------------

template <class T, class ARG>
template <class ComesFirst>
void VMArrayBase<T, ARG>::SelectionSort(int from, int to, ComesFirst comesFirst) {
    if (to < 0 || to >= count)
        to = count - 1;
    for (int b = from < 0 ? 0 : from; b < to; ++b) {
        int c = b;
        for (int i = b + 1; i <= to; ++i) {
            if (comesFirst(i, c))
                c = i;
        }
        if (c != b)
            Swap(c, b);
    }
}

// --- element and memory hooks ------------------------------------------------------

template <class T, class ARG>
void VMArrayBase<T, ARG>::ConstructElements(T* block, int index, int k) {
    if (block == nullptr || k <= 0)
        return;
    std::memset(static_cast<void*>(block + index), 0, sizeof(T) * static_cast<std::size_t>(k));
    for (int i = 0; i < k; ++i)
        ::new (static_cast<void*>(block + index + i)) T();
}

template <class T, class ARG>
void VMArrayBase<T, ARG>::DestroyElements(T* block, int index, int k) {
    if (block == nullptr)
        return;
    for (int i = 0; i < k; ++i)
        block[index + i].~T();
}

template <class T, class ARG> void* VMArrayBase<T, ARG>::AllocateBlock(int bytes) {
    if (bytes <= 0)
        return nullptr;
    return ::operator new(static_cast<std::size_t>(bytes), std::nothrow);
}

template <class T, class ARG> void VMArrayBase<T, ARG>::FreeBlock(void* block) {
    ::operator delete(block);
}
