#include "text/VMString.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// Counts destructions, to see that Release ends an object exactly once.
class CountedText : public VMString {
  public:
    static int destroyed;

  protected:
    ~CountedText() override { ++destroyed; }
};
int CountedText::destroyed = 0;

// A value of another kind, to hand to the members that take any VMBase.
class OtherValue : public VMBase {
  public:
    std::uint32_t GetTypeId() const override { return 0x12345678u; }
    bool IsKindOf(std::uint32_t id) const override { return id == 0x12345678u; }
};

// --- lifecycle --------------------------------------------------------------------

TEST(VMStringLifecycle, ReleaseToZeroDestroysOnce) {
    CountedText::destroyed = 0;
    CountingAllocator allocator;
    VMString* s = new CountedText;
    EXPECT_EQ(s->RefCount(), 1);
    EXPECT_TRUE(s->IsNull());
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>("abc"), 3, 0, &allocator);
    s->AddRef();
    EXPECT_EQ(s->Retain(), s);
    EXPECT_EQ(s->RefCount(), 3);
    s->DestroyIfUnreferenced();
    s->Release();
    s->Release();
    EXPECT_EQ(CountedText::destroyed, 0);
    EXPECT_EQ(allocator.frees, 0);
    s->Release();
    EXPECT_EQ(CountedText::destroyed, 1);
    EXPECT_EQ(allocator.frees, 1) << "Destroy releases the record";
}

TEST(VMStringLifecycle, AssignAndReleaseHandsTheTextOver) {
    CountedText::destroyed = 0;
    VMString* source = new CountedText;
    source->AssignCString("abc", nullptr);
    TextBuffer* record = source->Buffer();
    Text target(new VMString);
    target->AssignAndRelease(source);
    EXPECT_EQ(CountedText::destroyed, 1);
    EXPECT_EQ(target->Buffer(), record);
    EXPECT_EQ(Shares(*target), 1);
    EXPECT_EQ(Str(*target), "abc");

    OtherValue other; // not counted: assigned as no text, never released
    target->AssignAndRelease(&other);
    EXPECT_TRUE(target->IsNull());
}

TEST(VMStringLifecycle, IdentityAndTypes) {
    Text a = MakeText("x");
    Text b = MakeText("x");
    EXPECT_EQ(a->GetTypeId(), 0xCA007951u);
    EXPECT_TRUE(a->IsKindOf(0xCA007951u));
    EXPECT_FALSE(a->IsKindOf(0xDB9F07F5u));
    EXPECT_TRUE(a->IsSame(a.get()));
    EXPECT_FALSE(a->IsSame(b.get()));
    EXPECT_FALSE(a->Reserved17());
    EXPECT_EQ(a->Reserved26(), -1);
    EXPECT_TRUE(a->Reserved27());
}

// --- sharing ----------------------------------------------------------------------

TEST(VMStringSharing, AssignmentsShareOneRecord) {
    Text a = MakeText("hello");
    TextBuffer* record = a->Buffer();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->capacity, 16);
    EXPECT_EQ(Shares(*a), 1);

    Text clone(a->Clone());
    Text assigned(new VMString);
    EXPECT_TRUE(assigned->Assign(a.get()));
    Text value(new VMString);
    value->AssignValue(a.get());
    Text attached(new VMString);
    attached->AttachBuffer(record);
    EXPECT_EQ(record->shareCount, 5);
    for (const VMString* s : {clone.get(), assigned.get(), value.get(), attached.get()}) {
        EXPECT_EQ(s->Buffer(), record);
        EXPECT_EQ(s->Text(), a->Text());
        EXPECT_EQ(Str(*s), "hello");
    }

    EXPECT_TRUE(a->Assign(a.get())) << "assigning oneself changes nothing";
    attached->AttachBuffer(record);
    EXPECT_EQ(record->shareCount, 5) << "attaching the record held keeps one hold";
    clone->Clear();
    assigned->Empty();
    EXPECT_TRUE(clone->IsNull());
    EXPECT_TRUE(assigned->IsNull());
    EXPECT_EQ(record->shareCount, 3);
    attached->AttachBuffer(nullptr);
    EXPECT_TRUE(attached->IsNull());
    EXPECT_EQ(record->shareCount, 2);
}

