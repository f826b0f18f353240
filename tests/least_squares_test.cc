// The least-squares uncertainty on exact power laws and polynomials (closed
// forms), on data that must take the fixed-order or the scatter branch, on
// constant data, and on unsound input.  tests/ls_reference.py checks the
// values on scattered data against an independent 50-digit computation.

#include <string>
#include <vector>

#include "common/decimal.h"
#include "common/parallel.h"
#include "core/least_squares.h"
#include "core_testing.h"

namespace morvantide {
namespace {

using core_testing::constant_ratio;
using core_testing::Near;
using core_testing::NearRel;
using core_testing::power_law;
using core_testing::S;
using core_testing::Same;

const real kNaN = nanq("");
const real kInf = __builtin_infq();

// Refined by ratios between 1.2 and 2 that change from grid to grid.
const std::vector<real> kVariable = {1,     0.55Q,  0.4Q,   0.25Q, 0.18Q, 0.1Q,
                                     0.07Q, 0.045Q, 0.035Q, 0.02Q, 0.012Q, 0.01Q};

std::vector<real> first(const std::vector<real>& v, int n) {
  return std::vector<real>(v.begin(), v.begin() + n);
}

::testing::AssertionResult Missing(const LeastSquaresGrid& g) {
  if (g.U_LS == S && g.p_LS == S && g.T0_LS == S && g.sigma_LS == S && g.Delta_LS == S &&
      g.Fs_LS == S && g.eps_LS == S && g.res_LS == S && g.model == kNoModel) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "U_LS " << q_to_string(g.U_LS) << ", model "
                                       << g.model;
}

// Th = 1 + c h^p fits M1 exactly: order p, phi0 = 1, eps = c h_i^p, sigma
// zero to rounding, so U_LS = 1.25 eps at every grid from the fourth.
TEST(LeastSquares, ExactPowerLawTakesM1WithItsOrder) {
  struct Row {
    const char* name;
    std::vector<real> h;
    real c, p, pL;
  };
  const Row rows[] = {
      {"x^2, 5 grids, ratio 2", constant_ratio(1, 2, 5), 1, 2, 2},
      {"x^2, 8 grids, ratio 2", constant_ratio(1, 2, 8), 1, 2, 2},
      {"x^2, 8 grids, ratio 1.5", constant_ratio(0.3Q, 1.5Q, 8), 1, 2, 2},
      {"x^2, 5 grids, variable ratio", first(kVariable, 5), 1, 2, 2},
      {"x^2, 8 grids, variable ratio", first(kVariable, 8), 1, 2, 2},
      {"x, 5 grids, ratio 2", constant_ratio(1, 2, 5), 1, 1, 1},
      {"x, 8 grids, ratio 1.25", constant_ratio(4, 1.25Q, 8), 1, 1, 1},
      {"x, 8 grids, variable ratio", first(kVariable, 8), 1, 1, 1},
      {"-0.3 x^1.6, 12 grids, variable ratio", kVariable, -0.3Q, 1.6Q, 2},
      {"x^0.55 near the lower bound", constant_ratio(1, 2, 6), 2, 0.55Q, 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::vector<real> Th = power_law(r.h, 1, {{r.c, r.p}});
    const auto out = least_squares_estimates(r.h, Th, r.pL);
    ASSERT_EQ(out.size(), r.h.size());
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Missing(out[i]));
    for (size_t i = 3; i < r.h.size(); ++i) {
      SCOPED_TRACE("grid " + std::to_string(i + 1));
      const LeastSquaresGrid& g = out[i];
      const real eps = q_abs(r.c * q_pow(r.h[i], r.p));
      // p = pL sits on the edge of M1's band: rounding may put the located
      // order a hair above, where the fixed order pL fits as exactly.
      if (r.p == r.pL && g.model != kModelM1) {
        EXPECT_EQ(g.model, r.p == 1 ? kModelM2 : kModelM3);
      } else {
        EXPECT_EQ(g.model, kModelM1);
      }
      EXPECT_TRUE(Same(g.Fs_LS, 1.25Q));
      EXPECT_TRUE(NearRel(g.p_LS, r.p, 1.0e-25Q));
      EXPECT_TRUE(Near(g.T0_LS, 1, 1.0e-25Q));
      EXPECT_TRUE(NearRel(g.eps_LS, eps, 1.0e-25Q));
      EXPECT_TRUE(Near(g.sigma_LS, 0, 1.0e-30Q));
      EXPECT_TRUE(NearRel(g.U_LS, 1.25Q * eps, 1.0e-25Q));
      const real Delta = q_abs(Th[0] - Th[i]) / (i);  // monotone data
      EXPECT_TRUE(NearRel(g.Delta_LS, Delta, 1.0e-32Q));
    }
  }
}

// Th = 1 + a h + b h^2 on 12 grids at ratio 2 is M4 exactly, where the
// normal equations would lose about 12 digits: phi0 = 1 and eps = a h_i +
// b h_i^2 to 30 digits.  A NaN pL puts every order outside the band of M1
// (and below none of its edges), so all three fixed-order fits compete.
TEST(LeastSquares, ExactQuadraticTakesM4ToFullPrecision) {
  const std::vector<real> h = constant_ratio(1, 2, 12);
  const std::vector<real> Th = power_law(h, 1, {{1, 1}, {1, 2}});
  const auto out = least_squares_estimates(h, Th, kNaN);
  for (size_t i = 3; i < h.size(); ++i) {
    SCOPED_TRACE("grid " + std::to_string(i + 1));
    const LeastSquaresGrid& g = out[i];
    const real eps = h[i] + h[i] * h[i];
    EXPECT_EQ(g.model, kModelM4);
    EXPECT_TRUE(Same(g.Fs_LS, 3));
    EXPECT_GT(g.p_LS, 1);  // reported although M1 is not the fit
    EXPECT_LT(g.p_LS, 2);
    EXPECT_TRUE(Near(g.T0_LS, 1, 1.0e-30Q));
    EXPECT_TRUE(NearRel(g.eps_LS, eps, 1.0e-30Q));
    EXPECT_TRUE(NearRel(g.U_LS, 3 * eps, 1.0e-29Q));
  }
}

// Orders outside 0.5 <= p < pL + 0.1, oscillating and diverging data: the
// fit is one of M2, M3, M4 (M2 or M3 above pL) and Fs = 3.  p_LS is still M1's order when it
// has one.
TEST(LeastSquares, FixedOrderBranch) {
  struct Row {
    const char* name;
    std::vector<real> h;
    std::vector<real> Th;
    real pL;
    real p;  // expected p_LS (closed form), or S when it need not be checked
  };
  const std::vector<real> h8 = constant_ratio(1, 2, 8);
  const std::vector<real> hv = first(kVariable, 9);
  std::vector<real> oscillating, diverging, oscillating_v;
  for (size_t j = 0; j < h8.size(); ++j) {
    oscillating.push_back(1 + (j % 2 ? -0.1Q : 0.1Q) * h8[j] + 0.05Q * h8[j] * h8[j]);
    diverging.push_back(1 + 0.001Q / h8[j]);
  }
  for (size_t j = 0; j < hv.size(); ++j) oscillating_v.push_back(2 + (j % 2 ? -1 : 1) * hv[j]);
  const Row rows[] = {
      {"order 3 at or above pL + 0.1", h8, power_law(h8, 1, {{1, 3}}), 2, 3},
      {"order 2.15 just above pL + 0.1", h8, power_law(h8, 1, {{1, 2.15Q}}), 2, 2.15Q},
      {"order 0.45 just below 0.5", h8, power_law(h8, 1, {{-1, 0.45Q}}), 2, 0.45Q},
      {"order 0.3 below 0.5", h8, power_law(h8, 1, {{1, 0.3Q}}), 2, 0.3Q},
      {"oscillating, constant ratio", h8, oscillating, 2, S},
      {"oscillating, variable ratio", hv, oscillating_v, 2, S},
      {"diverging", h8, diverging, 2, S},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto out = least_squares_estimates(r.h, r.Th, r.pL);
    for (size_t i = 4; i < r.h.size(); ++i) {  // grid 5 on
      SCOPED_TRACE("grid " + std::to_string(i + 1));
      const LeastSquaresGrid& g = out[i];
      EXPECT_GE(g.model, kModelM2);
      EXPECT_LE(g.model, kModelM4);
      EXPECT_TRUE(Same(g.Fs_LS, 3));
      EXPECT_NE(g.U_LS, S);
      EXPECT_GT(g.U_LS, 0);
      if (r.p != S) {
        EXPECT_TRUE(NearRel(g.p_LS, r.p, 1.0e-25Q));
      }
    }
  }
}

// The band of orders on exact power laws 1 + h^p (8 grids, ratio 2), both
// sides of every edge: M1 for 0.5 <= p <= pL, else M2 or M3 above pL and
// M2, M3 or M4 below 0.5; Fs = 1.25 for 0.5 <= p < pL + 0.1 (binary128
// tells 2.1 - 1e-20 from 2.1), else 3.  Every fit here has sigma < Delta.
TEST(LeastSquares, OrderBandAndSafetyFactor) {
  struct Row {
    real p, pL;
    int32_t model;  // kModelM1, or the largest fixed-order model allowed
    real Fs;
  };
  const Row rows[] = {
      {1.95Q, 2, kModelM1, 1.25Q},           {2 - 1.0e-20Q, 2, kModelM1, 1.25Q},
      {2 + 1.0e-20Q, 2, kModelM3, 1.25Q},    {2.05Q, 2, kModelM3, 1.25Q},
      {2.1Q - 1.0e-20Q, 2, kModelM3, 1.25Q}, {2.1Q + 1.0e-20Q, 2, kModelM3, 3},
      {2.5Q, 2, kModelM3, 3},                {0.5Q + 1.0e-20Q, 2, kModelM1, 1.25Q},
      {0.5Q - 1.0e-20Q, 2, kModelM4, 3},     {0.9Q, 1, kModelM1, 1.25Q},
      {1.05Q, 1, kModelM3, 1.25Q},           {1.5Q, 1, kModelM3, 3},
  };
  const std::vector<real> h = constant_ratio(1, 2, 8);
  for (const Row& r : rows) {
    SCOPED_TRACE("p " + q_to_string(r.p) + ", pL " + q_to_string(r.pL));
    const LeastSquaresGrid g = least_squares_estimates(h, power_law(h, 1, {{1, r.p}}), r.pL)[7];
    EXPECT_TRUE(NearRel(g.p_LS, r.p, 1.0e-28Q));
    EXPECT_TRUE(Same(g.Fs_LS, r.Fs));
    ASSERT_LT(g.sigma_LS, g.Delta_LS);
    if (r.model == kModelM1) {
      EXPECT_EQ(g.model, kModelM1);
      EXPECT_TRUE(NearRel(g.U_LS, 1.25Q * q_pow(h[7], r.p), 1.0e-25Q));
    } else {
      EXPECT_GE(g.model, kModelM2);
      EXPECT_LE(g.model, r.model);
      EXPECT_TRUE(NearRel(g.U_LS, r.Fs * g.eps_LS + g.sigma_LS + g.res_LS, 1.0e-32Q));
    }
  }
}

// Noise larger than the trend: sigma >= Delta, so U_LS = 3 (sigma / Delta)
// (eps + sigma + |phi_i - f(x_i)|), and Fs_LS reports that 3.
TEST(LeastSquares, ScatterBranchWhenSigmaReachesDelta) {
  struct Row {
    const char* name;
    std::vector<real> noise;
  };
  const Row rows[] = {
      {"alternating", {1, -1, 1, -1, 1, -1, 1, -1, 1, -1}},
      {"irregular", {0.3Q, -0.9Q, 0.8Q, 0.1Q, -1, 0.7Q, -0.2Q, 0.95Q, -0.6Q, 0.4Q}},
  };
  const std::vector<real> h = constant_ratio(1, 1.5Q, 10);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<real> Th = power_law(h, 2, {{0.01Q, 2}});
    for (size_t j = 0; j < h.size(); ++j) Th[j] += r.noise[j];
    const auto out = least_squares_estimates(h, Th, 2);
    for (size_t i = 5; i < h.size(); ++i) {
      SCOPED_TRACE("grid " + std::to_string(i + 1));
      const LeastSquaresGrid& g = out[i];
      ASSERT_NE(g.model, kNoModel);
      EXPECT_GE(g.sigma_LS, g.Delta_LS);
      EXPECT_TRUE(Same(g.Fs_LS, 3));  // the factor of this branch, whatever the order
      EXPECT_TRUE(NearRel(
          g.U_LS, 3 * (g.sigma_LS / g.Delta_LS) * (g.eps_LS + g.sigma_LS + g.res_LS), 1.0e-32Q));
      EXPECT_GE(g.res_LS, 0);
    }
  }
}

// Constant results: nothing to fit.  U_LS = 0, T0_LS the value, sigma and
// Delta 0, model, order and Fs missing.
TEST(LeastSquares, AllEqualValues) {
  struct Row {
    const char* name;
    real value;
    int n;
  };
  const Row rows[] = {{"zero", 0, 4}, {"negative", -3.25Q, 7}, {"large", 1.0e300Q, 12}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::vector<real> h = constant_ratio(1, 2, r.n);
    const auto out = least_squares_estimates(h, std::vector<real>(r.n, r.value), 2);
    for (int i = 3; i < r.n; ++i) {
      const LeastSquaresGrid& g = out[i];
      EXPECT_TRUE(Same(g.U_LS, 0));
      EXPECT_TRUE(Same(g.T0_LS, r.value));
      EXPECT_TRUE(Same(g.sigma_LS, 0));
      EXPECT_TRUE(Same(g.Delta_LS, 0));
      EXPECT_TRUE(Same(g.p_LS, S));
      EXPECT_TRUE(Same(g.Fs_LS, S));
      EXPECT_EQ(g.model, kNoModel);
      EXPECT_STREQ(least_squares_model_text(g.model, g.weighted), "");
    }
  }
}

TEST(LeastSquares, FewerThanFourGridsAreMissing) {
  for (int n = 0; n <= 3; ++n) {
    SCOPED_TRACE(n);
    const std::vector<real> h = constant_ratio(1, 2, n);
    const auto out = least_squares_estimates(h, power_law(h, 1, {{1, 2}}), 2);
    ASSERT_EQ(out.size(), static_cast<size_t>(n));
    for (const LeastSquaresGrid& g : out) EXPECT_TRUE(Missing(g));
  }
}

// What a run reports: every grid of a small study; the finest grid alone of
// a study beyond kLeastSquaresEveryGridMax grids, or when asked for, the same
// bits as that grid computed by itself.
TEST(LeastSquares, ReportTakesEveryGridOrTheFinestAlone) {
  struct Case {
    int n;
    bool finest_only;
    bool every_grid;
  } cases[] = {{6, false, true}, {6, true, false}, {kLeastSquaresEveryGridMax + 1, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.n) + (c.finest_only ? " finest only" : ""));
    const std::vector<real> h = constant_ratio(1, 1.02Q, c.n);
    const std::vector<real> Th = power_law(h, 1, {{1, 2}});
    const LeastSquaresPlan plan(h);
    const auto out = least_squares_for_report(plan, Th, 2, c.finest_only);
    ASSERT_EQ(out.size(), static_cast<size_t>(c.n));
    const LeastSquaresGrid finest = least_squares_grid(plan, Th.data(), c.n, 2);
    EXPECT_TRUE(Same(out.back().U_LS, finest.U_LS));
    EXPECT_TRUE(Same(out.back().p_LS, finest.p_LS));
    EXPECT_FALSE(Missing(out.back()));
    for (int i = 4; i < c.n; ++i) EXPECT_EQ(Missing(out[i - 1]), !c.every_grid) << "grid " << i;
  }
}

