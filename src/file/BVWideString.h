// BVWideString: the 16-bit companion of BVString used by BVFile's wide text
// members.
//
// It holds a share of a TextBuffer record whose length counts bytes (so an
// odd byte count is possible) and points data at the record's bytes. Copies
// share the record; SizeForWriting makes it private before anyone writes.
#pragma once

#include "text/TextBuffer.h"

#include <cstdint>

// One UTF-16 code unit. On Windows this is wchar_t itself; elsewhere wchar_t
// is 32 bits wide, so the native build uses char16_t to keep the same layout.
#ifdef _WIN32
using BVWChar = wchar_t;
#else
using BVWChar = char16_t;
#endif
static_assert(sizeof(BVWChar) == 2, "wide text is stored in 16-bit units");

class BVWideString {
  public:
    BVWideString() = default;
    BVWideString(const BVWideString& other);
    BVWideString& operator=(const BVWideString& other);
    ~BVWideString();

    // Makes the record private and byteLength bytes long (a shared record is
    // copied up to the smaller of the two lengths) and points data at it.
    // False, changing nothing, for a negative or impossible length.
    bool SizeForWriting(int byteLength);
    // Drops the record and clears data.
    void Release();

    BVWChar* Data() const { return data; }
    int ByteLength() const { return holder != nullptr ? holder->length : 0; }
    TextBuffer* Record() const { return holder; }

  private:
    BVWChar* data = nullptr;
    TextBuffer* holder = nullptr;
};
