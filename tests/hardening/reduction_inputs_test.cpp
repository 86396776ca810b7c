// The reduction's inputs at their worst: symlink loops, folders that are not there,
// frames cut short of their header, a sample with one odd frame.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/errors.hpp"
#include "frames/frame_file.hpp"
#include "reduction/frame_list.hpp"
#include "reduction/reduce.hpp"
#include "reduction/synthetic_frames.hpp"
#include "reduction/work_dir.hpp"

namespace morvik::reduction {
namespace {

namespace fs = std::filesystem;

class ReductionInputs : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = morvik::testing::TestWorkDir("inputs");
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "frames");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string At(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

// A header declaring width x height 16-bit pixels, followed by `bytes` bytes of data.
void WriteDeclared(const std::string& path, long width, long height, std::size_t bytes) {
  auto card = [](std::string text) {
    text.resize(80, ' ');
    return text;
  };
  std::string header = card("SIMPLE  =                    T") + card("BITPIX  =                   16") +
                       card("NAXIS   =                    2") + card("NAXIS1  = " + std::to_string(width)) +
                       card("NAXIS2  = " + std::to_string(height)) + card("END");
  header.resize(2880, ' ');
  std::ofstream(path, std::ios::binary) << header << std::string(bytes, '\x01');
}

TEST_F(ReductionInputs, FrameListsNeverThrowAndNameWhatFailed) {
  fs::create_symlink(At("frames/loop.fits"), At("frames/loop.fits"));
  std::ofstream(At("frames/a.fits")) << "x";
  std::ofstream(At("frames/b.FIT")) << "x";
  std::ofstream(At("frames/notes.txt")) << "x";
  fs::create_directories(dir_ / "empty");
  const struct {
    std::vector<std::string> args;
    std::size_t frames;
    std::string error; // "" when the list is good
    std::size_t notes;
  } cases[] = {
      {{At("frames")}, 2, "", 1}, // the loop left out, said
      {{At("frames/loop.fits"), At("frames/a.fits")},
       0,
       "cannot read " + At("frames/loop.fits") + ": Too many levels of symbolic links",
       0},
      {{At("missing"), At("frames/a.fits")}, 2, "", 1}, // said, and skipped later as unreadable
      {{At("empty")}, 0, "the folder " + At("empty") + " holds no frame (.fit, .fits, .fts, .fz or .gz)", 0},
      {{At("frames/a.fits"), At("frames/b.FIT")}, 2, "", 0},
  };
  for (const auto& c : cases) {
    FrameList list;
    ASSERT_NO_THROW(list = ListFrames(c.args)) << c.args[0];
    EXPECT_EQ(list.error, c.error) << c.args[0];
    EXPECT_EQ(list.frames.size(), c.frames) << c.args[0];
    EXPECT_EQ(list.notes.size(), c.notes) << c.args[0];
  }
}

TEST_F(ReductionInputs, FramesCutShortAreReadByTheirBytesOrRefused) {
  const struct {
    long side;
    std::size_t bytes;
    long long missing; // -1: refused
  } cases[] = {
      {16384, 28800, -1},            // 268 M pixels declared, 14 400 there
      {6000, 2 * 6000 * 1000, -1},   // five sixths missing, beyond the allowance
      {100, 2 * 100 * 60, 4000},     // a small frame cut short: read as far as it goes
      {2000, 2 * 2000 * 1999, 2000}, // the last row lost
  };
  for (const auto& c : cases) {
    const std::string path = At("cut.fits");
    WriteDeclared(path, c.side, c.side, c.bytes);
    if (c.missing < 0) {
      try {
        frames::ReadFrame(path);
        ADD_FAILURE() << c.side << " was read";
      } catch (const CommandError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read cut.fits: the file holds " + std::to_string(c.bytes / 2) +
                                             " of the " + std::to_string(c.side * c.side) +
                                             " pixels its header declares.");
      }
    } else {
      const frames::FrameImage image = frames::ReadFrame(path);
      EXPECT_EQ(image.missing, c.missing) << c.side;
      EXPECT_TRUE(std::isnan(image.pixels.back())) << c.side;
      EXPECT_EQ(image.pixels.front(), 257.0f) << c.side;
    }
  }
}

// Nine frames of one size and a 2x upsampled copy, which shows more detections: the
// reference comes from the nine.
TEST_F(ReductionInputs, TheReferenceComesFromTheMajorityFrameSizeAndCutFramesAreSaid) {
  const auto stars = morvik::testing::SynthField(20, 96, 96, 5);
  // The odd frame shows more stars than the others, as resampling noise would.
  auto crowded = stars;
  for (int i = 0; i < 16; ++i)
    crowded.push_back({10.0 + 25.0 * (i % 4) + 3.0, 10.0 + 25.0 * (i / 4) + 7.0, 3000.0});
  ReduceSettings s;
  for (int k = 0; k < 10; ++k) {
    morvik::testing::SynthFrame fr;
    const bool odd = k == 3;
    fr.width = fr.height = odd ? 192 : 96;
    if (odd) fr.a = fr.e = 2.0, fr.fwhm = 6.0, fr.exposure = 40;
    fr.c = 0.5 * k;
    fr.textCards = {{"DATE-OBS", "2023-03-01T21:" + std::to_string(10 + k) + ":00"}};
    const std::string path = At("frames/f" + std::to_string(k) + ".fits");
    ASSERT_TRUE(morvik::testing::WriteSynthFrame(path, fr, odd ? crowded : stars, static_cast<unsigned>(k + 1)));
    s.frames.push_back(path);
  }
  // A frame cut in the middle of its data is skipped with that said.
  fs::resize_file(s.frames[8], fs::file_size(s.frames[8]) / 2);
  s.out = At("out/field");
  std::atomic<bool> cancel{false};
  const ReduceResult r = Reduce(s, {}, cancel);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_NE(r.reference, s.frames[3]);
  EXPECT_EQ(r.rows, 8);
  EXPECT_EQ(r.frames[8].reason.substr(0, 24), "cut short: the file ends") << r.frames[8].reason;
  EXPECT_NE(r.frames[3].reason.find("size 192 x 192 differs"), std::string::npos) << r.frames[3].reason;
}

// Nothing in the sample could serve: every frame's reason is said.
TEST_F(ReductionInputs, AnUnusableSampleSaysEachFramesReason) {
  ReduceSettings s;
  s.frames = {At("frames/a.fits"), At("frames/b.fits")};
  std::ofstream(s.frames[0]) << "not a FITS file";
  WriteDeclared(s.frames[1], 4000, 4000, 100);
  s.out = At("out/field");
  std::atomic<bool> cancel{false};
  const ReduceResult r = Reduce(s, {}, cancel);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.substr(0, r.error.find('\n')), "No frame of the sample could serve as the reference:");
  EXPECT_NE(r.error.find("\n  a.fits: unreadable: Cannot read a.fits: "), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("\n  b.fits: unreadable: Cannot read b.fits: the file holds 50 of the 16000000 pixels"),
            std::string::npos)
      << r.error;
}

} // namespace
} // namespace morvik::reduction
