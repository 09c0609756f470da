#include "fakes/failing_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace ruvello::testing {
namespace {

// Global because operator new is: read by every thread that allocates, so all of them atomic.
std::atomic<bool> armed{false};
std::atomic<bool> this_thread_only{false};
std::atomic<std::thread::id> arming_thread;
std::atomic<long> countdown{0};
std::atomic<bool> failed{false};
std::atomic<bool> failed_elsewhere{false};

// Whether the allocation being made is the one to fail.
bool Fails() noexcept {
    if (!armed.load(std::memory_order_acquire)) {
        return false;
    }
    const bool here = std::this_thread::get_id() == arming_thread.load();
    if ((this_thread_only && !here) || countdown.fetch_sub(1) != 1) {
        return false;
    }
    failed = true;
    failed_elsewhere = !here;
    return true;
}

void* Allocate(std::size_t bytes) noexcept {
    return Fails() ? nullptr : std::malloc(bytes == 0 ? 1 : bytes);
}

void* AllocateAligned(std::size_t bytes, std::align_val_t alignment) noexcept {
    const auto align = static_cast<std::size_t>(alignment);
    return Fails() ? nullptr : std::aligned_alloc(align, (bytes + align - 1) / align * align);
}

template <class Pointer>
Pointer OrThrow(Pointer p) {
    if (!p) {
        throw std::bad_alloc();
    }
    return p;
}

}  // namespace

FailingAllocations::FailingAllocations(long nth, Threads threads) {
    failed = false;
    failed_elsewhere = false;
    countdown = nth;
    this_thread_only = threads == Threads::kThisOne;
    arming_thread = std::this_thread::get_id();
    armed.store(true, std::memory_order_release);
}

FailingAllocations::~FailingAllocations() {
    armed = false;
}

bool FailingAllocations::Failed() const {
    return failed;
}

bool FailingAllocations::FailedOnAnotherThread() const {
    return failed_elsewhere;
}

void* FailingAllocations::Malloc(std::size_t bytes) {
    return Allocate(bytes);
}

}  // namespace ruvello::testing

// The replacements: every form of operator new goes through the count; every delete frees what
// they allocated.
using ruvello::testing::Allocate;
using ruvello::testing::AllocateAligned;
using ruvello::testing::OrThrow;

void* operator new(std::size_t bytes) {
    return OrThrow(Allocate(bytes));
}
void* operator new[](std::size_t bytes) {
    return OrThrow(Allocate(bytes));
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return Allocate(bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    return Allocate(bytes);
}
void* operator new(std::size_t bytes, std::align_val_t alignment) {
    return OrThrow(AllocateAligned(bytes, alignment));
}
void* operator new[](std::size_t bytes, std::align_val_t alignment) {
    return OrThrow(AllocateAligned(bytes, alignment));
}
void* operator new(std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(bytes, alignment);
}
void* operator new[](std::size_t bytes, std::align_val_t alignment,
                     const std::nothrow_t&) noexcept {
    return AllocateAligned(bytes, alignment);
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
