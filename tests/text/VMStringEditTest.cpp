// VMString editing, family by family: each row runs one operation on a text
// (or a null text) and names the bytes it must leave.
#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using Edit = std::function<void(VMString&)>;

struct Row {
    const char* name;
    const char* start; // nullptr: a null text
    Edit edit;
    std::string expected; // "<null>" for a null text
};

const std::uint8_t* U(const char* p) {
    return reinterpret_cast<const std::uint8_t*>(p);
}

Text Start(const char* bytes) {
    return bytes != nullptr ? MakeText(bytes) : Text(new VMString);
}

void RunRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        Text s = Start(row.start);
        row.edit(*s);
        EXPECT_EQ(Str(*s), row.expected) << row.name;
    }
}

// The same edits on a text shared with another holder: the holder keeps its
// bytes, and the edited text ends with the same result as when alone.
void RunRowsShared(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        if (row.start == nullptr)
            continue;
        Text other = MakeText(row.start);
        Text s(other->Clone());
        row.edit(*s);
        EXPECT_EQ(Str(*other), row.start) << row.name << ": the other holder changed";
        EXPECT_EQ(Str(*s), row.expected) << row.name << " (shared)";
    }
}

Text g_other; // the "other text" operand of the rows: "xy", fresh for every row

const VMString* Other() {
    g_other = MakeText("xy");
    return g_other.get();
}

const std::vector<Row>& AppendRows() {
    static const std::vector<Row> rows = {
        {"bytes with offset", "ab", [](VMString& s) { s.AppendBytes(U("0123"), 2, 1); }, "ab12"},
        {"bytes onto null", nullptr, [](VMString& s) { s.AppendBytes(U("x"), 1, 0); }, "x"},
        {"no source, no count", "ab", [](VMString& s) { s.AppendBytes(nullptr, 0, 0); }, "ab"},
        {"fill", "a", [](VMString& s) { s.AppendFill('*', 3); }, "a***"},
        {"fill of none", "a", [](VMString& s) { s.AppendFill('*', 0); }, "a"},
        {"fill negative", "a", [](VMString& s) { s.AppendFill('*', -4); }, "a"},
        {"byte, low byte only", "a", [](VMString& s) { s.AppendByte(0x142); }, "aB"},
        {"uint16", "", [](VMString& s) { s.AppendUInt16(0x4241); }, "AB"},
        {"int32", "", [](VMString& s) { s.AppendInt32(-2); }, "\xfe\xff\xff\xff"},
        {"uint32", "", [](VMString& s) { s.AppendUInt32(0x44434241u); }, "ABCD"},
        {"string", "a", [](VMString& s) { s.AppendCString("bc"); }, "abc"},
        {"no string", nullptr, [](VMString& s) { s.AppendCString(nullptr); }, ""},
        {"text", "a", [](VMString& s) { s.AppendText(Other()); }, "axy"},
        {"no text", "a", [](VMString& s) { s.AppendText(nullptr); }, "a"},
        {"null text", "a",
         [](VMString& s) {
             Text none(new VMString);
             s.AppendText(none.get());
         },
         "a"},
        {"sub", "a", [](VMString& s) { s.AppendSub(Other(), 1, 5); }, "ay"},
        {"sub to the end", "a", [](VMString& s) { s.AppendSub(Other(), 0, -1); }, "axy"},
        {"sub past the end", "a", [](VMString& s) { s.AppendSub(Other(), 2, 1); }, "a"},
        {"sub before the start", "a", [](VMString& s) { s.AppendSub(Other(), -1, 1); }, "a"},
        {"indented", "", [](VMString& s) { s.AppendIndentedCString(1, "a\n\nb"); }, "\ta\n\n\tb"},
        {"indented CR LF", ">", [](VMString& s) { s.AppendIndentedCString(2, "a\r\nb\n"); },
         ">\t\ta\r\n\t\tb\n"},
        {"indented bytes", "", [](VMString& s) { s.AppendIndentedBytes(1, "xa\nb", 3, 1); },
         "\ta\n\tb"},
        {"indented text", "", [](VMString& s) { s.AppendIndentedText(1, Other()); }, "\txy"},
        {"indented none", "a", [](VMString& s) { s.AppendIndentedCString(1, nullptr); }, "a"},
    };
    return rows;
}