TEST(VMStringSharing, NullAndOtherKinds) {
    Text null(new VMString);
    Text clone(null->Clone());
    EXPECT_TRUE(clone->IsNull());
    EXPECT_EQ(clone->Buffer(), nullptr);

    Text a = MakeText("abc");
    OtherValue other;
    EXPECT_TRUE(a->Assign(&other)) << "another kind of value counts as no text";
    EXPECT_TRUE(a->IsNull());
    a->AssignCString("abc", nullptr);
    EXPECT_TRUE(a->Assign(nullptr));
    EXPECT_TRUE(a->IsNull());
    a->AssignCString("abc", nullptr);
    a->AssignValue(null.get());
    EXPECT_TRUE(a->IsNull());

    a->AssignCString("", nullptr);
    EXPECT_FALSE(a->IsNull()) << "empty is not null";
    EXPECT_EQ(a->Length(), 0);
    EXPECT_EQ(a->Text()[0], 0);
}

TEST(VMStringSharing, AssignSubClamps) {
    struct Case {
        int start;
        int count;
        const char* expected;
    };
    const Case cases[] = {
        {3, 100, "lo"},
        {0, -1, "hello"},
        {2, -5, "llo"},
        {-2, 2, "he"},
        {7, 1, ""},
        {5, 0, ""},
        {1, 0, ""},
        {INT_MIN, INT_MAX, "hello"},
        {INT_MAX, INT_MAX, ""},
        {4, INT_MAX, "o"},
        {INT_MIN, INT_MIN, "hello"},
    };
    // other is itself a view (offset 1 of its record), so offsets add up.
    Text record = MakeText("xhello");
    Text other(new VMString);
    other->AssignSub(record.get(), 1, -1);
    for (const Case& c : cases) {
        Text s(new VMString);
        s->AssignSub(other.get(), c.start, c.count);
        EXPECT_EQ(Str(*s), c.expected) << c.start << ", " << c.count;
        EXPECT_EQ(s->Buffer(), record->Buffer());
        EXPECT_EQ(s->Offset(), 1 + std::min(std::max(c.start, 0), 5));
    }
    EXPECT_EQ(Shares(*record), 2) << "every view released again";
}

TEST(VMStringSharing, AssignSubFromItselfAndFromNothing) {
    Text a = MakeText("hello");
    a->AssignSub(a.get(), 1, -1);
    EXPECT_EQ(Str(*a), "ello");
    EXPECT_EQ(Shares(*a), 1);
    a->AssignSub(a.get(), 1, 2);
    EXPECT_EQ(Str(*a), "ll");
    EXPECT_EQ(a->Offset(), 2);

    Text null(new VMString);
    a->AssignSub(null.get(), 0, 1);
    EXPECT_TRUE(a->IsNull());
    a->AssignCString("x", nullptr);
    a->AssignSub(nullptr, 0, 1);
    EXPECT_TRUE(a->IsNull());
}

// --- copy on write ----------------------------------------------------------------

