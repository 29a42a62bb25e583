// A sweep over a large picture's pixels split in two: the second half on a
// thread of its own while the first runs on the calling one, since the
// machines the toolkit runs on have two cores or more and a 4096 x 4096
// picture is millions of independent pixels. The halves must not depend on
// each other; their results are combined by the caller in a fixed order, so
// the outcome is the same as one sweep's. When no thread can be started the
// second half runs after the first, on the calling thread.
#pragma once

#include <pthread.h>

#include <cstddef>

// Below this many items the thread costs more than it saves.
inline constexpr size_t kTwoHalvesLeast = size_t{1} << 16;

// work(begin, end, half) for [0, count / 2) as half 0 and [count / 2, count)
// as half 1; both done when this returns. Small counts run whole as half 0,
// half 1 then being an empty range.
template <typename Work>
void InTwoHalves(size_t count, Work& work) {
  if (count < kTwoHalvesLeast) {
    work(size_t{0}, count, 0);
    work(count, count, 1);
    return;
  }
  struct Second {
    Work* work;
    size_t begin;
    size_t end;
    static void* Run(void* self) {
      const Second& second = *static_cast<Second*>(self);
      (*second.work)(second.begin, second.end, 1);
      return nullptr;
    }
  } second{&work, count / 2, count};
  pthread_t thread;
  const bool is_started = pthread_create(&thread, nullptr, &Second::Run, &second) == 0;
  work(size_t{0}, count / 2, 0);
  if (is_started) {
    pthread_join(thread, nullptr);
  } else {
    Second::Run(&second);
  }
}
