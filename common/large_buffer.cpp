#include "common/large_buffer.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

void AdviseLargePages(const void* start, size_t bytes) {
  if (start == nullptr || bytes == 0) return;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t first = reinterpret_cast<uintptr_t>(start) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + bytes + page - 1) & ~(page - 1);
  // The pages around the buffer are the allocator's own: the advice does not
  // change what they hold.
  madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void KeepFreedMemory() {
  // Buffers up to 32 MB (the most the allocator allows here) come from its
  // heap instead of mappings of their own, and the heap is never trimmed.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
}
