// Generator of the decoder's constant fixed-code tables. The committed
// src/inflate/InflateFixedTables.inc is this generator's output; the tool
// inflate_generate_tables prints it and a test keeps the two equal.
#pragma once

#include "inflate/InflateTables.h"

#include <string>
#include <vector>

namespace inflate_test {

struct FixedTables {
    std::vector<bv_inflate::HuffEntry> literal;  // 512 entries, root 9
    std::vector<bv_inflate::HuffEntry> distance; // 32 entries, root 5
};

// Builds the tables with the decoder's own table builder from the fixed code
// lengths of RFC 1951. Distance symbols 30 and 31 become unfilled slots.
FixedTables GenerateFixedTables();

// The text of InflateFixedTables.inc.
std::string FormatFixedTables(const FixedTables& tables);

} // namespace inflate_test
