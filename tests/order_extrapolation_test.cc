// Ratios and observed orders of Th, the single extrapolations and the
// bi-extrapolation: exact power laws, and hand-worked gating and sentinel
// cases on dyadic values (spacing ratio 2), whose arithmetic is exact.

#include <vector>

#include "core_testing.h"

namespace morvantide {
namespace {

using core_testing::StudyLists;
using core_testing::constant_ratio;
using core_testing::make_state;
using core_testing::Matches;
using core_testing::NearRel;
using core_testing::power_law;
using core_testing::Q;
using core_testing::S;
using core_testing::Same;
using core_testing::Settings;

const real kNaN = nanq("");
const real kInf = __builtin_infq();

TEST(OrdensTh, ExactPowerLawWithConstantRatio) {
  struct Row {
    real r, p, T, C;
    int n;
  };
  const Row rows[] = {
      {2, 2, 1, 1, 8},
      {1.6Q, 2, 2, -0.5Q, 10},
      {1.3Q, 1.5Q, -3, 0.7Q, 12},
      {3, 0.5Q, 10, 2, 6},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("r " + Q(r.r) + " p " + Q(r.p));
    const std::vector<real> h = constant_ratio(1, r.r, r.n);
    Settings k;
    k.pL = r.p;
    StudyLists s = make_state(h, power_law(h, r.T, {{r.C, r.p}}), k);
    ordem_extrapolacao(s, s);
    const real scale = q_abs(r.T) + q_abs(r.C);
    for (int32_t i = 3; i <= s.nm; ++i) {
      SCOPED_TRACE(i);
      EXPECT_TRUE(NearRel(s.psi_Th(i), q_pow(r.r, r.p), 1.0e-28Q));
      EXPECT_TRUE(NearRel(s.pU_Th(i), r.p, 1.0e-28Q));
      EXPECT_TRUE(NearRel(s.pUs_Th(i), r.p, 1.0e-28Q));
      EXPECT_TRUE(core_testing::Near(s.Ti_pU(i), r.T, 1.0e-28Q * scale));
      EXPECT_TRUE(core_testing::Near(s.Ti_pUs(i), r.T, 1.0e-28Q * scale));
    }
    for (int32_t i = 2; i <= s.nm; ++i) {
      EXPECT_TRUE(core_testing::Near(s.Ti_pL(i), r.T, 1.0e-28Q * scale)) << i;
    }
  }
}

// Spacings 1, 1/1.5, 1/(1.5 1.7), ... with ratios that change every grid.
std::vector<real> variable_ratio(int n) {
  const real ratios[] = {1.5Q, 1.7Q, 1.43Q, 1.56Q, 2.1Q, 1.25Q, 1.9Q, 1.33Q};
  std::vector<real> h = {1};
  for (int i = 1; i < n; ++i) h.push_back(h.back() / ratios[(i - 1) % 8]);
  return h;
}

TEST(OrdensTh, VariableRatioRecoversTheOrderByBisection) {
  const real rows[] = {2, 1.25Q, 3.7Q};
  for (real p : rows) {
    SCOPED_TRACE("p " + Q(p));
    const std::vector<real> h = variable_ratio(9);
    Settings k;
    k.pL = p;
    k.tipo_r = 2;
    k.itmax = 200;
    k.tol = 1.0e-20Q;
    StudyLists s = make_state(h, power_law(h, 1, {{0.5Q, p}}), k);
    ordem_extrapolacao(s, s);
    for (int32_t i = 3; i <= s.nm; ++i) {
      SCOPED_TRACE(i);
      EXPECT_LE(q_abs(s.pU_Th(i) - p), k.tol) << Q(s.pU_Th(i));
      // No order from the absolute ratio with a variable ratio; Ti_pUs is
      // then Th itself (r21^1e11 overflows and the correction vanishes).
      EXPECT_TRUE(Same(s.pUs_Th(i), S));
      EXPECT_TRUE(Same(s.Ti_pUs(i), s.Th(i)));
      EXPECT_TRUE(core_testing::Near(s.Ti_pU(i), 1, 1.0e-18Q));
      if (i >= 5) {
        EXPECT_TRUE(Same(s.psi_Ti(i), s.psi_Th(i)));
      }
    }
  }
}

// Three grids h = 4, 2, 1: psi = (Th(2) - Th(1)) / (Th(3) - Th(2)).
TEST(OrdensTh, RatioAndOrdersAtOneGrid) {
  struct Row {
    const char* name;
    real th1, th2, th3;
    int32_t tipo_r, itmax;
    real psi, pU, pUs;
  };
  const Row rows[] = {
      {"converging, psi 4", 0, 1, 1.25Q, 1, 50, 4, 2, 2},
      {"oscillating, psi -4: no pU", 1, 0, 0.25Q, 1, 50, -4, S, 2},
      {"diverging, psi 1/4: negative orders", 1, 1.25Q, 2.25Q, 1, 50, 0.25Q, -2, -2},
      {"psi exactly 1: orders 0", 1, 2, 3, 1, 50, 1, 0, 0},
      {"psi exactly -1", 1, 2, 1, 1, 50, -1, S, 0},
      {"zero later difference: nothing", 1, 2, 2, 1, 50, S, S, S},
      {"zero earlier difference: psi 0, no order", 2, 2, 3, 1, 50, 0, S, S},
      {"tipo_r 0: psi only", 0, 1, 1.25Q, 0, 50, 4, S, S},
      {"tipo_r 3: psi only", 0, 1, 1.25Q, 3, 50, 4, S, S},
      {"tipo_r 2: pU by bisection, no pU*", 0, 1, 1.25Q, 2, 50, 4, 2, S},
      {"tipo_r 2, itmax -1: pU keeps the sentinel", 0, 1, 1.25Q, 2, -1, 4, S, S},
      {"tipo_r 2, oscillating: no bisection", 1, 0, 0.25Q, 2, 50, -4, S, S},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Settings k;
    k.tipo_r = r.tipo_r;
    k.itmax = r.itmax;
    StudyLists s = make_state({4, 2, 1}, {r.th1, r.th2, r.th3}, k);
    s.pU_Th.fill(7);  // the stage refills it
    ordens_Th(s, s);
    EXPECT_TRUE(Same(s.psi_Th(3), r.psi));
    // The bisection settles within tol = 1e-10 of the root.
    EXPECT_TRUE(Matches(s.pU_Th(3), r.pU, r.tipo_r == 2 ? 1.0e-10Q : 1.0e-30Q));
    EXPECT_TRUE(Matches(s.pUs_Th(3), r.pUs));
    for (int32_t i = 1; i <= 2; ++i) {
      EXPECT_TRUE(Same(s.pU_Th(i), S));
      EXPECT_TRUE(Same(s.psi_Th(i), S));
      EXPECT_TRUE(Same(s.pUs_Th(i), S));
    }
  }
}

TEST(OrdensTh, FewerThanThreeGridsLeaveEverySentinel) {
  for (int nm = 0; nm <= 2; ++nm) {
    SCOPED_TRACE(nm);
    std::vector<real> h(nm, 1), Th(nm, 0);
    for (int i = 0; i < nm; ++i) {
      h[i] = q_pow(2, q_from_int(-i));
      Th[i] = h[i];
    }
    StudyLists s = make_state(h, Th);
    s.pU_Th.fill(7);
    ordens_Th(s, s);
    ASSERT_EQ(s.pU_Th.size(), nm);
    for (int32_t i = 1; i <= nm; ++i) {
      EXPECT_TRUE(Same(s.pU_Th(i), S));
      EXPECT_TRUE(Same(s.psi_Th(i), S));
      EXPECT_TRUE(Same(s.pUs_Th(i), S));
    }
  }
}

// Grids h = 4, 2, 1 (r21 = 2), Th(2) = 1, Th(3) = 1.25, orders of Th set by
// hand: the difference 0.25 is divided by 2^p - 1.
TEST(ExtrapolacaoSimples, OrdersOfThGateTheExtrapolations) {
  struct Row {
    const char* name;
    real pU, pUs, Ti_pU, Ti_pUs;
  };
  const real third = 1.25Q + 0.25Q / 3;  // order 2
  const Row rows[] = {
      {"both orders 2", 2, 2, third, third},
      {"pU 2, pU* 1", 2, 1, third, 1.5Q},
      {"pU 0 blocks Ti_pU only", 0, 1, S, 1.5Q},
      {"negative pU blocks Ti_pU only", -1, 1, S, 1.5Q},
      {"sentinel pU blocks both", S, 1, S, S},
      {"pU above 1e10 blocks both", 1.0000001e10Q, 1, S, S},
      {"pU exactly 1e10 is usable: 2^1e10 overflows", 1.0e10Q, 1, 1.25Q, 1.5Q},
      {"sentinel pU* still enters: Ti_pU* = Th", 2, S, third, 1.25Q},
      {"pU* 0 divides by zero", 0, 0, S, kInf},
      {"NaN pU passes both tests", kNaN, 1, kNaN, 1.5Q},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    StudyLists s = make_state({4, 2, 1}, {0, 1, 1.25Q});
    s.pU_Th(3) = r.pU;
    s.pUs_Th(3) = r.pUs;
    extrapolacao_simples(s, s);
    EXPECT_TRUE(Matches(s.Ti_pL(2), 1 + 1.0Q / 3));
    EXPECT_TRUE(Matches(s.Ti_pL(3), third));
    EXPECT_TRUE(Matches(s.Ti_pU(3), r.Ti_pU));
    EXPECT_TRUE(Matches(s.Ti_pUs(3), r.Ti_pUs));
  }
}

// Five grids h = 16..1 with pU_Th = pU*_Th = 1, so Ti(i) = 2 Th(i) - Th(i-1)
// exactly; Th is solved from the wanted Ti(3..5), Th(2) = 0.
StudyLists state_with_single_extrapolations(real ti3, real ti4, real ti5, const Settings& k) {
  const real ti[] = {ti3, ti4, ti5};
  std::vector<real> Th = {0, 0};
  for (real t : ti) Th.push_back(t == S ? 0 : (t + Th.back()) / 2);
  StudyLists s = make_state({16, 8, 4, 2, 1}, Th, k);
  for (int32_t i = 3; i <= 5; ++i) {
    s.pU_Th(i) = ti[i - 3] == S ? S : 1;  // the sentinel blocks both
    s.pUs_Th(i) = 1;
  }
  return s;
}

TEST(ExtrapolacaoSimples, RatiosAndOrdersOfTheExtrapolatedSequences) {
  struct Row {
    const char* name;
    real ti3, ti4, ti5;
    int32_t tipo_r;
    real pU_max;
    real pU_Ti, psi_Ti, pUs_Ti;
  };
  const real log2 = q_log10(2);
  const Row rows[] = {
      {"converging, psi 2", 1, 1.5Q, 1.75Q, 1, 5, 1, 2, 1},
      {"tipo_r 0: no pU", 1, 1.5Q, 1.75Q, 0, 5, S, 2, 1},
      {"tipo_r 2: pU by bisection", 1, 1.5Q, 1.75Q, 2, 5, 1, 2, 1},
      {"oscillating, psi -2", 1, 1.5Q, 1.25Q, 1, 5, S, -2, 1},
      {"zero earlier difference: psi 0 not stored", 1, 1, 1.5Q, 1, 5, S, S, S},
      // psi1 = 1e11 counts as positive: log10(1e11) / log10(2).
      {"zero later difference", 1, 1.5Q, 1.5Q, 1, 5, 11 / log2, S, S},
      {"zero later difference, tipo_r 2: root beyond pU_max", 1, 1.5Q, 1.5Q, 2, 5, S, S, S},
      {"zero later difference, tipo_r 2: root inside", 1, 1.5Q, 1.5Q, 2, 50, 11 / log2, S, S},
      // Ti(3) = 1e11 enters the difference: psi = (1 - 1e11) / 0.5.
      {"sentinel entering the ratio", S, 1, 1.5Q, 1, 5, S, -199999999998.0Q,
       q_log10(199999999998.0Q) / log2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Settings k;
    k.tipo_r = r.tipo_r;
    k.pU_max = r.pU_max;
    StudyLists s = state_with_single_extrapolations(r.ti3, r.ti4, r.ti5, k);
    s.pU_Ti.fill(7);  // both are refilled by the stage
    s.pUs_Ti.fill(7);
    extrapolacao_simples(s, s);
    ASSERT_TRUE(Same(s.Ti_pUs(5), r.ti5));
    EXPECT_TRUE(Matches(s.pU_Ti(5), r.pU_Ti, r.tipo_r == 2 ? 1.0e-10Q : 1.0e-30Q));
    EXPECT_TRUE(Matches(s.psi_Ti(5), r.psi_Ti));
    EXPECT_TRUE(Matches(s.pUs_Ti(5), r.pUs_Ti));
    for (int32_t i = 1; i <= 4; ++i) {
      EXPECT_TRUE(Same(s.pU_Ti(i), S));
      EXPECT_TRUE(Same(s.psi_Ti(i), S));
      EXPECT_TRUE(Same(s.pUs_Ti(i), S));
    }
  }
}

TEST(ExtrapolacaoSimples, FewerThanFiveGridsLeaveTheOrdersAtTheSentinel) {
  for (int nm = 0; nm <= 4; ++nm) {
    SCOPED_TRACE(nm);
    const std::vector<real> h = constant_ratio(1, 2, nm);
    StudyLists s = make_state(h, power_law(h, 1, {{1, 2}}));
    ordens_Th(s, s);
    s.pU_Ti.fill(7);
    s.pUs_Ti.fill(7);
    extrapolacao_simples(s, s);
    for (int32_t i = 1; i <= nm; ++i) {
      EXPECT_TRUE(Same(s.pU_Ti(i), S));
      EXPECT_TRUE(Same(s.pUs_Ti(i), S));
      EXPECT_TRUE(Same(s.psi_Ti(i), S));
    }
    if (nm >= 2) {
      EXPECT_TRUE(Matches(s.Ti_pL(nm), 1, 1.0e-30Q));
    }
  }
}

// Grid 5 of h = 16..1 (r21 = 2) with Ti_pU*(4) = 1, Ti_pU*(5) = 1.25.
TEST(Biextrapolacao, OrderOfTiGatesTheSecondExtrapolation) {
  struct Row {
    const char* name;
    real pU_Ti, pUs_Ti, Tbi;
  };
  const Row rows[] = {
      {"both orders 2", 2, 2, 1.25Q + 0.25Q / 3},
      {"pU 2, pU* 1", 2, 1, 1.5Q},
      {"pU exactly 0 leaves the sentinel", 0, 1, S},
      {"negative pU: formed with pU*", -1, 1, 1.5Q},
      {"sentinel pU", S, 1, S},
      {"pU above 1e10", 2.0e10Q, 1, S},
      {"pU exactly 1e10 is usable", 1.0e10Q, 1, 1.5Q},
      {"sentinel pU*: Tbi = Ti_pU*", 2, S, 1.25Q},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    StudyLists s = make_state({16, 8, 4, 2, 1}, {});
    s.Ti_pUs(4) = 1;
    s.Ti_pUs(5) = 1.25Q;
    s.pU_Ti(5) = r.pU_Ti;
    s.pUs_Ti(5) = r.pUs_Ti;
    biextrapolacao(s, s);
    EXPECT_TRUE(Matches(s.Tbi_pUs(5), r.Tbi));
  }
}

// Seven grids h = 64..1 with pU_Ti = pU*_Ti = 1 at grids 5..7, so
// Tbi(i) = 2 Ti_pU*(i) - Ti_pU*(i-1); Ti_pU* is solved from the wanted Tbi.
TEST(Biextrapolacao, RatioAndOrderOfTheBiExtrapolation) {
  struct Row {
    const char* name;
    real tbi5, tbi6, tbi7, psi, pUs;
  };
  const Row rows[] = {
      {"converging, psi 2", 1, 1.5Q, 1.75Q, 2, 1},
      {"oscillating, psi -2", 1, 1.5Q, 1.25Q, -2, 1},
      {"psi 0 is stored, no order", 1, 1, 1.5Q, 0, S},
      {"zero later difference: sentinel stored", 1, 1.5Q, 1.5Q, S, S},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    StudyLists s = make_state({64, 32, 16, 8, 4, 2, 1}, {});
    s.pUs_Tbi.fill(7);  // refilled by the stage
    const real tbi[] = {r.tbi5, r.tbi6, r.tbi7};
    s.Ti_pUs(4) = 0;
    for (int32_t i = 5; i <= 7; ++i) {
      s.Ti_pUs(i) = (tbi[i - 5] + s.Ti_pUs(i - 1)) / 2;
      s.pU_Ti(i) = 1;
      s.pUs_Ti(i) = 1;
    }
    biextrapolacao(s, s);
    ASSERT_TRUE(Same(s.Tbi_pUs(7), r.tbi7));
    EXPECT_TRUE(Matches(s.psi_Tbi(7), r.psi));
    EXPECT_TRUE(Matches(s.pUs_Tbi(7), r.pUs));
    for (int32_t i = 1; i <= 6; ++i) {
      EXPECT_TRUE(Same(s.psi_Tbi(i), S));
      EXPECT_TRUE(Same(s.pUs_Tbi(i), S));
    }
  }
}

TEST(Biextrapolacao, SentinelOfAMissingValueEntersTheRatio) {
  StudyLists s = make_state({64, 32, 16, 8, 4, 2, 1}, {});
  const real ti[] = {0, 0.5Q, 1, 1.25Q};  // Ti_pU*(4..7)
  for (int32_t i = 4; i <= 7; ++i) s.Ti_pUs(i) = ti[i - 4];
  for (int32_t i = 5; i <= 7; ++i) {
    s.pU_Ti(i) = 1;
    s.pUs_Ti(i) = 1;
  }
  s.pU_Ti(6) = 0;  // Tbi(6) = sentinel
  biextrapolacao(s, s);
  ASSERT_TRUE(Same(s.Tbi_pUs(5), 1));
  ASSERT_TRUE(Same(s.Tbi_pUs(6), S));
  ASSERT_TRUE(Same(s.Tbi_pUs(7), 1.5Q));
  const real psi = (S - 1) / (1.5Q - S);
  EXPECT_TRUE(Same(s.psi_Tbi(7), psi));
  EXPECT_TRUE(Matches(s.pUs_Tbi(7), q_log10(q_abs(psi)) / q_log10(2)));
}

TEST(Biextrapolacao, FewerThanSevenGridsLeaveRatioAndOrderAtTheSentinel) {
  for (int nm = 0; nm <= 6; ++nm) {
    SCOPED_TRACE(nm);
    const std::vector<real> h = constant_ratio(1, 2, nm);
    StudyLists s = make_state(h, power_law(h, 1, {{1, 2}, {1, 3}}));
    ordens_Th(s, s);
    extrapolacao_simples(s, s);
    s.pUs_Tbi.fill(7);
    biextrapolacao(s, s);
    for (int32_t i = 1; i <= nm; ++i) {
      EXPECT_TRUE(Same(s.psi_Tbi(i), S));
      EXPECT_TRUE(Same(s.pUs_Tbi(i), S));
    }
  }
}

}  // namespace
}  // namespace morvantide
