// BVFile: the framework's abstract buffered file.
//
// One I/O buffer per object. Read pulls the buffer full through FillBuffer and
// Write empties it through Flush; implementations supply only the transport
// (FillBuffer, Flush, GetPosition, Seek, Close and their opening operations,
// which they add after the last slot here). Everything else, including the
// typed, string, block and text members, is implemented once in this class.
//
// The virtual slots are part of the interface: their order below is fixed
// (slot numbers in the comments) and pinned by a test. Do not insert, remove
// or reorder virtual members. Slots that only some implementations give a
// meaning answer false, 0 or -1 here. An implementation that overrides one
// member of an overloaded family (Close, Read, Write) adds `using BVFile::Close;`
// and so on, so that the other overloads stay callable through it.
//
// Failure is reported by results only. lastOk tells whether the last Read got
// every byte it was asked for; typed reads return the caller's default when it
// did not, so a run of reads can be checked once at the end.
#pragma once

#include "file/BVWideString.h"
#include "platform/Win32.h"
#include "text/BVString.h"

#include <cstdint>

#ifndef _WIN32
// Only pointers to file times pass through the base class; the disk file that
// fills them exists in the Windows builds alone.
struct FILETIME;
#endif

class VMString;

class BVFile {
  public:
    // Mode flags, given at opening and kept while the file is open.
    static constexpr std::uint32_t ModeWrite = 0x01;
    static constexpr std::uint32_t ModeAppend = 0x02;
    static constexpr std::uint32_t ModeHandleOnly = 0x04; // attributes only: no buffer
    static constexpr std::uint32_t ModeShareRead = 0x08;
    static constexpr std::uint32_t ModeShareWrite = 0x10;

    // Chunk through which CopyTo moves bytes.
    static constexpr int kCopyChunk = 1024;

    BVFile() = default;
    BVFile(const BVFile&) = delete;
    BVFile& operator=(const BVFile&) = delete;

    virtual ~BVFile(); // slot 0; implementations first do Close(true)

    // --- core (slots 1-14) ---------------------------------------------------
    virtual bool Close();                                                     // 1: Close(true)
    virtual bool Close(bool force);                                           // 2
    virtual bool IsOpen();                                                    // 3
    virtual std::uint32_t GetMode();                                          // 4
    virtual std::int64_t GetLength();                                         // 5
    virtual bool SetLength(std::int64_t newLength);                           // 6
    virtual bool SetSection(std::int64_t offset, std::int64_t sectionLength); // 7
    virtual bool Skip(int count);                                             // 8
    virtual int Read(void* buf, int offset, int count);                       // 9
    virtual int CopyTo(BVFile* dest, int count);                              // 10
    virtual VMString* ReadVMString(int textLength);                           // 11
    virtual BVString ReadBVString(int textLength);                            // 12
    virtual int CopyTo(BVFile& dest, int count);                              // 13
    virtual int Read(void* buf, int count);                                   // 14

    // --- typed reads (15-35): the caller's default when lastOk ends clear ----
    virtual bool ReadBool(bool fallback);                       // 15
    virtual std::int8_t ReadInt8(std::int8_t fallback);         // 16
    virtual std::uint8_t ReadUInt8(std::uint8_t fallback);      // 17
    virtual std::int16_t ReadInt16LE(std::int16_t fallback);    // 18
    virtual std::int16_t ReadInt16BE(std::int16_t fallback);    // 19
    virtual std::uint16_t ReadUInt16LE(std::uint16_t fallback); // 20
    virtual std::uint16_t ReadUInt16BE(std::uint16_t fallback); // 21
    virtual BVWChar ReadWCharLE(BVWChar fallback);              // 22
    virtual BVWChar ReadWCharBE(BVWChar fallback);              // 23
    virtual std::int32_t ReadInt32LE(std::int32_t fallback);    // 24
    virtual std::int32_t ReadInt32BE(std::int32_t fallback);    // 25
    virtual std::uint32_t ReadUInt32LE(std::uint32_t fallback); // 26
    virtual std::uint32_t ReadUInt32BE(std::uint32_t fallback); // 27
    virtual std::int64_t ReadInt64LE(std::int64_t fallback);    // 28
    virtual std::int64_t ReadInt64BE(std::int64_t fallback);    // 29
    virtual std::uint64_t ReadUInt64LE(std::uint64_t fallback); // 30
    virtual std::uint64_t ReadUInt64BE(std::uint64_t fallback); // 31
    virtual float ReadFloatLE(float fallback);                  // 32
    virtual float ReadFloatBE(float fallback);                  // 33
    virtual double ReadDoubleLE(double fallback);               // 34
    virtual double ReadDoubleBE(double fallback);               // 35

