#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "common/errors.hpp"
#include "fits/tfits.hpp"
#include "fits_builder.hpp"

namespace morvik {
namespace {

using test::FitsBytes;
using test::TempFolder;

// Everything a refused load must leave as it was.
struct Snapshot {
  std::string fileName;
  std::int32_t cards, width, height, blankCount, trailWords, bitPix, pixelBytes;
  double bscale, bzero, first, last;
  bool loaded;
  std::string firstCard;

  explicit Snapshot(const TFits& f)
      : fileName(f.FileName), cards(f.Header.Count), width(f.Width), height(f.Height), blankCount(f.BlankCount),
        trailWords(f.TrailWords), bitPix(f.BitPix), pixelBytes(f.PixelBytes), bscale(f.BScale), bzero(f.BZero),
        first(f.Data(1, 1)), last(f.Data(f.Width, f.Height)), loaded(f.Loaded),
        firstCard(f.Header.Cards.empty() ? "" : f.Header.Cards[0].Keyword + "=" + f.Header.Cards[0].Value) {}

  void ExpectSame(const TFits& f) const {
    EXPECT_EQ(f.FileName, fileName);
    EXPECT_EQ(f.Header.Count, cards);
    EXPECT_EQ(f.Width, width);
    EXPECT_EQ(f.Height, height);
    EXPECT_EQ(f.BlankCount, blankCount);
    EXPECT_EQ(f.TrailWords, trailWords);
    EXPECT_EQ(f.BitPix, bitPix);
    EXPECT_EQ(f.PixelBytes, pixelBytes);
    EXPECT_EQ(f.BScale, bscale);
    EXPECT_EQ(f.BZero, bzero);
    EXPECT_EQ(f.Data(1, 1), first);
    EXPECT_EQ(f.Data(f.Width, f.Height), last);
    EXPECT_EQ(f.Loaded, loaded);
    EXPECT_EQ(f.Header.Cards.empty() ? "" : f.Header.Cards[0].Keyword + "=" + f.Header.Cards[0].Value, firstCard);
  }
};

class FrameReader : public ::testing::Test {
protected:
  // A 3 x 2 16-bit frame of values 11 ... 16 in file order with BSCALE 2, padded.
  std::string WriteReference() {
    FitsBytes b;
    b.Frame(16, 3, 2).Value("BSCALE", "2").Value("BZERO", "1").Value("OBJECT", "'ref'").End().PadTo2880();
    for (int v = 11; v <= 16; ++v)
      b.I16(static_cast<std::int16_t>(v));
    return dir.Write("reference.fits", b.PadTo2880('\0').bytes);
  }
  void LoadReference() {
    ASSERT_TRUE(frame->LoadFromFile(WriteReference(), false, log));
    ASSERT_EQ(frame->Data(3, 2), 33.0);
  }
  // Loading must throw a CommandError whose message contains every given piece.
  void ExpectRefused(const std::string& path, std::initializer_list<const char*> pieces) {
    try {
      frame->LoadFromFile(path, false, log);
      ADD_FAILURE() << "no refusal for " << path;
    } catch (const CommandError& e) {
      for (const char* p : pieces)
        EXPECT_NE(std::string(e.what()).find(p), std::string::npos) << e.what();
    }
  }

  TempFolder dir;
  MemoryLog log;
  std::unique_ptr<TFits> frame = std::make_unique<TFits>();
};

TEST_F(FrameReader, NewFrameStartsEmpty) {
  EXPECT_EQ(frame->Width, 0);
  EXPECT_EQ(frame->Header.Count, 0);
  EXPECT_FALSE(frame->Loaded);
  EXPECT_FALSE(frame->Rendered);
  EXPECT_EQ(frame->Contrast, 0);
  EXPECT_EQ(frame->Data(2200, 2200), 0.0);
  EXPECT_EQ(frame->Bitmap_.Width(), 0);
}

TEST_F(FrameReader, SixteenBitWithOffset) {
  FitsBytes b;
  b.Frame(16, 3, 1).Value("BZERO", "32768").End().PadTo2880().I16(-32768).I16(32767).I16(0).PadTo2880('\0');
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("u16.fits", b.bytes), false, log));
  EXPECT_EQ(frame->Data(1, 1), 0.0);
  EXPECT_EQ(frame->Data(2, 1), 65535.0);
  EXPECT_EQ(frame->Data(3, 1), 32768.0);
  EXPECT_EQ(frame->BScale, 1.0);
  EXPECT_EQ(frame->BZero, 32768.0);
  EXPECT_EQ(frame->BitPix, 16);
  EXPECT_EQ(frame->PixelBytes, 2);
  EXPECT_TRUE(frame->Loaded);
  EXPECT_EQ(frame->Bitmap_.Width(), 3);
  EXPECT_EQ(frame->Bitmap_.Height(), 1);
  EXPECT_EQ(frame->FileName, dir.Path("u16.fits"));
}