TEST(VMStringSharing, WritingThroughOneHolderNeverChangesAnother) {
    struct Write {
        const char* name;
        std::function<void(VMString&)> apply;
        const char* expected;
    };
    const Write writes[] = {
        {"SetAt", [](VMString& s) { s.SetAt(1, 'X'); }, "hXllo"},
        {"SetAt past end", [](VMString& s) { s.SetAt(5, '!'); }, "hello!"},
        {"PutUInt8", [](VMString& s) { s.PutUInt8(0, 'J'); }, "Jello"},
        {"PutUInt16", [](VMString& s) { s.PutUInt16(3, 0x4241); }, "helAB"},
        {"PutInt32", [](VMString& s) { s.PutInt32(1, 0x34333231); }, "h1234"},
        {"PutUInt32 growing", [](VMString& s) { s.PutUInt32(4, 0x34333231u); }, "hell1234"},
        {"SetLength shorter", [](VMString& s) { s.SetLength(2, 0, false); }, "he"},
        {"MakeUnique", [](VMString& s) { s.MakeUnique(); }, "hello"},
    };
    for (const Write& w : writes) {
        Text a = MakeText("hello");
        const char* before = a->Text();
        Text b(a->Clone());
        w.apply(*b);
        EXPECT_EQ(Str(*a), "hello") << w.name;
        EXPECT_EQ(a->Text(), before) << w.name;
        EXPECT_EQ(Shares(*a), 1) << w.name;
        EXPECT_EQ(Str(*b), w.expected) << w.name;
        EXPECT_TRUE(b->IsUnique()) << w.name;
        EXPECT_NE(b->Buffer(), a->Buffer()) << w.name;
    }
}

TEST(VMStringSharing, AssignSubThenSetAtCopies) {
    Text other = MakeText("abcde");
    Text s(new VMString);
    s->AssignSub(other.get(), 3, 100);
    EXPECT_EQ(Str(*s), "de");
    EXPECT_EQ(Shares(*other), 2);
    s->SetAt(0, 'X');
    EXPECT_EQ(Str(*s), "Xe");
    EXPECT_EQ(Str(*other), "abcde");
    EXPECT_EQ(s->Offset(), 0);
}

TEST(VMStringSharing, UniqueMeansOwnedAndHeldOnce) {
    Text null(new VMString);
    EXPECT_FALSE(null->IsUnique());
    null->MakeUnique();
    EXPECT_TRUE(null->IsNull()) << "a record without bytes: still null";
    EXPECT_NE(null->Buffer(), nullptr);
    EXPECT_FALSE(null->IsUnique());

    Text a = MakeText("ab");
    EXPECT_TRUE(a->IsUnique());
    const char* before = a->Text();
    a->MakeUnique();
    EXPECT_EQ(a->Text(), before) << "a unique text is left in place";
    Text b(a->Clone());
    EXPECT_FALSE(a->IsUnique());
    EXPECT_FALSE(b->IsUnique());

    char foreign[] = "xyz";
    Text f(new VMString);
    f->AssignBytes(reinterpret_cast<std::uint8_t*>(foreign), 3, -1, nullptr);
    EXPECT_FALSE(f->IsUnique()) << "a foreign buffer is never owned";
}

// --- SetLength --------------------------------------------------------------------

TEST(VMStringSetLength, KeepInPlaceOnlyShortensASharedView) {
    Text a = MakeText("hello");
    Text b(a->Clone());
    b->SetLength(2, 0, true);
    EXPECT_EQ(Str(*b), "he");
    EXPECT_EQ(b->Buffer(), a->Buffer()) << "the shared bytes are not touched";
    EXPECT_EQ(Shares(*a), 2);

    Text c(a->Clone());
    c->SetLength(6, 0, true);
    EXPECT_NE(c->Buffer(), a->Buffer()) << "growing a shared text copies it";
    EXPECT_EQ(Str(*c).substr(0, 5), "hello");
    EXPECT_EQ(c->Length(), 6);
    EXPECT_EQ(c->Text()[6], 0);
    EXPECT_EQ(c->Text()[7], 0);

    Text d(a->Clone());
    d->SetLength(2, 0, false);
    EXPECT_NE(d->Buffer(), a->Buffer()) << "without keepInPlace a shared text is copied";
    EXPECT_EQ(Str(*d), "he");
    EXPECT_EQ(d->Text()[2], 0);
}

