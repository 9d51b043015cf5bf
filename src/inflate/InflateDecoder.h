// InflateDecoder: the resumable raw DEFLATE (RFC 1951) decoder behind BVInflate.
//
// The decoder keeps every byte of its memory in a work area of fixed layout
// that its owner allocates (zero-filled) and lends it; it allocates nothing.
// Decode() may stop after any byte it produces, and the next call continues
// there. Input comes from an InflateInput one byte at a time (the reference
// path) or, in bulk, from the bytes the input lets it look at.
#pragma once

#include "inflate/InflateTables.h"

#include <cstddef>
#include <cstdint>

namespace bv_inflate {

// Layout of the work area.
constexpr std::size_t kWorkAreaSize = 0xDD00;
constexpr std::size_t kWindowOffset = 0x0000;
constexpr std::uint32_t kWindowSize = 0x8000;
constexpr std::size_t kTableOffset = 0x8000;
// The table space is what the layout leaves between the window and the
// lengths. It is not the worst case of two valid codes: complete codes of 286
// literal/length symbols up to 15 bits long under a 9-bit root can need 852
// entries, and of 30 distance symbols under a 6-bit root 592, together 1,444.
// A block of that rare shape (or one of 288 and 32 symbols needing more) fails
// with the table-space message instead of writing past the space.
constexpr int kTableEntries = 1440;
constexpr std::size_t kLengthsOffset = 0xC380; // 320 int32: 288 literal/length + 32 distance
constexpr std::size_t kSortedOffset = 0xC880;  // 288 int32
constexpr std::size_t kStagingOffset = 0xCD00; // 4,096 bytes, unused by reading
static_assert(kTableOffset + kTableEntries * sizeof(HuffEntry) == kLengthsOffset, "layout");
static_assert(kLengthsOffset + 320 * sizeof(std::int32_t) == kSortedOffset, "layout");
static_assert(kSortedOffset + 288 * sizeof(std::int32_t) == kStagingOffset, "layout");
static_assert(kStagingOffset + 4096 == kWorkAreaSize, "layout");

// Where the decoder takes its input from.
class InflateInput {
  public:
    // Takes up to count next bytes into dst and returns how many, 0 at the end
    // of the data, or -1 on a failure.
    virtual int ReadSource(void* dst, int count) = 0;
    // Lets the decoder look at the next bytes ReadSource would deliver without
    // taking them; returns how many there are at *bytes (0 is always allowed).
    virtual int PeekSource(const std::uint8_t** bytes) = 0;
    // Takes count of the bytes PeekSource showed, exactly as ReadSource would.
    virtual void TakeSource(int count) = 0;

  protected:
    ~InflateInput() = default;
};

// Decoding table handle: root index bits, the entries and the index of the
// table's first entry in them.
struct TableRef {
    std::int32_t rootBits;
    const HuffEntry* entries;
    std::int32_t base;
};

class InflateDecoder {
  public:
    // Decoder states; 3 is not used.
    //   Idle -> (Start) -> BlockHeader -> Stored | Codes
    //   Codes <-> Distance -> Copy -> Codes;  end of block -> BlockHeader or Done
    //   any failure -> Error, which holds until Stop.
    enum State : std::int32_t {
        Idle = 0,
        BlockHeader = 1,
        Stored = 2,
        Codes = 4,
        Distance = 5,
        Copy = 6,
        Done = 7,
        Error = 8,
    };

    // Prepares to decode a new stream. workArea is kWorkAreaSize zero-filled
    // bytes; name is the container name that messages end with. Both and input
    // must outlive the decoding.
    void Start(std::uint8_t* workArea, InflateInput* input, const char* name);
    // Forgets the stream: state Idle, no pointer into the work area kept.
    void Stop();

    State GetState() const { return state_; }
    void SetState(State state) { state_ = state; }

    // Produces up to count bytes into buffer (or drops them when buffer is
    // null). Returns how many, fewer only when the stream ended, or -1 on a
    // decoding failure (state Error, message written). A count of 0 or less
    // produces nothing whatever the state.
    //
    // Within a call the bytes go to the buffer only, and the buffer is the
    // newest history; the window holds what came before the call and is
    // brought up to date from the buffer's tail when the call ends. Between
    // calls the window, its position and the copy source are therefore exactly
    // those of a decoder writing every byte to both.
    int Decode(std::uint8_t* buffer, int count);

    // Builds the table of n code lengths at lengths[first..] into the table
    // space after the used entries. Symbols below simpleLimit are literals
    // (below 256) or the end of block; the others map through base and extra.
    // In: requested root bits (requestedRoot_) and tableUsed_; out: rootBits_,
    // tableBase_. An all-zero set gives an empty table (root 0).
    bool BuildTable(int first, int n, int simpleLimit, const std::uint16_t* base,
                    const std::uint8_t* extra);
    void ResetTableSpace() { tableUsed_ = 0; }
    void RequestRoot(int bits) { requestedRoot_ = bits; }
    int BuiltRootBits() const { return rootBits_; }
    int BuiltTableBase() const { return tableBase_; }
    int TableSpaceUsed() const { return tableUsed_; }
    const HuffEntry* TableSpace() const { return entries_; }
    std::int32_t* Lengths() { return lengths_; }

