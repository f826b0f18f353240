// Our double expm1, exp and log10 against libquadmath's binary128 ones
// (accurate to some 2^-110, the double argument converted exactly): over
// bands of arguments chosen where the error analysis is tightest (the
// polynomial's ends, the reduction's switches, the cancellations), each
// relative error within the bound guide_math.cc proves.

#include "core/guide_math.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/quad.h"

namespace morvantide {
namespace {

constexpr double kU = 0x1p-53;
constexpr double kLn2 = 0x1.62e42fefa39efp-1;
constexpr double kSqrt2 = 0x1.6a09e667f3bcdp+0;
constexpr double kHalfSqrt2 = 0x1.6a09e667f3bcdp-1;

// The text of a relative error in units of u.
std::string in_u(real e) {
  char text[64];
  quadmath_snprintf(text, sizeof text, "%.3Qf", e / kU);  // one conversion, nothing else
  return std::string(text) + " u";
}

std::string hex(double x) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", x);
  return text;
}

// A double of random sign (or the given one) and magnitude 2^e m, e drawn
// uniformly from [emin, emax], m from the 52 random fraction bits.
double log_uniform(std::mt19937_64& rng, int emin, int emax, bool both_signs) {
  const int e = std::uniform_int_distribution<int>(emin, emax)(rng);
  const std::uint64_t bits = rng();
  const std::uint64_t magnitude =
      (static_cast<std::uint64_t>(e + 1023) << 52) | (bits & ((std::uint64_t{1} << 52) - 1));
  const std::uint64_t sign = both_signs ? (bits >> 63) << 63 : 0;
  return std::bit_cast<double>(sign | magnitude);
}

// x moved by n units in its last place (n of either sign; x > 0).
double ulps_from(double x, int n) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) + static_cast<std::int64_t>(n));
}

struct Function {
  const char* name;
  double (*ours)(double);
  real (*reference)(real);
  double bound;
};

const Function kExpm1{"expm1", guide::expm1, expm1q, guide::kExpm1Bound};
const Function kExp{"exp", guide::exp, expq, guide::kExpBound};
const Function kLog10{"log10", guide::log10, log10q, guide::kLog10Bound};

// Checks f on every argument of a band; returns the largest relative error.
struct Worst {
  real error = 0;
  double at = 0;
};

Worst check_band(const Function& f, const std::string& band, const std::vector<double>& xs) {
  Worst worst;
  for (double x : xs) {
    const real ref = f.reference(static_cast<real>(x));
    const double got = f.ours(x);
    const real error = ref == 0 ? q_abs(static_cast<real>(got)) : q_abs((got - ref) / ref);
    if (!(error <= worst.error)) worst = {error, x};
  }
  EXPECT_LE(worst.error, static_cast<real>(f.bound))
      << f.name << ", " << band << ": " << in_u(worst.error) << " at " << hex(worst.at);
  return worst;
}

struct Band {
  const char* name;
  std::function<double(std::mt19937_64&)> draw;
};

std::function<double(std::mt19937_64&)> uniform(double lo, double hi) {
  return [lo, hi](std::mt19937_64& rng) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
}

std::function<double(std::mt19937_64&)> either_sign(double lo, double hi) {
  return [lo, hi](std::mt19937_64& rng) {
    const double y = std::uniform_real_distribution<double>(lo, hi)(rng);
    return rng() & 1 ? y : -y;
  };
}

std::function<double(std::mt19937_64&)> binades(int emin, int emax, bool both_signs) {
  return [=](std::mt19937_64& rng) { return log_uniform(rng, emin, emax, both_signs); };
}

void check_bands(const Function& f, const std::vector<Band>& bands,
                 const std::vector<double>& extra) {
  std::mt19937_64 rng(20240611);
  Worst worst;
  for (const Band& band : bands) {
    std::vector<double> xs(3000);
    for (double& x : xs) x = band.draw(rng);
    const Worst w = check_band(f, band.name, xs);
    if (w.error > worst.error) worst = w;
  }
  const Worst w = check_band(f, "listed arguments", extra);
  if (w.error > worst.error) worst = w;
  std::printf("[ guide    ] %s: largest error %s (bound %s) at %s\n", f.name,
              in_u(worst.error).c_str(), in_u(f.bound).c_str(), hex(worst.at).c_str());
  ::testing::Test::RecordProperty(std::string(f.name) + "_largest_error_u", in_u(worst.error));
}

