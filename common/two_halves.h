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

// first() on the calling thread and second() on a thread of its own, both
// done when this returns. Without a thread (not worth one, or none could be
// started) second() runs after first(), so second may wait for what first
// does but never the other way round.
template <typename First, typename Second>
void AtOnce(bool is_worth_a_thread, First& first, Second& second) {
  pthread_t thread;
  const auto run = [](void* work) -> void* {
    (*static_cast<Second*>(work))();
    return nullptr;
  };
  const bool is_started = is_worth_a_thread && pthread_create(&thread, nullptr, run, &second) == 0;
  first();
  if (is_started) {
    pthread_join(thread, nullptr);
  } else {
    second();
  }
}

// work(begin, end, half) for [0, count / 2) as half 0 and [count / 2, count)
// as half 1; both done when this returns. Small counts run whole as half 0,
// half 1 then being an empty range.
template <typename Work>
void InTwoHalves(size_t count, Work& work) {
  const bool is_split = count >= kTwoHalvesLeast;
  const size_t middle = is_split ? count / 2 : count;
  auto first = [&] { work(size_t{0}, middle, 0); };
  auto second = [&] { work(middle, count, 1); };
  AtOnce(is_split, first, second);
}
