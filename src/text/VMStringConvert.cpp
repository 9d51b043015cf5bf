// VMString conversions: the whole text as a number, the parts of a file
// path, a case-folded CRC-32 and a packed three-byte code.
//
// Integers are parsed by our own rules (an optional sign, a bounded count of
// decimal digits, nothing else); a text those rules refuse may still be taken
// by the C library's strtod when the caller allows it, which is what lets
// "1e3" or " 12.9" through.
#include "inflate/Crc32.h"
#include "text/TextBytes.h"
#include "text/TextVector.h"
#include "text/VMString.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

using textbytes::Fold;
using textbytes::IsLead;

namespace {

enum ParseCode {
    kParsed = 0,
    kNoText = 1,
    kTooLong = 2, // too many digits; or strtod refused the text or ran out of range
    kNotDigit = 3,
    kOutOfRange = 4,
};

const std::uint8_t* U(const char* p) {
    return reinterpret_cast<const std::uint8_t*>(p);
}

// --- integer path ------------------------------------------------------------------

template <class T> struct IntRules {
    static constexpr bool kWide = sizeof(T) == 8;
    static constexpr bool kSigned = std::numeric_limits<T>::is_signed;
    // The narrow types accumulate in 32 bits and share int32's bounds there.
    using Acc = typename std::conditional<kWide, std::uint64_t, std::uint32_t>::type;
    static constexpr int kMaxDigits = kWide ? (kSigned ? 19 : 20) : 10;
    static constexpr Acc kSignedLimit = kWide ? Acc(INT64_MAX) : Acc(INT32_MAX);
    static constexpr Acc kUnsignedTenth = std::numeric_limits<Acc>::max() / 10;
};

// Parses t[0, n) into value (as T's bits, sign applied). n > 0.
template <class T> int ParseInteger(const std::uint8_t* t, int n, T& value) {
    using R = IntRules<T>;
    using Acc = typename R::Acc;
    const bool negative = t[0] == '-';
    const int first = (t[0] == '+' || t[0] == '-') ? 1 : 0;
    const int digits = n - first;
    if (digits > R::kMaxDigits)
        return kTooLong;
    // Only a '-' sign widens the signed bound, so -2147483648 parses.
    const Acc limit = R::kSignedLimit + (negative ? 1 : 0);
    Acc acc = 0;
    for (int i = first; i < n; ++i) {
        if (t[i] < '0' || t[i] > '9')
            return kNotDigit;
        const Acc digit = t[i] - '0';
        if (digits == R::kMaxDigits && i == n - 1) {
            if (R::kSigned && acc > limit / 10)
                return kOutOfRange;
            if (!R::kSigned && (acc > R::kUnsignedTenth || (acc == R::kUnsignedTenth && digit > 5)))
                return kOutOfRange;
        }
        acc = static_cast<Acc>(acc * 10 + digit);
    }
    if (R::kSigned && acc > limit)
        return kOutOfRange;
    // Two's-complement negation in the unsigned accumulator: for the signed
    // types that is the negative value, for uint32 and uint64 the wrapped one.
    const Acc applied = negative ? static_cast<Acc>(0 - acc) : acc;
    if (R::kSigned) {
        using S = typename std::make_signed<Acc>::type;
        const S s = negative ? (acc == 0 ? S(0) : static_cast<S>(-static_cast<S>(acc - 1) - 1))
                             : static_cast<S>(acc);
        if (s < std::numeric_limits<T>::min() || s > std::numeric_limits<T>::max())
            return kOutOfRange;
        value = static_cast<T>(s);
        return kParsed;
    }
    // uint8 and uint16 refuse every negative value, even one that wraps into range.
    if (applied > std::numeric_limits<T>::max() || (negative && acc != 0 && sizeof(T) < 4))
        return kOutOfRange;
    value = static_cast<T>(applied);
    return kParsed;
}

// --- floating-point path --------------------------------------------------------

// strtod over the whole text; code 2 unless it took every byte in range.
int ParseDouble(VMString& s, double& value) {
    s.EnsureTerminated();
    if (s.IsNull() || s.Length() == 0)
        return kNoText;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(s.Text(), &end);
    if (errno == ERANGE || end != s.Text() + s.Length())
        return kTooLong;
    return kParsed;
}

// The value truncated toward zero for an integer type. Values no int64 holds
// (and NaN) are out of range for every type: converting them is undefined.
template <class T> int TruncateDouble(double d, T& value) {
    if (!(d >= -0x1p63 && d < 0x1p63))
        return kOutOfRange;
    const auto whole = static_cast<std::int64_t>(d);
    if (sizeof(T) == 8 && std::numeric_limits<T>::is_signed) {
        value = static_cast<T>(whole);
        return kParsed;
    }
    const std::int64_t low =
        std::numeric_limits<T>::is_signed ? std::int64_t(std::numeric_limits<T>::min()) : 0;
    const bool tooHigh =
        sizeof(T) < 8 && whole > static_cast<std::int64_t>(std::numeric_limits<T>::max());
    if (whole < low || tooHigh)
        return kOutOfRange;
    value = static_cast<T>(whole);
    return kParsed;
}

template <class T> T Report(int code, T parsed, T defaultValue, int* error) {
    if (error != nullptr)
        *error = code;
    return code == kParsed ? parsed : defaultValue;
}

template <class T> T ToInteger(VMString& s, T defaultValue, int* error, bool allowFloat) {
    if (s.IsNull())
        return Report(kNoText, defaultValue, defaultValue, error);
    T value = 0;
    int code = s.Length() == 0 ? int(kNoText) : ParseInteger(U(s.Text()), s.Length(), value);
    if (code != kParsed && allowFloat) {
        double d = 0;
        code = ParseDouble(s, d);
        if (code == kParsed)
            code = TruncateDouble(d, value);
    }
    return Report(code, value, defaultValue, error);
}

// --- hashing ----------------------------------------------------------------------

// Text is folded a block at a time into this much stack and the block fed to
// the fast CRC; one byte more holds a two-byte character cut by the block end.
constexpr int kFoldBlock = 4096;

// The reflected CRC-32 register fed with bytes[start, start + count), A-Z
// folded to a-z outside two-byte characters; a negative count reads up to the
// first zero byte. Returns the register without the final complement.
std::uint32_t FoldedCrc(std::uint32_t reg, const std::uint8_t* bytes, int start, int count) {
    const std::uint8_t* p = bytes + start;
    const std::size_t n =
        count < 0 ? std::strlen(reinterpret_cast<const char*>(p)) : static_cast<std::size_t>(count);
    std::uint8_t block[kFoldBlock + 1];
    for (std::size_t i = 0; i < n;) {
        const std::size_t rest = n - i;
        // end lets FoldText see whether a lead byte at the block's end has a
        // byte after it, without reading further.
        const int want = static_cast<int>(std::min<std::size_t>(rest, kFoldBlock));
        const int end = static_cast<int>(std::min<std::size_t>(rest, kFoldBlock + 1));
        const int got = textvector::FoldText(block, p + i, want, end);
        reg = bv_inflate::Crc32Update(reg, block, static_cast<std::size_t>(got));
        i += static_cast<std::size_t>(got);
    }
    return reg;
}

} // namespace

