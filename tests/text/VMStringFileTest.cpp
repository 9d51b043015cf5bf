// BVFile's text members, through a memory file.
#include "file/BVMemoryFile.h"
#include "text/VMString.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// A read-only file over bytes that outlive it.
class Source {
  public:
    explicit Source(std::string bytes) : bytes_(std::move(bytes)) {
        file_.reset(
            BVMemoryFile::FromMemory(bytes_.data(), static_cast<std::uint32_t>(bytes_.size())));
    }
    BVFile& operator*() { return *file_; }
    BVFile* operator->() { return file_.get(); }

  private:
    std::string bytes_;
    std::unique_ptr<BVMemoryFile> file_;
};

std::string Written(BVMemoryFile& file) {
    return std::string(reinterpret_cast<const char*>(file.GetBuffer()),
                       static_cast<std::size_t>(file.GetLength()));
}

TEST(VMStringFile, ReadVMString) {
    struct Case {
        const char* name;
        int length;
        const char* expected;
        bool ok;
        int consumed;
    };
    const Case cases[] = {
        {"part", 3, "abc", true, 3},
        {"all", 6, "abcdef", true, 6},
        {"short", 10, "abcdef", false, 6},
        {"none", 0, "", true, 0},
        {"negative", -1, "<null>", false, 0},
        {"too long for any record", INT_MAX, "<null>", false, 0},
    };
    for (const Case& c : cases) {
        Source file("abcdef");
        Text s(file->ReadVMString(c.length));
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_EQ(s->RefCount(), 1) << c.name;
        EXPECT_EQ(Str(*s), c.expected) << c.name;
        EXPECT_EQ(file->LastOk(), c.ok) << c.name;
        if (!s->IsNull()) {
            EXPECT_EQ(s->Text()[s->Length()], 0) << c.name;
        }
        EXPECT_EQ(file->ReadUInt8(0xEE), c.consumed < 6 ? "abcdef"[c.consumed] : 0xEE) << c.name;
    }
}

TEST(VMStringFile, ReadVMStringWithLength) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* expected;
        bool ok;
    };
    const Case cases[] = {
        {"whole", std::string("\x03\0\0\0abcd", 8), "abc", true},
        {"empty", std::string("\0\0\0\0", 4), "", true},
        {"short", std::string("\x05\0\0\0abc", 7), "<null>", false},
        {"negative count",
         std::string("\xff\xff\xff\xff"
                     "abc",
                     7),
         "<null>", false},
        {"no count", std::string("\x03\0", 2), "<null>", false},
        {"huge count",
         std::string("\xff\xff\xff\x7f"
                     "abc",
                     7),
         "<null>", false},
    };
    for (const Case& c : cases) {
        Source file(c.bytes);
        Text s(file->ReadVMStringWithLength());
        ASSERT_NE(s, nullptr) << c.name;
        EXPECT_EQ(Str(*s), c.expected) << c.name;
        EXPECT_EQ(file->LastOk(), c.ok) << c.name;
    }
}

TEST(VMStringFile, WritesTakeTheViewOnly) {
    Text whole = MakeText("xxabcyy");
    Text view(new VMString);
    view->AssignSub(whole.get(), 2, 3);
    Text null(new VMString);

    BVMemoryFile file;
    ASSERT_TRUE(file.Create(16, false));
    EXPECT_TRUE(file.Write(static_cast<const VMString*>(nullptr)));
    EXPECT_TRUE(file.Write(null.get()));
    EXPECT_EQ(file.GetLength(), 0);
    EXPECT_TRUE(file.Write(view.get()));
    EXPECT_TRUE(file.WriteWithLength(view.get()));
    EXPECT_TRUE(file.WriteWithLength(static_cast<const VMString*>(nullptr)));
    EXPECT_TRUE(file.WriteWithLength(null.get()));
    EXPECT_EQ(Written(file), std::string("abc\x03\0\0\0abc\0\0\0\0\0\0\0\0", 18));

    ASSERT_TRUE(file.Rewind());
    file.Skip(3);
    Text back(file.ReadVMStringWithLength());
    EXPECT_EQ(Str(*back), "abc");
    EXPECT_TRUE(file.LastOk());
}

TEST(VMStringFile, WritesFailWhenTheFileCannotTakeThem) {
    Source file("abc"); // read-only
    Text s = MakeText("abc");
    EXPECT_FALSE(file->Write(s.get()));
    EXPECT_FALSE(file->WriteWithLength(s.get()));
    EXPECT_FALSE(file->WriteWithLength(static_cast<const VMString*>(nullptr)));
}

} // namespace
