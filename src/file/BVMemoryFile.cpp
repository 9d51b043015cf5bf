#include "file/BVMemoryFile.h"

#include "file/BVWin32File.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

BVMemoryFile* BVMemoryFile::FromMemory(const void* data, std::uint32_t size) {
    BVMemoryFile* file = new (std::nothrow) BVMemoryFile;
    if (file != nullptr && !file->Attach(data, 0, size)) {
        delete file;
        return nullptr;
    }
    return file;
}

BVMemoryFile::~BVMemoryFile() {
    Close(true);
}

bool BVMemoryFile::Close(bool force) {
    BVFile::Close(force); // Flush cannot fail here, so neither can this
    if (buffer != nullptr && capacity != 0)
        GlobalFree(buffer);
    buffer = nullptr;
    capacity = 0;
    return true;
}

bool BVMemoryFile::Open(BVString data) {
    Close(true);
    backing = data;
    buffer = reinterpret_cast<std::uint8_t*>(const_cast<char*>(backing.Text()));
    length = backing.Length();
    bufferSize = 0;
    position = 0;
    cursor = buffer;
    available = static_cast<std::uint32_t>(backing.Length());
    mode = 0;
    lastOk = 1;
    return true;
}

bool BVMemoryFile::Attach(const void* data, int offset, std::uint32_t size) {
    // Reading starts at offset; outside the block it would start past its end.
    if (offset < 0 || static_cast<std::uint32_t>(offset) > size || (data == nullptr && size != 0))
        return false;
    Close(true);
    // Never written through: without ModeWrite, Write refuses.
    buffer = static_cast<std::uint8_t*>(const_cast<void*>(data));
    length = size;
    bufferSize = 0;
    position = 0;
    cursor = buffer + offset;
    available = size - static_cast<std::uint32_t>(offset);
    mode = 0;
    lastOk = 1;
    return true;
}

bool BVMemoryFile::Create(std::uint32_t growStep, bool fullLength) {
    Close(true);
    // A growth step of 0 could never make room.
    void* block = growStep == 0 ? nullptr : GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, growStep);
    if (block == nullptr)
        return false;
    buffer = static_cast<std::uint8_t*>(block);
    capacity = growStep;
    bufferSize = growStep;
    position = 0;
    mode = ModeWrite;
    length = fullLength ? growStep : 0;
    lastOk = 1;
    cursor = buffer;
    available = 0;
    return true;
}

bool BVMemoryFile::Grow(std::uint32_t count) {
    // Only a block of our own grows: borrowed content has no growth step.
    if (bufferSize == 0 || (buffer != nullptr && capacity == 0))
        return false;
    const std::uint64_t steps = (std::uint64_t{count} + bufferSize - 1) / bufferSize;
    const std::uint64_t wanted = capacity + steps * bufferSize;
    if (wanted > UINT32_MAX) // capacity is 32-bit: such a block could not be described
        return false;
    const std::uint32_t newCapacity = static_cast<std::uint32_t>(wanted);
    if (newCapacity == capacity)
        return true;
    const std::size_t cursorOffset = static_cast<std::size_t>(cursor - buffer);
    void* block = buffer != nullptr
                      ? GlobalReAlloc(buffer, newCapacity, GMEM_MOVEABLE | GMEM_ZEROINIT)
                      : GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, newCapacity);
    if (block == nullptr)
        return false;
    buffer = static_cast<std::uint8_t*>(block);
    cursor = buffer + cursorOffset;
    capacity = newCapacity;
    return true;
}

void BVMemoryFile::MoveTo(std::int64_t target) {
    position = target;
    cursor = buffer + target;
    available = static_cast<std::uint32_t>(length - target);
}

bool BVMemoryFile::Seek(std::int64_t offset, int origin) {
    // Relative seeks count from the read or write point, which Read moves too.
    std::int64_t target = GetPosition();
    if (origin == 0)
        target = offset;
    else if ((origin == 1 || origin == 2) && (offset > INT64_MAX / 2 || offset < INT64_MIN / 2))
        return false; // no block comes near; refused before the sum could overflow
    else if (origin == 1)
        target += offset;
    else if (origin == 2)
        target = length + offset;
    target = std::max<std::int64_t>(target, 0);
    if (target > length) {
        if ((mode & ModeWrite) == 0) {
            target = length; // reading never extends the content
        } else {
            if (target > capacity && (target - capacity > UINT32_MAX ||
                                      !Grow(static_cast<std::uint32_t>(target - capacity))))
                return false;
            length = target;
        }
    }
    MoveTo(target);
    return true;
}

bool BVMemoryFile::Write(const void* buf, int offset, int count) {
    if ((mode & ModeWrite) == 0)
        return false;
    if (count > 0 && buf == nullptr)
        return false;
    const std::uint8_t* src = count > 0 ? static_cast<const std::uint8_t*>(buf) + offset : nullptr;
    while (count > 0) {
        if (static_cast<std::uint32_t>(cursor - buffer) >= capacity &&
            !Grow(static_cast<std::uint32_t>(count)))
            return false;
        const std::uint32_t room = capacity - static_cast<std::uint32_t>(cursor - buffer);
        const std::uint32_t n = std::min(room, static_cast<std::uint32_t>(count));
        std::memcpy(cursor, src, n);
        position += n;
        cursor += n;
        src += n;
        count -= static_cast<int>(n);
        length = std::max(length, position);
        available = static_cast<std::uint32_t>(length - position);
    }
    return true;
}

bool BVMemoryFile::SetLength(std::int64_t newLength) {
    // A read-only block cannot hold more than it has: a longer length would
    // let reads run past the content.
    if (newLength < 0 || ((mode & ModeWrite) == 0 && newLength > length))
        return false;
    const std::int64_t p = GetPosition();
    if (!Seek(newLength, 0))
        return false;
    length = newLength;
    return Seek(std::min(p, newLength), 0);
}

std::int64_t BVMemoryFile::GetPosition() {
    return cursor - buffer;
}

int BVMemoryFile::FillBuffer() {
    return 0;
}

bool BVMemoryFile::Flush() {
    return true;
}

bool BVMemoryFile::SaveAs(const char* path) {
    std::unique_ptr<BVWin32File> disk(BVWin32File::Create(path, ModeWrite));
    if (disk == nullptr)
        return false;
    // Write takes int counts; a block may hold up to 4 GiB.
    constexpr std::int64_t kChunk = 1 << 30;
    for (std::int64_t done = 0; done < length; done += kChunk) {
        const int n = static_cast<int>(std::min(kChunk, length - done));
        if (!disk->Write(buffer + done, n))
            return false;
    }
    return disk->Close(false);
}
