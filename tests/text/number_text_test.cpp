#include "text/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>

namespace corvane {
namespace {

// A value with the texts the window shows for it: the locale text with a period and the plain
// text. Expected strings come from the exact binary value of each input (noted where it
// matters), rounded by hand to 7 or 15 significant digits.
template <typename T>
struct TextCase {
  const char* what;
  T value;
  std::string_view locale;
  std::string_view plain;
};

using FloatCase = TextCase<float>;
using DoubleCase = TextCase<double>;

template <typename T, std::size_t N>
void expectTexts(const TextCase<T> (&cases)[N]) {
  for (const TextCase<T>& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(localeNumberText(c.value, "."), c.locale);
    EXPECT_EQ(plainNumberText(c.value), c.plain);
  }
}

float floatBelow(float value) { return std::nextafter(value, 0.0f); }
double doubleBelow(double value) { return std::nextafter(value, 0.0); }

// --- Where fixed notation gives way to the exponent form -------------------------------------

TEST(NumberTextForm, SingleSwitchesAtOneHundredThousandthAndTenMillion) {
  const FloatCase cases[] = {
      // 1e-5f is 9.99999974737875...e-6; its 7 digits round up to exactly 1e-5, so fixed.
      {"1e-5f rounds up to 1e-5", 1e-5f, "0.00001", " .00001"},
      // The float below is 9.99999883788405e-6: 7 digits 9.999999, below 1e-5.
      {"float below 1e-5f", floatBelow(1e-5f), "9.999999E-06", " 9.999999E-06"},
      {"1.5e-5f", 1.5e-5f, "0.000015", " .000015"},
      {"0.000123456789f", 0.000123456789f, "0.0001234568", " .0001234568"},
      {"1e-6f", 1e-6f, "1E-06", " 1E-06"},
      {"-1e-6f", -1e-6f, "-1E-06", "-1E-06"},
      {"9999999 is the largest fixed", 9999999.0f, "9999999", " 9999999"},
      // 9999999.5 lies halfway between two floats; the even one is 10000000.
      {"9999999.5f is ten million", 9999999.5f, "1E+07", " 1E+07"},
      {"ten million", 1e7f, "1E+07", " 1E+07"},
      {"12345678", 12345678.0f, "1.234568E+07", " 1.234568E+07"},
      {"-12345678", -12345678.0f, "-1.234568E+07", "-1.234568E+07"},
      {"1e8", 1e8f, "1E+08", " 1E+08"},
      {"largest float", std::numeric_limits<float>::max(), "3.402823E+38", " 3.402823E+38"},
      {"smallest normal float", std::numeric_limits<float>::min(), "1.175494E-38", " 1.175494E-38"},
      {"smallest subnormal float", std::numeric_limits<float>::denorm_min(), "1.401298E-45",
       " 1.401298E-45"},
  };
  expectTexts(cases);
}

TEST(NumberTextForm, DoubleSwitchesAtOneHundredThousandthAndTenToTheFifteenth) {
  const DoubleCase cases[] = {
      {"1e-5", 1e-5, "0.00001", " .00001"},
      // The double below 1e-5 is 9.99999999999999912e-6: 15 digits round up to 1e-5.
      {"double below 1e-5 rounds up", doubleBelow(1e-5), "0.00001", " .00001"},
      {"9.99999999999999e-6", 9.99999999999999e-6, "9.99999999999999E-06", " 9.99999999999999E-06"},
      {"1e-6", 1e-6, "1E-06", " 1E-06"},
      // Ten million is still fixed with 15 digits.
      {"ten million", 1e7, "10000000", " 10000000"},
      {"12345678", 12345678.0, "12345678", " 12345678"},
      {"largest fixed", 999999999999999.0, "999999999999999", " 999999999999999"},
      {"quarter above the largest fixed", 999999999999999.25, "999999999999999",
       " 999999999999999"},
      {"three quarters above rounds to 1e15", 999999999999999.75, "1E+15", " 1E+15"},
      {"1e15", 1e15, "1E+15", " 1E+15"},
      {"-1e15", -1e15, "-1E+15", "-1E+15"},
      // 123456789012345678 is held as 123456789012345680.
      {"eighteen digits", 123456789012345678.0, "1.23456789012346E+17", " 1.23456789012346E+17"},
      {"three exponent digits up", 1e300, "1E+300", " 1E+300"},
      {"three exponent digits down", -1e-300, "-1E-300", "-1E-300"},
      {"largest double", std::numeric_limits<double>::max(), "1.79769313486232E+308",
       " 1.79769313486232E+308"},
      {"smallest subnormal double", std::numeric_limits<double>::denorm_min(),
       "4.94065645841247E-324", " 4.94065645841247E-324"},
  };
  expectTexts(cases);
}

// --- Rounding to 7 or 15 significant digits ------------------------------------------------

TEST(NumberTextRounding, SingleRoundsTheExactValueToSevenDigits) {
  const FloatCase cases[] = {
      // The float below 2 is 1.99999988079071: the carry runs through every digit.
      {"float below 2 carries to 2", floatBelow(2.0f), "2", " 2"},
      // The float below 1 is 0.999999940395355: its 8th digit is 4, so no carry.
      {"float below 1 keeps its nines", floatBelow(1.0f), "0.9999999", " .9999999"},
      // 0.99999995 is held as the float below 1.
      {"0.99999995f", 0.99999995f, "0.9999999", " .9999999"},
      // 99999997952 is a float; 9.9999997952e10 carries into a new exponent.
      {"carry into the exponent", 99999997952.0f, "1E+11", " 1E+11"},
      // 1048576.5 and 1048577.5 are exact floats and exact ties at 7 digits: to the even digit.
      {"tie to even, down", 1048576.5f, "1048576", " 1048576"},
      {"tie to even, up", 1048577.5f, "1048578", " 1048578"},
      {"negative tie to even", -1048577.5f, "-1048578", "-1048578"},
      // 1/3 as a float is 0.333333343267441.
      {"a third", 1.0f / 3, "0.3333333", " .3333333"},
      // 0.3f is 0.300000011920929; 7 digits give 0.3000000.
      {"0.3f", 0.3f, "0.3", " .3"},
  };
  expectTexts(cases);
}

TEST(NumberTextRounding, DoubleRoundsToFifteenDigits) {
  const DoubleCase cases[] = {
      // The double below 1 is 0.99999999999999988898.
      {"double below 1 carries to 1", doubleBelow(1.0), "1", " 1"},
      // 0.9999999999999995 is held as 0.99999999999999944489: no carry.
      {"0.9999999999999995", 0.9999999999999995, "0.999999999999999", " .999999999999999"},
      // 2^49 + 0.5 and 2^49 + 1.5 are exact ties at 15 digits: to the even digit.
      {"tie to even, down", 562949953421312.5, "562949953421312", " 562949953421312"},
      {"tie to even, up", 562949953421313.5, "562949953421314", " 562949953421314"},
      // 0.1 + 0.2 is 0.30000000000000004441: the 17th digit is cut away.
      {"0.1 + 0.2", 0.1 + 0.2, "0.3", " .3"},
      // A widened float shows the digits the float really holds.
      {"0.3f widened", static_cast<double>(0.3f), "0.300000011920929", " .300000011920929"},
      {"12.345f widened", static_cast<double>(12.345f), "12.3450002670288", " 12.3450002670288"},
  };
  expectTexts(cases);
}

// --- Trailing zeros go, zeros that carry the magnitude stay ---------------------------------

TEST(NumberTextZeros, TrailingFractionZerosAndSeparatorAreDropped) {
  const FloatCase singles[] = {
      {"12.5", 12.5f, "12.5", " 12.5"},
      {"integral", 3.0f, "3", " 3"},
      {"ten", 10.0f, "10", " 10"},
      {"a million keeps its zeros", 1e6f, "1000000", " 1000000"},
      {"zeros inside the fraction stay", 10.05f, "10.05", " 10.05"},
      {"0.1f", 0.1f, "0.1", " .1"},
      {"zeros after the separator stay", 0.0012f, "0.0012", " .0012"},
      {"exponent mantissa 1.5", 1.5e-7f, "1.5E-07", " 1.5E-07"},
      {"exponent mantissa 2", 2e9f, "2E+09", " 2E+09"},
  };
  expectTexts(singles);
  const DoubleCase doubles[] = {
      {"1200", 1200.0, "1200", " 1200"},
      {"1e14 keeps its zeros", 1e14, "100000000000000", " 100000000000000"},
      {"0.5", 0.5, "0.5", " .5"},
      {"0.1", 0.1, "0.1", " .1"},
      {"100.001", 100.001, "100.001", " 100.001"},
      {"exponent mantissa 2.5", 2.5e20, "2.5E+20", " 2.5E+20"},
  };
  expectTexts(doubles);
}

// --- Sign, leading space and the zero before the separator ---------------------------------

TEST(NumberTextSign, LocaleTextHasAZeroBeforeTheSeparatorAndPlainTextASignSpace) {
  const FloatCase singles[] = {
      {"0.25", 0.25f, "0.25", " .25"},
      {"-0.25", -0.25f, "-0.25", "-.25"},
      {"3", 3.0f, "3", " 3"},
      {"-3", -3.0f, "-3", "-3"},
      {"-0.05", -0.05f, "-0.05", "-.05"},
      {"-12.5", -12.5f, "-12.5", "-12.5"},
      {"zero", 0.0f, "0", " 0"},
      {"1", 1.0f, "1", " 1"},
  };
  expectTexts(singles);
  const DoubleCase doubles[] = {
      {"0.25", 0.25, "0.25", " .25"},
      {"-0.25", -0.25, "-0.25", "-.25"},
      {"-0.00001", -1e-5, "-0.00001", "-.00001"},
      {"zero", 0.0, "0", " 0"},
  };
  expectTexts(doubles);
}

TEST(NumberTextSign, NegativeZeroPrintsAsZero) {
  const FloatCase singles[] = {{"-0.0f", -0.0f, "0", " 0"}};
  expectTexts(singles);
  const DoubleCase doubles[] = {{"-0.0", -0.0, "0", " 0"}};
  expectTexts(doubles);
}

TEST(NumberTextSign, NonFiniteValuesHaveAWord) {
  constexpr float kFloatInf = std::numeric_limits<float>::infinity();
  constexpr double kDoubleInf = std::numeric_limits<double>::infinity();
  const FloatCase singles[] = {
      {"inf", kFloatInf, "inf", " inf"},
      {"-inf", -kFloatInf, "-inf", "-inf"},
      {"nan", std::numeric_limits<float>::quiet_NaN(), "nan", " nan"},
      {"nan with the sign bit", -std::numeric_limits<float>::quiet_NaN(), "nan", " nan"},
  };
  expectTexts(singles);
  const DoubleCase doubles[] = {
      {"inf", kDoubleInf, "inf", " inf"},
      {"-inf", -kDoubleInf, "-inf", "-inf"},
      {"nan", std::numeric_limits<double>::quiet_NaN(), "nan", " nan"},
      {"nan with the sign bit", -std::numeric_limits<double>::quiet_NaN(), "nan", " nan"},
  };
  expectTexts(doubles);
}

// --- The decimal separator --------------------------------------------------------------

TEST(NumberTextSeparator, LocaleTextUsesTheGivenSeparatorEverywhere) {
  constexpr std::string_view kArabic = "\xd9\xab";            // U+066B, two bytes
  constexpr std::string_view kSeparatorKey = "\xe2\x8e\x96";  // U+2396, three bytes
  struct SeparatorCase {
    const char* what;
    double value;
    bool single;
    std::string_view separator;
    std::string_view expected;
  };
  const SeparatorCase cases[] = {
      {"comma", 12.5, true, ",", "12,5"},
      {"comma below one", 0.25, true, ",", "0,25"},
      {"comma negative", -0.05, false, ",", "-0,05"},
      {"comma integral has none", 3.0, true, ",", "3"},
      {"comma in the exponent form", 12345678.0, true, ",", "1,234568E+07"},
      {"comma, exponent mantissa without fraction", 1e-6, false, ",", "1E-06"},
      {"comma, small fixed", 1.5e-5, false, ",", "0,000015"},
      {"two-byte separator", 12.5, false, kArabic,
       "12\xd9\xab"
       "5"},
      {"two-byte separator below one", -0.05, true, kArabic,
       "-0\xd9\xab"
       "05"},
      {"two-byte separator in the exponent form", 1.5e20, false, kArabic,
       "1\xd9\xab"
       "5E+20"},
      {"three-byte separator", 1234.5678, false, kSeparatorKey,
       "1234\xe2\x8e\x96"
       "5678"},
      {"three-byte separator, double's digits", 0.5 / 2.7, false, kSeparatorKey,
       "0\xe2\x8e\x96"
       "185185185185185"},
  };
  for (const SeparatorCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = c.single ? localeNumberText(static_cast<float>(c.value), c.separator)
                                      : localeNumberText(c.value, c.separator);
    EXPECT_EQ(text, c.expected);
  }
}

// --- Texts the window shows -----------------------------------------------------------------

TEST(NumberTextWindow, ListAndLabelTexts) {
  struct WindowCase {
    const char* what;
    std::string text;
    std::string_view expected;
  };
  const WindowCase cases[] = {
      {"list value 0.25", plainNumberText(0.25f), " .25"},
      {"list value 1/3", plainNumberText(1.0f / 3), " .3333333"},
      {"list index 1", plainNumberText(1.0f), " 1"},
      {"list index 12", plainNumberText(12.0f), " 12"},
      {"ratio 0.5/2.7", plainNumberText(0.5 / 2.7), " .185185185185185"},
      // 1/2.7 = 0.370370370370370350: the 15th digit is a zero and goes.
      {"ratio 1f/2.7", plainNumberText(static_cast<double>(1.0f) / 2.7), " .37037037037037"},
      // -2.8333332538604736f / 2.7 = -1.04938268661499023.
      {"ratio -2.83f/2.7", plainNumberText(static_cast<double>(-2.8333332538604736f) / 2.7),
       "-1.04938268661499"},
      // 0.300000011920929f / 2.7 = 0.111111115526269982.
      {"ratio 0.3f/2.7", plainNumberText(static_cast<double>(0.3f) / 2.7), " .11111111552627"},
      {"label 12.5 with comma", localeNumberText(12.5f, ","), "12,5"},
      // 12.345f is 12.3450002670288.
      {"label 12.345", localeNumberText(12.345f, "."), "12.345"},
      // 0.1f + 0.2f is the float 0.300000011920929.
      {"label 0.1f + 0.2f", localeNumberText(0.1f + 0.2f, "."), "0.3"},
      {"label 0.1 + 0.2 as double", localeNumberText(0.1 + 0.2, ","), "0,3"},
      {"label -0.05", localeNumberText(-0.05f, "."), "-0.05"},
      {"label 0", localeNumberText(0.0f, ","), "0"},
  };
  for (const WindowCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.text, c.expected);
  }
}

// --- Every float: the text reads back as the value rounded to 7 digits -----------------------

// Reads a plain text back with the locale-free std::from_chars and checks what any text of the
// value must satisfy: the sign rule, at most 7 significant digits, no trailing fraction zero,
// the right form for its size, a value within half a unit of the 7th digit, and a locale text
// that differs only in the sign space and the zero before the separator.
void checkPlainTextOfFloat(float value) {
  const std::string text = plainNumberText(value);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text[0], std::signbit(value) ? '-' : ' ');

