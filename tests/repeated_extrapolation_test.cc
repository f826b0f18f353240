// The repeated extrapolation: laws with as many terms as true orders leave
// the exact value, levels use their own order and the finest ratio, and the
// ratio, order and error of Tm1 on hand-worked dyadic sequences.

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
using core_testing::Q;
using core_testing::S;
using core_testing::Same;
using core_testing::Settings;
using core_testing::Term;

// T + c1 h^p1 + c2 h^p2 with pL = p1, dp = p2 - p1: level 2 removes both
// terms, so Tm1(i) = Tm(i, i-1) = T from grid 3 on.  At grid 2 the first
// extrapolation leaves c2 h(2)^p2 (r^p1 - r^p2) / (r^p1 - 1).
TEST(ExtrapolacaoRepetida, TwoTermLawLeavesTheExactValueFromGrid3) {
  struct Row {
    real r, T, c1, p1, c2, p2;
    int n;
  };
  const Row rows[] = {
      {2, 1, 1, 2, 1, 3, 8},
      {1.6Q, 2, -0.5Q, 2, 0.3Q, 3.5Q, 10},
      {1.3Q, -1, 0.25Q, 1, -2, 2, 12},
      {3, 5, 1, 0.5Q, 1, 1.5Q, 7},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("r " + Q(r.r) + " p1 " + Q(r.p1) + " p2 " + Q(r.p2));
    const std::vector<real> h = constant_ratio(1, r.r, r.n);
    Settings k;
    k.pL = r.p1;
    k.dp = r.p2 - r.p1;
    StudyLists s = make_state(h, power_law(h, r.T, {{r.c1, r.p1}, {r.c2, r.p2}}), k);
    core_testing::estimate_into(s);
    const real scale = q_abs(r.T) + q_abs(r.c1) + q_abs(r.c2);
    const real rp1 = q_pow(r.r, r.p1);
    const real left = r.c2 * q_pow(h[1], r.p2) * (rp1 - q_pow(r.r, r.p2)) / (rp1 - 1);
    EXPECT_TRUE(Near(s.Tm1(2), r.T + left, 1.0e-30Q * scale));
    for (int32_t i = 3; i <= s.nm; ++i) {
      SCOPED_TRACE(i);
      EXPECT_TRUE(Near(s.Tm1(i), r.T, 1.0e-28Q * scale));
      EXPECT_TRUE(Near(s.Umc_Th(i), r.T - s.Th(i), 1.0e-28Q * scale));
    }
  }
}

TEST(ExtrapolacaoRepetida, ThreeTermLawLeavesTheExactValueFromGrid4) {
  struct Row {
    real r, T;
    Term t1, t2, t3;
    int n;
  };
  const Row rows[] = {
      {2, 1, {1, 1}, {1, 2}, {1, 3}, 8},
      {1.6Q, 2, {-0.5Q, 2}, {0.3Q, 3.5Q}, {0.2Q, 5}, 10},
      {1.5Q, -3, {2, 0.5Q}, {-1, 1.25Q}, {0.5Q, 2}, 9},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("r " + Q(r.r) + " p1 " + Q(r.t1.p));
    const std::vector<real> h = constant_ratio(1, r.r, r.n);
    Settings k;
    k.pL = r.t1.p;
    k.dp = r.t2.p - r.t1.p;
    StudyLists s = make_state(h, power_law(h, r.T, {r.t1, r.t2, r.t3}), k);
    core_testing::estimate_into(s);
    const real scale = q_abs(r.T) + q_abs(r.t1.c) + q_abs(r.t2.c) + q_abs(r.t3.c);
    for (int32_t i = 4; i <= s.nm; ++i) {
      EXPECT_TRUE(Near(s.Tm1(i), r.T, 1.0e-27Q * scale)) << i;
    }
    // Grid 3 still holds the third term: not the exact value.
    EXPECT_GT(q_abs(s.Tm1(3) - r.T), 1.0e-10Q);
  }
}

// h = 8, 4, 2, 0.5: r21 = 2 at grid 3 and 4 at grid 4.  With Tm(i,1) = 0, 1,
// 2 and pV(2) = 1, pV(3) = 2: Tm(3,2) = 1 + 1/1 = 2, Tm(4,2) = 2 + 1/3 = 7/3,
// Tm(4,3) = 7/3 + (1/3)/15 = 106/45.  Swapping the orders of the levels
// would give 104/45.
TEST(ExtrapolacaoRepetida, EachLevelUsesItsOwnOrderAndTheFinestRatio) {
  StudyLists s = make_state({8, 4, 2, 0.5Q}, {});
  s.pV(1) = 0;
  s.pV(2) = 1;
  s.pV(3) = 2;
  s.Ti_pL(2) = 0;
  s.Ti_pL(3) = 1;
  s.Ti_pL(4) = 2;
  extrapolacao_repetida(s, s);
  EXPECT_TRUE(Same(s.Tm1(2), 0));
  EXPECT_TRUE(Matches(s.Tm1(3), 2));
  EXPECT_TRUE(Matches(s.Tm1(4), 106.0Q / 45));
}