TEST(VMStringEdit, Appending) {
    RunRows(AppendRows());
    RunRowsShared(AppendRows());
}

TEST(VMStringEdit, AppendingToANullTextShares) {
    Text other = MakeText("shared");
    Text s(new VMString);
    s->AppendText(other.get());
    EXPECT_EQ(s->Buffer(), other->Buffer());
    EXPECT_EQ(Shares(*other), 2);
    Text t(new VMString);
    t->AppendSub(other.get(), 1, 2);
    EXPECT_EQ(Str(*t), "ha");
    EXPECT_EQ(Shares(*other), 3);
}

TEST(VMStringEdit, AppendingWithoutASourceStillGrows) {
    Text s = MakeText("ab");
    s->AppendBytes(nullptr, 3, 0);
    EXPECT_EQ(s->Length(), 5);
    EXPECT_EQ(std::string(s->Text(), 2), "ab");
}

TEST(VMStringEdit, AppendingGrowsBySetLength) {
    Text s = MakeText("");
    for (int i = 0; i < 15; ++i)
        s->AppendByte('a');
    EXPECT_EQ(s->Buffer()->capacity, 32); // 15 bytes and two zero bytes need 32
    EXPECT_EQ(s->Text()[15], 0);
}

const std::vector<Row>& AssignRows() {
    static const std::vector<Row> rows = {
        {"bytes and byte", "old", [](VMString& s) { s.AssignBytesWithByte("0123", 2, '!', 1); },
         "12!"},
        {"no bytes keep the old", "old",
         [](VMString& s) { s.AssignBytesWithByte(nullptr, 2, '!', 0); }, "ol!"},
        {"string and byte", nullptr, [](VMString& s) { s.AssignCStringWithByte("ab", '/'); },
         "ab/"},
        {"text and byte", "old", [](VMString& s) { s.AssignTextWithByte(Other(), 0x5C); }, "xy\\"},
        {"no text and byte", "old", [](VMString& s) { s.AssignTextWithByte(nullptr, '!'); }, "old"},
        {"concat bytes", "old",
         [](VMString& s) { s.AssignConcatBytes("_ab", 2, U("__cd"), 2, 1, 2); }, "abcd"},
        {"concat without a", "old",
         [](VMString& s) { s.AssignConcatBytes(nullptr, 2, U("cd"), 2, 0, 0); }, "olcd"},
        {"concat strings", nullptr, [](VMString& s) { s.AssignConcatCStrings("ab", "c"); }, "abc"},
        {"text then string", "old", [](VMString& s) { s.AssignConcatTextCString(Other(), "z"); },
         "xyz"},
        {"text then no string", "old",
         [](VMString& s) { s.AssignConcatTextCString(Other(), nullptr); }, "xy"},
        {"no text then string", "old", [](VMString& s) { s.AssignConcatTextCString(nullptr, "z"); },
         "z"},
        {"neither text nor string", "old",
         [](VMString& s) { s.AssignConcatTextCString(nullptr, nullptr); }, "old"},
        {"string then text", "old", [](VMString& s) { s.AssignConcatCStringText("z", Other()); },
         "zxy"},
        {"string then no text", "old", [](VMString& s) { s.AssignConcatCStringText("z", nullptr); },
         "z"},
        {"no string then text", "old",
         [](VMString& s) { s.AssignConcatCStringText(nullptr, Other()); }, "xy"},
        {"two texts", "old",
         [](VMString& s) {
             Text a = MakeText("ab");
             s.AssignConcatText(a.get(), Other());
         },
         "abxy"},
        {"one text", "old", [](VMString& s) { s.AssignConcatText(nullptr, Other()); }, "xy"},
        {"no texts", "old", [](VMString& s) { s.AssignConcatText(nullptr, nullptr); }, "old"},
    };
    return rows;
}

TEST(VMStringEdit, AssigningWithASuffixOrAConcatenation) {
    RunRows(AssignRows());
    RunRowsShared(AssignRows());
}

