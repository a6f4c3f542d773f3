// The program's global operator new, replaced to count every heap allocation.
#pragma once

namespace qvbench {

// Allocations through operator new (any form) since the program started.
long HeapAllocations();

}  // namespace qvbench
