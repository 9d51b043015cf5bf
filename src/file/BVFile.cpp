#include "file/BVFile.h"

#include "text/TextBytes.h"
#include "text/VMString.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

// Wide text is copied between memory and file as it lies in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "files store 16-bit units little-endian");

namespace {

template <std::size_t N> struct UnsignedOfSize;
template <> struct UnsignedOfSize<1> { using Type = std::uint8_t; };
template <> struct UnsignedOfSize<2> { using Type = std::uint16_t; };
template <> struct UnsignedOfSize<4> { using Type = std::uint32_t; };
template <> struct UnsignedOfSize<8> { using Type = std::uint64_t; };

// Reads sizeof(T) bytes through the virtual Read; the caller's default unless
// all of them were there (what was there is consumed all the same).
template <class T> T ReadValue(BVFile& file, T fallback, bool bigEndian) {
    using U = typename UnsignedOfSize<sizeof(T)>::Type;
    std::uint8_t bytes[sizeof(T)];
    file.Read(bytes, 0, static_cast<int>(sizeof(T)));
    if (!file.LastOk())
        return fallback;
    U bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        const std::size_t from = bigEndian ? sizeof(T) - 1 - i : i;
        bits = static_cast<U>(bits | static_cast<U>(static_cast<U>(bytes[from]) << (8 * i)));
    }
    T value;
    std::memcpy(&value, &bits, sizeof(T));
    return value;
}

// All writers are little-endian.
template <class T> bool WriteValue(BVFile& file, T value) {
    using U = typename UnsignedOfSize<sizeof(T)>::Type;
    U bits;
    std::memcpy(&bits, &value, sizeof(T));
    std::uint8_t bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return file.Write(bytes, 0, static_cast<int>(sizeof(T)));
}

// Length of a zero-terminated text, or -1 when it does not fit one Write.
int TextLength(const char* s) {
    const std::size_t n = std::strlen(s);
    return n < static_cast<std::size_t>(INT_MAX) ? static_cast<int>(n) : -1;
}

// Units before the zero unit, or -1 when their bytes do not fit one Write.
int UnitCount(const BVWChar* s) {
    std::size_t n = 0;
    while (s[n] != 0) {
        if (++n >= static_cast<std::size_t>(INT_MAX / 2))
            return -1;
    }
    return static_cast<int>(n);
}

// The line reader shared by ReadLine and ReadLineW: unit by unit until LF or
// a zero unit, dropping one CR right before the LF.
template <class Unit, class ReadUnit>
int ReadLineOf(BVFile& file, Unit* buf, int offset, int maxCount, ReadUnit readUnit) {
    if (buf == nullptr || maxCount < 1)
        return -1; // no room even for the terminator
    Unit* line = buf + offset;
    int n = 0;
    while (n < maxCount - 1) {
        const Unit ch = readUnit();
        if (!file.LastOk()) {
            if (n == 0)
                return -1;
            break;
        }
        if (ch == 0 || ch == Unit('\n')) {
            if (n > 0 && line[n - 1] == Unit('\r'))
                --n;
            break;
        }
        line[n++] = ch;
    }
    line[n] = 0;
    return n;
}

} // namespace

BVFile::~BVFile() = default;

// --- core ---------------------------------------------------------------------

bool BVFile::Close() {
    return Close(true);
}

bool BVFile::Close(bool force) {
    if ((mode & ModeWrite) != 0 && !Flush() && !force)
        return false;
    mode = 0;
    length = 0;
    position = 0;
    cursor = nullptr;
    available = 0;
    bufferSize = 0;
    return true;
}

bool BVFile::IsOpen() {
    return buffer != nullptr;
}
std::uint32_t BVFile::GetMode() {
    return mode;
}
std::int64_t BVFile::GetLength() {
    return length;
}
bool BVFile::SetLength(std::int64_t) {
    return false;
}
bool BVFile::SetSection(std::int64_t, std::int64_t) {
    return false;
}
bool BVFile::Skip(int count) {
    return Read(nullptr, 0, count) == count;
}

int BVFile::Read(void* buf, int offset, int count) {
    std::uint8_t* dest = buf != nullptr ? static_cast<std::uint8_t*>(buf) + offset : nullptr;
    int total = 0;
    int left = count;
    while (left > 0) {
        if (available == 0) {
            const int status = FillBuffer();
            if (status < 0)
                total = -1; // the bytes copied so far in this call are not reported
            // A transport that claims data but delivers none ends the read too.
            if (status <= 0 || available == 0)
                break;
        }
        const int n =
            static_cast<int>(std::min<std::uint32_t>(available, static_cast<std::uint32_t>(left)));
        if (dest != nullptr) {
            std::memcpy(dest, cursor, static_cast<std::size_t>(n));
            dest += n;
        }
        cursor += n;
        available -= static_cast<std::uint32_t>(n);
        total += n;
        left -= n;
    }
    lastOk = total == count;
    return total;
}