TEST(VMStringSetLength, UniqueTextMovesToTheStartAndNeverShrinks) {
    Text a = MakeText("0123456789");
    Text s(new VMString);
    s->AssignSub(a.get(), 4, -1);
    a.reset(); // s now holds the record alone, at offset 4
    ASSERT_TRUE(s->IsUnique());
    TextBuffer* record = s->Buffer();
    s->SetLength(3, 0, true);
    EXPECT_EQ(s->Buffer(), record);
    EXPECT_EQ(s->Offset(), 0);
    EXPECT_EQ(Str(*s), "456");
    EXPECT_EQ(record->capacity, 16);
    EXPECT_EQ(s->Text()[3], 0);
    EXPECT_EQ(s->Text()[4], 0);

    s->SetLength(40, 0, true);
    EXPECT_EQ(s->Buffer(), record);
    EXPECT_EQ(record->capacity, 64);
    EXPECT_EQ(Str(*s).substr(0, 3), "456");
    s->SetLength(1, 0, true);
    EXPECT_EQ(record->capacity, 64);

    s->SetLength(10, 200, false);
    EXPECT_EQ(record->capacity, 200) << "a hint that covers the length is used as given";
}

TEST(VMStringSetLength, BadLengthsChangeNothing) {
    Text a = MakeText("abc");
    for (int n : {-1, INT_MIN, INT_MAX, TextBuffer::kMaxLength + 1}) {
        a->SetLength(n, 0, false);
        EXPECT_EQ(Str(*a), "abc") << n;
    }
    Text null(new VMString);
    null->SetLength(-5, 0, true);
    EXPECT_TRUE(null->IsNull());
    null->SetLength(0, 0, true);
    EXPECT_EQ(Str(*null), "");
}

// --- termination ------------------------------------------------------------------

TEST(VMStringTerminate, ViewsAreCopiedOnlyWhenNoZeroByteFollows) {
    Text a = MakeText("hello");
    Text head(new VMString);
    head->AssignSub(a.get(), 0, 3); // followed by 'l'
    EXPECT_STREQ(head->CStr(), "hel");
    EXPECT_NE(head->Buffer(), a->Buffer());
    EXPECT_EQ(head->Offset(), 0);
    EXPECT_EQ(Str(*a), "hello");

    Text tail(new VMString);
    tail->AssignSub(a.get(), 2, -1); // followed by the record's terminator
    const char* before = tail->Text();
    EXPECT_EQ(tail->CStr(), before);
    EXPECT_EQ(tail->Buffer(), a->Buffer()) << "a terminated shared text stays shared";

    Text null(new VMString);
    null->EnsureTerminated();
    EXPECT_FALSE(null->IsNull());
    EXPECT_EQ(null->Length(), 0);
    EXPECT_STREQ(null->CStr(), "");
}

TEST(VMStringTerminate, ForeignBytesCountOnlyWithinTheRecord) {
    char foreign[] = {'a', 'b', 'c', 0, 'z'};
    Text whole(new VMString);
    whole->AssignBytes(reinterpret_cast<std::uint8_t*>(foreign), 3, -1, nullptr);
    EXPECT_STREQ(whole->CStr(), "abc");
    EXPECT_NE(whole->Text(), foreign) << "the zero after the record is not the record's";

    Text shortened(new VMString);
    shortened->AssignBytes(reinterpret_cast<std::uint8_t*>(foreign), 4, -1, nullptr);
    shortened->SetLength(3, 0, true);
    EXPECT_EQ(shortened->CStr(), foreign) << "the zero inside the record terminates the view";
}

// --- raw access -------------------------------------------------------------------

