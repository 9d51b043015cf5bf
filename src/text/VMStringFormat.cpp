#include "text/VMStringFormat.h"

#include "text/BVString.h"
#include "text/TextBytes.h"
#include "text/VMString.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <system_error>
#include <type_traits>

namespace {

constexpr int kTooSmall = -1;
constexpr int kMalformed = -2;

// The exact decimal expansion of a double has at most 767 significant digits,
// so any %g precision from 1024 up gives the same text (the style choice
// compares it with exponents of at most 308). Larger ones are cut to this so
// that a huge precision costs nothing.
constexpr int kWidestGPrecision = 1024;

// The caller's buffer: every write checks the room left first.
class Output {
  public:
    Output(std::uint8_t* buffer, int capacity)
        : at(buffer), left(buffer != nullptr && capacity > 0 ? capacity : 0) {}

    bool Put(char c) {
        if (left < 1)
            return false;
        *at = static_cast<std::uint8_t>(c);
        Advance(1);
        return true;
    }
    // Fields are mostly a few bytes: a loop costs less than a library call.
    bool Fill(char c, std::int64_t n) {
        if (n > left)
            return false;
        if (n > kShort)
            std::memset(at, c, static_cast<std::size_t>(n));
        else
            for (std::int64_t i = 0; i < n; ++i)
                at[i] = static_cast<std::uint8_t>(c);
        Advance(n);
        return true;
    }
    bool Bytes(const char* p, std::int64_t n) {
        if (n > left)
            return false;
        if (n > kShort)
            std::memcpy(at, p, static_cast<std::size_t>(n));
        else
            for (std::int64_t i = 0; i < n; ++i)
                at[i] = static_cast<std::uint8_t>(p[i]);
        Advance(n);
        return true;
    }
    std::int32_t Left() const { return left; }
    std::int32_t Written() const { return written; }

  private:
    static constexpr std::int64_t kShort = 16;

    void Advance(std::int64_t n) {
        at += n;
        written += static_cast<std::int32_t>(n);
        left -= static_cast<std::int32_t>(n);
    }

