// The observed order by bisection: its exit rule and the sentinel cases,
// worked by hand on residuals whose values are exact, and the order of exact
// power laws on grids with a variable ratio.

#include <cstdint>
#include <limits>

#include "core_testing.h"

namespace morvantide {
namespace {

using core_testing::Q;
using core_testing::S;
using core_testing::Same;

constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();
constexpr int32_t kMinInt = std::numeric_limits<int32_t>::min();
const real kNaN = nanq("");

// With r21 = r32 = 10 and psi = 100 the residual x - log10(100) is exact at
// integer x, so the bracket ends and midpoints below hit the root exactly.
TEST(ObterPU, PremisesOfTheExactResiduals) {
  EXPECT_TRUE(Same(q_log10(10), 1));
  EXPECT_TRUE(Same(q_log10(100), 2));
  EXPECT_TRUE(Same(q_pow(10, 1), 10));
  EXPECT_TRUE(Same(q_pow(10, 2), 100));
  EXPECT_TRUE(Same(q_pow(10, 3), 1000));
}

TEST(ObterPU, EdgeCases) {
  struct Row {
    const char* name;
    real a0, b0, r21, r32, psi;
    int32_t itmax;
    real tol, unchanged, expected;
  };
  // f(x) = x log10(2) - log10(4) for r21 = r32 = 2, psi = 4: root 2.
  const Row rows[] = {
      {"itmax 0: no iteration, sentinel", 0.5Q, 5, 2, 2, 4, 0, 10, 7, S},
      {"itmax 1 settling at once: k = itmax", 0.5Q, 5, 2, 2, 4, 1, 10, 7, S},
      {"itmax 1 running out", 3, 5, 2, 2, 4, 1, 10, 7, S},
      {"itmax -1 keeps the caller's value", 0.5Q, 5, 2, 2, 4, -1, 10, 7, 7},
      {"itmax -1 keeps a sentinel", 0.5Q, 5, 2, 2, 4, -1, 10, S, S},
      {"most negative itmax", 0.5Q, 5, 2, 2, 4, kMinInt, 10, 7, 7},
      // k=1: m 2.75, f(5)f(2.75) > 0, a = 2.75; k=2: m 1.625, product < 0,
      // b - a = -2.25 <= tol: leave with the unhalved midpoint 1.625.
      {"bounds reversed", 5, 0.5Q, 2, 2, 4, 3, 1.0e-3Q, 7, 1.625Q},
      {"bounds reversed, settling on the last iteration", 5, 0.5Q, 2, 2, 4, 2, 1.0e-3Q, 7, S},
      // Widths 4.5, 2.25, 1.125 go on halving; width 0.5625 <= 1 at k = 4.
      {"NaN residual (r21 = r32 = 1) keeps the lower half", 0.5Q, 5, 1, 1, 4, 10, 1, 7,
       0.78125Q},
      {"NaN residual on the last iteration", 0.5Q, 5, 1, 1, 4, 4, 1, 7, S},
      {"negative psi: logarithm of a negative number", 0.5Q, 5, 2, 2, -4, 10, 1, 7, 0.78125Q},
      // f(2) = 0 at the lower end: fa fm = 0 takes the halving branch, whose
      // width test ends the search with m = 2.5.
      {"residual exactly 0 at a", 2, 3, 10, 10, 100, 5, 1, 7, 2.5Q},
      // f(1) = -1, f(2) = 0 at the midpoint: width 2 <= 2 ends with m = 2.
      {"residual exactly 0 at the midpoint", 1, 3, 10, 10, 100, 5, 2, 7, 2},
      {"root outside the bracket", 3, 5, 2, 2, 4, 200, 1.0e-10Q, 7, S},
      {"root outside the bracket, largest itmax", 3, 5, 2, 2, 4, kMaxInt, 1.0e-10Q, 7, S},
      {"tolerance 0 never met, largest itmax", 0.5Q, 5, 2, 2, 4, kMaxInt, 0, 7, S},
      {"NaN bound, largest itmax", kNaN, 5, 2, 2, 4, kMaxInt, 1.0e-10Q, 7, S},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_TRUE(
        Same(obter_pU({r.itmax, r.tol, r.a0, r.b0}, r.r21, r.r32, r.psi, r.unchanged), r.expected));
  }
}

// T + C h^p on grids h(i-2) = r21 r32, h(i-1) = r21, h(i) = 1 has the ratio
// psi = (h(i-2)^p - h(i-1)^p) / (h(i-1)^p - 1), whose order is p.
real power_law_ratio(real r21, real r32, real p) {
  const real h1 = q_pow(r21 * r32, p);
  const real h2 = q_pow(r21, p);
  return (h1 - h2) / (h2 - 1);
}

TEST(ObterPU, FindsTheOrderOfAnExactPowerLaw) {
  struct Row {
    real r21, r32, p, tol;
  };
  const Row rows[] = {
      {1.5Q, 1.7Q, 2.3Q, 1.0e-25Q}, {2, 1.3Q, 1, 1.0e-12Q},    {1.43Q, 1.56Q, 0.8Q, 1.0e-20Q},
      {1.2Q, 3, 4.5Q, 1.0e-15Q},    {1.6Q, 1.6Q, 2, 1.0e-28Q},  {1.05Q, 1.5Q, 3.25Q, 1.0e-18Q},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("r21 " + Q(r.r21) + " r32 " + Q(r.r32) + " p " + Q(r.p));
    const real psi = power_law_ratio(r.r21, r.r32, r.p);
    const real p = obter_pU({500, r.tol, 0.5Q, 5}, r.r21, r.r32, psi, S);
    EXPECT_LE(q_abs(p - r.p), r.tol) << Q(p);
  }
}

// The bracket after k iterations is 4.5 / 2^(k-1) wide: a tolerance of 1e-25
// needs about 88 iterations, so 60 run out.
TEST(ObterPU, TooFewIterationsGiveTheSentinel) {
  const real psi = power_law_ratio(1.5Q, 1.7Q, 2.3Q);
  EXPECT_TRUE(Same(obter_pU({60, 1.0e-25Q, 0.5Q, 5}, 1.5Q, 1.7Q, psi, 7), S));
  EXPECT_NE(obter_pU({100, 1.0e-25Q, 0.5Q, 5}, 1.5Q, 1.7Q, psi, 7), S);
}

}  // namespace
}  // namespace morvantide