const std::vector<Row>& InsertRows() {
    static const std::vector<Row> rows = {
        {"fill past the end", "abc", [](VMString& s) { s.InsertFill(5, 0x2A, 2); },
         std::string("abc\0\0**", 7)},
        {"fill inside", "abc", [](VMString& s) { s.InsertFill(1, '-', 2); }, "a--bc"},
        {"negative pos", "abc", [](VMString& s) { s.InsertFill(-1, '-', 2); }, "abc"},
        {"byte", "abc", [](VMString& s) { s.InsertByte(0, 0x17A); }, "zabc"},
        {"uint16", "abc", [](VMString& s) { s.InsertUInt16(3, 0x5958); }, "abcXY"},
        {"int32", "ab", [](VMString& s) { s.InsertInt32(1, -1); },
         "a\xff\xff\xff\xff"
         "b"},
        {"uint32", "", [](VMString& s) { s.InsertUInt32(0, 0x34333231u); }, "1234"},
        {"bytes with offset", "ad", [](VMString& s) { s.InsertBytes(1, U("xbcx"), 2, 1); }, "abcd"},
        {"no bytes", "ad", [](VMString& s) { s.InsertBytes(1, nullptr, 2, 0); }, "ad"},
        {"string at the end", "ab", [](VMString& s) { s.InsertCString(2, "cd"); }, "abcd"},
        {"no string", "ab", [](VMString& s) { s.InsertCString(0, nullptr); }, "ab"},
        {"string into null", nullptr, [](VMString& s) { s.InsertCString(2, "x"); },
         std::string("\0\0x", 3)},
        {"text", "ab", [](VMString& s) { s.InsertText(1, Other()); }, "axyb"},
        {"no text", "ab", [](VMString& s) { s.InsertText(1, nullptr); }, "ab"},
    };
    return rows;
}

TEST(VMStringEdit, Inserting) {
    RunRows(InsertRows());
    RunRowsShared(InsertRows());
}

TEST(VMStringEdit, InsertingWorksInPlaceOnlyInAUniqueBigEnoughBuffer) {
    Text s = MakeText("abc"); // capacity 16
    const char* before = s->Text();
    s->InsertCString(1, "123456789");
    EXPECT_EQ(Str(*s), "a123456789bc");
    EXPECT_EQ(s->Text(), before) << "12 bytes still fit the same block";
    s->InsertCString(0, "xyz"); // 15 bytes need 32
    EXPECT_EQ(Str(*s), "xyza123456789bc");
    EXPECT_NE(s->Text(), before);
    EXPECT_EQ(s->Buffer()->capacity, 32);
    EXPECT_EQ(s->Text()[15], 0);

    // A null text into position 0 shares the other text.
    Text other = MakeText("o");
    Text n(new VMString);
    n->InsertText(0, other.get());
    EXPECT_EQ(n->Buffer(), other->Buffer());
}

TEST(VMStringEdit, NewRecordsComeFromTheTextsAllocator) {
    CountingAllocator allocator;
    {
        Text s(new VMString);
        s->AssignBytes(U("abcd"), 4, 4, &allocator); // a full block: no room to insert
        s->InsertCString(2, "--");
        EXPECT_EQ(Str(*s), "ab--cd");
        EXPECT_EQ(s->GetAllocator(), &allocator);
        s->Delete(0, 1);
        EXPECT_EQ(Str(*s), "b--cd");
    }
    EXPECT_EQ(allocator.allocations, allocator.frees);
}

TEST(VMStringEdit, OverwritingWritesInPlaceAndNeverGrows) {
    const std::vector<Row> rows = {
        {"bytes", "abcd", [](VMString& s) { s.OverwriteBytes(1, U("xXYx"), 2, 1); }, "aXYd"},
        {"cut at the end", "abcd", [](VMString& s) { s.OverwriteCString(2, "12345"); }, "ab12"},
        {"text", "abcd", [](VMString& s) { s.OverwriteText(0, Other()); }, "xycd"},
        {"pos at the end", "abcd", [](VMString& s) { s.OverwriteCString(4, "z"); }, "abcd"},
        {"negative pos", "abcd", [](VMString& s) { s.OverwriteCString(-1, "z"); }, "abcd"},
        {"null text", nullptr, [](VMString& s) { s.OverwriteCString(0, "z"); }, "<null>"},
        {"no source", "abcd", [](VMString& s) { s.OverwriteText(0, nullptr); }, "abcd"},
    };
    RunRows(rows);
    // The caller unshares first: a shared buffer is written for both holders.
    Text a = MakeText("abcd");
    Text b(a->Clone());
    b->OverwriteCString(0, "Z");
    EXPECT_EQ(Str(*a), "Zbcd");
}

