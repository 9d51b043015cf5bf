// The largest document the two handler DLLs accept, for the tools that write
// documents or explain why one got no thumbnail. A document wider or taller
// than a DLL's limit gets no thumbnail from that DLL, so a 6000 px one shows
// in 64-bit Explorer but not in 32-bit programs' file dialogs.
#pragma once

#include "bv_config.h"

#include <string>

constexpr int kMaxSide64 = 8192;
constexpr int kMaxSide32 = 5120;
static_assert(BV_MAX_DOCUMENT_SIDE == (sizeof(void*) == 8 ? kMaxSide64 : kMaxSide32),
              "the tools' limits must match the DLL built beside them");

// Empty when both DLLs accept a document of this size; otherwise names the
// first side beyond the 32-bit limit and both limits, e.g. "9000 px wide; the
// 64-bit handler accepts documents up to 8192 px, the 32-bit one up to 5120".
inline std::string SideLimitText(long long width, long long height) {
    std::string side;
    if (width > kMaxSide32)
        side = std::to_string(width) + " px wide";
    else if (height > kMaxSide32)
        side = std::to_string(height) + " px high";
    else
        return side;
    return side + "; the 64-bit handler accepts documents up to " + std::to_string(kMaxSide64) +
           " px, the 32-bit one up to " + std::to_string(kMaxSide32);
}