// Unsound input: the grid that holds it and every later grid are missing
// (they all use it); earlier grids are computed; nothing crashes or hangs.
TEST(LeastSquares, UnsoundInputMakesTheGridsThatUseItMissing) {
  struct Row {
    const char* name;
    int grid;  // 1-based grid that gets the bad value
    real h, Th;
  };
  const Row rows[] = {
      {"h zero", 6, 0, 1},           {"h negative", 6, -0.03Q, 1},
      {"h NaN", 7, kNaN, 1},         {"h infinite", 5, kInf, 1},
      {"Th NaN", 6, 0.03Q, kNaN},    {"Th infinite", 8, 0.01Q, -kInf},
      {"Th overflows", 5, 0.06Q, 1.0e4900Q},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<real> h = constant_ratio(1, 2, 8);
    std::vector<real> Th = power_law(h, 1, {{1, 2}});
    h[r.grid - 1] = r.h;
    Th[r.grid - 1] = r.Th;
    const auto out = least_squares_estimates(h, Th, 2);
    for (int i = 4; i < r.grid; ++i) EXPECT_FALSE(Missing(out[i - 1])) << "grid " << i;
    for (int i = r.grid; i <= 8; ++i) EXPECT_TRUE(Missing(out[i - 1])) << "grid " << i;
  }
}