const std::vector<Row>& DeleteAndReplaceRows() {
    static const std::vector<Row> rows = {
        {"delete inside", "abcdef", [](VMString& s) { s.Delete(1, 2); }, "adef"},
        {"delete cut at the end", "abcd", [](VMString& s) { s.Delete(1, 100); }, "a"},
        {"delete nothing", "abcd", [](VMString& s) { s.Delete(1, 0); }, "abcd"},
        {"delete past the end", "abcd", [](VMString& s) { s.Delete(4, 1); }, "abcd"},
        {"delete negative", "abcd", [](VMString& s) { s.Delete(-1, 2); }, "abcd"},
        {"delete in null", nullptr, [](VMString& s) { s.Delete(0, 1); }, "<null>"},
        // 0x81 0x2C and 0x82 0x3B are characters whose second bytes equal ',' and ';'.
        {"replace chars", "a,b;\x81,c\x82;", [](VMString& s) { s.ReplaceChars(",;", ' '); },
         "a b \x81,c\x82;"},
        {"replace chars, lone lead byte at the end", ",\x81",
         [](VMString& s) { s.ReplaceChars("\x81", '!'); }, ",!"},
        {"replace chars, none match", "abc", [](VMString& s) { s.ReplaceChars("xyz", '!'); },
         "abc"},
        {"replace with text", "a:b:c",
         [](VMString& s) {
             Text with = MakeText("=>");
             s.ReplaceCharsWithText(":", with.get());
         },
         "a=>b=>c"},
        {"replace with one byte, not rescanned", "a:b",
         [](VMString& s) {
             Text with = MakeText(":");
             s.ReplaceCharsWithText(":", with.get());
         },
         "a:b"},
        {"replacement holding a member is not rescanned", "::",
         [](VMString& s) {
             Text with = MakeText("x:");
             s.ReplaceCharsWithText(":", with.get());
         },
         "x:x:"},
        {"empty replacement deletes nothing", "a:b",
         [](VMString& s) {
             Text with = MakeText("");
             s.ReplaceCharsWithText(":", with.get());
         },
         "a:b"},
        {"two-byte characters never match", "\x81:",
         [](VMString& s) {
             Text with = MakeText("--");
             s.ReplaceCharsWithText(":", with.get());
         },
         "\x81:"},
    };
    return rows;
}

TEST(VMStringEdit, DeletingAndReplacing) {
    RunRows(DeleteAndReplaceRows());
    RunRowsShared(DeleteAndReplaceRows());
}

TEST(VMStringEdit, AZeroByteIsInEverySet) {
    Text s = MakeBytes(std::string("a\0b", 3));
    s->ReplaceChars("x", '_');
    EXPECT_EQ(Str(*s), "a_b");
    Text t = MakeBytes(std::string("\0", 1));
    Text with = MakeText("<>");
    t->ReplaceCharsWithText("", with.get());
    EXPECT_EQ(Str(*t), "<>");
}

TEST(VMStringEdit, DeletingInPlaceKeepsTheBlock) {
    Text s = MakeText("abcdef");
    const char* block = s->Text();
    s->Delete(0, 2);
    EXPECT_EQ(Str(*s), "cdef");
    EXPECT_EQ(s->Text(), block);
    EXPECT_EQ(s->Offset(), 0);
    EXPECT_EQ(s->Text()[4], 0);
}

