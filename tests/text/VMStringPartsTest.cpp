// Substrings, trimming, case, escapes and splitting of VMString texts: what
// each gives, and whether it copies, shares or leaves a shared buffer alone.
#include "text/TextList.h"
#include "text/VMString.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Bytes(const char* p, std::size_t n) {
    return std::string(p, n);
}

// --- escapes and case -----------------------------------------------------------

struct EditCase {
    std::string in;
    std::string out;
};

TEST(VMStringParts, Unescape) {
    const EditCase cases[] = {
        {"a\\nb\\q", "a\nb\\q"},
        {"abc\\", "abc\\"}, // a backslash last stays
        {"\\\\n", "\\n"},   // the produced backslash is not rescanned
        {"\\\"\\'\\0\\b\\f\\r\\t\\v", Bytes("\"'\0\b\f\r\t\v", 8)},
        {Bytes("\\\0x", 3), Bytes("\0x", 2)}, // a zero after the backslash is an escape too
        {"\x82\\n", "\x82\\n"},               // 0x82 0x5C is one character
        {"\x82\\\\n", "\x82\\\n"},
        {"plain", "plain"},
    };
    for (const EditCase& c : cases) {
        Text s = MakeBytes(c.in);
        s->Unescape();
        EXPECT_EQ(Str(*s), c.out) << c.in;
    }
}

TEST(VMStringParts, UnescapeQuotes) {
    const EditCase cases[] = {
        {"\\'a\\\"", "'a\""},   {"\\\\", "\\\\"}, {"\\n", "\\n"},
        {"\\\\'", "\\'"}, // the first backslash escapes nothing, the second the quote
        {"\x81\\'", "\x81\\'"},
    };
    for (const EditCase& c : cases) {
        Text s = MakeBytes(c.in);
        s->UnescapeQuotes();
        EXPECT_EQ(Str(*s), c.out) << c.in;
    }
}

TEST(VMStringParts, CaseChangeLeavesTwoByteCharactersAlone) {
    Text s = MakeBytes("\x82\x61\x61Zz@[`{");
    s->MakeUpper();
    EXPECT_EQ(Str(*s), "\x82\x61\x41ZZ@[`{");
    s->MakeLower();
    EXPECT_EQ(Str(*s), "\x82\x61\x61zz@[`{");
    Text lastLead = MakeBytes("a\x82");
    lastLead->MakeUpper();
    EXPECT_EQ(Str(*lastLead), "A\x82");
}

TEST(VMStringParts, InPlaceEditsCopyOnlyWhenTheyChangeSomething) {
    Text s = MakeText("ABC");
    Text other(s->Clone());
    s->MakeUpper();
    s->Unescape();
    s->UnescapeQuotes();
    EXPECT_EQ(s->Buffer(), other->Buffer()) << "nothing changed: still shared";
    s->MakeLower();
    EXPECT_NE(s->Buffer(), other->Buffer());
    EXPECT_EQ(Str(*s), "abc");
    EXPECT_EQ(Str(*other), "ABC");

    Text escaped = MakeText("x\\n");
    Text share(escaped->Clone());
    escaped->Unescape();
    EXPECT_EQ(Str(*escaped), "x\n");
    EXPECT_EQ(Str(*share), "x\\n");

    Text null(new VMString);
    null->Unescape();
    null->MakeUpper();
    EXPECT_TRUE(null->IsNull());
}

// --- substrings ---------------------------------------------------------------------

TEST(VMStringParts, SubstringsAndTheirNullResults) {
    Text s = MakeText("hello");
    struct Case {
        const char* name;
        VMString* got;
        const char* expected;
    };
    const Case cases[] = {
        {"Mid(2,100)", s->Mid(2, 100), "llo"},
        {"Mid(1,2)", s->Mid(1, 2), "el"},
        {"Mid(5,1)", s->Mid(5, 1), "<null>"},
        {"Mid(0,0)", s->Mid(0, 0), "<null>"},
        {"Mid(-1,2)", s->Mid(-1, 2), "<null>"},
        {"Left(2)", s->Left(2), "he"},
        {"Left(9)", s->Left(9), "hello"},
        {"RightFrom(3)", s->RightFrom(3), "lo"},
        {"RightFrom(5)", s->RightFrom(5), "<null>"},
        {"MidView(2,100)", s->MidView(2, 100), "llo"},
        {"MidView(0,0)", s->MidView(0, 0), "<null>"},
        {"LeftView(1)", s->LeftView(1), "h"},
        {"RightFromView(4)", s->RightFromView(4), "o"},
        {"RightFromView(-1)", s->RightFromView(-1), "<null>"},
    };
    for (const Case& c : cases) {
        Text got(c.got);
        EXPECT_EQ(Str(*got), c.expected) << c.name;
    }
    Text null(new VMString);
    EXPECT_TRUE(Text(null->Mid(0, 1))->IsNull());
    EXPECT_TRUE(Text(null->MidView(0, 1))->IsNull());
}

