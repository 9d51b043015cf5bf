// BVInflate: the container header, pass-through, stored and deflated reading,
// the size cap, the CRC rules of Close and the messages of each failure.
#include "ContainerFile.h"
#include "DeflateTestSupport.h"
#include "LogCapture.h"

#include "inflate/BVInflate.h"
#include "inflate/InflateMessages.h"

#include <gtest/gtest.h>

namespace {

using namespace inflate_test;
using namespace bv_inflate;

ByteVector Text(const char* s) {
    return ByteVector(s, s + std::strlen(s));
}

ByteVector Prefix(ByteVector v, std::size_t n) {
    v.resize(n);
    return v;
}

ByteVector ReadAll(BVInflate& in, int chunk = 1 << 20) {
    ByteVector out, buf(static_cast<std::size_t>(chunk));
    for (;;) {
        int r = in.Read(buf.data(), 0, chunk);
        if (r <= 0) {
            return out;
        }
        out.insert(out.end(), buf.begin(), buf.begin() + r);
    }
}

class BVInflateTest : public ::testing::Test {
  protected:
    void SetUp() override { ContainerFile::live = 0; }
    void TearDown() override { EXPECT_EQ(ContainerFile::live, 0) << "a file was not destroyed"; }
    LogCapture log;
};

// Files that are not containers: Open answers -1 and Read hands the bytes
// through from the first one.
TEST_F(BVInflateTest, NotAContainerPassesThrough) {
    ContainerSpec badMagic;
    badMagic.magic = 0xFB41;
    ContainerSpec flags8;
    flags8.flags = 8;
    ContainerSpec flagsMax;
    flagsMax.flags = 0xFFFF;
    ContainerSpec encrypted;
    encrypted.flags = 1;
    ContainerSpec deflated;
    const struct {
        const char* name;
        ByteVector file;
    } rows[] = {
        {"empty", {}},
        {"11 bytes", ByteVector(11, 0x41)},
        {"wrong magic", Container(badMagic, Text("payload"))},
        {"flags 8", Container(flags8, Text("payload"))},
        {"flags 0xFFFF", Container(flagsMax, Text("payload"))},
        {"CRC field cut short", Prefix(Container(deflated, {}), 15)},
        {"encrypted, 19 bytes", Prefix(Container(encrypted, {}), 19)},
    };
    for (const auto& row : rows) {
        BVInflate in;
        auto* file = new ContainerFile(row.file);
        EXPECT_EQ(in.Open(file), -1) << row.name;
        EXPECT_EQ(in.GetSize(), static_cast<int>(row.file.size())) << row.name;
        EXPECT_EQ(ReadAll(in, 5), row.file) << row.name;
        EXPECT_EQ(in.Read(nullptr, 0, 5), 0) << row.name;
        EXPECT_TRUE(in.Close()) << row.name;
    }
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(BVInflateTest, OpenFailuresWriteTheirLine) {
    BVInflate in;
    EXPECT_EQ(in.Open(nullptr), 0);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{Line(kMsgNoFile, FileName(nullptr).c_str())});
    log.Clear();

    // Enciphered containers of 20 bytes and more are refused; the file goes.
    ContainerSpec encrypted;
    encrypted.flags = 1 | 4;
    auto* file = new ContainerFile(Container(encrypted, {}));
    const std::string name = FileName(file);
    EXPECT_EQ(in.Open(file), 0);
    EXPECT_EQ(ContainerFile::live, 0);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{Line(kMsgPassword, name.c_str())});
    EXPECT_EQ(in.Read(nullptr, 0, 1), -1);
    EXPECT_FALSE(in.Close());
}

TEST_F(BVInflateTest, NameHasThePointerWidth) {
    EXPECT_EQ(FileName(nullptr).size(), 2 + 2 * sizeof(void*));
}

TEST_F(BVInflateTest, StoredContainerChecksCrcAtClose) {
    const ByteVector data = Text("stored bytes, checked at close");
    {
        BVInflate in;
        EXPECT_EQ(in.Open(new ContainerFile(StoredContainer(data))), 1);
        EXPECT_EQ(in.GetSize(), static_cast<int>(data.size()));
        EXPECT_EQ(ReadAll(in, 4), data);
        EXPECT_TRUE(in.Close());
    }
    ByteVector broken = StoredContainer(data);
    broken.back() ^= 1;
    BVInflate in;
    auto* file = new ContainerFile(broken);
    const std::string name = FileName(file);
    EXPECT_EQ(in.Open(file), 1);
    EXPECT_EQ(ReadAll(in).size(), data.size());
    EXPECT_FALSE(in.Close());
    EXPECT_EQ(log.Lines(), std::vector<std::string>{Line(kMsgCrc, name.c_str())});
    EXPECT_FALSE(in.Close()); // nothing attached any more
}

