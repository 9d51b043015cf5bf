#include "inflate/InflateTables.h"

namespace bv_inflate {

const std::uint32_t kMask[33] = {
    0x00000000, 0x00000001, 0x00000003, 0x00000007, 0x0000000F, 0x0000001F, 0x0000003F,
    0x0000007F, 0x000000FF, 0x000001FF, 0x000003FF, 0x000007FF, 0x00000FFF, 0x00001FFF,
    0x00003FFF, 0x00007FFF, 0x0000FFFF, 0x0001FFFF, 0x0003FFFF, 0x0007FFFF, 0x000FFFFF,
    0x001FFFFF, 0x003FFFFF, 0x007FFFFF, 0x00FFFFFF, 0x01FFFFFF, 0x03FFFFFF, 0x07FFFFFF,
    0x0FFFFFFF, 0x1FFFFFFF, 0x3FFFFFFF, 0x7FFFFFFF, 0xFFFFFFFF};

const std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

const std::uint16_t kLengthBase[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                       17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                       99, 115, 131, 163, 195, 227, 258, 0,  0};
const std::uint8_t kLengthExtra[31] = {0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       1,
                                       1,
                                       1,
                                       1,
                                       2,
                                       2,
                                       2,
                                       2,
                                       3,
                                       3,
                                       3,
                                       3,
                                       4,
                                       4,
                                       4,
                                       4,
                                       5,
                                       5,
                                       5,
                                       5,
                                       0,
                                       kExtraInvalid,
                                       kExtraInvalid};

const std::uint16_t kDistanceBase[32] = {
    1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
const std::uint8_t kDistanceExtra[32] = {0,
                                         0,
                                         0,
                                         0,
                                         1,
                                         1,
                                         2,
                                         2,
                                         3,
                                         3,
                                         4,
                                         4,
                                         5,
                                         5,
                                         6,
                                         6,
                                         7,
                                         7,
                                         8,
                                         8,
                                         9,
                                         9,
                                         10,
                                         10,
                                         11,
                                         11,
                                         12,
                                         12,
                                         13,
                                         13,
                                         kExtraInvalid,
                                         kExtraInvalid};

#include "inflate/InflateFixedTables.inc"

} // namespace bv_inflate