  private:
    struct CodeCounts {
        int minLen;
        int maxLen;
        bool oversubscribed;
    };

    bool NeedBits(std::uint32_t n, bool consume);
    bool NextByte();
    void SettleView();
    bool ReadBlockHeader();
    bool ReadDynamicHeader();
    bool ReadCodeLengths(int total);
    bool ReadCodeLengthsFromView(int total, std::uint32_t root, int base);
    CodeCounts CountLengths(const std::int32_t* lengths, int n);
    int SortSymbols(const std::int32_t* lengths, int n, int minLen);
    bool ClaimEntries(int size, int* start, bool filled = false);
    void FillSlowRoot(int to, int minLen, int root, int simpleLimit, const std::uint16_t* base,
                      const std::uint8_t* extra);
    bool PlaceLongCode(int root, std::uint32_t rev, int len, HuffEntry entry);
    bool BuildFastTable(const std::int32_t* lengths, int n, int simpleLimit,
                        const std::uint16_t* base, const std::uint8_t* extra, const TableRef& slow,
                        int rootBits, std::uint32_t* table, int capacity, std::uint32_t* baseRest);
    void BuildFastTables(const std::int32_t* lengths, int nlit, int ndist);
    void UseFixedFastTables();
    int Run(std::uint8_t* buffer, int count);
    void RefreshWindow(const std::uint8_t* buffer, int produced);
    void CopyFromHistory(std::uint8_t* buffer, int at, std::uint32_t distance, int n) const;
    void CopyMatchWithRoom(std::uint8_t* buffer, std::uint8_t* out, std::uint32_t distance,
                           std::uint32_t length) const;
    int DecodeStored(std::uint8_t* buffer, int produced, int count);
    bool DecodeCode(std::uint8_t* buffer, int& produced);
    bool DecodeDistance(int produced);
    int CopyMatch(std::uint8_t* buffer, int produced, int count);
    int DecodeFast(std::uint8_t* buffer, int produced, int count);
    struct FastCursor;
    void DecodeRoomy(FastCursor& c, std::uint8_t* buffer, const std::uint8_t* outLimit,
                     const std::uint8_t* inLimit) const;
    void EndOfBlock();
    int Fail(); // state Error; returns -1

    State state_ = Idle;
    InflateInput* input_ = nullptr;
    const char* name_ = "";

    bool final_ = false;
    std::uint32_t storedCount_ = 0;
    std::uint8_t* window_ = nullptr;
    std::int32_t windowPos_ = 0;
    std::uint32_t copyLength_ = 0;
    std::int32_t copySource_ = 0;
    HuffEntry* entries_ = nullptr;
    std::int32_t* lengths_ = nullptr;
    std::int32_t* sorted_ = nullptr;
    TableRef literalRef_{};
    TableRef distanceRef_{};
    TableRef currentRef_{};
    std::uint32_t bitCount_ = 0;
    std::uint32_t bitBuffer_ = 0;
    bool pushBackPending_ = false;
    std::uint8_t pushBackByte_ = 0;
    std::uint8_t byte_ = 0;
    std::uint32_t value_ = 0;
    // Input bytes NeedBits reads straight from the input's buffer while a
    // header's code lengths are read, taken from the input in one go when the
    // view runs out or the header is done (SettleView).
    const std::uint8_t* view_ = nullptr;
    int viewSize_ = 0;
    int viewUsed_ = 0;
    bool viewing_ = false;

    // The fast loop's own tables for the current block: the same codes as the
    // tables above, looked up through wider roots in 32-bit entries that also
    // carry how far the byte-at-a-time path would peek for each code. Built
    // only for codes that are not over-subscribed (and that fit); without
    // them the block is decoded by the byte-at-a-time path. The space is what
    // the largest complete codes of 288 and 32 symbols up to 15 bits need
    // under these roots; a stranger incomplete code that needs more is left
    // to the byte-at-a-time path too.
    static constexpr int kFastLiteralRoot = 11;
    static constexpr int kFastDistanceRoot = 8;
    static constexpr int kFastLiteralEntries = 2342;
    static constexpr int kFastDistanceEntries = 402;
    bool fastReady_ = false;
    bool fastFixed_ = false; // the fast tables hold the fixed codes
    // Every peek of a match's codes is covered by the peek of the code after
    // it, so the roomy loop need only know the last symbol's (see DecodeRoomy).
    bool fastUntracked_ = false;
    std::uint32_t fastLiterals_[kFastLiteralEntries] = {};
    std::uint32_t fastDistances_[kFastDistanceEntries] = {};

    // Table builder scratch.
    std::int32_t tableUsed_ = 0;
    std::int32_t requestedRoot_ = 0;
    std::int32_t rootBits_ = 0;
    std::int32_t tableBase_ = 0;
    std::int32_t count_[16] = {};
    std::int32_t nextCode_[16] = {};
    std::int32_t offsets_[16] = {};
};

} // namespace bv_inflate
