// The verdict on sequences whose behaviour is known in closed form: exact
// power laws (monotonic convergence; asymptotic when the observed order is
// the true one), oscillating and diverging sequences, too few grids, and the
// grid a target needs.
#include "core/verdict.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core_testing.h"
#include "report/results.h"
#include "report/summary.h"

namespace morvantide {
namespace {

using core_testing::constant_ratio;
using core_testing::make_state;
using core_testing::NearRel;
using core_testing::power_law;
using core_testing::S;
using core_testing::Settings;

const real kInf = HUGE_VALQ;

TEST(ConvergenceType, Table) {
  struct Case {
    real psi;
    Convergence expected;
  } cases[] = {
      {4, Convergence::kMonotonicConvergence},
      {1.0Q + 1e-30Q, Convergence::kMonotonicConvergence},
      {1, Convergence::kMonotonicDivergence},
      {0.5Q, Convergence::kMonotonicDivergence},
      {1e-30Q, Convergence::kMonotonicDivergence},
      {-4, Convergence::kOscillatoryConvergence},
      {-1.0Q - 1e-30Q, Convergence::kOscillatoryConvergence},
      {-1, Convergence::kOscillatoryDivergence},
      {-0.5Q, Convergence::kOscillatoryDivergence},
      {0, Convergence::kUndetermined},
      {S, Convergence::kUndetermined},
      {kInf, Convergence::kUndetermined},
      {-kInf, Convergence::kUndetermined},
      {nanq(""), Convergence::kUndetermined},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(convergence_type(c.psi), c.expected) << q_to_string(c.psi);
  }
}

// The verdict of one sequence.
GridList<GridVerdict> judge(const std::vector<real>& h, const std::vector<real>& Th,
                            const Settings& k = Settings(), const Target& t = Target()) {
  const core_testing::StudyLists s = make_state(h, Th, k);
  const Estimates e = estimativa(s);
  return verdict(s, e, tabela_malhas(s.h), t);
}

std::vector<real> sequence(int n, real (*f)(int)) {
  std::vector<real> v;
  for (int i = 1; i <= n; ++i) v.push_back(f(i));
  return v;
}

// Sequences on h = 1, 1/2, 1/4, ... (exact binary values) and the type each
// grid from 3 on shows.
TEST(Verdict, ConvergenceTypesOfKnownSequences) {
  struct Case {
    const char* name;
    real (*Th)(int);  // of the grid number i = 1..6
    Convergence expected;
  } cases[] = {
      // 1 + h^2: each difference a quarter of the one before, psi = 4.
      {"PowerLaw", [](int i) { return 1 + q_pow(2, -2 * q_from_int(i - 1)); },
       Convergence::kMonotonicConvergence},
      {"PowerLawFromBelow", [](int i) { return 1 - q_pow(2, -2 * q_from_int(i - 1)); },
       Convergence::kMonotonicConvergence},
      // 1 + (-1)^i h^2: psi = -(4 + 1) / (1 + 1/4) = -4.
      {"Oscillating", [](int i) { return 1 + (i % 2 ? -1 : 1) * q_pow(2, -2 * q_from_int(i - 1)); },
       Convergence::kOscillatoryConvergence},
      // 1/h = 2^(i-1): psi = 1/2.
      {"Growing", [](int i) { return q_pow(2, q_from_int(i - 1)); },
       Convergence::kMonotonicDivergence},
      // Equal steps: psi = 1, the edge of divergence.
      {"EqualSteps", [](int i) { return q_from_int(i); }, Convergence::kMonotonicDivergence},
      // (-2)^i: psi = -1/2.
      {"OscillatingGrowing", [](int i) { return q_pow(-2, q_from_int(i)); },
       Convergence::kOscillatoryDivergence},
      // (-1)^i: psi = -1.
      {"Alternating", [](int i) { return real(i % 2 ? -1 : 1); },
       Convergence::kOscillatoryDivergence},
      // Equal values: no ratio.
      {"Constant", [](int) { return real(3); }, Convergence::kUndetermined},
  };
  const std::vector<real> h = constant_ratio(1, 2, 6);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GridList<GridVerdict> v = judge(h, sequence(6, c.Th));
    for (int32_t i = 1; i <= 6; ++i) {
      EXPECT_EQ(v(i).convergence, i < 3 ? Convergence::kUndetermined : c.expected) << "grid " << i;
    }
  }
}

// Th = T0 + C h^p with p = pL on grids of ratio r: the observed order is pL
// (P = 1), each index is 1.25 |d| / (r^pL - 1) with d shrinking by r^pL per
// grid (A = 1): monotonic convergence in the asymptotic range from grid 4.
// With p = pL / 2 the index uses p (A = 1) but P = 1/2: not yet asymptotic.
TEST(Verdict, ExactPowerLaws) {
  struct Case {
    const char* name;
    real r, p, pL, C;
    int tipo_r;
    Asymptotic expected;
    real P;
  } cases[] = {
      {"Ratio2Order2", 2, 2, 2, 1, 1, Asymptotic::kAsymptotic, 1},
      {"Ratio2Order2Negative", 2, 2, 2, -3, 1, Asymptotic::kAsymptotic, 1},
      {"Ratio1.5Order1.5", 1.5Q, 1.5Q, 1.5Q, 0.7Q, 1, Asymptotic::kAsymptotic, 1},
      {"Ratio1.3Order1VariableSearch", 1.3Q, 1, 1, 2, 2, Asymptotic::kAsymptotic, 1},
      {"HalfTheOrder", 2, 1, 2, 1, 1, Asymptotic::kNotYet, 0.5Q},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = 6;
    const std::vector<real> h = constant_ratio(0.5Q, c.r, n);
    Settings k;
    k.pL = c.pL;
    k.tipo_r = c.tipo_r;
    k.itmax = 200;
    k.tol = 1e-30Q;
    const GridList<GridVerdict> v = judge(h, power_law(h, 2, {{c.C, c.p}}), k);
    for (int32_t i = 1; i <= n; ++i) {
      SCOPED_TRACE("grid " + std::to_string(i));
      EXPECT_EQ(v(i).convergence,
                i >= 3 ? Convergence::kMonotonicConvergence : Convergence::kUndetermined);
      if (i >= 3) {
        EXPECT_TRUE(NearRel(v(i).order_ratio, c.P, 1e-25Q));
      } else {
        EXPECT_EQ(v(i).order_ratio, S);
      }
      if (i >= 4) {
        EXPECT_TRUE(NearRel(v(i).gci_ratio, 1, 1e-25Q));
        EXPECT_EQ(v(i).asymptotic, c.expected);
      } else {
        EXPECT_EQ(v(i).gci_ratio, S);
        EXPECT_EQ(v(i).asymptotic, Asymptotic::kUndetermined);
      }
    }
  }
}

// The GCI ratio is a ratio of the two finest indices: on a sequence whose
// second difference is off the power law it moves away from 1.
TEST(Verdict, GciRatioOffThePowerLaw) {
  // h = 1/2, 1/4, 1/8, 1/16; Th = 1 + h^2 except the last, pulled by
  // 2^-12 so that d(4) = -(3/256 - 1/4096) ... worked by hand below.
  const std::vector<real> h = {0.5Q, 0.25Q, 0.125Q, 0.0625Q};
  std::vector<real> Th = power_law(h, 1, {{1, 2}});
  Th[3] += q_pow(2, -12);
  const GridList<GridVerdict> v = judge(h, Th);
  // d3 = 1/64 - 1/16 = -3/64, d4 = 1/256 + 1/4096 - 1/64 = -47/4096,
  // psi = d3 / d4 = 192/47 > 4, so pU = log2(192/47) > 2 and pGCI = 2:
  // A = (1.25 |d3| / 3) / (4 * 1.25 |d4| / 3) = (3/64) / (4 * 47/4096) = 48/47.
  EXPECT_TRUE(NearRel(v(4).gci_ratio, 48.0Q / 47, 1e-30Q));
  const real P = log2q(192.0Q / 47) / 2;
  EXPECT_TRUE(NearRel(v(4).order_ratio, P, 1e-30Q));
  // |P - 1| = 0.0148..., |A - 1| = 0.0213...: asymptotic.
  EXPECT_EQ(v(4).asymptotic, Asymptotic::kAsymptotic);
}

TEST(Verdict, TooFewGrids) {
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE("nm " + std::to_string(n));
    const std::vector<real> h = constant_ratio(1, 2, n);
    Target t;
    t.kind = Target::Kind::kAbsolute;
    t.value = 1e-3Q;
    const GridList<GridVerdict> v = judge(h, power_law(h, 1, {{1, 2}}), Settings(), t);
    ASSERT_EQ(v.size(), n);
    for (int32_t i = 1; i <= n; ++i) {
      EXPECT_EQ(v(i).asymptotic, Asymptotic::kUndetermined);
      EXPECT_EQ(v(i).gci_ratio, S);
      EXPECT_EQ(v(i).convergence,
                i == 3 ? Convergence::kMonotonicConvergence : Convergence::kUndetermined);
    }
    // Grid 1 has no index, so no target grid.
    EXPECT_EQ(v(1).h_target, S);
  }
}

