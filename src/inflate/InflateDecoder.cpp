#include "inflate/InflateDecoder.h"

#include "inflate/InflateMessages.h"

#include <cstring>

namespace bv_inflate {
namespace {

constexpr std::uint32_t kWindowMask = kWindowSize - 1;
constexpr int kCodeLengthSymbols = 19;
constexpr int kCodeLengthRoot = 7;
constexpr int kLiteralRoot = 9;
constexpr int kDistanceRoot = 6;
constexpr int kLiteralSimpleLimit = 257; // literals 0..255 and the end of block
// Skipped bytes are decoded through a scratch buffer of this size on the stack.
constexpr int kSkipPiece = 4096;

// Every byte with its bits in reverse order.
struct ByteReversal {
    std::uint8_t value[256];
    constexpr ByteReversal() : value() {
        for (int b = 0; b < 256; ++b) {
            for (int i = 0; i < 8; ++i) {
                value[b] = static_cast<std::uint8_t>(value[b] | ((b >> i) & 1) << (7 - i));
            }
        }
    }
};
constexpr ByteReversal kByteReversal;

// The low bits of code (1 to 16 of them) in reverse order.
std::uint32_t ReverseBits(std::uint32_t code, std::uint32_t bits) {
    const std::uint32_t reversed16 = static_cast<std::uint32_t>(kByteReversal.value[code & 0xFF])
                                         << 8 |
                                     kByteReversal.value[(code >> 8) & 0xFF];
    return reversed16 >> (16 - bits);
}

// The entry of symbol sym with a code of len bits: below simpleLimit a
// literal or the end of block, above it a base with its extra-bit count.
HuffEntry MakeEntry(int sym, int len, int simpleLimit, const std::uint16_t* base,
                    const std::uint8_t* extra) {
    HuffEntry entry;
    entry.bits = static_cast<std::uint32_t>(len);
    if (sym < simpleLimit) {
        entry.op = sym < 256 ? kOpLiteral : kOpEndOfBlock;
        entry.value = static_cast<std::uint32_t>(sym);
    } else {
        entry.op = (extra[sym - simpleLimit] + kOpBase) & 0xFF;
        entry.value = base[sym - simpleLimit];
    }
    return entry;
}

// Code space left over once every code of counts[1..15] is given out, in
// units of the root: below zero for an over-subscribed code, zero for a
// complete one.
int CodeSpaceLeft(const int* counts) {
    int left = 1;
    for (int len = 1; len < 16 && left >= 0; ++len) {
        left = left * 2 - counts[len];
    }
    return left;
}

// A root of 2^root slots for a code that is not over-subscribed: a code of
// len bits takes every slot whose low len bits are its reversed code, so the
// root is built from its first 2^first slots up (first <= each code's length,
// all set to invalid), each length's codes placed by place(len) and then the
// table so far copied once after itself. Slots no code takes stay invalid, for
// an incomplete code's holes and for links placed later.
template <class Entry, class Place>
void FillRootByDoubling(Entry* table, Entry invalid, int first, int root, Place place) {
    std::size_t filled = std::size_t{1} << first;
    for (std::size_t j = 0; j < filled; ++j) {
        table[j] = invalid;
    }
    for (int len = first; len <= root; ++len) {
        if (len > first) {
            std::memcpy(table + filled, table, filled * sizeof(Entry));
            filled *= 2;
        }
        place(len);
    }
}

} // namespace

void InflateDecoder::Start(std::uint8_t* workArea, InflateInput* input, const char* name) {
    input_ = input;
    name_ = name;
    window_ = workArea + kWindowOffset;
    entries_ = reinterpret_cast<HuffEntry*>(workArea + kTableOffset);
    lengths_ = reinterpret_cast<std::int32_t*>(workArea + kLengthsOffset);
    sorted_ = reinterpret_cast<std::int32_t*>(workArea + kSortedOffset);
    state_ = BlockHeader;
    final_ = false;
    storedCount_ = 0;
    windowPos_ = 0;
    copyLength_ = 0;
    copySource_ = 0;
    literalRef_ = distanceRef_ = currentRef_ = TableRef{};
    bitCount_ = 0;
    bitBuffer_ = 0;
    pushBackPending_ = false;
    tableUsed_ = 0;
    fastReady_ = false;
    fastFixed_ = false;
}

void InflateDecoder::Stop() {
    state_ = Idle;
    input_ = nullptr;
    window_ = nullptr;
    entries_ = nullptr;
    lengths_ = nullptr;
    sorted_ = nullptr;
    literalRef_ = distanceRef_ = currentRef_ = TableRef{};
}

// NeedBits(n, consume), n <= 32. On success at least n bits are buffered,
// value_ holds the low n of them and, with consume, they have left the buffer.
// Bytes are taken lazily, the pushed-back byte first, and only while fewer
// than n bits are buffered: the bytes taken from the input are exactly those
// the bits asked for so far need. On failure the input has ended: the shortage
// line is written and the buffered bits stay as they were.
bool InflateDecoder::NeedBits(std::uint32_t n, bool consume) {
    while (bitCount_ < n) {
        if (!NextByte()) {
            InflateLog(kMsgShortData, name_);
            return false;
        }
        bitBuffer_ =
            (bitBuffer_ & kMask[bitCount_]) | (static_cast<std::uint32_t>(byte_) << bitCount_);
        bitCount_ += 8;
    }
    value_ = bitBuffer_ & kMask[n];
    if (consume) {
        bitBuffer_ = n < 32 ? bitBuffer_ >> n : 0;
        bitCount_ -= n;
    }
    return true;
}

// The next input byte into byte_: the pushed-back one, else the next in view,
// else one read from the input (a view is settled first and looked at again
// after the read, which may have refilled the input's buffer). False at the
// end of the input.
bool InflateDecoder::NextByte() {
    if (pushBackPending_) {
        byte_ = pushBackByte_;
        pushBackPending_ = false;
        return true;
    }
    if (viewUsed_ < viewSize_) {
        byte_ = view_[viewUsed_++];
        return true;
    }
    SettleView();
    if (input_->ReadSource(&byte_, 1) != 1) {
        return false;
    }
    if (viewing_) {
        viewSize_ = input_->PeekSource(&view_);
    }
    return true;
}

// Takes the bytes read from the view from the input, exactly as byte-by-byte
// reads would have, and lets the view go.
void InflateDecoder::SettleView() {
    if (viewUsed_ > 0) {
        input_->TakeSource(viewUsed_);
    }
    view_ = nullptr;
    viewSize_ = 0;
    viewUsed_ = 0;
}

int InflateDecoder::Fail() {
    state_ = Error;
    return -1;
}

int InflateDecoder::Decode(std::uint8_t* buffer, int count) {
    if (count <= 0) {
        return 0;
    }
    if (buffer == nullptr) {
        // Skipped bytes still become history: they pass through a scratch
        // buffer, a piece at a time, exactly as reads of those sizes would.
        std::uint8_t scratch[kSkipPiece];
        int total = 0;
        while (total < count) {
            const int n = count - total < kSkipPiece ? count - total : kSkipPiece;
            const int r = Decode(scratch, n);
            if (r < 0) {
                return -1;
            }
            total += r;
            if (r < n) {
                break;
            }
        }
        return total;
    }
    const int produced = Run(buffer, count);
    RefreshWindow(buffer, produced);
    return state_ == Error || state_ == Idle ? -1 : produced;
}

// The state machine. Returns what it produced; a failure leaves state Error.
int InflateDecoder::Run(std::uint8_t* buffer, int count) {
    int produced = 0;
    while (produced < count) {
        switch (state_) {
        case Idle:
        case Error:
        case Done:
            // Done: after the final block the stream has nothing more.
            return produced;
        case BlockHeader:
            // waiting for BFINAL, BTYPE and the block's own header
            if (!ReadBlockHeader()) {
                Fail();
                return produced;
            }
            break;
        case Stored: {
            // waiting for the bytes of a stored block
            const int r = DecodeStored(buffer, produced, count);
            if (r < 0) {
                Fail();
                return produced;
            }
            produced = r;
            break;
        }
        case Codes:
            // waiting for a literal/length code (or the rest of one, through a link)
            produced = DecodeFast(buffer, produced, count);
            if (produced < count && state_ == Codes && !DecodeCode(buffer, produced)) {
                Fail();
                return produced;
            }
            break;
        case Distance:
            // waiting for the distance code and its extra bits of a match
            if (!DecodeDistance(produced)) {
                Fail();
                return produced;
            }
            break;
        case Copy:
            // copying a match out of the history
            produced = CopyMatch(buffer, produced, count);
            break;
        default:
            Fail();
            return produced;
        }
    }
    return produced;
}

// Brings the window up to date with the produced bytes: their last 32 KiB
// land where a byte-by-byte writer would have put them.
void InflateDecoder::RefreshWindow(const std::uint8_t* buffer, int produced) {
    if (produced <= 0) {
        return;
    }
    const std::uint32_t total = static_cast<std::uint32_t>(produced);
    const std::uint32_t n = total < kWindowSize ? total : kWindowSize;
    const std::uint32_t at = (static_cast<std::uint32_t>(windowPos_) + total - n) & kWindowMask;
    const std::uint32_t first = n < kWindowSize - at ? n : kWindowSize - at;
    const std::uint8_t* from = buffer + (total - n);
    std::memcpy(window_ + at, from, first);
    std::memcpy(window_, from + first, n - first);
    windowPos_ =
        static_cast<std::int32_t>((static_cast<std::uint32_t>(windowPos_) + total) & kWindowMask);
}

// Copies n bytes to buffer[at] from distance bytes back, exactly n and byte for
// byte as RFC 1951 reads an overlapping match. What lies before the call comes
// from the window, which still ends at windowPos_.
void InflateDecoder::CopyFromHistory(std::uint8_t* buffer, int at, std::uint32_t distance,
                                     int n) const {
    std::uint8_t* dst = buffer + at;
    std::uint32_t left = static_cast<std::uint32_t>(n);
    const std::uint32_t here = static_cast<std::uint32_t>(at);
    if (distance > here) {
        const std::uint32_t back = distance - here;
        const std::uint32_t fromWindow = left < back ? left : back;
        const std::uint32_t src = (static_cast<std::uint32_t>(windowPos_) - back) & kWindowMask;
        const std::uint32_t first = fromWindow < kWindowSize - src ? fromWindow : kWindowSize - src;
        std::memcpy(dst, window_ + src, first);
        std::memcpy(dst + first, window_, fromWindow - first);
        dst += fromWindow;
        left -= fromWindow;
    }
    const std::uint8_t* from = dst - distance;
    if (distance >= left) {
        std::memcpy(dst, from, left);
        return;
    }
    for (std::uint32_t k = 0; k < left; ++k) {
        dst[k] = from[k];
    }
}

bool InflateDecoder::ReadBlockHeader() {
    if (!NeedBits(3, true)) {
        return false;
    }
    final_ = (value_ & 1) != 0;
    switch (value_ >> 1) {
    case 0: {
        // Stored: LEN and NLEN start at the next byte boundary.
        if (!NeedBits(bitCount_ & 7, true) || !NeedBits(32, true)) {
            return false;
        }
        std::uint32_t len = value_ & 0xFFFF;
        std::uint32_t xlen = ~value_ >> 16;
        if (len != xlen) {
            InflateLog(kMsgStoredSize, len, xlen, name_);
            return false;
        }
        storedCount_ = len;
        state_ = Stored;
        return true;
    }
    case 1:
        literalRef_ = TableRef{kFixedLiteralRoot, kFixedLiteralTable, 0};
        distanceRef_ = TableRef{kFixedDistanceRoot, kFixedDistanceTable, 0};
        currentRef_ = literalRef_;
        UseFixedFastTables();
        state_ = Codes;
        return true;
    case 2:
        if (!ReadDynamicHeader()) {
            return false;
        }
        state_ = Codes;
        return true;
    default:
        InflateLog(kMsgBlockType, name_);
        return false;
    }
}

bool InflateDecoder::ReadDynamicHeader() {
    if (!NeedBits(14, true)) {
        return false;
    }
    // HLIT up to 288 and HDIST up to 32 are taken as sent; symbols 286, 287,
    // 30 and 31 decode as invalid codes if the data ever uses them.
    const int nlit = static_cast<int>(value_ & 31) + 257;
    const int ndist = static_cast<int>((value_ >> 5) & 31) + 1;
    const int ncode = static_cast<int>(value_ >> 10) + 4;
    for (int i = 0; i < kCodeLengthSymbols; ++i) {
        lengths_[i] = 0;
    }
    for (int i = 0; i < ncode; ++i) {
        if (!NeedBits(3, true)) {
            return false;
        }
        lengths_[kCodeLengthOrder[i]] = static_cast<std::int32_t>(value_);
    }
    ResetTableSpace();
    RequestRoot(kCodeLengthRoot);
    if (!BuildTable(0, kCodeLengthSymbols, kCodeLengthSymbols, nullptr, nullptr) ||
        !ReadCodeLengths(nlit + ndist)) {
        return false;
    }
    ResetTableSpace(); // the code-length table is not needed any more
    RequestRoot(kLiteralRoot);
    if (!BuildTable(0, nlit, kLiteralSimpleLimit, kLengthBase, kLengthExtra)) {
        InflateLog(kMsgBadLiteralTable, name_);
        return false;
    }
    literalRef_ = TableRef{rootBits_, entries_, tableBase_};
    RequestRoot(kDistanceRoot);
    if (!BuildTable(nlit, ndist, 0, kDistanceBase, kDistanceExtra)) {
        InflateLog(kMsgBadDistanceTable, name_);
        return false;
    }
    distanceRef_ = TableRef{rootBits_, entries_, tableBase_};
    currentRef_ = literalRef_;
    BuildFastTables(lengths_, nlit, ndist);
    return true;
}

// Reads total code lengths with the code-length table just built. Repeats may
// run from the literal/length lengths into the distance lengths.
bool InflateDecoder::ReadCodeLengths(int total) {
    const std::uint32_t root = static_cast<std::uint32_t>(rootBits_);
    const int base = tableBase_;
    if (root == 0) {
        // No code-length code at all: there is no table to look a symbol up in.
        InflateLog(kMsgBadCodeLengthCode, name_);
        return false;
    }
    // Hundreds of short reads: through a view of the input's buffer rather
    // than a call per byte.
    viewing_ = true;
    viewSize_ = input_->PeekSource(&view_);
    const bool read = ReadCodeLengthsFromView(total, root, base);
    viewing_ = false;
    SettleView();
    return read;
}

bool InflateDecoder::ReadCodeLengthsFromView(int total, std::uint32_t root, int base) {
    int i = 0;
    while (i < total) {
        if (!NeedBits(root, false)) {
            return false;
        }
        const HuffEntry entry = entries_[base + static_cast<int>(value_)];
        if (IsInvalidCodeLength(entry.op)) {
            InflateLog(kMsgBadCodeLengthCode, name_);
            return false;
        }
        if (!NeedBits(entry.bits, true)) {
            return false;
        }
        const std::int32_t symbol = static_cast<std::int32_t>(entry.value);
        if (symbol < 16) {
            lengths_[i++] = symbol;
            continue;
        }
        // 16: 3-6 copies of the previous length; 17: 3-10 zeros; 18: 11-138 zeros.
        const std::uint32_t extraBits = symbol == 16 ? 2 : symbol == 17 ? 3 : 7;
        const int repeatBase = symbol == 18 ? 11 : 3;
        if (!NeedBits(extraBits, true)) {
            return false;
        }
        const int repeat = repeatBase + static_cast<int>(value_);
        if ((symbol == 16 && i == 0) || repeat > total - i) {
            InflateLog(kMsgBadRepeat, name_);
            return false;
        }
        const std::int32_t fill = symbol == 16 ? lengths_[i - 1] : 0;
        for (int k = 0; k < repeat; ++k) {
            lengths_[i++] = fill;
        }
    }
    return true;
}

// Canonical Huffman table (RFC 1951, 3.2.2) in the zlib-style two-level form:
// a root table of rootBits_ index bits, and for longer codes sub-tables reached
// through link entries. Lengths are taken as sent: over-subscribed codes
// overwrite each other and the slots of an incomplete set stay invalid.
bool InflateDecoder::BuildTable(int first, int n, int simpleLimit, const std::uint16_t* base,
                                const std::uint8_t* extra) {
    const std::int32_t* lengths = lengths_ + first;
    const CodeCounts counts = CountLengths(lengths, n);
    if (counts.minLen == 16) {
        rootBits_ = 0;
        tableBase_ = 0;
        return true;
    }
    int root = requestedRoot_ < counts.minLen ? counts.minLen : requestedRoot_;
    if (root > counts.maxLen) {
        root = counts.maxLen;
    }
    const int symbols = SortSymbols(lengths, n, counts.minLen);
    const int rootSize = 1 << root;
    if (!ClaimEntries(rootSize, &tableBase_, !counts.oversubscribed)) {
        return false;
    }
    // Over-subscribed codes overwrite each other in the order below, slot by
    // slot; any other code's root is filled by doubling, and the loop below
    // places only its codes longer than the root (sorted first).
    int end = symbols;
    if (!counts.oversubscribed) {
        end = 0;
        while (end < symbols && (lengths[sorted_[end]] & 15) > root) {
            ++end;
        }
        FillSlowRoot(symbols, counts.minLen, root, simpleLimit, base, extra);
    }
    for (int k = 0; k < end; ++k) {
        const int sym = sorted_[k];
        const int len = lengths[sym] & 15;
        const std::uint32_t rev = ReverseBits(static_cast<std::uint32_t>(nextCode_[len]++),
                                              static_cast<std::uint32_t>(len));
        const HuffEntry entry = MakeEntry(sym, len, simpleLimit, base, extra);
        if (len > root) {
            if (!PlaceLongCode(root, rev, len, entry)) {
                return false;
            }
            continue;
        }
        for (int j = static_cast<int>(rev); j < rootSize; j += 1 << len) {
            entries_[tableBase_ + j] = entry;
        }
    }
    rootBits_ = root;
    return true;
}

// The root of a code that is not over-subscribed, whose codes of root bits or
// fewer end sorted_[0, to), longest first.
void InflateDecoder::FillSlowRoot(int to, int minLen, int root, int simpleLimit,
                                  const std::uint16_t* base, const std::uint8_t* extra) {
    HuffEntry* const table = entries_ + tableBase_;
    int k = to;
    FillRootByDoubling(table, HuffEntry{kOpInvalid, 0, 0}, minLen, root, [&](int len) {
        // This length's symbols end where the next shorter length's began.
        const int first = k - count_[len];
        for (int i = first; i < k; ++i) {
            const std::uint32_t rev = ReverseBits(static_cast<std::uint32_t>(nextCode_[len]++),
                                                  static_cast<std::uint32_t>(len));
            table[rev] = MakeEntry(sorted_[i], len, simpleLimit, base, extra);
        }
        k = first;
    });
}

// Counts the codes of every length into count_ (length 0 counts as none) and
// names the shortest and longest; minLen 16 means there is no code at all.
InflateDecoder::CodeCounts InflateDecoder::CountLengths(const std::int32_t* lengths, int n) {
    for (int len = 0; len < 16; ++len) {
        count_[len] = 0;
    }
    for (int i = 0; i < n; ++i) {
        ++count_[lengths[i] & 15];
    }
    count_[0] = 0;
    CodeCounts c{1, 15, false};
    while (c.minLen < 16 && count_[c.minLen] == 0) {
        ++c.minLen;
    }
    while (c.maxLen > 0 && count_[c.maxLen] == 0) {
        --c.maxLen;
    }
    c.oversubscribed = CodeSpaceLeft(count_) < 0;
    return c;
}

// The first canonical code of every length into nextCode_, and the symbols
// with a code into sorted_, longest codes first and in symbol order within one
// length (so that a sub-table is sized by the first code that reaches it).
// Returns how many symbols have a code.
int InflateDecoder::SortSymbols(const std::int32_t* lengths, int n, int minLen) {
    nextCode_[0] = 0;
    nextCode_[1] = 0;
    for (int len = 2; len < 16; ++len) {
        nextCode_[len] = (nextCode_[len - 1] + count_[len - 1]) * 2;
    }
    offsets_[15] = 0;
    for (int len = 14; len >= 1; --len) {
        offsets_[len] = offsets_[len + 1] + count_[len + 1];
    }
    offsets_[0] = 0;
    for (int sym = 0; sym < n; ++sym) {
        const int len = lengths[sym] & 15;
        if (len != 0) {
            sorted_[offsets_[len]++] = sym;
        }
    }
    return offsets_[minLen];
}

// Takes size entries from the table space, all invalid unless the caller
// fills them itself (filled), and names the first; fails with the table-space
// line when they do not fit.
bool InflateDecoder::ClaimEntries(int size, int* start, bool filled) {
    if (tableUsed_ + size > kTableEntries) {
        InflateLog(kMsgTableSpace);
        return false;
    }
    *start = tableUsed_;
    tableUsed_ += size;
    for (int j = 0; j < size && !filled; ++j) {
        entries_[*start + j] = HuffEntry{kOpInvalid, 0, 0};
    }
    return true;
}

// Stores a code longer than the root in the sub-table of its root slot,
// creating the sub-table when the slot does not link to one yet.
bool InflateDecoder::PlaceLongCode(int root, std::uint32_t rev, int len, HuffEntry entry) {
    const int slot = tableBase_ + static_cast<int>(rev & ((1u << root) - 1));
    int subStart;
    int subBits;
    if ((entries_[slot].op & kOpNotLink) != 0) {
        // The first code met for a root slot is its longest one.
        subBits = len - root;
        if (!ClaimEntries(1 << subBits, &subStart)) {
            return false;
        }
        entries_[slot] =
            HuffEntry{static_cast<std::uint32_t>(subBits), static_cast<std::uint32_t>(root),
                      static_cast<std::uint32_t>(subStart - slot)};
    } else {
        subBits = static_cast<int>(entries_[slot].op);
        subStart = slot + static_cast<int>(entries_[slot].value);
    }
    entry.bits = static_cast<std::uint32_t>(len - root);
    for (int j = static_cast<int>(rev >> root); j < (1 << subBits); j += 1 << (len - root)) {
        entries_[subStart + j] = entry;
    }
    return true;
}

// Fast table entries: bits 0-5 the bits the symbol takes, its code and a
// base's extra bits (a link: the root bits), a shift count that needs no
// sum, so that the next code's lookup waits only for the entry; 6-9 how many
// bits past the code's end the byte-at-a-time path peeks at; 10-12 the kind;
// 13-16 a base's extra bits or a link's sub-table index bits; 17-31 the
// literal, the base, or a link's sub-table start.
namespace {

// A base is the only kind with bit 10 set, so that one test finds it.
constexpr std::uint32_t kFastLiteral = 0 << 10;
constexpr std::uint32_t kFastBase = 1 << 10;
constexpr std::uint32_t kFastEnd = 2 << 10;
constexpr std::uint32_t kFastInvalid = 4 << 10;
constexpr std::uint32_t kFastLink = 6 << 10;
constexpr std::uint32_t kFastKind = 7 << 10;
static_assert(((kFastEnd | kFastInvalid | kFastLink) & kFastBase) == 0, "one bit tells a base");

constexpr std::uint32_t FastEntry(std::uint32_t kind, std::uint32_t value, std::uint32_t len,
                                  std::uint32_t count, std::uint32_t rest) {
    return value << 17 | count << 13 | kind | rest << 6 | len;
}
constexpr std::uint32_t FastKind(std::uint32_t e) {
    return e & kFastKind;
}
constexpr bool IsFastBase(std::uint32_t e) {
    return (e & kFastBase) != 0;
}
constexpr std::uint32_t FastLength(std::uint32_t e) {
    return e & 63;
}
constexpr std::uint32_t FastRest(std::uint32_t e) {
    return (e >> 6) & 15;
}
constexpr std::uint32_t FastCount(std::uint32_t e) {
    return (e >> 13) & 15;
}
constexpr std::uint32_t FastValue(std::uint32_t e) {
    return e >> 17;
}
// The code's own bits (a base's extra bits follow them).
constexpr std::uint32_t FastCode(std::uint32_t e) {
    return FastLength(e) - FastCount(e);
}
static_assert(FastValue(FastEntry(kFastBase, 24577, 15, 13, 14)) == 24577, "bases fit");
static_assert(FastLength(FastEntry(kFastBase, 24577, 15 + 13, 13, 14)) == 28 &&
                  FastCode(FastEntry(kFastBase, 24577, 15 + 13, 13, 14)) == 15,
              "the shift is clean");

// The fixed codes' lengths (RFC 1951, 3.2.6).
struct FixedLengths {
    std::int32_t value[288 + 32];
    constexpr FixedLengths() : value() {
        for (int i = 0; i < 288 + 32; ++i) {
            value[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : i < 288 ? 8 : 5;
        }
    }
};
constexpr FixedLengths kFixedLengths;

// The widest fast root the builder takes.
constexpr int kMaxFastRoot = 11;

} // namespace

void InflateDecoder::BuildFastTables(const std::int32_t* lengths, int nlit, int ndist) {
    static_assert(kFastLiteralRoot <= kMaxFastRoot && kFastDistanceRoot <= kMaxFastRoot,
                  "the builder's scratch covers the roots");
    fastFixed_ = false;
    std::uint32_t lengthRest = 0;
    std::uint32_t distanceRest = 0;
    fastReady_ =
        BuildFastTable(lengths, nlit, kLiteralSimpleLimit, kLengthBase, kLengthExtra, literalRef_,
                       kFastLiteralRoot, fastLiterals_, kFastLiteralEntries, &lengthRest) &&
        BuildFastTable(lengths + nlit, ndist, 0, kDistanceBase, kDistanceExtra, distanceRef_,
                       kFastDistanceRoot, fastDistances_, kFastDistanceEntries, &distanceRest);
    // The byte-at-a-time path peeks at least the literal/length root's worth
    // of bits from the start of that code. A match's peeks are therefore
    // covered by the next code's when neither of its codes is peeked further
    // past its end than that root; a literal's always are.
    const std::uint32_t literalRoot = static_cast<std::uint32_t>(literalRef_.rootBits);
    fastUntracked_ = fastReady_ && lengthRest <= literalRoot && distanceRest <= literalRoot;
}

void InflateDecoder::UseFixedFastTables() {
    if (!fastFixed_) {
        BuildFastTables(kFixedLengths.value, 288, 32);
        fastFixed_ = fastReady_;
    }
}

namespace {

// The canonical codes of the n lengths, bit-reversed for lookup, into codes
// (0 for a symbol without one), and the symbols with a code into order,
// shortest codes first and in symbol order within one length, with how many
// codes each length has. Returns how many symbols have a code, or -1 for an
// over-subscribed code, whose overwritten slots only the byte-at-a-time path's
// table reproduces; *complete tells whether the code fills every slot.
int AssignCodes(const std::int32_t* lengths, int n, std::uint16_t* codes, std::uint16_t* order,
                int* count, bool* complete) {
    for (int len = 0; len < 16; ++len) {
        count[len] = 0;
    }
    for (int i = 0; i < n; ++i) {
        ++count[lengths[i] & 15];
    }
    count[0] = 0;
    const int left = CodeSpaceLeft(count);
    if (left < 0) {
        return -1;
    }
    *complete = left == 0;
    std::uint32_t next[16] = {};
    int at[16] = {};
    for (int len = 2; len < 16; ++len) {
        next[len] = (next[len - 1] + static_cast<std::uint32_t>(count[len - 1])) * 2;
        at[len] = at[len - 1] + count[len - 1];
    }
    for (int sym = 0; sym < n; ++sym) {
        const int len = lengths[sym] & 15;
        if (len == 0) {
            codes[sym] = 0;
            continue;
        }
        codes[sym] =
            static_cast<std::uint16_t>(ReverseBits(next[len]++, static_cast<std::uint32_t>(len)));
        order[at[len]++] = static_cast<std::uint16_t>(sym);
    }
    return at[15];
}

// Links every root slot that codes longer than the root share to a sub-table
// after the root, sized by the longest of them, in the order their first codes
// come; with holes the sub-tables' slots start invalid. False when capacity is
// too small.
bool LinkSubTables(const std::int32_t* lengths, int n, const std::uint16_t* codes, int rootBits,
                   bool holes, std::uint32_t* table, int capacity) {
    const std::uint32_t rootSize = 1u << rootBits;
    const std::uint32_t rootMask = rootSize - 1;
    const std::uint32_t invalid = FastEntry(kFastInvalid, 0, 0, 0, 0);
    std::uint8_t subBits[1 << kMaxFastRoot];
    std::memset(subBits, 0, rootSize);
    for (int sym = 0; sym < n; ++sym) {
        const int len = lengths[sym] & 15;
        std::uint8_t& bits = subBits[codes[sym] & rootMask];
        if (len > rootBits && len - rootBits > bits) {
            bits = static_cast<std::uint8_t>(len - rootBits);
        }
    }
    std::uint32_t used = rootSize;
    for (int sym = 0; sym < n; ++sym) {
        const std::uint32_t slot = codes[sym] & rootMask;
        if ((lengths[sym] & 15) <= rootBits || subBits[slot] == 0) {
            continue;
        }
        const std::uint32_t size = 1u << subBits[slot];
        if (used + size > static_cast<std::uint32_t>(capacity)) {
            return false;
        }
        table[slot] =
            FastEntry(kFastLink, used, static_cast<std::uint32_t>(rootBits), subBits[slot], 0);
        subBits[slot] = 0; // placed
        for (std::uint32_t j = 0; holes && j < size; ++j) {
            table[used + j] = invalid;
        }
        used += size;
    }
    return true;
}

// The fast entry of symbol sym, whose code rev has len bits, with how far past
// it the byte-at-a-time path peeks: its root, and a sub-table's bits after it.
std::uint32_t FastEntryFor(int sym, std::uint32_t rev, std::uint32_t len, int simpleLimit,
                           const std::uint16_t* base, const std::uint8_t* extra,
                           const TableRef& slow) {
    const std::uint32_t slowMask = (1u << slow.rootBits) - 1;
    const HuffEntry& slot = slow.entries[slow.base + static_cast<int>(rev & slowMask)];
    const std::uint32_t peek =
        static_cast<std::uint32_t>(slow.rootBits) + (IsLink(slot.op) ? slot.op : 0);
    const HuffEntry e = MakeEntry(sym, static_cast<int>(len), simpleLimit, base, extra);
    const std::uint32_t kind = IsLiteral(e.op)      ? kFastLiteral
                               : IsBase(e.op)       ? kFastBase
                               : IsEndOfBlock(e.op) ? kFastEnd
                                                    : kFastInvalid;
    const std::uint32_t count = kind == kFastBase ? OpCount(e.op) : 0;
    return FastEntry(kind, e.value, len + count, count, peek - len);
}

} // namespace

// The canonical code of the n lengths, as the byte-at-a-time path's table
// (slow) decodes it, into table: a root of rootBits index bits and sub-tables
// after it. False for an over-subscribed code and for one that does not fit in
// capacity entries. *baseRest is the furthest any base's code is peeked past.
bool InflateDecoder::BuildFastTable(const std::int32_t* lengths, int n, int simpleLimit,
                                    const std::uint16_t* base, const std::uint8_t* extra,
                                    const TableRef& slow, int rootBits, std::uint32_t* table,
                                    int capacity, std::uint32_t* baseRest) {
    std::uint16_t codes[288];
    std::uint16_t order[288];
    int count[16];
    bool complete = false;
    const int symbols = AssignCodes(lengths, n, codes, order, count, &complete);
    if (symbols < 0) {
        return false;
    }
    auto entryOf = [&](int sym) {
        const std::uint32_t len = static_cast<std::uint32_t>(lengths[sym] & 15);
        const std::uint32_t entry =
            FastEntryFor(sym, codes[sym], len, simpleLimit, base, extra, slow);
        if (FastKind(entry) == kFastBase && FastRest(entry) > *baseRest) {
            *baseRest = FastRest(entry);
        }
        return entry;
    };
    // The root's codes first; longer ones take the slots left for links.
    int first = 1;
    while (first < rootBits && count[first] == 0) {
        ++first;
    }
    int k = 0;
    FillRootByDoubling(table, FastEntry(kFastInvalid, 0, 0, 0, 0), first, rootBits, [&](int len) {
        for (const int end = k + count[len]; k < end; ++k) {
            table[codes[order[k]]] = entryOf(order[k]);
        }
    });
    if (k == symbols) {
        return true;
    }
    if (!LinkSubTables(lengths, n, codes, rootBits, !complete, table, capacity)) {
        return false;
    }
    // A root or sub-table entry holds the whole code's length.
    const std::uint32_t rootMask = (1u << rootBits) - 1;
    for (; k < symbols; ++k) {
        const int sym = order[k];
        const std::uint32_t bits = static_cast<std::uint32_t>(lengths[sym] & 15);
        const std::uint32_t entry = entryOf(sym);
        const std::uint32_t rev = codes[sym];
        const std::uint32_t link = table[rev & rootMask];
        const std::uint32_t size = 1u << FastCount(link);
        for (std::uint32_t j = rev >> rootBits; j < size; j += 1u << (bits - rootBits)) {
            table[FastValue(link) + j] = entry;
        }
    }
    return true;
}

int InflateDecoder::DecodeStored(std::uint8_t* buffer, int produced, int count) {
    std::uint32_t k = static_cast<std::uint32_t>(count - produced);
    if (k > storedCount_) {
        k = storedCount_;
    }
    storedCount_ -= k;
    if (k > 0 && pushBackPending_) {
        pushBackPending_ = false;
        buffer[produced++] = pushBackByte_;
        --k;
    }
    if (k > 0) {
        if (input_->ReadSource(buffer + produced, static_cast<int>(k)) != static_cast<int>(k)) {
            InflateLog(kMsgReadError, name_);
            return -1;
        }
        produced += static_cast<int>(k);
    }
    if (storedCount_ == 0) {
        state_ = final_ ? Done : BlockHeader;
    }
    return produced;
}

void InflateDecoder::EndOfBlock() {
    // Bits read ahead past the end-of-block code may reach into the next
    // block's first byte (a stored block starts byte-aligned): hand the newest
    // whole byte back to the input.
    if (bitCount_ > 7) {
        bitCount_ -= 8;
        pushBackByte_ = static_cast<std::uint8_t>(bitBuffer_ >> bitCount_);
        pushBackPending_ = true;
    }
    state_ = final_ ? Done : BlockHeader;
}

bool InflateDecoder::DecodeCode(std::uint8_t* buffer, int& produced) {
    const std::uint32_t root = static_cast<std::uint32_t>(currentRef_.rootBits);
    if (root == 0) {
        InflateLog(kMsgBadCode, 0, kOpInvalid, name_);
        return false;
    }
    std::uint32_t index;
    if (NeedBits(root, false)) {
        index = value_;
    } else {
        // At the very end of the data the last code may be shorter than the
        // root: look it up with the bits there are, the missing ones as zeros.
        if (bitCount_ == 0) {
            return false;
        }
        index = bitBuffer_ & kMask[bitCount_];
    }
    const HuffEntry entry = currentRef_.entries[currentRef_.base + static_cast<int>(index)];
    if (!NeedBits(entry.bits, true)) {
        return false;
    }
    const std::uint32_t op = entry.op;
    if (IsLiteral(op)) {
        buffer[produced++] = static_cast<std::uint8_t>(entry.value);
        currentRef_ = literalRef_;
    } else if (IsBase(op)) {
        if (!NeedBits(OpCount(op), true)) {
            return false;
        }
        copyLength_ = entry.value + value_;
        currentRef_ = distanceRef_;
        state_ = Distance;
    } else if (IsLink(op)) {
        currentRef_.rootBits = static_cast<std::int32_t>(op);
        currentRef_.base += static_cast<std::int32_t>(index + entry.value);
    } else if (IsEndOfBlock(op)) {
        EndOfBlock();
    } else {
        InflateLog(kMsgBadCode, static_cast<int>(index), op, name_);
        return false;
    }
    return true;
}

bool InflateDecoder::DecodeDistance(int produced) {
    const std::uint32_t root = static_cast<std::uint32_t>(currentRef_.rootBits);
    if (root == 0) {
        InflateLog(kMsgBadDistance, 0, kOpInvalid, name_);
        return false;
    }
    if (!NeedBits(root, false)) {
        return false;
    }
    const std::uint32_t index = value_;
    const HuffEntry entry = currentRef_.entries[currentRef_.base + static_cast<int>(index)];
    if (!NeedBits(entry.bits, true)) {
        return false;
    }
    const std::uint32_t op = entry.op;
    if (IsLink(op)) {
        currentRef_.rootBits = static_cast<std::int32_t>(op);
        currentRef_.base += static_cast<std::int32_t>(index + entry.value);
        return true;
    }
    if (!IsBase(op)) {
        InflateLog(kMsgBadDistance, static_cast<int>(index), op, name_);
        return false;
    }
    if (!NeedBits(OpCount(op), true)) {
        return false;
    }
    // Distances are not compared with what was produced: the window starts
    // zero-filled, so reaching before the first byte copies zeros.
    const std::uint32_t distance = entry.value + value_;
    copySource_ = static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(windowPos_) + static_cast<std::uint32_t>(produced) - distance) &
        kWindowMask);
    state_ = Copy;
    return true;
}

