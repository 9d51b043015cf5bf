// Definitions of VMClassArray's members; included by VMClassArray.h only.
#pragma once

template <class T, class ARG> VMClassArray<T, ARG>::~VMClassArray() {
    this->DestroyElements(this->items, 0, this->count);
    this->FreeBlock(this->items);
    this->items = nullptr;
    this->count = this->capacity = 0;
}

// --- assignment and insertion ------------------------------------------------------

template <class T, class ARG> bool VMClassArray<T, ARG>::SetAt(int index, const T* obj) {
    if (!this->IsValidIndex(index))
        return false;
    return this->items[index].Assign(obj);
}

template <class T, class ARG> bool VMClassArray<T, ARG>::SetAtGrow(int index, const T* obj) {
    if (index < 0)
        index = this->count;
    if (index >= this->count)
        return this->InsertFrom(index, obj, 1, true) >= 0;
    return this->items[index].Assign(obj);
}

template <class T, class ARG>
int VMClassArray<T, ARG>::InsertSortedKey(int key, bool ascending, KeyFunc f, void* ud) {
    const auto k = static_cast<std::uint32_t>(key);
    const typename Base::Place p =
        this->SortedPlace(k, ascending, [&](int i) { return UKey(i, f, ud); });
    if (p.index == this->count)
        return this->AddCount(1);
    // An interpolated place right after an element with the key finds it.
    if (p.interpolated && UKey(p.index - 1, f, ud) == k)
        return p.index - 1;
    return this->InsertAt(p.index, 1);
}

template <class T, class ARG>
int VMClassArray<T, ARG>::InsertCopies(int index, const T* obj, int k) {
    return this->InsertFrom(index, obj, k, true);
}

template <class T, class ARG>
bool VMClassArray<T, ARG>::InsertArray(int index, const T* objs, int k) {
    if (objs == nullptr || k <= 0)
        return true;
    return this->InsertFrom(index, objs, k, false) >= 0;
}

template <class T, class ARG> bool VMClassArray<T, ARG>::InsertAll(int index, const Base* other) {
    if (other == nullptr)
        return true;
    return InsertArray(index, static_cast<const VMClassArray*>(other)->items, other->GetCount());
}

template <class T, class ARG>
int VMClassArray<T, ARG>::InsertSorted(const T* obj, bool ascending, KeyFunc f, void* ud) {
    return this->InsertSortedAny(obj, ascending, f, ud);
}

template <class T, class ARG>
int VMClassArray<T, ARG>::InsertSorted64(const T* obj, bool ascending, Key64Func f, void* ud) {
    return this->InsertSortedAny(obj, ascending, f, ud);
}

template <class T, class ARG>
int VMClassArray<T, ARG>::InsertSortedDouble(const T* obj, bool ascending, KeyDoubleFunc f,
                                             void* ud) {
    return this->InsertSortedAny(obj, ascending, f, ud);
}

// --- rearranging ---------------------------------------------------------------------

template <class T, class ARG> void VMClassArray<T, ARG>::Move(int to, int from) {
    if (!this->IsValidIndex(to) || !this->IsValidIndex(from) || to == from)
        return;
    T held;
    held.Assign(this->items + from);
    if (from < to)
        MoveElements(this->items, from, this->items, from + 1, to - from);
    else
        MoveElements(this->items, to + 1, this->items, to, from - to);
    this->items[to].Assign(&held);
}

template <class T, class ARG> void VMClassArray<T, ARG>::Swap(int i, int j) {
    if (!this->IsValidIndex(i) || !this->IsValidIndex(j) || i == j)
        return;
    T held;
    held.Assign(this->items + i);
    this->items[i].Assign(this->items + j);
    this->items[j].Assign(&held);
}

// --- searches -------------------------------------------------------------------------

template <class T, class ARG>
int VMClassArray<T, ARG>::FindKey(int key, KeyFunc f, void* ud, int after) {
    if (after >= this->count)
        return -1;
    for (int i = after < 0 ? 0 : after + 1; i < this->count; ++i) {
        if (Base::KeyOf(this->items + i, f, ud) == key)
            return i;
    }
    return -1;
}

