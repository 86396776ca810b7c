#include <gtest/gtest.h>

#include "common/rounding.hpp"

namespace morvik {
namespace {

struct RoundCase {
  double value;
  long long expected;
};

// Exact halves go to the even neighbour, on both sides of zero; everything else to the
// nearest integer.
TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  const RoundCase cases[] = {{0.5, 0},
                             {1.5, 2},
                             {2.5, 2},
                             {3.5, 4},
                             {-0.5, 0},
                             {-1.5, -2},
                             {-2.5, -2},
                             {2.4999, 2},
                             {2.5000001, 3},
                             {-2.5000001, -3},
                             {7.0, 7},
                             {-7.0, -7},
                             {1e15 + 0.5, 1000000000000000}};
  for (const RoundCase& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.value), c.expected) << c.value;
    EXPECT_EQ(RoundHalfEven(static_cast<long double>(c.value)), c.expected) << c.value;
    EXPECT_EQ(RoundHalfEvenToDouble(c.value), static_cast<double>(c.expected)) << c.value;
  }
  // Extended precision keeps a half that double cannot hold.
  EXPECT_EQ(RoundHalfEven(static_cast<long double>(1LL << 53) + 0.5L), 1LL << 53);
  EXPECT_EQ(RoundHalfEven(static_cast<long double>((1LL << 53) + 1) + 0.5L), (1LL << 53) + 2);
}

} // namespace
} // namespace morvik