// --- number parsing -----------------------------------------------------------------

std::int8_t VMString::ToInt8(std::int8_t defaultValue, int* error, bool allowFloat) {
    return ToInteger(*this, defaultValue, error, allowFloat);
}
std::uint8_t VMString::ToUInt8(std::uint8_t defaultValue, int* error, bool allowFloat) {
    return ToInteger(*this, defaultValue, error, allowFloat);
}
std::int16_t VMString::ToInt16(std::int16_t defaultValue, int* error, bool allowFloat) {
    return ToInteger(*this, defaultValue, error, allowFloat);
}
std::uint16_t VMString::ToUInt16(std::uint16_t defaultValue, int* error, bool allowFloat) {
    return ToInteger(*this, defaultValue, error, allowFloat);
}
std::int32_t VMString::ToInt32(std::int32_t defaultValue, int* error, bool allowFloat) {
    return ToInteger(*this, defaultValue, error, allowFloat);
}
std::uint32_t VMString::ToUInt32(std::uint32_t defaultValue, int* error, bool allowFloat) {
    return ToInteger(*this, defaultValue, error, allowFloat);
}
std::int64_t VMString::ToInt64(std::int64_t defaultValue, int* error, bool allowFloat) {
    return ToInteger(*this, defaultValue, error, allowFloat);
}
std::uint64_t VMString::ToUInt64(std::uint64_t defaultValue, int* error, bool allowFloat) {
    return ToInteger(*this, defaultValue, error, allowFloat);
}