// Interpolation search: from the guessed index walk towards the key; among
// equal keys the first one met is returned.
template <class T, class ARG>
int VMClassArray<T, ARG>::FindSortedKey(int key, bool ascending, KeyFunc f, void* ud) {
    const int n = this->count;
    if (n == 0)
        return -1;
    const auto k = static_cast<std::uint32_t>(key);
    const std::uint32_t first = UKey(0, f, ud);
    if (n == 1)
        return k == first ? 0 : -1;
    const std::uint32_t last = UKey(n - 1, f, ud);
    auto before = [ascending](std::uint32_t a, std::uint32_t b) {
        return ascending ? a < b : b < a;
    };
    if (before(k, first) || before(last, k))
        return -1;
    const int i = ascending ? vm_array::Guess(k, first, last, first, n)
                            : vm_array::Guess(first, k, first, last, n);
    if (before(UKey(i, f, ud), k)) {
        for (int j = i + 1; j < n; ++j) {
            const std::uint32_t h = UKey(j, f, ud);
            if (h == k)
                return j;
            if (before(k, h))
                return -1;
        }
        return -1;
    }
    for (int j = i; j >= 0; --j) {
        const std::uint32_t h = UKey(j, f, ud);
        if (h == k)
            return j;
        if (before(h, k))
            return -1;
    }
    return -1;
}

template <class T, class ARG>
int VMClassArray<T, ARG>::BinarySearchKey(int key, bool ascending, KeyFunc f, void* ud) {
    const int n = this->count;
    if (n == 0)
        return -1;
    const auto k = static_cast<std::uint32_t>(key);
    const std::uint32_t first = UKey(0, f, ud);
    if (k == first)
        return 0;
    if (n == 1 || (ascending ? k < first : k > first))
        return -1;
    const std::uint32_t last = UKey(n - 1, f, ud);
    if (k == last)
        return n - 1;
    if (n == 2 || (ascending ? k > last : k < last))
        return -1;
    int lo = 0;
    int hi = n - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const std::uint32_t h = UKey(mid, f, ud);
        if (h == k)
            return mid;
        if ((k < h) == ascending)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return -1;
}

template <class T, class ARG>
int VMClassArray<T, ARG>::FindKey64(std::int64_t key, Key64Func f, void* ud) {
    for (int i = 0; i < this->count; ++i) {
        if (Base::KeyOf(this->items + i, f, ud) == key)
            return i;
    }
    return -1;
}

template <class T, class ARG>
int VMClassArray<T, ARG>::FindKeyDouble(double key, KeyDoubleFunc f, void* ud) {
    for (int i = 0; i < this->count; ++i) {
        if (Base::KeyOf(this->items + i, f, ud) == key) // NaN never matches
            return i;
    }
    return -1;
}

template <class T, class ARG>
int VMClassArray<T, ARG>::FindByCompare(const VMBase* probe, typename Base::CompareFunc compare,
                                        void* ud) {
    if (compare == nullptr && probe == nullptr)
        return -1;
    for (int i = 0; i < this->count; ++i) {
        const T* e = this->items + i;
        if ((compare != nullptr ? compare(probe, e, ud) : probe->Compare(e)) == 0)
            return i;
    }
    return -1;
}

template <class T, class ARG>
int VMClassArray<T, ARG>::Find(const VMBase* probe, EqualFunc equal, void* ud) {
    if (equal == nullptr) {
        if (probe == nullptr)
            return -1;
        for (int i = 0; i < this->count; ++i) {
            if (probe->Equals(this->items + i))
                return i;
        }
        return -1;
    }
    for (int i = 0; i < this->count; ++i) {
        const std::int32_t r = equal(probe, this->items + i, ud);
        if (r > 0)
            return i;
        if (r < 0)
            return -1;
    }
    return -1;
}

