#include "common/log.hpp"

#include <algorithm>

namespace morvik {

bool LogShows(std::string_view message, bool debug) {
  if (message.empty()) return false;
  return debug || message.front() != '*';
}

void MemoryLog::Add(std::string_view message) {
  if (LogShows(message, debug_)) lines_.emplace_back(message);
}

bool MemoryLog::Contains(std::string_view line) const {
  return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

bool MemoryLog::ContainsPrefix(std::string_view prefix) const {
  return std::any_of(lines_.begin(), lines_.end(),
                     [&](const std::string& l) { return l.starts_with(prefix); });
}

void StreamLog::Add(std::string_view message) {
  if (!LogShows(message, true) || stream_ == nullptr) return;
  std::fwrite(message.data(), 1, message.size(), stream_);
  std::fputc('\n', stream_);
  std::fflush(stream_);
}

} // namespace morvik
