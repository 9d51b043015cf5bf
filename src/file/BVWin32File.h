// BVWin32File: a BVFile over a Win32 file handle.
//
// Reads and writes go through the base class's buffer, one ReadFile or
// WriteFile per buffer; seeks inside the buffered bytes touch no system call.
// A section (SetSection) restricts reading to a window of the file. Positions
// are limited to below 2 GiB: larger files can be read and appended to
// sequentially but not positioned beyond that.
//
// On the read side `position` is the file offset just past the buffered bytes
// that may be read (the handle's pointer, unless a section cut the buffer
// short), so the read point is position - available; seeks inside the buffer
// move only the cursor, and seeks to the disk are made from the file's start.
#pragma once

#include "file/BVFile.h"
#include "platform/Win32.h"

#include <cstdint>

class BVWin32File : public BVFile {
  public:
    using BVFile::Close;

    // Opens path with mode and an 8192-byte buffer; null when that fails.
    static BVWin32File* Create(const char* path, std::uint32_t mode);

    static constexpr std::uint32_t kDefaultBufferSize = 8192;

    BVWin32File() = default;
    ~BVWin32File() override;

    bool Close(bool force) override;                                                     // 2
    bool SetSection(std::int64_t offset, std::int64_t sectionLength) override;           // 7
    bool GetFileTime(FILETIME* created, FILETIME* accessed, FILETIME* written) override; // 78
    bool SetFileTime(const FILETIME* created, const FILETIME* accessed,
                     const FILETIME* written) override;  // 79
    std::int64_t GetPosition() override;                 // 80
    bool Seek(std::int64_t offset, int origin) override; // 81
    int FillBuffer() override;                           // 83
    bool Flush() override;                               // 84

    // 85, 86: open path with CreateFileA / CreateFileW. The mode decides
    // access, sharing and creation: ModeWrite creates or truncates, with
    // ModeAppend it keeps the content and writes at the end; without
    // ModeWrite the file must exist. ModeHandleOnly opens for the file times
    // only (no buffer; folders too). An open file is closed first.
    virtual bool Open(const char* path, std::uint32_t mode, std::uint32_t bufferSize);
    virtual bool Open(const wchar_t* path, std::uint32_t mode, std::uint32_t bufferSize);

  private:
    struct CreateArguments {
        DWORD access, share, disposition, flags;
    };
    static CreateArguments ArgumentsFor(std::uint32_t mode);
    bool FinishOpen(HANDLE opened, std::uint32_t openMode, std::uint32_t size);
    bool HasHandle() const { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    bool HasSection() const { return sectionStart >= 0; }
    bool InSection(std::int64_t offset) const {
        return offset >= sectionStart && offset <= sectionEnd;
    }
    // File offset of the next byte Read returns (read side).
    std::int64_t ReadPoint() const { return position - available; }
    bool MovePointer(std::int64_t distance, DWORD method);

    HANDLE handle = INVALID_HANDLE_VALUE;
    std::int64_t sectionStart = -1; // -1: no section
    std::int64_t sectionEnd = -1;
};
