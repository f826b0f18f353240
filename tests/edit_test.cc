#include "common/edit.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>

#include "quad_testing.h"

namespace morvantide {
namespace {

real parse(const std::string& text) {
  real x = 0;
  EXPECT_TRUE(q_parse(text, &x)) << text;
  return x;
}

const real kZero = 0.0Q;
const real kInf = 1.0Q / kZero;
const real kNaN = kZero / kZero;

struct NumberCase {
  const char* name;
  real x;
  int w;
  int d;
  std::string expected;
};

void check_e(const NumberCase* cases, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const NumberCase& c = cases[i];
    EXPECT_EQ(format_e(c.x, c.w, c.d), c.expected)
        << c.name << ": 1P,E" << c.w << "." << c.d;
  }
}

void check_f(const NumberCase* cases, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const NumberCase& c = cases[i];
    EXPECT_EQ(format_f(c.x, c.w, c.d), c.expected) << c.name << ": F" << c.w << "." << c.d;
  }
}

TEST(FormatE, WorkedExamples) {
  const NumberCase cases[] = {
      {"half", 0.5Q, 12, 4, "  5.0000E-01"},
      {"negative", -0.0625Q, 12, 4, " -6.2500E-02"},
      {"three decimals", 0.125Q, 12, 3, "   1.250E-01"},
      {"zero", 0.0Q, 15, 6, "   0.000000E+00"},
      {"nine decimals", 1.23456789e-5Q, 22, 9, "       1.234567890E-05"},
      {"three-digit exponent", 1e-120Q, 22, 9, "       1.000000000-120"},
      {"carry", 9.99996Q, 12, 4, "  1.0000E+01"},
      {"ratio 2", 2.0Q, 13, 4, "   2.0000E+00"},
      {"log10(0.1)", -1.0Q, 13, 4, "  -1.0000E+00"},
      {"ratio below 1", 0.5Q, 13, 4, "   5.0000E-01"},
      {"tolerance", 0.0001Q, 13, 4, "   1.0000E-04"},
      {"large estimate", 2.0e10Q, 22, 9, "       2.000000000E+10"},
      {"zero estimate", 0.0Q, 15, 6, "   0.000000E+00"},
      {"spacing 0.1 in E28.20", 0.1Q, 28, 20, "  1.00000000000000000000E-01"},
      {"zero in E28.20", 0.0Q, 28, 20, "  0.00000000000000000000E+00"},
  };
  check_e(cases, std::size(cases));
}

TEST(FormatE, ZeroAndSign) {
  const NumberCase cases[] = {
      {"zero E12.4", 0.0Q, 12, 4, "  0.0000E+00"},
      {"negative zero has no sign", -0.0Q, 12, 4, "  0.0000E+00"},
      {"negative zero E15.6", -0.0Q, 15, 6, "   0.000000E+00"},
      {"negative zero fits without its sign", -0.0Q, 8, 2, "0.00E+00"},
      {"positive has no plus", 3.0Q, 8, 2, "3.00E+00"},
      {"negative value needs one more column", -3.0Q, 8, 2, "********"},
      {"negative value fits", -3.0Q, 9, 2, "-3.00E+00"},
  };
  check_e(cases, std::size(cases));
}

TEST(FormatE, Rounding) {
  // 9.99995 as binary128 is 9.99994999999999999999999999999999994..., and
  // 1.0635 is 1.06349999999999999999999999999999998..., so both round down;
  // 9.99996 and 9.9999999999 carry to 10.
  const NumberCase cases[] = {
      {"9.99995 is below the tie", 9.99995Q, 12, 4, "  9.9999E+00"},
      {"9.9999999999 carries", 9.9999999999Q, 12, 4, "  1.0000E+01"},
      {"0.99999999 carries into E+00", 0.99999999Q, 12, 4, "  1.0000E+00"},
      {"negative carry", -9.99996Q, 12, 4, " -1.0000E+01"},
      {"carry into three digits", 9.99999e99Q, 12, 4, "  1.0000+100"},
      {"carry out of three digits", 9.99999e-100Q, 12, 4, "  1.0000E-99"},
      {"carry into four digits", 9.99999e999Q, 12, 4, "************"},
      {"round up last digit", 1.23456Q, 12, 3, "   1.235E+00"},
      {"round down last digit", 1.23449Q, 12, 3, "   1.234E+00"},
      {"1.0635 is below the tie", 1.0635Q, 12, 3, "   1.063E+00"},
      {"two thirds", 2.0Q / 3.0Q, 22, 9, "       6.666666667E-01"},
  };
  check_e(cases, std::size(cases));
}