TEST(VMStringRaw, GetsReadLittleEndianFromTheTextStart) {
    Text record = MakeBytes(std::string("\x7f\x01\x02\x03\x04\xff\xfe", 7));
    Text s(new VMString);
    s->AssignSub(record.get(), 1, -1); // 01 02 03 04 ff fe
    EXPECT_EQ(s->GetUInt8(0), 0x01);
    EXPECT_EQ(s->GetUInt16(0), 0x0201);
    EXPECT_EQ(s->GetUInt32(0), 0x04030201u);
    EXPECT_EQ(s->GetInt32(2), static_cast<std::int32_t>(0xFEFF0403u));
    EXPECT_EQ(s->GetUInt32(2), 0xFEFF0403u);
    EXPECT_EQ(s->GetUInt16(4), 0xFEFF);
    EXPECT_EQ(static_cast<unsigned char>(s->GetAt(5)), 0xFE);

    struct Probe {
        int i;
        int width;
    };
    const Probe outside[] = {{-1, 1}, {6, 1},       {INT_MAX, 1}, {INT_MIN, 1}, {-1, 2},
                             {5, 2},  {INT_MAX, 2}, {3, 4},       {-2, 4},      {INT_MAX - 1, 4}};
    for (const Probe& p : outside) {
        const std::uint32_t got = p.width == 1   ? static_cast<std::uint8_t>(s->GetAt(p.i))
                                  : p.width == 2 ? s->GetUInt16(p.i)
                                                 : s->GetUInt32(p.i);
        EXPECT_EQ(got, 0u) << p.i << " width " << p.width;
    }
    EXPECT_EQ(s->GetInt32(3), 0);

    Text null(new VMString);
    EXPECT_EQ(null->GetAt(0), 0);
    EXPECT_EQ(null->GetUInt32(0), 0u);
}