// y near j ln2 (r near zero: the reduction's cancellation) and near
// (j + 1/2) ln2 (where k changes), a few units on each side, both signs.
std::vector<double> reduction_edges(int jmax) {
  std::vector<double> ys;
  for (int j = 1; j <= jmax; j += (j < 64 ? 1 : 7)) {
    for (double centre : {j * kLn2, (j + 0.5) * kLn2}) {
      for (int n = -3; n <= 3; ++n) {
        ys.push_back(ulps_from(centre, n));
        ys.push_back(-ulps_from(centre, n));
      }
    }
  }
  return ys;
}

std::vector<Band> exponent_bands() {
  return {
      {"tiny, 2^-900 .. 2^-30", binades(-900, -31, true)},
      {"around the cut to r itself, 2^-60 .. 2^-48", binades(-60, -49, true)},
      {"the polynomial alone, |y| <= 0.35", uniform(-0.35, 0.35)},
      {"around the switch to reduction, |y| near 0.35", either_sign(0.34, 0.36)},
      {"around ln2 / 2", either_sign(kLn2 / 2 - 0.01, kLn2 / 2 + 0.01)},
      {"around 3 ln2 / 2", either_sign(1.5 * kLn2 - 0.01, 1.5 * kLn2 + 0.01)},
      {"moderate, |y| <= 5", uniform(-5, 5)},
      {"2^k - 1 rounded, |y| 36 .. 42", either_sign(36, 42)},
      {"large, |y| <= 700", uniform(-700, 700)},
      {"extremes, |y| 690 .. 700", either_sign(690, 700)},
  };
}

TEST(GuideMath, Expm1WithinItsBound) {
  std::vector<double> ys = reduction_edges(1009);
  for (double y : {0x1p-900, -0x1p-900, 0x1p-54, -0x1p-54, 0.35, -0.35, 0x1.6666666666667p-2,
                   40.0, -40.0, 0x1.3ffffffffffffp+5, -0x1.4000000000001p+5, 700.0, -700.0,
                   709.0, -709.0}) {
    ys.push_back(y);
  }
  check_bands(kExpm1, exponent_bands(), ys);
}

TEST(GuideMath, ExpWithinItsBound) {
  std::vector<double> ys = reduction_edges(1009);
  for (double y : {0x1p-900, -0x1p-900, 0.35, -0.35, 700.0, -700.0, 709.0, -708.0}) {
    ys.push_back(y);
  }
  check_bands(kExp, exponent_bands(), ys);
}

// The pair from one reduction is the two functions' own bits, on every
// band and edge, -709 .. -708 and beyond the range included.
TEST(GuideMath, Expm1AndExpTogetherAsApart) {
  std::mt19937_64 rng(5);
  std::vector<double> ys = reduction_edges(1009);
  for (const Band& band : exponent_bands()) {
    for (int k = 0; k < 3000; ++k) ys.push_back(band.draw(rng));
  }
  for (double y : {0.0, -0.0, 0.35, -0.35, -40.0, -40.5, -708.5, -709.0, 709.0, 710.0, -710.0}) {
    ys.push_back(y);
  }
  for (double y : ys) {
    double m1, e;
    guide::expm1_exp(y, &m1, &e);
    const double apart_m1 = guide::expm1(y), apart_e = guide::exp(y);
    ASSERT_EQ(std::memcmp(&m1, &apart_m1, sizeof m1), 0) << hex(y);
    ASSERT_EQ(std::memcmp(&e, &apart_e, sizeof e), 0) << hex(y);
  }
}

