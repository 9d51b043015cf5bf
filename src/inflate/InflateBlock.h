// InflateBlock: expands a compressed container held in memory in one call.
#pragma once

// Expands the container of size bytes at data (only read, never freed) into a
// new zero-filled block of global memory, which the caller frees with
// GlobalFree. Bytes that are not a container come back as a copy. Returns null
// when the data cannot be opened (outSize -1), when the expanded size is 0 or
// less, when the block cannot be had, when fewer bytes than the expanded size
// come out, or when the CRC fails (outSize the expanded size in those cases).
// outSize may be null.
void* InflateBlock(const void* data, int size, int* outSize);