TEST_F(FrameReader, ZeroOrMissingScaleReadsAsOne) {
  FitsBytes zero;
  zero.Frame(8, 1, 1).Value("BSCALE", "0").End().U8(200);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("zero.fits", zero.bytes), false, log));
  EXPECT_EQ(frame->BScale, 1.0);
  EXPECT_EQ(frame->Data(1, 1), 200.0);

  LoadReference();
  EXPECT_EQ(frame->BScale, 2.0);
  FitsBytes none;
  none.Frame(8, 1, 1).End().U8(200);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("none.fits", none.bytes), false, log));
  EXPECT_EQ(frame->BScale, 1.0);
  EXPECT_EQ(frame->BZero, 0.0);
  EXPECT_EQ(frame->Data(1, 1), 200.0);
}

TEST_F(FrameReader, PixelWidthsFollowBitpix) {
  FitsBytes f;
  f.Frame(-32, 2, 1).End().F32(1.5f).F32(-0.25f);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("f.fits", f.bytes), false, log));
  EXPECT_EQ(frame->PixelBytes, 4);
  EXPECT_EQ(frame->Data(2, 1), -0.25);

  FitsBytes i64;
  i64.Frame(64, 2, 1).End().I64(-5).I64((std::int64_t{1} << 53) + 1);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("i64.fits", i64.bytes), false, log));
  EXPECT_EQ(frame->PixelBytes, 8);
  EXPECT_EQ(frame->Data(1, 1), -5.0);
  EXPECT_EQ(frame->Data(2, 1), 9007199254740992.0);

  FitsBytes d;
  d.Frame(-64, 2, 1).Value("BZERO", "1").End().F64(0.5).F64(-1e300);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("d.fits", d.bytes), false, log));
  EXPECT_EQ(frame->PixelBytes, 8);
  EXPECT_EQ(frame->BitPix, -64);
  EXPECT_EQ(frame->Data(1, 1), 1.5);
  EXPECT_EQ(frame->Data(2, 1), -1e300);
}

// BSCALE * stored + BZERO is formed in extended precision and rounded once.
TEST_F(FrameReader, ScalingIsExtendedPrecision) {
  const std::int32_t stored[] = {123456789, -7, 2147483647};
  FitsBytes b;
  b.Frame(32, 3, 1).Value("BSCALE", "0.1").Value("BZERO", "-3.3").End();
  for (auto s : stored)
    b.I32(s);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("s.fits", b.bytes), false, log));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(frame->Data(i + 1, 1),
              static_cast<double>(static_cast<long double>(0.1) * stored[i] + static_cast<long double>(-3.3)));

  // Rounding the stored value to double first and adding BZERO then would round twice
  // and land on the even neighbour below.
  const std::int64_t big = (std::int64_t{1} << 62) + 1025;
  FitsBytes u;
  u.Frame(64, 1, 1).Value("BZERO", "9223372036854775808").End().I64(big);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("u64.fits", u.bytes), false, log));
  EXPECT_EQ(frame->Data(1, 1), 13835058055282165760.0); // 2^63 + 2^62 + 2048
}

// Signed 16-bit values with a scale that is not a whole number: negative stored values
// keep their sign.
TEST_F(FrameReader, SignedSixteenBitWithAFractionalScale) {
  const std::int16_t stored[] = {-3, -32768, 32767, 1};
  FitsBytes b;
  b.Frame(16, 4, 1).Value("BSCALE", "0.25").Value("BZERO", "-7.5").End().PadTo2880();
  for (auto v : stored)
    b.I16(v);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("s16.fits", b.PadTo2880('\0').bytes), false, log));
  const double expected[] = {-8.25, -8199.5, 8184.25, -7.25};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(frame->Data(i + 1, 1), expected[i]) << i;
  EXPECT_EQ(frame->BScale, 0.25);
}

