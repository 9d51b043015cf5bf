// BVWin32StreamFile: a BVFile over a COM IStream (Windows builds only).
//
// The thumbnail provider wraps the Shell's stream in one of these, so that the
// decompressor and every typed read above it see an ordinary buffered file.
// While attached the object holds exactly one reference on the stream, taken
// when it is stored and given back by Close (and so by the destructor). The
// stream is read from wherever its seek pointer stands when it is attached.
// Streams of 2 GiB or more are not supported: sizes and positions are taken
// from the low 32 bits as signed values, as the stream's users expect.
#pragma once

#ifdef _WIN32
#include "file/BVFile.h"
#include "platform/Win32.h"

#include <objidl.h>

#include <cstdint>

class BVWin32StreamFile : public BVFile {
  public:
    using BVFile::Close;

    BVWin32StreamFile() = default;
    ~BVWin32StreamFile() override;

    bool Close(bool force) override;                     // 2
    std::int64_t GetPosition() override;                 // 80
    bool Seek(std::int64_t offset, int origin) override; // 81
    int FillBuffer() override;                           // 83
    bool Flush() override;                               // 84

    // 85: a stream on a file, always opened for reading (writing through it
    // fails at Flush). With ModeAppend it is positioned at the end.
    virtual bool Open(const char* path, std::uint32_t mode, std::uint32_t bufferSize);
    // 86: takes a reference on stream; the mode flags come from the stream's
    // own access and share bits. False, no reference kept, when the stream is
    // null, cannot report its state or no buffer can be had.
    virtual bool Attach(IStream* stream, std::uint32_t bufferSize);
    // 87: the stream's size, low 32 bits as a signed value; 0 without a stream
    // or when the stream cannot tell.
    virtual std::int32_t GetStreamSize();

    // The grfMode bits of an IStream turned into mode flags.
    static std::uint32_t ModeFromStream(DWORD grfMode);

  private:
    bool TakeBuffer(std::uint32_t size); // allocates the zero-filled buffer
    bool SeekStream(std::int64_t offset, DWORD origin);

    IStream* stream = nullptr;
};
#endif
