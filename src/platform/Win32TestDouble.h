// Faults that the native stand-in for kernel32 can play on request, so that
// tests reach the failure paths of the file classes without a broken disk.
// Native builds only; the settings are process-wide and meant for one test at
// a time. Reset() restores the healthy platform.
#pragma once

#ifndef _WIN32
#include <cstdint>

namespace Win32TestDouble {

// Bytes that WriteFile may still put on disk, counted down by every write; a
// write that does not fit writes what fits and fails with ERROR_DISK_FULL.
// Negative: no limit (the default).
void SetDiskSpace(std::int64_t bytes);

// When set, every ReadFile fails with ERROR_READ_FAULT and reads nothing.
void SetReadFault(bool fail);

void Reset();

} // namespace Win32TestDouble
#endif
