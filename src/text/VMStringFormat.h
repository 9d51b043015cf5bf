// FormatInto: the printf-style engine behind VMString::FormatV and Format.
//
// The engine parses the format and walks the arguments itself; only the
// digits of one number come from the standard library: to_chars into a stack
// buffer, or, for what to_chars does not spell as the C formatter does (the
// '#' forms, infinities, NaNs, very long expansions), BVString::Format with a
// fixed sub-format. Its rules are the framework's own and differ from C's:
// the sign stands outside the field width; '+' gives no sign to 0; ' ' is
// ignored; '#' adds no 0/0x prefix and makes %g end in ".0" when it has no
// point; '0' does not pad floating values; "." alone leaves the precision
// unset; precision 0 still writes the digit of 0; l, ll, I, I6 and I64 take
// 64-bit integers; %a is fixed-point like %f; %S and %C are narrow; %n, %p
// and %Z are dropped and take no argument; a negative '*' width pads nothing;
// %c of 0 writes nothing; a backslash keeps itself and the character after it
// uninterpreted; Shift-JIS characters are copied whole and are an error
// inside a conversion or right after a backslash.
#pragma once

#include <cstdarg>
#include <cstdint>

// Writes format with args into buffer[0, capacity). Returns the bytes written,
// not counting the zero byte that always follows them; -1 when the capacity
// does not suffice (the buffer content is then undefined, but nothing is ever
// written at or past capacity); -2 when the format is malformed (a '%' with no
// conversion character before the end, a two-byte character inside a
// conversion or right after a backslash, or no format). args is read through
// a copy, so the caller may pass it again.
int FormatInto(std::uint8_t* buffer, int capacity, const char* format, va_list args);