    std::uint8_t* at;
    std::int32_t left;
    std::int32_t written = 0;
};

enum class Kind { None, Integer, Floating, String, Character, Skipped };

Kind Classify(char c) {
    switch (c) {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        return Kind::Integer;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        return Kind::Floating;
    case 's':
    case 'S':
        return Kind::String;
    case 'c':
    case 'C':
        return Kind::Character;
    case 'n':
    case 'p':
    case 'Z':
        return Kind::Skipped;
    default:
        return Kind::None;
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsAlnum(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A width or precision as written: decimal digits, '*', or neither.
struct Number {
    bool star = false;
    int digits = 0;
    std::int64_t value = 0;

    void Digit(char c) {
        ++digits;
        if (digits <= 10)
            value = value * 10 + (c - '0');
    }
    // More than 10 digits or a value beyond int32 counts as 0.
    int Resolve(va_list* args) const {
        if (star)
            return va_arg(*args, int);
        if (digits == 0)
            return -1;
        return digits > 10 || value > 0x7FFFFFFF ? 0 : static_cast<int>(value);
    }
};

struct Conversion {
    bool left = false;
    bool plus = false;
    bool zero = false;
    bool alternate = false;
    int width = -1;
    int precision = -1;
    bool wide = false;
    Kind kind = Kind::None;
    char letter = 0; // lower case
    bool upper = false;
    bool negative = false;
    bool showPlus = false;
};

// l, ll, I, I6 and I64 select 64-bit integers: the modifier, over its own
// length, is the start of "ll" or of "I64".
bool IsWideModifier(const char* modifier, std::size_t n) {
    return n > 0 && ((n <= 2 && std::strncmp(modifier, "ll", n) == 0) ||
                     (n <= 3 && std::strncmp(modifier, "I64", n) == 0));
}

// Reads flags, width, precision and length modifier from [p, end), the
// characters between '%' and the conversion character, then takes the '*'
// arguments in order.
void ParseSpecification(const char* p, const char* end, Conversion& conv, va_list* args) {
    enum { Flags, Width, Precision, Modifier } state = Flags;
    Number width, precision;
    const char* modifier = end;
    std::size_t modifierLength = 0;
    for (; p < end; ++p) {
        const char c = *p;
        if (state == Flags) {
            if (c == ' ' || c == '#' || c == '+' || c == '-' || c == '0') {
                conv.alternate |= c == '#';
                conv.plus |= c == '+';
                conv.left |= c == '-';
                conv.zero |= c == '0';
                continue;
            }
            state = Width;
        }
        Number* field = state == Width ? &width : state == Precision ? &precision : nullptr;
        if (field != nullptr) {
            if (IsDigit(c) || c == '*') {
                if (c == '*')
                    field->star = true;
                else
                    field->Digit(c);
                continue;
            }
            if (c == '.' && state == Width) {
                state = Precision;
                continue;
            }
            state = Modifier;
        }
        if (!IsAlnum(c))
            break; // the rest up to the conversion character is ignored
        if (modifierLength++ == 0)
            modifier = p;
    }
    if (conv.left)
        conv.zero = false;
    conv.width = width.Resolve(args);
    conv.precision = precision.Resolve(args);
    conv.wide = IsWideModifier(modifier, modifierLength);
}

// Room for the digits of any integer and of the usual floating values; a
// floating value that needs more is left to the C formatter.
constexpr int kDigitRoom = 112;

// The body of one conversion: zeros, then bytes, then a suffix.
struct Body {
    char digits[kDigitRoom];
    std::optional<BVString> spill; // the C formatter's digits, when text points into them
    const char* text = "";
    std::int64_t length = 0;
    std::int64_t zeros = 0;
    const char* suffix = "";
    std::int64_t suffixLength = 0;
    std::int64_t Total() const { return zeros + length + suffixLength; }
    void Take(const char* end) {
        text = digits;
        length = end - digits;
    }
    void Upper() {
        for (std::int64_t i = 0; i < length; ++i)
            if (digits[i] >= 'a' && digits[i] <= 'z')
                digits[i] = static_cast<char>(digits[i] - 'a' + 'A');
    }
};

// The digits of one integer come from to_chars, which writes what the C
// formatter writes for %u, %o, %x and (without the sign) %d: no prefix, no
// padding, lower-case hex.
template <class Unsigned> void TakeUnsigned(Body& body, Unsigned v, int base, bool upper) {
    static_assert(std::is_unsigned<Unsigned>::value, "magnitudes only");
    body.Take(std::to_chars(body.digits, body.digits + kDigitRoom, v, base).ptr);
    if (upper)
        body.Upper();
}

int Base(char letter) {
    return letter == 'o' ? 8 : letter == 'x' ? 16 : 10;
}

// The magnitude of a negative value: unsigned arithmetic, so that the most
// negative one has a magnitude too.
template <class Signed> typename std::make_unsigned<Signed>::type Magnitude(Signed v) {
    using Unsigned = typename std::make_unsigned<Signed>::type;
    return v < 0 ? static_cast<Unsigned>(Unsigned{0} - static_cast<Unsigned>(v))
                 : static_cast<Unsigned>(v);
}

void IntegerBody(Conversion& conv, Body& body, va_list* args) {
    if (conv.letter == 'd' || conv.letter == 'i') {
        int sign = 0;
        if (conv.wide) {
            const long long v = va_arg(*args, long long);
            sign = v > 0 ? 1 : v < 0 ? -1 : 0;
            TakeUnsigned(body, Magnitude(v), 10, false);
        } else {
            const int v = va_arg(*args, int);
            sign = v > 0 ? 1 : v < 0 ? -1 : 0;
            TakeUnsigned(body, Magnitude(v), 10, false);
        }
        conv.showPlus = sign > 0 && conv.plus;
        conv.negative = sign < 0;
    } else if (conv.wide) {
        TakeUnsigned(body, va_arg(*args, unsigned long long), Base(conv.letter), conv.upper);
    } else {
        TakeUnsigned(body, va_arg(*args, unsigned), Base(conv.letter), conv.upper);
    }
    const int pad = conv.precision >= 0 ? conv.precision : conv.zero ? conv.width : -1;
    if (pad > body.length)
        body.zeros = pad - body.length;
}

const char* FloatingSubFormat(const Conversion& conv) {
    switch (conv.letter) {
    case 'e':
        if (conv.alternate)
            return conv.upper ? "%#.*E" : "%#.*e";
        return conv.upper ? "%.*E" : "%.*e";
    case 'g':
        return conv.upper ? "%.*G" : "%.*g"; // '#' is handled after formatting
    default:                                 // 'f' and 'a'
        if (conv.alternate)
            return conv.upper ? "%#.*F" : "%#.*f";
        return conv.upper ? "%.*F" : "%.*f";
    }
}

// to_chars with a precision writes what the C formatter writes for %.*f,
// %.*e and %.*g; the '#' forms, infinities and NaNs (whose spelling is the C
// library's choice) and texts longer than the digit room are left to it.
bool FloatingDigits(const Conversion& conv, Body& body, int precision, double v) {
    if (!std::isfinite(v) || (conv.alternate && conv.letter != 'g'))
        return false;
    const std::chars_format style = conv.letter == 'e'   ? std::chars_format::scientific
                                    : conv.letter == 'g' ? std::chars_format::general
                                                         : std::chars_format::fixed;
    const std::to_chars_result r =
        std::to_chars(body.digits, body.digits + kDigitRoom, v, style, precision);
    if (r.ec != std::errc())
        return false;
    body.Take(r.ptr);
    if (conv.upper)
        body.Upper(); // only an exponent's 'e' is a letter here
    return true;
}

// False when the body cannot fit the room left (it would return -1 anyway).
bool FloatingBody(Conversion& conv, Body& body, int room, va_list* args) {
    double v = va_arg(*args, double);
    conv.showPlus = v > 0 && conv.plus;
    if (v < 0) {
        conv.negative = true;
        v = -v;
    }
    int precision = conv.precision >= 0 ? conv.precision : 6;
    if (conv.letter == 'g') {
        if (precision > kWidestGPrecision)
            precision = kWidestGPrecision;
    } else if (precision >= room && std::isfinite(v)) {
        return false; // a finite 'e' or 'f' writes a digit and precision more
    }
    if (!FloatingDigits(conv, body, precision, v)) {
        const BVString& spill =
            body.spill.emplace(BVString::Format(FloatingSubFormat(conv), precision, v));
        body.text = spill.IsNull() ? "" : spill.Text();
        body.length = spill.Length();
    }
    if (conv.letter == 'g' && conv.alternate &&
        std::memchr(body.text, '.', body.length) == nullptr) {
        body.suffix = ".0";
        body.suffixLength = 2;
    }
    return true;
}

void StringBody(const Conversion& conv, Body& body, va_list* args) {
    const char* s = va_arg(*args, const char*);
    if (s == nullptr)
        return;
    body.text = s;
    // A byte count: the cut may fall inside a two-byte character.
    std::int64_t n = 0;
    while ((conv.precision < 0 || n < conv.precision) && s[n] != 0)
        ++n;
    body.length = n;
}

void CharacterBody(Body& body, char (&byte)[2], va_list* args) {
    byte[0] = static_cast<char>(va_arg(*args, int) & 0xFF);
    body.text = byte;
    body.length = byte[0] != 0 ? 1 : 0; // a zero byte ends the body
}

// Spaces, sign, body, spaces; the sign stands outside the width, and a
// negative width pads nothing.
bool Assemble(Output& out, const Conversion& conv, const Body& body) {
    const std::int64_t n = body.Total();
    const std::int64_t pad = conv.width > n ? conv.width - n : 0;
    if (!conv.left && !out.Fill(' ', pad))
        return false;
    if ((conv.negative || conv.showPlus) && !out.Put(conv.negative ? '-' : '+'))
        return false;
    if (!out.Fill('0', body.zeros) || !out.Bytes(body.text, body.length) ||
        !out.Bytes(body.suffix, body.suffixLength))
        return false;
    return !conv.left || out.Fill(' ', pad);
}

// Formats the conversion whose specification starts at format[i], the
// character after '%'. On success moves i past the conversion character and
// returns 0; else -1 or -2.
int Convert(Output& out, const char* format, std::size_t len, std::size_t& i, va_list* args) {
    const std::size_t start = i;
    std::size_t at = start;
    for (; at < len && Classify(format[at]) == Kind::None; ++at) {
        if (textbytes::IsLead(static_cast<std::uint8_t>(format[at])) && at + 1 < len)
            return kMalformed; // a two-byte character inside a conversion
    }
    if (at == len)
        return kMalformed;
    i = at + 1;
    Conversion conv;
    conv.kind = Classify(format[at]);
    if (conv.kind == Kind::Skipped)
        return 0; // dropped whole, no argument taken
    conv.upper = format[at] >= 'A' && format[at] <= 'Z';
    conv.letter = conv.upper ? static_cast<char>(format[at] - 'A' + 'a') : format[at];
    ParseSpecification(format + start, format + at, conv, args);

    Body body;
    char byte[2] = {0, 0};
    switch (conv.kind) {
    case Kind::Integer:
        IntegerBody(conv, body, args);
        break;
    case Kind::Floating:
        if (!FloatingBody(conv, body, out.Left(), args))
            return kTooSmall;
        break;
    case Kind::String:
        StringBody(conv, body, args);
        break;
    default:
        CharacterBody(body, byte, args);
        break;
    }
    return Assemble(out, conv, body) ? 0 : kTooSmall;
}

// The top-level scan: copies text, keeps two-byte characters whole, holds a
// backslash until the character after it, and hands conversions to Convert.
int Scan(Output& out, const char* format, std::size_t len, va_list* args) {
    bool inConversion = false;
    bool backslash = false;
    std::size_t i = 0;
    while (i < len) {
        const char c = format[i];
        if (textbytes::IsLead(static_cast<std::uint8_t>(c)) && i + 1 < len) {
            if (inConversion || backslash)
                return kMalformed;
            if (!out.Bytes(format + i, 2))
                return kTooSmall;
            i += 2;
        } else if (backslash) {
            // The backslash stays; the character after it is not interpreted.
            if (out.Left() < 2)
                return kTooSmall;
            out.Put('\\');
            out.Put(c);
            backslash = false;
            ++i;
        } else if (!inConversion) {
            if (c == '%')
                inConversion = true;
            else if (c == '\\')
                backslash = true;
            else if (!out.Put(c))
                return kTooSmall;
            ++i;
        } else if (c == '%') {
            if (!out.Put('%'))
                return kTooSmall;
            inConversion = false;
            ++i;
        } else {
            const int result = Convert(out, format, len, i, args);
            if (result < 0)
                return result;
            inConversion = false;
        }
    }
    // A '%' or backslash still open at the end writes nothing.
    if (!out.Put(0))
        return kTooSmall;
    return out.Written() - 1;
}

// FormatInto for a format whose length the caller knows.
int FormatKnownLength(std::uint8_t* buffer, int capacity, const char* format, std::size_t len,
                      va_list args) {
    Output out(buffer, capacity);
    va_list walk;
    va_copy(walk, args);
    const int result = Scan(out, format, len, &walk);
    va_end(walk);
    return result;
}

} // namespace

int FormatInto(std::uint8_t* buffer, int capacity, const char* format, va_list args) {
    if (format == nullptr)
        return kMalformed;
    return FormatKnownLength(buffer, capacity, format, std::strlen(format), args);
}

// --- the driver -------------------------------------------------------------------

namespace {

// Most results fit here, so that the driver knows a result's size before it
// allocates and allocates once.
constexpr int kStackRoom = 512;

// The first of the retry loop's sizes, starting from wanted and growing by
// extra, that holds n bytes and their zero byte; -1 when no record can.
std::int32_t FittingCapacity(std::int64_t wanted, std::int64_t extra, int n) {
    for (;;) {
        if (wanted > TextBuffer::kMaxLength)
            return -1;
        const std::int32_t capacity = TextBuffer::CapacityFor(static_cast<int>(wanted));
        if (capacity < 0 || n < capacity)
            return capacity;
        wanted = std::int64_t{capacity} + extra;
    }
}

// A record held by one text alone, owning its bytes, with no allocator and
// exactly the capacity a new block would get, can take a result in place: the
// text ends as a new block would leave it, without the allocator's round
// trips. The result is built apart first, so an argument that points into
// the old text has been read before its bytes are overwritten.
bool Reusable(const TextBuffer* record, std::int32_t capacity) {
    return record != nullptr && capacity > 0 && record->shareCount == 1 &&
           record->allocator == nullptr && record->data != nullptr && record->capacity == capacity;
}

} // namespace

// The block ends up with the capacity at which the grow-and-retry loop would
// first succeed: 8 bytes per '%' plus 8 is its first guess and its step. A
// result that fits the stack is formatted there once and copied into a block
// of that capacity; a longer one goes through the loop itself.
void VMString::FormatV(const char* format, va_list args) {
    if (format == nullptr) {
        Clear();
        return;
    }
    const std::size_t len = std::strlen(format);
    std::int64_t extra = 8;
    for (std::size_t i = 0; i < len && extra <= TextBuffer::kMaxLength; ++i)
        extra += format[i] == '%' ? 8 : 0;
    const std::int64_t wanted = static_cast<std::int64_t>(len) + extra;

    std::uint8_t stack[kStackRoom];
    const int measured = FormatKnownLength(stack, kStackRoom, format, len, args);
    if (measured == kMalformed) {
        Clear();
        return;
    }
    std::int32_t capacity = FittingCapacity(wanted, extra, measured >= 0 ? measured : kStackRoom);
    if (measured >= 0 && Reusable(buffer, capacity)) {
        std::memcpy(buffer->data, stack, static_cast<std::size_t>(measured) + 1);
        buffer->length = measured;
        buffer->MarkEnd();
        Attach(buffer, 0, measured);
        return;
    }
    for (;;) {
        // A text no record can hold, or a block that cannot be had, leaves
        // the text null rather than looping or overrunning.
        char* block = capacity < 0 ? nullptr : TextBuffer::AllocateBlock(nullptr, capacity);
        if (block == nullptr) {
            Clear();
            return;
        }
        int result = measured;
        if (result >= 0)
            std::memcpy(block, stack, static_cast<std::size_t>(result) + 1);
        else
            result = FormatKnownLength(reinterpret_cast<std::uint8_t*>(block), capacity, format,
                                       len, args);
        if (result >= 0) {
            AdoptBuffer(reinterpret_cast<std::uint8_t*>(block), 0, result, capacity, nullptr);
            return;
        }
        TextBuffer::FreeBlock(nullptr, block);
        if (result != kTooSmall) {
            Clear();
            return;
        }
        capacity = FittingCapacity(std::int64_t{capacity} + extra, extra, 0);
    }
}

void VMString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}
