#include "file/BVWin32File.h"

#include <new>

BVWin32File* BVWin32File::Create(const char* path, std::uint32_t mode) {
    BVWin32File* file = new (std::nothrow) BVWin32File;
    if (file != nullptr && !file->Open(path, mode, kDefaultBufferSize)) {
        delete file;
        return nullptr;
    }
    return file;
}

BVWin32File::~BVWin32File() {
    Close(true);
}

BVWin32File::CreateArguments BVWin32File::ArgumentsFor(std::uint32_t mode) {
    const bool write = (mode & ModeWrite) != 0;
    if (mode & ModeHandleOnly)
        return {write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                FILE_FLAG_BACKUP_SEMANTICS};
    DWORD share = 0;
    if (mode & ModeShareRead)
        share |= FILE_SHARE_READ;
    if (mode & ModeShareWrite)
        share |= FILE_SHARE_WRITE;
    if (!write)
        return {GENERIC_READ, share, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL};
    return {GENERIC_WRITE, share, (mode & ModeAppend) ? DWORD{OPEN_ALWAYS} : DWORD{CREATE_ALWAYS},
            FILE_ATTRIBUTE_NORMAL};
}

bool BVWin32File::Open(const char* path, std::uint32_t mode, std::uint32_t size) {
    Close(true);
    // A buffer of 0 bytes could neither be filled nor flushed; refused before
    // CreateFile can truncate anything.
    if (path == nullptr || (size == 0 && !(mode & ModeHandleOnly)))
        return false;
    const CreateArguments a = ArgumentsFor(mode);
    return FinishOpen(
        CreateFileA(path, a.access, a.share, nullptr, a.disposition, a.flags, nullptr), mode, size);
}

bool BVWin32File::Open(const wchar_t* path, std::uint32_t mode, std::uint32_t size) {
    Close(true);
    if (path == nullptr || (size == 0 && !(mode & ModeHandleOnly)))
        return false;
    const CreateArguments a = ArgumentsFor(mode);
    return FinishOpen(
        CreateFileW(path, a.access, a.share, nullptr, a.disposition, a.flags, nullptr), mode, size);
}

bool BVWin32File::FinishOpen(HANDLE opened, std::uint32_t openMode, std::uint32_t size) {
    if (opened == INVALID_HANDLE_VALUE)
        return false;
    handle = opened;
    mode = openMode;
    bufferSize = size;
    lastOk = 1;
    if (mode & ModeHandleOnly)
        return true; // no buffer, length 0
    buffer = static_cast<std::uint8_t*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size));
    if (buffer == nullptr) {
        Close(true);
        return false;
    }
    capacity = size;
    DWORD high = 0;
    SetLastError(NO_ERROR); // an all-ones low part is a size, unless an error is set
    const DWORD low = GetFileSize(handle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        Close(true);
        return false;
    }
    length = static_cast<std::int64_t>((std::uint64_t{high} << 32) | low);
    position = 0;
    available = 0;
    cursor = buffer;
    if (mode & ModeAppend) {
        // Straight to the end, without Seek's 2 GiB limit: a long log must
        // still be appended to, not written over from its start.
        LONG endHigh = 0;
        if (SetFilePointer(handle, 0, &endHigh, FILE_END) == INVALID_SET_FILE_POINTER &&
            GetLastError() != NO_ERROR) {
            Close(true);
            return false;
        }
        position = length;
    }
    return true;
}

bool BVWin32File::Close(bool force) {
    if (!BVFile::Close(force))
        return false;
    if (HasHandle())
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    if (buffer != nullptr && capacity != 0)
        GlobalFree(buffer);
    buffer = nullptr;
    capacity = 0;
    return true;
}

int BVWin32File::FillBuffer() {
    if (mode & ModeHandleOnly)
        return -1;
    DWORD got = 0;
    if (!HasHandle() || buffer == nullptr || !ReadFile(handle, buffer, capacity, &got, nullptr))
        return -1;
    available = got;
    if (got == 0)
        return 0;
    position += got;
    if (HasSection() && position > sectionEnd) {
        const std::int64_t excess = position - sectionEnd;
        available = excess >= available ? 0 : available - static_cast<std::uint32_t>(excess);
        position = sectionEnd; // the end of what may be read, not the handle's pointer
        if (available == 0)
            return 0;
    }
    cursor = buffer;
    return 1;
}