TEST(LeastSquares, DegenerateSpacings) {
  // One spacing for all grids: no model can be fitted.
  const auto same = least_squares_estimates(std::vector<real>(6, 0.5Q), {1, 2, 3, 4, 5, 6}, 2);
  for (const LeastSquaresGrid& g : same) EXPECT_TRUE(Missing(g));
  // Two spacings: M1 has no order (every x^p spans the same line), M4 is
  // singular; M2 and M3 fit the two values exactly.
  const auto two = least_squares_estimates({2, 2, 1, 1, 1}, {5, 5, 2, 2, 2}, 2);
  for (int i = 3; i < 5; ++i) {
    const LeastSquaresGrid& g = two[i];
    EXPECT_TRUE(Same(g.p_LS, S));
    EXPECT_TRUE(g.model == kModelM2 || g.model == kModelM3) << g.model;
    EXPECT_TRUE(Same(g.Fs_LS, 3));
    EXPECT_TRUE(Near(g.res_LS, 0, 1.0e-32Q));
    // M2: phi0 = 2 - 3 = -1, eps = 3; M3: phi0 = 2 - 1 = 1, eps = 1.
    EXPECT_TRUE(Near(g.T0_LS, g.model == kModelM2 ? -1 : 1, 1.0e-32Q));
  }
  // Th shorter than h: the grids without a value are missing.
  const std::vector<real> h = constant_ratio(1, 2, 6);
  const auto out = least_squares_estimates(h, first(power_law(h, 1, {{1, 2}}), 5), 2);
  ASSERT_EQ(out.size(), 6u);
  EXPECT_EQ(out[4].model, kModelM1);
  EXPECT_TRUE(Missing(out[5]));
}