  std::string_view body(text);
  body.remove_prefix(1);
  const std::size_t e = body.find('E');
  const std::string_view mantissa = body.substr(0, e);
  int significant = 0;
  bool leading = true;
  for (char ch : mantissa) {
    if (ch == '.') continue;
    ASSERT_TRUE(ch >= '0' && ch <= '9') << text;
    if (ch != '0') leading = false;
    if (!leading) ++significant;
  }
  if (mantissa.find('.') != std::string_view::npos) {
    EXPECT_NE(mantissa.back(), '0') << text;
    EXPECT_NE(mantissa.back(), '.') << text;
  }

  double readBack = 0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), readBack);
  ASSERT_EQ(result.ec, std::errc{}) << text;
  ASSERT_EQ(result.ptr, body.data() + body.size()) << text;

  const double magnitude = std::fabs(static_cast<double>(value));
  const bool fixed = readBack >= 1e-5 && readBack < 1e7;
  EXPECT_EQ(e == std::string_view::npos, fixed) << text;
  EXPECT_LE(significant, 7) << text;  // in fixed form the integer part has at most 7 digits
  if (!fixed) {
    // One nonzero digit before the separator, then "E", the exponent's sign and 2 or 3 digits.
    EXPECT_TRUE(mantissa[0] >= '1' && mantissa[0] <= '9') << text;
    EXPECT_TRUE(mantissa.size() == 1 || mantissa[1] == '.') << text;
    const std::string_view exponent = body.substr(e + 1);
    EXPECT_TRUE(exponent.size() == 3 || exponent.size() == 4) << text;
    EXPECT_TRUE(exponent[0] == '+' || exponent[0] == '-') << text;
  }
  // The locale text with a period is the same text with the sign rule of the locale form.
  std::string localeForm(text[0] == '-' ? "-" : "");
  if (body[0] == '.') localeForm += '0';
  localeForm += body;
  EXPECT_EQ(localeNumberText(value, "."), localeForm);

  const double unit = std::pow(10.0, std::floor(std::log10(magnitude)) - 6);
  EXPECT_LE(std::fabs(readBack - magnitude), 0.5 * unit * (1 + 1e-9)) << text;
}

TEST(NumberTextSweep, PlainTextOfFloatsReadsBackWithinHalfADigit) {
  std::mt19937 bits(20240601u);
  int checked = 0;
  while (checked < 20000) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits()));
    if (!std::isfinite(value) || value == 0.0f) continue;
    SCOPED_TRACE(testing::Message() << "bits " << std::bit_cast<std::uint32_t>(value));
    checkPlainTextOfFloat(value);
    if (testing::Test::HasFatalFailure()) return;
    ++checked;
  }
}

}  // namespace
}  // namespace corvane