TEST(FormatE, ExponentForms) {
  const NumberCase cases[] = {
      {"1e99 last two-digit", 1e99Q, 12, 4, "  1.0000E+99"},
      {"1e100 first three-digit", 1e100Q, 12, 4, "  1.0000+100"},
      {"-1e100", -1e100Q, 12, 4, " -1.0000+100"},
      {"1e-99", 1e-99Q, 12, 4, "  1.0000E-99"},
      {"1e-100", 1e-100Q, 12, 4, "  1.0000-100"},
      {"3.5e-120", 3.5e-120Q, 22, 9, "       3.500000000-120"},
      {"1e999 last three-digit", 1e999Q, 12, 4, "  1.0000+999"},
      {"1e-999", 1e-999Q, 12, 4, "  1.0000-999"},
      {"1e1000 four digits", 1e1000Q, 12, 4, "************"},
      {"1e-1000 four digits", 1e-1000Q, 12, 4, "************"},
      {"1e-4000", 1e-4000Q, 22, 9, "**********************"},
      {"1e4000", 1e4000Q, 22, 9, "**********************"},
      {"subnormal", 1e-4940Q, 12, 4, "************"},
      {"largest finite", FLT128_MAX, 46, 31, std::string(46, '*')},
      {"three-digit exponent fills field", -1e100Q, 9, 2, "-1.00+100"},
      {"three-digit exponent too wide", -1e100Q, 8, 2, "********"},
  };
  check_e(cases, std::size(cases));
}

TEST(FormatE, AllPowersOfTen) {
  for (int k = -4931; k <= 4932; ++k) {
    const real x = parse("1e" + std::to_string(k));
    std::string expected;
    if (k < -999 || k > 999) {
      expected = std::string(12, '*');
    } else {
      const int a = k < 0 ? -k : k;
      std::string digits = std::to_string(a);
      const std::string sign = k < 0 ? "-" : "+";
      if (a <= 99) {
        expected = "  1.0000E" + sign + (a < 10 ? "0" : "") + digits;
      } else {
        expected = "  1.0000" + sign + digits;
      }
    }
    ASSERT_EQ(format_e(x, 12, 4), expected) << "1e" << k;
  }
}

TEST(FormatE, FullBinary128Digits) {
  // Expected digits are the exact decimal expansions of the binary128
  // values, worked out separately with rational arithmetic:
  //   1/3  -> 0.33333333333333333333333333333333331728...
  //   2/3  -> 0.66666666666666666666666666666666663456...
  //   0.1  -> 0.10000000000000000000000000000000000481...
  //   0.7  -> 0.69999999999999999999999999999999996148...
  // A detour through double would show ...31483E-01, ...05551E-01 etc.
  const NumberCase cases[] = {
      {"1/3", 1.0Q / 3.0Q, 46, 31, "         3.3333333333333333333333333333333E-01"},
      {"2/3 rounds the last digit up", 2.0Q / 3.0Q, 46, 31,
       "         6.6666666666666666666666666666667E-01"},
      {"0.1", 0.1Q, 46, 31, "         1.0000000000000000000000000000000E-01"},
      {"-0.1", -0.1Q, 46, 31, "        -1.0000000000000000000000000000000E-01"},
      {"0.7", 0.7Q, 46, 31, "         7.0000000000000000000000000000000E-01"},
      {"3^70 exact integer", parse("2503155504993241601315571986085849"), 46, 31,
       "         2.5031555049932416013155719860858E+33"},
      {"2^110 exact integer", parse("1298074214633706907132624082305024"), 46, 31,
       "         1.2980742146337069071326240823050E+33"},
      {"1 + 2^-112 is 1 at 32 digits", 1.0Q + 1.0Q / parse("5192296858534827628530496329220096"),
       46, 31, "         1.0000000000000000000000000000000E+00"},
  };
  check_e(cases, std::size(cases));
}

