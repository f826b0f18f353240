// The order search's residual guessed in double: the guess names a sign
// only where the binary128 residual has it, and the search that uses it
// returns the bits of a search evaluated wholly in binary128.

#include "core/order_residual.h"
#include "core/obter_pu.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "core_testing.h"

namespace morvantide {
namespace {

using core_testing::Q;
using Sign = OrderResidual::Sign;
constexpr Sign kNeg = OrderResidual::kNegative;
constexpr Sign kPos = OrderResidual::kPositive;
constexpr Sign kUnk = OrderResidual::kUnknown;
const real kNaN = nanq("");

Sign sign_of(real v) {
  if (v > 0) return kPos;
  if (v < 0) return kNeg;
  return kUnk;
}

// Checks that a decided sign is the binary128 residual's and that the
// residual is as large as promised; returns the sign() answer.
Sign checked_sign(const OrderResidual& f, real x, const std::string& where) {
  const Sign guessed = f.sign(x);
  if (guessed != kUnk) {
    const real exact = f.exact(x);
    EXPECT_EQ(guessed, sign_of(exact)) << where << ": x = " << Q(x) << ", exact " << Q(exact);
    EXPECT_GE(q_abs(exact), real(OrderResidual::kLeastDecided)) << where << ": x = " << Q(x);
  }
  return guessed;
}

TEST(OrderResidual, Cases) {
  struct Case {
    const char* name;
    real r21, r32, psi, x;
    Sign expected;
  };
  // r21 = r32 = 2, psi = 4: F(x) = (x - 2) log10(2), root 2.
  // r21 = 2, r32 = 4, psi = 6: F(x) = x log10(2) - log10(6) + log10(2^x + 1),
  // root 1, increasing.
  const real third = 1.0Q / 3;
  const Case cases[] = {
      {"below the root", 2, 2, 4, 1, kNeg},
      {"above the root", 2, 2, 4, 3, kPos},
      {"at the root: within rounding", 2, 2, 4, 2, kUnk},
      {"1e-25 above the root: within rounding", 2, 2, 4, 2 + 1e-25Q, kUnk},
      {"1e-6 above the root", 2, 2, 4, 2 + 1e-6Q, kPos},
      {"1e-9 below the root", 2, 2, 4, 2 - 1e-9Q, kNeg},
      {"variable ratio, below", 2, 4, 6, 0.5Q, kNeg},
      {"variable ratio, above", 2, 4, 6, 2, kPos},
      {"variable ratio, 1e-8 above", 2, 4, 6, 1 + 1e-8Q, kPos},
      {"ratios below 1 (coarsening)", 0.5Q, 0.25Q, 6, 0.5Q, kNeg},
      {"order 0: no guess", 2, 2, 4, 0, kUnk},
      {"negative order", 2, 2, 4, -1, kNeg},
      {"tiny order: r^x - 1 below 2^-900", 2, 2, 4, 1e-290Q, kUnk},
      {"huge order: r^x beyond e^700", 2, 2, 4, 2000, kUnk},
      {"order NaN", 2, 2, 4, kNaN, kUnk},
      {"order infinite", 2, 2, 4, 1 / real(0), kUnk},
      {"psi zero", 2, 2, 0, 1, kUnk},
      {"psi negative", 2, 2, -4, 1, kUnk},
      {"psi NaN", 2, 2, kNaN, 1, kUnk},
      {"psi 1e2000", 2, 2, 1e2000Q, 1, kUnk},
      {"psi 1e-900", 2, 2, 1e-900Q, 1, kPos},
      {"ratio 1: log10 r21 zero", 1, 2, 4, 1, kUnk},
      {"ratio within 1e-30 of 1: r^x - 1 cancels in binary128", 1 + 1e-30Q, 2, 4, 1, kUnk},
      {"ratio 1 + 1e-6", 1 + 1e-6Q, 1 + 1e-6Q, 4, 1, kNeg},
      {"ratios of opposite sides of 1: quotient negative", 2, 0.5Q, 4, 1, kUnk},
      {"ratio negative", -2, 2, 4, 1, kUnk},
      {"ratio 1/3, order 3", third, third, 4, 3, kNeg},
  };
  for (const Case& c : cases) {
    const OrderResidual f(c.r21, c.r32, c.psi, q_log10(c.r21));
    EXPECT_EQ(checked_sign(f, c.x, c.name), c.expected) << c.name;
  }
}

// A sequence T = C h^p on three grids h1 = r32 r21, h2 = r21, h3 = 1, with
// the residual of its order search (psi its convergence ratio, as the stage
// forms it): the root is near p.
struct Study {
  const char* name;
  real r21, r32, p;
};
OrderResidual residual_of(const Study& st) {
  const real t1 = q_pow(st.r32 * st.r21, st.p), t2 = q_pow(st.r21, st.p), t3 = 1;
  const real psi = (t2 - t1) / (t3 - t2);
  return OrderResidual(st.r21, st.r32, psi, q_log10(st.r21));
}

// The root of a residual by bisection in binary128, to probe the guess
// where the residual goes to zero.
real root(const OrderResidual& f, real a, real b) {
  real fa = f.exact(a);
  for (int k = 0; k < 200; ++k) {
    const real m = (a + b) / 2;
    const real fm = f.exact(m);
    if (fa * fm > 0) {
      a = m;
      fa = fm;
    } else {
      b = m;
    }
  }
  return a;
}

TEST(OrderResidual, NeverWrongNearRoots) {
  const Study studies[] = {
      {"ratio 2, order 2", 2, 2, 2},
      {"ratios 2 and 1.5, order 1.7", 2, 1.5Q, 1.7Q},
      {"ratios 1.005 and 1.00375, order 2", 1.005Q, 1.00375Q, 2},
      {"ratios 1.01 and 3, order 0.6", 1.01Q, 3, 0.6Q},
      {"ratios 4 and 1.1, order 4.9", 4, 1.1Q, 4.9Q},
      {"ratios 1.3 and 1.365, order 3.5", 1.3Q, 1.365Q, 3.5Q},
  };
  for (const Study& st : studies) {
    const OrderResidual f = residual_of(st);
    const real x0 = root(f, 0.1Q, 8);
    int decided = 0, probes = 0;
    for (int k = 1; k <= 34; ++k) {
      const real d = q_pow(10, q_from_int(-k)) * x0;
      for (real x : {x0 - d, x0 + d, x0 - 3 * d, x0 + 7 * d}) {
        ++probes;
        if (checked_sign(f, x, st.name) != kUnk) ++decided;
      }
    }
    // Down to about 1e-12 of the root the guess decides.
    EXPECT_GE(decided, 4 * 10) << st.name << ": " << decided << " of " << probes;
  }
}

TEST(OrderResidual, NeverWrongOnRandomData) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> unit(0, 1);
  // The random numbers only make the data; every value is binary128.
  auto draw = [&](real lo, real hi) { return lo + (hi - lo) * real(unit(random)); };
  int decided = 0, same_side = 0;
  const int kDraws = 20000;
  for (int n = 0; n < kDraws; ++n) {
    const real r21 = q_pow(10, draw(-0.5Q, 1.5Q));
    const real r32 = unit(random) < 0.2 ? r21 : q_pow(10, draw(-0.5Q, 1.5Q));
    // Most psi anywhere in double's range; some near 1, where the guide's
    // log10 psi is smallest against its rounding; some beyond double's
    // range, where it comes from log10q.
    const double kind = unit(random);
    const real psi = kind < 0.6   ? q_pow(10, draw(-40, 40))
                     : kind < 0.9 ? 1 + draw(-0x1p-20Q, 0x1p-20Q)
                                  : q_pow(10, (unit(random) < 0.5 ? 1 : -1) * draw(310, 900));
    const real x = draw(-12, 12);
    const OrderResidual f(r21, r32, psi, q_log10(r21));
    const bool decides = checked_sign(f, x, "draw " + std::to_string(n)) != kUnk;
    // Ratios on opposite sides of 1 give a negative quotient: no guess.
    if ((r21 > 1) == (r32 > 1)) {
      ++same_side;
      if (decides) ++decided;
    }
  }
  EXPECT_GE(decided, same_side * 99 / 100) << decided << " of " << same_side;
}

// The search as defined, every residual in binary128: the reference the
// guided search must match bit for bit.
real plain_search(const SearchSettings& s, real r21, real r32, real psi, real unchanged) {
  const OrderResidual f(r21, r32, psi, q_log10(r21));
  real a = s.pU_min, b = s.pU_max, p = unchanged;
  const int64_t last = s.itmax;
  int64_t k = 1;
  real fa = last >= 1 ? f.exact(a) : 0;
  for (; k <= last; ++k) {
    const real m = real(0.5Q) * (a + b);
    p = m;
    const real fm = f.exact(m);
    const real a0 = a, b0 = b;
    if (fa * fm > 0) {
      a = m;
      fa = fm;
    } else if (b - a <= s.tol) {
      break;
    } else {
      b = m;
    }
    if (std::memcmp(&a, &a0, sizeof a) == 0 && std::memcmp(&b, &b0, sizeof b) == 0) {
      return kSentinel;
    }
  }
  if (k == last || k == last + 1) p = kSentinel;
  return p;
}

TEST(ObterPUGuided, SameBitsAsTheBinary128Search) {
  struct Search {
    const char* name;
    SearchSettings s;
    real r21, r32, psi;
  };
  const real inf = 1 / real(0);
  const Search searches[] = {
      {"usual settings", {50, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, 4.5Q},
      {"tol 0 runs to itmax", {200, 0, 0.5Q, 5}, 2, 1.5Q, 4.5Q},
      {"tol 0, itmax huge: halving stops", {1000000, 0, 0.5Q, 5}, 1.3Q, 1.2Q, 2.9Q},
      {"itmax 0", {0, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, 4.5Q},
      {"itmax 1", {1, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, 4.5Q},
      {"itmax 2", {2, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, 4.5Q},
      {"itmax negative", {-1, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, 4.5Q},
      {"bounds reversed", {60, 1e-10Q, 5, 0.5Q}, 2, 1.5Q, 4.5Q},
      {"bounds equal", {60, 1e-10Q, 2, 2}, 2, 1.5Q, 4.5Q},
      {"bounds around zero", {80, 1e-14Q, -3, 3}, 2, 1.5Q, 4.5Q},
      {"bound NaN", {60, 1e-10Q, kNaN, 5}, 2, 1.5Q, 4.5Q},
      {"bound infinite", {60, 1e-10Q, 0.5Q, inf}, 2, 1.5Q, 4.5Q},
      {"root outside the bracket", {60, 1e-10Q, 0.5Q, 5}, 2, 2, 1e6Q},
      {"ratios near 1", {60, 1e-12Q, 0.5Q, 5}, 1.005Q, 1.00375Q, 1.0175Q},
      {"ratio 1", {60, 1e-12Q, 0.5Q, 5}, 1, 2, 3},
      {"psi huge", {60, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, 1e3000Q},
      {"psi tiny", {60, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, 1e-3000Q},
      {"psi the sentinel", {60, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, kSentinel},
      {"psi negative", {60, 1e-12Q, 0.5Q, 5}, 2, 1.5Q, -4},
      {"bracket of tiny orders", {300, 0, 1e-3000Q, 2e-3000Q}, 2, 1.5Q, 4.5Q},
      {"bracket of huge orders", {60, 1e-12Q, 1e3Q, 1e5Q}, 2, 1.5Q, 4.5Q},
      {"coarsening ratios", {60, 1e-12Q, 0.5Q, 5}, 0.5Q, 0.6Q, 4.5Q},
      {"tol 1", {60, 1, 0.5Q, 5}, 2, 1.5Q, 4.5Q},
      {"tol 1e-30", {150, 1e-30Q, 0.5Q, 5}, 3, 1.7Q, 9.1Q},
  };
  for (const Search& c : searches) {
    const real expected = plain_search(c.s, c.r21, c.r32, c.psi, 7);
    const real actual = obter_pU(c.s, c.r21, c.r32, c.psi, 7);
    EXPECT_EQ(std::memcmp(&expected, &actual, sizeof(real)), 0)
        << c.name << ": " << Q(actual) << " instead of " << Q(expected);
  }
}

TEST(ObterPUGuided, SameBitsOnRandomSearches) {
  std::mt19937_64 random(7122026);
  std::uniform_real_distribution<double> unit(0, 1);
  auto draw = [&](real lo, real hi) { return lo + (hi - lo) * real(unit(random)); };
  for (int n = 0; n < 300; ++n) {
    const SearchSettings s{static_cast<int32_t>(unit(random) * 120),
                           unit(random) < 0.3 ? 0 : q_pow(10, draw(-30, -2)), draw(-1, 2),
                           draw(0, 12)};
    const real r21 = q_pow(10, draw(-0.3Q, 1));
    const real r32 = q_pow(10, draw(-0.3Q, 1));
    const real psi = q_pow(10, draw(-5, 5));
    const real expected = plain_search(s, r21, r32, psi, 7);
    const real actual = obter_pU(s, r21, r32, psi, 7);
    EXPECT_EQ(std::memcmp(&expected, &actual, sizeof(real)), 0)
        << "search " << n << ": " << Q(actual) << " instead of " << Q(expected);
  }
}

// The search over the whole positive line as a plain binary128 halving: the
// outward bracket from [1, 2], then halving to adjacent numbers, every sign
// from a binary128 residual.
real plain_order(real r21, real r32, real psi) {
  const real t = q_log(r32) / q_log(r21);
  if (!(psi > t)) return kSentinel;
  const OrderResidual f(r21, r32, psi, q_log10(r21));
  real a = 1, b = 2;
  real fa = f.exact(a);
  if (q_isnan(fa)) return kSentinel;
  if (fa < 0) {
    for (real fb = f.exact(b); !(fb >= 0); fb = f.exact(b)) {
      if (q_isnan(fb)) return kSentinel;
      a = b;
      fa = fb;
      b = b * 2;
      if (b > 0x1p14Q) return kSentinel;
    }
  } else {
    while (!(fa < 0)) {
      b = a;
      a = 0.5Q * a;
      if (a < 0x1p-60Q) return kSentinel;
      fa = f.exact(a);
      if (q_isnan(fa)) return kSentinel;
    }
  }
  for (;;) {
    const real m = 0.5Q * (a + b);
    if (std::memcmp(&m, &a, sizeof m) == 0 || std::memcmp(&m, &b, sizeof m) == 0) break;
    const real fm = f.exact(m);
    if (fa * fm > 0) {
      a = m;
      fa = fm;
    } else {
      b = m;
    }
  }
  return b;
}

// Where the guide gives up near the root, the search proves the signs of
// the midpoints outside a zone about it: every step is still the plain
// halving's.  Orders from 2^-40 to 4000, ratios from near 1 to 30, psi on
// the model and off it by a few ulps (where rounding rules the last bits).
TEST(OrderOnThePositiveLine, SameBitsAsThePlainHalving) {
  std::mt19937_64 random(8122026);
  std::uniform_real_distribution<double> unit(0, 1);
  auto draw = [&](real lo, real hi) { return lo + (hi - lo) * real(unit(random)); };
  for (int n = 0; n < 400; ++n) {
    const real r21 = 1 + q_pow(10, draw(-4, 1.5Q));
    const real r32 = 1 + q_pow(10, draw(-4, 1.5Q));
    const real p = n % 5 == 0 ? q_pow(2, draw(-40, 12)) : draw(0.05Q, 8);
    const real a = q_pow(r21, p), b = q_pow(r32, p);
    real psi = a * (b - 1) / (a - 1);
    if (n % 3 == 1) psi = psi * (1 + q_from_int(static_cast<int32_t>(n % 7) - 3) * 0x1p-112Q);
    if (std::memcmp(&r21, &r32, sizeof r21) == 0) continue;
    const real expected = plain_order(r21, r32, psi);
    const real actual = order_on_positive_line(r21, r32, psi);
    EXPECT_EQ(std::memcmp(&expected, &actual, sizeof(real)), 0)
        << "study " << n << ": r21 " << Q(r21) << ", r32 " << Q(r32) << ", p " << Q(p) << ": "
        << Q(actual) << " instead of " << Q(expected);
  }
}

}  // namespace
}  // namespace morvantide