    // --- string, block and line reads (36-41) --------------------------------
    // maxCount must be at least 1 for the three buffer readers.
    virtual int ReadCString(char* buf, int offset, int maxCount);  // 36
    virtual BVString ReadBVStringWithLength();                     // 37
    virtual BVWideString ReadWStringWithLength();                  // 38
    virtual VMString* ReadVMStringWithLength();                    // 39
    virtual int ReadLine(char* buf, int offset, int maxCount);     // 40
    virtual int ReadLineW(BVWChar* buf, int offset, int maxCount); // 41

    // --- writes (42-72): false as soon as one underlying Write fails ---------
    virtual bool Write(const void* buf, int offset, int count); // 42
    virtual bool Write(BVString s);                             // 43
    virtual bool Write(const void* buf, int count);             // 44
    virtual bool WriteBool(bool v);                             // 45
    virtual bool WriteInt8(std::int8_t v);                      // 46
    virtual bool WriteUInt8(std::uint8_t v);                    // 47
    virtual bool WriteInt16(std::int16_t v);                    // 48
    virtual bool WriteUInt16(std::uint16_t v);                  // 49
    virtual bool WriteWChar(BVWChar v);                         // 50
    virtual bool WriteInt32(std::int32_t v);                    // 51
    virtual bool WriteUInt32(std::uint32_t v);                  // 52
    virtual bool WriteInt64(std::int64_t v);                    // 53
    virtual bool WriteUInt64(std::uint64_t v);                  // 54
    virtual bool WriteFloat(float v);                           // 55
    virtual bool WriteDouble(double v);                         // 56
    virtual bool WriteString(BVString s);                       // 57
    virtual bool WriteString(const char* s, int offset);        // 58
    virtual bool WriteText(const char* s, int offset);          // 59: LF as CR LF, Shift-JIS aware
    virtual bool WriteStringZ(BVString s);                      // 60
    virtual bool WriteStringZ(const char* s, int offset);       // 61
    virtual bool WriteStringWithLength(BVString s);             // 62
    virtual bool WriteStringWithLength(const char* s, int offset, int count); // 63
    virtual bool WriteWString(BVWideString s);                                // 64
    virtual bool WriteWString(const BVWChar* s, int offset);                  // 65
    virtual bool WriteWText(const BVWChar* s, int offset);                    // 66
    virtual bool WriteWStringZ(BVWideString s);                               // 67
    virtual bool WriteWStringZ(const BVWChar* s, int offset);                 // 68
    virtual bool WriteWStringWithLength(BVWideString s);                      // 69
    virtual bool WriteWithLength(const void* buf, int offset, int count);     // 70
    virtual bool Write(const VMString* s);                                    // 71
    virtual bool WriteWithLength(const VMString* s);                          // 72
    virtual bool WriteFrom(BVFile* src);                                      // 73

    // --- buffer access (74-77) -----------------------------------------------
    virtual std::uint8_t* GetBuffer();          // 74
    virtual std::uint32_t GetBufferSize();      // 75
    virtual std::uint8_t* GetBufferPointer();   // 76
    virtual std::uint32_t GetBufferRemaining(); // 77

    // --- transport and attributes (78-84): implementations replace these ----
    virtual bool GetFileTime(FILETIME* created, FILETIME* accessed, FILETIME* written); // 78
    virtual bool SetFileTime(const FILETIME* created, const FILETIME* accessed,
                             const FILETIME* written);  // 79
    virtual std::int64_t GetPosition();                 // 80
    virtual bool Seek(std::int64_t offset, int origin); // 81
    virtual bool Rewind();                              // 82: Seek(0, 0)
    // Called by Read only when available is 0. Loads at most capacity bytes,
    // sets cursor to the buffer start and available to the count, and answers
    // 1 (bytes there), 0 (end of data) or -1 (transport error, no transport).
    virtual int FillBuffer(); // 83
    // Writes buffer start .. cursor to the sink and moves cursor back to the
    // start; false, buffer unchanged, when not everything could be written.
    virtual bool Flush(); // 84

    // Whether the last Read delivered every byte asked for.
    bool LastOk() const { return lastOk != 0; }

  protected:
    // Implementations override Close(force) by calling this class's Close(force)
    // first (flush in write mode; on failure without force: false, nothing
    // changed; else the position fields reset), then releasing their transport
    // and the buffer when they own it (capacity non-zero).

    // While reading, cursor + available is the end of the valid data; while
    // writing, buffer .. cursor is waiting for Flush and never exceeds capacity.
    std::uint32_t mode = 0;         // 0 when closed
    std::int64_t length = 0;        // raised by a Write past the end
    std::int64_t position = 0;      // writer's position; Read leaves it alone
    std::uint8_t* buffer = nullptr; // memory file: the data itself
    std::uint32_t capacity = 0;     // 0: the buffer is not owned
    std::uint32_t bufferSize = 0;   // size asked for at opening (growth step)
    std::uint8_t* cursor = nullptr;
    std::uint32_t available = 0; // bytes readable at cursor before a refill
    BVString backing;            // string a memory file reads, kept alive
    std::uint8_t lastOk = 1;
};