// On Th = 1 + h^2 (pL = 2, ratio 2) UGCI(i) = 1.25 |h(i-1)^2 - h(i)^2| / 3
// = 1.25 h(i)^2, so a target U needs h* = h (U / (1.25 h^2))^(1/2).
TEST(Verdict, TargetGridClosedForm) {
  const std::vector<real> h = constant_ratio(0.5Q, 2, 5);
  const real hn = h[4];
  const real gci = 1.25Q * hn * hn;
  struct Case {
    const char* name;
    Target::Kind kind;
    real value;
    real U;  // in the variable's units
    real refinement;
    bool within;
  } cases[] = {
      {"SixteenTimesSmaller", Target::Kind::kAbsolute, gci / 16, gci / 16, 4, false},
      {"TwiceSmaller", Target::Kind::kAbsolute, gci / 2, gci / 2, sqrtq(2.0Q), false},
      // Th(5) = 1 + 2^-16, so 0.001% of it.
      {"Relative", Target::Kind::kRelative, 1e-5Q, 1e-5Q * (1 + hn * hn),
       sqrtq(gci / (1e-5Q * (1 + hn * hn))), false},
      {"AlreadyWithin", Target::Kind::kAbsolute, gci * 4, gci * 4, 0.5Q, true},
      {"Exactly", Target::Kind::kAbsolute, gci, gci, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Target t;
    t.kind = c.kind;
    t.value = c.value;
    const GridList<GridVerdict> v = judge(h, power_law(h, 1, {{1, 2}}), Settings(), t);
    EXPECT_TRUE(NearRel(v(5).target, c.U, 1e-32Q));
    EXPECT_TRUE(NearRel(v(5).h_target, hn / c.refinement, 1e-30Q));
    EXPECT_TRUE(NearRel(v(5).refinement, c.refinement, 1e-30Q));
    EXPECT_EQ(v(5).within_target, c.within);
  }
}

TEST(Verdict, RelativeTargetOfZeroHasNoGrid) {
  const std::vector<real> h = constant_ratio(0.5Q, 2, 4);
  Target t;
  t.kind = Target::Kind::kRelative;
  t.value = 0.01Q;
  // Th(4) = 0 exactly: -h(1)^2 ... shifted so that the finest value is 0.
  std::vector<real> Th = power_law(h, -h[3] * h[3], {{1, 2}});
  ASSERT_EQ(Th[3], 0);
  const GridList<GridVerdict> v = judge(h, Th, Settings(), t);
  EXPECT_EQ(v(4).target, 0);
  EXPECT_EQ(v(4).h_target, S);
  EXPECT_FALSE(v(4).within_target);
}

// The summary's words for the finest grid: the verdict, and a warning
// exactly when the GCI is not a dependable bound.
TEST(Summary, WordsAndWarnings) {
  struct Case {
    const char* name;
    int n;
    real (*Th)(int);
    const char* convergence;
    const char* warning;  // nullptr: no warning line
  } cases[] = {
      {"PowerLaw", 5, [](int i) { return 1 + q_pow(2, -2 * q_from_int(i - 1)); },
       "  convergence   monotonic convergence, asymptotic range (P = 1.00000, A = 1.00000)\n",
       nullptr},
      {"Oscillating", 5,
       [](int i) { return 1 + (i % 2 ? -1 : 1) * q_pow(2, -2 * q_from_int(i - 1)); },
       "  convergence   oscillatory convergence, asymptotic range undetermined (P = n/a, A = ",
       "  warning       oscillatory convergence: UGCI is not a dependable bound\n"},
      {"Growing", 5, [](int i) { return q_pow(2, q_from_int(i - 1)); },
       // psi = 1/2: the index is not formed, P = log2(1/2) / 2.
       "  convergence   monotonic divergence, asymptotic range undetermined (P = -0.500000, A = "
       "n/a)\n",
       "  warning       monotonic divergence: no UGCI at the finest grid\n"},
      {"ThreeGrids", 3, [](int i) { return 1 + q_pow(2, -2 * q_from_int(i - 1)); },
       "  convergence   monotonic convergence, asymptotic range undetermined (needs 4 grids)\n",
       nullptr},
      {"TwoGrids", 2, [](int i) { return 1 + q_pow(2, -2 * q_from_int(i - 1)); },
       "  convergence   undetermined (needs 3 grids), asymptotic range undetermined (needs 4 "
       "grids)\n",
       "  warning       fewer than 3 grids: the convergence type is unknown and UGCI is not a "
       "dependable bound\n"},
      {"OneGrid", 1, [](int) { return real(1); }, "  convergence   undetermined (needs 3 grids)",
       "  warning       no UGCI at the finest grid: the error is not estimated\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<real> h = constant_ratio(1, 2, c.n);
    const core_testing::StudyLists s = make_state(h, sequence(c.n, c.Th));
    AnalysisSettings settings;
    settings.least_squares = LeastSquaresNeed::kEveryGrid;
    Analysis v = analyse(s, tabela_malhas(s.h), settings);
    v.number = 2;
    const std::string text = summary(v, Target(), "\n");
    EXPECT_EQ(text.rfind("variable 2: " + std::to_string(c.n) + (c.n == 1 ? " grid" : " grids"), 0),
              0u)
        << text;
    EXPECT_NE(text.find(c.convergence), std::string::npos) << text;
    if (c.warning) {
      EXPECT_NE(text.find(c.warning), std::string::npos) << text;
    } else {
      EXPECT_EQ(text.find("warning"), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace morvantide