// --- sorting -------------------------------------------------------------------------

template <class T, class ARG>
void VMClassArray<T, ARG>::SortByCompare(bool ascending, SortCompareFunc compare, void* ud,
                                         int from, int to) {
    this->SelectionSort(from, to, [&](int i, int c) {
        const T* a = this->items + c;
        const T* b = this->items + i;
        const std::int32_t r = compare != nullptr ? compare(a, b, ud) : a->Compare(b);
        return ascending ? r > 0 : r < 0;
    });
}

template <class T, class ARG>
void VMClassArray<T, ARG>::SortByKey(bool ascending, KeyFunc f, void* ud, int from, int to) {
    this->SelectionSort(from, to, [&](int i, int c) {
        return ascending ? UKey(c, f, ud) > UKey(i, f, ud) : UKey(c, f, ud) < UKey(i, f, ud);
    });
}

template <class T, class ARG>
void VMClassArray<T, ARG>::SortByKey64(bool ascending, Key64Func f, void* ud, int from, int to) {
    this->SelectionSort(from, to, [&](int i, int c) {
        const std::int64_t kc = Base::KeyOf(this->items + c, f, ud);
        const std::int64_t ki = Base::KeyOf(this->items + i, f, ud);
        return ascending ? kc > ki : kc < ki;
    });
}

template <class T, class ARG>
void VMClassArray<T, ARG>::SortByKeyDouble(bool ascending, KeyDoubleFunc f, void* ud, int from,
                                           int to) {
    this->SelectionSort(from, to, [&](int i, int c) {
        const double kc = Base::KeyOf(this->items + c, f, ud);
        const double ki = Base::KeyOf(this->items + i, f, ud);
        return ascending ? kc > ki : kc < ki; // a NaN key is never chosen
    });
}

// --- file ----------------------------------------------------------------------------

// On file: an int32 little-endian count, then each element's own encoding.
template <class T, class ARG> void VMClassArray<T, ARG>::Load(BVFile* file) {
    if (file == nullptr || !file->LastOk())
        return;
    const std::int32_t n = file->ReadInt32LE(0);
    if (n < 0) {
        vm_array::FailRead(file);
        return;
    }
    // A count that cannot be honoured is refused like a negative one, instead
    // of loading the stored elements over the ones the array still holds.
    if (!this->SetCount(n)) {
        vm_array::FailRead(file);
        return;
    }
    for (int i = 0; i < this->count && file->LastOk(); ++i)
        this->items[i].Load(file);
}

template <class T, class ARG> bool VMClassArray<T, ARG>::Save(BVFile* file) {
    if (file == nullptr)
        return false;
    bool ok = file->WriteInt32(this->count);
    for (int i = 0; i < this->count && ok; ++i)
        ok = this->items[i].Save(file);
    return ok;
}

// --- element hooks and access ------------------------------------------------------

template <class T, class ARG>
void VMClassArray<T, ARG>::CopyElements(T* dst, int dstIndex, const T* src, int srcIndex, int k) {
    for (int i = 0; i < k; ++i)
        dst[dstIndex + i].Assign(src + srcIndex + i);
}

template <class T, class ARG>
void VMClassArray<T, ARG>::MoveElements(T* dst, int dstIndex, const T* src, int srcIndex, int k) {
    if (srcIndex < dstIndex) {
        for (int i = k - 1; i >= 0; --i)
            dst[dstIndex + i].Assign(src + srcIndex + i);
    } else {
        CopyElements(dst, dstIndex, src, srcIndex, k);
    }
}

template <class T, class ARG> T* VMClassArray<T, ARG>::ElementAt(int index) {
    return this->IsValidIndex(index) ? this->items + index : nullptr;
}

template <class T, class ARG> T* VMClassArray<T, ARG>::GetData() {
    return this->items;
}

template <class T, class ARG> T* VMClassArray<T, ARG>::GetLast() {
    return this->count > 0 ? this->items + this->count - 1 : nullptr;
}