TEST(VMStringParts, CopiesOwnTheirBytesViewsShare) {
    CountingAllocator allocator;
    Text s(new VMString);
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>("abcdef"), 6, 0, &allocator);
    Text copy(s->Mid(1, 3));
    EXPECT_NE(copy->Buffer(), s->Buffer());
    EXPECT_EQ(copy->GetAllocator(), &allocator) << "a copy comes from the source's allocator";
    EXPECT_EQ(copy->Text()[3], 0) << "terminated";
    Text view(s->MidView(1, 3));
    EXPECT_EQ(view->Buffer(), s->Buffer());
    EXPECT_EQ(view->Offset(), 1);
    EXPECT_EQ(Shares(*s), 2);
    Text viewOfView(view->MidView(1, 1));
    EXPECT_EQ(viewOfView->Offset(), 2);
    EXPECT_EQ(Str(*viewOfView), "c");
}

// --- trimming -------------------------------------------------------------------------

TEST(VMStringParts, Trimming) {
    struct Case {
        std::string in;
        const char* set; // nullptr: the default set
        bool whitespace;
        const char* out;
        int left;
    };
    const Case cases[] = {
        {"  ab\n", nullptr, true, "ab", 2},
        {"   ", nullptr, true, "<null>", 0},  // everything trimmed
        {" ab\n", nullptr, false, "ab\n", 1}, // the default set is space and tab
        {"\tab ", nullptr, false, "ab", 1},
        {"xxaxbxx", "x", false, "axb", 2},
        {"ab", "x", false, "ab", 0},
        {Bytes("\0ab\0", 4), "x", false, "ab", 1}, // a zero byte is in every set
        {"\x82 ", " \x82", false, "<null>", 0},    // byte by byte: no two-byte characters
    };
    for (const Case& c : cases) {
        Text s = MakeBytes(c.in);
        int left = 10;
        Text copy(c.whitespace ? s->TrimmedWhitespace(&left) : s->Trimmed(c.set, &left));
        EXPECT_EQ(Str(*copy), c.out) << c.in;
        EXPECT_EQ(left, 10 + c.left) << c.in;
        left = 10;
        Text view(c.whitespace ? s->TrimmedWhitespaceView(&left) : s->TrimmedView(c.set, &left));
        EXPECT_EQ(Str(*view), c.out) << c.in;
        EXPECT_EQ(left, 10 + c.left) << c.in;
        if (!view->IsNull()) {
            EXPECT_EQ(view->Buffer(), s->Buffer()) << c.in;
        }
        if (c.whitespace)
            s->TrimWhitespace();
        else
            s->Trim(c.set);
        EXPECT_EQ(Str(*s), c.out) << c.in;
    }
}

TEST(VMStringParts, TrimmingNothingSharesTheText) {
    Text s = MakeText("ab");
    int left = 5;
    Text copy(s->Trimmed(nullptr, &left));
    EXPECT_EQ(copy->Buffer(), s->Buffer()) << "nothing removed: a share, not a copy";
    EXPECT_EQ(left, 5);
    Text empty = MakeText("");
    Text fromEmpty(empty->TrimmedView(nullptr, &left));
    EXPECT_TRUE(fromEmpty->IsNull());
    EXPECT_EQ(left, 5);
    Text null(new VMString);
    null->Trim(nullptr);
    EXPECT_TRUE(null->IsNull());
}

// --- crop ----------------------------------------------------------------------------

TEST(VMStringParts, Crop) {
    struct Case {
        int start;
        int count;
        const char* out;
    };
    const Case cases[] = {
        {1, 2, "bc"},      {0, 5, "abcde"},  {3, 100, "de"},
        {-1, 2, "<null>"}, {5, 1, "<null>"}, {0, 0, "<null>"},
    };
    for (const Case& c : cases) {
        Text s = MakeText("abcde");
        s->Crop(c.start, c.count);
        EXPECT_EQ(Str(*s), c.out) << c.start << "," << c.count;
        if (!s->IsNull()) {
            EXPECT_EQ(s->Text()[s->Length()], 0);
        }
    }
    Text s = MakeText("abcdef");
    s->KeepLeft(4);
    EXPECT_EQ(Str(*s), "abcd");
    s->KeepFrom(1);
    EXPECT_EQ(Str(*s), "bcd");
}

