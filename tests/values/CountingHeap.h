// A program's global operator new and delete (every form but the aligned
// ones) replaced by malloc and free plus a count of the blocks alive, so that
// a test sees a block being freed on every platform, without a leak checker.
// It changes the heap of every test in the program, so it is linked into a
// program of its own.
#pragma once

namespace counting_heap {

// Blocks taken from operator new and not yet given back.
long LiveBlocks();

} // namespace counting_heap
