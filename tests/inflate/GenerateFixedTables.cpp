// Prints src/inflate/InflateFixedTables.inc.
#include "FixedTableGenerator.h"

#include <cstdio>

int main() {
    std::fputs(inflate_test::FormatFixedTables(inflate_test::GenerateFixedTables()).c_str(),
               stdout);
    return 0;
}
