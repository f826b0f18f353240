// The analysis of one variable: the worked example of core/analysis.h, and
// the least-squares results it computes for each need.
#include "core/analysis.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "common/parallel.h"
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

// The one loop over a study's columns: each chosen column's analysis is
// analyse() of its values, numbered and named as the column, handed over in
// the order chosen (a place chosen twice twice) on any number of threads and
// across batches; a column the known analysis covers is not analysed again,
// one whose values differ is; every column is counted.
TEST(AnalyseColumns, EachChosenColumnInOrder) {
  constexpr int32_t nm = 4;
  const real h[nm] = {0.4Q, 0.2Q, 0.1Q, 0.05Q};
  constexpr size_t count = 40;  // more than a batch of one thread
  GridStudy study;
  study.study.pL = 2;
  study.study.dp = 1;
  study.study.tipo_r = 1;
  study.study.nm = nm;
  study.study.h.resize(nm);
  std::vector<int32_t> numbers;
  std::vector<std::string> names;
  for (size_t c = 0; c < count; ++c) {
    numbers.push_back(static_cast<int32_t>(c) + 1);
    names.push_back("v" + std::to_string(c + 1));
  }
  study.columns.assign(nm, numbers, names);
  for (int32_t i = 1; i <= nm; ++i) {
    study.study.h(i) = h[i - 1];
    for (size_t c = 0; c < count; ++c) {
      study.columns.value(c, i) = 1 + q_from_int(static_cast<int32_t>(c)) * h[i - 1] * h[i - 1];
    }
  }
  study.table = tabela_malhas(study.study.h);
  AnalysisSettings settings;
  settings.least_squares = LeastSquaresNeed::kFinest;
  std::vector<size_t> chosen = {3, 0, 3};
  for (size_t c = 5; c < count; ++c) chosen.push_back(c);
  // Known: column 1 (place 0), and an analysis of number 4 with other values.
  Analysis known = analyse(study, 0, settings);
  Study other = study.study;
  other.Th = study.columns[3].Th.list();
  other.Th(nm) = other.Th(nm) + 1;
  Analysis stale = analyse(other, study.table, settings);
  stale.number = 4;
  for (int threads : {1, 2}) {
    for (const Analysis* given : {&known, &stale}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, known " + std::to_string(given->number));
      set_thread_count(threads);
      std::atomic<int64_t> counted{0};
      const int64_t calls_before = analyse_calls();
      std::vector<Analysis> got;
      analyse_columns(study, chosen, settings, {given, &counted},
                      [&](Analysis& a) { got.push_back(std::move(a)); });
      ASSERT_EQ(got.size(), chosen.size());
      EXPECT_EQ(counted.load(), static_cast<int64_t>(chosen.size()));
      EXPECT_EQ(analyse_calls() - calls_before,
                static_cast<int64_t>(chosen.size()) - (given == &known ? 1 : 0));
      for (size_t k = 0; k < chosen.size(); ++k) {
        const Analysis alone = analyse(study, chosen[k], settings);
        EXPECT_EQ(got[k].number, static_cast<int32_t>(chosen[k]) + 1) << k;
        EXPECT_EQ(got[k].name, "v" + std::to_string(chosen[k] + 1)) << k;
        EXPECT_TRUE(same_bits(got[k].finest.Th, alone.finest.Th)) << k;
        EXPECT_TRUE(same_bits(got[k].finest.verdict.U, alone.finest.verdict.U)) << k;
        EXPECT_TRUE(same_bits(got[k].e.Tm1(nm), alone.e.Tm1(nm))) << k;
      }
    }
  }
  set_thread_count(0);
}

}  // namespace
}  // namespace morvantide
