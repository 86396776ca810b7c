#pragma once
// Work shared among threads in fixed blocks: every block is computed the same way
// whoever takes it, so results never depend on the number of threads. A block is
// the unit of progress and of cancellation.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

namespace morvik {

// Told how far a long computation has come; fraction in [0, 1]. Called from one
// thread at a time, not necessarily the caller's.
class SearchProgress {
public:
  virtual ~SearchProgress() = default;
  virtual void Report(double fraction) = 0;
};

// Threads to use: `requested`, or the machine's cores for 0.
inline unsigned SearchThreads(unsigned requested) {
  return requested != 0 ? requested : std::max(1u, std::thread::hardware_concurrency());
}

// Calls fn(block) for every block in [0, blocks) on up to `threads` threads. Returns
// false when *cancel became true before all blocks were done. progress (may be null)
// receives done/blocks scaled into [from, to].
template <typename Fn>
bool ForEachBlock(std::size_t blocks, unsigned threads, Fn&& fn, const std::atomic<bool>* cancel,
                  SearchProgress* progress = nullptr, double from = 0.0, double to = 1.0) {
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  std::atomic<bool> reporting{false};
  auto cancelled = [cancel] { return cancel != nullptr && cancel->load(std::memory_order_relaxed); };
  auto work = [&] {
    for (;;) {
      if (cancelled()) return;
      const std::size_t b = next.fetch_add(1, std::memory_order_relaxed);
      if (b >= blocks) return;
      fn(b);
      const std::size_t d = done.fetch_add(1, std::memory_order_relaxed) + 1;
      if (progress != nullptr && !reporting.exchange(true)) {
        progress->Report(from + (to - from) * static_cast<double>(d) / static_cast<double>(blocks));
        reporting.store(false);
      }
    }
  };
  const std::size_t workers = std::max<std::size_t>(1, std::min<std::size_t>(threads, blocks));
  std::vector<std::thread> helpers;
  helpers.reserve(workers - 1);
  for (std::size_t w = 1; w < workers; ++w) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break; // fewer threads: the same result, later
    }
  }
  work();
  for (auto& h : helpers)
    h.join();
  return !cancelled() || done.load() == blocks;
}

} // namespace morvik