int BVFile::CopyTo(BVFile* dest, int count) {
    if (dest == nullptr)
        return -1;
    std::uint8_t chunk[kCopyChunk];
    int total = 0;
    while (count > 0) {
        const int got = Read(chunk, 0, std::min(count, kCopyChunk));
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        if (!dest->Write(chunk, 0, got))
            return -1;
        count -= got;
        total += got;
    }
    return total;
}

// The text members read into and write from a VMString's own fields; a new
// text is never a null pointer, failure shows as a null text.
VMString* BVFile::ReadVMString(int textLength) {
    VMString* s = new VMString;
    s->SetLength(textLength, 0, true);
    if (textLength < 0 || s->Length() != textLength) {
        // No room for the text (or no text to make room for): nothing consumed.
        lastOk = 0;
        return s;
    }
    const int got = Read(s->Data(), 0, textLength);
    if (got < 0)
        s->Empty();
    else
        s->SetLength(got, 0, true);
    return s;
}

BVString BVFile::ReadBVString(int textLength) {
    BVString s;
    s.Resize(std::max(textLength, 0), false);
    if (s.Length() != std::max(textLength, 0)) {
        // No room for the text: nothing is consumed.
        lastOk = 0;
        return BVString();
    }
    const int got = Read(s.Data(), 0, textLength);
    if (got < 0)
        return BVString();
    s.Resize(got, true);
    return s;
}

int BVFile::CopyTo(BVFile& dest, int count) {
    return CopyTo(&dest, count);
}
int BVFile::Read(void* buf, int count) {
    return Read(buf, 0, count);
}

// --- typed reads ----------------------------------------------------------------

bool BVFile::ReadBool(bool fallback) {
    const std::uint8_t byte = ReadValue<std::uint8_t>(*this, 0, false);
    if (!LastOk())
        return fallback;
    if (byte > 1) {
        lastOk = 0;
        return fallback;
    }
    return byte == 1;
}

std::int8_t BVFile::ReadInt8(std::int8_t v) {
    return ReadValue(*this, v, false);
}
std::uint8_t BVFile::ReadUInt8(std::uint8_t v) {
    return ReadValue(*this, v, false);
}
std::int16_t BVFile::ReadInt16LE(std::int16_t v) {
    return ReadValue(*this, v, false);
}
std::int16_t BVFile::ReadInt16BE(std::int16_t v) {
    return ReadValue(*this, v, true);
}
std::uint16_t BVFile::ReadUInt16LE(std::uint16_t v) {
    return ReadValue(*this, v, false);
}
std::uint16_t BVFile::ReadUInt16BE(std::uint16_t v) {
    return ReadValue(*this, v, true);
}
BVWChar BVFile::ReadWCharLE(BVWChar v) {
    return ReadValue(*this, v, false);
}
BVWChar BVFile::ReadWCharBE(BVWChar v) {
    return ReadValue(*this, v, true);
}
std::int32_t BVFile::ReadInt32LE(std::int32_t v) {
    return ReadValue(*this, v, false);
}
std::int32_t BVFile::ReadInt32BE(std::int32_t v) {
    return ReadValue(*this, v, true);
}
std::uint32_t BVFile::ReadUInt32LE(std::uint32_t v) {
    return ReadValue(*this, v, false);
}
std::uint32_t BVFile::ReadUInt32BE(std::uint32_t v) {
    return ReadValue(*this, v, true);
}
std::int64_t BVFile::ReadInt64LE(std::int64_t v) {
    return ReadValue(*this, v, false);
}
std::int64_t BVFile::ReadInt64BE(std::int64_t v) {
    return ReadValue(*this, v, true);
}
std::uint64_t BVFile::ReadUInt64LE(std::uint64_t v) {
    return ReadValue(*this, v, false);
}
std::uint64_t BVFile::ReadUInt64BE(std::uint64_t v) {
    return ReadValue(*this, v, true);
}
float BVFile::ReadFloatLE(float v) {
    return ReadValue(*this, v, false);
}
float BVFile::ReadFloatBE(float v) {
    return ReadValue(*this, v, true);
}
double BVFile::ReadDoubleLE(double v) {
    return ReadValue(*this, v, false);
}
double BVFile::ReadDoubleBE(double v) {
    return ReadValue(*this, v, true);
}