int InflateDecoder::CopyMatch(std::uint8_t* buffer, int produced, int count) {
    std::uint32_t k = static_cast<std::uint32_t>(count - produced);
    if (k > copyLength_) {
        k = copyLength_;
    }
    copyLength_ -= k;
    // The copy source trails the position the next byte takes by the distance.
    const std::uint32_t here =
        static_cast<std::uint32_t>(windowPos_) + static_cast<std::uint32_t>(produced);
    std::uint32_t distance = (here - static_cast<std::uint32_t>(copySource_)) & kWindowMask;
    if (distance == 0) {
        distance = kWindowSize;
    }
    CopyFromHistory(buffer, produced, distance, static_cast<int>(k));
    copySource_ =
        static_cast<std::int32_t>((static_cast<std::uint32_t>(copySource_) + k) & kWindowMask);
    produced += static_cast<int>(k);
    if (copyLength_ == 0) {
        currentRef_ = literalRef_;
        state_ = Codes;
    }
    return produced;
}

// The fast loop: whole symbols straight from the input's buffer through a
// 64-bit bit buffer while at least 8 bytes are in view, straight into the
// caller's buffer. It does exactly what the byte-at-a-time path would do with
// the same bits, and on the way out hands the input back in the state that
// path would have left it in: the bytes taken are those its lazy NeedBits
// calls would have taken (the furthest bit any of them would have looked at,
// tracked for the peeks that may look past what a code uses), and the bits
// left over go back into the 32-bit bit buffer. An invalid code, an empty
// distance table or a distance code that cannot be used is left to that path,
// which writes the messages.
//
// Margins: a refill leaves at least 56 bits; a symbol needs at most 15 bits of
// literal/length code, 5 extra, 15 of distance code and 13 extra = 48 bits, and
// two literals at most 30, so one refill serves a whole match or two literals.
namespace {

constexpr int kRefillBytes = 8;
constexpr int kMaxView = 1 << 24;
constexpr std::uint32_t kRefillFloor = 56;
static_assert(15 + 5 + 15 + 13 <= kRefillFloor, "one refill covers a whole length/distance pair");
static_assert(15 + 15 <= kRefillFloor, "one refill covers two literals");
// Matches copied in whole words may write this many bytes past their end.
constexpr std::uint32_t kOverrun = 40;
static_assert(kWindowOffset + kWindowSize + kOverrun <= kWorkAreaSize,
              "words read past the window's end stay in the work area");

std::uint64_t LoadLittleEndian64(const std::uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
#else
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
#endif
}

// The low n bits (n <= 16): a mask from the table costs one load, where
// building it takes a variable shift and two more operations.
inline std::uint32_t LowBits(std::uint64_t bits, std::uint32_t n) {
    return static_cast<std::uint32_t>(bits) & kMask[n];
}

inline void Move8(std::uint8_t* dst, const std::uint8_t* src) {
    std::uint64_t v;
    std::memcpy(&v, src, 8);
    std::memcpy(dst, &v, 8);
}

// Copies a match of length bytes from distance back, all of it inside the
// caller's buffer, in whole words: it may write up to kOverrun bytes past the
// match, which the caller leaves room for. Every word read holds only
// bytes already in place, so overlapping matches repeat as they must.
//
// CopyWords copies forward from src, which lies at least 8 bytes before dst or
// apart from it. Most matches are short (on previews nearly all are 3 to 5
// bytes): three words without a test, and only a longer one goes on. Each
// word stored costs, so a short match stores no more than it must.
inline void CopyWords(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t length) {
    std::uint8_t* const end = dst + length;
    Move8(dst, src);
    Move8(dst + 8, src + 8);
    Move8(dst + 16, src + 16);
    if (length <= 24) {
        return;
    }
    Move8(dst + 24, src + 24);
    Move8(dst + 32, src + 32);
    dst += 40;
    src += 40;
    while (dst < end) {
        Move8(dst, src);
        dst += 8;
        src += 8;
    }
}

inline void WildCopy(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
    const std::uint8_t* src = dst - distance;
    std::uint8_t* const end = dst + length;
    if (distance >= 8) {
        CopyWords(dst, src, length);
    } else if (distance == 1) {
        const std::uint64_t run = src[0] * 0x0101010101010101ull;
        do {
            std::memcpy(dst, &run, 8);
            dst += 8;
        } while (dst < end);
    } else {
        // Periods 2 to 7: the first word byte by byte, then steps of the
        // largest multiple of the period a word holds.
        for (int k = 0; k < 8; ++k) {
            dst[k] = src[k];
        }
        const std::uint32_t step = 8 / distance * distance;
        for (dst += step; dst < end; dst += step) {
            Move8(dst, dst - step);
        }
    }
}

// The fast distance entry of the code at the start of bits, through its link.
inline std::uint32_t DistanceEntry(const std::uint32_t* distances, std::uint32_t rootMask,
                                   std::uint64_t bits) {
    const std::uint32_t d = distances[bits & rootMask];
    if (__builtin_expect(IsFastBase(d), 1) || FastKind(d) != kFastLink) {
        return d;
    }
    return distances[FastValue(d) + LowBits(bits >> FastLength(d), FastCount(d))];
}

// The table the byte-at-a-time path is left in after the code at the start of
// bits: a sub-table when the code is longer than ref's root.
TableRef RefAfterCode(const TableRef& ref, std::uint64_t bits) {
    const std::uint32_t index =
        static_cast<std::uint32_t>(bits) & ((1u << static_cast<std::uint32_t>(ref.rootBits)) - 1);
    const HuffEntry& slot = ref.entries[ref.base + static_cast<int>(index)];
    if (!IsLink(slot.op)) {
        return ref;
    }
    return TableRef{static_cast<std::int32_t>(slot.op), ref.entries,
                    ref.base + static_cast<std::int32_t>(index + slot.value)};
}

} // namespace

