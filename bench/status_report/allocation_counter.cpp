// Counts every heap allocation of the process by standing in for the C
// library's allocator entry points and handing on to its own.
#include "allocation_counter.h"

#include <atomic>
#include <cstddef>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
}

namespace {
std::atomic<long> g_allocations{0};
}

long Allocations() { return g_allocations.load(std::memory_order_relaxed); }

extern "C" {
void *malloc(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void *realloc(void *pointer, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
}
