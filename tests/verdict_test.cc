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
#include "report/json.h"
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

// With the ratio exponent t of a variable ratio, both sides of t and -t,
// t below and above 1; no positive finite t leaves the type undetermined.
TEST(ConvergenceType, AgainstTheRatioExponent) {
  struct Case {
    real psi, t;
    Convergence expected;
  } cases[] = {
      {0.25Q + 1e-30Q, 0.25Q, Convergence::kMonotonicConvergence},
      {0.25Q, 0.25Q, Convergence::kMonotonicDivergence},
      {-0.25Q - 1e-30Q, 0.25Q, Convergence::kOscillatoryConvergence},
      {-0.25Q, 0.25Q, Convergence::kOscillatoryDivergence},
      {0.5Q, 0.25Q, Convergence::kMonotonicConvergence},
      {6.5Q + 1e-30Q, 6.5Q, Convergence::kMonotonicConvergence},
      {6.5Q, 6.5Q, Convergence::kMonotonicDivergence},
      {3, 6.5Q, Convergence::kMonotonicDivergence},
      {-3, 6.5Q, Convergence::kOscillatoryDivergence},
      {-6.5Q - 1e-30Q, 6.5Q, Convergence::kOscillatoryConvergence},
      {3, S, Convergence::kUndetermined},
      {3, 0, Convergence::kUndetermined},
      {3, -2, Convergence::kUndetermined},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(convergence_type(c.psi, c.t), c.expected)
        << "psi " << q_to_string(c.psi) << ", t " << q_to_string(c.t);
  }
  struct Ratios {
    real r21, r32, t;
  } ratios[] = {
      {1.1Q, 1.1Q, 1}, {2, 4, 2}, {4, 2, 0.5Q}, {0.5Q, 0.25Q, 2}, {1, 2, S}, {0.5Q, 2, S}, {S, 2, S},
  };
  for (const Ratios& r : ratios) {
    EXPECT_TRUE(NearRel(ratio_exponent(r.r21, r.r32), r.t, 1e-33Q))
        << q_to_string(r.r21) << " " << q_to_string(r.r32);
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

// Three grids of a variable ratio: the type against t, where U comes from,
// and whether it is a dependable bound.  The listing's UGCI exists exactly
// where |psi| > 1.
TEST(Verdict, VariableRatioTypeAndUncertainty) {
  const std::vector<real> below = {1, 0.9Q, 0.45Q};   // t = ln(10/9) / ln 2 = 0.152
  const std::vector<real> above = {1, 0.5Q, 0.45Q};   // t = ln 2 / ln(10/9) = 6.58
  auto square = [](const std::vector<real>& h) { return power_law(h, 1, {{1, 2}}); };
  struct Case {
    const char* name;
    std::vector<real> h, Th;
    Convergence expected;
    UncertaintySource source;
    UncertaintyNote note;
    bool dependable;
  } cases[] = {
      // psi = 0.19 / 0.6075 = 0.31 > t: convergence the listing has no UGCI for.
      {"ConvergesBelowOne", below, square(below), Convergence::kMonotonicConvergence,
       UncertaintySource::kObservedOrder, UncertaintyNote::kNoListingIndex, true},
      // psi = 3 <= t: no positive order gives these values, and no U.
      {"DivergesAboveOne", above, {0, 3, 4}, Convergence::kMonotonicDivergence,
       UncertaintySource::kNone, UncertaintyNote::kDivergence, false},
      {"ConvergesAboveT", above, square(above), Convergence::kMonotonicConvergence,
       UncertaintySource::kUGCI, UncertaintyNote::kNone, true},
      {"OscillatesWithinT", above, {0, 3, 2}, Convergence::kOscillatoryDivergence,
       UncertaintySource::kNone, UncertaintyNote::kDivergence, false},
      // |psi| = 8 > t: the order of |psi| is far below pL, which the listing assumes.
      {"OscillatesBeyondT", above, {0, 8, 7}, Convergence::kOscillatoryConvergence,
       UncertaintySource::kObservedOrder, UncertaintyNote::kAbsoluteRatio, false},
      // |psi| = 100: the order of |psi| lies above pL, so U takes pL as the
      // listing's index does: the same bits.
      {"OscillatesFarBeyondT", above, {0, 100, 99}, Convergence::kOscillatoryConvergence,
       UncertaintySource::kUGCI, UncertaintyNote::kNone, false},
      // psi = -1, |psi| > t: an order of |psi|, where the listing has no UGCI.
      {"OscillatesBelowOne", below, {0, 1, 0}, Convergence::kOscillatoryConvergence,
       UncertaintySource::kObservedOrder, UncertaintyNote::kNoListingIndex, false},
  };
  Settings k;
  k.tipo_r = 2;
  k.itmax = 200;
  k.tol = 1e-30Q;
  k.pL = 1;  // below every observed order here: U is the listing's where it has one
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GridVerdict v = judge(c.h, c.Th, k)(3);
    EXPECT_EQ(v.convergence, c.expected);
    EXPECT_EQ(v.U_source, c.source);
    EXPECT_EQ(v.U_note, c.note);
    EXPECT_EQ(v.gci_dependable, c.dependable);
    EXPECT_EQ(v.U == S, c.source == UncertaintySource::kNone);
  }
  // 1.25 |Th(3) - Th(2)| / (2^1 - 1) with pU = min(observed 2, pL = 1).
  EXPECT_TRUE(NearRel(judge(below, square(below), k)(3).U, 1.25Q * 0.6075Q / 1, 1e-30Q));
  // 1.25 |99 - 100| / (r21^1 - 1), r21 = 0.5 / 0.45, with pU = min(order of |psi|, pL = 1).
  const GridVerdict far = judge(above, {0, 100, 99}, k)(3);
  EXPECT_TRUE(NearRel(far.U, 1.25Q / (0.5Q / 0.45Q - 1), 1e-30Q)) << q_to_string(far.U);
  EXPECT_TRUE(far.p_observed > 1 && far.p_U == 1) << q_to_string(far.p_observed);
  k.pL = 2;
  // 1.25 |Th(3) - Th(2)| / (2^2 - 1) with the observed order 2.
  EXPECT_TRUE(NearRel(judge(below, square(below), k)(3).U, 1.25Q * 0.6075Q / 3, 1e-25Q));
}

TEST(Verdict, GridOrderWarning) {
  struct Case {
    std::vector<real> h;
    const char* starts;  // "" for no warning
  } cases[] = {
      {{4, 2, 1}, ""},
      {{1}, ""},
      {{1, 2, 4}, "h does not decrease from grid 1 to grid 2: the grids must run from coarse to "
                  "fine (grid 1 the coarsest); the results assume that order"},
      {{4, 2, 2}, "h does not decrease from grid 2 to grid 3"},
  };
  for (const Case& c : cases) {
    RealList h;
    h.resize(static_cast<int32_t>(c.h.size()));
    for (size_t i = 0; i < c.h.size(); ++i) h(static_cast<int32_t>(i + 1)) = c.h[i];
    const std::string w = grid_order_warning(h);
    EXPECT_EQ(w.substr(0, std::string(c.starts).size()), c.starts) << w;
    EXPECT_EQ(w.empty(), *c.starts == 0) << w;
  }
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
      // Below pL the index uses the observed order (A = 1): P alone decides,
      // on either side of the tolerance 0.1.
      {"OrderJustInsideTheTolerance", 2, 1.82Q, 2, 1, 1, Asymptotic::kAsymptotic, 0.91Q},
      {"OrderJustOutsideTheTolerance", 2, 1.78Q, 2, 1, 1, Asymptotic::kNotYet, 0.89Q},
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

// P and A each within 0.1 of 1, on both sides of both edges; a hair beyond
// the edge (1e-30, far below a double's rounding of 0.1) is already out.
TEST(Verdict, AsymptoticRangeTolerance) {
  struct Case {
    real P, A;
    Asymptotic expected;
  } cases[] = {
      {1, 1, Asymptotic::kAsymptotic},
      {1.09Q, 1, Asymptotic::kAsymptotic},
      {1.11Q, 1, Asymptotic::kNotYet},
      {0.91Q, 1, Asymptotic::kAsymptotic},
      {0.89Q, 1, Asymptotic::kNotYet},
      {1, 1.09Q, Asymptotic::kAsymptotic},
      {1, 1.11Q, Asymptotic::kNotYet},
      {1, 0.91Q, Asymptotic::kAsymptotic},
      {1, 0.89Q, Asymptotic::kNotYet},
      {1.1Q - 1e-30Q, 0.9Q + 1e-30Q, Asymptotic::kAsymptotic},
      {1.1Q + 1e-30Q, 1, Asymptotic::kNotYet},
      {0.9Q - 1e-30Q, 1, Asymptotic::kNotYet},
      {1, 1.1Q + 1e-30Q, Asymptotic::kNotYet},
      {1, 0.9Q - 1e-30Q, Asymptotic::kNotYet},
      {S, 1, Asymptotic::kUndetermined},
      {1, S, Asymptotic::kUndetermined},
      {1.5Q, S, Asymptotic::kUndetermined},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(asymptotic_check(c.P, c.A), c.expected)
        << "P " << q_to_string(c.P) << ", A " << q_to_string(c.A);
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
    real T0 = 1;  // Th = T0 + h^2
  } cases[] = {
      {"SixteenTimesSmaller", Target::Kind::kAbsolute, gci / 16, gci / 16, 4, false},
      {"TwiceSmaller", Target::Kind::kAbsolute, gci / 2, gci / 2, sqrtq(2.0Q), false},
      // Th(5) = 1 + 2^-16, so 0.001% of it.
      {"Relative", Target::Kind::kRelative, 1e-5Q, 1e-5Q * (1 + hn * hn),
       sqrtq(gci / (1e-5Q * (1 + hn * hn))), false},
      {"AlreadyWithin", Target::Kind::kAbsolute, gci * 4, gci * 4, 0.5Q, true},
      {"Exactly", Target::Kind::kAbsolute, gci, gci, 1, true},
      // Th(5) = -1 + 2^-16: the share is of |Th|.
      {"RelativeOfANegativeTh", Target::Kind::kRelative, 1e-5Q, 1e-5Q * (1 - hn * hn),
       sqrtq(gci / (1e-5Q * (1 - hn * hn))), false, -1},
      {"RelativeOfANegativeThAlreadyWithin", Target::Kind::kRelative, 0.5Q, 0.5Q * (1 - hn * hn),
       sqrtq(gci / (0.5Q * (1 - hn * hn))), true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Target t;
    t.kind = c.kind;
    t.value = c.value;
    const GridList<GridVerdict> v = judge(h, power_law(h, c.T0, {{1, 2}}), Settings(), t);
    EXPECT_TRUE(NearRel(v(5).target, c.U, 1e-32Q));
    EXPECT_TRUE(NearRel(v(5).h_target, hn / c.refinement, 1e-30Q));
    EXPECT_TRUE(NearRel(v(5).refinement, c.refinement, 1e-30Q));
    EXPECT_EQ(v(5).reach == TargetReach::kWithin, c.within);
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
  EXPECT_NE(v(4).reach, TargetReach::kWithin);
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
       "  warning       oscillatory convergence: U is not a dependable bound\n"},
      {"Growing", 5, [](int i) { return q_pow(2, q_from_int(i - 1)); },
       // psi = 1/2: the index is not formed, P = log2(1/2) / 2.
       "  convergence   monotonic divergence, asymptotic range undetermined (P = -0.500000, A = "
       "n/a)\n",
       "  warning       monotonic divergence: the grids do not converge, so no uncertainty is "
       "given\n"},
      {"ThreeGrids", 3, [](int i) { return 1 + q_pow(2, -2 * q_from_int(i - 1)); },
       "  convergence   monotonic convergence, asymptotic range undetermined (needs 4 grids)\n",
       nullptr},
      {"TwoGrids", 2, [](int i) { return 1 + q_pow(2, -2 * q_from_int(i - 1)); },
       "  convergence   undetermined (needs 3 grids), asymptotic range undetermined (needs 4 "
       "grids)\n",
       "  warning       fewer than 3 grids: the convergence type is unknown and U is not a "
       "dependable bound\n"},
      {"OneGrid", 1, [](int) { return real(1); }, "  convergence   undetermined (needs 3 grids)",
       "  warning       no U at the finest grid: the error is not estimated\n"},
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

// Th quoted to the place of U's second significant digit, rounded exactly.
TEST(Summary, MeasurementDigits) {
  struct Case {
    real Th, U;
    const char* expected;
  } cases[] = {
      {1.500001953Q, 2.44252e-6Q, "1.5000020 +/- 0.0000024"},
      {-1.500001953Q, 2.44252e-6Q, "-1.5000020 +/- 0.0000024"},
      {1.125Q, 0.125Q, "1.12 +/- 0.12"},        // ties to even, both
      {2.625Q, 0.375Q, "2.62 +/- 0.38"},
      {123.456Q, 0.0996Q, "123.46 +/- 0.10"},   // U carries to a new digit
      {123.456Q, 9.96Q, "123 +/- 10"},
      {99.96Q, 0.12Q, "99.96 +/- 0.12"},
      {99.996Q, 0.12Q, "100.00 +/- 0.12"},      // Th carries
      {123456, 2400, "123500 +/- 2400"},
      {0.001Q, 0.5Q, "0.00 +/- 0.50"},          // U larger than Th
      {-0.001Q, 0.5Q, "0.00 +/- 0.50"},
      {0.007Q, 0.5Q, "0.01 +/- 0.50"},
      {-0.0625Q, 3.2Q, "-0.1 +/- 3.2"},
      {0.05Q, 32, "0 +/- 32"},
      {1.5Q, 0, "1.50000 +/- 0"},
      {1.5e20Q, 2.4e14Q, "1.5000000e+20 +/- 2.4e+14"},
      {1.5Q, 2.4e-20Q, "1.500000000000000000000e+00 +/- 2.4e-20"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(measurement_text(c.Th, c.U), c.expected)
        << q_to_string(c.Th) << " +/- " << q_to_string(c.U);
  }
  EXPECT_EQ(distinguishing_text(1.5000019Q, 1.5000021Q), "1.5000019");
  EXPECT_EQ(distinguishing_text(1.5Q, 1.6Q), "1.50000");
  EXPECT_EQ(distinguishing_text(1.5Q, 1.5Q), "1.50000");
}

// What the summary and the JSON say on studies the verdict judges in
// closed form: orders, extrapolations, the source of U, grids out of order.
TEST(Summary, ResultLineAndJsonKeys) {
  const std::vector<real> below = {1, 0.9Q, 0.45Q};
  struct Case {
    const char* name;
    std::vector<real> h, Th;
    int32_t tipo_r;
    std::vector<const char*> summary_has, json_has;
  } cases[] = {
      {"OrderAbovePL", constant_ratio(1, 2, 4), power_law(constant_ratio(1, 2, 4), 1, {{1, 3}}),
       1,
       {"(UGCI)\n  order         2, the formal order assumed, set with --order; observed 3\n",
        "Tm1 = 1.00000 (repeated, true orders), Ti_pU = 1.00000 (Richardson, observed order)",
        "Umc = Tm1 - Th = "},
       {"\"U_source\": \"UGCI\"", "\"gci_dependable\": true", "\"Ti_pU\": 1,",
        "\"pU_Th\": 3,", "\"grid_order_warning\": null"}},
      {"ConvergesWithoutUGCI", below, power_law(below, 1, {{1, 2}}), 2,
       {"Th = 1.20 +/- 0.25 (21 %) (observed order)\n  order         2 observed;",
        "  note          the listing has no UGCI here (|psi| <= 1 on a variable ratio)\n"},
       {"\"U\": 0.2531", "\"U_source\": \"observed order\"", "\"gci_dependable\": true",
        "\"UGCI_Th\": null", "\"U_note\": \"no UGCI in the listing\""}},
      {"DivergesWithUGCI", {1, 0.5Q, 0.45Q}, {0, 3, 4}, 2,
       {"Th = 4.00000 (no U: monotonic divergence)\n",
        "warning       monotonic divergence: the grids do not converge"},
       {"\"U\": null", "\"U_source\": null", "\"U_note\": \"divergence\"",
        "\"UGCI_Th\": 5.3289", "\"gci_dependable\": false"}},
      {"FinestFirst", {1, 2, 4}, {2, 5, 17}, 1,
       {"warning       h does not decrease from grid 1 to grid 2: the grids must run from coarse"},
       {"\"grid_order_warning\": \"h does not decrease from grid 1 to grid 2", "\"U\": null"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Settings k;
    k.tipo_r = c.tipo_r;
    k.itmax = 200;
    k.tol = 1e-30Q;
    const core_testing::StudyLists s = make_state(c.h, c.Th, k);
    const Study& study = s;
    AnalysisSettings settings;
    settings.least_squares = LeastSquaresNeed::kEveryGrid;
    Analysis v = analyse(study, tabela_malhas(study.h), settings);
    v.number = 1;
    const std::string text = summary(v, Target(), "\n");
    for (const char* want : c.summary_has) EXPECT_NE(text.find(want), std::string::npos) << text;
    const std::string json = json_variable(v, true);
    for (const char* want : c.json_has) EXPECT_NE(json.find(want), std::string::npos) << json;
  }
}

}  // namespace
}  // namespace morvantide

namespace morvantide {
namespace {

// The verdict's observed order on exact power laws T = 1 + C h^p whose order
// lies below, inside and above the listing's search range (0.5 to 5), on
// variable ratios: the order is p, and U is 1.25 |Th(n) - Th(n-1)| /
// (r21^min(p, pL) - 1) with the true p, never below the true error.
TEST(Verdict, ObservedOrderOverTheWholeLine) {
  struct Case {
    real p, C;
    std::vector<real> h;
    UncertaintyNote note;  // why U is not the listing's UGCI
  } cases[] = {
      // So low an order leaves |psi| <= 1: the listing has no UGCI at all.
      {0.1Q, 1, {1, 0.6Q, 0.35Q}, UncertaintyNote::kNoListingIndex},
      {0.3Q, 1, {1, 0.6Q, 0.35Q}, UncertaintyNote::kBelowSearchRange},
      {0.3Q, -2, {1, 0.6Q, 0.35Q, 0.2Q}, UncertaintyNote::kBelowSearchRange},
      {0.45Q, 1, {1, 0.476Q, 0.223Q}, UncertaintyNote::kBelowSearchRange},
      {0.55Q, 1, {1, 0.476Q, 0.223Q}, UncertaintyNote::kSearchTolerance},
      {1.29Q, 1, {1, 0.476Q, 0.223Q}, UncertaintyNote::kSearchTolerance},
      // Above pL both take pL: U is the listing's UGCI, above the range or not.
      {3, 1, {1, 0.476Q, 0.223Q}, UncertaintyNote::kNone},
      {5.5Q, 1, {1, 0.6Q, 0.35Q}, UncertaintyNote::kNone},
      {8, 1, {1, 0.6Q, 0.35Q, 0.2Q}, UncertaintyNote::kNone},
  };
  Settings k;
  k.tipo_r = 2;
  k.tol = 1.0e-12Q;
  for (const Case& c : cases) {
    SCOPED_TRACE(q_to_string(c.p));
    const std::vector<real> Th = power_law(c.h, 1, {{c.C, c.p}});
    const GridVerdict v = judge(c.h, Th, k)(static_cast<int32_t>(c.h.size()));
    const size_t n = c.h.size();
    EXPECT_EQ(v.convergence, Convergence::kMonotonicConvergence);
    EXPECT_TRUE(NearRel(v.p_observed, c.p, 1e-24Q)) << q_to_string(v.p_observed);
    const real r21 = c.h[n - 2] / c.h[n - 1];
    const real p = q_min(c.p, k.pL);
    const real U = 1.25Q * q_abs(Th[n - 1] - Th[n - 2]) / (q_pow(r21, p) - 1);
    EXPECT_TRUE(NearRel(v.U, U, 1e-22Q)) << q_to_string(v.U) << " vs " << q_to_string(U);
    EXPECT_TRUE(NearRel(v.p_U, p, 1e-24Q)) << q_to_string(v.p_U);
    EXPECT_TRUE(v.U >= q_abs(Th[n - 1] - 1)) << "below the true error";
    EXPECT_TRUE(v.gci_dependable);
    EXPECT_EQ(v.U_note, c.note);
    EXPECT_EQ(v.U_source, c.note == UncertaintyNote::kNone ? UncertaintySource::kUGCI
                                                           : UncertaintySource::kObservedOrder);
    EXPECT_TRUE(NearRel(v.U_relative, v.U / q_abs(Th[n - 1]), 1e-32Q));
  }
}

// The search on its own: closed form for equal ratios, the sentinel where
// no positive order exists (psi <= t, ratios not above 1).
TEST(Verdict, OrderOnThePositiveLine) {
  const real t = q_log(2.0Q) / q_log(1.25Q);  // r21 = 1.25, r32 = 2
  struct Case {
    real r21, r32, psi, expected;  // S: none
  } cases[] = {
      {2, 2, 4, 2},
      {2, 2, 1, S},
      {1.25Q, 2, t, S},
      {1.25Q, 2, 0.5Q, S},
      {0.5Q, 0.5Q, 4, S},
      {1, 2, 4, S},
      {1.25Q, 2, nanq(""), S},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(same_bits(order_on_positive_line(c.r21, c.r32, c.psi), c.expected))
        << q_to_string(c.r21) << " " << q_to_string(c.r32) << " " << q_to_string(c.psi);
  }
  // Just above t the order is small and positive.
  const real small = order_on_positive_line(1.25Q, 2, t * (1 + 1e-6Q));
  EXPECT_TRUE(small > 0 && small < 1e-4Q) << q_to_string(small);
  // psi(p) for r21 = 1.25, r32 = 2 at p = 0.2 and 7: the order comes back.
  for (real p : {0.2Q, 7.0Q}) {
    const real a = q_pow(1.25Q, p), b = q_pow(2.0Q, p);
    EXPECT_TRUE(NearRel(order_on_positive_line(1.25Q, 2, a * (b - 1) / (a - 1)), p, 1e-30Q));
  }
}

// Random exact power laws (3 to 5 grids, orders 0.1 to 8, constant or
// variable ratios): a converging study's U is never below 1.25 times the
// true error |Th - T0| (1.25 exactly where the observed order is below pL).
TEST(Verdict, RandomPowerLawsNeverUnderstateTheError) {
  uint64_t state = 20261208;
  auto uniform = [&] {  // in [0, 1)
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return q_from_int(static_cast<int32_t>(state >> 40)) / 16777216;
  };
  int judged = 0;
  for (int k = 0; k < 300; ++k) {
    const int n = 3 + static_cast<int>(uniform() * 3);
    const real p = 0.1Q + uniform() * 7.9Q;
    const bool variable = k % 2 == 1;
    std::vector<real> h = {1};
    for (int i = 1; i < n; ++i) h.push_back(h.back() / (variable ? 1.1Q + uniform() : 1.5Q));
    const real C = uniform() < 0.5Q ? 1 : -3;
    const std::vector<real> Th = power_law(h, 2, {{C, p}});
    Settings s;
    s.tipo_r = variable ? 2 : 1;
    const GridVerdict v = judge(h, Th, s)(n);
    if (v.convergence != Convergence::kMonotonicConvergence) continue;  // lost to rounding
    ++judged;
    const real error = q_abs(Th.back() - 2);
    ASSERT_NE(v.U, S) << "p " << q_to_string(p) << " grids " << n;
    EXPECT_TRUE(v.U >= 1.25Q * error * (1 - 1e-20Q))
        << "p " << q_to_string(p) << ": U " << q_to_string(v.U) << ", error "
        << q_to_string(error);
  }
  EXPECT_GT(judged, 250);
}

}  // namespace
}  // namespace morvantide
