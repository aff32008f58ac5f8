#include "analysis/reference_plane.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string_view>

namespace corvane {
namespace {

// --- Scroll position of a height --------------------------------------------------------------

TEST(ScrollPosition, RoundsTheExactHundredfoldHeightHalvesToEven) {
  struct Case {
    const char* what;
    float height;
    int position;
  };
  const Case cases[] = {
      // 12.345f is 12.3450002670288..., so 100 times it lies just above the half. Rounding the
      // product to float first gives the tie 1234.5 and the wrong 1234.
      {"12.345f lies above the half", 12.345f, 1235},
      // 0.025f is 0.0250000003725..., 2.50000003725 in hundredths; a float product is 2.5 -> 2.
      {"0.025f lies above the half", 0.025f, 3},
      // 0.015f is 0.0149999996647..., just below the half.
      {"0.015f lies below the half", 0.015f, 1},
      // 2.675f is 2.67499995231628.
      {"2.675f lies below the half", 2.675f, 267},
      {"12.3456f", 12.3456f, 1235},
      // 0.125 and 0.375 are exact: true halves go to the even neighbour.
      {"exact half down to even", 0.125f, 12},
      {"exact half up to even", 0.375f, 38},
      {"exact half 0.625", 0.625f, 62},
      {"exact half 0.875", 0.875f, 88},
      {"negative exact half to even", -0.125f, -12},
      {"negative exact half to even, away", -0.375f, -38},
      {"0.005f is below the half", 0.005f, 0},
      {"-0.05f", -0.05f, -5},
      {"zero", 0.0f, 0},
      {"negative zero", -0.0f, 0},
      {"integral", 12.0f, 1200},
      {"beyond a 16-bit position", 5000.25f, 500025},
      {"negative, beyond a 16-bit position", -5000.25f, -500025},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(scrollPositionOf(c.height), c.position);
  }
}

TEST(ScrollPosition, ClampsToTheRangeOfInt) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    float height;
    int position;
  };
  const Case cases[] = {
      // 21474836 and 21474838 are neighbouring floats; only the first fits in hundredths.
      {"largest in range", 21474836.0f, 2147483600},
      {"just beyond the top", 21474838.0f, INT_MAX},
      {"smallest in range", -21474836.0f, -2147483600},
      {"just beyond the bottom", -21474838.0f, INT_MIN},
      {"3e38", 3e38f, INT_MAX},
      {"-3e38", -3e38f, INT_MIN},
      {"largest float", std::numeric_limits<float>::max(), INT_MAX},
      {"lowest float", std::numeric_limits<float>::lowest(), INT_MIN},
      {"infinity", kInf, INT_MAX},
      {"minus infinity", -kInf, INT_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(scrollPositionOf(c.height), c.position);
  }
}

TEST(ScrollPosition, NotANumberGivesPositionZero) {
  // The point reader never lets a NaN through; the position must still be defined.
  EXPECT_EQ(scrollPositionOf(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(scrollPositionOf(-std::numeric_limits<float>::quiet_NaN()), 0);
}

// --- Height of a position ---------------------------------------------------------------------

TEST(PlaneHeight, IsTheHundredthInSinglePrecision) {
  struct Case {
    const char* what;
    int position;
    float height;
  };
  const Case cases[] = {
      {"1234", 1234, 12.340000152587890625f},
      {"1", 1, 0.01f},
      {"-5", -5, -0.05f},
      {"500025", 500025, 5000.25f},
      // 21474836.47 and -21474836.48 round to the float neighbours 21474836 and -21474836.
      {"INT_MAX", INT_MAX, 21474836.0f},
      {"INT_MIN", INT_MIN, -21474836.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(planeHeightOf(c.position), c.height);
  }
  EXPECT_EQ(planeHeightOf(0), 0.0f);
  EXPECT_FALSE(std::signbit(planeHeightOf(0)));
}

TEST(PlaneHeight, PositionsOfItsHeightsComeBack) {
  // The window sets the plane from the scroll bar and may read the position back from the
  // height; every position in the range of a point file must survive the trip.
  for (int position = -1'000'000; position <= 1'000'000; position += 7) {
    ASSERT_EQ(scrollPositionOf(planeHeightOf(position)), position) << position;
  }
}

// --- Height text of a position ----------------------------------------------------------------

TEST(HeightText, IsTheHundredthInLocaleText) {
  struct Case {
    const char* what;
    int position;
    std::string_view separator;
    std::string_view text;
  };
  const Case cases[] = {
      {"1234", 1234, ".", "12.34"},
      {"1234 with comma", 1234, ",", "12,34"},
      {"trailing zero dropped", 1230, ".", "12.3"},
      {"whole number", 1200, ".", "12"},
      {"negative below one", -5, ".", "-0.05"},
      {"negative below one with comma", -5, ",", "-0,05"},
      {"zero", 0, ".", "0"},
      {"below one", 12, ".", "0.12"},
      {"below one, 0.38", 38, ".", "0.38"},
      {"beyond a 16-bit position", 500025, ".", "5000.25"},
      // Double precision keeps all digits: as a float these would be 21474836.
      {"INT_MAX", INT_MAX, ".", "21474836.47"},
      {"INT_MIN", INT_MIN, ".", "-21474836.48"},
      {"INT_MIN with a two-byte separator", INT_MIN, "\xd9\xab",
       "-21474836\xd9\xab"
       "48"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(heightText(c.position, c.separator), c.text);
  }
}

}  // namespace
}  // namespace corvane
