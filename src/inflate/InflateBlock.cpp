#include "inflate/InflateBlock.h"

#include "file/BVMemoryFile.h"
#include "inflate/BVInflate.h"
#include "platform/Win32.h"

void* InflateBlock(const void* data, int size, int* outSize) {
    BVInflate inflate;
    // A negative size would let the memory file read far past the caller's block.
    BVMemoryFile* file =
        BVMemoryFile::FromMemory(data, size > 0 ? static_cast<std::uint32_t>(size) : 0);
    if (inflate.Open(file) == 0) {
        if (outSize != nullptr) {
            *outSize = -1;
        }
        return nullptr;
    }
    const int n = inflate.GetSize();
    void* block = nullptr;
    if (n > 0) {
        block = GlobalAlloc(GMEM_ZEROINIT, static_cast<SIZE_T>(n));
        if (block != nullptr && inflate.Read(block, 0, n) != n) {
            GlobalFree(block);
            block = nullptr;
        }
    }
    if (!inflate.Close() && block != nullptr) {
        GlobalFree(block);
        block = nullptr;
    }
    if (outSize != nullptr) {
        *outSize = n;
    }
    return block;
}