// The estimate does not depend on the unit of h, and follows an affine
// change of the unit of Th: U_LS, sigma, Delta scale by |b|, T0 maps
// through a + b T0, the model and the order stay.
TEST(LeastSquares, IndependentOfUnits) {
  const std::vector<real> h = first(kVariable, 10);
  std::vector<real> Th = power_law(h, 1, {{0.8Q, 1.3Q}, {0.2Q, 2.7Q}});
  const real wiggle[] = {0, 1, -1, 2, 0, -2, 1, 0, -1, 1};
  for (size_t j = 0; j < h.size(); ++j) Th[j] += 1.0e-4Q * wiggle[j];
  struct Row {
    const char* name;
    real h_unit, a, b;
  };
  const Row rows[] = {{"h in mm", 1000, 0, 1},
                      {"h times 2^-40", 1 / q_pow(2, 40), 0, 1},
                      {"Th shifted", 1, 1.0e6Q, 1},
                      {"Th mirrored and scaled", 1, -7, -3.5Q}};
  const auto base = least_squares_estimates(h, Th, 2);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<real> h2, Th2;
    for (size_t j = 0; j < h.size(); ++j) {
      h2.push_back(h[j] * r.h_unit);
      Th2.push_back(r.a + r.b * Th[j]);
    }
    const auto out = least_squares_estimates(h2, Th2, 2);
    const real rel = r.a == 0 ? 1.0e-25Q : 1.0e-20Q;  // a shift costs the digits of a
    for (size_t i = 3; i < h.size(); ++i) {
      SCOPED_TRACE("grid " + std::to_string(i + 1));
      EXPECT_EQ(out[i].model, base[i].model);
      EXPECT_TRUE(NearRel(out[i].p_LS, base[i].p_LS, rel));
      EXPECT_TRUE(NearRel(out[i].U_LS, q_abs(r.b) * base[i].U_LS, rel));
      EXPECT_TRUE(NearRel(out[i].sigma_LS, q_abs(r.b) * base[i].sigma_LS, rel));
      EXPECT_TRUE(NearRel(out[i].T0_LS, r.a + r.b * base[i].T0_LS, 1.0e-25Q));
    }
  }
}

