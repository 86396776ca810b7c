// Frames written by astropy (tests/data/frames/make_fixtures.py) read to the pixels and
// header cards that astropy reads.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "common/errors.hpp"
#include "common/parse.hpp"
#include "frames/frame_file.hpp"
#include "frames/rice_check.hpp"

namespace morvik::frames {
namespace {

const std::string kDir = std::string(MORVIK_TEST_DATA_DIR) + "/frames/";

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << "missing: " << path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

struct Fixture {
  const char* name;
  const char* file;
  int hdu;
  int bitpix;
  bool compressed;
  long long missing;
};

class AstropyFrames : public ::testing::TestWithParam<Fixture> {};

TEST_P(AstropyFrames, SamePixelsAndCardsAsAstropy) {
  const Fixture fx = GetParam();
  const FrameImage image = ReadFrame(kDir + fx.file);
  EXPECT_EQ(image.width, 7);
  EXPECT_EQ(image.height, 5);
  EXPECT_EQ(image.hdu, fx.hdu);
  EXPECT_EQ(image.bitpix, fx.bitpix);
  EXPECT_EQ(image.compressed, fx.compressed);
  EXPECT_EQ(image.missing, fx.missing);
  int count = 0;
  for (const std::string& line : Lines(kDir + fx.name + std::string(".txt"))) {
    std::istringstream fields(line);
    long x = 0, y = 0;
    std::string text;
    fields >> x >> y >> text;
    ASSERT_TRUE(x >= 1 && x <= 7 && y >= 1 && y <= 5) << line;
    const float got = image.at(x - 1, y - 1);
    if (text == "nan") {
      EXPECT_TRUE(std::isnan(got)) << fx.name << " at " << line << ": " << got;
    } else {
      const auto value = ParseDecimal(text);
      ASSERT_TRUE(value) << line;
      EXPECT_EQ(got, static_cast<float>(*value)) << fx.name << " at " << line;
    }
    ++count;
  }
  EXPECT_EQ(count, 35);

  // The cards astropy sees in the image's header, in the same order. A compressed
  // image's header is rebuilt by both readers; its cards must all be there.
  const std::vector<std::string> cards = Lines(kDir + fx.name + std::string(".cards"));
  if (!fx.compressed) {
    ASSERT_EQ(image.cards.size(), cards.size()) << fx.name;
    for (std::size_t i = 0; i < cards.size(); ++i)
      EXPECT_EQ(image.cards[i].record, cards[i]) << fx.name << " card " << i;
  } else {
    for (const std::string& card : cards) {
      bool found = false;
      for (const HeaderCard& c : image.cards)
        found = found || c.record == card;
      EXPECT_TRUE(found) << fx.name << " lacks: " << card;
    }
    for (const HeaderCard& c : image.cards)
      EXPECT_NE(c.keyword.rfind("ZBITPIX", 0), 0u) << c.record;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AstropyFrames,
                         ::testing::Values(Fixture{"extension", "extension.fits", 2, 16, false, 0},
                                           Fixture{"extension", "extension.fits.gz", 2, 16, false, 0},
                                           Fixture{"compressed", "compressed.fits.fz", 2, 32, true, 0},
                                           Fixture{"compressed_float", "compressed_float.fits.fz", 2, -64, true, 0},
                                           Fixture{"plane", "plane.fits", 1, 16, false, 0},
                                           Fixture{"bitpix8_scaled", "bitpix8_scaled.fits", 1, 8, false, 0},
                                           Fixture{"bitpix32_bzero", "bitpix32_bzero.fits", 1, 32, false, 0},
                                           Fixture{"float64_range", "float64_range.fits", 1, -64, false, 0},
                                           Fixture{"blank", "blank.fits", 1, 16, false, 0},
                                           Fixture{"nan", "nan.fits", 1, -32, false, 0},
                                           Fixture{"short", "short.fits", 1, 16, false, 10}),
                         [](const auto& param) {
                           std::string name = param.param.file;
                           for (char& c : name)
                             if (c == '.') c = '_';
                           return name;
                         });

TEST(FrameRefusals, SayWhatTheFileHolds) {
  for (const char* name : {"table", "ascii_table", "cube", "hypercube", "vector", "empty"}) {
    const std::vector<std::string> expected = Lines(kDir + name + std::string(".txt"));
    ASSERT_EQ(expected.size(), 1u) << name;
    try {
      ReadFrame(kDir + name + ".fits");
      ADD_FAILURE() << name << " was read";
    } catch (const CommandError& e) {
      EXPECT_EQ(std::string(e.what()), expected[0]) << name;
    }
  }
  EXPECT_THROW(ReadFrame(kDir + "no such file.fits"), CommandError);
  // A file that is no FITS file at all gets the reading library's reason.
  EXPECT_THROW(ReadFrame(kDir + "make_fixtures.py"), CommandError);
}

// cfitsio would ask for memory by these sizes; such files never reach it.
TEST(FrameRefusals, AbsurdDeclarationsAreRefusedFirst) {
  auto card = [](std::string text) {
    text.resize(80, ' ');
    return text;
  };
  std::string primary = card("SIMPLE  =                    T") + card("BITPIX  =                    8") +
                        card("NAXIS   =                    0") + card("EXTEND  =                    T") + card("END");
  primary.resize(2880, ' ');
  const struct {
    const char* card;
    const char* says;
  } cases[] = {{"TFIELDS =           2000000000", "HDU 2 declares 2000000000 table columns"},
               {"TFIELDS =                   -1", "HDU 2 declares -1 table columns"},
               // cfitsio would overflow its error message on reading this as a number.
               {"BLANK   =          tttttttttttttttttttttttttttttttt / x",
                "HDU 2: the value of BLANK is neither a number nor a string"},
               // cfitsio divides by the tile sizes.
               {"ZTILE2  =                    0", "HDU 2: ZTILE2 is not a positive whole number"},
               {"ZTILE1  = 'BYTEPIX '", "HDU 2: ZTILE1 is not a positive whole number"},
               {"ZNAME1  = 'BLOCKSIZE'|ZVAL1   =                    0",
                "HDU 2: the compression's BLOCKSIZE is not a positive whole number"}};
  const std::string path = ::testing::TempDir() + "absurd.fits";
  const std::string gzipped = ::testing::TempDir() + "absurd.fits.gz";
  for (const auto& c : cases) {
    std::string table = card("XTENSION= 'BINTABLE'") + card("BITPIX  =                    8") +
                        card("NAXIS   =                    2") + card("NAXIS1  =                    4") +
                        card("NAXIS2  =                    1") + card("PCOUNT  =                    0") +
                        card("GCOUNT  =                    1");
    // '|' parts one card from the next.
    for (std::string rest = c.card;;) {
      table += card(rest.substr(0, rest.find('|')));
      if (rest.find('|') == std::string::npos) break;
      rest = rest.substr(rest.find('|') + 1);
    }
    table += card("END");
    table.resize(2 * 2880, ' ');
    std::ofstream(path, std::ios::binary) << primary << table;
    // The same inside a gzip file.
    gzFile gz = gzopen(gzipped.c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    const std::string all = primary + table;
    gzwrite(gz, all.data(), static_cast<unsigned>(all.size()));
    gzclose(gz);
    for (const std::string& file : {path, gzipped}) {
      try {
        ReadFrame(file);
        ADD_FAILURE() << c.card;
      } catch (const CommandError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read " + file.substr(file.rfind('/') + 1) + ": " + c.says + ".");
      }
    }
  }
}

TEST(FrameRefusals, GzipTrailerBeyondWhatDeflateHolds) {
  std::ifstream in(kDir + "extension.fits.gz", std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_GT(bytes.size(), 18u);
  // The size kept modulo 2^32; one smaller than the file reads as 4 GiB more.
  const struct {
    const char* trailer;
    const char* says;
  } cases[] = {{"\xf0\xff\xff\xff", "the gzip trailer declares 4294967280 bytes"},
               {"\x10\x00\x00\x00", "the gzip trailer declares 4294967312 bytes"}};
  const std::string path = ::testing::TempDir() + "trailer.fits.gz";
  for (const auto& c : cases) {
    bytes.replace(bytes.size() - 4, 4, std::string(c.trailer, 4));
    std::ofstream(path, std::ios::binary) << bytes;
    try {
      ReadFrame(path);
      ADD_FAILURE() << c.says;
    } catch (const CommandError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
}

TEST(FrameRefusals, TileLengthBeyondTheHeap) {
  std::ifstream in(kDir + "compressed.fits.fz", std::ios::binary | std::ios::ate);
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  // The first row's descriptor (length, offset) opens the table's data.
  bytes.replace(2 * 2880, 4, "\x7f\xff\xff\xff");
  const std::string path = ::testing::TempDir() + "tile.fits.fz";
  std::ofstream(path, std::ios::binary) << bytes;
  try {
    ReadFrame(path);
    ADD_FAILURE() << "read";
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot read tile.fits.fz: tile 1 of the compressed image lies outside the file's data.");
  }
}

TEST(FrameRefusals, DamagedTileStreams) {
  // One tile of 7 pixels, 4 bytes a pixel, blocks of 32: the first value, then a block
  // whose code options say Rice with fs = 3 and a unary run that never ends.
  const std::uint8_t damaged[] = {0, 0, 0, 1, 0x20, 0, 0, 0};
  EXPECT_FALSE(RiceTileFits(damaged, sizeof damaged, 7, 32, 4));
  // The same block all equal to the first value (fs = -1): complete.
  const std::uint8_t equal[] = {0, 0, 0, 1, 0};
  EXPECT_TRUE(RiceTileFits(equal, sizeof equal, 7, 32, 4));
  EXPECT_FALSE(RiceTileFits(equal, 4, 7, 32, 4));
  // Whole files whose tile streams were damaged are refused before cfitsio decodes
  // them (it read past the Rice tile, and inflated the gzip tile without end).
  for (const char* name : {"rice_tile_overread.fits.fz", "gzip_tile_endless.fits.fz"}) {
    try {
      ReadFrame(std::string(MORVIK_TEST_DATA_DIR) + "/bad/frames/" + name);
      ADD_FAILURE() << name << " read";
    } catch (const CommandError& e) {
      EXPECT_NE(std::string(e.what()).find("of the compressed image is damaged"), std::string::npos) << e.what();
    }
  }
  // Named .fits-bad so that they seed no fuzz run; each made cfitsio divide by zero or
  // write past its buffer.
  const struct {
    const char* name;
    const char* says;
  } refused[] = {
      // a Rice block size stated twice with another parameter
      {"rice_parameter_twice.fits-bad", "stated twice"},
      // Rice takes its block size from ZVAL1 whatever ZNAME1 says
      {"rice_zval_zero.fits-bad", "ZVAL1 is not a positive whole number"},
      // a Rice header with ZNAME2 twice and ZVAL1 = 0 behind a primary header whose END
      // card carries more after a blank: cfitsio ends the header there
      {"rice_zval_zero_end_trailing.fits-bad", "HDU 2: a compression parameter"},
      // three bytes a pixel
      {"rice_three_bytes.fits-bad", "is not 1, 2, 4 or 8"},
  };
  for (const auto& r : refused) {
    try {
      ReadFrame(std::string(MORVIK_TEST_DATA_DIR) + "/bad/frames/" + r.name);
      ADD_FAILURE() << r.name << " read";
    } catch (const CommandError& e) {
      EXPECT_NE(std::string(e.what()).find(r.says), std::string::npos) << r.name << ": " << e.what();
    }
  }
}

TEST(FrameRefusals, SidesBeyondTheLimit) {
  ReadOptions small;
  small.maxSide = 6;
  try {
    ReadFrame(kDir + "nan.fits", small);
    ADD_FAILURE() << "read";
  } catch (const CommandError& e) {
    EXPECT_NE(std::string(e.what()).find("7 x 5 pixels"), std::string::npos) << e.what();
  }
  small.maxSide = 7;
  EXPECT_EQ(ReadFrame(kDir + "nan.fits", small).pixels.size(), 35u);
}

TEST(HeaderCards, ListedAsTheyStand) {
  const FrameImage image = ReadFrame(kDir + "extension.fits", ReadOptions{true, 16384});
  EXPECT_TRUE(image.pixels.empty());
  const std::string listing = ListCards(image.cards);
  const char* expected[] = {
      "OBJECT\t'SZ Lyn / field 2'\t/ a ' /' inside the string\n",
      "NOTES\t'A long note that goes on past the end of one card and so is &'\t\n",
      "CONTINUE\t'strings&'\t\n",
      "CONTINUE\t''\t/ long\n",
      "COMMENT\t\tfirst comment\n",
      "HISTORY\t\tcalibrated: bias, dark / flat\n",
      "FILTER\t'V       '\t/ first\n",
      "FILTER\t'R       '\t/ repeated keyword\n",
  };
  for (const char* line : expected)
    EXPECT_NE(listing.find(line), std::string::npos) << line << "in\n" << listing;
  // Look-ups: the first card of a keyword, long strings joined, numbers as numbers.
  EXPECT_EQ(image.String("OBJECT"), "SZ Lyn / field 2");
  EXPECT_EQ(image.String("FILTER"), "V");
  EXPECT_EQ(image.String("NOTES"), "A long note that goes on past the end of one card and so is continued over "
                                   "CONTINUE cards, as the standard allows for long strings");
  EXPECT_EQ(image.Number("JD"), 2458000.123456789);
  EXPECT_EQ(image.Number("EXPTIME"), 30.0);
  EXPECT_FALSE(image.Number("OBJECT"));
  EXPECT_FALSE(image.String("MISSING"));
}

TEST(HeaderCards, SplitAtTheEdges) {
  struct Case {
    const char* record;
    const char* keyword;
    const char* value;
    const char* comment;
  };
  const Case cases[] = {
      {"KEY     = 'it''s / here' / note", "KEY", "'it''s / here'", "note"},
      {"KEY     = 'unterminated / x", "KEY", "'unterminated / x", ""},
      {"KEY     =                  1.5D3/no blank", "KEY", "1.5D3", "no blank"},
      {"KEY     =", "KEY", "", ""},
      {"KEYWORD  = 5", "KEYWORD", "", "= 5"}, // no value indicator in columns 9-10
      {"", "", "", ""},
      {"HISTORY = not a value", "HISTORY", "not a value", ""},
  };
  for (const Case& c : cases) {
    const HeaderCard card = ParseCard(c.record);
    EXPECT_EQ(card.record.size(), 80u) << c.record;
    EXPECT_EQ(card.keyword, c.keyword) << c.record;
    EXPECT_EQ(card.value, c.value) << c.record;
    EXPECT_EQ(card.comment, c.comment) << c.record;
  }
}

// A scanned survey plate carries cards no image reader needs, some of them written in
// no form the standard knows (two numbers in one value). They are listed as they
// stand and never cost the image; the same nonsense in a card that shapes the pixels
// still refuses the file before cfitsio reads it.
TEST(FrameRefusals, OddCardsThatTheImageDoesNotNeedAreListedNotRefused) {
  auto card = [](std::string text) {
    text.resize(80, ' ');
    return text;
  };
  const struct {
    const char* card;
    const char* refusal; // nullptr: the plate opens
  } cases[] = {
      {"SKEW    = -1.38E+00, -1.69E+00", nullptr},
      {"SKEW    =   -1.3847196328E+00,  -1.6901833214E+00 / plate skew", nullptr},
      {"PLTNOTE =  scanned twice, second scan kept for the archive", nullptr},
      {"BZERO   =   -1.3847196328E+00,  -1.6901833214E+00", "the value of BZERO is neither a number nor a string"},
      {"NAXIS2  =   -1.3847196328E+00,  -1.6901833214E+00", "the value of NAXIS2 is neither a number nor a string"},
  };
  const std::string path = ::testing::TempDir() + "dss_plate.fits";
  for (const auto& c : cases) {
    std::string header;
    for (const char* text :
         {"SIMPLE  =                    T", "BITPIX  =                   16", "NAXIS   =                    2",
          "NAXIS1  =                    4", "NAXIS2  =                    3", "CNPIX1  =                 6441",
          "CNPIX2  =                 8838", "PLTLABEL= 'S774    '", "PLATEID = 'A0D8    '",
          "DATE-OBS= '1983-11-09T11:12:00'", "PLTSCALE=                67.20", "XPIXELSZ=             25.28445",
          "PLTRAH  =                    5", "PLTRAM  =                   33", "PLTRAS  =                36.03",
          "PLTDECSN= '-       '", "PLTDECD =                   15", "PLTDECM =                    2",
          "PLTDECS =                 2.4"})
      header += card(text);
    header += card(c.card) + card("AMDX1   =     67.1460985128662") + card("END");
    header.resize(2880, ' ');
    std::string data;
    for (int v = 0; v < 12; ++v) { // big-endian 16-bit pixels 4100 + 37 v
      const int pixel = 4100 + 37 * v;
      data += static_cast<char>(pixel >> 8);
      data += static_cast<char>(pixel & 0xff);
    }
    data.resize(2880, '\0');
    std::ofstream(path, std::ios::binary) << header << data;
    if (c.refusal != nullptr) {
      try {
        ReadFrame(path);
        ADD_FAILURE() << c.card << " was read";
      } catch (const CommandError& e) {
        EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
      }
      continue;
    }
    FrameImage image;
    ASSERT_NO_THROW(image = ReadFrame(path)) << c.card;
    ASSERT_EQ(image.width, 4);
    ASSERT_EQ(image.height, 3);
    EXPECT_EQ(image.at(3, 2), 4100.0f + 37 * 11);
    EXPECT_EQ(image.Number("PLTSCALE"), 67.2);
    EXPECT_FALSE(image.Number("SKEW").has_value());
    std::string record = card(c.card);
    bool listed = false;
    for (const HeaderCard& h : image.cards)
      listed = listed || h.record == record;
    EXPECT_TRUE(listed) << c.card;
  }
}

} // namespace
} // namespace morvik::frames
