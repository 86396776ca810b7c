// The frames reader (cfitsio), as the viewer uses it for the files the frame object
// refuses: the header alone, then the whole frame, its card listing and look-ups, and
// the automatic display range of its pixels. Frames are held to 256 pixels a side so
// that one input stays small in memory.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/errors.hpp"
#include "frames/frame_file.hpp"
#include "fuzz_support.hpp"
#include "workspace/frame_display.hpp"

using namespace morvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::WriteScratch("frame.fits", fuzz::AsText(data, size));
  frames::ReadOptions options;
  options.maxSide = 256;
  options.headerOnly = true;
  long width = 0, height = 0;
  try {
    const frames::FrameImage header = frames::ReadFrame(path, options);
    width = header.width;
    height = header.height;
    fuzz::Check(header.pixels.empty(), "pixels read for the header alone");
  } catch (const CommandError& e) {
    fuzz::Check(*e.what() != '\0', "a refusal without a message");
  }
  options.headerOnly = false;
  frames::FrameImage image;
  try {
    image = frames::ReadFrame(path, options);
  } catch (const CommandError& e) {
    fuzz::Check(*e.what() != '\0', "a refusal without a message");
    return 0;
  }
  fuzz::Check(image.width >= 1 && image.height >= 1 && image.width <= 256 && image.height <= 256,
              "a frame beyond the limit was read");
  fuzz::Check(width == 0 || (width == image.width && height == image.height), "the header and the frame disagree");
  fuzz::Check(image.pixels.size() == static_cast<std::size_t>(image.width * image.height), "pixels miss");
  fuzz::Check(image.missing >= 0 && image.missing <= static_cast<long long>(image.pixels.size()), "missing count");
  std::vector<float> finite;
  for (float v : image.pixels) {
    fuzz::Check(!std::isinf(v), "an infinite pixel");
    if (!std::isnan(v)) finite.push_back(v);
  }
  const std::string listing = frames::ListCards(image.cards);
  fuzz::Check(image.cards.empty() || !listing.empty(), "cards without a listing");
  for (const frames::HeaderCard& card : image.cards) {
    fuzz::Check(card.record.size() == 80, "a card that is not 80 characters");
    (void)image.String(card.keyword);
    if (const auto v = image.Number(card.keyword)) (void)std::isfinite(*v);
  }
  const DisplayRange range = AutomaticRange(finite);
  fuzz::CheckFinite(range.minK, "minK");
  fuzz::CheckFinite(range.maxK, "maxK");
  fuzz::Check(range.maxK > range.minK, "an empty automatic range");
  return 0;
}