// Copies a match to out, with at least kOverrun bytes of room after it, in
// whole words where it can. A match wholly before this call, not across the
// window's end, comes from the window; the words read past it stay inside the
// work area, and the ones written past it inside the room. One that reaches
// across the call's start or the window's end is copied exactly.
// Inlined: both fast loops call it once per match.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void
InflateDecoder::CopyMatchWithRoom(std::uint8_t* buffer, std::uint8_t* out, std::uint32_t distance,
                                  std::uint32_t length) const {
    const std::uint32_t here = static_cast<std::uint32_t>(out - buffer);
    if (distance <= here) {
        WildCopy(out, distance, length);
        return;
    }
    const std::uint32_t windowAt =
        (static_cast<std::uint32_t>(windowPos_) + here - distance) & kWindowMask;
    if (distance - here >= length && windowAt + length <= kWindowSize) {
        CopyWords(out, window_ + windowAt, length);
    } else {
        CopyFromHistory(buffer, static_cast<int>(here), distance, static_cast<int>(length));
    }
}

// The fast loops' bit reader and output position.
struct InflateDecoder::FastCursor {
    const std::uint8_t* in;
    std::uint64_t bits;
    std::uint32_t bitsLeft;
    std::uint8_t* out;
};

namespace {

// Room the roomy loop keeps after the output position: the longest match and
// the words a copy may write past it.
constexpr std::ptrdiff_t kRoomyMargin = 258 + kOverrun;

} // namespace

