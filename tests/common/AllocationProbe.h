// AllocationProbe: what the global operator new hands out while a probe lives, so that tests can
// bound the memory a reader takes for a file. Only binaries that compile AllocationProbe.cpp (it
// replaces the global operator new and delete) can use it.
#pragma once

#include <cstddef>

/// Records the largest single allocation and the peak of the bytes allocated and not yet freed
/// since construction. One probe at a time; the counters are atomic, so allocations on other
/// threads (OpenMP workers) are counted too.
class AllocationProbe {
   public:
    AllocationProbe();
    ~AllocationProbe();
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;

    /// Largest block requested from operator new since construction (bytes).
    size_t largestBlock() const;
    /// Peak of (bytes allocated - bytes freed) since construction; blocks allocated before the
    /// probe and freed under it lower the count, so this is a bound on the growth, not an exact one.
    size_t peakGrowth() const;
};
