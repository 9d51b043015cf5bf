// BVMemoryFile: a BVFile whose buffer is the whole content.
//
// Three uses: reading a block the caller owns (Attach, FromMemory), reading
// the bytes of a BVString (Open, which keeps a share of the string so its
// bytes outlive the caller's copy), and building content in a block of its
// own that grows in whole growth steps (Create) and can be saved to disk
// (SaveAs). Borrowed content (capacity 0) is never written, grown or freed;
// an owned block is global memory, zero-filled, so bytes that were never
// written read as zeros.
#pragma once

#include "file/BVFile.h"

#include <cstdint>

class BVMemoryFile : public BVFile {
  public:
    using BVFile::Close;
    using BVFile::Write;

    // A read-only file over size bytes at data, or null. The caller keeps
    // the memory and must not free it while the file exists.
    static BVMemoryFile* FromMemory(const void* data, std::uint32_t size);

    BVMemoryFile() = default;
    ~BVMemoryFile() override;

    bool Close(bool force) override;                             // 2
    bool SetLength(std::int64_t newLength) override;             // 6
    bool Write(const void* buf, int offset, int count) override; // 42
    std::int64_t GetPosition() override;                         // 80
    bool Seek(std::int64_t offset, int origin) override;         // 81
    int FillBuffer() override;                                   // 83: 0, the block is all
    bool Flush() override;                                       // 84: true, nothing to write out

    // 85: read-only over the string's bytes. Always true.
    virtual bool Open(BVString data);
    // 86: read-only over size bytes at data, reading from data + offset. False
    // for an offset outside the block.
    virtual bool Attach(const void* data, int offset, std::uint32_t size);
    // 87: a new writable block of growStep zero bytes (growStep at least 1);
    // with fullLength they count as content. False, file closed, when the
    // block cannot be had.
    virtual bool Create(std::uint32_t growStep, bool fullLength);
    // 88: at least count more bytes of room, in whole growth steps; the block
    // may move. False, nothing changed, when it cannot grow.
    virtual bool Grow(std::uint32_t count);
    // 89: writes the content to path (created or truncated) through a disk
    // file; the result of closing it, false when it cannot be made or written.
    virtual bool SaveAs(const char* path);

  private:
    void MoveTo(std::int64_t target); // sets position, cursor and available
};