// With pV(j) = 1e6 for every level r21^pV overflows, each level adds a zero
// correction and Tm1(i) = Ti_pL(i): the sequence Tm1 is set by hand on grids
// h = 16, 8, 4, 2, 1 (r21 = 2).
TEST(ExtrapolacaoRepetida, RatioOrderAndErrorOfTm1) {
  struct Row {
    const char* name;
    std::vector<real> tm1;  // grids 2..nm
    std::vector<real> psi, pUs, Um;  // grids 1..nm
  };
  const real quarter_over = 0.25Q / (4 / S - 1);  // Um(4) with psi_Tm1(3) = 1e11
  const Row rows[] = {
      {"nm 4 converging: Um(4) uses psi_Tm1(3) = sentinel",
       {1, 1.5Q, 1.75Q},
       {S, S, S, 2},
       {S, S, S, 1},
       {S, S, 0.5Q, quarter_over}},
      {"nm 5 converging",
       {1, 1.5Q, 1.75Q, 1.875Q},
       {S, S, S, 2, 2},
       {S, S, S, 1, 1},
       {S, S, 0.5Q, 0.25Q, 0.125Q}},
      {"zero later difference", {1, 1.5Q, 1.5Q}, {S, S, S, S}, {S, S, S, S}, {S, S, S, S}},
      {"psi 0: stored, no order, no Um", {1, 1, 1.5Q}, {S, S, S, 0}, {S, S, S, S}, {S, S, S, S}},
      {"psi 1: order 0, no Um", {1, 1.5Q, 2}, {S, S, S, 1}, {S, S, S, 0}, {S, S, S, S}},
      {"psi -1: order 0, no Um", {1, 1.5Q, 1}, {S, S, S, -1}, {S, S, S, 0}, {S, S, S, S}},
      {"oscillating, psi -2",
       {1, 1.5Q, 1.25Q},
       {S, S, S, -2},
       {S, S, S, 1},
       {S, S, 0.5Q / -3, -quarter_over}},
      // psi_e = 2^2 / psi_Tm1(4) = 4 / 0 = infinity, so Um(5) = 0.
      {"psi_Tm1(nm-1) = 0",
       {1, 1, 1.5Q, 1.75Q},
       {S, S, S, 0, 2},
       {S, S, S, S, 1},
       {S, S, S, 0.5Q, 0}},
      {"stalling at the last grid",
       {1, 1.5Q, 1.75Q, 1.75Q},
       {S, S, S, 2, S},
       {S, S, S, 1, S},
       {S, S, 0.5Q, S, S}},
      {"nm 3: nothing", {1, 1.5Q}, {S, S, S}, {S, S, S}, {S, S, S}},
      {"nm 2: nothing", {1}, {S, S}, {S, S}, {S, S}},
      {"nm 1: nothing", {}, {S}, {S}, {S}},
      {"nm 0: nothing", {}, {}, {}, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const int nm = static_cast<int>(r.psi.size());
    const std::vector<real> all_h = {16, 8, 4, 2, 1};
    StudyLists s = make_state(std::vector<real>(all_h.begin(), all_h.begin() + nm), {});
    for (int32_t j = 1; j <= nm; ++j) s.pV(j) = 1.0e6Q;
    for (int32_t i = 2; i <= nm; ++i) s.Ti_pL(i) = r.tm1[i - 2];
    extrapolacao_repetida(s, s);
    for (int32_t i = 1; i <= nm; ++i) {
      SCOPED_TRACE(i);
      if (i >= 2) {
        EXPECT_TRUE(Same(s.Tm1(i), r.tm1[i - 2]));
      }
      EXPECT_TRUE(Matches(s.psi_Tm1(i), r.psi[i - 1]));
      EXPECT_TRUE(Matches(s.pUs_Tm1(i), r.pUs[i - 1]));
      EXPECT_TRUE(Matches(s.Um_Tm1(i), r.Um[i - 1]));
    }
  }
}

}  // namespace
}  // namespace morvantide
