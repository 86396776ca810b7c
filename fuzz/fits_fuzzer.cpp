// The FITS frame reader, as File > Open uses it: TFits::LoadFromFile on the chosen file,
// then the statistics and the grey-scale rendering of what was read. The frame object
// is made once and reused, so every input is read over the frame the previous one left.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/errors.hpp"
#include "common/log.hpp"
#include "fits/tfits.hpp"
#include "fuzz_support.hpp"

using namespace morvik;

namespace {

// What a refused file must leave as it was.
struct FrameState {
  std::string fileName;
  int width, height, bitPix, pixelBytes;
  double bScale, bZero, corner, middle;
  bool loaded;

  static FrameState Of(const TFits& f) {
    FrameState s{f.FileName, f.Width,      f.Height,
                 f.BitPix,   f.PixelBytes, f.BScale,
                 f.BZero,    f.Data(1, 1), f.Data(kMaxFrameSide / 2, kMaxFrameSide / 3),
                 f.Loaded};
    return s;
  }
  bool operator==(const FrameState& o) const {
    auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    return fileName == o.fileName && width == o.width && height == o.height && bitPix == o.bitPix &&
           pixelBytes == o.pixelBytes && same(bScale, o.bScale) && same(bZero, o.bZero) && same(corner, o.corner) &&
           same(middle, o.middle) && loaded == o.loaded;
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TFits frame; // about 39 MB, as the program makes it once
  // Two names, so that a refused file never carries the name of the frame before it.
  static int turn = 0;
  const std::string path = fuzz::WriteScratch(++turn % 2 != 0 ? "a.fit" : "b.fit", fuzz::AsText(data, size));
  const FrameState before = FrameState::Of(frame);
  MemoryLog log;
  try {
    frame.LoadFromFile(path, false, log);
  } catch (const CommandError& e) {
    fuzz::Check(*e.what() != '\0', "a refusal without a message");
    fuzz::Check(FrameState::Of(frame) == before, std::string("a refused frame changed the frame: ") + e.what());
    return 0;
  }
  fuzz::Check(frame.Width >= 1 && frame.Height >= 1 && frame.Width <= kMaxFrameSide && frame.Height <= kMaxFrameSide,
              "a frame outside the buffer was accepted");
  fuzz::Check(frame.FileName == path && frame.Loaded, "a read frame does not carry its file name");
  for (int x = 1; x <= frame.Width; ++x) {
    const double* column = frame.Column(x);
    for (int y = 0; y < frame.Height; ++y)
      if (!std::isfinite(column[y]))
        fuzz::Fail("pixel " + std::to_string(x) + "," + std::to_string(y + 1) + " is not finite");
  }

  frame.SetContrast(static_cast<int>(size % 17));
  frame.Render(log);
  fuzz::CheckFinite(frame.MinVal, "MinVal");
  fuzz::CheckFinite(frame.MaxVal, "MaxVal");
  fuzz::CheckFinite(frame.MeanVal, "MeanVal");
  fuzz::CheckFinite(frame.BgVal, "BgVal");
  fuzz::CheckFinite(frame.MinK, "MinK");
  fuzz::CheckFinite(frame.MaxK, "MaxK");
  return 0;
}