TEST_F(FrameReader, DataFollowsTheBlanksOfAnUnpaddedHeader) {
  FitsBytes b;
  b.Frame(8, 2, 1).End().Blanks(17).U8(65).U8(32);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("unpadded.fits", b.bytes), false, log));
  EXPECT_EQ(frame->Data(1, 1), 65.0);
  EXPECT_EQ(frame->Data(2, 1), 32.0);
  EXPECT_EQ(frame->BlankCount, 18);
  EXPECT_EQ(frame->TrailWords, 0);

  FitsBytes direct;
  direct.Frame(8, 1, 1).End().U8(7);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("direct.fits", direct.bytes), false, log));
  EXPECT_EQ(frame->Data(1, 1), 7.0);
  EXPECT_EQ(frame->BlankCount, 1);
}

// Padding to the block boundary is skipped as a whole, so pixels whose bytes are
// blanks are not taken for padding.
TEST_F(FrameReader, BlankPixelsAfterPaddedHeader) {
  FitsBytes b;
  b.Frame(8, 3, 1).End();
  const std::size_t endOfEnd = b.bytes.size();
  b.PadTo2880().U8(32).U8(32).U8(9);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("pad.fits", b.bytes), false, log));
  EXPECT_EQ(frame->Data(1, 1), 32.0);
  EXPECT_EQ(frame->Data(2, 1), 32.0);
  EXPECT_EQ(frame->Data(3, 1), 9.0);
  EXPECT_EQ(frame->BlankCount, static_cast<std::int32_t>(2880 - endOfEnd + 1));
}

TEST_F(FrameReader, TrailingBytesCountAsWords) {
  for (const auto& [extra, words] : {std::pair{0, 0}, {1, 1}, {2, 1}, {3, 2}, {2880, 1440}}) {
    FitsBytes b;
    b.Frame(16, 1, 1).End().PadTo2880().I16(5).Raw(std::string(static_cast<std::size_t>(extra), '\0'));
    ASSERT_TRUE(frame->LoadFromFile(dir.Write("trail.fits", b.bytes), false, log));
    EXPECT_EQ(frame->TrailWords, words) << extra;
    EXPECT_EQ(frame->Data(1, 1), 5.0);
  }
}

TEST_F(FrameReader, OnlyATrueEndCardEndsTheHeader) {
  FitsBytes b;
  b.Frame(8, 1, 1)
      .Add("COMMENT this frame was made for the END of the night")
      .Add("HISTORY ----- END patch_headers history -----")
      .Add("ENDING  not an end card either")
      .Value("AFTER", "5")
      .Add("   END")
      .Value("NEVER", "1")
      .PadTo2880()
      .U8(42);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("end.fits", b.bytes), false, log));
  EXPECT_EQ(frame->Header.GetString("AFTER"), "5");
  EXPECT_EQ(frame->Header.GetString("NEVER"), "");
  EXPECT_EQ(frame->Header.Count, 6);
  // What follows the END card is no header: its first non-blank byte is the pixel.
  EXPECT_EQ(frame->Data(1, 1), static_cast<double>('N'));
}

TEST_F(FrameReader, HeaderHoldsOnlyTheCardsOfTheLastFile) {
  LoadReference();
  EXPECT_EQ(frame->Header.GetString("OBJECT"), "ref");
  FitsBytes b;
  b.Frame(8, 1, 1).End().U8(1);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("plain.fits", b.bytes), false, log));
  EXPECT_EQ(frame->Header.GetString("OBJECT"), "");
  EXPECT_EQ(frame->Header.Count, 5);
}

TEST_F(FrameReader, SizeWithACommentIsRead) {
  FitsBytes b;
  b.Value("SIMPLE", "T").Value("BITPIX", "16").Value("NAXIS", "2").Value("NAXIS1", "512", "length of data axis 1");
  b.Value("NAXIS2", "3").End();
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("h.fits", b.bytes), true, log));
  EXPECT_EQ(frame->Width, 512);
  EXPECT_EQ(frame->Height, 3);
}

