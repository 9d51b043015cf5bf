// The few Win32 types and kernel32 calls that the portable framework uses.
//
// In the Windows builds this is <windows.h> itself. In the native Linux build
// it declares the same names and the platform layer implements them over the
// C library, so that the framework's logic can be built and tested under the
// sanitizers. It stands in for kernel32 only: COM, GDI and the registry stay
// in shell/ and are never declared here.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstddef>
#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using SIZE_T = std::size_t;
using HGLOBAL = void*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// Global memory. Only fixed blocks exist: the handle is the block's address.
// GMEM_ZEROINIT zero-fills a new block, and on GlobalReAlloc the bytes added
// at the end. GlobalFree returns null on success, as kernel32's does.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags);
HGLOBAL GlobalFree(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);
#endif