TEST(GuideMath, Log10WithinItsBound) {
  // z = 1 +- j 2^-52 and 1 - j 2^-53 (f a few units: log10 z near zero, its
  // relative error that of s and the series), powers of two (m = 1), and
  // subnormals (scaled before the split).
  std::vector<double> zs;
  for (int j = 1; j <= 2000; ++j) {
    zs.push_back(1 + j * 0x1p-52);
    zs.push_back(1 - j * 0x1p-52);
    zs.push_back(1 - j * 0x1p-53);
  }
  for (int e = -1074; e <= 1023; ++e) zs.push_back(std::bit_cast<double>(
      e >= -1022 ? static_cast<std::uint64_t>(e + 1023) << 52 : std::uint64_t{1} << (e + 1074)));
  for (int n = -4; n <= 4; ++n) {
    for (double centre : {kSqrt2, kHalfSqrt2, 2 * kSqrt2, kHalfSqrt2 / 2, 0x1p-900, 0x1p900,
                          std::numeric_limits<double>::max(), 0x1p-1000}) {
      zs.push_back(ulps_from(centre, n));
    }
  }
  for (double z : {0x1.8p-1060, 0x1.fffffffffffffp-1023, 10.0, 100.0, 1000.0, 0.1, 0.001}) {
    zs.push_back(z);
  }
  const double near = 0x1p-12;
  const std::vector<Band> bands = {
      {"every binade, 2^-1022 .. 2^1023", binades(-1022, 1023, false)},
      {"2^-900 .. 2^900", binades(-900, 900, false)},
      {"[0.5, 2]", uniform(0.5, 2)},
      {"near 1, within 2^-20", uniform(1 - 0x1p-20, 1 + 0x1p-20)},
      {"near sqrt 2 (e = 1, m low: the cancellation)",
       uniform(kSqrt2 * (1 - near), kSqrt2 * (1 + near))},
      {"near sqrt(1/2) (e = -1, m high: the cancellation)",
       uniform(kHalfSqrt2 * (1 - near), kHalfSqrt2 * (1 + near))},
      {"near 2 sqrt 2", uniform(2 * kSqrt2 * (1 - near), 2 * kSqrt2 * (1 + near))},
      {"near sqrt(1/8)", uniform(kHalfSqrt2 / 2 * (1 - near), kHalfSqrt2 / 2 * (1 + near))},
      {"near 2^-900", uniform(0x1p-900 * (1 - near), 0x1p-900 * (1 + near))},
      {"near 2^900", uniform(0x1p900 * (1 - near), 0x1p900 * (1 + near))},
  };
  check_bands(kLog10, bands, zs);
}

TEST(GuideMath, ExactAndSpecialValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(guide::expm1(0.0), 0.0);
  EXPECT_EQ(guide::exp(0.0), 1.0);
  EXPECT_EQ(guide::log10(1.0), 0.0);
  EXPECT_EQ(guide::expm1(-50.0), -1.0);
  EXPECT_EQ(guide::expm1(0x1p-900), 0x1p-900);
  struct Near {
    double got, expected, bound;
  };
  for (const Near& c : {Near{guide::log10(10.0), 1.0, guide::kLog10Bound},
                        Near{guide::log10(1000.0), 3.0, guide::kLog10Bound},
                        Near{guide::log10(1e-300), -300.0, guide::kLog10Bound + 2 * kU},
                        Near{guide::exp(1.0), 0x1.5bf0a8b145769p+1, guide::kExpBound},
                        Near{guide::expm1(kLn2), 1.0, guide::kExpm1Bound + kU}}) {
    EXPECT_LE(q_abs((static_cast<real>(c.got) - c.expected) / c.expected),
              static_cast<real>(c.bound))
        << hex(c.got) << " for " << hex(c.expected);
  }
  // Outside the ranges: NaN, never a trap or a wrong finite value.
  for (double r : {guide::expm1(710.0), guide::expm1(-710.0), guide::expm1(inf),
                   guide::expm1(nan), guide::exp(710.0), guide::exp(-inf), guide::exp(nan),
                   guide::log10(0.0), guide::log10(-0.0), guide::log10(-1.0),
                   guide::log10(inf), guide::log10(nan)}) {
    EXPECT_NE(r, r) << hex(r);
  }
}

}  // namespace
}  // namespace morvantide
