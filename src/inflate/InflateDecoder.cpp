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

std::uint32_t ReverseBits(std::uint32_t code, std::uint32_t bits) {
    std::uint32_t rev = 0;
    for (std::uint32_t i = 0; i < bits; ++i) {
        rev = (rev << 1) | ((code >> i) & 1);
    }
    return rev;
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
        if (pushBackPending_) {
            byte_ = pushBackByte_;
            pushBackPending_ = false;
        } else if (input_->ReadSource(&byte_, 1) != 1) {
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

int InflateDecoder::Fail() {
    state_ = Error;
    return -1;
}

void InflateDecoder::PutByte(std::uint8_t* buffer, int at, std::uint8_t b) {
    window_[windowPos_] = b;
    windowPos_ = (windowPos_ + 1) & kWindowMask;
    if (buffer != nullptr) {
        buffer[at] = b;
    }
}

int InflateDecoder::Decode(std::uint8_t* buffer, int count) {
    int produced = 0;
    while (produced < count) {
        switch (state_) {
        case Idle:
        case Error:
            return -1;
        case Done:
            // after the final block: the stream has nothing more
            return produced;
        case BlockHeader:
            // waiting for BFINAL, BTYPE and the block's own header
            if (!ReadBlockHeader()) {
                return Fail();
            }
            break;
        case Stored:
            // waiting for the bytes of a stored block
            produced = DecodeStored(buffer, produced, count);
            if (produced < 0) {
                return Fail();
            }
            break;
        case Codes:
            // waiting for a literal/length code (or the rest of one, through a link)
            produced = DecodeFast(buffer, produced, count);
            if (produced < count && !DecodeCode(buffer, produced)) {
                return Fail();
            }
            break;
        case Distance:
            // waiting for the distance code and its extra bits of a match
            if (!DecodeDistance()) {
                return Fail();
            }
            break;
        case Copy:
            // copying a match out of the window
            produced = CopyMatch(buffer, produced, count);
            break;
        default:
            return Fail();
        }
    }
    return produced;
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
    int i = 0;
    while (i < total) {
        if (!NeedBits(root, false)) {
            return false;
        }
        const HuffEntry entry = entries_[base + static_cast<int>(value_)];
        if ((entry.op & 0x80) != 0) {
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
    for (int len = 0; len < 16; ++len) {
        count_[len] = 0;
    }
    for (int i = 0; i < n; ++i) {
        ++count_[lengths[i] & 15];
    }
    count_[0] = 0;
    int minLen = 1;
    while (minLen < 16 && count_[minLen] == 0) {
        ++minLen;
    }
    if (minLen == 16) {
        rootBits_ = 0;
        tableBase_ = 0;
        return true;
    }
    int maxLen = 15;
    while (count_[maxLen] == 0) {
        --maxLen;
    }
    int root = requestedRoot_ < minLen ? minLen : requestedRoot_;
    if (root > maxLen) {
        root = maxLen;
    }

    nextCode_[0] = 0;
    nextCode_[1] = 0;
    for (int len = 2; len < 16; ++len) {
        nextCode_[len] = (nextCode_[len - 1] + count_[len - 1]) * 2;
    }
    // Longest codes first, symbol order within one length.
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
    const int symbols = offsets_[minLen];

    const int rootSize = 1 << root;
    if (tableUsed_ + rootSize > kTableEntries) {
        InflateLog(kMsgTableSpace);
        return false;
    }
    tableBase_ = tableUsed_;
    tableUsed_ += rootSize;
    for (int j = 0; j < rootSize; ++j) {
        entries_[tableBase_ + j] = HuffEntry{kOpInvalid, 0, 0};
    }

    for (int k = 0; k < symbols; ++k) {
        const int sym = sorted_[k];
        const int len = lengths[sym] & 15;
        const std::uint32_t rev = ReverseBits(static_cast<std::uint32_t>(nextCode_[len]++),
                                              static_cast<std::uint32_t>(len));
        HuffEntry entry;
        if (sym < simpleLimit) {
            entry.op = sym < 256 ? kOpLiteral : kOpEndOfBlock;
            entry.value = static_cast<std::uint32_t>(sym);
        } else {
            entry.op = (extra[sym - simpleLimit] + kOpBase) & 0xFF;
            entry.value = base[sym - simpleLimit];
        }
        if (len <= root) {
            entry.bits = static_cast<std::uint32_t>(len);
            for (int j = static_cast<int>(rev); j < rootSize; j += 1 << len) {
                entries_[tableBase_ + j] = entry;
            }
            continue;
        }
        const int slot = tableBase_ + static_cast<int>(rev & kMask[root]);
        int subStart;
        int subBits;
        if ((entries_[slot].op & 0x40) != 0) {
            // The first code met for a root slot is its longest one.
            subBits = len - root;
            const int subSize = 1 << subBits;
            if (tableUsed_ + subSize > kTableEntries) {
                InflateLog(kMsgTableSpace);
                return false;
            }
            subStart = tableUsed_;
            tableUsed_ += subSize;
            for (int j = 0; j < subSize; ++j) {
                entries_[subStart + j] = HuffEntry{kOpInvalid, 0, 0};
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
    }
    rootBits_ = root;
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
        PutByte(buffer, produced++, pushBackByte_);
        --k;
    }
    while (k > 0) {
        // Up to the window's end at a time; the bytes go straight to their first
        // place and are copied to the other.
        std::uint32_t chunk = kWindowSize - static_cast<std::uint32_t>(windowPos_);
        if (chunk > k) {
            chunk = k;
        }
        std::uint8_t* windowAt = window_ + windowPos_;
        std::uint8_t* dst = buffer != nullptr ? buffer + produced : windowAt;
        const int r = input_->ReadSource(dst, static_cast<int>(chunk));
        if (r != static_cast<int>(chunk)) {
            InflateLog(kMsgReadError, name_);
            return -1;
        }
        if (buffer != nullptr) {
            std::memcpy(windowAt, dst, chunk);
        }
        windowPos_ = static_cast<std::int32_t>((static_cast<std::uint32_t>(windowPos_) + chunk) &
                                               kWindowMask);
        produced += static_cast<int>(chunk);
        k -= chunk;
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
    if (op == kOpLiteral) {
        PutByte(buffer, produced++, static_cast<std::uint8_t>(entry.value));
        currentRef_ = literalRef_;
    } else if ((op & 0x10) != 0) {
        if (!NeedBits(op & 15, true)) {
            return false;
        }
        copyLength_ = entry.value + value_;
        currentRef_ = distanceRef_;
        state_ = Distance;
    } else if ((op & 0x40) == 0) {
        currentRef_.rootBits = static_cast<std::int32_t>(op);
        currentRef_.base += static_cast<std::int32_t>(index + entry.value);
    } else if ((op & 0x20) != 0) {
        EndOfBlock();
    } else {
        InflateLog(kMsgBadCode, static_cast<int>(index), op, name_);
        return false;
    }
    return true;
}

bool InflateDecoder::DecodeDistance() {
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
    if ((op & 0x40) == 0) {
        currentRef_.rootBits = static_cast<std::int32_t>(op);
        currentRef_.base += static_cast<std::int32_t>(index + entry.value);
        return true;
    }
    if ((op & 0x10) == 0) {
        InflateLog(kMsgBadDistance, static_cast<int>(index), op, name_);
        return false;
    }
    if (!NeedBits(op & 15, true)) {
        return false;
    }
    // Distances are not compared with what was produced: the window starts
    // zero-filled, so reaching before the first byte copies zeros.
    const std::uint32_t distance = entry.value + value_;
    copySource_ = static_cast<std::int32_t>((static_cast<std::uint32_t>(windowPos_) - distance) &
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
    std::uint32_t src = static_cast<std::uint32_t>(copySource_);
    std::uint32_t dst = static_cast<std::uint32_t>(windowPos_);
    for (std::uint32_t i = 0; i < k; ++i) {
        const std::uint8_t b = window_[src];
        window_[dst] = b;
        if (buffer != nullptr) {
            buffer[produced + static_cast<int>(i)] = b;
        }
        src = (src + 1) & kWindowMask;
        dst = (dst + 1) & kWindowMask;
    }
    copySource_ = static_cast<std::int32_t>(src);
    windowPos_ = static_cast<std::int32_t>(dst);
    produced += static_cast<int>(k);
    if (copyLength_ == 0) {
        currentRef_ = literalRef_;
        state_ = Codes;
    }
    return produced;
}

// The fast loop: whole literal and length/distance symbols straight from the
// input's buffer through a 64-bit bit buffer, while its margins hold. It does
// exactly what the byte-at-a-time path would do with the same bits, and on the
// way out hands the input back in the state that path would have left it in:
// the bytes taken are those that path's lazy NeedBits calls would have taken
// (tracked as the furthest bit any of them would have looked at), and the bits
// left over go back into the 32-bit bit buffer. Anything else (an end of
// block, an invalid code, an empty table, a second-level link) is left to the
// byte-at-a-time path, which also writes every message.
//
// Margins: one refill gives at least 56 bits; a symbol needs at most 15 bits of
// literal/length code, 5 extra, 15 of distance code and 13 extra = 48 bits, so
// one refill per symbol suffices; a refill reads 8 bytes, so 8 bytes must be
// in view. A symbol produces at most 258 bytes.
namespace {

constexpr int kMaxMatch = 258;
constexpr int kRefillBytes = 8;
static_assert(15 + 5 + 15 + 13 <= 56, "one refill covers a whole length/distance pair");

std::uint64_t LoadLittleEndian64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

bool IsLink(std::uint32_t op) {
    return op != kOpLiteral && (op & 0x50) == 0;
}

// Copies n bytes forward, exactly n: either the ranges do not overlap or dst
// lies at least 8 bytes after src, so that every 8-byte step (the last one
// may overlap the one before) reads only bytes already in place. Short copies
// stay inline, unlike a call of memcpy.
inline void CopyForward(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t n) {
    if (n >= 8) {
        if (n >= 32 && (dst >= src + n || src >= dst + n)) {
            std::memcpy(dst, src, n); // long and apart: the library's copy wins
            return;
        }
        std::uint32_t k = 0;
        for (; k + 8 <= n; k += 8) {
            std::memcpy(dst + k, src + k, 8);
        }
        if (k < n) {
            std::memcpy(dst + n - 8, src + n - 8, 8);
        }
    } else if (n >= 4) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + n - 4, src + n - 4, 4);
    } else {
        for (std::uint32_t k = 0; k < n; ++k) {
            dst[k] = src[k];
        }
    }
}

// Copies length bytes from distance back in the window to its position wp,
// byte for byte as the byte-at-a-time path would (an overlapping copy repeats
// bytes), and to out when given. Never writes past the copy's end: the window
// ahead of wp is still history.
void CopyInWindow(std::uint8_t* window, std::uint32_t wp, std::uint32_t distance,
                  std::uint32_t length, std::uint8_t* out) {
    std::uint32_t src = (wp - distance) & kWindowMask;
    if (src + length > kWindowSize || wp + length > kWindowSize) {
        for (std::uint32_t k = 0; k < length; ++k) {
            const std::uint8_t b = window[src];
            window[wp] = b;
            if (out != nullptr) {
                out[k] = b;
            }
            src = (src + 1) & kWindowMask;
            wp = (wp + 1) & kWindowMask;
        }
        return;
    }
    std::uint8_t* dst = window + wp;
    const std::uint8_t* from = window + src;
    if (distance >= 8) {
        CopyForward(dst, from, length);
    } else if (distance == 1) {
        std::memset(dst, *from, length); // a run of one byte
    } else {
        for (std::uint32_t k = 0; k < length; ++k) {
            dst[k] = from[k];
        }
    }
    if (out != nullptr) {
        CopyForward(out, dst, length);
    }
}

} // namespace

int InflateDecoder::DecodeFast(std::uint8_t* buffer, int produced, int count) {
    if (pushBackPending_ || count - produced < kMaxMatch || literalRef_.rootBits == 0 ||
        currentRef_.rootBits != literalRef_.rootBits || currentRef_.base != literalRef_.base ||
        currentRef_.entries != literalRef_.entries) {
        return produced;
    }
    const std::uint8_t* view;
    const int viewSize = input_->PeekSource(&view);
    if (viewSize < kRefillBytes) {
        return produced;
    }
    const std::uint8_t* const viewEnd = view + viewSize;
    const std::uint8_t* in = view;
    std::uint64_t bits = bitBuffer_ & kMask[bitCount_];
    std::uint32_t bitsLeft = bitCount_;
    // Bit positions count from the first byte in view; the bits still in the
    // 32-bit buffer lie before it.
    auto position = [&]() { return static_cast<std::int64_t>(in - view) * 8 - bitsLeft; };
    std::int64_t furthest = position();

    const HuffEntry* const literals = literalRef_.entries + literalRef_.base;
    const std::uint32_t literalRoot = static_cast<std::uint32_t>(literalRef_.rootBits);
    const HuffEntry* const distances = distanceRef_.entries + distanceRef_.base;
    const std::uint32_t distanceRoot = static_cast<std::uint32_t>(distanceRef_.rootBits);
    std::uint8_t* const window = window_;
    std::uint32_t wp = static_cast<std::uint32_t>(windowPos_);

    while (count - produced >= kMaxMatch && viewEnd - in >= kRefillBytes) {
        bits |= LoadLittleEndian64(in) << bitsLeft;
        in += (63 - bitsLeft) >> 3;
        bitsLeft |= 56;
        // Where to come back to when this symbol is left to the other path.
        const std::uint64_t startBits = bits;
        const std::uint32_t startLeft = bitsLeft;
        const std::uint8_t* const startIn = in;
        const std::int64_t startFurthest = furthest;
        auto consume = [&](std::uint32_t n) {
            bits >>= n;
            bitsLeft -= n;
        };
        auto lookAt = [&](std::uint32_t n) {
            const std::int64_t end = position() + n;
            furthest = end > furthest ? end : furthest;
            return static_cast<std::uint32_t>(bits) & kMask[n];
        };

        std::uint32_t index = lookAt(literalRoot);
        HuffEntry e = literals[index];
        if (IsLink(e.op)) {
            consume(e.bits);
            const HuffEntry* sub = literals + index + e.value;
            e = sub[lookAt(e.op)];
        }
        if (e.op == kOpLiteral) {
            consume(e.bits);
            window[wp] = static_cast<std::uint8_t>(e.value);
            wp = (wp + 1) & kWindowMask;
            if (buffer != nullptr) {
                buffer[produced] = static_cast<std::uint8_t>(e.value);
            }
            ++produced;
            continue;
        }
        bool handled = false;
        if ((e.op & 0x10) != 0 && distanceRoot != 0) {
            consume(e.bits);
            const std::uint32_t length = e.value + lookAt(e.op & 15);
            consume(e.op & 15);
            index = lookAt(distanceRoot);
            HuffEntry d = distances[index];
            if (IsLink(d.op)) {
                consume(d.bits);
                const HuffEntry* sub = distances + index + d.value;
                d = sub[lookAt(d.op)];
            }
            if ((d.op & 0x50) == 0x50) {
                consume(d.bits);
                const std::uint32_t distance = d.value + lookAt(d.op & 15);
                consume(d.op & 15);
                CopyInWindow(window, wp, distance, length,
                             buffer != nullptr ? buffer + produced : nullptr);
                wp = (wp + length) & kWindowMask;
                produced += static_cast<int>(length);
                handled = true;
            }
        }
        if (!handled) {
            bits = startBits;
            bitsLeft = startLeft;
            in = startIn;
            furthest = startFurthest;
            break;
        }
    }

    // Take what the byte-at-a-time path would have taken by now and keep the
    // rest of its bytes' bits.
    const std::int64_t pos = position();
    const std::int64_t taken = furthest > 0 ? (furthest + 7) / 8 : 0;
    if (taken > 0) {
        input_->TakeSource(static_cast<int>(taken));
    }
    bitCount_ = static_cast<std::uint32_t>(taken * 8 - pos);
    bitBuffer_ = static_cast<std::uint32_t>(bits) & kMask[bitCount_];
    windowPos_ = static_cast<std::int32_t>(wp);
    return produced;
}

} // namespace bv_inflate