// Lines end in LF, CR LF or a lone CR; a last line without a break cannot be
// addressed.
TEST(VMStringEdit, LineInsertionAndReplacement) {
    const char* lines = "one\ntwo\r\nthree\n";
    const std::vector<Row> rows = {
        {"insert at the first", lines, [](VMString& s) { s.InsertAtLineCString(1, "> "); },
         "> one\ntwo\r\nthree\n"},
        {"insert at a middle", lines, [](VMString& s) { s.InsertAtLineCString(2, "> "); },
         "one\n> two\r\nthree\n"},
        {"insert at the last", lines, [](VMString& s) { s.InsertAtLineText(3, Other()); },
         "one\ntwo\r\nxythree\n"},
        {"insert at a missing line", lines, [](VMString& s) { s.InsertAtLineCString(4, ">"); },
         lines},
        {"insert at line 0", lines, [](VMString& s) { s.InsertAtLineCString(0, ">"); }, lines},
        {"insert bytes", lines, [](VMString& s) { s.InsertAtLineBytes(2, U("-+-"), 1, 1); },
         "one\n+two\r\nthree\n"},
        {"insert without a string", lines, [](VMString& s) { s.InsertAtLineCString(1, nullptr); },
         lines},
        {"replace the first", lines, [](VMString& s) { s.ReplaceLineCString(1, "1\n"); },
         "1\ntwo\r\nthree\n"},
        {"replace a middle", lines, [](VMString& s) { s.ReplaceLineCString(2, "2"); },
         "one\n2three\n"},
        {"replace the last", lines, [](VMString& s) { s.ReplaceLineText(3, Other()); },
         "one\ntwo\r\nxy"},
        {"replace a missing line", lines, [](VMString& s) { s.ReplaceLineCString(4, "4\n"); },
         lines},
        {"replace bytes", lines, [](VMString& s) { s.ReplaceLineBytes(1, U("ab\n"), 2, 1); },
         "b\ntwo\r\nthree\n"},
        {"replace with no bytes deletes", lines,
         [](VMString& s) { s.ReplaceLineBytes(2, nullptr, 0, 0); }, "one\nthree\n"},
        {"replace without a string", lines, [](VMString& s) { s.ReplaceLineCString(1, nullptr); },
         lines},
        {"last line without a break", "one\ntwo\nthree",
         [](VMString& s) { s.ReplaceLineCString(3, "3\n"); }, "one\ntwo\nthree"},
        {"empty text", "", [](VMString& s) { s.InsertAtLineCString(1, "x"); }, ""},
        {"null text", nullptr, [](VMString& s) { s.ReplaceLineCString(1, "x"); }, "<null>"},
    };
    RunRows(rows);
    RunRowsShared(rows);
}

// The text itself, or a view of its own buffer, as the source: as if the
// source had been copied first, also where the buffer has room to work in place.
TEST(VMStringEdit, TheTextItselfAsSource) {
    const std::vector<Row> rows = {
        {"append", "abc", [](VMString& s) { s.AppendText(&s); }, "abcabc"},
        {"append sub", "abc", [](VMString& s) { s.AppendSub(&s, 1, -1); }, "abcbc"},
        {"append indented", "a\nb", [](VMString& s) { s.AppendIndentedText(1, &s); },
         "a\nb\ta\n\tb"},
        {"with byte", "abc", [](VMString& s) { s.AssignTextWithByte(&s, '!'); }, "abc!"},
        {"concat", "ab", [](VMString& s) { s.AssignConcatText(&s, &s); }, "abab"},
        {"concat with string", "ab", [](VMString& s) { s.AssignConcatTextCString(&s, "c"); },
         "abc"},
        {"insert", "abc", [](VMString& s) { s.InsertText(1, &s); }, "aabcbc"},
        {"insert at line", "a\nb\n", [](VMString& s) { s.InsertAtLineText(2, &s); },
         "a\na\nb\nb\n"},
        {"overwrite", "abcd", [](VMString& s) { s.OverwriteBytes(1, U(s.Text()), 3, 0); }, "aabc"},
        {"replace chars", "a:b", [](VMString& s) { s.ReplaceCharsWithText(":", &s); }, "aa:bb"},
        {"replace line", "x\ny\n", [](VMString& s) { s.ReplaceLineText(2, &s); }, "x\nx\ny\n"},
    };
    for (const Row& row : rows) {
        Text s(new VMString);
        const std::string start = row.start;
        s->AssignBytes(U(start.c_str()), static_cast<int>(start.size()), 256, nullptr);
        row.edit(*s);
        EXPECT_EQ(Str(*s), row.expected) << row.name;
    }
    // A view of the text's own buffer as the source.
    Text s = MakeText("abcdef");
    Text view(new VMString);
    view->AssignSub(s.get(), 2, 2); // "cd", sharing s's record
    s->InsertText(0, view.get());
    EXPECT_EQ(Str(*s), "cdabcdef");
    EXPECT_EQ(Str(*view), "cd");
}

} // namespace
