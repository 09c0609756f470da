#pragma once

#include <cstddef>

namespace ruvello::testing {

// Makes one allocation fail on purpose: the test executable that links failing_allocations.cpp
// replaces the global operator new in all its forms, and while an instance lives, the `nth`
// allocation counted from its construction fails (std::bad_alloc, or a null pointer from the
// nothrow forms and from Malloc). Only that one: the allocations after it succeed again, as when
// memory was short for a moment. One instance at a time.
class FailingAllocations {
  public:
    enum class Threads {
        kAll,      // allocations on every thread count, threads started meanwhile included
        kThisOne,  // only those of the constructing thread (other threads of a library go on)
    };

    explicit FailingAllocations(long nth, Threads threads = Threads::kAll);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;

    // Whether the nth allocation came, and failed.
    bool Failed() const;
    // Whether it came on another thread than the constructing one.
    bool FailedOnAnotherThread() const;

    // malloc that counts as an allocation, for libraries that take an allocator of the C kind.
    static void* Malloc(std::size_t bytes);
};

}  // namespace ruvello::testing