bool BVWin32File::Flush() {
    if (mode & ModeHandleOnly)
        return false;
    const DWORD waiting = static_cast<DWORD>(cursor - buffer);
    if (buffer == nullptr || waiting == 0)
        return true;
    // Waiting bytes with nowhere to go are not written: never report them so.
    if (!HasHandle())
        return false;
    DWORD written = 0;
    WriteFile(handle, buffer, waiting, &written, nullptr);
    if (written != waiting)
        return false;
    cursor = buffer;
    return true;
}

std::int64_t BVWin32File::GetPosition() {
    if ((mode & ModeHandleOnly) || !HasHandle())
        return 0;
    if (mode & ModeWrite) {
        const DWORD pointer = SetFilePointer(handle, 0, nullptr, FILE_CURRENT);
        return std::int64_t{pointer} + (cursor - buffer);
    }
    // From the fields rather than the handle's pointer: a section may have cut
    // the buffered bytes short of the pointer.
    return HasSection() ? ReadPoint() - sectionStart : ReadPoint();
}

bool BVWin32File::MovePointer(std::int64_t distance, DWORD method) {
    LONG oldHigh = 0;
    const DWORD oldLow = SetFilePointer(handle, 0, &oldHigh, FILE_CURRENT);
    LONG high = static_cast<LONG>(distance >> 32);
    const DWORD low = SetFilePointer(
        handle, static_cast<LONG>(static_cast<std::uint32_t>(distance)), &high, method);
    if ((low & 0x80000000u) != 0 || high != 0) {
        // Refused (or beyond 2 GiB): the pointer goes back where it was, so
        // that the buffered bytes and the next refill still agree with it.
        SetFilePointer(handle, static_cast<LONG>(oldLow), &oldHigh, FILE_BEGIN);
        return false;
    }
    position = low;
    available = 0; // the next Read refills from the new place
    return true;
}

bool BVWin32File::Seek(std::int64_t offset, int origin) {
    if ((mode & ModeHandleOnly) || !HasHandle())
        return false;
    if ((mode & ModeWrite) && !Flush())
        return false;
    // No offset beyond ±2^62 comes near a position this class can reach;
    // refusing them keeps every sum below free of overflow.
    if (offset > (INT64_C(1) << 62) || offset < -(INT64_C(1) << 62))
        return false;
    switch (origin) {
    case 0:
        if (!HasSection())
            return MovePointer(offset, FILE_BEGIN);
        return InSection(sectionStart + offset) && MovePointer(sectionStart + offset, FILE_BEGIN);
    case 2:
        if (!HasSection())
            return MovePointer(offset, FILE_END);
        return InSection(sectionEnd + offset) && MovePointer(sectionEnd + offset, FILE_BEGIN);
    case 1: {
        // The place the seek leads to must stay inside the section, also when
        // it stays inside the buffer.
        if (HasSection() && !InSection(ReadPoint() + offset))
            return false;
        const std::int64_t before = cursor - buffer;
        const bool inBuffer = offset >= 0 ? offset <= std::int64_t{available} : -offset <= before;
        if (!(mode & ModeWrite) && inBuffer) {
            // `position` stays the handle's pointer, which has not moved.
            cursor += offset;
            available = static_cast<std::uint32_t>(available - offset);
            return true;
        }
        if (mode & ModeWrite)
            return MovePointer(offset, FILE_CURRENT); // flushed: the pointer is the position
        return MovePointer(ReadPoint() + offset, FILE_BEGIN);
    }
    default:
        return false;
    }
}

bool BVWin32File::SetSection(std::int64_t offset, std::int64_t sectionLength) {
    if ((mode & ModeWrite) || sectionLength < 0 || !Seek(offset, 1))
        return false;
    // Taken from the read point itself, so that a section set after reading
    // starts where the reader is.
    const std::int64_t start = ReadPoint();
    if (sectionLength > INT64_MAX - start)
        return false;
    sectionStart = start;
    sectionEnd = start + sectionLength;
    length = sectionLength;
    // Bytes already buffered past the section's end are not part of it.
    if (available > sectionLength) {
        available = static_cast<std::uint32_t>(sectionLength);
        position = sectionEnd;
    }
    return true;
}

bool BVWin32File::GetFileTime(FILETIME* created, FILETIME* accessed, FILETIME* written) {
    return HasHandle() && ::GetFileTime(handle, created, accessed, written);
}

bool BVWin32File::SetFileTime(const FILETIME* created, const FILETIME* accessed,
                              const FILETIME* written) {
    return HasHandle() && ::SetFileTime(handle, created, accessed, written);
}
