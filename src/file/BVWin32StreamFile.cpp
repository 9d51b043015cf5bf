#include "file/BVWin32StreamFile.h"

#include <shlwapi.h>

#include <cstdint>

namespace {

// An offset this far out reaches no stream position that a 32-bit size can
// describe; refusing it keeps the read-ahead correction free of overflow.
constexpr std::int64_t kLargestOffset = INT64_C(1) << 62;

} // namespace

BVWin32StreamFile::~BVWin32StreamFile() {
    Close(true);
}

std::uint32_t BVWin32StreamFile::ModeFromStream(DWORD grfMode) {
    std::uint32_t flags = 0;
    if (grfMode & STGM_WRITE)
        flags |= ModeWrite;
    // 0x30 covers STGM_SHARE_EXCLUSIVE, STGM_SHARE_DENY_WRITE and _DENY_READ.
    if ((grfMode & 0x30) == 0)
        flags |= ModeShareRead;
    if ((grfMode & 0x20) == 0)
        flags |= ModeShareWrite;
    return flags;
}

bool BVWin32StreamFile::TakeBuffer(std::uint32_t size) {
    buffer = static_cast<std::uint8_t*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size));
    if (buffer == nullptr) {
        Close(true);
        return false;
    }
    capacity = size;
    cursor = buffer;
    available = 0;
    length = GetStreamSize();
    return true;
}

bool BVWin32StreamFile::Attach(IStream* source, std::uint32_t size) {
    // A buffer of 0 bytes could never be filled: refused like a missing stream.
    if (source == nullptr || size == 0)
        return false;
    STATSTG stat{};
    if (FAILED(source->Stat(&stat, STATFLAG_NONAME)))
        return false;
    Close(true); // a stream attached before is given back, not leaked
    position = 0;
    stream = source;
    stream->AddRef();
    mode = ModeFromStream(stat.grfMode);
    bufferSize = size;
    return TakeBuffer(size);
}

bool BVWin32StreamFile::Open(const char* path, std::uint32_t openMode, std::uint32_t size) {
    if (path == nullptr || (size == 0 && !(openMode & ModeHandleOnly)))
        return false;
    IStream* opened = nullptr;
    if (FAILED(SHCreateStreamOnFileA(path, STGM_READ, &opened)))
        return false;
    Close(true);
    stream = opened; // the reference SHCreateStreamOnFileA handed over
    mode = openMode;
    bufferSize = size;
    if (mode & ModeHandleOnly)
        return true; // no buffer, length 0
    if (!TakeBuffer(size))
        return false;
    position = (mode & ModeWrite) && (mode & ModeAppend) ? length : 0;
    if (mode & ModeAppend)
        Seek(0, 2);
    return true;
}

std::int32_t BVWin32StreamFile::GetStreamSize() {
    if (stream == nullptr)
        return 0;
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)))
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(stat.cbSize.QuadPart));
}

int BVWin32StreamFile::FillBuffer() {
    if (stream == nullptr || (mode & ModeHandleOnly) || buffer == nullptr)
        return -1;
    ULONG got = 0;
    const HRESULT hr = stream->Read(buffer, capacity, &got);
    if (FAILED(hr)) {
        available = 0;
        return -1;
    }
    // A stream that claims more than it was asked for is not believed
    // beyond the buffer.
    available = got > capacity ? capacity : got;
    if (available == 0)
        return 0;
    cursor = buffer;
    return 1;
}

bool BVWin32StreamFile::Flush() {
    if (stream == nullptr || (mode & ModeHandleOnly))
        return false;
    const ULONG waiting = static_cast<ULONG>(cursor - buffer);
    if (waiting == 0)
        return true;
    ULONG written = 0;
    const HRESULT hr = stream->Write(buffer, waiting, &written);
    if (FAILED(hr) || written != waiting)
        return false;
    cursor = buffer;
    return true;
}

std::int64_t BVWin32StreamFile::GetPosition() {
    if (stream == nullptr || (mode & ModeHandleOnly))
        return 0;
    LARGE_INTEGER zero{};
    ULARGE_INTEGER now{};
    // A stream that cannot tell its place gives 0, not 0 less the read-ahead.
    if (FAILED(stream->Seek(zero, STREAM_SEEK_CUR, &now)))
        return 0;
    const auto p = static_cast<std::int32_t>(static_cast<std::uint32_t>(now.QuadPart));
    if (mode & ModeWrite)
        return std::int64_t{p} + (cursor - buffer);
    return std::int64_t{p} - available;
}

bool BVWin32StreamFile::SeekStream(std::int64_t offset, DWORD origin) {
    LARGE_INTEGER move;
    move.QuadPart = offset;
    ULARGE_INTEGER now{};
    if (FAILED(stream->Seek(move, origin, &now)))
        return false;
    position = static_cast<std::int64_t>(now.QuadPart);
    available = 0; // the next Read refills from the new place
    return true;
}

bool BVWin32StreamFile::Seek(std::int64_t offset, int origin) {
    if (stream == nullptr || (mode & ModeHandleOnly))
        return false;
    if ((mode & ModeWrite) && !Flush())
        return false;
    switch (origin) {
    case 0:
        return SeekStream(offset, STREAM_SEEK_SET);
    case 2:
        return SeekStream(offset, STREAM_SEEK_END);
    case 1: {
        const bool inBuffer =
            offset >= 0 ? offset <= std::int64_t{available} : cursor - buffer + offset >= 0;
        if (!(mode & ModeWrite) && inBuffer) {
            position += offset;
            cursor += offset;
            available = static_cast<std::uint32_t>(available - offset);
            return true;
        }
        if (offset > kLargestOffset || offset < -kLargestOffset)
            return false;
        // The stream is ahead of the read point by the bytes read ahead.
        return SeekStream(offset - available, STREAM_SEEK_CUR);
    }
    default:
        return false;
    }
}

bool BVWin32StreamFile::Close(bool force) {
    if (!BVFile::Close(force))
        return false;
    if (stream != nullptr)
        stream->Release();
    stream = nullptr;
    if (buffer != nullptr && capacity != 0)
        GlobalFree(buffer);
    buffer = nullptr;
    capacity = 0;
    return true;
}
