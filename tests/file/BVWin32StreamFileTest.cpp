// The stream file against a counting test stream and against the platform's
// own streams (Windows builds, run under Wine).
#include "file/BVWin32StreamFile.h"

#include "support/TestTempDir.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t W = BVFile::ModeWrite, SR = BVFile::ModeShareRead,
                        SW = BVFile::ModeShareWrite;

std::vector<std::uint8_t> Counting(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

// An IStream over a byte vector that counts its calls and references and can
// be told to fail any of Stat, Read, Write and Seek. It lives on the stack:
// the last Release does not delete it, so tests can read the count.
class TestStream : public IStream {
  public:
    std::vector<std::uint8_t> data;
    std::uint64_t pos = 0;
    LONG refs = 1;
    DWORD grfMode = STGM_READ;
    std::uint64_t reportedSize = UINT64_MAX; // UINT64_MAX: the data's size
    bool failStat = false, failRead = false, failWrite = false, failSeek = false;
    ULONG writeLimit = ULONG_MAX; // bytes a Write accepts at most
    int stats = 0, reads = 0, writes = 0, seeks = 0;
    std::vector<std::pair<std::int64_t, DWORD>> seekCalls;

    explicit TestStream(std::vector<std::uint8_t> bytes = {}) : data(std::move(bytes)) {}
    virtual ~TestStream() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }

    HRESULT STDMETHODCALLTYPE Read(void* out, ULONG count, ULONG* done) override {
        ++reads;
        if (failRead)
            return STG_E_READFAULT;
        const std::uint64_t left = pos < data.size() ? data.size() - pos : 0;
        const ULONG n = static_cast<ULONG>(std::min<std::uint64_t>(count, left));
        if (n > 0)
            std::memcpy(out, data.data() + pos, n);
        pos += n;
        if (done != nullptr)
            *done = n;
        return n < count ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* in, ULONG count, ULONG* done) override {
        ++writes;
        if (failWrite)
            return STG_E_WRITEFAULT;
        const ULONG n = std::min(count, writeLimit);
        if (data.size() < pos + n)
            data.resize(static_cast<std::size_t>(pos + n));
        std::memcpy(data.data() + pos, in, n);
        pos += n;
        if (done != nullptr)
            *done = n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
        ++seeks;
        seekCalls.emplace_back(move.QuadPart, origin);
        if (failSeek)
            return STG_E_INVALIDFUNCTION;
        const std::int64_t base = origin == STREAM_SEEK_SET   ? 0
                                  : origin == STREAM_SEEK_CUR ? static_cast<std::int64_t>(pos)
                                                              : static_cast<std::int64_t>(Size());
        if (base + move.QuadPart < 0)
            return STG_E_INVALIDFUNCTION;
        pos = static_cast<std::uint64_t>(base + move.QuadPart);
        if (now != nullptr)
            now->QuadPart = pos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        ++stats;
        if (failStat)
            return STG_E_ACCESSDENIED;
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = Size();
        stat->grfMode = grfMode;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

  private:
    std::uint64_t Size() const { return reportedSize == UINT64_MAX ? data.size() : reportedSize; }
};

std::vector<std::uint8_t> ReadAll(BVFile& file, int count) {
    std::vector<std::uint8_t> got(static_cast<std::size_t>(count));
    const int n = file.Read(got.data(), 0, count);
    got.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return got;
}

TEST(BVWin32StreamFile, AttachRefusals) {
    BVWin32StreamFile file;
    EXPECT_FALSE(file.Attach(nullptr, 8192));
    TestStream stream(Counting(10));
    stream.failStat = true;
    EXPECT_FALSE(file.Attach(&stream, 8192));
    EXPECT_EQ(stream.refs, 1);
    EXPECT_EQ(stream.stats, 1);
    stream.failStat = false;
    EXPECT_FALSE(file.Attach(&stream, 0)); // no buffer could ever be filled
    EXPECT_EQ(stream.refs, 1);
    EXPECT_FALSE(file.IsOpen());
}

TEST(BVWin32StreamFile, ModeFromStreamBits) {
    struct Case {
        DWORD grfMode;
        std::uint32_t mode;
    };
    const Case cases[] = {
        {STGM_READ, SR | SW},
        {STGM_READ | STGM_SHARE_DENY_WRITE, 0},
        {STGM_READ | STGM_SHARE_DENY_READ, 0},
        {STGM_READ | STGM_SHARE_EXCLUSIVE, SW},
        {STGM_READ | STGM_SHARE_DENY_NONE, SR | SW},
        {STGM_WRITE, W | SR | SW},
        {STGM_WRITE | STGM_SHARE_DENY_WRITE, W},
        {STGM_READWRITE, SR | SW}, // 0x2 is not the write bit
        {STGM_READWRITE | STGM_WRITE | STGM_CREATE | STGM_TRANSACTED, W | SR | SW},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.grfMode);
        TestStream stream;
        stream.grfMode = c.grfMode;
        BVWin32StreamFile file;
        ASSERT_TRUE(file.Attach(&stream, 64));
        EXPECT_EQ(file.GetMode(), c.mode);
    }
}