TEST(VMStringParts, CropOfAUniqueViewKeepsItsOwnBytes) {
    Text s = MakeText("xyzabcd");
    s->AssignSub(s.get(), 3, 4); // a unique view at offset 3
    ASSERT_EQ(s->Offset(), 3);
    ASSERT_TRUE(s->IsUnique());
    TextBuffer* record = s->Buffer();
    s->Crop(1, 2);
    EXPECT_EQ(Str(*s), "bc");
    EXPECT_EQ(s->Buffer(), record) << "cropped in its own buffer";
    EXPECT_EQ(s->Offset(), 0);
}

TEST(VMStringParts, CropOfASharedTextCopies) {
    CountingAllocator allocator;
    Text s(new VMString);
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>("abcde"), 5, 0, &allocator);
    Text other(s->Clone());
    s->Crop(1, 3);
    EXPECT_EQ(Str(*s), "bcd");
    EXPECT_EQ(Str(*other), "abcde");
    EXPECT_EQ(s->GetAllocator(), &allocator);
    EXPECT_EQ(Shares(*s), 1);
    EXPECT_EQ(Shares(*other), 1);
}

// --- splitting -------------------------------------------------------------------------

// A list that keeps what it is given, to see the calls Split makes.
class RecordingList : public TextList {
  public:
    ~RecordingList() override {
        for (VMString* item : items)
            item->Release();
    }
    void PrepareList(int sizeHint, int flags, void* context) override {
        prepared.push_back({sizeHint, flags});
        EXPECT_EQ(context, nullptr);
    }
    void AppendItem(VMString* item) override {
        item->AddRef();
        items.push_back(item);
    }
    std::vector<std::string> Parts() const {
        std::vector<std::string> out;
        for (const VMString* item : items)
            out.push_back(Str(*item));
        return out;
    }
    std::vector<std::pair<int, int>> prepared;
    std::vector<VMString*> items;
};

TEST(VMStringParts, Split) {
    struct Case {
        std::string text;
        int separator;
        int parts;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"a,b,,c", ',', 4, {"a", "b", "<null>", "c"}},
        {"a,b,", ',', 3, {"a", "b"}}, // the empty last part is counted, not appended
        {",a", ',', 2, {"<null>", "a"}},
        {"abc", ',', 1, {"abc"}},
        {"", ',', 1, {}},
        {"a\x82,b,c", ',', 2, {"a\x82,b", "c"}}, // 0x82 0x2C is one character
        {"a\x82\xA0"
         "b\x82\xA0",
         0x82A0,
         3,
         {"a", "b"}},
        {"\xA0\x82\xA0\x82", 0xA082, 1, {"\xA0\x82\xA0\x82"}}, // not across characters
        {"x\x82", 0x82, 2, {"x"}}, // a lead byte last is a one-byte character
    };
    for (const Case& c : cases) {
        Text s = MakeBytes(c.text);
        RecordingList list;
        EXPECT_EQ(s->Split(&list, c.separator), c.parts) << c.text;
        EXPECT_EQ(s->Split(nullptr, c.separator), c.parts) << c.text;
        ASSERT_EQ(list.prepared.size(), 1u);
        EXPECT_EQ(list.prepared[0], std::make_pair(-c.parts, -1)) << c.text;
        EXPECT_EQ(list.Parts(), c.items) << c.text;
        for (const VMString* item : list.items)
            if (!item->IsNull()) {
                EXPECT_EQ(item->Buffer(), s->Buffer()) << "parts are views";
            }
    }
}

TEST(VMStringParts, SplitOfANullTextStillPreparesTheList) {
    Text null(new VMString);
    RecordingList list;
    EXPECT_EQ(null->Split(&list, ','), 0);
    ASSERT_EQ(list.prepared.size(), 1u);
    EXPECT_EQ(list.prepared[0], std::make_pair(0, -1));
    EXPECT_TRUE(list.items.empty());
}

TEST(VMStringParts, SplitReleasesWhatTheListDoesNotKeep) {
    class DroppingList : public TextList {
      public:
        void PrepareList(int, int, void*) override {}
        void AppendItem(VMString* item) override { refs.push_back(item->RefCount()); }
        std::vector<int> refs;
    };
    Text s = MakeText("a,b");
    DroppingList list;
    s->Split(&list, ',');
    EXPECT_EQ(list.refs, (std::vector<int>{1, 1}));
    EXPECT_EQ(Shares(*s), 1) << "every part released its hold";
}

} // namespace
