// Decimal texts of binary128 values: the shortest that reads back, and the
// rounded ones of the summary.  Expected digits of the thirds and sevenths
// come from exact rational arithmetic (the nearest binary128 of 1/3 is
// round(2^114 / 3) / 2^114, and so on), not from this program.
#include "common/decimal.h"

#include <gtest/gtest.h>

namespace morvantide {
namespace {

real parse(const std::string& text) { return strtoflt128(text.c_str(), nullptr); }

TEST(ShortestDecimal, Table) {
  struct Case {
    const char* name;
    real x;
    const char* expected;
  } cases[] = {
      {"Zero", 0.0Q, "0"},
      {"NegativeZero", -0.0Q, "-0"},
      {"One", 1.0Q, "1"},
      {"Tenth", 0.1Q, "0.1"},
      {"Spacing", 0.05Q, "0.05"},
      {"Negative", -1.5Q, "-1.5"},
      {"Hundred", 100.0Q, "100"},
      {"LargestPlain", 1e20Q, "100000000000000000000"},
      {"FirstExponent", 1e21Q, "1e+21"},
      {"SmallestPlain", 0.000125Q, "0.000125"},
      {"SmallExponent", 1.25e-8Q, "1.25e-08"},
      {"ThreeDigitExponent", 1e-120Q, "1e-120"},
      {"Third", 1.0Q / 3, "0.3333333333333333333333333333333333"},
      {"TwoThirds", 2.0Q / 3, "0.6666666666666666666666666666666666"},
      {"Seventh", 1.0Q / 7, "0.14285714285714285714285714285714285"},
      {"Pi5", 3.14159Q, "3.14159"},
      {"Infinity", 1.0Q / 0.0Q, "inf"},
      {"MinusInfinity", -1.0Q / 0.0Q, "-inf"},
      {"NaN", nanq(""), "nan"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shortest_decimal(c.x), c.expected) << c.name;
  }
}

// Every text reads back to the same bits, and one digit fewer does not.
TEST(ShortestDecimal, ReadsBackAndIsShortest) {
  const real values[] = {1.0Q / 3,          2.0Q / 3,
                         1.0Q / 7,          -1.0Q / 7,
                         1e-300Q / 3,       1e300Q / 7,
                         FLT128_MAX,        -FLT128_MIN,
                         FLT128_DENORM_MIN, 1.5297372433402239946162280748459195Q,
                         100000000000.0Q,   0.1Q + 0.2Q,
                         sqrtq(2.0Q),       1e-4932Q};
  for (real x : values) {
    const std::string text = shortest_decimal(x);
    EXPECT_TRUE(same_bits(parse(text), x)) << text;
    // Count the significant digits and try one fewer, correctly rounded.
    std::string significant;
    for (char c : text) {
      if (c == 'e') break;
      if (c >= '0' && c <= '9' && !(significant.empty() && c == '0')) significant += c;
    }
    while (significant.size() > 1 && significant.back() == '0') significant.pop_back();
    const int digits = static_cast<int>(significant.size());
    if (digits > 1) {
      char shorter[96];
      quadmath_snprintf(shorter, sizeof shorter, "%.*Qe", digits - 2, x);
      EXPECT_FALSE(same_bits(parse(shorter), x)) << text << " vs " << shorter;
    }
  }
}

TEST(DecimalDigits, SixDigitsTable) {
  struct Case {
    const char* name;
    real x;
    const char* expected;
  } cases[] = {
      {"Rounds", 1.50000781Q, "1.50001"},
      {"TrailingZerosKept", 1.5000019Q, "1.50000"},
      {"Carrying", 9.999996Q, "10.0000"},
      {"CarryingIntoExponent", 999999.7Q, "1.00000e+06"},
      {"Half", 0.5Q, "0.500000"},
      {"SmallExponent", 0.000012345678Q, "1.23457e-05"},
      {"SmallestPlain", 0.00012345678Q, "0.000123457"},
      {"LargestPlain", 123456.7Q, "123457"},
      {"LargeExponent", 1234567.0Q, "1.23457e+06"},
      {"ExponentKeepsZeros", 2e-6Q, "2.00000e-06"},
      {"Negative", -2.0Q / 3, "-0.666667"},
      {"Zero", 0.0Q, "0.00000"},
      {"NaN", nanq(""), "nan"},
      {"Infinity", 1.0Q / 0.0Q, "inf"},
  };
  for (const Case& c : cases) EXPECT_EQ(decimal_digits(c.x, 6), c.expected) << c.name;
}

TEST(SameBits, ZerosAndNaN) {
  EXPECT_TRUE(same_bits(nanq(""), nanq("")));
  EXPECT_FALSE(same_bits(0.0Q, -0.0Q));
  EXPECT_TRUE(same_bits(0.1Q, 1.0Q / 10));
}

}  // namespace
}  // namespace morvantide