TEST_F(FrameReader, HeaderOnlyLeavesThePixels) {
  LoadReference();
  FitsBytes b;
  b.Frame(8, 5, 4).End().PadTo2880();
  for (int i = 0; i < 20; ++i)
    b.U8(99);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("h.fits", b.bytes), true, log));
  EXPECT_EQ(frame->Width, 5);
  EXPECT_EQ(frame->Height, 4);
  EXPECT_EQ(frame->FileName, dir.Path("h.fits"));
  EXPECT_EQ(frame->Data(3, 2), 33.0);
  EXPECT_EQ(frame->BScale, 2.0);
}

TEST_F(FrameReader, SizeThatIsNotAnIntegerStopsWithTheNewCards) {
  LoadReference();
  const Snapshot before(*frame);
  for (const auto& [value, shown] :
       {std::pair<std::string, std::string>{"512.0", "'512.0' is not a valid integer value"},
        {"'abc'", "'abc' is not a valid integer value"},
        {"", "'' is not a valid integer value"}}) {
    FitsBytes b;
    b.Value("SIMPLE", "T").Value("BITPIX", "8").Value("NAXIS", "2").Value("NAXIS1", value).Value("NAXIS2", "1");
    b.Value("MARK", "1").End().U8(1);
    try {
      frame->LoadFromFile(dir.Write("bad.fits", b.bytes), false, log);
      ADD_FAILURE() << "accepted " << value;
    } catch (const CommandError& e) {
      EXPECT_EQ(std::string(e.what()), shown);
    }
    EXPECT_EQ(frame->Header.GetString("MARK"), "1");
    EXPECT_EQ(frame->FileName, before.fileName);
    EXPECT_EQ(frame->Width, before.width);
    EXPECT_EQ(frame->Data(3, 2), 33.0);
    EXPECT_EQ(frame->BScale, before.bscale);
  }
  FitsBytes missing;
  missing.Value("SIMPLE", "T").Value("BITPIX", "8").Value("NAXIS", "2").Value("NAXIS1", "1").End().U8(1);
  EXPECT_THROW(frame->LoadFromFile(dir.Write("nonaxis2.fits", missing.bytes), false, log), CommandError);
}

TEST_F(FrameReader, RefusedFramesLeaveTheObjectUnchanged) {
  LoadReference();
  const Snapshot before(*frame);

  FitsBytes wide;
  wide.Frame(8, 2201, 1).End();
  ExpectRefused(dir.Write("wide.fits", wide.bytes), {"2201", "2200"});
  FitsBytes tall;
  tall.Frame(16, 10, 5000).End();
  ExpectRefused(dir.Write("tall.fits", tall.bytes), {"5000", "2200"});
  FitsBytes empty;
  empty.Frame(8, 0, 4).End();
  ExpectRefused(dir.Write("empty.fits", empty.bytes), {"0 x 4"});
  FitsBytes negative;
  negative.Frame(8, 3, -1).End();
  ExpectRefused(dir.Write("negative.fits", negative.bytes), {"3 x -1"});

  FitsBytes cube;
  cube.Value("SIMPLE", "T").Value("BITPIX", "8").Value("NAXIS", "3").Value("NAXIS1", "2").Value("NAXIS2", "2");
  cube.Value("NAXIS3", "2").End();
  ExpectRefused(dir.Write("cube.fits", cube.bytes), {"NAXIS", "3"});
  FitsBytes noNaxis;
  noNaxis.Value("SIMPLE", "T").Value("BITPIX", "8").Value("NAXIS1", "2").Value("NAXIS2", "2").End();
  ExpectRefused(dir.Write("nonaxis.fits", noNaxis.bytes), {"NAXIS"});

  for (const char* bitpix : {"24", "0", "-16", "12"}) {
    FitsBytes odd;
    odd.Frame(8, 1, 1).End().U8(1);
    odd.bytes.replace(80 + 10, 20, std::string(20 - std::string(bitpix).size(), ' ') + bitpix);
    ExpectRefused(dir.Write("bitpix.fits", odd.bytes), {"BITPIX", bitpix});
  }

  FitsBytes noEnd;
  noEnd.Frame(8, 1, 1).Value("X", "1");
  ExpectRefused(dir.Write("noend.fits", noEnd.bytes), {"END"});
  FitsBytes cutCard;
  cutCard.Frame(8, 1, 1);
  cutCard.bytes += "END";
  ExpectRefused(dir.Write("cutcard.fits", cutCard.bytes), {"END"});
  FitsBytes inBlanks;
  inBlanks.Frame(8, 1, 1).End().Blanks(100);
  ExpectRefused(dir.Write("inblanks.fits", inBlanks.bytes), {"blanks"});
  FitsBytes atEnd;
  atEnd.Frame(8, 1, 1).End();
  ExpectRefused(dir.Write("atend.fits", atEnd.bytes), {"blanks"});
  ExpectRefused(dir.Write("nothing.fits", ""), {"END"});
  FitsBytes endless;
  endless.Frame(8, 1, 1);
  for (int i = 0; i < 40000; ++i)
    endless.Value("K" + std::to_string(i), "1");
  ExpectRefused(dir.Write("endless.fits", endless.bytes), {"END", "576000"});

  before.ExpectSame(*frame);
  EXPECT_EQ(frame->Data(2, 2), 31.0);
}