// A double beyond float's range becomes an infinity, as the hardware's
// narrowing gives, instead of an undefined conversion.
float VMString::ToFloat(float defaultValue, int* error) {
    double d = 0;
    const int code = ParseDouble(*this, d);
    float f = 0;
    if (std::fabs(d) > std::numeric_limits<float>::max() && !std::isnan(d))
        f = d > 0 ? std::numeric_limits<float>::infinity()
                  : -std::numeric_limits<float>::infinity();
    else
        f = static_cast<float>(d);
    return Report(code, f, defaultValue, error);
}

double VMString::ToDouble(double defaultValue, int* error) {
    double d = 0;
    const int code = ParseDouble(*this, d);
    return Report(code, d, defaultValue, error);
}

// --- path parts ------------------------------------------------------------------------

namespace {

char Separator(bool useSlash) {
    return useSlash ? '/' : '\\';
}

// The last dot or separator, found character by character.
int LastDotOrSeparator(const VMString& s, char separator) {
    const char set[] = {'.', separator, 0};
    return s.ReverseFindOneOf(set, -1);
}

} // namespace

VMString* VMString::FileTitle(bool useSlash) const {
    const char separator = Separator(useSlash);
    const int c = LastDotOrSeparator(*this, separator);
    if (c < 0)
        return new VMString;
    if (textStart[c] == separator)
        return RightFromView(c + 1);
    const int e = ReverseFind(separator, c);
    return e < 0 ? LeftView(c) : MidView(e + 1, c - e - 1);
}

VMString* VMString::FileExtension() const {
    const int b = ReverseFind('.', -1);
    return b < 0 ? new VMString : RightFromView(b + 1);
}

VMString* VMString::DirectoryWithSeparator(bool useSlash) const {
    const char separator = Separator(useSlash);
    const int c = LastDotOrSeparator(*this, separator);
    if (c < 0)
        return new VMString;
    if (textStart[c] == separator)
        return LeftView(c + 1);
    const int d = ReverseFind(separator, c);
    return d < 0 ? new VMString : LeftView(d + 1);
}

VMString* VMString::Directory(bool useSlash) const {
    const char separator = Separator(useSlash);
    const int c = LastDotOrSeparator(*this, separator);
    if (c < 0)
        return new VMString;
    if (textStart[c] == separator)
        return LeftView(c);
    const int d = ReverseFind(separator, c);
    return d < 0 ? new VMString : LeftView(d);
}

// --- hashing and codes -----------------------------------------------------------------

std::uint32_t VMString::HashNoCase() const {
    if (IsNull())
        return 0;
    return ~FoldedCrc(0xFFFFFFFFu, U(textStart), 0, length);
}

// Up to three bytes, first most significant; a two-byte character is packed
// unfolded (as far as it fits), every other byte folded.
std::uint32_t VMString::ShortCode() const {
    const int n = length < 3 ? length : 3;
    const std::uint8_t* t = U(textStart);
    std::uint32_t code = 0;
    for (int i = 0; i < n; ++i) {
        if (IsLead(t[i]) && i + 1 < length) {
            code = (code << 8) | t[i];
            if (i + 1 < n)
                code = (code << 8) | t[i + 1];
            ++i;
        } else {
            code = (code << 8) | Fold(t[i]);
        }
    }
    return code;
}

// A failure and a parsed 0 both give 0.
std::int32_t VMString::IntAfterPrefix(const char* prefix) const {
    if (prefix == nullptr)
        return 0;
    const std::size_t n = std::strlen(prefix);
    if (static_cast<std::size_t>(length) <= n ||
        CompareCStringPrefix(prefix, static_cast<int>(n), 0) != 0)
        return 0;
    std::int32_t value = 0;
    const int rest = length - static_cast<int>(n);
    return ParseInteger(U(textStart) + n, rest, value) == kParsed ? value : 0;
}
