// The estimation driver: which grids each list can fill for 0 to 9 grids,
// and values of one smooth case worked out independently.

#include <string>
#include <vector>

#include "core_testing.h"

namespace morvantide {
namespace {

using core_testing::StudyLists;
using core_testing::constant_ratio;
using core_testing::make_state;
using core_testing::NearRel;
using core_testing::power_law;
using core_testing::S;
using core_testing::Settings;

struct ListRange {
  const char* name;
  RealList StudyLists::*list;
  int32_t first;   // lowest grid that can hold a value
  int32_t min_nm;  // fewest grids for which the list holds any value
};

// The lists that start as the sentinel, with the first grid their stage can
// write (Um_Tm1(3) is formed at grid 4, from the third value of Tm1).  The data below converge smoothly with more terms than the true
// orders remove (pV = 2, 4, 6, ... against h^2 and h^3), so every ratio is
// positive, above 1 and nonzero, and every value in range is computed.
const ListRange kRanges[] = {
    {"pU_Th", &StudyLists::pU_Th, 3, 3},     {"psi_Th", &StudyLists::psi_Th, 3, 3},
    {"pUs_Th", &StudyLists::pUs_Th, 3, 3},   {"pU_Ti", &StudyLists::pU_Ti, 5, 5},
    {"psi_Ti", &StudyLists::psi_Ti, 5, 5},   {"pUs_Ti", &StudyLists::pUs_Ti, 5, 5},
    {"psi_Tbi", &StudyLists::psi_Tbi, 7, 7}, {"pUs_Tbi", &StudyLists::pUs_Tbi, 7, 7},
    {"psi_Tm1", &StudyLists::psi_Tm1, 4, 4}, {"pUs_Tm1", &StudyLists::pUs_Tm1, 4, 4},
    {"Um_Tm1", &StudyLists::Um_Tm1, 3, 4},   {"Tc", &StudyLists::Tc, 3, 3},
    {"Uc_Tc", &StudyLists::Uc_Tc, 3, 3},     {"Ups", &StudyLists::Ups, 3, 3},
    {"psi_Tc", &StudyLists::psi_Tc, 5, 5},   {"pUs_Tc", &StudyLists::pUs_Tc, 5, 5},
    {"UGCI_Th", &StudyLists::UGCI_Th, 2, 2}, {"Umc_Th", &StudyLists::Umc_Th, 2, 2},
    {"pGCI", &StudyLists::pGCI, 2, 2},
};

TEST(Estimativa, GridsEachListCanFill) {
  for (int nm = 0; nm <= 9; ++nm) {
    SCOPED_TRACE("nm " + std::to_string(nm));
    const std::vector<real> h = constant_ratio(0.17Q, 1.6Q, nm);
    Settings k;
    k.pL = 2;
    k.dp = 2;
    StudyLists s = make_state(h, power_law(h, 2, {{-0.5Q, 2}, {0.3Q, 3}}), k);
    core_testing::estimate_into(s);
    for (const ListRange& r : kRanges) {
      SCOPED_TRACE(r.name);
      const RealList& list = s.*(r.list);
      ASSERT_EQ(list.size(), nm);
      for (int32_t i = 1; i <= nm; ++i) {
        if (i < r.first || nm < r.min_nm) {
          EXPECT_EQ(list(i), S) << "grid " << i;
        } else {
          EXPECT_NE(list(i), S) << "grid " << i;
        }
      }
    }
  }
}

// The results of one smooth case on h = 0.17 / 1.6^(i-1):
//   psi_Th(3) = (Th2 - Th1) / (Th3 - Th2)
//             = 0.010056898023620342210053324376163
//               / 0.004035846897949522423551980149921
//             = 2.49189284874258055212926016970176...
//   pU*_Th(3) = log10(psi) / log10(1.6) = 1.94262883324782005679384321168832...
//   Tm1(2) = Ti_pL(2) = Th2 + (Th2 - Th1) / (1.6^2 - 1)
//          = 1.99978803626410086138442312016468...
// (worked with 50 significant decimal digits).
TEST(Estimativa, SmoothCaseWorkedIndependently) {
  const char* texts[] = {"1.983284408738159786988438177598672",
                         "1.993341306761780129198491501974835",
                         "1.997377153659729651622043482124756",
                         "1.998970765623590763509100917800323"};
  std::vector<real> Th;
  for (const char* t : texts) {
    real v = 0;
    ASSERT_TRUE(q_parse(t, &v));
    Th.push_back(v);
  }
  const std::vector<real> h = {0.17Q, 0.10625Q, 0.06640625Q, 0.04150390625Q};
  Settings k;
  k.pL = 2;
  k.dp = 1.5Q;
  StudyLists s = make_state(h, Th, k);
  core_testing::estimate_into(s);
  EXPECT_TRUE(NearRel(s.psi_Th(3), 2.49189284874258055212926016970176Q, 1.0e-30Q));
  EXPECT_TRUE(NearRel(s.pUs_Th(3), 1.94262883324782005679384321168832Q, 1.0e-30Q));
  EXPECT_TRUE(NearRel(s.Tm1(2), 1.99978803626410086138442312016468Q, 1.0e-31Q));
}

// The estimation is a function of the study alone: two variables of one set
// of grids, each an exact law T + C h^pL, estimated one after the other from
// one Study, give each its own limit, and the first result is not disturbed
// by the second call.  With a single error term at the true order pL, the
// extrapolation with pL and the repeated extrapolation are exact:
// Tm1(i) = T to rounding, Umc_Th(i) = T - Th(i), pV(j) = pL + (j-1) dp.
TEST(Estimativa, TwoVariablesOfOneStudy) {
  const std::vector<real> h = constant_ratio(0.5Q, 2, 6);
  Settings k;
  k.pL = 2;
  k.dp = 0.5Q;
  StudyLists s = make_state(h, power_law(h, 3, {{1, 2}}), k);
  Study first = s;
  Study second = s;
  for (int32_t i = 1; i <= s.nm; ++i) second.Th(i) = -7 + 4 * q_pow(h[i - 1], 2);
  const Estimates a = estimativa(first);
  const Estimates b = estimativa(second);
  const Estimates a_again = estimativa(first);
  const struct {
    const Estimates* e;
    const Study* study;
    real T;
  } cases[] = {{&a, &first, 3}, {&b, &second, -7}, {&a_again, &first, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE("T " + core_testing::Q(c.T));
    for (int32_t j = 1; j <= s.nm; ++j) {
      EXPECT_TRUE(core_testing::Same(c.e->pV(j), 2 + 0.5Q * (j - 1)));
    }
    for (int32_t i = 2; i <= s.nm; ++i) {
      SCOPED_TRACE("grid " + std::to_string(i));
      EXPECT_TRUE(core_testing::Near(c.e->Tm1(i), c.T, 1.0e-30Q));
      EXPECT_TRUE(core_testing::Near(c.e->Umc_Th(i), c.T - c.study->Th(i), 1.0e-30Q));
    }
  }
  for (int32_t i = 1; i <= s.nm; ++i) {
    EXPECT_TRUE(core_testing::Same(a.Tm1(i), a_again.Tm1(i)));
    EXPECT_TRUE(core_testing::Same(a.psi_Th(i), a_again.psi_Th(i)));
  }
}

}  // namespace
}  // namespace morvantide