// The roomy loop: the fast loop's work without its checks, while more than
// kRoomyMargin bytes of room and a refill's worth of input are left (outLimit
// and inLimit are the last positions that allow that). Anything but a literal
// or a usable match (the end of the block, an invalid code, an empty distance
// table) is left, untouched, to the fast loop.
//
// It keeps no account of peeks. It runs only where the block's codes are
// untracked, so that every symbol's peeks are covered by the next code's, and
// it always stops with room left: the same read then goes on with another
// code, in the fast loop or the byte-at-a-time path, and that code's peek
// takes whatever input the last symbol's would have.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void InflateDecoder::DecodeRoomy(FastCursor& c, std::uint8_t* const buffer,
                                 const std::uint8_t* const outLimit,
                                 const std::uint8_t* const inLimit) const {
    const std::uint8_t* in = c.in;
    std::uint64_t bits = c.bits;
    std::uint32_t bitsLeft = c.bitsLeft;
    std::uint8_t* out = c.out;
    constexpr std::uint32_t literalMask = (1u << kFastLiteralRoot) - 1;
    constexpr std::uint32_t distanceMask = (1u << kFastDistanceRoot) - 1;

    // bitsLeft's low six bits are the count; a symbol takes its whole entry
    // off it (the length is the entry's low six bits, and nothing from above
    // them reaches down), which spares masking the length out. Above those
    // six bits it holds junk that the refill and the exit mask off.
    auto refill = [&]() {
        bits |= LoadLittleEndian64(in) << (bitsLeft & 63);
        in += (~bitsLeft & 63) >> 3;
        bitsLeft |= kRefillFloor;
    };
    auto literal = [&](std::uint32_t e) {
        bits >>= FastLength(e);
        bitsLeft -= e;
        *out++ = static_cast<std::uint8_t>(FastValue(e));
    };
    // Root literals take at most 11 bits, so after three of them the next
    // entry can still be looked up before the refill.
    refill();
    std::uint32_t e = fastLiterals_[bits & literalMask];
    for (;;) {
        // Each pass takes its first symbol's bits before asking what it is,
        // so that a match's distance lookup need not wait for the answer;
        // anything but a literal or a match gives them back.
        std::uint64_t lengthBits = bits;
        bits >>= FastLength(e);
        bitsLeft -= e;
        if (FastKind(e) == kFastLiteral) {
            *out++ = static_cast<std::uint8_t>(FastValue(e));
            e = fastLiterals_[bits & literalMask];
            if (FastKind(e) == kFastLiteral) {
                literal(e);
                e = fastLiterals_[bits & literalMask];
                if (FastKind(e) == kFastLiteral) {
                    literal(e);
                    e = fastLiterals_[bits & literalMask];
                }
            }
            if (__builtin_expect(out >= outLimit || in > inLimit, 0)) {
                break;
            }
            refill();
            continue;
        }
        if (__builtin_expect(!IsFastBase(e), 0)) {
            bits = lengthBits;
            bitsLeft += e;
            if (FastKind(e) != kFastLink) {
                break;
            }
            e = fastLiterals_[FastValue(e) + LowBits(bits >> FastLength(e), FastCount(e))];
            if (FastKind(e) == kFastLiteral) {
                literal(e);
                if (out >= outLimit || in > inLimit) {
                    break;
                }
                refill();
                e = fastLiterals_[bits & literalMask];
                continue;
            }
            if (!IsFastBase(e)) {
                break;
            }
            bits >>= FastLength(e);
            bitsLeft -= e;
        }
        // A match, taken only once its distance is known to be usable and
        // the input can be refilled after it (in moves only in refills).
        const std::uint32_t d = DistanceEntry(fastDistances_, distanceMask, bits);
        if (__builtin_expect(in > inLimit || !IsFastBase(d), 0)) {
            bits = lengthBits;
            bitsLeft += e;
            break;
        }
        const std::uint32_t length =
            FastValue(e) + (LowBits(lengthBits, FastLength(e)) >> FastCode(e));
        const std::uint32_t distance = FastValue(d) + (LowBits(bits, FastLength(d)) >> FastCode(d));
        bits >>= FastLength(d);
        bitsLeft -= d;
        // The next entry is looked up before the copy, which it does not
        // depend on.
        refill();
        e = fastLiterals_[bits & literalMask];
        CopyMatchWithRoom(buffer, out, distance, length);
        out += length;
        if (__builtin_expect(out >= outLimit, 0)) {
            break;
        }
    }
    c = FastCursor{in, bits, bitsLeft & 63, out};
}

