// The convergent estimate and the error estimators of Th, on hand-worked
// dyadic grids (ratio 2) with the ratios and orders of Th set directly, and
// on an exact power law through the whole estimation.

#include <vector>

#include "core_testing.h"

namespace morvantide {
namespace {

using core_testing::StudyLists;
using core_testing::constant_ratio;
using core_testing::make_state;
using core_testing::Matches;
using core_testing::Near;
using core_testing::power_law;
using core_testing::S;
using core_testing::Same;
using core_testing::Settings;

const real kNaN = nanq("");
const real kInf = __builtin_infq();

TEST(EstimativaConvergente, TwoGrids) {
  // Upl(2) = 0.25 / (2^2 - 1); safety factor 3 at grid 2.
  StudyLists s = make_state({2, 1}, {1, 1.25Q});
  s.Tm1(2) = 1.5Q;
  estimativa_convergente(s, s);
  EXPECT_TRUE(Matches(s.UGCI_Th(2), 0.25Q));
  EXPECT_TRUE(Same(s.Umc_Th(2), 0.25Q));
  for (int32_t i = 1; i <= 2; ++i) {
    EXPECT_TRUE(Same(s.Tc(i), S));
    EXPECT_TRUE(Same(s.Uc_Tc(i), S));
    EXPECT_TRUE(Same(s.psi_Tc(i), S));
    EXPECT_TRUE(Same(s.pUs_Tc(i), S));
  }
  EXPECT_TRUE(Same(s.UGCI_Th(1), S));
  EXPECT_TRUE(Same(s.Umc_Th(1), S));
}

// Grid 3 of h = 4, 2, 1 with Th(2) = 1, Th(3) = 1.5 (d = 0.5), pL = 2,
// pU*_Th = 1, pU_Th = 2, Tm1(3) = 2:
//   Upl = 0.5/3 = 1/6, Tpl = 5/3, Ups = 0.5/1, Tps = 2, Tc = 11/6,
//   Uc = |1/6 - 1/2| / 2 = 1/6, UGCI = 1.25 |0.5/3|, Umc = 0.5.
StudyLists grid3_state(real psi_Th) {
  StudyLists s = make_state({4, 2, 1}, {0, 1, 1.5Q});
  s.psi_Th(3) = psi_Th;
  s.pUs_Th(3) = 1;
  s.pU_Th(3) = 2;
  s.Tm1(2) = 1;
  s.Tm1(3) = 2;
  return s;
}

TEST(EstimativaConvergente, ConvergenceOfThGatesTcUcAndUGCI) {
  struct Row {
    const char* name;
    real psi_Th;
    bool converges;
  };
  const Row rows[] = {
      {"psi 2", 2, true},
      {"psi -2 (oscillating)", -2, true},
      {"psi 1e12", 1.0e12Q, true},
      {"psi infinite", kInf, true},
      {"psi 1", 1, false},
      {"psi -1", -1, false},
      {"psi 0.5", 0.5Q, false},
      {"psi 0", 0, false},
      {"psi sentinel", S, false},
      {"psi NaN", kNaN, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    StudyLists s = grid3_state(r.psi_Th);
    estimativa_convergente(s, s);
    EXPECT_TRUE(Matches(s.Upl(3), 1.0Q / 6));
    EXPECT_TRUE(Matches(s.Tpl(3), 5.0Q / 3));
    EXPECT_TRUE(Same(s.Umc_Th(3), 0.5Q));
    EXPECT_TRUE(Matches(s.Tc(3), r.converges ? 11.0Q / 6 : S));
    EXPECT_TRUE(Matches(s.Uc_Tc(3), r.converges ? 1.0Q / 6 : S));
    EXPECT_TRUE(Matches(s.UGCI_Th(3), r.converges ? 1.25Q * (0.5Q / 3) : S));
    EXPECT_TRUE(Same(s.Ups(3), r.converges ? 0.5Q : S));
  }
}

TEST(EstimativaConvergente, OrderOfTheGridConvergenceIndex) {
  struct Row {
    real pU_Th, pL, pGCI;
  };
  const Row rows[] = {
      {3, 2, 2},       {1.5Q, 2, 1.5Q},     {2, 2, 2},     {S, 2, 2},       {0, 2, 2},
      {-1, 2, 2},      {2.0e10Q, 2, 2},     {2.0e11Q, 2, 2}, {kNaN, 2, 2}, {0.75Q, 1, 0.75Q},
      {99999999999.0Q, 3, 3}, {5.0e10Q, 6.0e10Q, 5.0e10Q},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("pU_Th " + core_testing::Q(r.pU_Th) + " pL " + core_testing::Q(r.pL));
    StudyLists s = grid3_state(2);
    s.pL = r.pL;
    s.pV(1) = r.pL;
    s.pU_Th(3) = r.pU_Th;
    estimativa_convergente(s, s);
    EXPECT_TRUE(Same(s.pGCI(3), r.pGCI));
    EXPECT_TRUE(Matches(s.UGCI_Th(3), 1.25Q * (0.5Q / (q_pow(2, r.pGCI) - 1))));
  }
}

TEST(EstimativaConvergente, SentinelOrderOfTh) {
  // r21 = 2: 2^1e11 overflows, Ups = 0, Tps = Th, Tc = (Tpl + Th) / 2.
  StudyLists s = grid3_state(2);
  s.pUs_Th(3) = S;
  estimativa_convergente(s, s);
  EXPECT_TRUE(Same(s.Ups(3), 0));
  EXPECT_TRUE(Same(s.Tps(3), 1.5Q));
  EXPECT_TRUE(Matches(s.Tc(3), 19.0Q / 12));
  EXPECT_TRUE(Matches(s.Uc_Tc(3), 1.0Q / 12));

  // r21 = 1/2: 0.5^1e11 underflows, Ups = -d, Tps = Th(2);
  // Upl = 0.5 / (0.25 - 1) = -2/3, Tpl = 5/6, Tc = 11/12, Uc = 1/12.
  StudyLists t = make_state({1, 2, 4}, {0, 1, 1.5Q});
  t.psi_Th(3) = 2;
  t.pUs_Th(3) = S;
  t.pU_Th(3) = S;
  estimativa_convergente(t, t);
  EXPECT_TRUE(Same(t.Ups(3), -0.5Q));
  EXPECT_TRUE(Same(t.Tps(3), 1));
  EXPECT_TRUE(Matches(t.Tc(3), 11.0Q / 12));
  EXPECT_TRUE(Matches(t.Uc_Tc(3), 1.0Q / 12));
}

// Five grids h = 16..1, pL = 1, psi_Th = 2 and pU*_Th = sentinel, so that
// Upl = d, Ups = 0 and Tc(i) = Th(i) + d(i)/2 exactly.
TEST(EstimativaConvergente, RatioAndOrderOfTc) {
  struct Row {
    const char* name;
    std::vector<real> th;
    real psi_Th3;
    real psi_Tc5, pUs_Tc5;
  };
  const Row rows[] = {
      // Tc = 1.5, 1.75, 1.875 at grids 3..5.
      {"converging, psi 2", {0, 0, 1, 1.5Q, 1.75Q}, 2, 2, 1},
      // Tc(3) is the sentinel and enters as a number: (1.75 - 1e11) / 0.125.
      {"sentinel Tc(3) enters the ratio",
       {0, 0, 1, 1.5Q, 1.75Q},
       0.5Q,
       (1.75Q - S) / 0.125Q,
       q_log10(q_abs((1.75Q - S) / 0.125Q)) / q_log10(2)},
      // Tc = 1.5, 1, 1: no ratio, and the order is set to the sentinel.
      {"zero later difference", {0, 0, 1, 1, 1}, 2, S, S},
      // Tc = 1.75, 1.75, 1.875: ratio 0 stored, order the sentinel.
      {"zero earlier difference", {0, -0.5Q, 1, 1.5Q, 1.75Q}, 2, 0, S},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Settings k;
    k.pL = 1;
    StudyLists s = make_state({16, 8, 4, 2, 1}, r.th, k);
    for (int32_t i = 3; i <= 5; ++i) {
      s.psi_Th(i) = 2;
      s.pUs_Th(i) = S;
      s.pU_Th(i) = 1;
    }
    s.psi_Th(3) = r.psi_Th3;
    for (int32_t i = 2; i <= 5; ++i) s.Tm1(i) = 0;
    s.pUs_Tc(5) = 7;  // written in every case
    estimativa_convergente(s, s);
    EXPECT_TRUE(Matches(s.psi_Tc(5), r.psi_Tc5));
    EXPECT_TRUE(Matches(s.pUs_Tc(5), r.pUs_Tc5));
    for (int32_t i = 1; i <= 4; ++i) {
      EXPECT_TRUE(Same(s.psi_Tc(i), S));
      EXPECT_TRUE(Same(s.pUs_Tc(i), S));
    }
  }
}

// Th = 1 + h^2, r = 2, pL = 2: Upl is the true error, Tpl = 1, and the index
// is 1.25 |Upl| from grid 3 (3 |Upl| at grid 2).
TEST(EstimativaConvergente, ExactQuadraticLaw) {
  const std::vector<real> h = constant_ratio(1, 2, 7);
  StudyLists s = make_state(h, power_law(h, 1, {{1, 2}}));
  core_testing::estimate_into(s);
  for (int32_t i = 2; i <= s.nm; ++i) {
    SCOPED_TRACE(i);
    const real error = 1 - s.Th(i);
    EXPECT_TRUE(Near(s.Upl(i), error, 1.0e-32Q));
    EXPECT_TRUE(Near(s.Tpl(i), 1, 1.0e-32Q));
    EXPECT_TRUE(Near(s.Umc_Th(i), error, 1.0e-32Q));
    const real factor = i == 2 ? 3 : 1.25Q;
    EXPECT_TRUE(Near(s.UGCI_Th(i), factor * q_abs(error), 1.0e-30Q * q_abs(error)));
    if (i >= 3) {
      EXPECT_TRUE(Near(s.Tc(i), 1, 1.0e-32Q));
      EXPECT_TRUE(Near(s.Uc_Tc(i), 0, 1.0e-32Q));
    }
  }
}

}  // namespace
}  // namespace morvantide
