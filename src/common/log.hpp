#pragma once
// The one way every component reports to the user.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace morvik {

// A sink for log lines. The desktop shows them in its log pane, the batch program
// writes them to a stream, tests collect them.
class Log {
public:
  virtual ~Log() = default;
  // Appends one message. Empty messages are dropped by every sink.
  virtual void Add(std::string_view message) = 0;
  // Removes every line shown so far (the sigma histogram starts from an empty log).
  virtual void Clear() {}
};

// True when a message is shown under the given state of the "debug" switch: an empty
// message never is; one starting with '*' only while debug is on.
bool LogShows(std::string_view message, bool debug);

class NullLog final : public Log {
public:
  void Add(std::string_view) override {}
};

// Keeps the lines it shows in memory; used by tests and by the histogram export.
class MemoryLog final : public Log {
public:
  explicit MemoryLog(bool debug = true) : debug_(debug) {}
  void Add(std::string_view message) override;
  void Clear() override { lines_.clear(); }
  void SetDebug(bool debug) { debug_ = debug; }
  const std::vector<std::string>& Lines() const { return lines_; }
  // True when some line equals the text exactly.
  bool Contains(std::string_view line) const;
  // True when some line starts with the text.
  bool ContainsPrefix(std::string_view prefix) const;

private:
  bool debug_;
  std::vector<std::string> lines_;
};

// Writes every non-empty line to a C stream (the batch program: every line, as with
// "debug" ticked).
class StreamLog final : public Log {
public:
  explicit StreamLog(std::FILE* stream) : stream_(stream) {}
  void Add(std::string_view message) override;

private:
  std::FILE* stream_;
};

} // namespace morvik