TEST(FormatE, DigitsLongerThanOneBuffer) {
  // Fields whose digits run past the 128 bytes that one print call gets on
  // the stack are printed again at their full length.  0.5 and 2^-113 are
  // exact, so every decimal past their own digits is a zero.
  const real two_pow_minus_113 = 1.0Q / parse("10384593717069655257060992658440192");
  const NumberCase cases[] = {
      {"121 decimals: 127 bytes, the buffer's last", 0.5Q, 127, 121,
       "5." + std::string(121, '0') + "E-01"},
      {"122 decimals: one byte past the buffer", 0.5Q, 129, 122,
       " 5." + std::string(122, '0') + "E-01"},
      {"2^-113 to its last digit and beyond", two_pow_minus_113, 150, 140,
       std::string(4, ' ') + "9.629649721936179265279889712924636592690508241076940976199693977832794" +
           "189453125" + std::string(62, '0') + "E-35"},
      {"negative, 200 decimals", -0.5Q, 210, 200, "   -5." + std::string(200, '0') + "E-01"},
  };
  check_e(cases, std::size(cases));
}

TEST(FormatF, DigitsLongerThanOneBuffer) {
  const NumberCase cases[] = {
      {"140 decimals", 0.5Q, 150, 140, std::string(8, ' ') + "0.5" + std::string(139, '0')},
      {"-0.25 with 130 decimals", -0.25Q, 140, 130,
       std::string(7, ' ') + "-0.25" + std::string(128, '0')},
  };
  check_f(cases, std::size(cases));
}

TEST(FormatE, NonFinite) {
  const NumberCase cases[] = {
      {"NaN", kNaN, 12, 4, "         NaN"},
      {"negative NaN has no sign", -kNaN, 12, 4, "         NaN"},
      {"NaN E22.9", kNaN, 22, 9, "                   NaN"},
      {"Infinity", kInf, 12, 4, "    Infinity"},
      {"-Infinity", -kInf, 12, 4, "   -Infinity"},
      {"Infinity exactly 8", kInf, 8, 1, "Infinity"},
      {"-Infinity exactly 9", -kInf, 9, 1, "-Infinity"},
      {"-Infinity in 8 is -Inf", -kInf, 8, 1, "    -Inf"},
      {"Infinity in E5.2", kInf, 5, 2, "  Inf"},
      {"-Infinity in E5.2", -kInf, 5, 2, " -Inf"},
      {"Inf exactly 3", kInf, 3, 1, "Inf"},
      {"-Inf does not fit 3", -kInf, 3, 1, "***"},
      {"NaN does not fit 2", kNaN, 2, 1, "**"},
  };
  check_e(cases, std::size(cases));
}

TEST(FormatE, DegenerateWidths) {
  const NumberCase cases[] = {
      {"w 0", 1.0Q, 0, 4, ""},
      {"w negative", 1.0Q, -3, 4, ""},
      {"d 0", 0.5Q, 10, 0, "    5.E-01"},
      {"d 0 carry", 9.6Q, 10, 0, "    1.E+01"},
      {"d 0 zero", 0.0Q, 6, 0, "0.E+00"},
      {"d negative taken as 0", 0.5Q, 6, -2, "5.E-01"},
      {"exact fit", 0.5Q, 8, 2, "5.00E-01"},
      {"one too narrow", 0.5Q, 7, 2, "*******"},
      {"d far beyond w", 0.5Q, 10, 1000000, "**********"},
  };
  check_e(cases, std::size(cases));
}