TEST(BVWin32StreamFile, ReferenceCountBalanced) {
    TestStream stream(Counting(10));
    {
        BVWin32StreamFile file;
        ASSERT_TRUE(file.Attach(&stream, 16));
        EXPECT_EQ(stream.refs, 2);
        ASSERT_TRUE(file.Close());
        EXPECT_EQ(stream.refs, 1);
        EXPECT_TRUE(file.Close()); // closing twice gives back nothing more
        EXPECT_EQ(stream.refs, 1);
        ASSERT_TRUE(file.Attach(&stream, 16));
        ASSERT_TRUE(file.Attach(&stream, 16)); // the first reference is given back
        EXPECT_EQ(stream.refs, 2);
        stream.failStat = true;
        EXPECT_FALSE(file.Attach(&stream, 16)); // refused: the file keeps what it had
        EXPECT_EQ(stream.refs, 2);
    }
    EXPECT_EQ(stream.refs, 1); // the destructor released it
    {
        TestStream writable;
        writable.grfMode = STGM_WRITE;
        writable.failWrite = true;
        auto file = std::make_unique<BVWin32StreamFile>();
        ASSERT_TRUE(file->Attach(&writable, 16));
        ASSERT_TRUE(file->Write("abc", 0, 3));
        EXPECT_FALSE(file->Close(false)); // the flush failed: still open, still held
        EXPECT_EQ(writable.refs, 2);
        file.reset(); // destruction closes regardless
        EXPECT_EQ(writable.refs, 1);
    }
}

TEST(BVWin32StreamFile, ReadsTheWholeStream) {
    const auto data = Counting(20000);
    TestStream stream(data);
    BVWin32StreamFile file;
    ASSERT_TRUE(file.Attach(&stream, 8192));
    EXPECT_EQ(file.GetLength(), 20000);
    EXPECT_EQ(file.GetStreamSize(), 20000);
    EXPECT_EQ(stream.seeks, 0); // read from where the stream stands
    EXPECT_EQ(ReadAll(file, 30000), data);
    EXPECT_FALSE(file.LastOk());
    EXPECT_EQ(stream.reads, 4); // three loads and the one that found the end
    EXPECT_EQ(file.FillBuffer(), 0);
    EXPECT_EQ(file.Read(nullptr, 0, 1), 0);
}

TEST(BVWin32StreamFile, SeeksInsideTheBufferTouchNoStream) {
    TestStream stream(Counting(20000));
    BVWin32StreamFile file;
    ASSERT_TRUE(file.Attach(&stream, 8192));
    ASSERT_EQ(file.Read(nullptr, 0, 100), 100);
    EXPECT_EQ(file.GetPosition(), 100);
    const int seeks = stream.seeks;
    ASSERT_TRUE(file.Seek(-50, 1));
    ASSERT_TRUE(file.Seek(8000, 1));
    ASSERT_TRUE(file.Seek(-8050, 1)); // back to the buffer's start
    EXPECT_EQ(stream.seeks, seeks);
    EXPECT_EQ(file.ReadUInt8(0xFF), 0);
    EXPECT_FALSE(file.Seek(0, 3));
    EXPECT_EQ(stream.seeks, seeks);
}

TEST(BVWin32StreamFile, SeekBeyondTheBufferCorrectsForReadAhead) {
    TestStream stream(Counting(20000));
    BVWin32StreamFile file;
    ASSERT_TRUE(file.Attach(&stream, 8192));
    ASSERT_EQ(file.Read(nullptr, 0, 100), 100);
    stream.seekCalls.clear();
    ASSERT_TRUE(file.Seek(9000, 1));
    ASSERT_EQ(stream.seekCalls.size(), 1u);
    EXPECT_EQ(stream.seekCalls[0].first, 9000 - 8092);
    EXPECT_EQ(stream.seekCalls[0].second, static_cast<DWORD>(STREAM_SEEK_CUR));
    EXPECT_EQ(file.GetPosition(), 9100);
    EXPECT_EQ(file.ReadUInt8(0xFF), 9100 % 256);
    ASSERT_TRUE(file.Seek(-4, 2));
    EXPECT_EQ(file.GetPosition(), 19996);
    ASSERT_TRUE(file.Seek(7, 0));
    EXPECT_EQ(file.ReadUInt8(0xFF), 7);
    EXPECT_FALSE(file.Seek(-100, 0)); // the stream refuses; so does the file
    EXPECT_FALSE(file.Seek(INT64_MIN, 1));
    stream.failSeek = true;
    EXPECT_FALSE(file.Seek(5, 0));
    EXPECT_EQ(file.GetPosition(), 0); // the stream cannot tell its place
}