TEST(LeastSquares, ModelNames) {
  struct Row {
    int32_t model;
    bool weighted;
    const char* label;
  };
  const Row rows[] = {
      {kNoModel, false, ""},
      {kModelM1, false, "M1 unweighted"},
      {kModelM1, true, "M1 weighted"},
      {kModelM2, true, "M2 weighted"},
      {kModelM3, false, "M3 unweighted"},
      {kModelM4, true, "M4 weighted"},
      {5, false, ""},
      {-1, true, ""},
  };
  for (const Row& r : rows) {
    LeastSquaresGrid g;
    g.model = r.model;
    g.weighted = r.weighted;
    EXPECT_STREQ(least_squares_model_text(g.model, g.weighted), r.label) << r.model;
  }
}

// Every field of two results, bit for bit.
::testing::AssertionResult SameGrid(const LeastSquaresGrid& a, const LeastSquaresGrid& b) {
  const real LeastSquaresGrid::*fields[] = {
      &LeastSquaresGrid::U_LS,  &LeastSquaresGrid::p_LS,   &LeastSquaresGrid::T0_LS,
      &LeastSquaresGrid::sigma_LS, &LeastSquaresGrid::Delta_LS, &LeastSquaresGrid::Fs_LS,
      &LeastSquaresGrid::eps_LS, &LeastSquaresGrid::res_LS};
  for (auto f : fields) {
    if (!same_bits(a.*f, b.*f)) {
      return ::testing::AssertionFailure() << q_to_string(a.*f) << " vs " << q_to_string(b.*f);
    }
  }
  if (a.model != b.model || a.weighted != b.weighted) {
    return ::testing::AssertionFailure() << "models " << a.model << " vs " << b.model;
  }
  return ::testing::AssertionSuccess();
}

