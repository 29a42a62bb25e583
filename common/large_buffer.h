// Buffers of megabytes (a level's layers, a map file read whole). The kernel
// gives a process its memory a page at a time as it is first touched, and
// each 4 KB page is a fault it pays for: a map of a million cells touches
// tens of thousands of them, more time than converting the map. Such a
// buffer asks for 2 MB pages instead, where the kernel offers them only to
// memory that asks (transparent huge pages set to "madvise", as on Debian).
#pragma once

#include <cstddef>
#include <vector>

inline constexpr size_t kLargePageBytes = size_t{2} << 20;

// Asks for large pages for the memory of [start, start + bytes), rounded out
// to whole pages; does nothing where the kernel says no (it is advice: the
// memory and its contents are the same either way).
void AdviseLargePages(const void* start, size_t bytes);

// Makes room for count elements at once and, for a buffer of 2 MB or more,
// gives that room large pages before it is touched; then fill the buffer
// (resize, insert) as usual. (Only the whole 2 MB steps of the address
// space inside the buffer can be large pages: its ends keep small ones.)
template <typename T>
void ReserveLarge(std::vector<T>& buffer, size_t count) {
  buffer.reserve(count);
  if (count * sizeof(T) >= kLargePageBytes) AdviseLargePages(buffer.data(), buffer.capacity() * sizeof(T));
}

// For a run that frees buffers of megabytes and makes new ones (a level's
// file read whole, then its maps): the allocator keeps freed memory for the
// next buffers rather than handing it back to the kernel and taking fresh
// pages, each a fault, again. Kept until the program ends.
void KeepFreedMemory();
