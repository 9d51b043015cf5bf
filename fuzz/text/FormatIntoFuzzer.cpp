// FormatInto with formats built from a grammar whose conversions match one
// fixed argument list, so that every argument is read with its own type.
//
// The fuzzer's bytes pick tokens: literal runs, backslash escapes, two-byte
// characters (second bytes 0x5C and 0x25 included), "%%", dropped n/p/Z
// conversions (with '*', which takes no argument there), conversions for the
// next argument with random flags, widths, precisions and modifiers, and
// malformed pieces. Checked for every format:
// - a malformed one gives -2 once the capacity is large, and only -1 or -2
//   below that; a well-formed one gives its length r, with a zero byte after
//   it and none inside;
// - for capacities around r, exactly r when capacity > r and -1 otherwise,
//   with the same bytes, and never a write at or past the capacity (each
//   buffer is a heap block of exactly that size, watched by AddressSanitizer);
// - VMString::Format gives the same bytes, or a null text when malformed.
#include "text/VMString.h"
#include "text/VMStringFormat.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr int kLargeCapacity = 1 << 17; // above anything the grammar can produce
constexpr int kMaxTokens = 48;

// The argument list, in slot order: I int (also '*' values), L long long,
// D double, S string, C int read as a character.
constexpr char kSlots[] = "ILDSCIIDLSDIISLCDILSIDSC";
constexpr int kSlotCount = sizeof kSlots - 1;

#define FIXED_ARGUMENTS                                                                            \
    -5, LLONG_MIN, -0.0, "", 'A', 0, 300, 1e300, 1LL << 40, "\x82\xa0\x95\x5c", -1.5e-300, 7,      \
        INT_MIN, static_cast<const char*>(nullptr), -1LL, 0, NAN, 65, 0LL, "abc", 12, INFINITY,    \
        "x\\%d", 0x82

static_assert(kSlotCount == 24, "one slot per fixed argument");

int Into(std::uint8_t* buffer, int capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = FormatInto(buffer, capacity, format, args);
    va_end(args);
    return result;
}

int IntoFixed(std::uint8_t* buffer, int capacity, const char* format) {
    return Into(buffer, capacity, format, FIXED_ARGUMENTS);
}