TEST_F(BVInflateTest, DeflatedContainerIgnoresWord8AndChecksCrc) {
    const ByteVector data = Text("deflated container: the payload starts at offset 16");
    for (std::uint32_t word8 : {0u, 0xFFFFFFFFu, 0x12345678u}) {
        ContainerSpec s;
        s.expanded = static_cast<std::uint32_t>(data.size());
        s.word8 = word8;
        s.crc = ReferenceCrc(data);
        BVInflate in;
        EXPECT_EQ(in.Open(new ContainerFile(Container(s, FixedLiteralStream(data)))), 1);
        EXPECT_EQ(ReadAll(in, 3), data);
        EXPECT_TRUE(in.Close());
    }
    ContainerSpec wrong;
    wrong.expanded = static_cast<std::uint32_t>(data.size());
    wrong.crc = ReferenceCrc(data) ^ 0x80;
    BVInflate in;
    EXPECT_EQ(in.Open(new ContainerFile(Container(wrong, FixedLiteralStream(data)))), 1);
    EXPECT_EQ(ReadAll(in), data);
    EXPECT_FALSE(in.Close());
    EXPECT_EQ(log.Lines().size(), 1u);
}

// The expanded size caps what is delivered and checked, in either payload form.
TEST_F(BVInflateTest, ExpandedSizeIsAHardCap) {
    const ByteVector data = Text("0123456789abcdefghij");
    const ByteVector first(data.begin(), data.begin() + 7);
    for (bool stored : {false, true}) {
        ContainerSpec s;
        s.flags = stored ? 2 : 0;
        s.expanded = 7;
        s.crc = ReferenceCrc(first);
        BVInflate in;
        EXPECT_EQ(
            in.Open(new ContainerFile(Container(s, stored ? data : FixedLiteralStream(data)))), 1);
        std::uint8_t buf[32] = {};
        EXPECT_EQ(in.Read(buf, 0, 32), 7);
        EXPECT_EQ(ByteVector(buf, buf + 7), first);
        EXPECT_EQ(in.Read(buf, 0, 32), 0);
        EXPECT_TRUE(in.Close()) << stored;
    }
    EXPECT_TRUE(log.Lines().empty());
}

// A size larger than the payload yields: a short count, then 0, and no check.
TEST_F(BVInflateTest, ExpandedSizeLargerThanPayload) {
    const ByteVector data = Text("short payload");
    for (bool stored : {false, true}) {
        ContainerSpec s;
        s.flags = stored ? 2 : 0;
        s.expanded = 1000;
        s.crc = 0xBAD;
        BVInflate in;
        EXPECT_EQ(
            in.Open(new ContainerFile(Container(s, stored ? data : FixedLiteralStream(data)))), 1);
        std::uint8_t buf[64];
        EXPECT_EQ(in.Read(buf, 0, 64), static_cast<int>(data.size()));
        EXPECT_EQ(in.Read(buf, 0, 64), 0);
        EXPECT_TRUE(in.Close());
    }
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(BVInflateTest, SkipDisablesTheCheck) {
    ByteVector data(100);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 3);
    }
    for (bool stored : {false, true}) {
        ContainerSpec s;
        s.flags = stored ? 2 : 0;
        s.expanded = 100;
        s.crc = 0xBAD; // wrong, and never looked at
        BVInflate in;
        EXPECT_EQ(
            in.Open(new ContainerFile(Container(s, stored ? data : FixedLiteralStream(data)))), 1);
        std::uint8_t buf[100];
        EXPECT_EQ(in.Read(buf, 0, 24), 24);
        EXPECT_EQ(in.Read(nullptr, 0, 16), 16);
        EXPECT_EQ(in.Read(buf, 40, 60), 60);
        EXPECT_EQ(ByteVector(buf + 40, buf + 100), ByteVector(data.begin() + 40, data.end()));
        EXPECT_TRUE(in.Close());
    }
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(BVInflateTest, ReadingLessThanTheSizeMakesNoCheck) {
    ContainerSpec s;
    s.flags = 2;
    s.expanded = 10;
    s.crc = 0xBAD;
    BVInflate in;
    EXPECT_EQ(in.Open(new ContainerFile(Container(s, ByteVector(10, 1)))), 1);
    std::uint8_t buf[9];
    EXPECT_EQ(in.Read(buf, 0, 9), 9);
    EXPECT_TRUE(in.Close());
}

TEST_F(BVInflateTest, SecondOpenIsRefusedAndTheFirstGoesOn) {
    const ByteVector data = Text("first container");
    BVInflate in;
    EXPECT_EQ(in.Open(new ContainerFile(DeflatedContainer(data))), 1);
    std::uint8_t buf[5];
    EXPECT_EQ(in.Read(buf, 0, 5), 5);
    auto* second = new ContainerFile(StoredContainer(Text("second")));
    const std::string name = FileName(second);
    EXPECT_EQ(in.Open(second), 0);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{Line(kMsgBusy, name.c_str())});
    EXPECT_EQ(ContainerFile::live, 1);
    ByteVector rest = ReadAll(in);
    rest.insert(rest.begin(), buf, buf + 5);
    EXPECT_EQ(rest, data);
    EXPECT_TRUE(in.Close());
    // Closed objects open again.
    EXPECT_EQ(in.Open(new ContainerFile(StoredContainer(Text("again")))), 1);
    EXPECT_EQ(ReadAll(in), Text("again"));
}

