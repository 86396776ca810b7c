// The reduction of a small frame set: up to four frames, split at "@@@@", each with
// mutated headers and data, read, calibrated, searched for stars, aligned to the
// reference and written as a field. A field is written whole or not at all, and a
// failure always says why.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "reduction/reduce.hpp"

using namespace morvik;

namespace {

std::vector<std::string_view> Split(std::string_view text) {
  std::vector<std::string_view> parts;
  while (parts.size() < 3) {
    const auto at = text.find("@@@@");
    if (at == std::string_view::npos) break;
    parts.push_back(text.substr(0, at));
    text.remove_prefix(at + 4);
  }
  parts.push_back(text);
  return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts = Split(fuzz::AsText(data, size));
  reduction::ReduceSettings s;
  for (std::size_t k = 0; k < parts.size(); ++k)
    s.frames.push_back(fuzz::WriteScratch("frame" + std::to_string(k) + ".fits", parts[k]));
  // One frame alone is reduced against a copy of itself taken at the same time.
  if (s.frames.size() == 1) s.frames.push_back(fuzz::WriteScratch("frame1.fits", parts[0]));
  s.threads = 1;
  s.out = fuzz::ScratchFolder() + "/out/field";
  const std::vector<std::string> files = {s.out + ".fts", s.out + ".dat", s.out + ".xml", s.out + "_reduction.txt"};
  std::atomic<bool> cancel{false};
  const reduction::ReduceResult r = reduction::Reduce(s, {}, cancel);
  std::size_t present = 0;
  for (const std::string& f : files)
    present += std::filesystem::exists(f) ? 1 : 0;
  if (r.ok) {
    fuzz::Check(present == files.size(), "a field written in part");
    fuzz::Check(r.rows >= 2 && r.stars >= 3, "a field of fewer than two rows or three stars");
    fuzz::Check(r.frames.size() == s.frames.size(), "a frame without its report");
  } else {
    fuzz::Check(!r.error.empty(), "a failure without a reason");
    fuzz::Check(present == 0, "files left by a failed reduction");
  }
  for (const reduction::FrameReport& f : r.frames)
    fuzz::Check(f.used || !f.reason.empty(), "a frame skipped without a reason");
  std::error_code ec;
  std::filesystem::remove_all(fuzz::ScratchFolder() + "/out", ec);
  return 0;
}