TEST(VMStringRaw, GetAtUpperRaisesAsciiLettersOnly) {
    Text s = MakeBytes("az{@Z\x82");
    const std::string expected = "AZ{@Z\x82";
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(s->GetAtUpper(i), expected[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(s->GetAtUpper(6), 0);
}

TEST(VMStringRaw, PutsWriteAtTheTextStartAndGrow) {
    Text a = MakeText("0123456789");
    Text s(new VMString);
    s->AssignSub(a.get(), 4, -1);
    a.reset(); // unique view at offset 4
    s->PutUInt32(0, 0x44434241u);
    EXPECT_EQ(Str(*s), "ABCD89");

    Text t = MakeText("abc");
    t->SetAt(10, 'x');
    EXPECT_EQ(t->Length(), 11);
    EXPECT_EQ(Str(*t).substr(0, 3), "abc");
    EXPECT_EQ(t->GetAt(10), 'x');
    EXPECT_EQ(t->Text()[11], 0);

    Text u = MakeText("ab");
    u->PutUInt16(1, 0x5958);
    EXPECT_EQ(Str(*u), "aXY");
    u->PutInt32(3, -1);
    EXPECT_EQ(u->GetInt32(3), -1);
    EXPECT_EQ(u->Length(), 7);

    Text null(new VMString);
    null->PutUInt8(0, 'z' + 0x100);
    EXPECT_EQ(Str(*null), "z") << "the low byte";
}

TEST(VMStringRaw, PutsAtBadPositionsDoNothing) {
    const int bad[] = {-1, INT_MIN, INT_MAX, INT_MAX - 1, INT_MAX - 3, TextBuffer::kMaxLength};
    for (int i : bad) {
        Text s = MakeText("abc");
        TextBuffer* record = s->Buffer();
        s->SetAt(i, 'x');
        s->PutUInt8(i, 1);
        s->PutUInt16(i, 1);
        s->PutInt32(i, 1);
        s->PutUInt32(i, 1);
        EXPECT_EQ(Str(*s), "abc") << i;
        EXPECT_EQ(s->Buffer(), record) << i;
    }
}

TEST(VMStringRaw, CopyBytesOutCopiesWholeRangesOnly) {
    Text record = MakeText("xabcde");
    Text s(new VMString);
    s->AssignSub(record.get(), 1, -1); // abcde
    struct Case {
        int pos;
        int count;
        const char* expected;
    };
    const Case cases[] = {
        {1, 3, "bcd#####"},       {0, 5, "abcde###"},       {4, 1, "e#######"},
        {0, 0, "########"},       {-1, 2, "########"},      {3, 3, "########"},
        {5, 1, "########"},       {0, -1, "########"},      {INT_MAX, 1, "########"},
        {1, INT_MAX, "########"}, {INT_MIN, 5, "########"},
    };
    for (const Case& c : cases) {
        char out[9] = "########";
        s->CopyBytesOut(c.pos, c.count, out, 0);
        EXPECT_STREQ(out, c.expected) << c.pos << ", " << c.count;
    }
    char out[9] = "########";
    s->CopyBytesOut(0, 2, out, 3);
    EXPECT_STREQ(out, "###ab###");
    Text null(new VMString);
    null->CopyBytesOut(0, 0, out, 0);
    EXPECT_STREQ(out, "###ab###");
    s->CopyBytesOut(0, 1, nullptr, 0);
}

TEST(VMStringRaw, CopyToNeverSplitsATwoByteCharacter) {
    struct Case {
        std::string text;
        int size;
        std::string expected; // without the zero byte
    };
    const Case cases[] = {
        {"ab\x82\xa0", 4, "ab"}, // would end on the lead byte
        {"abcdef", 4, "abc"},    // plain cut
        {"\x82\xa0"
         "a",
         3, "\x82\xa0"}, // cut after a whole character
        {"a\x82\xa0", 3, "a"},
        {"\x82\x82\x82", 3, "\x82\x82"}, // the second 0x82 is a trail byte
        {"\x82\x82\x82\x82", 4, "\x82\x82"},
        {"a\x82", 3, "a\x82"}, // not cut: the whole text fits
        {"abc", 10, "abc"},
        {"abc", 1, ""},
        {"\x82\xa0", 2, ""},
        {"", 5, ""},
    };
    for (const Case& c : cases) {
        Text s = MakeBytes(c.text);
        char out[16];
        std::memset(out, '#', sizeof out);
        s->CopyTo(out, c.size);
        EXPECT_EQ(std::string(out), c.expected) << "size " << c.size;
        EXPECT_EQ(out[c.expected.size() + 1], '#') << "nothing written after the zero";
    }
}

TEST(VMStringRaw, CopyToWithNothingToDoLeavesDstAlone) {
    Text s = MakeText("abc");
    Text null(new VMString);
    char out[4] = "###";
    s->CopyTo(out, 0);
    s->CopyTo(out, -1);
    s->CopyTo(out, INT_MIN);
    null->CopyTo(out, 4);
    s->CopyTo(nullptr, 4);
    EXPECT_STREQ(out, "###");
}

// --- allocators -------------------------------------------------------------------

TEST(VMStringAllocator, CopiesComeFromTheAllocatorAndGoBackToIt) {
    CountingAllocator allocator;
    Text s(new VMString);
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>("hello"), 5, 0, &allocator);
    EXPECT_EQ(allocator.allocations, 1);
    EXPECT_EQ(allocator.lastSize, 16);
    EXPECT_TRUE(s->UsesAllocator(&allocator));
    EXPECT_TRUE(s->UsesAllocator(nullptr));
    EXPECT_EQ(s->GetAllocator(), &allocator);
    EXPECT_EQ(s->Text()[5], 0);

    Text shared(s->Clone());
    shared->SetAt(0, 'j'); // copy on write from the same allocator
    EXPECT_EQ(allocator.allocations, 2);
    EXPECT_EQ(shared->GetAllocator(), &allocator);
    shared->SetLength(100, 0, false); // growth moves the block
    EXPECT_EQ(allocator.allocations, 3);
    EXPECT_EQ(allocator.frees, 1);
    EXPECT_EQ(Str(*shared).substr(0, 5), "jello");
    shared.reset();
    s.reset();
    EXPECT_EQ(allocator.frees, 3);

    Text sized(new VMString);
    sized->AssignBytes(reinterpret_cast<const std::uint8_t*>("ab"), 2, 3, &allocator);
    EXPECT_EQ(allocator.lastSize, 3) << "a capacity that holds the bytes is used as given";
    EXPECT_EQ(sized->Buffer()->unterminated, true);
    sized->AssignBytes(reinterpret_cast<const std::uint8_t*>("abc"), 3, 2, &allocator);
    EXPECT_EQ(allocator.lastSize, 16) << "one that does not: the size rule";
}

TEST(VMStringAllocator, SetAllocatorMovesTheBytes) {
    CountingAllocator allocator;
    Text s = MakeText("abc");
    Text other(s->Clone());
    EXPECT_FALSE(s->UsesAllocator(nullptr));
    s->SetAllocator(&allocator);
    EXPECT_EQ(allocator.allocations, 1);
    EXPECT_EQ(Shares(*s), 1);
    EXPECT_EQ(Shares(*other), 1);
    EXPECT_EQ(Str(*s), "abc");
    EXPECT_EQ(s->Text()[3], 0);
    s->SetAllocator(&allocator);
    EXPECT_EQ(allocator.allocations, 1) << "already there";
    s->SetAllocator(nullptr);
    EXPECT_EQ(allocator.frees, 1);
    EXPECT_EQ(s->GetAllocator(), nullptr);
    EXPECT_EQ(Str(*s), "abc");

    Text null(new VMString);
    null->SetAllocator(nullptr);
    EXPECT_EQ(null->Buffer(), nullptr);
    null->SetAllocator(&allocator);
    EXPECT_EQ(Str(*null), "") << "an empty text from that allocator";
    EXPECT_EQ(null->GetAllocator(), &allocator);
}

TEST(VMStringAllocator, AssignCStringOnlyRemembersTheAllocator) {
    CountingAllocator allocator;
    Text s(new VMString);
    s->AssignCString("abc", &allocator);
    EXPECT_EQ(allocator.allocations, 0);
    EXPECT_EQ(s->GetAllocator(), nullptr);
    s->AssignCString(nullptr, &allocator);
    EXPECT_TRUE(s->IsNull());
    EXPECT_EQ(s->GetAllocator(), &allocator);
    s->AssignCString(nullptr, nullptr);
    EXPECT_EQ(s->Buffer(), nullptr);
}

TEST(VMStringAllocator, AllocateGivesZerosAndKeepsAUniqueRecord) {
    CountingAllocator allocator;
    Text s = MakeText("abcdef");
    s->Allocate(4, 0, &allocator);
    EXPECT_EQ(allocator.allocations, 1);
    EXPECT_EQ(Str(*s), std::string(4, '\0'));
    EXPECT_EQ(s->GetAllocator(), &allocator);
    s->SetAt(0, 'x');
    TextBuffer* record = s->Buffer();
    s->Allocate(10, 0, &allocator);
    EXPECT_EQ(s->Buffer(), record);
    EXPECT_EQ(allocator.allocations, 1) << "unique, same allocator, room enough";
    EXPECT_EQ(Str(*s), std::string(10, '\0'));
    s->Allocate(-1, 0, &allocator);
    EXPECT_EQ(s->Length(), 10);
    s->Allocate(3, 0, nullptr);
    EXPECT_NE(s->Buffer(), record);
    EXPECT_EQ(allocator.frees, 1);
}

TEST(VMStringAllocator, NotifyForwardsToTheHook) {
    CountingAllocator allocator;
    Text s(new VMString);
    EXPECT_EQ(s->NotifyAllocator(1, 2), 0);
    s->AssignCString(nullptr, &allocator); // a record without bytes
    EXPECT_EQ(s->NotifyAllocator(1, 2), 0);
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>("ab"), 2, 0, &allocator);
    EXPECT_EQ(s->NotifyAllocator(3, 4), 1007);
    EXPECT_EQ(allocator.hooks, 1);
    EXPECT_EQ(allocator.hookData, s->BufferData());
    EXPECT_EQ(allocator.hookA, 3);
    EXPECT_EQ(allocator.hookB, 4);
    Text plain = MakeText("ab");
    EXPECT_EQ(plain->NotifyAllocator(3, 4), 0);
    EXPECT_EQ(allocator.hooks, 1);
}