int InflateDecoder::DecodeFast(std::uint8_t* const buffer, int produced, const int count) {
    if (!fastReady_ || pushBackPending_ || literalRef_.rootBits == 0 ||
        currentRef_.rootBits != literalRef_.rootBits || currentRef_.base != literalRef_.base ||
        currentRef_.entries != literalRef_.entries) {
        return produced;
    }
    const std::uint8_t* view;
    int viewSize = input_->PeekSource(&view);
    if (viewSize < kRefillBytes) {
        return produced;
    }
    // Bit positions within the view must fit a 32-bit ptrdiff_t; a longer
    // view is worked through in pieces, the state machine coming back here.
    if (viewSize > kMaxView) {
        viewSize = kMaxView;
    }
    const std::uint8_t* in = view;
    const std::uint8_t* const lastRefill = view + (viewSize - kRefillBytes);
    std::uint64_t bits = bitBuffer_ & kMask[bitCount_];
    std::uint32_t bitsLeft = bitCount_;
    // Bit positions count from the first byte in view; the bits still in the
    // 32-bit buffer lie before it. A peek is taken after its code, with the
    // bits it reached past the code's end.
    //
    // The peek of a literal/length code needs no maximum: the next symbol's
    // code peeks further (at least the root from a later start, and a sub-table
    // reaches at most 6 bits past a root of at least 9). Only the last symbol's
    // counts; pending holds how far it reached past the current position.
    auto position = [&]() { return (in - view) * 8 - static_cast<std::ptrdiff_t>(bitsLeft); };
    std::ptrdiff_t furthest = position();
    std::uint32_t pending = 0;
    auto peekPast = [&](std::uint32_t rest) {
        const std::ptrdiff_t end = position() + static_cast<std::ptrdiff_t>(rest);
        furthest = end > furthest ? end : furthest;
    };
    auto consume = [&](std::uint32_t n) {
        bits >>= n;
        bitsLeft -= n;
    };
    // A fast table entry, resolved through its link when it has one.
    auto lookUp = [&](const std::uint32_t* table, std::uint32_t rootMask) {
        std::uint32_t e = table[bits & rootMask];
        if (FastKind(e) == kFastLink) {
            e = table[FastValue(e) + LowBits(bits >> FastLength(e), FastCount(e))];
        }
        return e;
    };

    const std::uint32_t* const literals = fastLiterals_;
    constexpr std::uint32_t literalMask = (1u << kFastLiteralRoot) - 1;
    const std::uint32_t* const distances = fastDistances_;
    constexpr std::uint32_t distanceMask = (1u << kFastDistanceRoot) - 1;
    std::uint8_t* out = buffer + produced;
    std::uint8_t* const outEnd = buffer + count;
    bool endOfBlock = false;

    auto refill = [&]() {
        bits |= LoadLittleEndian64(in) << bitsLeft;
        in += (63 - bitsLeft) >> 3;
        bitsLeft |= kRefillFloor;
    };
    auto literal = [&](std::uint32_t e) {
        consume(FastLength(e));
        pending = FastRest(e);
        *out++ = static_cast<std::uint8_t>(FastValue(e));
    };

    // Most of a large read goes through the roomy loop; the fast loop below
    // takes what it leaves: the end of the block, the read's last bytes, and
    // every symbol of a block whose peeks need tracking.
    if (fastUntracked_ && out < outEnd - kRoomyMargin && in <= lastRefill) {
        FastCursor c{in, bits, bitsLeft, out};
        DecodeRoomy(c, buffer, outEnd - kRoomyMargin, lastRefill);
        in = c.in;
        bits = c.bits;
        bitsLeft = c.bitsLeft;
        out = c.out;
    }

    // Every pass starts with a refill done and e looked up. Root literals take
    // at most 11 bits, so after three of them the next entry can still be
    // looked up before the refill, which only adds bits above those in use.
    std::uint32_t e = 0;
    const bool enter = out < outEnd && in <= lastRefill;
    if (enter) {
        refill();
        e = literals[bits & literalMask];
    }
    while (enter) {
        if (FastKind(e) == kFastLiteral) {
            literal(e);
            e = literals[bits & literalMask];
            if (FastKind(e) == kFastLiteral && outEnd - out >= 2) {
                literal(e);
                e = literals[bits & literalMask];
                if (FastKind(e) == kFastLiteral) {
                    literal(e);
                    e = literals[bits & literalMask];
                }
            }
            if (out == outEnd || in > lastRefill) {
                break;
            }
            refill();
            continue;
        }
        // A symbol is taken only once it is known to be whole and valid: an
        // invalid code, an empty distance table or an unusable distance code
        // leaves the bits where they are for the other path.
        if (FastKind(e) == kFastLink) {
            e = lookUp(literals, literalMask);
            if (FastKind(e) == kFastLiteral) {
                literal(e);
                if (out == outEnd || in > lastRefill) {
                    break;
                }
                refill();
                e = literals[bits & literalMask];
                continue;
            }
        }
        if (FastKind(e) == kFastBase) {
            const std::uint64_t distanceBits = bits >> FastLength(e);
            const std::uint32_t d = DistanceEntry(distances, distanceMask, distanceBits);
            if (FastKind(d) != kFastBase) {
                break;
            }
            consume(FastCode(e));
            peekPast(FastRest(e));
            pending = 0;
            const std::uint32_t length = FastValue(e) + LowBits(bits, FastCount(e));
            consume(FastCount(e) + FastCode(d));
            peekPast(FastRest(d));
            const std::uint32_t distance = FastValue(d) + LowBits(bits, FastCount(d));
            consume(FastCount(d));
            const std::uint32_t here = static_cast<std::uint32_t>(out - buffer);
            const std::uint32_t room = static_cast<std::uint32_t>(outEnd - out);
            if (room >= length + kOverrun) {
                CopyMatchWithRoom(buffer, out, distance, length);
                out += length;
            } else {
                // Near the end of the read: an exact copy, and a match longer
                // than the room goes on in the copy state.
                const std::uint32_t n = length < room ? length : room;
                CopyFromHistory(buffer, static_cast<int>(here), distance, static_cast<int>(n));
                out += n;
                if (n < length) {
                    copyLength_ = length - n;
                    copySource_ = static_cast<std::int32_t>(
                        (static_cast<std::uint32_t>(windowPos_) + here + n - distance) &
                        kWindowMask);
                    currentRef_ = RefAfterCode(distanceRef_, distanceBits);
                    state_ = Copy;
                    break;
                }
            }
            if (out == outEnd || in > lastRefill) {
                break;
            }
            refill();
            e = literals[bits & literalMask];
            continue;
        }
        if (FastKind(e) == kFastEnd) {
            currentRef_ = RefAfterCode(literalRef_, bits);
            consume(FastLength(e));
            peekPast(FastRest(e));
            pending = 0;
            endOfBlock = true;
        }
        break;
    }

    // Take what the byte-at-a-time path would have taken by now (at least the
    // bits consumed: extra bits are not peeked) and keep the rest of its
    // bytes' bits.
    const std::ptrdiff_t pos = position();
    if (furthest < pos + static_cast<std::ptrdiff_t>(pending)) {
        furthest = pos + static_cast<std::ptrdiff_t>(pending);
    }
    const std::ptrdiff_t taken = furthest > 0 ? (furthest + 7) / 8 : 0;
    if (taken > 0) {
        input_->TakeSource(static_cast<int>(taken));
    }
    bitCount_ = static_cast<std::uint32_t>(taken * 8 - pos);
    bitBuffer_ = static_cast<std::uint32_t>(bits & ((std::uint64_t{1} << bitCount_) - 1));
    if (endOfBlock) {
        EndOfBlock();
    }
    return static_cast<int>(out - buffer);
}

} // namespace bv_inflate
