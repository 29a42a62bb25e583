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

// Makes room for count elements at once and, for a buffer of a megabyte or
// more, gives that room large pages before it is touched; then fill the
// buffer (resize, insert) as usual. A large page covers only whole 2 MB
// steps of the address space, and the allocator places a buffer anywhere in
// them: the room reserved reaches 2 MB further, never touched, so that every
// step the buffer's end falls in is whole.
template <typename T>
void ReserveLarge(std::vector<T>& buffer, size_t count) {
  const size_t spare = count * sizeof(T) < kLargePageBytes / 2 ? 0 : kLargePageBytes / sizeof(T);
  buffer.reserve(count + spare);
  if (spare > 0) AdviseLargePages(buffer.data(), buffer.capacity() * sizeof(T));
}