// --- foreign and adopted blocks ---------------------------------------------------

TEST(VMStringForeign, WrappedBytesAreNeverWrittenByCopyOnWriteNorFreed) {
    CountingAllocator allocator;
    char foreign[] = "hello";
    Text s(new VMString);
    s->AssignBytes(reinterpret_cast<std::uint8_t*>(foreign), 5, -1, &allocator);
    EXPECT_EQ(s->Text(), foreign);
    EXPECT_EQ(s->Buffer()->capacity, -1);
    EXPECT_TRUE(s->Buffer()->unterminated);
    EXPECT_EQ(allocator.allocations, 0);
    Text view(s->Clone());
    view->SetAt(0, 'j');
    EXPECT_STREQ(foreign, "hello");
    EXPECT_EQ(Str(*view), "jello");
    s->SetLength(8, 0, false);
    EXPECT_STREQ(foreign, "hello");
    view.reset();
    s.reset();
    EXPECT_EQ(allocator.frees, 2) << "the two copies, never the foreign bytes";
}

TEST(VMStringForeign, AdoptedBlocksAreFreedTheirOwnWay) {
    CountingAllocator allocator;
    char* block = TextBuffer::AllocateBlock(&allocator, 32);
    std::memcpy(block, "xxhello", 7);
    Text s(new VMString);
    s->AdoptBuffer(reinterpret_cast<std::uint8_t*>(block), 2, 5, 32, &allocator);
    EXPECT_EQ(Str(*s), "hello");
    EXPECT_EQ(s->Offset(), 2);
    EXPECT_EQ(block[7], 0);
    EXPECT_EQ(block[8], 0);
    EXPECT_EQ(block[0], 'x') << "the bytes before the text stay";
    EXPECT_EQ(s->CStr(), block + 2);
    s.reset();
    EXPECT_EQ(allocator.frees, 1);

    Text t(new VMString);
    char* exact = TextBuffer::AllocateBlock(nullptr, 3);
    std::memcpy(exact, "abc", 3);
    t->AdoptBuffer(reinterpret_cast<std::uint8_t*>(exact), 0, 3, 0, nullptr);
    EXPECT_EQ(t->Buffer()->capacity, 3) << "capacity 0 means the length";
    EXPECT_TRUE(t->Buffer()->unterminated);
    EXPECT_STREQ(t->CStr(), "abc");
    EXPECT_NE(t->Text(), exact);

    char foreign[] = "abc";
    t->AdoptBuffer(reinterpret_cast<std::uint8_t*>(foreign), 0, 3, -1, nullptr);
    EXPECT_EQ(t->Text(), foreign);
    t->Clear();
    EXPECT_STREQ(foreign, "abc");
}

