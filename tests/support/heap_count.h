// The program's global operator new, replaced to count every heap allocation. A program that
// counts links heap_count.cpp among its own sources.
#pragma once

namespace qvtest {

// Allocations through operator new (any form) since the program started.
long HeapAllocations();

}  // namespace qvtest
