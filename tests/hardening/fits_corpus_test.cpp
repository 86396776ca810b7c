// Bad FITS frames through File > Open, over a field that is already open: each one is
// refused with its message and takes nothing away, or is read as far as it goes.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "hardening_support.hpp"

namespace morvik::hardening {
namespace {

using FitsCorpus = OpenedField;

struct Refusal {
  const char* file;
  const char* message; // a part of the message the user sees
};

// Opens the bad frame and checks the message and that the frame, its picture, the data
// set and the catalog are what they were.
void ExpectRefused(FitsCorpus& t, const Refusal& r, bool headerKept = true) {
  SCOPED_TRACE(r.file);
  const std::string message = t.OpenBad(ReadFile(BadFile(std::string("fits/") + r.file)));
  EXPECT_NE(message.find(r.message), std::string::npos) << "message: " << message;
  const Loaded now = Loaded::Of(t.ws);
  ExpectSameFrame(now, t.before);
  ExpectSameData(now, t.before);
  if (headerKept) {
    EXPECT_TRUE(SameHeader(now.header, t.before.header)) << "the header changed";
  }
  EXPECT_EQ(t.ws.RunCount, 1);
  EXPECT_EQ(t.ws.FramePath, t.folder.Path("good.fit"));
}

TEST_F(FitsCorpus, FilesThatEndBeforeTheDataAreRefused) {
  for (const Refusal& r : {Refusal{"empty.fit", "The file ends after 0 bytes, before the END card"},
                           Refusal{"garbage.fit", "The file ends after 3000 bytes, before the END card"},
                           Refusal{"no_end.fit", "The file ends after 2904 bytes, before the END card"},
                           Refusal{"cut_in_header.fit", "The file ends after 200 bytes, before the END card"},
                           Refusal{"cut_in_blanks.fit", "The file ends after 1000 bytes, inside the blanks"}})
    ExpectRefused(*this, r);
}

TEST_F(FitsCorpus, SizesOutsideTheBufferAreRefusedWithTheSizeAndTheLimit) {
  for (const Refusal& r : {Refusal{"naxis1_0.fit", "The frame is 0 x 3 pixels: each side must be between 1 and 2200"},
                           Refusal{"naxis1_minus1.fit", "The frame is -1 x 3 pixels"},
                           Refusal{"naxis1_100000.fit", "The frame is 100000 x 3 pixels"},
                           Refusal{"naxis2_0.fit", "The frame is 4 x 0 pixels"},
                           Refusal{"naxis2_minus1.fit", "The frame is 4 x -1 pixels"},
                           Refusal{"naxis2_100000.fit", "The frame is 4 x 100000 pixels"}})
    ExpectRefused(*this, r);
}

// Beyond the buffer but within 16 384 pixels a side: read through cfitsio, the pixels
// that the short files lack missing.
TEST_F(FitsCorpus, SizesBeyondTheBufferOpenThroughTheFramesReader) {
  for (const char* file : {"naxis1_2201.fit", "naxis2_2201.fit"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(OpenBad(ReadFile(BadFile(std::string("fits/") + file))), "");
    ASSERT_TRUE(ws.LargeFrame);
    EXPECT_EQ(ws.Frame->Width * ws.Frame->Height, 2201 * (file[5] == '1' ? 3 : 4));
  }
}

TEST_F(FitsCorpus, UnsupportedBitpixIsRefusedNamingTheValue) {
  for (const Refusal& r :
       {Refusal{"bitpix_0.fit", "BITPIX 0 is not supported"}, Refusal{"bitpix_7.fit", "BITPIX 7 is not supported"},
        Refusal{"bitpix_minus16.fit", "BITPIX -16 is not supported"},
        Refusal{"bitpix_128.fit", "BITPIX 128 is not supported"}})
    ExpectRefused(*this, r);
}

// A size that is not an integer stops the load with the conversion message; the header
// then holds the new file's cards so that the user can see them, and nothing else moves.
TEST_F(FitsCorpus, SizesThatAreNotIntegersKeepTheNewHeaderOnly) {
  struct Case {
    const char* file;
    const char* message;
    int cards;
  };
  for (const Case& c : {Case{"naxis1_512.0.fit", "'512.0' is not a valid integer value", 5},
                        Case{"naxis2_512.0.fit", "'512.0' is not a valid integer value", 5},
                        Case{"naxis1_empty.fit", "'' is not a valid integer value", 5},
                        Case{"naxis2_empty.fit", "'' is not a valid integer value", 5},
                        Case{"naxis1_missing.fit", "'' is not a valid integer value", 4},
                        Case{"naxis2_missing.fit", "'' is not a valid integer value", 4},
                        Case{"end_only.fit", "'' is not a valid integer value", 0}}) {
    SCOPED_TRACE(c.file);
    const std::string message = OpenBad(ReadFile(BadFile(std::string("fits/") + c.file)));
    EXPECT_EQ(message, c.message);
    const Loaded now = Loaded::Of(ws);
    ExpectSameFrame(now, before);
    ExpectSameData(now, before);
    EXPECT_EQ(ws.Frame->Header.Count, c.cards);
    EXPECT_EQ(ws.Frame->Header.Cards.size(), static_cast<std::size_t>(c.cards));
    if (c.cards == 5) {
      EXPECT_EQ(ws.Frame->Header.GetString("SIMPLE"), "T");
    }
  }
}

// Pixel (x, y) of the bad fixtures is x + 4 (y - 1).
double FixturePixel(int x, int y) { return x + 4.0 * (y - 1); }

TEST_F(FitsCorpus, AFileCutInsideThePixelsKeepsZeroInTheMissingOnesAndSaysSo) {
  EXPECT_EQ(OpenBad(ReadFile(BadFile("fits/cut_in_pixels.fit"))), "");
  EXPECT_TRUE(log.Contains("The file ends before its pixel data does: 8 of 12 pixels are missing and read as 0."));
  const TFits& f = *ws.Frame;
  ASSERT_EQ(f.Width, 4);
  ASSERT_EQ(f.Height, 3);
  for (int x = 1; x <= 4; ++x)
    EXPECT_EQ(f.Data(x, 1), FixturePixel(x, 1)) << x; // bytes 0 ... 7: four whole pixels
  for (int y = 2; y <= 3; ++y)
    for (int x = 1; x <= 4; ++x)
      EXPECT_EQ(f.Data(x, y), 0.0) << x << "," << y; // the fifth pixel has one byte only
  // No table or catalog lies beside it: nothing of the field opened before stays.
  EXPECT_EQ(ws.Series.StarCount, 0u);
  EXPECT_EQ(ws.OpenWarnings.size(), 2u);
  ExpectFiniteRecords(ws);
}

// A BZERO or BSCALE that is not a number is not reported; it reads as 0, which makes
// the scale 1, so the stored values come through unchanged.
TEST_F(FitsCorpus, ScalingCardsHoldingTextReadAsNoScaling) {
  for (const char* file : {"fits/bzero_text.fit", "fits/bscale_text.fit"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(OpenBad(ReadFile(BadFile(file))), "");
    const TFits& f = *ws.Frame;
    EXPECT_EQ(f.BScale, 1.0);
    EXPECT_EQ(f.BZero, 0.0);
    ASSERT_EQ(f.Width, 4);
    for (int y = 1; y <= 3; ++y)
      for (int x = 1; x <= 4; ++x)
        EXPECT_EQ(f.Data(x, y), FixturePixel(x, y));
    // Nothing lies beside the frame: no table of an earlier field stays.
    EXPECT_EQ(ws.Series.StarCount, 0u);
  }
}

// A header far longer than any real one, with no END: the reader walks it to the end
// of the file and refuses it, without keeping anything of it.
TEST_F(FitsCorpus, AHugeHeaderWithoutEndIsRefused) {
  std::string header;
  for (int i = 0; header.size() < 4 * 1024 * 1024; ++i)
    header += Card("HISTORY " + std::to_string(i));
  const std::string message = OpenBad(header);
  EXPECT_NE(message.find("before the END card"), std::string::npos) << message;
  ExpectSameFrame(Loaded::Of(ws), before);
}

// Pixels that are not finite numbers (IEEE NaN and infinities in a -32 frame) never
// reach the frame.
TEST_F(FitsCorpus, NonFinitePixelsReadAsZero) {
  std::string f = Card("SIMPLE  =                    T") + Card("BITPIX  =                  -32") +
                  Card("NAXIS   =                    2") + Card("NAXIS1  =                    3") +
                  Card("NAXIS2  =                    1") + Card("END");
  f.resize(2880, ' ');
  f += std::string("\x7f\xc0\x00\x00"
                   "\x7f\x80\x00\x00"
                   "\x3f\x80\x00\x00",
                   12); // NaN, +inf, 1.0
  EXPECT_EQ(OpenBad(f), "");
  EXPECT_EQ(ws.Frame->Data(1, 1), 0.0);
  EXPECT_EQ(ws.Frame->Data(2, 1), 0.0);
  EXPECT_EQ(ws.Frame->Data(3, 1), 1.0);
  EXPECT_TRUE(log.ContainsPrefix("2 pixels are not finite numbers"));
}

} // namespace
} // namespace morvik::hardening

namespace morvik::hardening {
namespace {

// A -64 frame of one row holding these values.
std::string DoubleFrame(const std::vector<double>& values) {
  std::string f =
      Card("SIMPLE  =                    T") + Card("BITPIX  =                  -64") +
      Card("NAXIS   =                    2") +
      Card("NAXIS1  = " + std::string(20 - std::to_string(values.size()).size(), ' ') + std::to_string(values.size())) +
      Card("NAXIS2  =                    1") + Card("END");
  f.resize(2880, ' ');
  for (double v : values) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    for (int b = 7; b >= 0; --b)
      f.push_back(static_cast<char>((bits >> (8 * b)) & 0xff));
  }
  return f;
}

// Pixels near the largest double: their sum, the background times the contrast factor
// and the display range would overflow; none of them may become an infinity.
TEST_F(FitsCorpus, ExtremePixelValuesKeepTheStatisticsFinite) {
  constexpr double kHuge = 1.7e308;
  const std::string frames[] = {ReadFile(BadFile("fits/huge_pixels.fit")), DoubleFrame({1.0, kHuge}),
                                DoubleFrame({-kHuge, kHuge, 3.0}), DoubleFrame({5e-324, 1e-323, 2e-323})};
  for (const std::string& frame : frames) {
    for (int level : {0, 2, 3, 15, 16}) {
      SCOPED_TRACE(testing::Message() << "level " << level << ", frame " << &frame - frames);
      ws.settings.ContrastLevel = level;
      log.Clear();
      EXPECT_EQ(OpenBad(frame), "");
      const TFits& f = *ws.Frame;
      for (double v : {f.MinVal, f.MaxVal, f.MeanVal, f.BgVal, f.MinK, f.MaxK})
        EXPECT_TRUE(std::isfinite(v)) << f.MinVal << " " << f.MaxVal << " " << f.MeanVal << " " << f.BgVal << " "
                                      << f.MinK << " " << f.MaxK;
      for (std::string line : log.Lines()) {
        for (char& c : line)
          c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(line.find("inf"), std::string::npos) << line;
        EXPECT_EQ(line.find("nan"), std::string::npos) << line;
      }
    }
  }
}

} // namespace
} // namespace morvik::hardening