// A plan shares the work of h between grids and variables, and a study past
// the size of the shared tables (or with h growing again, which needs a
// table per new largest h) computes the same per grid: the results do not
// depend on how the plan was formed.
TEST(LeastSquares, PlanGivesTheSameBitsWhateverItShares) {
  struct Row {
    const char* name;
    std::vector<real> h;
  };
  // h that grows again five times (more tables than the plan keeps).
  const std::vector<real> growing = {1, 0.5Q, 2, 0.7Q, 3, 0.4Q, 4, 0.3Q, 5, 0.2Q, 6, 0.1Q};
  std::vector<real> many = constant_ratio(1, 1.01Q, 300);  // beyond the tables
  const Row rows[] = {{"falling h", constant_ratio(1, 1.6Q, 9)},
                      {"h growing again", growing},
                      {"variable ratio", kVariable}};
  const real wiggle[] = {0.3Q, -0.7Q, 0.1Q, 0.9Q, -0.2Q};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const int32_t n = static_cast<int32_t>(r.h.size());
    std::vector<real> smooth, rough;
    for (int32_t j = 0; j < n; ++j) {
      smooth.push_back(2 - 0.4Q * powq(r.h[j], 1.7Q));
      rough.push_back(smooth.back() + 0.01Q * wiggle[j % 5]);
    }
    const LeastSquaresPlan plan(r.h);
    for (const std::vector<real>* Th : {&smooth, &rough}) {
      const std::vector<LeastSquaresGrid> shared = least_squares_estimates(plan, *Th, 2);
      // The grids and forms spread over one thread or three: the same bits.
      for (int threads : {1, 3}) {
        set_thread_count(threads);
        const std::vector<LeastSquaresGrid> again = least_squares_estimates(plan, *Th, 2);
        set_thread_count(0);
        for (int32_t i = 4; i <= n; ++i) {
          EXPECT_TRUE(SameGrid(again[i - 1], shared[i - 1])) << threads << " threads, grid " << i;
        }
      }
      for (int32_t i = 4; i <= n; ++i) {
        // A plan of grids 1..i alone.
        const LeastSquaresGrid alone = least_squares_grid(r.h.data(), Th->data(), i, 2);
        EXPECT_TRUE(SameGrid(shared[i - 1], alone)) << "grid " << i;
      }
    }
  }
  // The first grids of a long study, with a plan that keeps no table.
  std::vector<real> Th;
  for (real h : many) Th.push_back(1 + 0.25Q * h * h + 0.01Q * wiggle[Th.size() % 5]);
  const LeastSquaresPlan long_plan(many);
  for (int32_t i : {4, 7, 10}) {
    EXPECT_TRUE(SameGrid(least_squares_grid(long_plan, Th.data(), i, 2),
                         least_squares_grid(many.data(), Th.data(), i, 2)))
        << "grid " << i;
  }
}

}  // namespace
}  // namespace morvantide
