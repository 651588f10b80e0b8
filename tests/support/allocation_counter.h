// Counts every heap allocation the process makes while a scope is open, by
// replacing malloc and the global operator new in the test binary.
#pragma once

#include <cstddef>

namespace kelvo::test {

class AllocationScope {
  public:
    AllocationScope();
    ~AllocationScope();
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;

    // Allocations made since the scope opened.
    size_t allocations() const;
};

}  // namespace kelvo::test