TEST(FormatF, Cases) {
  // The Fortran run time keeps the minus sign of a negative value that
  // rounds to zero, and of -0.0, and drops the optional zero before the
  // point only when the field needs the column.
  const NumberCase cases[] = {
      {"pL 2", 2.0Q, 5, 2, " 2.00"},
      {"dp -0.5 fills the field", -0.5Q, 5, 2, "-0.50"},
      {"100 does not fit", 100.0Q, 5, 2, "*****"},
      {"99.996 carries to 100.00", 99.996Q, 5, 2, "*****"},
      {"99.99 fits", 99.99Q, 5, 2, "99.99"},
      {"9.995 is below the tie", 9.995Q, 5, 2, " 9.99"},
      {"9.996 carries", 9.996Q, 5, 2, "10.00"},
      {"round up", 0.376Q, 5, 2, " 0.38"},
      {"zero", 0.0Q, 5, 2, " 0.00"},
      {"negative zero", -0.0Q, 5, 2, "-0.00"},
      {"negative rounding to zero", -0.001Q, 5, 2, "-0.00"},
      {"positive rounding to zero", 0.001Q, 5, 2, " 0.00"},
      {"leading zero dropped", 0.5Q, 3, 2, ".50"},
      {"leading zero dropped, negative", -0.5Q, 4, 2, "-.50"},
      {"no room even without zero", -0.5Q, 3, 2, "***"},
      {"zero dropped for rounded zero", 0.001Q, 3, 2, ".00"},
      {"too narrow for the decimals", 0.001Q, 2, 2, "**"},
      {"d 0 keeps the point", 2.0Q, 5, 0, "   2."},
      {"d 0 zero", 0.4Q, 5, 0, "   0."},
      {"d 0 negative zero", -0.4Q, 5, 0, "  -0."},
      {"d 0 needs its zero", 0.4Q, 1, 0, "*"},
      {"d 0 exact fit", 0.4Q, 2, 0, "0."},
      {"huge value", 1e4000Q, 10, 2, "**********"},
      {"largest finite", FLT128_MAX, 10, 2, "**********"},
      {"tiny positive", 1e-4000Q, 10, 2, "      0.00"},
      {"tiny negative", -1e-4000Q, 10, 2, "     -0.00"},
      {"33 decimals of 1/3", 1.0Q / 3.0Q, 36, 33, " 0." + std::string(33, '3')},
      {"w 0", 1.0Q, 0, 2, ""},
      {"Infinity", kInf, 9, 2, " Infinity"},
      {"-Infinity", -kInf, 9, 2, "-Infinity"},
      {"-Infinity in 8 is -Inf", -kInf, 8, 2, "    -Inf"},
      {"Infinity in F5.2", kInf, 5, 2, "  Inf"},
      {"-Infinity in F3.2", -kInf, 3, 2, "***"},
      {"NaN", kNaN, 5, 2, "  NaN"},
      {"NaN too narrow", kNaN, 2, 2, "**"},
  };
  check_f(cases, std::size(cases));
}

TEST(FormatI, Cases) {
  const struct {
    const char* name;
    int32_t v;
    int w;
    const char* expected;
  } cases[] = {
      {"one digit", 4, 4, "   4"},
      {"zero", 0, 4, "   0"},
      {"negative", -12, 4, " -12"},
      {"exact fit", 9999, 4, "9999"},
      {"five digits", 12345, 4, "****"},
      {"negative exact fit", -999, 4, "-999"},
      {"negative too wide", -1000, 4, "****"},
      {"largest", INT32_MAX, 10, "2147483647"},
      {"smallest fits in 11", INT32_MIN, 11, "-2147483648"},
      {"smallest in 10", INT32_MIN, 10, "**********"},
      {"w 0", 5, 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_i(c.v, c.w), c.expected) << c.name << ": I" << c.w;
  }
}