// Names the broken promise and the format (escaped) before stopping.
void Check(bool ok, const char* what, const std::string& format, int result) {
    if (ok)
        return;
    std::fprintf(stderr, "%s (result %d), format: \"", what, result);
    for (unsigned char c : format)
        std::fprintf(stderr, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02x", c);
    std::fprintf(stderr, "\"\n");
    __builtin_trap();
}

bool IsLead(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

class Grammar {
  public:
    explicit Grammar(FuzzedDataProvider& input) : in(input) {}

    std::string Build() {
        for (int t = 0; t < kMaxTokens && in.remaining_bytes() > 0; ++t)
            Token();
        End();
        return format;
    }
    bool Malformed() const { return malformed; }

  private:
    void Token() {
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: // a literal run
            for (int n = in.ConsumeIntegralInRange(1, 6); n > 0; --n) {
                const char c = static_cast<char>(in.ConsumeIntegralInRange(0x20, 0x7E));
                format += c == '%' || c == '\\' ? 'q' : c;
            }
            break;
        case 1: // backslash and a single-byte character, '%' included
            format += '\\';
            format += SingleByte();
            break;
        case 2: // a two-byte character; its second byte may be '\\' or '%'
            format += static_cast<char>(Lead());
            format += static_cast<char>(in.ConsumeIntegralInRange(1, 255));
            break;
        case 3:
            format += "%%";
            break;
        case 4: // dropped whole, '*' included: takes no argument
            format += '%';
            Flags();
            if (in.ConsumeBool())
                format += '*';
            format += "npZ"[in.ConsumeIntegralInRange(0, 2)];
            break;
        case 7:
            if (in.ConsumeIntegralInRange(0, 7) == 0) {
                MalformedPiece();
                break;
            }
            [[fallthrough]];
        default:
            Conversion();
            break;
        }
    }

    char SingleByte() {
        std::uint8_t b = in.ConsumeIntegral<std::uint8_t>();
        return static_cast<char>(b == 0 || IsLead(b) ? 'z' : b);
    }
    std::uint8_t Lead() {
        const int k = in.ConsumeIntegralInRange(0, 0x1F + 0x1D - 1);
        return static_cast<std::uint8_t>(k < 0x1F ? 0x81 + k : 0xE0 + (k - 0x1F));
    }
    void Flags() {
        for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n)
            format += " #+-0"[in.ConsumeIntegralInRange(0, 4)];
    }
    void Digits() { format += std::to_string(in.ConsumeIntegralInRange(0, 300)); }

    // One conversion for the next argument slot; '*' takes an int slot first.
    void Conversion() {
        if (slot >= kSlotCount) {
            format += "%%";
            return;
        }
        format += '%';
        Flags();
        StarOrDigits(false);
        if (in.ConsumeBool()) {
            format += '.';
            StarOrDigits(true);
        }
        const char type = kSlots[slot++];
        format += Modifier(type);
        format += Letter(type);
    }
    void StarOrDigits(bool maybeNone) {
        const int pick = in.ConsumeIntegralInRange(0, 2);
        if (pick == 0 && IsIntSlot(slot) && slot + 1 < kSlotCount) {
            format += '*';
            ++slot;
        } else if (pick == 1 || !maybeNone) {
            if (in.ConsumeBool())
                Digits();
        }
    }
    static bool IsIntSlot(int k) { return k < kSlotCount && kSlots[k] == 'I'; }

    std::string Modifier(char type) {
        static const char* const wide[] = {"l", "ll", "I", "I6", "I64"};
        static const char* const narrow[] = {"", "", "h", "hh", "L", "I32", "z", "j"};
        if (type == 'L')
            return wide[in.ConsumeIntegralInRange(0, 4)];
        if (type == 'I' || type == 'C')
            return narrow[in.ConsumeIntegralInRange(0, 7)];
        return in.ConsumeBool() ? "" : "L";
    }
    char Letter(char type) {
        switch (type) {
        case 'D':
            return "eEfFgGaA"[in.ConsumeIntegralInRange(0, 7)];
        case 'S':
            return "sS"[in.ConsumeIntegralInRange(0, 1)];
        case 'C':
            return "cC"[in.ConsumeIntegralInRange(0, 1)];
        case 'L':
            return "diouxX"[in.ConsumeIntegralInRange(0, 5)];
        default:
            return "diouxXc"[in.ConsumeIntegralInRange(0, 6)];
        }
    }

    // A two-byte character after '%', inside a conversion or after a backslash.
    void MalformedPiece() {
        static const char* const openers[] = {"%", "%-5", "%.", "\\"};
        format += openers[in.ConsumeIntegralInRange(0, 3)];
        format += static_cast<char>(Lead());
        format += static_cast<char>(in.ConsumeIntegralInRange(1, 255));
        format += 'd';
        malformed = true;
    }

    // The end: nothing, a dangling '%' or backslash (both well-formed), an
    // unfinished specification (malformed), or a lone lead byte.
    void End() {
        switch (in.ConsumeIntegralInRange(0, 6)) {
        case 1:
            format += '%';
            break;
        case 2:
            format += '\\';
            break;
        case 3:
            format += "%5";
            malformed = true;
            break;
        case 4:
            format += static_cast<char>(Lead());
            break;
        case 5:
            format += '%';
            format += static_cast<char>(Lead()); // no conversion character follows
            malformed = true;
            break;
        case 6:
            format += '\\';
            format += static_cast<char>(Lead()); // the last byte: copied after the backslash
            break;
        default:
            break;
        }
    }

    FuzzedDataProvider& in;
    std::string format;
    int slot = 0;
    bool malformed = false;
};

// A heap block of exactly capacity bytes, so that AddressSanitizer reports
// any write at or past it.
int IntoExact(int capacity, const char* format, std::string& out) {
    std::unique_ptr<std::uint8_t[]> block(capacity > 0 ? new std::uint8_t[capacity] : nullptr);
    const int result = IntoFixed(block.get(), capacity, format);
    if (result >= 0)
        out.assign(reinterpret_cast<const char*>(block.get()), static_cast<std::size_t>(result));
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Grammar grammar(input);
    const std::string format = grammar.Build();

    std::string whole;
    const int r = IntoExact(kLargeCapacity, format.c_str(), whole);
    if (grammar.Malformed()) {
        Check(r == -2, "a malformed format not reported", format, r);
    } else {
        Check(r >= 0 && std::strlen(whole.c_str()) == whole.size(), "a well-formed format failed",
              format, r);
    }

    const int probes[] = {0, 1, 2, r - 1, r, r + 1, r + 2, static_cast<int>(size % 97)};
    for (int capacity : probes) {
        if (capacity < 0)
            continue;
        std::string part;
        const int got = IntoExact(capacity, format.c_str(), part);
        if (r == -2)
            Check(got == -1 || got == -2, "a malformed format with a small buffer", format, got);
        else if (capacity > r)
            Check(got == r && part == whole, "a different result in a buffer that fits", format,
                  got);
        else
            Check(got == -1, "no -1 from a buffer that does not fit", format, got);
    }

    VMString* text = new VMString;
    text->Format(format.c_str(), FIXED_ARGUMENTS);
    if (r == -2)
        Check(text->IsNull(), "Format kept a text for a malformed format", format, r);
    else
        Check(!text->IsNull() && text->Length() == r &&
                  std::memcmp(text->Text(), whole.data(), whole.size()) == 0,
              "Format differs from FormatInto", format, text->Length());
    text->Release();
    return 0;
}
