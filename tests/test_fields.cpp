// Fixed-width output fields: the exact texts of the log, result file and picture depend on them.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>

#include "base/fields.hpp"

using namespace ostrel;

TEST(Fields, IntegersRightAlignedOrStars) {
  EXPECT_EQ(iw(5, 3), "  5");
  EXPECT_EQ(iw(-5, 2), "-5");
  EXPECT_EQ(iw(100, 2), "**");  // element 100 in a two-column field
  EXPECT_EQ(iw(-10, 2), "**");  // the sign needs a column too
  EXPECT_EQ(iw(7, 1), "7");
  EXPECT_EQ(iw(10, 1), "*");
}

TEST(Fields, ExponentFormOneDigitBeforeThePoint) {
  EXPECT_EQ(es(1.0, 10, 3), " 1.000E+00");
  EXPECT_EQ(es(1.0, 12, 4), "  1.0000E+00");
  EXPECT_EQ(es(0.0, 10, 3), " 0.000E+00");
  EXPECT_EQ(es(-2.5e-7, 10, 3), "-2.500E-07");
  EXPECT_EQ(es(12345.678, 12, 4), "  1.2346E+04");
  EXPECT_EQ(es(9.9996, 10, 3), " 1.000E+01");  // rounding carries into the exponent
  EXPECT_EQ(es(1e-4, 8, 2), "1.00E-04");
  EXPECT_EQ(es(1e99, 10, 3), " 1.000E+99");  // the largest and smallest two-digit exponents
  EXPECT_EQ(es(1e-99, 10, 3), " 1.000E-99");
  EXPECT_EQ(es(9.9996e99, 10, 3), " 1.000+100");  // rounding carries into a third digit
  EXPECT_EQ(es(1e100, 10, 3), " 1.000+100");      // three-digit exponents drop the letter
  EXPECT_EQ(es(-1e-300, 10, 3), "-1.000-300");
  EXPECT_EQ(es(-1.0, 9, 3), "*********");
  EXPECT_EQ(es(std::numeric_limits<double>::denorm_min(), 10, 3), " 4.941-324");
}

TEST(Fields, ResultFormZeroBeforeThePoint) {
  EXPECT_EQ(e0(12.34, 10, 4), "0.1234E+02");
  EXPECT_EQ(e0(-12.34, 10, 4), "-.1234E+02");  // no room for the zero
  EXPECT_EQ(e0(-12.34, 11, 4), "-0.1234E+02");
  EXPECT_EQ(e0(0.0, 10, 4), "0.0000E+00");
  EXPECT_EQ(e0(0.99996, 10, 4), "0.1000E+01");
  EXPECT_EQ(e0(1e-5, 10, 4), "0.1000E-04");
  EXPECT_EQ(e0(140.27, 10, 4), "0.1403E+03");
  EXPECT_EQ(e0(2e120, 10, 4), "0.2000+121");
  EXPECT_EQ(e0(9.9e98, 10, 4), "0.9900E+99");  // the two-digit exponents at their ends
  EXPECT_EQ(e0(1e99, 10, 4), "0.1000+100");
  EXPECT_EQ(e0(1e-100, 10, 4), "0.1000E-99");
  EXPECT_EQ(e0(1e-101, 10, 4), "0.1000-100");
}

TEST(Fields, NonFiniteValuesAreVisible) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(e0(nan, 10, 4), "       NaN");
  EXPECT_EQ(e0(inf, 10, 4), "  Infinity");
  EXPECT_EQ(es(-inf, 10, 3), " -Infinity");
  EXPECT_EQ(fw(nan, 5, 1), "  NaN");
  EXPECT_EQ(fw(-inf, 3, 1), "***");
}

TEST(Fields, FixedNotation) {
  EXPECT_EQ(fw(0.04, 5, 1), "  0.0");
  EXPECT_EQ(fw(12.34, 5, 1), " 12.3");
  EXPECT_EQ(fw(999.94, 5, 1), "999.9");
  EXPECT_EQ(fw(999.96, 5, 1), "*****");  // rounds to 1000.0
  EXPECT_EQ(fw(1000.0, 5, 1), "*****");
  EXPECT_EQ(fw(-0.01, 5, 1), "  0.0");  // no negative zero
  EXPECT_EQ(fw(-0.5, 3, 1), "-.5");     // the optional zero goes first
}

TEST(Fields, TextFieldsPadButNeverCut) {
  EXPECT_EQ(padded("ab", 4), "ab  ");
  EXPECT_EQ(padded("abcdef", 4), "abcdef");
}

TEST(Fields, DateHasTwentyFourCharacters) {
  const std::string d = date24();
  ASSERT_EQ(d.size(), 24u);
  const std::string days = "SunMonTueWedThuFriSat", months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const auto known = [](const std::string& list, const std::string& word) {
    const auto at = list.find(word);
    return at != std::string::npos && at % 3 == 0;
  };
  EXPECT_TRUE(known(days, d.substr(0, 3))) << d;
  EXPECT_TRUE(known(months, d.substr(4, 3))) << d;
  const std::string shape = "www mmm dd hh:mm:ss yyyy";
  for (std::size_t k = 8; k < shape.size(); ++k) {
    if (shape[k] == ' ' || shape[k] == ':') {
      EXPECT_EQ(d[k], shape[k]) << d;
    } else if (k != 8) {  // the day is blank-padded
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(d[k]))) << d;
    }
  }
}
