#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "fits/bitmap.hpp"
#include "fits_builder.hpp"

namespace morvik {
namespace {

constexpr Rgb kPen{10, 20, 30};
constexpr Rgb kFill{200, 100, 50};

// The picture as text, one character per pixel: '.' white, 'p' pen, 'f' fill, '?' else.
std::vector<std::string> Sketch(const Picture& pic) {
  std::vector<std::string> out;
  for (int y = 0; y < pic.Height(); ++y) {
    std::string line;
    for (int x = 0; x < pic.Width(); ++x) {
      const Rgb c = pic.Pixels().PixelAt(x, y);
      line += c == colors::White ? '.' : c == kPen ? 'p' : c == kFill ? 'f' : '?';
    }
    out.push_back(line);
  }
  return out;
}

Picture Blank(int w, int h) {
  Picture pic;
  pic.EnsureSize(w, h);
  pic.pen = kPen;
  pic.fill = kFill;
  return pic;
}

TEST(Bitmap, PixelsAreBlueGreenRed) {
  Bitmap b;
  b.SetSize(3, 2);
  b.SetPixel(2, 1, Rgb{1, 2, 3});
  const std::uint8_t* p = b.Line(1) + 6;
  EXPECT_EQ(p[0], 3);
  EXPECT_EQ(p[1], 2);
  EXPECT_EQ(p[2], 1);
  EXPECT_EQ(b.PixelAt(2, 1), (Rgb{1, 2, 3}));
  b.SetPixel(3, 0, colors::Red); // outside: ignored
  b.SetPixel(-1, 0, colors::Red);
  EXPECT_EQ(b.Stride(), 9u);
}

TEST(Picture, GrowsWhiteAndNeverShrinks) {
  Picture pic = Blank(2, 2);
  EXPECT_EQ(Sketch(pic), (std::vector<std::string>{"..", ".."}));
  pic.FillRect(0, 0, 2, 2);
  pic.EnsureSize(3, 1);
  EXPECT_EQ(Sketch(pic), (std::vector<std::string>{"ff.", "ff."}));
  pic.EnsureSize(1, 1);
  EXPECT_EQ(pic.Width(), 3);
  EXPECT_EQ(pic.Height(), 2);
}

TEST(Picture, FillRectExcludesRightAndBottomAndClips) {
  Picture pic = Blank(5, 4);
  pic.FillRect(1, 1, 3, 3);
  EXPECT_EQ(Sketch(pic), (std::vector<std::string>{".....", ".ff..", ".ff..", "....."}));
  pic.FillRect(-5, 3, 100, 100);
  EXPECT_EQ(Sketch(pic)[3], "fffff");
}

TEST(Picture, EllipseIsFilledWithAOnePixelOutline) {
  Picture pic = Blank(9, 9);
  pic.Ellipse(1, 1, 8, 8);
  const std::vector<std::string> expected = {
      ".........", //
      "...ppp...", //
      "..pfffp..", //
      ".pfffffp.", //
      ".pfffffp.", //
      ".pfffffp.", //
      "..pfffp..", //
      "...ppp...", //
      ".........", //
  };
  EXPECT_EQ(Sketch(pic), expected);
}

TEST(Picture, EllipseClipsAtTheEdges) {
  Picture pic = Blank(3, 3);
  pic.Ellipse(-2, -2, 3, 3);
  EXPECT_EQ(Sketch(pic)[0], "ffp");
  EXPECT_EQ(Sketch(pic)[2], "pp.");
  pic.Ellipse(2, 2, 2, 5); // empty box
  EXPECT_EQ(Sketch(pic)[2], "pp.");
}

TEST(Picture, LineLeavesOutItsEndPoint) {
  Picture pic = Blank(6, 4);
  pic.Line(0, 0, 5, 0);
  pic.Line(0, 3, 3, 0);
  pic.Line(5, 3, 5, 3);
  EXPECT_EQ(Sketch(pic), (std::vector<std::string>{"ppppp.", "..p...", ".p....", "p....."}));
  pic.Line(5, 1, 8, 1); // runs off the picture
  EXPECT_EQ(Sketch(pic)[1], "..p..p");
}

TEST(Picture, DrawCopiesAtTheCornerAndClips) {
  Picture pic = Blank(3, 2);
  Bitmap b;
  b.SetSize(4, 1);
  for (int x = 0; x < 4; ++x)
    b.SetPixel(x, 0, kPen);
  pic.Draw(b);
  EXPECT_EQ(Sketch(pic), (std::vector<std::string>{"ppp", "..."}));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::uint32_t U32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = v << 8 | static_cast<std::uint8_t>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

TEST(SaveBmp, BottomUpRowsPaddedToFourBytes) {
  test::TempFolder dir;
  Bitmap b;
  b.SetSize(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      b.SetPixel(x, y, Rgb{static_cast<std::uint8_t>(10 * y + x), 0, 99});
  const std::string path = dir.Path("pic.bmp");
  ASSERT_TRUE(SaveBmp(b, 3, 2, path));
  const std::string f = ReadAll(path);
  const std::size_t row = 12; // 3 pixels, 9 bytes, 3 bytes of padding
  ASSERT_EQ(f.size(), 54 + 2 * row);
  EXPECT_EQ(f.substr(0, 2), "BM");
  EXPECT_EQ(U32(f, 2), f.size());
  EXPECT_EQ(U32(f, 10), 54u);
  EXPECT_EQ(U32(f, 14), 40u);
  EXPECT_EQ(U32(f, 18), 3u);
  EXPECT_EQ(U32(f, 22), 2u);
  EXPECT_EQ(static_cast<int>(f[28]), 24);
  EXPECT_EQ(U32(f, 30), 0u);
  // First stored row is the bottom line (y = 1); blue, green, red.
  EXPECT_EQ(static_cast<std::uint8_t>(f[54]), 99);
  EXPECT_EQ(static_cast<std::uint8_t>(f[56]), 10);
  EXPECT_EQ(static_cast<std::uint8_t>(f[54 + 6 + 2]), 12);
  EXPECT_EQ(f.substr(54 + 9, 3), std::string(3, '\0'));
  EXPECT_EQ(static_cast<std::uint8_t>(f[54 + row + 2]), 0);
  EXPECT_EQ(static_cast<std::uint8_t>(f[54 + row + 3 + 2]), 1);
}

TEST(SaveBmp, ClipsToTheBitmapAndReportsFailures) {
  test::TempFolder dir;
  Bitmap b;
  b.SetSize(4, 1);
  ASSERT_TRUE(SaveBmp(b, 10, 10, dir.Path("clip.bmp")));
  EXPECT_EQ(ReadAll(dir.Path("clip.bmp")).size(), 54u + 12u);
  EXPECT_FALSE(SaveBmp(b, 0, 1, dir.Path("none.bmp")));
  EXPECT_FALSE(SaveBmp(b, 4, 1, dir.Path("no/such/folder.bmp")));
}

} // namespace
} // namespace morvik
