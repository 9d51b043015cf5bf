// BVString: the framework's light byte string.
//
// A string is a view (text, length) into a shared TextBuffer record; copies
// share the record and count once each in its shareCount. Operations that
// need bytes of their own (Resize on a shared record, Terminate) make a new
// record and leave the old one to its other holders. A null string has no
// text and no record. The view need not be followed by a zero byte until
// Terminate is called. Bytes are not interpreted.
#pragma once

#include "text/TextBuffer.h"

#include <cstdarg>
#include <cstdint>

// gnu_printf: MinGW's C library is not C99 by default, but Format goes
// through the C99 formatter there. clang knows only plain printf.
#if defined(__clang__)
#define BV_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#elif defined(__GNUC__)
#define BV_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define BV_PRINTF_FORMAT(f, a)
#endif

class BVString {
  public:
    BVString() = default;
    // A copy of a zero-terminated text in a record of its own (null text: a
    // null string).
    explicit BVString(const char* text);
    BVString(const BVString& other);
    // Concatenation: left's bytes then right's in a new record; a null
    // operand contributes nothing.
    BVString(const BVString& left, const BVString& right);
    BVString& operator=(const BVString& other);
    virtual ~BVString(); // slot 0, the only virtual operation

    // printf-style formatting into a new record; a formatting error gives a
    // null string. C99 semantics in every build, so both DLLs agree.
    static BVString Format(const char* format, ...) BV_PRINTF_FORMAT(1, 2);
    static BVString FormatV(const char* format, va_list args) BV_PRINTF_FORMAT(1, 0);

    void Clear();

    // Takes over a block made with array new (capacity 0 means length) and
    // views it whole. A null block makes the string null.
    void Adopt(char* bytes, int length, int capacity);

    // Gives the string length bytes of its own and views them whole; on a
    // shared or foreign record with shortenViewOnly and a shorter length only
    // the view is shortened. A negative length, or one that no record can
    // hold, leaves the string as it was.
    void Resize(int length, bool shortenViewOnly);

    // Makes sure a zero byte follows the view (copying the view into a record
    // of its own when needed), so that Text() is a C string afterwards.
    void Terminate();

    const char* Text() const { return text; }
    // Writable bytes; only meaningful on a record held alone (after Resize).
    char* Data() { return text; }
    int Length() const { return length; }
    bool IsNull() const { return text == nullptr; }
    TextBuffer* Record() const { return buffer; }

  private:
    char* text = nullptr;
    std::int32_t length = 0;
    TextBuffer* buffer = nullptr;

    void Attach(TextBuffer* record); // releases the held record, views record whole
};