TEST(BVWin32StreamFile, TransportFailures) {
    TestStream stream(Counting(100));
    stream.failRead = true;
    BVWin32StreamFile file;
    ASSERT_TRUE(file.Attach(&stream, 64));
    EXPECT_EQ(file.Read(nullptr, 0, 10), -1);
    EXPECT_EQ(file.ReadInt32LE(-3), -3);

    TestStream sink;
    sink.grfMode = STGM_WRITE;
    BVWin32StreamFile writer;
    ASSERT_TRUE(writer.Attach(&sink, 4));
    ASSERT_TRUE(writer.Write("abcdef", 0, 6)); // one flush of 4, 2 waiting
    EXPECT_EQ(writer.GetPosition(), 6);
    EXPECT_EQ(sink.writes, 1);
    sink.writeLimit = 1;
    EXPECT_FALSE(writer.Seek(0, 0)); // the flush came up short
    sink.writeLimit = ULONG_MAX;
    ASSERT_TRUE(writer.Close(false));
    EXPECT_EQ(std::string(sink.data.begin(), sink.data.end()), "abcdeef");
}

TEST(BVWin32StreamFile, StreamsOfTwoGigabytesOrMore) {
    struct Case {
        std::uint64_t size;
        std::int32_t length;
    };
    const Case cases[] = {
        {0x7FFFFFFF, 0x7FFFFFFF}, {0x80000000, INT32_MIN}, {0x100000010, 16}, {0xFFFFFFFF, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        TestStream stream(Counting(10));
        stream.reportedSize = c.size;
        BVWin32StreamFile file;
        ASSERT_TRUE(file.Attach(&stream, 8192));
        EXPECT_EQ(file.GetStreamSize(), c.length);
        EXPECT_EQ(file.GetLength(), c.length);
        EXPECT_EQ(ReadAll(file, 20), Counting(10)); // reading is not disturbed
    }
}

TEST(BVWin32StreamFile, PlatformStreams) {
    const auto data = Counting(10000);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, data.size());
    ASSERT_NE(block, nullptr);
    std::memcpy(GlobalLock(block), data.data(), data.size());
    GlobalUnlock(block);
    IStream* memory = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(block, TRUE, &memory), S_OK);
    {
        BVWin32StreamFile file;
        ASSERT_TRUE(file.Attach(memory, 8192));
        EXPECT_EQ(file.GetLength(), 10000);
        EXPECT_EQ(ReadAll(file, 20000), data);
        ASSERT_TRUE(file.Seek(-10, 2));
        EXPECT_EQ(file.GetPosition(), 9990);
    }
    EXPECT_EQ(memory->Release(), 0u); // the file gave its reference back

    TestTempDir dir;
    dir.WriteBytes("doc", data);
    IStream* onFile = nullptr;
    ASSERT_EQ(SHCreateStreamOnFileEx(dir.WidePath(L"doc").c_str(),
                                     STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL,
                                     FALSE, nullptr, &onFile),
              S_OK);
    {
        BVWin32StreamFile file;
        ASSERT_TRUE(file.Attach(onFile, 8192));
        EXPECT_EQ(file.GetMode(), 0u);
        EXPECT_EQ(file.GetLength(), 10000);
        ASSERT_EQ(file.Read(nullptr, 0, 100), 100);
        ASSERT_TRUE(file.Seek(9000, 1));
        EXPECT_EQ(file.ReadUInt8(0xFF), 9100 % 256);
    }
    EXPECT_EQ(onFile->Release(), 0u);
}

TEST(BVWin32StreamFile, OpenOnAPath) {
    TestTempDir dir;
    const auto data = Counting(300);
    dir.WriteBytes("doc", data);
    BVWin32StreamFile file;
    ASSERT_TRUE(file.Open(dir.Path("doc").c_str(), 0, 128));
    EXPECT_EQ(file.GetLength(), 300);
    EXPECT_EQ(ReadAll(file, 400), data);
    ASSERT_TRUE(file.Open(dir.Path("doc").c_str(), BVFile::ModeAppend, 128));
    EXPECT_EQ(file.GetPosition(), 300);
    EXPECT_EQ(file.Read(nullptr, 0, 1), 0);
    // Always opened for reading: a write cannot reach the file.
    ASSERT_TRUE(file.Open(dir.Path("doc").c_str(), W, 128));
    ASSERT_TRUE(file.Write("x", 0, 1));
    EXPECT_FALSE(file.Close(false));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(dir.ReadBytes("doc"), data);
    ASSERT_TRUE(file.Open(dir.Path("doc").c_str(), BVFile::ModeHandleOnly, 128));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.FillBuffer(), -1);
    EXPECT_FALSE(file.Seek(0, 0));
    EXPECT_FALSE(file.Open(dir.Path("missing").c_str(), 0, 128));
    EXPECT_FALSE(file.IsOpen());
}

} // namespace