// Opening over a pass-through file releases that file first.
TEST_F(BVInflateTest, OpenAfterPassThroughReleasesTheOldFile) {
    BVInflate in;
    EXPECT_EQ(in.Open(new ContainerFile(Text("plain"))), -1);
    EXPECT_EQ(in.Open(new ContainerFile(StoredContainer(Text("boxed")))), 1);
    EXPECT_EQ(ContainerFile::live, 1);
    EXPECT_EQ(ReadAll(in), Text("boxed"));
}

TEST_F(BVInflateTest, ReadFailsOnceTheFileIsClosedUnderneath) {
    BVInflate in;
    auto* file = new ContainerFile(StoredContainer(Text("abc")));
    EXPECT_EQ(in.Open(file), 1);
    file->Close();
    std::uint8_t buf[3];
    EXPECT_EQ(in.Read(buf, 0, 3), -1);
}

TEST_F(BVInflateTest, NothingOpen) {
    BVInflate in;
    std::uint8_t buf[4];
    EXPECT_EQ(in.Read(buf, 0, 4), -1);
    EXPECT_EQ(in.Read(buf, 0, 0), 0);
    EXPECT_FALSE(in.Close());
    EXPECT_EQ(in.GetSize(), 0);
}

// A stored container keeps working after a Close: reads on the closed object fail.
TEST_F(BVInflateTest, ReadAfterCloseFails) {
    BVInflate in;
    EXPECT_EQ(in.Open(new ContainerFile(StoredContainer(Text("abc")))), 1);
    EXPECT_TRUE(in.Close());
    std::uint8_t buf[3];
    EXPECT_EQ(in.Read(buf, 0, 3), -1);
    EXPECT_EQ(in.Open(new ContainerFile(StoredContainer(Text("xyz")))), 1);
    EXPECT_EQ(ReadAll(in), Text("xyz"));
}

TEST_F(BVInflateTest, TruncatedDeflatedPayloadFails) {
    const ByteVector data = Text("cut short");
    ByteVector file = DeflatedContainer(data);
    file.resize(file.size() - 3);
    BVInflate in;
    auto* f = new ContainerFile(file);
    const std::string name = FileName(f);
    EXPECT_EQ(in.Open(f), 1);
    std::uint8_t buf[64];
    EXPECT_EQ(in.Read(buf, 0, 64), -1);
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_EQ(log.Lines().back(), Line(kMsgShortData, name.c_str()));
    log.Clear();
    EXPECT_EQ(in.Read(buf, 0, 64), -1);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(in.Close()); // fewer bytes than the size: no check
}

TEST_F(BVInflateTest, GarbageAfterTheFinalBlockIsNotRead) {
    const ByteVector data = Text("then garbage");
    ByteVector file = DeflatedContainer(data);
    file.insert(file.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    BVInflate in;
    EXPECT_EQ(in.Open(new ContainerFile(file)), 1);
    EXPECT_EQ(ReadAll(in), data);
    EXPECT_TRUE(in.Close());
}

// Small file buffers and odd read sizes give the same bytes and leave the file
// at the same place: the bulk input path takes what the bit reader would.
TEST_F(BVInflateTest, FileBufferSizesDoNotChangeWhatIsTaken) {
    ByteVector data;
    for (const CorpusItem& item : Corpus()) {
        if (item.name == "text" || item.name == "picture") {
            data.insert(data.end(), item.data.begin(), item.data.begin() + 20000);
        }
    }
    const ByteVector container = DeflatedContainer(data);
    std::int64_t refPosition = -1;
    for (std::uint32_t bufferSize : {1u, 3u, 64u, 8192u}) {
        for (int chunk : {1, 17, 4096, 1 << 20}) {
            BVInflate in;
            auto* file = new ContainerFile(container, bufferSize);
            EXPECT_EQ(in.Open(file), 1);
            EXPECT_EQ(ReadAll(in, chunk), data) << bufferSize << " " << chunk;
            if (refPosition < 0) {
                refPosition = file->GetPosition();
            }
            EXPECT_EQ(file->GetPosition(), refPosition) << bufferSize << " " << chunk;
            EXPECT_TRUE(in.Close());
        }
    }
}

TEST_F(BVInflateTest, DestructorCloses) {
    ByteVector broken = StoredContainer(Text("abc"));
    broken.back() ^= 1;
    {
        BVInflate in;
        EXPECT_EQ(in.Open(new ContainerFile(broken)), 1);
        std::uint8_t buf[3];
        EXPECT_EQ(in.Read(buf, 0, 3), 3);
    }
    EXPECT_EQ(log.Lines().size(), 1u); // the CRC line, from the destructor's Close
}

} // namespace