// --- string, block and line reads -------------------------------------------------

int BVFile::ReadCString(char* buf, int offset, int maxCount) {
    if (buf == nullptr || maxCount < 1)
        return -1; // no room even for the terminator
    char* text = buf + offset;
    int n = 0;
    char ch;
    do {
        // The end of the data reads as 0 and ends the string.
        ch = static_cast<char>(ReadUInt8(0));
        text[n++] = ch;
    } while (ch != 0 && n < maxCount);
    if (n == maxCount && text[n - 1] != 0) {
        text[n - 1] = 0; // that byte was consumed and is lost
        return maxCount;
    }
    return n - 1;
}

BVString BVFile::ReadBVStringWithLength() {
    const std::int32_t n = ReadInt32LE(0);
    if (!LastOk() || n < 0)
        return BVString();
    BVString s = ReadBVString(n);
    return LastOk() ? s : BVString();
}

BVWideString BVFile::ReadWStringWithLength() {
    BVWideString s;
    const std::int32_t n = ReadInt32LE(0);
    if (!LastOk() || n < 0)
        return s;
    if (!s.SizeForWriting(n)) {
        lastOk = 0;
        return s;
    }
    if (Read(s.Data(), 0, n) != n)
        s.Release();
    return s;
}

VMString* BVFile::ReadVMStringWithLength() {
    const std::int32_t n = ReadInt32LE(0);
    if (!LastOk())
        return new VMString;
    if (n < 0) {
        lastOk = 0;
        return new VMString;
    }
    VMString* s = ReadVMString(n);
    if (!LastOk())
        s->Empty();
    return s;
}

int BVFile::ReadLine(char* buf, int offset, int maxCount) {
    return ReadLineOf(*this, buf, offset, maxCount,
                      [this] { return static_cast<char>(ReadInt8(0)); });
}

int BVFile::ReadLineW(BVWChar* buf, int offset, int maxCount) {
    return ReadLineOf(*this, buf, offset, maxCount, [this] { return ReadWCharLE(0); });
}

// --- writes -----------------------------------------------------------------------

bool BVFile::Write(const void* buf, int offset, int count) {
    if ((mode & ModeWrite) == 0)
        return false;
    if (count <= 0)
        return true;
    if (buf == nullptr)
        return false; // nothing to copy from
    const std::uint8_t* src = static_cast<const std::uint8_t*>(buf) + offset;
    while (count > 0) {
        std::uint32_t waiting = static_cast<std::uint32_t>(cursor - buffer);
        if (waiting >= capacity) {
            if (!Flush())
                return false;
            waiting = static_cast<std::uint32_t>(cursor - buffer);
            if (waiting >= capacity)
                return false; // a flush that made no room
        }
        const std::uint32_t n = std::min(capacity - waiting, static_cast<std::uint32_t>(count));
        std::memcpy(cursor, src, n);
        position += n;
        cursor += n;
        src += n;
        count -= static_cast<int>(n);
        if (position > length)
            length = position;
    }
    return true;
}

bool BVFile::Write(BVString s) {
    return Write(s.Text(), 0, s.Length());
}
bool BVFile::Write(const void* buf, int count) {
    return Write(buf, 0, count);
}