TEST(VMStringForeign, AdoptionWithBadArgumentsLeavesTheBlockToTheCaller) {
    CountingAllocator allocator;
    char* block = TextBuffer::AllocateBlock(&allocator, 16);
    struct Case {
        int offset;
        int length;
        int capacity;
    };
    const Case cases[] = {{-1, 3, 16}, {0, -1, 16},           {10, 7, 16},
                          {0, 17, 16}, {INT_MAX, INT_MAX, 0}, {2, INT_MAX, -1}};
    for (const Case& c : cases) {
        Text s = MakeText("old");
        s->AdoptBuffer(reinterpret_cast<std::uint8_t*>(block), c.offset, c.length, c.capacity,
                       &allocator);
        EXPECT_TRUE(s->IsNull()) << c.offset << ", " << c.length << ", " << c.capacity;
    }
    Text s = MakeText("old");
    s->AdoptBuffer(nullptr, 0, 3, 16, nullptr);
    EXPECT_TRUE(s->IsNull());
    EXPECT_EQ(allocator.frees, 0);
    TextBuffer::FreeBlock(&allocator, block);
}

TEST(VMStringForeign, AssignBytesWithBadArguments) {
    Text s = MakeText("old");
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>("x"), -1, 0, nullptr);
    EXPECT_EQ(Str(*s), "old") << "a negative length changes nothing";
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>("x"), INT_MAX, 0, nullptr);
    EXPECT_EQ(Str(*s), "old") << "nor does one no record can hold";
    s->AssignBytes(nullptr, 3, 0, nullptr);
    EXPECT_TRUE(s->IsNull());
}

} // namespace
