#pragma once
// Splits a range of independent items (stars or rows) over the machine's cores. Every
// item is handled by exactly one thread in the same order as a single thread would, so
// the results do not depend on the number of threads.

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace morvik {

// Below this many measurements a second thread costs more than it saves.
inline constexpr std::size_t kParallelMinWork = std::size_t{1} << 18;

// Calls fn(first, last) on consecutive slices of [0, count) that together cover it.
// work: the number of measurements the whole range touches.
template <typename Fn> void ForEachSlice(std::size_t count, std::size_t work, Fn&& fn) {
  std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
  threads = std::min<std::size_t>({threads, count, 8});
  if (threads <= 1 || work < kParallelMinWork) {
    if (count > 0) fn(std::size_t{0}, count);
    return;
  }
  std::vector<std::thread> helpers;
  helpers.reserve(threads - 1);
  const std::size_t slice = (count + threads - 1) / threads;
  for (std::size_t t = 1; t < threads; ++t) {
    const std::size_t first = t * slice;
    const std::size_t last = std::min(count, first + slice);
    if (first >= last) break;
    helpers.emplace_back([&fn, first, last] { fn(first, last); });
  }
  fn(std::size_t{0}, std::min(count, slice));
  for (std::thread& h : helpers)
    h.join();
}

} // namespace morvik
