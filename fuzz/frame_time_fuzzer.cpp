// The reduction's reading of a frame's time and position from its header: the bytes
// are header cards, one "KEYWORD=value" per line.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "reduction/frame_time.hpp"

using namespace morvik;
using namespace morvik::reduction;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(fuzz::AsText(data, size));
  frames::FrameImage frame;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(from, end - from);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) frame.cards.push_back({line.substr(0, eq), line.substr(eq + 1), "", line});
    from = end + 1;
  }
  TimeOptions byKeyword;
  byKeyword.keyword = "JULDAT";
  byKeyword.keywordAt = TimeAt::Middle;
  for (const TimeOptions& options : {TimeOptions{}, byKeyword}) {
    const TimeResult r = ReadFrameTime(frame, options);
    fuzz::Check(r.time.has_value() || !r.error.empty(), "no time and no reason");
    if (r.time && std::isfinite(r.time->jdMid) && std::abs(r.time->jdMid) < 1e7) {
      for (TimeSystem system : {TimeSystem::Hjd, TimeSystem::Bjd}) {
        const double corrected = CorrectTime(r.time->jdMid, system, 150.0, -20.0);
        // The light time across the Earth's orbit stays within about 8.5 minutes.
        fuzz::Check(std::abs(corrected - r.time->jdMid) < 0.01, "correction beyond the light time");
      }
    }
  }
  if (auto ra = ParseRightAscension(text)) fuzz::CheckFinite(*ra, "right ascension");
  if (auto dec = ParseDeclination(text)) fuzz::Check(std::abs(*dec) <= 90, "declination beyond a pole");
  if (auto jd = ParseFitsDate(text)) fuzz::CheckFinite(*jd, "date");
  return 0;
}