TEST_F(FrameReader, MissingFileIsLoggedAndChangesNothing) {
  LoadReference();
  const Snapshot before(*frame);
  log.Clear();
  EXPECT_FALSE(frame->LoadFromFile(dir.Path("absent.fits"), false, log));
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"File not found."});
  EXPECT_FALSE(frame->LoadFromFile(dir.Path(""), false, log)); // a folder is no file
  before.ExpectSame(*frame);
  EXPECT_EQ(TFits::GetFileSize(dir.Path("absent.fits")), -1);
}

TEST_F(FrameReader, ShortPixelDataReadsAsZeroAndIsLogged) {
  // An earlier frame fills the area with non-zero values that must not show through.
  FitsBytes full;
  full.Frame(16, 4, 3).End().PadTo2880();
  for (int i = 0; i < 12; ++i)
    full.I16(77);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("full.fits", full.bytes), false, log));

  FitsBytes b;
  b.Frame(16, 4, 3).Value("BZERO", "100").End().PadTo2880();
  for (int i = 1; i <= 5; ++i)
    b.I16(static_cast<std::int16_t>(i));
  b.U8(0x01); // half of the sixth pixel
  log.Clear();
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("short.fits", b.bytes), false, log));
  EXPECT_TRUE(frame->Loaded);
  EXPECT_EQ(frame->Data(1, 1), 101.0);
  EXPECT_EQ(frame->Data(4, 1), 104.0);
  EXPECT_EQ(frame->Data(1, 2), 105.0);
  EXPECT_EQ(frame->Data(2, 2), 0.0);
  EXPECT_EQ(frame->Data(4, 3), 0.0);
  EXPECT_EQ(frame->TrailWords, 0);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_NE(log.Lines()[0].find("7 of 12 pixels"), std::string::npos) << log.Lines()[0];

  // Padded header and nothing after it: every pixel is missing.
  FitsBytes none;
  none.Frame(8, 2, 2).End().PadTo2880();
  log.Clear();
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("none.fits", none.bytes), false, log));
  EXPECT_EQ(frame->Data(2, 2), 0.0);
  EXPECT_TRUE(log.ContainsPrefix("The file ends before its pixel data does: 4 of 4"));
}

TEST_F(FrameReader, NonFinitePixelsReadAsZero) {
  FitsBytes b;
  b.Frame(-32, 3, 1).End().F32(std::nanf("")).F32(std::numeric_limits<float>::infinity()).F32(2.0f);
  log.Clear();
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("nan.fits", b.bytes), false, log));
  EXPECT_EQ(frame->Data(1, 1), 0.0);
  EXPECT_EQ(frame->Data(2, 1), 0.0);
  EXPECT_EQ(frame->Data(3, 1), 2.0);
  EXPECT_TRUE(log.ContainsPrefix("2 pixels are not finite"));

  FitsBytes huge;
  huge.Frame(16, 1, 1).Value("BSCALE", "1E308").End().I16(1000);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("huge.fits", huge.bytes), false, log));
  EXPECT_EQ(frame->Data(1, 1), 0.0);
}

