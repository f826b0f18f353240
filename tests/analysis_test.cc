// The analysis of one variable: the worked example of core/analysis.h, and
// the least-squares results it computes for each need.
#include "core/analysis.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
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

// The verdict judges the grids asked for; the finest grid's figures are the
// same bits whether every grid or the finest alone is judged (a variable
// ratio: each grid's observed order is a search of its own).
TEST(Analyse, VerdictsAsNeeded) {
  StudyLists s = worked_example(true);
  s.h(5) = 0.03Q;
  s.Th(5) = 1 + s.h(5) * s.h(5);
  s.tipo_r = 2;
  const GridTable grids = tabela_malhas(s.h);
  AnalysisSettings every;
  const Analysis all = analyse(s, grids, every);
  ASSERT_NE(all.verdict(4).p_observed, S);
  ASSERT_NE(all.finest.verdict.p_observed, S);
  struct Case {
    VerdictNeed need;
    bool finest, grid_4;  // judged
  } cases[] = {
      {VerdictNeed::kNone, false, false},
      {VerdictNeed::kFinest, true, false},
      {VerdictNeed::kEveryGrid, true, true},
  };
  auto same = [](real a, real b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.need));
    AnalysisSettings settings;
    settings.verdicts = c.need;
    const Analysis a = analyse(s, grids, settings);
    EXPECT_EQ(a.verdict(4).convergence != Convergence::kUndetermined, c.grid_4);
    EXPECT_EQ(same(a.verdict(4).p_observed, all.verdict(4).p_observed), c.grid_4);
    EXPECT_EQ(same(a.verdict(5).U, all.verdict(5).U), c.finest);
    EXPECT_EQ(same(a.finest.verdict.U, all.finest.verdict.U), c.finest);
    EXPECT_EQ(same(a.finest.verdict.p_observed, all.finest.verdict.p_observed), c.finest);
    EXPECT_EQ(a.finest.verdict.U_source == all.finest.verdict.U_source, c.finest);
    EXPECT_EQ(a.finest.verdict.gci_dependable, c.finest);
  }
}

// The steps an analysis counts reach analysis_steps(nm) exactly (so a
// progress line ends at 100%), and counting changes no result bit.
TEST(Analyse, CountsItsSteps) {
  struct Case {
    int32_t nm;
    int64_t steps;  // entries of the repeated extrapolation + nm
  } cases[] = {{1, 1}, {2, 2}, {3, 4}, {5, 11}, {40, 741 + 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nm);
    std::vector<real> h, Th;
    real x = 1;
    for (int32_t i = 0; i < c.nm; ++i, x = x * 0.75Q) {
      h.push_back(x);
      Th.push_back(1 + x * x + x * x * x / 3);
    }
    const StudyLists s = core_testing::make_state(h, Th, core_testing::Settings());
    EXPECT_EQ(analysis_steps(c.nm), c.steps);
    std::atomic<int64_t> steps{0};
    AnalysisSettings settings;
    settings.least_squares = LeastSquaresNeed::kFinest;
    const Analysis plain = analyse(s, tabela_malhas(s.h), settings);
    settings.steps = &steps;
    const Analysis counted = analyse(s, tabela_malhas(s.h), settings);
    EXPECT_EQ(steps.load(), c.steps);
    for (int32_t i = 1; i <= c.nm; ++i) {
      EXPECT_EQ(std::memcmp(&plain.e.Tm1(i), &counted.e.Tm1(i), sizeof(real)), 0) << i;
      EXPECT_EQ(std::memcmp(&plain.e.Um_Tm1(i), &counted.e.Um_Tm1(i), sizeof(real)), 0) << i;
    }
  }
}

}  // namespace
}  // namespace morvantide
