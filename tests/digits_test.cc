// The exact digits of binary128 values against quadmath_snprintf, which the
// edit notation printed them with before: every digit string and exponent
// must be the same.  The table's expected digits were worked out with exact
// rational arithmetic (the nearest binary128 of each value, then the decimal
// rounded half to even), not with this program.
//
// The random comparisons take some 400,000 values per run.  For a longer
// run, MORVANTIDE_DIGITS_SCALE=250 in the environment multiplies the counts
// and MORVANTIDE_DIGITS_SEED=7 draws other values:
//   ./build/tests/morvantide_tests --gtest_filter='ScientificDigits.*' 
#include "common/digits.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace morvantide {
namespace {

struct Printed {
  std::string digits;
  int exponent = 0;
  bool operator==(const Printed&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Printed& p) {
  return os << '"' << p.digits << "\" e" << p.exponent;
}

// What "%.{P-1}Qe" prints for |x|, taken apart here on its own.
Printed reference(real x, int precision) {
  std::string text(static_cast<size_t>(precision) + 16, '\0');
  quadmath_snprintf(text.data(), text.size(), "%.*Qe", precision - 1, fabsq(x));
  Printed p;
  size_t i = 0;
  for (; text[i] != 'e'; ++i) {
    if (text[i] != '.') p.digits += text[i];
  }
  p.exponent = std::atoi(text.c_str() + i + 1);
  return p;
}

Printed digits_of(real x, int precision) {
  Printed p;
  p.digits.assign(static_cast<size_t>(precision), '?');
  p.exponent = scientific_digits(x, precision, p.digits.data());
  return p;
}

// The integer path alone; false when it leaves the value to the fallback.
bool fast_digits_of(real x, int precision, Printed* p) {
  p->digits.assign(static_cast<size_t>(precision), '?');
  return digits_internal::fast_scientific_digits(x, precision, p->digits.data(), &p->exponent);
}

std::string hex(real x) {
  char text[64];
  quadmath_snprintf(text, sizeof text, "%Qa", x);
  return text;
}

long scale() {
  const char* s = std::getenv("MORVANTIDE_DIGITS_SCALE");
  return s != nullptr && std::atol(s) > 0 ? std::atol(s) : 1;
}

uint64_t seed() {
  const char* s = std::getenv("MORVANTIDE_DIGITS_SEED");
  return s != nullptr ? std::strtoull(s, nullptr, 10) : 20240611;
}

int bit_length(unsigned __int128 v) {
  int n = 0;
  for (; v != 0; v >>= 1) ++n;
  return n;
}

real from_bits(uint64_t hi, uint64_t lo) {
  const uint64_t words[2] = {lo, hi};  // little-endian, as the program's targets are
  real x;
  std::memcpy(&x, words, sizeof x);
  return x;
}

// Compares one value at one precision; `fast` says whether the integer path
// must take it.  Returns false (after one failure message) on a difference.
bool same_as_printed(real x, int precision, bool fast) {
  const Printed want = reference(x, precision);
  const Printed got = digits_of(x, precision);
  if (got != want) {
    ADD_FAILURE() << hex(x) << " P=" << precision << ": " << got << ", printed " << want;
    return false;
  }
  if (fast) {
    Printed direct;
    if (!fast_digits_of(x, precision, &direct)) {
      ADD_FAILURE() << hex(x) << " P=" << precision << " left to the fallback";
      return false;
    }
  }
  return true;
}

TEST(ScientificDigits, Table) {
  const real kMaxFinite = FLT128_MAX;
  const struct {
    const char* name;
    real x;
    int precision;
    const char* digits;
    int exponent;
    bool fast;  // within the integer path's range
  } cases[] = {
      {"zero", 0.0Q, 3, "000", 0, true},
      {"negative zero", -0.0Q, 3, "000", 0, true},
      {"zero, 40 digits", 0.0Q, 40, "0000000000000000000000000000000000000000", 0, true},
      {"one", 1.0Q, 1, "1", 0, true},
      {"one, 40 digits", 1.0Q, 40, "1000000000000000000000000000000000000000", 0, true},
      {"sign ignored", -123.456Q, 4, "1235", 2, true},
      {"tie to even down: 0.125", 0.125Q, 2, "12", -1, true},
      {"tie to even down: 2.5", 2.5Q, 1, "2", 0, true},
      {"tie to even up: 1.5", 1.5Q, 1, "2", 0, true},
      {"tie to even up: 0.375", 0.375Q, 2, "38", -1, true},
      {"tie to even up: 3.5", 3.5Q, 1, "4", 0, true},
      {"tie to even down: 4.5", 4.5Q, 1, "4", 0, true},
      {"tie to even down: 1.25", 1.25Q, 2, "12", 0, true},
      {"tie to even up: 1.75", 1.75Q, 2, "18", 0, true},
      {"tie at the sixth digit: 2^-10", 0x1p-10Q, 6, "976562", -4, true},
      {"0.95 lies below the tie", 0.95Q, 1, "9", -1, true},
      {"carry: 9.999", 9.999Q, 3, "100", 1, true},
      {"carry: 9.9995", 9.9995Q, 4, "1000", 1, true},
      {"carry on a tie: 9.5", 9.5Q, 1, "1", 1, true},
      {"carry on a tie: 99.5", 99.5Q, 2, "10", 2, true},
      {"carry on a tie: 999999.5", 999999.5Q, 6, "100000", 6, true},
      {"1/3", 1.0Q / 3.0Q, 40, "3333333333333333333333333333333333172839", -1, true},
      {"2/3", 2.0Q / 3.0Q, 40, "6666666666666666666666666666666666345678", -1, true},
      {"0.1", 0.1Q, 40, "1000000000000000000000000000000000048148", -1, true},
      {"0.7", 0.7Q, 36, "699999999999999999999999999999999961", -1, true},
      {"12 digits", 123456789.123Q, 12, "123456789123", 8, true},
      {"2^112 + 1", 0x1p112Q + 1, 34, "5192296858534827628530496329220097", 33, true},
      {"2^113 - 1, 34 digits", 0x1p113Q - 1, 34, "1038459371706965525706099265844019", 34, true},
      {"2^113 - 1, 35 digits", 0x1p113Q - 1, 35, "10384593717069655257060992658440191", 34, true},
      {"2^113 - 1, 40 digits", 0x1p113Q - 1, 40, "1038459371706965525706099265844019100000", 34,
       true},
      {"2^-113", 0x1p-113Q, 40, "9629649721936179265279889712924636592691", -35, true},
      {"1e300", 1e300Q, 5, "10000", 300, true},
      {"1e300, 40 digits", 1e300Q, 40, "1000000000000000000000000000000000041552", 300, true},
      {"1e-300", 1e-300Q, 5, "10000", -300, true},
      {"1e-300, 40 digits", 1e-300Q, 40, "1000000000000000000000000000000000013452", -300, true},
      {"smallest double", 0x1p-1074Q, 17, "49406564584124654", -324, true},
      {"1.5e-460", 1.5e-460Q, 3, "150", -460, true},
      {"3.5e520", 3.5e520Q, 3, "350", 520, true},
      {"1e-600", 1e-600Q, 3, "100", -600, false},
      {"1e700", 1e700Q, 3, "100", 700, false},
      {"smallest normal", 0x1p-16382Q, 5, "33621", -4932, false},
      {"smallest subnormal", 0x1p-16494Q, 5, "64752", -4966, false},
      {"smallest subnormal, 1 digit", 0x1p-16494Q, 1, "6", -4966, false},
      {"largest finite", kMaxFinite, 3, "119", 4932, false},
      {"largest finite, 40 digits", kMaxFinite, 40, "1189731495357231765085759326628007016196",
       4932, false},
      {"41 digits", 1.0Q / 3.0Q, 41, "33333333333333333333333333333333331728392", -1, false},
  };
  for (const auto& c : cases) {
    const Printed want{c.digits, c.exponent};
    EXPECT_EQ(digits_of(c.x, c.precision), want) << c.name;
    EXPECT_EQ(reference(c.x, c.precision), want) << c.name << " (quadmath_snprintf)";
    Printed direct;
    EXPECT_EQ(fast_digits_of(c.x, c.precision, &direct), c.fast) << c.name;
    if (c.fast) {
      EXPECT_EQ(direct, want) << c.name;
    }
  }
}

TEST(ScientificDigits, EveryPrecision) {
  const real values[] = {1.0Q / 3.0Q, 2.0Q / 3.0Q,     0.1Q,         3.14159265358979323846264338327950288Q,
                         1.7e-40Q,    123456789.123Q, 0x1p-113Q,    0x1p113Q - 1,
                         9.5Q,        0.05Q,          1e10Q,        -2.5e-7Q,
                         1e-300Q,     1e300Q,         0x1.fffffffffffffffffffffffffffp+0Q};
  for (const real x : values) {
    for (int p = 1; p <= kFastDigits; ++p) ASSERT_TRUE(same_as_printed(x, p, true));
    for (int p = kFastDigits + 1; p <= 60; ++p) ASSERT_TRUE(same_as_printed(x, p, false));
  }
}

// Powers of ten and their neighbours sit where the decimal exponent changes,
// where an estimate of it from the binary exponent is most often one short.
TEST(ScientificDigits, PowersOfTenAndNeighbours) {
  const int precisions[] = {1, 2, 3, 5, 10, 17, 21, 32, 33, 36, 40};
  for (int k = -554; k <= 637; ++k) {
    const real ten = strtoflt128(("1e" + std::to_string(k)).c_str(), nullptr);
    for (const real x : {ten, nextafterq(ten, 0), nextafterq(ten, 2 * ten)}) {
      for (const int p : precisions) ASSERT_TRUE(same_as_printed(x, p, true)) << "1e" << k;
    }
  }
}

TEST(ScientificDigits, RandomBitPatterns) {
  std::mt19937_64 rng(seed());
  const long n = 50000 * scale();
  for (long i = 0; i < n; ++i) {
    const real x = from_bits(rng(), rng());
    if (q_isnan(x) || q_isinf(x)) continue;
    const int p = 1 + static_cast<int>(rng() % kFastDigits);
    ASSERT_TRUE(same_as_printed(x, p, false)) << "seed " << seed() << ", value " << i;
  }
}

// Values of the program's usual range, 1e-40 to 1e40 (binary exponents
// -133 to 132), all on the integer path.
TEST(ScientificDigits, RandomUsualRange) {
  std::mt19937_64 rng(seed() + 1);
  const long n = 250000 * scale();
  for (long i = 0; i < n; ++i) {
    const uint64_t field = 16383 - 133 + rng() % 266;
    const uint64_t hi = (rng() & 0x8000ffffffffffffULL) | (field << 48);
    const real x = from_bits(hi, rng());
    const int p = 1 + static_cast<int>(rng() % kFastDigits);
    ASSERT_TRUE(same_as_printed(x, p, true)) << "seed " << seed() + 1 << ", value " << i;
  }
}

// Values exactly on a rounding tie, and their neighbours one unit in the
// last place away.  Two kinds of exact decimals:
//   odd * 2^-j: the last digit is a 5 (j > 0), so cutting it leaves a tie;
//   odd * 5^t * 2^(t-1): an integer ending in 5 and t - 1 zeros.
TEST(ScientificDigits, Ties) {
  std::mt19937_64 rng(seed() + 2);
  const long n = 40000 * scale();
  long ties = 0;
  for (long i = 0; i < n; ++i) {
    real x;
    int dropped;  // trailing digits that make up the tie
    if (i % 2 == 0) {
      const int bits = 1 + static_cast<int>(rng() % 60);
      const uint64_t odd = (rng() >> (64 - bits)) | 1;
      const int j = 1 + static_cast<int>(rng() % 90);
      x = ldexpq(static_cast<real>(odd), -j);
      dropped = 1;
    } else {
      const int t = 1 + static_cast<int>(rng() % 20);
      unsigned __int128 v = 1;
      for (int k = 0; k < t; ++k) v *= 5;
      v <<= t - 1;
      const int room = 112 - bit_length(v);
      if (room < 1) continue;
      const uint64_t odd = (rng() >> (64 - (room < 60 ? room : 60))) | 1;
      v *= odd;
      x = static_cast<real>(v);  // below 2^113: exact
      dropped = t;
    }
    if (rng() % 2 == 0) x = -x;
    // All the significant digits of x, with the trailing zeros dropped.
    std::string all = reference(x, 120).digits;
    all.erase(all.find_last_not_of('0') + 1);
    const int p = static_cast<int>(all.size()) - dropped;
    if (p < 1 || p > kFastDigits) continue;
    ++ties;
    for (const real y : {x, nextafterq(x, 0), nextafterq(x, 2 * x)}) {
      ASSERT_TRUE(same_as_printed(y, p, true)) << "seed " << seed() + 2 << ", value " << i;
    }
  }
  EXPECT_GT(ties, n / 2);
}

// Outside the integer path: the subnormals, the largest finite values and
// more than 40 digits all go to quadmath_snprintf, with the same result.
TEST(ScientificDigits, Fallback) {
  std::mt19937_64 rng(seed() + 3);
  const long n = 3000 * scale();
  for (long i = 0; i < n; ++i) {
    const uint64_t kind = rng() % 3;
    uint64_t hi = rng() & 0x8000ffffffffffffULL;                              // subnormal
    if (kind == 1) hi |= static_cast<uint64_t>(0x7ffe - rng() % 200) << 48;  // huge
    if (kind == 2) hi |= static_cast<uint64_t>(16383 - 133 + rng() % 266) << 48;
    const real x = from_bits(hi, rng());
    const int p = kind == 2 ? kFastDigits + 1 + static_cast<int>(rng() % 40)
                            : 1 + static_cast<int>(rng() % kFastDigits);
    Printed direct;
    if (x != 0 || p > kFastDigits) {
      ASSERT_FALSE(fast_digits_of(x, p, &direct)) << hex(x) << " P=" << p;
    }
    ASSERT_TRUE(same_as_printed(x, p, false)) << "seed " << seed() + 3 << ", value " << i;
  }
}

}  // namespace
}  // namespace morvantide