// A frame spread over several read blocks, in each format, to catch slips in the
// column-major transpose and at block borders.
TEST_F(FrameReader, LargeFramesLandInColumnMajorOrder) {
  const int width = 131, height = 1013;
  auto value = [](int x, int y) { return (x * 7919 + y * 104729) % 30011 - 15000; };
  for (int bitpix : {16, 32, 64, -32, -64}) {
    FitsBytes b;
    b.Frame(bitpix, width, height).End().PadTo2880();
    for (int y = 1; y <= height; ++y)
      for (int x = 1; x <= width; ++x) {
        const int v = value(x, y);
        switch (bitpix) {
        case 16:
          b.I16(static_cast<std::int16_t>(v));
          break;
        case 32:
          b.I32(v);
          break;
        case 64:
          b.I64(v);
          break;
        case -32:
          b.F32(static_cast<float>(v));
          break;
        default:
          b.F64(v);
          break;
        }
      }
    ASSERT_TRUE(frame->LoadFromFile(dir.Write("big.fits", b.bytes), false, log));
    int wrong = 0;
    for (int x = 1; x <= width; ++x)
      for (int y = 1; y <= height; ++y)
        wrong += frame->Data(x, y) != value(x, y);
    EXPECT_EQ(wrong, 0) << bitpix;
  }
}

TEST_F(FrameReader, MaximumFrameFitsTheBuffer) {
  FitsBytes b;
  b.Frame(8, 2200, 2200).End().PadTo2880();
  std::string pixels(2200u * 2200u, '\x03');
  pixels.back() = '\x09';
  pixels[2199] = '\x05';
  b.Raw(pixels);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("max.fits", b.bytes), false, log));
  EXPECT_EQ(frame->Data(2200, 2200), 9.0);
  EXPECT_EQ(frame->Data(2200, 1), 5.0);
  EXPECT_EQ(frame->Data(1, 2200), 3.0);
}

TEST_F(FrameReader, SmallerFrameKeepsTheRestOfTheBuffer) {
  LoadReference();
  FitsBytes b;
  b.Frame(8, 1, 1).End().U8(4);
  ASSERT_TRUE(frame->LoadFromFile(dir.Write("one.fits", b.bytes), false, log));
  EXPECT_EQ(frame->Data(1, 1), 4.0);
  EXPECT_EQ(frame->Data(3, 2), 33.0);
  EXPECT_EQ(frame->Bitmap_.Width(), 1);
}

TEST(FrameBlank, CopiesSizeAndScalingCards) {
  MemoryLog log;
  TempFolder dir;
  TFits source;
  FitsBytes b;
  b.Frame(16, 3, 2).Value("BZERO", "32768").End().PadTo2880();
  for (int i = 0; i < 6; ++i)
    b.I16(9);
  ASSERT_TRUE(source.LoadFromFile(dir.Write("s.fits", b.bytes), false, log));

  auto blank = TFits::CreateBlank(source);
  EXPECT_EQ(blank->Width, 3);
  EXPECT_EQ(blank->Height, 2);
  ASSERT_EQ(blank->Header.Count, 6);
  const char* keys[] = {"SIMPLE", "BITPIX", "NAXIS", "NAXIS1", "NAXIS2", "BZERO"};
  const char* values[] = {"T", "16", "2", "3", "2", "32768"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(blank->Header.Cards[static_cast<std::size_t>(i)].Keyword, keys[i]);
    EXPECT_EQ(blank->Header.Cards[static_cast<std::size_t>(i)].Value, values[i]);
    EXPECT_EQ(blank->Header.Cards[static_cast<std::size_t>(i)].Comment, "");
  }
  EXPECT_EQ(blank->Data(1, 1), 0.0);
  EXPECT_EQ(blank->BitPix, 0);

  auto eight = TFits::CreateBlankWithBitpix(source, 8);
  EXPECT_EQ(eight->Header.GetString("BITPIX"), "8");
  EXPECT_EQ(eight->Header.Count, 6);
}

} // namespace
} // namespace morvik