TEST(Line, Positioning) {
  const struct {
    const char* name;
    std::string got;
    std::string expected;
  } cases[] = {
      {"header example", Line().X(3).A("h").T(20).A("p").str(),
       "   h" + std::string(15, ' ') + "p\r\n"},
      {"empty line", Line().str(), "\r\n"},
      {"X then text gives the blanks",
       Line().E(0.5Q, 12, 4).X(16).A("a.dat").str(),
       "  5.0000E-01" + std::string(16, ' ') + "a.dat\r\n"},
      {"X then empty text still gives the blanks", Line().A("x").X(16).A("").str(),
       "x" + std::string(16, ' ') + "\r\n"},
      {"trailing X adds nothing", Line().A("x").X(16).str(), "x\r\n"},
      {"trailing T adds nothing", Line().A("x").T(10).str(), "x\r\n"},
      {"T left overwrites", Line().A("abcdef").T(3).A("XY").str(), "abXYef\r\n"},
      {"T left then right", Line().A("abcdef").T(3).A("X").T(20).A("Z").str(),
       "abXdef" + std::string(13, ' ') + "Z\r\n"},
      {"T left then X inside the text", Line().A("abcdefgh").T(3).X(2).A("Z").str(),
       "abcdZfgh\r\n"},
      {"overwrite past the end extends", Line().A("abc").T(2).A("WXYZ").str(), "aWXYZ\r\n"},
      {"T0 is column 1", Line().A("abc").T(0).A("Z").str(), "Zbc\r\n"},
      {"negative X moves nothing", Line().A("ab").X(-4).A("c").str(), "abc\r\n"},
      {"trailing blanks of a text are kept", Line().A("ab  ").str(), "ab  \r\n"},
      {"Aw pads on the left", Line().Aw("ab", 5).A("|").str(), "   ab|\r\n"},
      {"Aw keeps the first characters", Line().Aw("abcd", 2).A("|").str(), "ab|\r\n"},
      {"Aw exact", Line().Aw("abcd", 4).A("|").str(), "abcd|\r\n"},
      {"Aw 0 writes nothing", Line().A("a").Aw("bc", 0).A("|").str(), "a|\r\n"},
      {"fields side by side", Line().I(4, 4).A(" = n").F(2.0Q, 5, 2).str(),
       "   4 = n 2.00\r\n"},
      {"grid row", Line().E(0.05Q, 28, 20).E(-1.3010299956639812Q, 13, 4).E(2.0Q, 13, 4).X(3).A("b.dat").str(),
       "  5.00000000000000000000E-02  -1.3010E+00   2.0000E+00   b.dat\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.got, c.expected) << c.name;
  }
}

// Line::E lays the field out on the stack (up to 128 columns) or through
// format_e (wider); either way the record gets exactly format_e's text, also
// where the field overwrites part of the record after T.
TEST(Line, EFieldIsFormatE) {
  const real kPi = 3.14159265358979323846264338327950288Q;
  const struct {
    real x;
    int w;
    int d;
  } fields[] = {{kPi, 12, 4},      {-kPi, 22, 9},     {0.0Q, 15, 6},   {-0.0Q, 8, 2},
                {1e-120Q, 22, 9},  {9.99999e99Q, 12, 4}, {1e1000Q, 12, 4}, {kNaN, 12, 4},
                {-kInf, 8, 1},     {-kPi, 8, 2},      {kPi, 0, 4},     {kPi, -1, 4},
                {kPi, 128, 100},   {-kPi, 129, 100},  {kPi, 200, 150}, {kPi, 46, 31}};
  for (const auto& f : fields) {
    const std::string e = format_e(f.x, f.w, f.d);
    EXPECT_EQ(Line().A("ab").E(f.x, f.w, f.d).A("|").str(), "ab" + e + "|\r\n")
        << "E" << f.w << "." << f.d;
    EXPECT_EQ(Line().A(std::string(60, '-')).T(3).E(f.x, f.w, f.d).str(),
              "--" + e + (e.size() < 58 ? std::string(58 - e.size(), '-') : "") + "\r\n")
        << "E" << f.w << "." << f.d << " after T";
  }
}

TEST(Line, MovedRecordIsTheSame) {
  Line kept;
  kept.E(0.5Q, 12, 4).X(3).A("name").T(40).A("x");
  Line moved = kept;
  const std::string copy = kept.str();
  EXPECT_EQ(copy, "  5.0000E-01   name" + std::string(20, ' ') + "x\r\n");
  EXPECT_EQ(kept.str(), copy);  // str() on a kept record leaves it as it was
  EXPECT_EQ(std::move(moved).str(), copy);
}

}  // namespace
}  // namespace morvantide