bool BVFile::WriteBool(bool v) {
    return WriteValue(*this, static_cast<std::uint8_t>(v));
}
bool BVFile::WriteInt8(std::int8_t v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteUInt8(std::uint8_t v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteInt16(std::int16_t v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteUInt16(std::uint16_t v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteWChar(BVWChar v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteInt32(std::int32_t v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteUInt32(std::uint32_t v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteInt64(std::int64_t v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteUInt64(std::uint64_t v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteFloat(float v) {
    return WriteValue(*this, v);
}
bool BVFile::WriteDouble(double v) {
    return WriteValue(*this, v);
}

bool BVFile::WriteString(BVString s) {
    return Write(s.Text(), 0, s.Length());
}

bool BVFile::WriteString(const char* s, int offset) {
    if (s == nullptr)
        return false;
    const int n = TextLength(s + offset);
    return n >= 0 && Write(s, offset, n);
}

bool BVFile::WriteText(const char* s, int offset) {
    if (s == nullptr)
        return false;
    const char* p = s + offset;
    int left = TextLength(p);
    if (left < 0)
        return false;
    while (left > 0) {
        const unsigned char ch = static_cast<unsigned char>(*p);
        if (textbytes::IsLead(ch)) {
            // The trail byte goes out unexamined (it may be 0x0A); a lead byte
            // in the last place takes the terminating zero with it.
            if (!Write(p, 0, 2))
                return false;
            p += 2;
            left -= 2;
            continue;
        }
        if (ch == '\n' && !WriteUInt8('\r'))
            return false;
        if (!WriteUInt8(ch))
            return false;
        ++p;
        --left;
    }
    return true;
}

bool BVFile::WriteStringZ(BVString s) {
    return Write(s.Text(), 0, s.Length()) && WriteUInt8(0);
}

bool BVFile::WriteStringZ(const char* s, int offset) {
    if (s == nullptr)
        return false;
    const int n = TextLength(s + offset);
    return n >= 0 && Write(s, offset, n + 1);
}

bool BVFile::WriteStringWithLength(BVString s) {
    return WriteWithLength(s.Text(), 0, s.Length());
}

bool BVFile::WriteStringWithLength(const char* s, int offset, int count) {
    if (count < 0) {
        if (s == nullptr)
            return false;
        count = TextLength(s + offset);
        if (count < 0)
            return false;
    }
    return WriteWithLength(s, offset, count);
}

bool BVFile::WriteWString(BVWideString s) {
    return Write(s.Data(), 0, s.ByteLength());
}

bool BVFile::WriteWString(const BVWChar* s, int offset) {
    if (s == nullptr)
        return false;
    const int units = UnitCount(s + offset);
    return units >= 0 && Write(s + offset, 0, units * 2);
}

bool BVFile::WriteWText(const BVWChar* s, int offset) {
    if (s == nullptr)
        return false;
    for (const BVWChar* p = s + offset; *p != 0; ++p) {
        if (*p == BVWChar(0x000A) && !WriteWChar(0x000D))
            return false;
        if (!WriteWChar(*p))
            return false;
    }
    return true;
}

bool BVFile::WriteWStringZ(BVWideString s) {
    return Write(s.Data(), 0, s.ByteLength()) && WriteUInt16(0);
}

bool BVFile::WriteWStringZ(const BVWChar* s, int offset) {
    if (s == nullptr)
        return false;
    const int units = UnitCount(s + offset);
    return units >= 0 && Write(s + offset, 0, (units + 1) * 2);
}

bool BVFile::WriteWStringWithLength(BVWideString s) {
    return WriteWithLength(s.Data(), 0, s.ByteLength());
}

bool BVFile::WriteWithLength(const void* buf, int offset, int count) {
    if (!WriteInt32(count))
        return false;
    return buf == nullptr || Write(buf, offset, count);
}

bool BVFile::Write(const VMString* s) {
    return s == nullptr || Write(s->BufferData(), s->Offset(), s->Length());
}
bool BVFile::WriteWithLength(const VMString* s) {
    if (s == nullptr)
        return WriteInt32(0);
    return WriteWithLength(s->BufferData(), s->Offset(), s->Length());
}

bool BVFile::WriteFrom(BVFile* src) {
    if (src == nullptr)
        return false;
    std::uint32_t n = src->GetBufferRemaining();
    while (n > 0) {
        const std::uint8_t* from = src->GetBufferPointer();
        for (std::uint32_t done = 0; done < n;) {
            const int piece = static_cast<int>(std::min<std::uint32_t>(n - done, INT_MAX));
            if (!Write(from, static_cast<int>(0), piece))
                return false;
            from += piece;
            done += static_cast<std::uint32_t>(piece);
        }
        const int status = src->FillBuffer();
        if (status < 0)
            return false;
        if (status == 0)
            break;
        n = src->GetBufferRemaining();
    }
    return true;
}

// --- buffer access and transport defaults --------------------------------------------

std::uint8_t* BVFile::GetBuffer() {
    return buffer;
}
std::uint32_t BVFile::GetBufferSize() {
    return capacity;
}
std::uint8_t* BVFile::GetBufferPointer() {
    return cursor;
}
std::uint32_t BVFile::GetBufferRemaining() {
    return available;
}
bool BVFile::GetFileTime(FILETIME*, FILETIME*, FILETIME*) {
    return false;
}
bool BVFile::SetFileTime(const FILETIME*, const FILETIME*, const FILETIME*) {
    return false;
}
std::int64_t BVFile::GetPosition() {
    return 0;
}
bool BVFile::Seek(std::int64_t, int) {
    return false;
}
bool BVFile::Rewind() {
    return Seek(0, 0);
}
int BVFile::FillBuffer() {
    return -1;
}
bool BVFile::Flush() {
    return false;
}
