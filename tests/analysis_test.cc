// The analysis of one variable: the worked example of core/analysis.h, and
// the least-squares results it computes for each need.
#include "core/analysis.h"

#include <gtest/gtest.h>

#include <vector>

#include "core_testing.h"

namespace morvantide {
namespace {

using core_testing::Near;
using core_testing::S;
using core_testing::StudyLists;

// Th = 1 + h^2 on h = 0.4, 0.2, 0.1, 0.05 (and 0.025 with `fifth`) with
// pL = 2, dp = 1.
StudyLists worked_example(bool fifth = false) {
  std::vector<real> h = {0.4Q, 0.2Q, 0.1Q, 0.05Q};
  if (fifth) h.push_back(0.025Q);
  std::vector<real> Th;
  for (real x : h) Th.push_back(1 + x * x);
  core_testing::Settings k;
  k.pL = 2;
  k.dp = 1;
  return core_testing::make_state(h, Th, k);
}

TEST(Analyse, WorkedExample) {
  const StudyLists s = worked_example();
  AnalysisSettings settings;
  settings.least_squares = LeastSquaresNeed::kEveryGrid;
  const Analysis a = analyse(s, tabela_malhas(s.h), settings);
  EXPECT_TRUE(Near(a.e.psi_Th(4), 4, 1.0e-30Q));
  EXPECT_TRUE(Near(a.e.pUs_Th(4), 2, 1.0e-30Q));
  EXPECT_TRUE(Near(a.e.Tm1(4), 1, 1.0e-30Q));
  EXPECT_TRUE(Near(a.e.UGCI_Th(4), 0.003125Q, 1.0e-32Q));
  EXPECT_EQ(a.verdict(4).convergence, Convergence::kMonotonicConvergence);
  EXPECT_EQ(a.number, 0);
  EXPECT_EQ(a.name, "");
  EXPECT_TRUE(a.grids.r21(2) == 2 && a.grids.r21(4) == 2);
  ASSERT_EQ(a.ls.size(), 4u);
  EXPECT_TRUE(a.ls[2].U_LS == S && a.ls[3].U_LS != S);
}

// Each need gives the results it names, the same bits with a shared plan
// as with the analysis's own.
TEST(Analyse, LeastSquaresAsNeeded) {
  const StudyLists s = worked_example(true);
  const GridTable grids = tabela_malhas(s.h);
  const LeastSquaresPlan plan(grid_sizes(s));
  struct Case {
    LeastSquaresNeed need;
    size_t entries;
    bool every_grid;  // grid 4 computed too, not only grid 5
  } cases[] = {
      {LeastSquaresNeed::kNone, 0, false},
      {LeastSquaresNeed::kFinest, 5, false},
      {LeastSquaresNeed::kEveryGrid, 5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.need));
    for (const LeastSquaresPlan* shared : {static_cast<const LeastSquaresPlan*>(nullptr), &plan}) {
      AnalysisSettings settings;
      settings.least_squares = c.need;
      settings.plan = shared;
      const Analysis a = analyse(s, grids, settings);
      ASSERT_EQ(a.ls.size(), c.entries);
      if (c.entries == 0) continue;
      EXPECT_NE(a.ls[4].U_LS, S);
      EXPECT_EQ(a.ls[3].U_LS != S, c.every_grid);
      EXPECT_EQ(a.ls[2].U_LS, S);  // grid 3 is before the first
    }
  }
}

}  // namespace
}  // namespace morvantide
